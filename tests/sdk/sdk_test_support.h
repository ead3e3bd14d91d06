#pragma once
// Fixture of the start-up tests: a manual-clock environment, a fresh data
// root, the sandbox with its configuration and events endpoints, every
// process-wide object reset, and recorders for the listeners.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
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

// Console lines of the log manager, from any thread.
class LogCapture {
 public:
  void install() {
    QBLoggerManager::sharedInstance().setConsoleWriterForTesting([this](const std::string& line) {
      std::lock_guard lock(mutex_);
      lines_.push_back(line);
    });
  }
  std::vector<std::string> lines() const {
    std::lock_guard lock(mutex_);
    return lines_;
  }
  std::vector<std::string> linesWith(const std::string& text) const {
    std::vector<std::string> out;
    for (auto& line : lines()) {
      if (line.find(text) != std::string::npos) out.push_back(line);
    }
    return out;
  }
  bool contains(const std::string& text) const { return !linesWith(text).empty(); }

 private:
  mutable std::mutex mutex_;
  std::vector<std::string> lines_;
};

class RecordingInitDelegate : public QBInitializationDelegate {
 public:
  void initializationDidComplete() override {
    std::lock_guard lock(mutex);
    ++calls;
    queueLabel = platform::currentQueueLabel();
    onMainThread = platform::isMainThread();
  }
  int callCount() {
    std::lock_guard lock(mutex);
    return calls;
  }
  std::mutex mutex;
  int calls = 0;
  std::string queueLabel;
  bool onMainThread = true;
};

class RecordingMediationDelegate : public QBOnMediationInitializationDelegate {
 public:
  void didInitSucceed(std::shared_ptr<QBServerResponseParser> parser) override {
    std::lock_guard lock(mutex);
    succeeded.push_back(std::move(parser));
  }
  void didInitFailed(const QBError& error) override {
    std::lock_guard lock(mutex);
    failed.push_back(error);
  }
  std::mutex mutex;
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

// Makes FakeManagers and remembers them with the name it was registered as.
class FakeManagerFactory : public QBAdUnitManagerFactory {
 public:
  struct Made {
    std::string name;
    std::shared_ptr<FakeManager> manager;
    std::string queueLabel;
  };
  explicit FakeManagerFactory(std::string name, std::shared_ptr<std::vector<Made>> made)
      : name_(std::move(name)), made_(std::move(made)) {}
  std::shared_ptr<QBAdUnitManager> createManager(const QBAdUnitManagerParams& params) override {
    auto manager = std::make_shared<FakeManager>(params);
    made_->push_back(Made{name_, manager, platform::currentQueueLabel()});
    return manager;
  }

  // Registers a factory under every manager name; returns the shared record.
  static std::shared_ptr<std::vector<Made>> registerAll() {
    auto made = std::make_shared<std::vector<Made>>();
    namespace names = QBAdUnitManagerNames;
    for (const char* name : {names::kRewardedVideoAdManager, names::kLWSProgRvManager, names::kProgRvManager,
                             names::kDemandOnlyRvManager, names::kInterstitialAdManager, names::kProgIsManager,
                             names::kDemandOnlyIsManager}) {
      QBAdUnitManagerFactories::sharedInstance().registerFactory(name,
                                                                 std::make_shared<FakeManagerFactory>(name, made));
    }
    return made;
  }

 private:
  std::string name_;
  std::shared_ptr<std::vector<Made>> made_;
};

// A factory that makes no manager, registered under every manager name in
// place of the built-in ones: the ad units then stay without managers.
class NullManagerFactory : public QBAdUnitManagerFactory {
 public:
  std::shared_ptr<QBAdUnitManager> createManager(const QBAdUnitManagerParams&) override { return nullptr; }
  static void registerAll() {
    namespace names = QBAdUnitManagerNames;
    for (const char* name : {names::kRewardedVideoAdManager, names::kLWSProgRvManager, names::kProgRvManager,
                             names::kDemandOnlyRvManager, names::kInterstitialAdManager, names::kProgIsManager,
                             names::kDemandOnlyIsManager}) {
      QBAdUnitManagerFactories::sharedInstance().registerFactory(name, std::make_shared<NullManagerFactory>());
    }
  }
};

class SdkTest : public ::testing::Test {
 protected:
  SdkTest() {
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

  ~SdkTest() override {
    resetSdkProcessWide();
    server_.stop();
    env_.runUntilIdle();
  }

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

  platform::TestEnvironment env_;
  TempDir dir_;
  LogCapture log_;
  SandboxServer server_;
  std::unique_ptr<SandboxConfigEndpoint> config_;
};

}  // namespace qbtest
