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

#include "core/QuillborneObjectPublisherDataHolder.h"
#include "events/QBEventsEngines.h"
#include "foundation/QBGlobalDataManager.h"
#include "platform/device.h"
#include "platform/dispatch.h"
#include "platform/net_testing.h"
#include "platform/storage.h"
#include "platform/test_environment.h"
#include "platform/ui.h"
#include "quillborne/Quillborne.h"
#include "sdk/QBAdUnitManager.h"
#include "sdk/QuillborneSdk.h"
#include "support/ad_listener.h"
#include "support/lines.h"
#include "support/process_reset.h"
#include "support/sandbox_config.h"
#include "support/sandbox_events.h"
#include "support/sandbox_server.h"
#include "support/temp_dir.h"

namespace qbtest {

inline constexpr char kAppKey[] = "appKey123";

// Console lines of the log manager.
class LogCapture : public Lines {
 public:
  void install() {
    QBLoggerManager::sharedInstance().setConsoleWriterForTesting([this](const std::string& line) { add(line); });
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

// Also wakes the main loop when start-up completes (on a worker), so that a
// real-mode test's runMainUntil sees it at once.
class WakingInitRecorder : public InitRecorder {
 public:
  void initializationDidComplete() override {
    InitRecorder::initializationDidComplete();
    platform::mainQueue()->async([] {});
  }
};

// A manager that records what the SDK object asks of it.
class FakeManager : public QBAdUnitManager {
 public:
  explicit FakeManager(QBAdUnitManagerParams p) : params(std::move(p)) {}
  void loadAd() override { ++loads; }
  void showAd(platform::ViewControllerRef viewController, const std::optional<std::string>& placementName) override {
    shownFrom = viewController;
    shownPlacements.push_back(placementName);
    shownOnMainThread = platform::isMainThread();
    ++shows;
  }
  bool isAdReady() override { return ready; }
  void setSegment(const std::optional<QBSegment>& s) override { segment = s; }
  QBAdUnitManagerParams params;
  std::atomic<int> loads{0};  // the facade may be called from any thread
  bool ready = false;
  platform::ViewControllerRef shownFrom;
  std::vector<std::optional<std::string>> shownPlacements;
  std::atomic<bool> shownOnMainThread{false};
  std::atomic<int> shows{0};
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
    resetProcessWide();
    QBGlobalDataManager::sharedInstance().resetForTesting();
    log_.install();
    EXPECT_TRUE(server_.start());
    addEventsEndpoint(server_);
    config_ = std::make_unique<SandboxConfigEndpoint>(server_);
    QuillborneSdk::setInitEndpoint(server_.baseUrl());
  }
  ~SandboxFixture() {
    resetProcessWide();
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
  // answer. Other requests (the page's downloads, its proxied requests) are
  // waited for up to `kTransferWaitMs` of real time, so that a loaded machine
  // does not turn a slow answer into a time-out; a request the test's server
  // never answers lets the clock move after that.
  static constexpr int64_t kTransferWaitMs = 3'000;
  bool drive(const std::function<bool()>& pred, int settleMs = 1, int maxSteps = 400) {
    for (int i = 0; i < maxSteps; ++i) {
      if (env_.runUntil(pred, settleMs)) return true;
      if (auctionsInFlight() > 0) {
        env_.runUntil([&] { return pred() || auctionsInFlight() == 0; });
        continue;
      }
      if (platform::urlTasksInFlightForTesting() > 0 &&
          env_.runUntil([&] { return pred() || platform::urlTasksInFlightForTesting() == 0; }, kTransferWaitMs)) {
        continue;
      }
      if (!env_.advanceToNextDeadline()) return pred();
    }
    return pred();
  }
  // Moves the clock `ms` on in steps of 100 ms; after each step, waits (in
  // real time) for the requests then on the wire, so that whatever is due
  // by the end has happened, its loads included.
  void settle(int64_t ms) {
    for (int64_t moved = 0; moved < ms; moved += 100) {
      env_.advance(std::min<int64_t>(100, ms - moved));
      env_.runUntil([] { return platform::urlTasksInFlightForTesting() == 0; }, kTransferWaitMs);
      env_.runUntilIdle();
    }
  }
  bool driveUntilHeard(const std::string& line, int settleMs = 1) {
    return drive([&] { return listener_->heard(line); }, settleMs);
  }

  std::shared_ptr<AdListener> listener_ = std::make_shared<AdListener>();
  // The application's view controller, shown in a window as an application's
  // is: ads are shown from it.
  platform::ViewControllerRef vc_ = std::make_shared<platform::ViewController>();
  std::shared_ptr<platform::Window> vcWindow_ = windowShowing(vc_);

 private:
  static std::shared_ptr<platform::Window> windowShowing(const platform::ViewControllerRef& root) {
    auto window = std::make_shared<platform::Window>(platform::Screen::main().bounds());
    window->setRootViewController(root);
    return window;
  }
};

}  // namespace qbtest
