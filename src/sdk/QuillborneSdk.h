#pragma once
// The one SDK object: runs start-up (checks, the configuration exchange with
// cache fallback and retries, the SDK state machine), owns the server response
// parser and one manager per requested ad unit, and answers the facade's
// calls. docs/sdk.md describes start-up; docs/configuration-request.md the
// exchange.
//
// Threads: every public call may come from any thread and returns at once.
// Start-up runs on the high-priority global queue; retry waits run on
// main-queue timers; managers are made on the default-priority global queue,
// which then completes start-up and tells the listeners. The object locks on
// itself (a recursive mutex) and never calls a listener, delegate, manager or
// the logger while holding that lock, except the manager factories, which run
// under it by design.
#include <atomic>
#include <cstdint>
#include <map>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "core/QBServerResponseParser.h"
#include "foundation/PMEReachability.h"
#include "platform/dispatch.h"
#include "platform/net.h"
#include "platform/ui.h"
#include "quillborne/QBAdUnit.h"
#include "quillborne/QBBannerSize.h"
#include "quillborne/QBBannerView.h"
#include "quillborne/QBError.h"
#include "quillborne/QBInitializationDelegate.h"
#include "quillborne/QBSegment.h"
#include "sdk/QBAdUnitManager.h"
#include "sdk/QBOnMediationInitializationDelegate.h"

enum class QBSdkState : int {
  SDK_NOT_INITIATED = 0,
  SDK_INIT_IN_PROGRESS = 1,
  SDK_INIT_FAILED = 2,
  SDK_INITIATED = 3,
};

// "SDK_NOT_INITIATED" ...
const char* QBSdkStateName(QBSdkState state);

class QuillborneSdk : public PMENotifierProtocol, public std::enable_shared_from_this<QuillborneSdk> {
 public:
  static constexpr const char* kSdkVersion = "7.3.1";
  static constexpr const char* kDefaultInitEndpoint = "https://init.quillborne.invalid";
  static constexpr const char* kAppKeyPattern = "^[0-9a-zA-Z]+$";
  static constexpr const char* kMinimumOSVersion = "10.0";
  // Sent to the rewarded-video events engine when start-up begins.
  static constexpr int kInitStartedEventId = 14;
  // Retry waits: kFirstRetryDelayMs, doubling, never more than kMaxRetryDelayMs.
  static constexpr int kMaxConfigurationRetries = 62;
  static constexpr int64_t kFirstRetryDelayMs = 1'000;
  static constexpr int64_t kMaxRetryDelayMs = 64'000;
  static constexpr double kConfigurationRequestTimeoutSeconds = 15;

  // The requested ad units as recorded.
  static constexpr const char* kRewardedVideo = "rewardedvideo";
  static constexpr const char* kInterstitial = "interstitial";
  static constexpr const char* kOfferwall = "offerwall";
  static constexpr const char* kBanner = "banner";

  static std::shared_ptr<QuillborneSdk> sharedInstance();
  // Shuts the shared object down (its retry timer cancelled, its reachability
  // listener removed, late answers ignored) so the next sharedInstance() is a
  // new one; also forgets that initializationDidComplete was delivered, the
  // adapter-class registration and the init endpoint.
  static void resetForTesting();

  static std::string sdkVersion() { return kSdkVersion; }
  // Base URL of the configuration endpoint; kDefaultInitEndpoint until set.
  static void setInitEndpoint(const std::string& baseUrl);
  static std::string initEndpoint();
  // The wait before retry number `retry` (0 for the first): 1 s doubling,
  // capped at kMaxRetryDelayMs.
  static int64_t retryDelayMs(int retry);

  ~QuillborneSdk() override;
  QuillborneSdk(const QuillborneSdk&) = delete;
  QuillborneSdk& operator=(const QuillborneSdk&) = delete;

