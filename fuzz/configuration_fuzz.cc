// The configuration answer from the bytes on the wire to the objects that run
// on it. The input is the configuration text the server encrypts; each run
//  - gives the input itself to the answer's decoder as a whole HTTP body
//    (outer JSON, base64, decryption), which must fail or give an object;
//  - parses the text into a snapshot and reads every record of it;
//  - when it parses, runs the SDK's start-up against a loopback sandbox that
//    serves the text encrypted, as the servers do, then loads and shows both
//    ad units (auctions answered from the sandbox, the Tulvo stand-in as the
//    network), loads and destroys a banner, and moves the clock far ahead,
//    so the managers, placements,
//    capping, the load-failure throttler, events engines and every timer meet
//    the configuration's numbers.
// "http://127.0.0.1:0" in the input stands for the sandbox's address; any other
// host is never reached (see qbfuzz::setUpProcess).
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "adapters/QBAdapterRepository.h"
#include "core/QBConfigurations.h"
#include "core/QBServerResponseParser.h"
#include "core/QuillborneObjectPublisherDataHolder.h"
#include "events/QBBannerDelegateWrapper.h"
#include "events/QBDelegateThrottler.h"
#include "events/QBEventsEngines.h"
#include "events/QBInterstitialDelegateWrapper.h"
#include "events/QBRewardedVideoDelegateWrapper.h"
#include "foundation/PMEReachability.h"
#include "foundation/QBEncryptionUtils.h"
#include "foundation/QBGlobalDataManager.h"
#include "foundation/QBLoggerManager.h"
#include "foundation/QBUtils.h"
#include "mediation/QBDemandOnlyModeHelper.h"
#include "mediation/QBPlacementCappingManager.h"
#include "mediation/QBSessionDepthManager.h"
#include "platform/device.h"
#include "platform/json.h"
#include "platform/notifications.h"
#include "platform/runtime.h"
#include "platform/storage.h"
#include "platform/test_environment.h"
#include "platform/tulvo/tulvo_control.h"
#include "platform/ui.h"
#include "quillborne/Quillborne.h"
#include "sdk/QBAdUnitManager.h"
#include "sdk/QBConfigurationExchange.h"
#include "sdk/QuillborneSdk.h"
#include "support/fuzz_support.h"
#include "support/process_reset.h"
#include "support/sandbox_auction.h"
#include "support/sandbox_events.h"
#include "support/sandbox_server.h"

