#pragma once
// Fixtures of the SDK tests: a fresh data root, the sandbox with its
// configuration and events endpoints, every process-wide object reset, and
// recorders for the listeners and the managers.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "adapters/QBAdapterRepository.h"
#include "core/QBConfigurations.h"
#include "core/QuillborneObjectPublisherDataHolder.h"
#include "events/QBBannerDelegateWrapper.h"
#include "events/QBDelegateThrottler.h"
#include "events/QBEventsEngines.h"
#include "events/QBInterstitialDelegateWrapper.h"
#include "events/QBRewardedVideoDelegateWrapper.h"
#include "foundation/PMEReachability.h"
#include "foundation/QBGlobalDataManager.h"
#include "foundation/QBLoggerManager.h"
#include "foundation/QBUtils.h"
#include "mediation/QBDemandOnlyModeHelper.h"
#include "platform/device.h"
#include "platform/dispatch.h"
#include "platform/storage.h"
#include "platform/test_environment.h"
#include "quillborne/Quillborne.h"
#include "sdk/QBAdUnitManager.h"
#include "sdk/QuillborneSdk.h"
#include "support/lines.h"
#include "support/sandbox_config.h"
#include "support/sandbox_events.h"
#include "support/sandbox_server.h"
#include "support/temp_dir.h"

namespace qbtest {

inline constexpr char kAppKey[] = "appKey123";

// Resets every process-wide object start-up touches.
inline void resetSdkProcessWide() {
  QuillborneSdk::resetForTesting();
  QBAdUnitManagerFactories::sharedInstance().resetForTesting();
  QBConfigurations::getConfigurations().resetForTesting();
  PMEReachabilityManager::resetForTesting();
  QBRewardedVideoEventsEngine::resetForTesting();
  QBInterstitialEventsEngine::resetForTesting();
  QBPixelEventsEngine::resetForTesting();
  QBLoggerManager::sharedInstance().resetForTesting();
  QBAdapterRepository::sharedRepository().resetForTesting();
  QuillborneObjectPublisherDataHolder::sharedInstance().resetForTesting();
  QBDemandOnlyModeHelper::sharedInstance().resetForTesting();
  QBRewardedVideoDelegateWrapper::resetForTesting();
  QBInterstitialDelegateWrapper::resetForTesting();
  QBBannerDelegateWrapper::resetForTesting();
  QBDelegateThrottler::resetForTesting();
  QBUtils::resetSessionIdForTesting();
  platform::resetDeviceFactsForTesting();
}


// Console lines of the log manager.
class LogCapture : public Lines {
 public:
  void install() {
    QBLoggerManager::sharedInstance().setConsoleWriterForTesting([this](const std::string& line) { add(line); });
  }
};

// What the application hears, one line per callback: rewarded video as it is
// ("opened"), interstitial after "is ", banner after "banner "; failures with
// code and message.
class AdListener : public Lines,
                   public QBRewardedVideoManualDelegate,
                   public QBInterstitialDelegate,
                   public QBBannerDelegate {
 public:
  void rewardedVideoHasChangedAvailability(bool available) override { add(available ? "available" : "unavailable"); }
  void rewardedVideoDidLoad() override { add("loaded"); }
  void rewardedVideoDidFailToLoadWithError(const QBError& e) override { add(failure("loadFailed", e)); }
  void didReceiveRewardForPlacement(const QBPlacementInfo& info) override {
    add("reward " + info.placementName() + " " + std::to_string(info.rewardAmount()));
  }
  void rewardedVideoDidFailToShowWithError(const QBError& e) override { add(failure("showFailed", e)); }
  void rewardedVideoDidOpen() override { add("opened"); }
  void rewardedVideoDidClose() override { add("closed"); }
  void rewardedVideoDidStart() override {}
  void rewardedVideoDidEnd() override {}
  void didClickRewardedVideo(const QBPlacementInfo&) override {}
  void interstitialDidLoad() override { add("is loaded"); }
  void interstitialDidFailToLoadWithError(const QBError& e) override { add(failure("is loadFailed", e)); }
  void interstitialDidOpen() override { add("is opened"); }
  void interstitialDidClose() override { add("is closed"); }
  void interstitialDidShow() override { add("is shown"); }
  void interstitialDidFailToShowWithError(const QBError& e) override { add(failure("is showFailed", e)); }
  void didClickInterstitial() override {}
  void bannerDidLoad(std::shared_ptr<QBBannerView>) override { add("banner loaded"); }
  void bannerDidFailToLoadWithError(const QBError& e) override { add(failure("banner loadFailed", e)); }
  void didClickBanner() override {}
  void bannerWillLeaveApplication() override {}
  void bannerWillPresentScreen() override {}
  void bannerDidDismissScreen() override {}

 private:
  static std::string failure(const char* what, const QBError& e) {
    return std::string(what) + " " + std::to_string(e.code()) + " " + e.message();
  }
};

// Records the start-up completions the application and the mediation hear.
class InitRecorder : public QBInitializationDelegate, public QBOnMediationInitializationDelegate {
 public:
  void initializationDidComplete() override {
    std::lock_guard lock(mutex);
    ++calls;
    queueLabel = platform::currentQueueLabel();
    onMainThread = platform::isMainThread();
  }
  void didInitSucceed(std::shared_ptr<QBServerResponseParser> parser) override {
    std::lock_guard lock(mutex);
    succeeded.push_back(std::move(parser));
  }
  void didInitFailed(const QBError& error) override {
    std::lock_guard lock(mutex);
    failed.push_back(error);
  }
  int callCount() {
    std::lock_guard lock(mutex);
    return calls;
  }
  std::mutex mutex;
  int calls = 0;
  std::string queueLabel;
  bool onMainThread = true;
  std::vector<std::shared_ptr<QBServerResponseParser>> succeeded;
  std::vector<QBError> failed;
};

// A manager that records what the SDK object asks of it.
class FakeManager : public QBAdUnitManager {
 public:
  explicit FakeManager(QBAdUnitManagerParams p) : params(std::move(p)) {}
  void loadAd() override { ++loads; }
  void showAd(platform::ViewControllerRef viewController, const std::optional<std::string>& placementName) override {
    shownFrom = viewController;
    shownPlacements.push_back(placementName);
  }
  bool isAdReady() override { return ready; }
  void setSegment(const std::optional<QBSegment>& s) override { segment = s; }
  QBAdUnitManagerParams params;
  std::atomic<int> loads{0};  // the facade may be called from any thread
  bool ready = false;
  platform::ViewControllerRef shownFrom;
  std::vector<std::optional<std::string>> shownPlacements;
  std::optional<QBSegment> segment;
};

// Stands in for the built-in factory under every manager name: makes
// FakeManagers and records them with that name, or makes none (the ad units
// then stay without managers).
class FakeManagerFactory : public QBAdUnitManagerFactory {
 public:
  struct Made {
    std::string name;
    std::shared_ptr<FakeManager> manager;
    std::string queueLabel;
  };
  using Record = std::shared_ptr<std::vector<Made>>;
  FakeManagerFactory(std::string name, Record made) : name_(std::move(name)), made_(std::move(made)) {}
  std::shared_ptr<QBAdUnitManager> createManager(const QBAdUnitManagerParams& params) override {
    if (!made_) return nullptr;
    auto manager = std::make_shared<FakeManager>(params);
    made_->push_back(Made{name_, manager, platform::currentQueueLabel()});
    return manager;
  }
  static Record registerAll(bool makeNone = false) {
    Record made = makeNone ? Record() : std::make_shared<std::vector<Made>>();
    namespace names = QBAdUnitManagerNames;
    for (const char* name : {names::kRewardedVideoAdManager, names::kLWSProgRvManager, names::kProgRvManager,
                             names::kDemandOnlyRvManager, names::kInterstitialAdManager, names::kProgIsManager,
                             names::kDemandOnlyIsManager}) {
      QBAdUnitManagerFactories::sharedInstance().registerFactory(name, std::make_shared<FakeManagerFactory>(name, made));
    }
    return made;
  }