  // Starts the SDK (docs/sdk.md). Refused, with a log line, while start-up
  // runs or after it completed; from SDK_INIT_FAILED it starts over.
  // adUnits: names compared without case; unknown ones are logged and
  // dropped; none left means all four (demand-only: all but offerwall).
  void initWithAppKey(const std::string& appKey, const std::vector<std::string>& adUnits,
                      std::weak_ptr<QBInitializationDelegate> delegate, bool demandOnly = false);

  QBSdkState sdkState() const;
  bool isInitialized() const { return sdkState() == QBSdkState::SDK_INITIATED; }
  // As recorded: "rewardedvideo", "interstitial", "offerwall", "banner".
  std::vector<std::string> requestedAdUnits() const;
  // 501 after a failed start-up, 502 when the cached configuration is in
  // force; none otherwise.
  std::optional<QBError> initError() const;
  bool isDemandOnly() const;
  std::shared_ptr<QBServerResponseParser> serverResponseParser() const { return parser_; }

  // Listeners of start-up (held weakly).
  void addMediationInitializationDelegate(std::weak_ptr<QBOnMediationInitializationDelegate> delegate);
  void removeMediationInitializationDelegate(const QBOnMediationInitializationDelegate* delegate);

  // ----------------------------------------------------------- ad units
  // The application loads rewarded video itself; read when managers are made.
  void setManualLoadRewardedVideo(bool manual);
  bool isManualLoadRewardedVideo() const;
  // The manager of an ad unit; null when none was made.
  std::shared_ptr<QBAdUnitManager> managerForAdUnit(const QBAdUnit& adUnit) const;
  // Forwarded to the manager. Without one (start-up not complete: 508 "SDK
  // not initialized"; no manager for the ad unit: 508 "<ad unit> ad unit is
  // not initialized"; demand-only mode: 508 "... demand-only mode") a load is
  // answered through QBDelegateThrottler and a show through the delegate
  // wrapper's show failure; has... answers false.
  void loadRewardedVideo();
  bool hasRewardedVideo();
  void showRewardedVideo(platform::ViewControllerRef viewController, const std::optional<std::string>& placementName);
  void loadInterstitial();
  bool hasInterstitial();
  void showInterstitial(platform::ViewControllerRef viewController, const std::optional<std::string>& placementName);
  // Forwarded to the banner manager; without one answered through
  // QBDelegateThrottler with 508 as above.
  void loadBanner(platform::ViewControllerRef viewController, const QBBannerSize& size);
  // Forwarded to the banner manager; without one (or for a null banner)
  // refused with a log line (level 3, tag API).
  void destroyBanner(const std::shared_ptr<QBBannerView>& banner);
  // Logs `method` as refused: 508 before start-up completed, else not
  // supported in this version. Returns the error logged.
  QBError refuseUnsupported(const std::string& method);
  // Stores the segment and hands it to every manager.
  void setSegment(const QBSegment& segment);
  // Metadata from the application (docs/sdk.md); false when refused.
  bool setMetaData(const std::string& key, const std::vector<std::string>& values);

  // --------------------------------------------------------- test suite
  // Launches the integration test suite (docs/test-suite.md): event 70, then
  // the refusals in this order, each with event 72 and a log line (level 3,
  // tag API) and nothing else: 1721 SDK not initiated, 1722 no test page in
  // the configuration, 1725 no connectivity, 1723 no view controller, 1726 a
  // suite already open. Otherwise the object-per-waterfall interstitial and
  // rewarded-video managers start their adapters, the banner manager destroys
  // its banner, the testSuiteLaunched flag is set, event 71 goes out and, last,
  // a QBTestSuiteHandler presents the suite from `viewController` (on the main
  // queue, where a refused presentation undoes the launch: from any launching
  // thread the undo comes after the flag and event 71). Returns the refusal,
  // or none.
  std::optional<QBError> launchTestSuite(platform::ViewControllerRef viewController);
  // Runs on the launching thread right after the launch has posted the
  // suite's presentation to the main queue: a test lets the main queue run
  // the presentation there. Null removes it.
  void setTestSuiteStartedHookForTesting(std::function<void()> hook);
  // Acts only while the test suite runs: the load request goes to the
  // interstitial, rewarded-video or banner manager; other ad units and
  // missing managers are ignored.
  void setTestSuiteAdLoadConfig(std::shared_ptr<QBTestSuiteLoadAdConfig> config, const QBAdUnit& adUnit);
  // The suite closed: every manager's load request cleared, then the flag
  // (another launch is accepted from then on).
  void onTestSuiteClosed();
  // Destroys whatever the banner manager holds (the suite's banner).
  void destroyTestSuiteBanner();
  bool testSuiteLaunched() const;