namespace {

using platform::Json;

constexpr char kPlaceholder[] = "http://127.0.0.1:0";
constexpr char kAppKey[] = "fuzzAppKey1";

// The sandbox lives for the process; it is stopped before the process ends.
struct Sandbox {
  qbtest::SandboxServer server;
  std::unique_ptr<qbtest::SandboxAuction> auction;
  std::mutex mutex;
  std::string configurationAnswer;
};

Sandbox& sandbox() {
  static Sandbox& s = *[] {
    auto* made = new Sandbox();
    qbfuzz::check(made->server.start(), "the sandbox server starts");
    qbtest::addEventsEndpoint(made->server);
    made->server.route("GET", QBConfigurationExchange::requestPath(), [made](const qbtest::RecordedRequest&) {
      std::lock_guard lock(made->mutex);
      return qbtest::SandboxAnswer{200, made->configurationAnswer, {}};
    });
    std::atexit([] { sandbox().server.stop(); });
    return made;
  }();
  return s;
}

// A new auction endpoint (and no recorded requests) for each input: every
// auction wins with the instances it asked for, in order.
void resetSandbox(const std::string& text) {
  Sandbox& s = sandbox();
  s.server.clearRequests();
  s.auction.reset();
  s.auction = std::make_unique<qbtest::SandboxAuction>(s.server);
  s.auction->setAnswerer([](const qbtest::DecodedAuctionRequest& request) {
    std::vector<std::string> instances;
    if (request.json) {
      for (const auto& item : request.json->value("instances", Json::array())) {
        if (item.is_object() && item.contains("instance") && item["instance"].is_string()) {
          instances.push_back(item["instance"].get<std::string>());
        }
      }
    }
    if (instances.empty()) return qbtest::AuctionAnswer::noFill();
    return qbtest::AuctionAnswer::withPayload(qbtest::SandboxAuction::waterfallPayload("fuzz-auction", instances));
  });
  std::lock_guard lock(s.mutex);
  s.configurationAnswer = platform::dumpJson(Json{{"response", QBEncryptionUtils::encryptWithMediationKey(text)}});
}

// Auction requests on the wire, told by the auction's state changes in the
// log (lines come from any thread).
std::atomic<int> g_auctionsSent{0};
std::atomic<int> g_auctionsDone{0};

void quietLog() {
  QBLoggerManager::sharedInstance().setConsoleWriterForTesting([](const std::string& line) {
    if (line.find("-> WAITING_FOR_ANSWER") != std::string::npos) ++g_auctionsSent;
    if (line.find("WAITING_FOR_ANSWER ->") != std::string::npos) ++g_auctionsDone;
  });
}

void resetProcessWide() {
  qbtest::resetProcessWide();
  quietLog();
  QBPlacementCappingManager::sharedManager().resetForTesting();
  QBGlobalDataManager::sharedInstance().resetForTesting();
  platform::ClassRegistry::shared().resetForTesting();
  platform::Application::shared().resetForTesting();
  // Observations of dead owners wait for the next notice to be dropped.
  platform::NotificationCenter::resetDefaultForTesting();
}

// A fresh data root, so nothing stored by one input reaches the next.
void freshDataRoot() {
  const std::string root = qbfuzz::scratchDir() + "/root";
  (void)platform::removeItem(root);
  platform::setDataRoot(root);
  platform::UserDefaults::resetStandardForTesting();
}

// Every record of a snapshot, read as its users read them.
void readSnapshot(const QBConfigurationSnapshot& snapshot) {
  for (const auto& adUnit : snapshot.configuredAdUnits()) {
    auto settings = snapshot.productSettings(adUnit);
    QB_FUZZ_CHECK(settings != nullptr);
    for (const auto& placement : settings->placements()) QB_FUZZ_CHECK(placement != nullptr);
    for (const auto& config : snapshot.adapterConfigs(adUnit)) QB_FUZZ_CHECK(config != nullptr);
  }
  for (const char* engine : {"events", "InterstitialEvents", "pixelEvents"}) {
    QB_FUZZ_CHECK(snapshot.eventsSettings(engine) != nullptr);
  }
  QB_FUZZ_CHECK(snapshot.originServerResponse().is_object());
}

// What the application hears; counted only.
class Listener : public QBRewardedVideoDelegate, public QBInterstitialDelegate {
 public:
  void rewardedVideoHasChangedAvailability(bool) override {}
  void didReceiveRewardForPlacement(const QBPlacementInfo&) override {}
  void rewardedVideoDidFailToShowWithError(const QBError&) override {}
  void rewardedVideoDidOpen() override {}
  void rewardedVideoDidClose() override {}
  void rewardedVideoDidStart() override {}
  void rewardedVideoDidEnd() override {}
  void didClickRewardedVideo(const QBPlacementInfo&) override {}
  void interstitialDidLoad() override {}
  void interstitialDidFailToLoadWithError(const QBError&) override {}
  void interstitialDidOpen() override {}
  void interstitialDidClose() override {}
  void interstitialDidShow() override {}
  void interstitialDidFailToShowWithError(const QBError&) override {}
  void didClickInterstitial() override {}
};

// Runs the queues and moves the clock one deadline at a time, at most `steps`
// times; never while an auction request is on the wire, whose answer is
// waited for in real time (else the auction's own time-out would beat it).
void drive(platform::TestEnvironment& env, int steps) {
  for (int i = 0; i < steps; ++i) {
    env.runUntilIdle();
    if (g_auctionsSent.load() > g_auctionsDone.load()) {
      env.runUntil([] { return g_auctionsSent.load() <= g_auctionsDone.load(); });
      continue;
    }
    if (!env.advanceToNextDeadline()) return;
  }
}

void runRoad(platform::TestEnvironment& env, const std::string& text, const QBConfigurationSnapshot& snapshot) {
  resetSandbox(text);
  auto listener = std::make_shared<Listener>();
  Quillborne::setRewardedVideoDelegate(listener);
  Quillborne::setInterstitialDelegate(listener);
  QuillborneSdk::setInitEndpoint(sandbox().server.baseUrl());
  Quillborne::initWithAppKey(kAppKey, std::vector<std::string>{Quillborne::QB_REWARDED_VIDEO,
                                                               Quillborne::QB_INTERSTITIAL, Quillborne::QB_BANNER});
  auto sdk = QuillborneSdk::sharedInstance();
  env.runUntil([&] { return sdk->sdkState() != QBSdkState::SDK_INIT_IN_PROGRESS || sdk->isRetryScheduledForTesting(); });
  // The text parsed here, so the road through the server, the decryption
  // and the SDK's own parser must end in the same configuration.
  QB_FUZZ_CHECK(sdk->sdkState() == QBSdkState::SDK_INITIATED);
  QB_FUZZ_CHECK(sdk->serverResponseParser()->originServerResponse() == snapshot.originServerResponse());
  // The configuration set the log levels; the auction lines must be seen.
  QBLoggerManager::sharedInstance().setConsoleLevel(0);

  // The application's view controller, in a window: shows present from it.
  auto vc = std::make_shared<platform::ViewController>();
  auto window = std::make_shared<platform::Window>(platform::Screen::main().bounds());
  window->setRootViewController(vc);
  Quillborne::loadRewardedVideo();
  Quillborne::loadInterstitial();
  Quillborne::loadBannerWithViewController(vc, QBBannerSize::BANNER());
  drive(env, 20);
  sdk->destroyTestSuiteBanner();
  Quillborne::loadBannerWithViewController(vc, QBBannerSize::initWithWidth(320, 90));
  // The default placement, the first one the configuration names, and one it
  // does not know.
  std::vector<std::string> names{"", "no such placement"};
  for (const auto& adUnit : snapshot.configuredAdUnits()) {
    auto settings = snapshot.productSettings(adUnit);
    if (settings && !settings->placements().empty()) names.push_back(settings->placements().front()->placementName());
  }
  for (const auto& name : names) {
    Quillborne::showRewardedVideoWithViewController(vc, name);
    Quillborne::showInterstitialWithViewController(vc, name);
    drive(env, 5);
    Quillborne::loadInterstitial();
  }
  // A trip to the background and back: events flush, life-cycle timers pause.
  platform::Application::shared().enterBackground();
  drive(env, 5);
  env.sleepDevice(600'000);
  platform::Application::shared().enterForeground();
  drive(env, 5);
  // Far ahead on the wall clock (capping periods, expiry, pacing), then the
  // next deadlines whatever they are: advance() would run every repeating
  // timer on the way, one firing at a time.
  for (int64_t jump : {int64_t{3'600'000}, int64_t{86'400'000}, int64_t{40} * 86'400'000}) {
    env.sleepDevice(jump);
    drive(env, 5);
    (void)Quillborne::hasRewardedVideo();
    (void)Quillborne::hasInterstitial();
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  qbfuzz::setUpProcess();
  (void)sandbox();
  return 0;
}

QB_FUZZ_JSON_MUTATOR()

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);

  // The input as the whole HTTP answer.
  platform::DataTaskResult raw;
  raw.response = platform::HTTPURLResponse{};
  raw.response->statusCode = 200;
  raw.body = std::string(input);
  for (int serr : {0, 1}) {
    auto decoded = QBConfigurationExchange::decodeAnswer(raw, serr);
    if (decoded.ok()) QB_FUZZ_CHECK(decoded.value().is_object());
  }

  std::string text(input);
  const std::string base = sandbox().server.baseUrl();
  for (size_t at = text.find(kPlaceholder); at != std::string::npos; at = text.find(kPlaceholder, at + base.size())) {
    text.replace(at, std::string_view(kPlaceholder).size(), base);
  }
  auto parser = QBServerResponseParser::create();
  if (!parser->parse(text).ok()) return 0;
  const auto snapshot = parser->snapshot();
  readSnapshot(*snapshot);

  platform::TestEnvironment env;
  freshDataRoot();
  resetProcessWide();
  g_auctionsSent = 0;
  g_auctionsDone = 0;
  runRoad(env, text, *snapshot);
  resetProcessWide();
  env.runUntilIdle();
  return 0;
}