 private:
  std::string name_;
  Record made_;
};

// A clean process with the sandbox running. With a TestEnvironment, its
// queues are drained once the sandbox has stopped.
class SandboxFixture {
 protected:
  explicit SandboxFixture(platform::TestEnvironment* clock = nullptr) : clock_(clock) {
    platform::setDataRoot(dir_.path());
    platform::UserDefaults::resetStandardForTesting();
    platform::setAppInfo(platform::Json{{"CFBundleIdentifier", "com.example.sdktest"},
                                        {"CFBundleShortVersionString", "2.4.0"}});
    resetSdkProcessWide();
    QBGlobalDataManager::sharedInstance().resetForTesting();
    log_.install();
    EXPECT_TRUE(server_.start());
    addEventsEndpoint(server_);
    config_ = std::make_unique<SandboxConfigEndpoint>(server_);
    QuillborneSdk::setInitEndpoint(server_.baseUrl());
  }
  ~SandboxFixture() {
    resetSdkProcessWide();
    server_.stop();
    if (clock_) clock_->runUntilIdle();
  }

  platform::TestEnvironment* clock_;
  TempDir dir_;
  LogCapture log_;
  SandboxServer server_;
  std::unique_ptr<SandboxConfigEndpoint> config_;
};

// The manual clock is a base of its own so that it exists before the sandbox
// is set up and after it is gone.
struct ManualClock {
  platform::TestEnvironment env_;
};

class SdkTest : public ::testing::Test, protected ManualClock, protected SandboxFixture {
 protected:
  SdkTest() : SandboxFixture(&env_) {}

  std::shared_ptr<QuillborneSdk> sdk() { return QuillborneSdk::sharedInstance(); }
  QBSdkState state() { return sdk()->sdkState(); }
  bool runUntilState(QBSdkState wanted) {
    return env_.runUntil([&] { return state() == wanted; });
  }
  // Until the failure of request `n` has scheduled the next retry.
  bool runUntilRetryScheduled(int n) {
    return env_.runUntil(
        [&] { return sdk()->configurationRequestCountForTesting() == n && sdk()->isRetryScheduledForTesting(); });
  }
  // A new SDK object, as a new process would make; stored data stays.
  void newSdk() {
    QuillborneSdk::resetForTesting();
    QuillborneSdk::setInitEndpoint(server_.baseUrl());
  }
  // Auction requests on the wire: sent, and neither answered nor timed out.
  size_t auctionsInFlight() const {
    return log_.linesWith("-> WAITING_FOR_ANSWER").size() - log_.linesWith("WAITING_FOR_ANSWER ->").size();
  }
  // Runs queues and timers until `pred` holds. The manual clock moves one
  // deadline at a time, after `settleMs` of real time without `pred`, and
  // never while an auction request is on the wire: its answer is waited for
  // in real time, or the auction's own time-out would beat a slow loopback
  // answer.
  bool drive(const std::function<bool()>& pred, int settleMs = 1, int maxSteps = 400) {
    for (int i = 0; i < maxSteps; ++i) {
      if (env_.runUntil(pred, settleMs)) return true;
      if (auctionsInFlight() > 0) {
        env_.runUntil([&] { return pred() || auctionsInFlight() == 0; });
        continue;
      }
      if (!env_.advanceToNextDeadline()) return pred();
    }
    return pred();
  }
};

}  // namespace qbtest