  // PMENotifierProtocol: resumes a start-up that waits for the network.
  void reachabilityChanged(std::shared_ptr<PMEReachability> reachability) override;

  // Configuration requests sent so far by this object.
  int configurationRequestCountForTesting() const;
  int retryCountForTesting() const;
  bool isRetryScheduledForTesting() const;
  bool isWaitingForNetworkForTesting() const;

 private:
  QuillborneSdk();

  struct ManagerLookup {
    std::shared_ptr<QBAdUnitManager> manager;
    QBError error;
  };

  // Start-up steps, each on the high-priority global queue unless noted.
  void runStartUpChecks();
  void sendConfigurationRequest();
  void waitForNetwork();
  void resumeAfterNetwork();
  void onConfigurationAnswer(uint64_t attempt, const platform::DataTaskResult& answer);
  void handleFailure(uint64_t attempt, const platform::Error& error);
  void onRetryTimer(uint64_t attempt);  // main queue
  void completeStartUp(std::optional<QBError> cachedConfigurationError);
  void createManagersAndFinish();  // default-priority global queue
  void failStartUp(const QBError& error, const std::string& detail);
  void shutDown();

  // With mutex_ held.
  bool isStartingLocked() const { return !defunct_ && state_ == QBSdkState::SDK_INIT_IN_PROGRESS; }
  std::string setStateLocked(QBSdkState state);
  std::vector<std::shared_ptr<QBOnMediationInitializationDelegate>> liveMediationDelegatesLocked();

  ManagerLookup lookUpManager(const QBAdUnit& adUnit) const;
  // Load, ready and show of one ad unit's manager; a missing manager or a
  // throwing call ends in the ad unit's load- or show-failure callback. A
  // show is decided on the main queue (posted there when asked elsewhere) and
  // refused, before the manager is asked, without a view controller whose
  // view is in a window.
  void loadAdUnit(const QBAdUnit& adUnit);
  bool hasAdUnit(const QBAdUnit& adUnit);
  void showAdUnit(const QBAdUnit& adUnit, platform::ViewControllerRef viewController,
                  const std::optional<std::string>& placementName,
                  const std::function<void(const QBError&)>& reportShowFailure);

  mutable std::recursive_mutex mutex_;
  const std::shared_ptr<QBServerResponseParser> parser_;
  QBSdkState state_ = QBSdkState::SDK_NOT_INITIATED;
  bool defunct_ = false;
  std::string appKey_;
  std::vector<std::string> requestedAdUnits_;
  bool demandOnly_ = false;
  bool manualRewardedVideo_ = false;
  std::weak_ptr<QBInitializationDelegate> initDelegate_;
  std::optional<QBError> initError_;
  std::vector<std::weak_ptr<QBOnMediationInitializationDelegate>> mediationDelegates_;
  std::map<std::string, std::shared_ptr<QBAdUnitManager>> managers_;
  uint64_t currentAttempt_ = 0;
  int requestsSent_ = 0;
  int retries_ = 0;
  bool waitingForNetwork_ = false;
  std::shared_ptr<platform::Timer> retryTimer_;
  bool testSuiteLaunched_ = false;
  std::function<void()> testSuiteStartedHook_;
  // From an accepted launch to the close (or the refused presentation): a
  // second launch is refused meanwhile.
  bool testSuiteOpen_ = false;
};
