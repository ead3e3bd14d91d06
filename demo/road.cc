#include "road.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>

#include "output.h"
#include "quillborne/QBImpressionData.h"
#include "quillborne/QuillborneNetwork.h"
#include "quillborne/Quillborne.h"
#include "quillborne/host/MainLoop.h"

namespace demo {

namespace {

using std::chrono::seconds;
using quillborne::host::MainLoop;

// What the library logs when start-up goes on with the cached configuration
// (error 502), and how its page console lines and start-up failures begin.
constexpr char kCachedConfiguration[] = "Server configuration unavailable - using the cached configuration";
constexpr char kPageReport[] = "webView - report: ";
constexpr char kStartUpFailure[] = "Init Fail";

std::string describe(const QBError& error) { return std::to_string(error.code()) + " " + error.message(); }

// Callbacks that come off the main thread wake the main loop, which then looks
// at what the road waits for.
void wakeMainLoop() {
  MainLoop::post([] {});
}

}  // namespace

struct Heard {
  std::atomic<bool> initialized{false}, cachedConfiguration{false};
  std::atomic<int> rvReady{0}, rvReadyAtClose{0};
  std::atomic<bool> rvRewarded{false}, rvClosed{false};
  std::atomic<bool> isLoaded{false}, isClosed{false};
  std::atomic<bool> offerwallAvailable{false}, offerwallCredited{false}, offerwallClosed{false};

  void fail(const std::string& reason) {
    std::lock_guard lock(m);
    if (failure.empty()) failure = reason;
  }
  std::string firstFailure() const {
    std::lock_guard lock(m);
    return failure;
  }
  void loggedError(const std::string& line, bool startUpFailed) {
    std::lock_guard lock(m);
    lastError = line;
    if (startUpFailed && startUpFailure.empty()) startUpFailure = line;
  }
  std::string lastLoggedError() const {
    std::lock_guard lock(m);
    return lastError;
  }
  std::string startUpFailed() const {
    std::lock_guard lock(m);
    return startUpFailure;
  }

 private:
  mutable std::mutex m;
  std::string failure, lastError, startUpFailure;
};

namespace {

// What every listener of the road shares: what was heard, and a failure
// callback's line, which also ends the road.
class Listener {
 protected:
  explicit Listener(std::shared_ptr<Heard> heard) : heard_(std::move(heard)) {}
  void failed(const std::string& line) {
    heard_->fail(line);
    printLine(line);
  }
  std::shared_ptr<Heard> heard_;
};

class InitListener : public QBInitializationDelegate {
 public:
  explicit InitListener(std::shared_ptr<Heard> heard) : heard_(std::move(heard)) {}
  void initializationDidComplete() override {
    printLine("initializationDidComplete");
    heard_->initialized = true;
    wakeMainLoop();
  }

 private:
  std::shared_ptr<Heard> heard_;
};

// The library's log as the application's log delegate receives it: the
// controller page's reports become the demo's lines; errors are kept for the
// reason of a failure.
class LogListener : public QBLogDelegate {
 public:
  explicit LogListener(std::shared_ptr<Heard> heard) : heard_(std::move(heard)) {}
  void sendLog(const std::string& log, int level, int) override {
    if (log.rfind(kPageReport, 0) == 0) {
      printLine(log.substr(sizeof kPageReport - 1));
      return;
    }
    if (log.find(kCachedConfiguration) != std::string::npos) heard_->cachedConfiguration = true;
    if (level < QBLogLevelError) return;
    heard_->loggedError(log, log.find(kStartUpFailure) != std::string::npos);
    wakeMainLoop();
  }

