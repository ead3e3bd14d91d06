// The demo host application: starts the embedded sandbox (or uses --server),
// initialises the SDK through the public facade, drives the ad calls and
// prints every callback it receives as one line, with the ad information it
// carries, and every impression-level revenue record.
//
//   quillborne_demo [--server URL] [--data-root DIR] [--app-key KEY]
//                   [--mode=manual|load-after-close|load-while-show]
//                   [--network=tulvo|own|both]
//                   [--offline-second-run] [--expect-cached]
//
// After start-up the demo loads a rewarded video, shows it when it is
// available and waits for its reward and close, then does the same for an
// interstitial. --mode chooses how rewarded video loads: the application's
// load calls (manual), automatic loads after each close (the default), or
// automatic loads while an ad shows. The embedded sandbox answers the
// configuration and every auction. --network chooses which network fills:
// the Tulvo stand-in, the own network (its controller page, served by the
// sandbox, answers the loads and shows, presents the ads with the network's ad
// page, clicks, credits and closes them), or both (the
// default: the own network fills the rewarded video, Tulvo the interstitial).
// Where the own network fills, its page keeps each ad's creative in its file
// store ("fileSystemAPI": saved, listed and marked with its ad) before it
// answers the load and deletes it after the close (the demo prints the
// cache's changes and the marks), listens to the silent switch while its ad
// is on screen (the demo sets the switch to silent and prints what the page
// heard), and after the ads the demo opens the own network's offerwall, whose
// page credits the user with what the sandbox signed and closes. Where the own
// network runs, a banner follows the interstitial: the page answers its load
// with the network's ad page in a banner view, the demo puts the banner into
// the application's view, the ad page clicks it, and the demo destroys it.
//
// --offline-second-run: after a successful run, stops the sandbox and runs the
// demo again in a second process on the same data root, which must start from
// the cached configuration (state SDK_INITIATED with error 502).
// --expect-cached: this run must end with the cached configuration.
// --server must be an http or https URL.
//
// Exit status 0 on success; otherwise 1 and the reason on standard error,
// with the last error the library logged. A data folder the demo made for
// itself is removed on every way out.
#include <curl/curl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <iostream>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "ownnetwork/api/PMAOfferWallDelegate.h"
#include "ownnetwork/api/QuillborneNetwork.h"
#include "ownnetwork/publisher/PlovermarkAdsPublisher.h"
#include "ownnetwork/web/PMWVWKWebView.h"
#include "platform/crypto.h"
#include "platform/dispatch.h"
#include "platform/json.h"
#include "platform/storage.h"
#include "platform/system_sounds.h"
#include "platform/ui.h"
#include "presentation/QBNProductViewController.h"
#include "quillborne/QBImpressionData.h"
#include "quillborne/Quillborne.h"
#include "scriptfeatures/files/QBNFilePersistencyService.h"
#include "sdk/QuillborneSdk.h"
#include "support/sandbox_auction.h"
#include "support/sandbox_config.h"
#include "support/sandbox_controller.h"
#include "support/sandbox_events.h"
#include "support/sandbox_server.h"

extern char** environ;

namespace {

constexpr char kDemoUserId[] = "demo-user";

std::mutex g_printMutex;
std::atomic<int> g_callbacks{0};
std::string g_lastFailureLog;

// What the ad road has heard so far.
struct Road {
  std::atomic<bool> rvLoaded{false}, rvAvailable{false}, rvOpened{false}, rvRewarded{false}, rvClosed{false};
  std::atomic<bool> isLoaded{false}, isOpened{false}, isClosed{false};
  std::mutex m;
  std::string failure;  // the first failure callback
  void fail(const std::string& text) {
    std::lock_guard lock(m);
    if (failure.empty()) failure = text;
  }
  std::string firstFailure() {
    std::lock_guard lock(m);
    return failure;
  }
};
Road g_road;

void printLine(const std::string& line) {
  std::lock_guard lock(g_printMutex);
  std::cout << line << std::endl;
}

class InitDelegate : public QBInitializationDelegate {
 public:
  void initializationDidComplete() override {
    printLine("initializationDidComplete");
    ++g_callbacks;
    platform::mainQueue()->async([] {});  // wakes the main loop
  }
};

class LogDelegate : public QBLogDelegate {
 public:
  void sendLog(const std::string& log, int level, int) override {
    if (level < QBLogLevelError) return;
    {
      std::lock_guard lock(g_printMutex);
      g_lastFailureLog = log;
    }
    printLine("log: " + log);
  }
};

std::string describe(const QBError& error) { return std::to_string(error.code()) + " " + error.message(); }

void print(const std::string& line) {
  printLine(line);
  ++g_callbacks;
}

// The rewarded-video delegate with ad information, for both loading modes: it
// hears availability when the library loads and load results when the
// application does.
class RewardedVideoDelegate : public TidewheelRewardedVideoDelegate, public TidewheelRewardedVideoManualDelegate {
 public:
  void hasAvailableAdWithAdInfo(const QBAdInfo& adInfo) override {
    g_road.rvAvailable = true;
    print("rewardedVideo hasAvailableAdWithAdInfo " + adInfo.description());
  }
  void hasNoAvailableAd() override {
    g_road.rvAvailable = false;
    print("rewardedVideo hasNoAvailableAd");
  }
  void didLoadWithAdInfo(const QBAdInfo& adInfo) override {
    g_road.rvLoaded = true;
    print("rewardedVideo didLoadWithAdInfo " + adInfo.description());
  }
  void didFailToLoadWithError(const QBError& error) override {
    const std::string line = "rewardedVideo didFailToLoadWithError " + describe(error);
    g_road.fail(line);
    print(line);
  }
  void didOpenWithAdInfo(const QBAdInfo& adInfo) override {
    g_road.rvOpened = true;
    print("rewardedVideo didOpenWithAdInfo " + adInfo.description());
  }
  void didFailToShowWithError(const QBError& error, const QBAdInfo& adInfo) override {
    const std::string line = "rewardedVideo didFailToShowWithError " + describe(error) + " " + adInfo.description();
    g_road.fail(line);
    print(line);
  }
  void didClick(const QBPlacementInfo& placementInfo, const QBAdInfo& adInfo) override {
    print("rewardedVideo didClick " + placementInfo.placementName() + " " + adInfo.description());
  }
  void didCloseWithAdInfo(const QBAdInfo& adInfo) override {
    g_road.rvClosed = true;
    print("rewardedVideo didCloseWithAdInfo " + adInfo.description());
  }
  void didReceiveRewardForPlacement(const QBPlacementInfo& info, const QBAdInfo& adInfo) override {
    g_road.rvRewarded = true;
    print("rewardedVideo didReceiveRewardForPlacement " + info.placementName() + " " + info.rewardName() + " " +
          std::to_string(info.rewardAmount()) + " " + adInfo.description());
  }
};

class InterstitialDelegate : public TidewheelInterstitialDelegate {
 public:
  void didLoadWithAdInfo(const QBAdInfo& adInfo) override {
    g_road.isLoaded = true;
    print("interstitial didLoadWithAdInfo " + adInfo.description());
  }
  void didFailToLoadWithError(const QBError& error) override {
    const std::string line = "interstitial didFailToLoadWithError " + describe(error);
    g_road.fail(line);
    print(line);
  }
  void didOpenWithAdInfo(const QBAdInfo& adInfo) override {
    g_road.isOpened = true;
    print("interstitial didOpenWithAdInfo " + adInfo.description());
  }
  void didShowWithAdInfo(const QBAdInfo& adInfo) override {
    print("interstitial didShowWithAdInfo " + adInfo.description());
  }
  void didFailToShowWithError(const QBError& error, const QBAdInfo& adInfo) override {
    const std::string line = "interstitial didFailToShowWithError " + describe(error) + " " + adInfo.description();
    g_road.fail(line);
    print(line);
  }
  void didClickWithAdInfo(const QBAdInfo& adInfo) override {
    print("interstitial didClickWithAdInfo " + adInfo.description());
  }
  void didCloseWithAdInfo(const QBAdInfo& adInfo) override {
    g_road.isClosed = true;
    print("interstitial didCloseWithAdInfo " + adInfo.description());
  }
};

// The banner delegate with ad information (main queue).
class BannerDelegate : public TidewheelBannerDelegate {
 public:
  void didLoad(std::shared_ptr<QBBannerView> bannerView, const QBAdInfo& adInfo) override {
    {
      std::lock_guard lock(m_);
      banner_ = std::move(bannerView);
    }
    print("banner didLoad " + adInfo.description());
  }
  void didFailToLoadWithError(const QBError& error) override {
    const std::string line = "banner didFailToLoadWithError " + describe(error);
    g_road.fail(line);
    print(line);
  }
  void didClickWithAdInfo(const QBAdInfo& adInfo) override {
    clicked = true;
    print("banner didClickWithAdInfo " + adInfo.description());
  }
  void didLeaveApplicationWithAdInfo(const QBAdInfo& adInfo) override {
    print("banner didLeaveApplicationWithAdInfo " + adInfo.description());
  }
  void didPresentScreenWithAdInfo(const QBAdInfo& adInfo) override {
    print("banner didPresentScreenWithAdInfo " + adInfo.description());
  }
  void didDismissScreenWithAdInfo(const QBAdInfo& adInfo) override {
    print("banner didDismissScreenWithAdInfo " + adInfo.description());
  }
  std::shared_ptr<QBBannerView> banner() {
    std::lock_guard lock(m_);
    return banner_;
  }
  std::atomic<bool> clicked{false};