 private:
  std::shared_ptr<Heard> heard_;
};

// Rewarded video in both loading modes: availability when the library loads,
// load results when the application does.
class RewardedVideoListener : public TidewheelRewardedVideoDelegate,
                              public TidewheelRewardedVideoManualDelegate,
                              private Listener {
 public:
  explicit RewardedVideoListener(std::shared_ptr<Heard> heard) : Listener(std::move(heard)) {}
  void hasAvailableAdWithAdInfo(const QBAdInfo& adInfo) override {
    ++heard_->rvReady;
    printLine("rewardedVideo hasAvailableAdWithAdInfo " + adInfo.description());
  }
  void hasNoAvailableAd() override { printLine("rewardedVideo hasNoAvailableAd"); }
  void didLoadWithAdInfo(const QBAdInfo& adInfo) override {
    ++heard_->rvReady;
    printLine("rewardedVideo didLoadWithAdInfo " + adInfo.description());
  }
  void didFailToLoadWithError(const QBError& error) override {
    failed("rewardedVideo didFailToLoadWithError " + describe(error));
  }
  void didOpenWithAdInfo(const QBAdInfo& adInfo) override {
    printLine("rewardedVideo didOpenWithAdInfo " + adInfo.description());
  }
  void didFailToShowWithError(const QBError& error, const QBAdInfo& adInfo) override {
    failed("rewardedVideo didFailToShowWithError " + describe(error) + " " + adInfo.description());
  }
  void didClick(const QBPlacementInfo& placementInfo, const QBAdInfo& adInfo) override {
    printLine("rewardedVideo didClick " + placementInfo.placementName() + " " + adInfo.description());
  }
  void didCloseWithAdInfo(const QBAdInfo& adInfo) override {
    heard_->rvReadyAtClose = heard_->rvReady.load();
    heard_->rvClosed = true;
    printLine("rewardedVideo didCloseWithAdInfo " + adInfo.description());
  }
  void didReceiveRewardForPlacement(const QBPlacementInfo& info, const QBAdInfo& adInfo) override {
    heard_->rvRewarded = true;
    printLine("rewardedVideo didReceiveRewardForPlacement " + info.placementName() + " " + info.rewardName() + " " +
              std::to_string(info.rewardAmount()) + " " + adInfo.description());
  }
};

class InterstitialListener : public TidewheelInterstitialDelegate, private Listener {
 public:
  explicit InterstitialListener(std::shared_ptr<Heard> heard) : Listener(std::move(heard)) {}
  void didLoadWithAdInfo(const QBAdInfo& adInfo) override {
    heard_->isLoaded = true;
    printLine("interstitial didLoadWithAdInfo " + adInfo.description());
  }
  void didFailToLoadWithError(const QBError& error) override {
    failed("interstitial didFailToLoadWithError " + describe(error));
  }
  void didOpenWithAdInfo(const QBAdInfo& adInfo) override {
    printLine("interstitial didOpenWithAdInfo " + adInfo.description());
  }
  void didShowWithAdInfo(const QBAdInfo& adInfo) override {
    printLine("interstitial didShowWithAdInfo " + adInfo.description());
  }
  void didFailToShowWithError(const QBError& error, const QBAdInfo& adInfo) override {
    failed("interstitial didFailToShowWithError " + describe(error) + " " + adInfo.description());
  }
  void didClickWithAdInfo(const QBAdInfo& adInfo) override {
    printLine("interstitial didClickWithAdInfo " + adInfo.description());
  }
  void didCloseWithAdInfo(const QBAdInfo& adInfo) override {
    heard_->isClosed = true;
    printLine("interstitial didCloseWithAdInfo " + adInfo.description());
  }
};

// Impression-level revenue data, told on the ad unit's own thread.
class ImpressionListener : public QBImpressionDataDelegate {
 public:
  void impressionDataDidSucceed(std::shared_ptr<QBImpressionData> impressionData) override {
    printLine("impressionDataDidSucceed " + impressionData->allDataJsonText());
  }
};

// What comes over the application's screen: the own network's ads present
// their own view controller over it.
class ScreenListener : public quillborne::host::WindowObserver {
 public:
  void presentedViewControllerAppeared() override {
    printLine("ui: a view controller is presented over the application's view controller");
  }
  void presentedViewControllerDisappeared() override {
    printLine("ui: the presented view controller left, the application's view controller is on top");
  }
};

// The own network's offerwall: takes every credit.
class OfferwallListener : public quillborne::PMAOfferWallDelegate, private Listener {
 public:
  explicit OfferwallListener(std::shared_ptr<Heard> heard) : Listener(std::move(heard)) {}
  void pmaInitOfferWallSuccess() override {
    heard_->offerwallAvailable = true;
    printLine("offerwall pmaInitOfferWallSuccess");
  }
  void pmaInitOfferWallFailedWithError(const QBError& error) override {
    failed("offerwall pmaInitOfferWallFailedWithError " + describe(error));
  }
  void pmaOfferWallShowSuccess(const std::optional<std::string>&) override {
    printLine("offerwall pmaOfferWallShowSuccess");
  }
  void pmaOfferWallShowFailedWithError(const QBError& error) override {
    failed("offerwall pmaOfferWallShowFailedWithError " + describe(error));
  }
  void pmaOfferWallDidClose() override {
    heard_->offerwallClosed = true;
    printLine("offerwall pmaOfferWallDidClose");
  }
  bool pmaOfferWallDidReceiveCredit(const std::string& creditInfoJson) override {
    heard_->offerwallCredited = true;
    printLine("offerwall pmaOfferWallDidReceiveCredit " + creditInfoJson);
    return true;
  }
};

}  // namespace

struct Road::Listeners {
  std::shared_ptr<InitListener> init;
  std::shared_ptr<LogListener> log;
  std::shared_ptr<RewardedVideoListener> rewardedVideo;
  std::shared_ptr<InterstitialListener> interstitial;
  std::shared_ptr<ImpressionListener> impressions;
  std::shared_ptr<ScreenListener> screen;
  std::shared_ptr<OfferwallListener> offerwall;
};

Road::Road(bool manualRewardedVideo)
    : manual_(manualRewardedVideo), heard_(std::make_shared<Heard>()), listeners_(std::make_unique<Listeners>()) {
  auto& l = *listeners_;
  l.init = std::make_shared<InitListener>(heard_);
  l.log = std::make_shared<LogListener>(heard_);
  l.rewardedVideo = std::make_shared<RewardedVideoListener>(heard_);
  l.interstitial = std::make_shared<InterstitialListener>(heard_);
  l.impressions = std::make_shared<ImpressionListener>();
  l.screen = std::make_shared<ScreenListener>();
  l.offerwall = std::make_shared<OfferwallListener>(heard_);
  Quillborne::setLogDelegate(l.log);
  if (manual_) {
    Quillborne::setTidewheelRewardedVideoManualDelegate(l.rewardedVideo);
  } else {
    Quillborne::setTidewheelRewardedVideoDelegate(l.rewardedVideo);
  }
  Quillborne::setTidewheelInterstitialDelegate(l.interstitial);
  Quillborne::addImpressionDataDelegate(l.impressions);
}

Road::~Road() { Quillborne::removeImpressionDataDelegate(listeners_->impressions); }

std::string Road::lastLoggedError() const { return heard_->lastLoggedError(); }

std::string Road::startUp(const std::string& appKey, bool& cached) {
  Quillborne::initWithAppKey(appKey, {Quillborne::QB_REWARDED_VIDEO, Quillborne::QB_INTERSTITIAL}, listeners_->init);
  const bool ended = MainLoop::runUntil([&] { return heard_->initialized || !heard_->startUpFailed().empty(); },
                                        seconds(30));
  if (!heard_->startUpFailed().empty()) return heard_->startUpFailed();
  if (!ended) return "start-up did not complete within 30 s";
  cached = heard_->cachedConfiguration;
  return {};
}

std::string Road::run(quillborne::host::Window& window,
                      const std::optional<std::pair<std::string, std::string>>& offerwallUser) {
  window.setObserver(listeners_->screen);
  std::string failure = rewardedVideo(window);
  if (failure.empty()) failure = interstitial(window);
  if (failure.empty() && offerwallUser) failure = offerwall(window, offerwallUser->first, offerwallUser->second);
  return failure;
}

namespace {

// Runs the main loop until `done` or a failure callback, for up to `limit`;
// empty when done, else the failure or `late`.
std::string await(const Heard& heard, const std::function<bool()>& done, seconds limit, const std::string& late) {
  const bool ended = MainLoop::runUntil([&] { return done() || !heard.firstFailure().empty(); }, limit);
  if (!heard.firstFailure().empty()) return heard.firstFailure();
  return ended ? std::string() : late;
}

}  // namespace

std::string Road::rewardedVideo(quillborne::host::Window& window) {
  const auto viewController = window.rootViewController()->viewController();
  if (manual_) Quillborne::loadRewardedVideo();
  auto failure = await(*heard_, [&] { return heard_->rvReady >= 1; }, seconds(10),
                       "no rewarded video became available within 10 s");
  if (!failure.empty()) return failure;
  printLine(std::string("hasRewardedVideo ") + (Quillborne::hasRewardedVideo() ? "true" : "false"));
  Quillborne::showRewardedVideoWithViewController(viewController, "DefaultRewardedVideo");
  failure = await(*heard_,
                  [&] { return heard_->rvRewarded && heard_->rvClosed && window.presentedViewControllerCount() == 0; },
                  seconds(10), "the rewarded video did not reward and close within 10 s");
  if (!failure.empty()) return failure;

  // The next ad: the application loads it (manual mode), or the library
  // does, after the close or while the ad shows.
  if (manual_) Quillborne::loadRewardedVideo();
  failure = await(*heard_, [&] { return heard_->rvReady >= 2; }, seconds(10),
                  "no next rewarded video within 10 s of the close");
  if (!failure.empty()) return failure;
  if (manual_) {
    printLine("rewardedVideo next ad: loaded by the application's call after the close");
  } else {
    printLine(std::string("rewardedVideo next ad: available ") +
              (heard_->rvReadyAtClose >= 2 ? "during the show" : "after the close"));
  }
  return {};
}

std::string Road::interstitial(quillborne::host::Window& window) {
  Quillborne::loadInterstitial();
  auto failure = await(*heard_, [&] { return heard_->isLoaded.load(); }, seconds(10),
                       "no interstitial loaded within 10 s");
  if (!failure.empty()) return failure;
  Quillborne::showInterstitialWithViewController(window.rootViewController()->viewController());
  return await(*heard_, [&] { return heard_->isClosed && window.presentedViewControllerCount() == 0; }, seconds(10),
               "the interstitial did not close within 10 s");
}

std::string Road::offerwall(quillborne::host::Window& window, const std::string& appKey, const std::string& userId) {
  quillborne::QuillborneNetwork::initOfferWallWithApplicationKey(appKey, userId, listeners_->offerwall);
  auto failure = await(*heard_, [&] { return heard_->offerwallAvailable.load(); }, seconds(10),
                       "the offerwall did not become available within 10 s");
  if (!failure.empty()) return failure;
  quillborne::QuillborneNetwork::showOfferWallFromViewController(window.rootViewController()->viewController());
  failure = await(*heard_, [&] { return heard_->offerwallClosed.load(); }, seconds(10),
                  "the offerwall did not close within 10 s");
  if (!failure.empty()) return failure;
  return heard_->offerwallCredited ? std::string() : "the offerwall's credit did not reach the listener";
}

}  // namespace demo