 private:
  std::mutex m_;
  std::shared_ptr<QBBannerView> banner_;
};

// Impression-level revenue data, told on the ad-unit manager's thread.
class ImpressionDataListener : public QBImpressionDataDelegate {
 public:
  void impressionDataDidSucceed(std::shared_ptr<QBImpressionData> impressionData) override {
    printLine("impressionDataDidSucceed " + impressionData->allDataJsonText());
  }
};

struct Options {
  std::optional<std::string> server;
  std::optional<std::string> dataRoot;
  std::string appKey = "demoAppKey1";
  bool offlineSecondRun = false;
  bool expectCached = false;
  std::string mode = "load-after-close";  // manual, load-after-close, load-while-show
  std::string network = "both";           // tulvo, own, both
};

// The reason on standard error, with the last error the library logged (the
// cause is often only there).
int fail(const std::string& reason) {
  std::string cause;
  {
    std::lock_guard lock(g_printMutex);
    cause = g_lastFailureLog;
  }
  std::cerr << "demo failed: " << reason;
  if (!cause.empty() && reason.find(cause) == std::string::npos) std::cerr << " (last error: " << cause << ")";
  std::cerr << std::endl;
  return 1;
}

// Whether `text` is an absolute http or https URL with a host.
bool isHttpUrl(const std::string& text) {
  CURLU* url = curl_url();
  if (!url) return false;
  bool ok = false;
  char* scheme = nullptr;
  char* host = nullptr;
  if (curl_url_set(url, CURLUPART_URL, text.c_str(), 0) == CURLUE_OK &&
      curl_url_get(url, CURLUPART_SCHEME, &scheme, 0) == CURLUE_OK &&
      curl_url_get(url, CURLUPART_HOST, &host, 0) == CURLUE_OK) {
    const std::string s(scheme);
    ok = (s == "http" || s == "https") && host[0] != '\0';
  }
  curl_free(scheme);
  curl_free(host);
  curl_url_cleanup(url);
  return ok;
}

// Removes the demo's own data folder however main() ends.
class OwnedFolder {
 public:
  OwnedFolder() = default;
  OwnedFolder(const OwnedFolder&) = delete;
  OwnedFolder& operator=(const OwnedFolder&) = delete;
  ~OwnedFolder() {
    if (path_.empty()) return;
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  void own(std::string path) { path_ = std::move(path); }

 private:
  std::string path_;
};

// Pumps the main queue until pred() holds or timeoutMs passes.
bool pumpUntil(const std::function<bool()>& pred, int64_t timeoutMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!pred()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    // Short slices: start-up ends on a worker thread, which does not wake the loop.
    platform::runMainUntil(pred, 50);
  }
  return true;
}

int runSecondProcess(const std::string& dataRoot, const std::string& server, const std::string& appKey) {
  std::vector<std::string> args = {"/proc/self/exe", "--data-root", dataRoot, "--server", server,
                                   "--app-key", appKey, "--expect-cached"};
  std::vector<char*> argv;
  for (auto& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  pid_t pid = 0;
  if (posix_spawn(&pid, "/proc/self/exe", nullptr, nullptr, argv.data(), environ) != 0) return -1;
  int status = 0;
  if (waitpid(pid, &status, 0) < 0) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Whether the application's view controller is the top one again.
bool isBack(const std::shared_ptr<platform::ViewController>& app) { return app->presentedViewController() == nullptr; }

// Prints what the UI layer shows over the application's view controller
// when it changes: the own network's ads come up in a product view
// controller presented over it.
class ScreenWatcher {
 public:
  explicit ScreenWatcher(std::shared_ptr<platform::ViewController> app) : app_(std::move(app)) {}
  void look() {
    const auto top = app_->presentedViewController();
    const bool product = std::dynamic_pointer_cast<QBNProductViewController>(top) != nullptr;
    if (product == product_) return;
    product_ = product;
    printLine(product ? "ui: product view controller on screen over the application's view controller"
                      : "ui: product view controller gone, the application's view controller is on top");
  }

 private:
  std::shared_ptr<platform::ViewController> app_;
  bool product_ = false;
};

// Prints the files the own network's page keeps in its cache folder when
// they change: the creatives it saves with each load and deletes after the
// ad's close; and the ad each one is marked with in the page's file store.
class CacheWatcher {
 public:
  void look() {
    const std::filesystem::path root = platform::libraryCachesPath() + "/PMACache/PMAPublisher";
    std::map<std::string, uintmax_t> now;
    std::error_code error;
    for (auto it = std::filesystem::recursive_directory_iterator(root, error);
         !error && it != std::filesystem::recursive_directory_iterator(); it.increment(error)) {
      const std::string name = it->path().lexically_relative(root).string();
      if (it->is_regular_file(error) && name != kQBNMetadataFileName) now[name] = it->file_size(error);
    }
    for (const auto& [name, size] : now) {
      if (!files_.count(name)) printLine("cache: saved " + name + " (" + std::to_string(size) + " bytes)");
    }
    for (const auto& [name, size] : files_) {
      if (now.count(name)) continue;
      printLine("cache: deleted " + name);
      marked_.erase(name);
    }
    const auto archive = platform::readFile((root / kQBNMetadataFileName).string());
    const platform::Json metadata = QBNFilePersistencyService::contentsFromArchive(archive ? archive.value() : "");
    for (const auto& [name, size] : now) {
      const auto adId = metadata.contains(name) ? platform::getString(metadata[name], "adId") : std::nullopt;
      if (adId && marked_.insert(name).second) printLine("file store: " + name + " marked for ad " + *adId);
    }
    files_ = std::move(now);
  }

 private:
  std::map<std::string, uintmax_t> files_;
  std::set<std::string> marked_;
};

// What the own network's page heard of the silent switch while its ad was on
// screen ("PMA_CORE.ringer" of the controller page).
void printRingerStatus() {
  auto publisher = PlovermarkAdsPublisher::sharedInstance();
  auto page = publisher ? publisher->webViewController() : nullptr;
  if (!page) return;
  // The stop's answer comes a moment after the ad's close.
  auto heard = std::make_shared<std::optional<platform::Json>>();
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
  do {
    heard->reset();
    page->evaluateJavaScript("PMA_CORE.ringer", [heard](const platform::ScriptEvaluation& result) {
      *heard = result.ok() ? result.value : platform::Json();
    });
    if (!pumpUntil([&] { return heard->has_value(); }, 2'000) || !(*heard)->is_object()) return;
  } while ((**heard)["answers"].size() < 2 && std::chrono::steady_clock::now() < deadline);
  std::string statuses;
  for (const auto& silent : (**heard)["heard"]) statuses += silent.is_boolean() && silent.get<bool>() ? " silent" : " sound";
  std::string answers;
  for (const auto& answer : (**heard)["answers"]) answers += (answers.empty() ? "" : ", ") + answer.get<std::string>();
  printLine("ringer: the page heard ringerSwitchSilent" + (statuses.empty() ? std::string(" nothing") : statuses) +
            " (listener " + answers + ")");
}

// The own network's offerwall listener: prints what it hears and takes
// every credit.
class OfferwallDelegate : public PMAOfferWallDelegate,
                          public PmaInitOfferWallSuccessCall,
                          public PmaInitOfferWallFailedWithErrorCall,
                          public PmaOfferWallShowSuccessCall,
                          public PmaOfferWallShowFailedWithErrorCall,
                          public PmaOfferWallDidCloseCall,
                          public PmaOfferWallDidReceiveCreditCall {
 public:
  void pmaInitOfferWallSuccess() override {
    available = true;
    print("offerwall pmaInitOfferWallSuccess");
  }
  void pmaInitOfferWallFailedWithError(const platform::Error& error) override {
    g_road.fail("offerwall pmaInitOfferWallFailedWithError " + error.message);
    print("offerwall pmaInitOfferWallFailedWithError " + error.message);
  }
  void pmaOfferWallShowSuccess(const std::optional<std::string>&) override { print("offerwall pmaOfferWallShowSuccess"); }
  void pmaOfferWallShowFailedWithError(const platform::Error& error) override {
    g_road.fail("offerwall pmaOfferWallShowFailedWithError " + error.message);
    print("offerwall pmaOfferWallShowFailedWithError " + error.message);
  }
  void pmaOfferWallDidClose() override {
    closed = true;
    print("offerwall pmaOfferWallDidClose");
  }
  bool pmaOfferWallDidReceiveCredit(const platform::Json& creditInfo) override {
    credited = true;
    print("offerwall pmaOfferWallDidReceiveCredit " + platform::dumpJson(creditInfo));
    return true;
  }
  std::atomic<bool> available{false}, closed{false}, credited{false};
};

// The own network's offerwall: init for the demo's user, show, the page's
// credit and close; then the page's user record with the credit's stamp.
int runOfferwallRoad(const std::string& appKey, const std::string& userId,
                     const std::shared_ptr<platform::ViewController>& viewController,
                     const std::function<bool()>& failed) {
  auto delegate = std::make_shared<OfferwallDelegate>();
  QuillborneNetwork::initOfferWallWithApplicationKey(appKey, userId, delegate, std::nullopt);
  if (!pumpUntil([&] { return failed() || delegate->available.load(); }, 5'000)) {
    return fail("the offerwall did not become available within 5 s");
  }
  if (failed()) return fail(g_road.firstFailure());
  QuillborneNetwork::showOfferWallFromViewController(viewController, platform::Json::object());
  if (!pumpUntil([&] { return failed() || delegate->closed.load(); }, 5'000)) {
    return fail("the offerwall did not close within 5 s");
  }
  if (failed()) return fail(g_road.firstFailure());
  if (!delegate->credited) return fail("the offerwall's credit did not reach the listener");
  // The library stamps the user's entry once the listener took the credit.
  const auto record = [] {
    const auto stored = platform::UserDefaults::standard().string("pmaUserData");
    const auto decoded = stored ? platform::percentDecode(*stored) : platform::Result<std::string>(std::string());
    return decoded ? decoded.value() : std::string();
  };
  if (!pumpUntil([&] { return record().find("\"timestamp\"") != std::string::npos; }, 2'000)) {
    return fail("the offerwall's credit was not stamped into the page's user record");
  }
  printLine("own network: pmaUserData " + record());
  return 0;
}

// A banner: loaded, put at the bottom of the application's view, clicked by
// its ad page, destroyed.
int runBannerRoad(const std::shared_ptr<platform::ViewController>& viewController,
                  const std::shared_ptr<BannerDelegate>& delegate, const std::function<bool()>& failed) {
  Quillborne::loadBannerWithViewController(viewController, QBBannerSize::BANNER());
  if (!pumpUntil([&] { return failed() || delegate->banner() != nullptr; }, 10'000)) {
    return fail("no banner loaded within 10 s");
  }
  if (failed()) return fail(g_road.firstFailure());
  const auto banner = delegate->banner();
  const auto view = banner->view();
  if (!view) return fail("the banner came without a view");
  const auto screen = viewController->view()->bounds().size;
  const auto size = view->frame().size;
  view->setCenter(platform::Point{screen.width / 2, screen.height - size.height / 2});
  viewController->view()->addSubview(view);
  printLine("ui: banner on screen in the application's view (" + std::to_string(static_cast<int>(size.width)) + "x" +
            std::to_string(static_cast<int>(size.height)) + ")");
  if (!pumpUntil([&] { return failed() || delegate->clicked.load(); }, 5'000)) {
    return fail("the banner's click did not come within 5 s");
  }
  if (failed()) return fail(g_road.firstFailure());
  Quillborne::destroyBanner(banner);
  if (!pumpUntil([&] { return view->superview() == nullptr; }, 2'000)) return fail("the destroyed banner stayed on screen");
  printLine("ui: banner gone from the application's view");
  return 0;
}

// The rewarded-video road, then the interstitial one, then the banner and the
// offerwall when asked; 0 when all completed.
int runAdRoad(bool manualRewardedVideo, const std::shared_ptr<BannerDelegate>& banner,
              const std::optional<std::pair<std::string, std::string>>& offerwall) {
  // The application's screen: a key window showing its view controller.
  auto window = std::make_shared<platform::Window>(platform::Rect::make(0, 0, 390, 844));
  window->makeKeyAndVisible();
  auto viewController = std::make_shared<platform::ViewController>();
  window->setRootViewController(viewController);
  ScreenWatcher screen(viewController);
  CacheWatcher cache;
  auto failed = [&screen, &cache] {
    screen.look();
    cache.look();
    return !g_road.firstFailure().empty();
  };
  if (manualRewardedVideo) Quillborne::loadRewardedVideo();
  if (!pumpUntil([&] { return failed() || (manualRewardedVideo ? g_road.rvLoaded.load() : g_road.rvAvailable.load()); },
                 10'000)) {
    return fail("no rewarded video became available within 10 s");
  }
  if (failed()) return fail(g_road.firstFailure());
  printLine(std::string("hasRewardedVideo ") + (Quillborne::hasRewardedVideo() ? "true" : "false"));
  Quillborne::showRewardedVideoWithViewController(viewController, "DefaultRewardedVideo");
  if (!pumpUntil([&] { return failed() || (g_road.rvRewarded && g_road.rvClosed && isBack(viewController)); }, 5'000)) {
    return fail("the rewarded video did not reward and close within 5 s");
  }
  if (failed()) return fail(g_road.firstFailure());
  if (offerwall) printRingerStatus();  // where the own network fills

  Quillborne::loadInterstitial();
  if (!pumpUntil([&] { return failed() || g_road.isLoaded.load(); }, 10'000)) {
    return fail("no interstitial loaded within 10 s");
  }
  if (failed()) return fail(g_road.firstFailure());
  Quillborne::showInterstitialWithViewController(viewController);
  if (!pumpUntil([&] { return failed() || (g_road.isClosed.load() && isBack(viewController)); }, 5'000)) {
    return fail("the interstitial did not close within 5 s");
  }
  if (failed()) return fail(g_road.firstFailure());
  if (banner) {
    if (int road = runBannerRoad(viewController, banner, failed); road != 0) return road;
  }
  if (offerwall) {
    if (int road = runOfferwallRoad(offerwall->first, offerwall->second, viewController, failed); road != 0) return road;
  }
  printLine("road completed");
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    auto next = [&]() -> std::optional<std::string> {
      if (i + 1 >= argc) return std::nullopt;
      return std::string(argv[++i]);
    };
    if (arg == "--server" || arg == "--data-root" || arg == "--app-key") {
      auto value = next();
      if (!value) return fail(arg + " needs a value");
      if (arg == "--server") {
        if (!isHttpUrl(*value)) return fail("--server " + *value + " is not an http or https URL");
        options.server = *value;
      } else if (arg == "--data-root") {
        options.dataRoot = *value;
      } else {
        options.appKey = *value;
      }
    } else if (arg == "--offline-second-run") {
      options.offlineSecondRun = true;
    } else if (arg == "--expect-cached") {
      options.expectCached = true;
    } else if (arg.rfind("--mode=", 0) == 0) {
      options.mode = arg.substr(7);
      if (options.mode != "manual" && options.mode != "load-after-close" && options.mode != "load-while-show") {
        return fail("unknown mode " + options.mode + " (manual, load-after-close, load-while-show)");
      }
    } else if (arg.rfind("--network=", 0) == 0) {
      options.network = arg.substr(std::string("--network=").size());
      if (options.network != "tulvo" && options.network != "own" && options.network != "both") {
        return fail("unknown network " + options.network + " (tulvo, own, both)");
      }
    } else {
      return fail("unknown argument " + arg);
    }
  }

  // A data root of its own unless given one, so runs never share state by
  // accident; it goes away on every way out.
  OwnedFolder ownDataRoot;
  if (!options.dataRoot) {
    std::string pattern = (std::filesystem::temp_directory_path() / "quillborne-demo-XXXXXX").string();
    if (!mkdtemp(pattern.data())) return fail("cannot create a data folder");
    options.dataRoot = pattern;
    ownDataRoot.own(pattern);
  }
  platform::setDataRoot(*options.dataRoot);
  platform::setAppInfo(platform::Json{{"CFBundleIdentifier", "com.example.quillborne.demo"},
                                      {"CFBundleShortVersionString", "1.0.0"},
                                      {"CFBundleDisplayName", "Quillborne Demo"}});

  std::unique_ptr<qbtest::SandboxServer> sandbox;
  std::unique_ptr<qbtest::SandboxConfigEndpoint> configEndpoint;
  std::unique_ptr<qbtest::SandboxAuction> auction;
  std::string endpoint;
  if (options.server) {
    endpoint = *options.server;
  } else {
    sandbox = std::make_unique<qbtest::SandboxServer>();
    if (!sandbox->start()) return fail("the embedded sandbox could not start");
    qbtest::addEventsEndpoint(*sandbox);
    // The own network's controller page, the same file the tests serve: it
    // answers every product command with success; a load first caches the
    // ad's creative (the network's ad page); a show presents the ad page in
    // the product view controller, clicked, then closed; then it credits the
    // ad and reports it closed. (Rewarded ad instances travel as the page's
    // interstitial product.) The offerwall credits the demo's user with what
    // the sandbox signed as the offerwall's server.
    qbtest::addAdPage(*sandbox);
    const auto now = std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch());
    qbtest::addControllerPage(
        *sandbox,
        platform::Json{{"creative", sandbox->url(qbtest::kAdPagePath)},
                       {"creativeStore", "fileSystemAPI"},
                       {"ringer", true},
                       {"offerwallCredit", qbtest::offerwallCredit(options.appKey, kDemoUserId, 5, 150, std::to_string(now.count()))},
                       {"commands",
                        {{"loadBanner",
                          {{"adView", {{"url", sandbox->url(qbtest::kAdPagePath)},
                                       {"actions", platform::Json::array({platform::Json::array({"click", 500})})}}}}},
                         {"showInterstitial",
                          {{"present", {{"url", sandbox->url(qbtest::kAdPagePath)},
                                        {"actions", platform::Json::array({platform::Json::array({"click", 100}),
                                                                           platform::Json::array({"close", 700})})}}},
                           {"then", platform::Json::array(
                                        {platform::Json::array({"adCredited", {{"credits", "10"}, {"productType", "Interstitial"}}}),
                                         platform::Json::array({"onAdWindowsClosed", {{"productType", "Interstitial"}}})})}}}}}});
    configEndpoint = std::make_unique<qbtest::SandboxConfigEndpoint>(*sandbox);
    auto configuration = configEndpoint->configuration();
    if (options.mode == "load-while-show") {
      configuration["configurations"]["application"]["auction"]["isLoadWhileShow"] = true;
    }
    // The waterfall of each ad unit: the own network's instance first where
    // it fills, then Tulvo's.
    const bool ownRewarded = options.network != "tulvo";
    const bool ownInterstitial = options.network == "own";
    const std::string rewardedInstance = ownRewarded ? "QuillborneRV1" : "TulvoRV2";
    const std::string interstitialInstance = ownInterstitial ? "QuillborneIS1" : "TulvoIS1";
    configuration["providerOrder"]["rewardedVideo"] =
        ownRewarded ? platform::Json::array({"QuillborneRV1", "TulvoRV2"}) : platform::Json::array({"TulvoRV2"});
    configuration["providerOrder"]["interstitial"] = platform::Json::array({interstitialInstance});
    // The banner is the own network's (Tulvo has no banners).
    if (ownRewarded) {
      configuration["configurations"]["banner"] = {{"adapterTimeOutInSeconds", 10},
                                                   {"delayLoadFailureNotificationInSeconds", 0}};
      configuration["providerOrder"]["banner"] = platform::Json::array({"QuillborneBN1"});
    }
    configEndpoint->setConfiguration(std::move(configuration));
    printLine("network " + options.network + ": rewarded video " + rewardedInstance + ", interstitial " +
              interstitialInstance);
    if (ownRewarded || ownInterstitial) printLine("own network: controller page " + sandbox->url(qbtest::kControllerPagePath));
    // Every auction answers with the chosen instance of the ad unit it asks
    // for, under a fresh waterfall id.
    auction = std::make_unique<qbtest::SandboxAuction>(*sandbox);
    auto answered = std::make_shared<std::atomic<int>>(0);
    auction->setAnswerer([answered, rewardedInstance, interstitialInstance](const qbtest::DecodedAuctionRequest& request) {
      std::string adUnit = request.json ? platform::getString(*request.json, "adUnit").value_or("") : "";
      std::string instance = adUnit == "interstitial" ? interstitialInstance
                             : adUnit == "banner"     ? std::string("QuillborneBN1")
                                                      : rewardedInstance;
      return qbtest::AuctionAnswer::withPayload(qbtest::SandboxAuction::waterfallPayload(
          "demo-" + std::to_string(answered->fetch_add(1) + 1), {instance}));
    });
    endpoint = sandbox->baseUrl();
  }
  // Linux has no ring/silent switch: the host sets it.
  platform::SystemSounds::shared().setSilentSwitchOn(true);
  printLine("sandbox: " + endpoint);
  printLine("sdkVersion " + Quillborne::sdkVersion());

  auto logDelegate = std::make_shared<LogDelegate>();
  auto initDelegate = std::make_shared<InitDelegate>();
  auto rewardedVideoDelegate = std::make_shared<RewardedVideoDelegate>();
  auto interstitialDelegate = std::make_shared<InterstitialDelegate>();
  auto bannerDelegate = std::make_shared<BannerDelegate>();
  auto impressionListener = std::make_shared<ImpressionDataListener>();
  Quillborne::setLogDelegate(logDelegate);
  if (options.mode == "manual") {
    Quillborne::setTidewheelRewardedVideoManualDelegate(rewardedVideoDelegate);
  } else {
    Quillborne::setTidewheelRewardedVideoDelegate(rewardedVideoDelegate);
  }
  printLine("mode " + options.mode);
  Quillborne::setTidewheelInterstitialDelegate(interstitialDelegate);
  Quillborne::setTidewheelBannerDelegate(bannerDelegate);
  Quillborne::addImpressionDataDelegate(impressionListener);
  Quillborne::setUserId(kDemoUserId);
  Quillborne::setConsent(true);
  Quillborne::setInitEndpointForTesting(endpoint);

  Quillborne::initWithAppKey(options.appKey, initDelegate);
  auto sdk = QuillborneSdk::sharedInstance();
  const bool ended = pumpUntil(
      [&] {
        const auto state = sdk->sdkState();
        return state == QBSdkState::SDK_INIT_FAILED || (state == QBSdkState::SDK_INITIATED && g_callbacks.load() > 0);
      },
      30'000);
  const auto error = sdk->initError();
  printLine(std::string("state ") + QBSdkStateName(sdk->sdkState()) +
            (error ? ", error " + std::to_string(error->code()) + " " + error->message() : ""));
  if (!ended) return fail("start-up did not end within 30 s");
  if (sdk->sdkState() != QBSdkState::SDK_INITIATED) {
    return fail(error ? error->message() : std::string("start-up failed"));
  }
  if (options.expectCached && (!error || error->code() != 502)) return fail("expected the cached configuration (502)");

  if (!options.expectCached) {
    // The offerwall belongs to the own network: only where its page runs.
    std::optional<std::pair<std::string, std::string>> offerwall;
    if (!options.server && options.network != "tulvo") offerwall = std::make_pair(options.appKey, std::string(kDemoUserId));
    const bool banner = !options.server && options.network != "tulvo";
    if (int road = runAdRoad(options.mode == "manual", banner ? bannerDelegate : nullptr, offerwall); road != 0) {
      return road;
    }
  }

  int status = 0;
  if (options.offlineSecondRun) {
    auction.reset();  // its route goes before the server does
    sandbox.reset();  // stops the server: its address now refuses connections
    printLine("second run with the sandbox stopped:");
    status = runSecondProcess(*options.dataRoot, endpoint, options.appKey);
    if (status != 0) status = fail("the second run ended with status " + std::to_string(status));
  }
  // As the system does when an application ends: the SDK writes its event
  // backups synchronously on this notice.
  platform::Application::shared().terminate();
  return status;
}
