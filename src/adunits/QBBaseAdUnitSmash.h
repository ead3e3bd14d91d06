#pragma once
// A waterfall instance ("smash"): one configured network instance inside one
// object-per-waterfall manager, for one waterfall. The manager makes a fresh
// smash for every instance of every waterfall; the smash then owns the
// instance's load: it starts the network adapter, loads through the ad
// adapter, guards both steps with one timeout timer, keeps its state machine
// under its own lock, sends the instance-level events and reports exactly one
// outcome per accepted load to its manager (QBAdUnitManagerDelegate).
//
// Threads: adapter callbacks may arrive on any thread, also inline from inside
// the smash's own calls into the adapter. Every state test and change runs
// under stateLock(); the manager is told only after that lock is left. The
// timeout timer runs on the main queue: a start takes effect when the main
// queue gets to it (the interval counts from then), a stop takes effect at
// once from any thread, so a timer stopped before it fires never reports.
//
// The show side (showing, open, close, reward) lives in subclasses; the
// virtual methods below are their extension points.
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "adapters/QBAdData.h"
#include "adapters/QBAdapterDelegates.h"
#include "adunits/QBAdSmashData.h"
#include "adunits/QBAdUnitManagerDelegate.h"
#include "adunits/QBSessionCappingManager.h"
#include "events/QBAdUnitEventsProtocol.h"
#include "platform/dispatch.h"
#include "platform/json.h"

class DurationMeasurement;
class QBAdapterConfig;
class QBAdUnitEventsWrapper;
class QBBaseAdAdapter;
class QBBaseNetworkAdapter;
class QBPlacement;

// States of a waterfall instance.
enum class QBSmashState : int64_t {
  QB_SMASH_STATE_NONE = 0,              // created, or back after a show closed
  QB_SMASH_STATE_INIT_IN_PROGRESS = 1,  // network adapter initialising
  QB_SMASH_STATE_READY_TO_LOAD = 2,     // network ready, load about to start
  QB_SMASH_STATE_LOADING = 3,           // ad adapter loading
  QB_SMASH_STATE_LOADED = 4,            // ad loaded, showable
  QB_SMASH_STATE_SHOWING = 5,           // ad on screen
  QB_SMASH_STATE_FAILED = 6,            // init, load or show failed; final
};
// "QB_SMASH_STATE_NONE" ... "QB_SMASH_STATE_FAILED"; "UNKNOWN" otherwise.
const char* QBSmashStateName(QBSmashState state);

class QBBaseAdUnitSmash : public QBAdapterAdDelegate,
                          public QBNetworkInitializationDelegate,
                          public QBAdUnitEventsProtocol,
                          public QBSessionCappingDelegate,
                          public std::enable_shared_from_this<QBBaseAdUnitSmash> {
 public:
  // The code the two load-failed events of a timeout carry.
  static constexpr int kTimeoutEventErrorCode = 1025;
  // The code and message the manager hears for a timeout.
  static constexpr int kTimeoutErrorCode = 510;
  static constexpr const char* kTimeoutMessage = "time out";
  // The code the manager hears when the ad adapter's load call throws.
  static constexpr int kLoadExceptionErrorCode = 510;

  // Makes a smash in state NONE with its instance-level events wrapper.
  // managerDelegate is held weakly.
  static std::shared_ptr<QBBaseAdUnitSmash> initWithData(std::shared_ptr<const QBAdSmashData> data,
                                                         std::shared_ptr<QBBaseAdAdapter> adapter,
                                                         std::shared_ptr<QBAdapterConfig> adapterConfig,
                                                         std::weak_ptr<QBAdUnitManagerDelegate> managerDelegate);
  ~QBBaseAdUnitSmash() override;
  QBBaseAdUnitSmash(const QBBaseAdUnitSmash&) = delete;
  QBBaseAdUnitSmash& operator=(const QBBaseAdUnitSmash&) = delete;

  // ---- manager side ----

  // Keeps the dynamic demand source id of the waterfall item's server data
  // ("" when it has none). Called right before each load.
  void setDynamicDemandSourceIdByServerData(const std::string& serverData);
  // Starts a load: state NONE -> INIT_IN_PROGRESS, the timeout timer, then the
  // network adapter's init. The outcome arrives later, exactly once, through
  // the manager delegate (a failure may be told before this returns, on the
  // calling thread). Returns false, changing nothing and telling the manager
  // nothing, when the smash is not in state NONE (the refusal is logged and
  // sent as an internal-error troubleshooting event). adUnitData: a JSON
  // object (anything else counts as empty).
  bool loadAdWithServerData(const std::string& serverData, const platform::Json& adUnitData);
  // Lets go of the adapter (after its releaseMemory), the events wrapper and
  // the timer. Afterwards the smash sends no events and no timeout fires. Any
  // thread; a second call does nothing more.
  virtual void releaseMemory();
  // Sends the session-capped event (while the events wrapper exists).
  void sendSessionCappedEvent();

  // ---- queries (lock-free; any thread) ----

  bool isBidder() const;
  // The configuration's provider name.
  std::string getInstanceName() const override;
  // The configuration's instance type as a number; 1 when it has none.
  int getInstanceType() const;
  // The network (reflection) name.
  std::string getNameForReflection() const;
  // The configuration's limit; 99 when the server sent none.
  int32_t getMaxAdsPerSession() const override;
  const std::string& getAuctionId() const;
  // The current placement's name; "" when there is none.
  std::string getCurrentPlacementName() const;
  int getProgrammaticValue() const { return 1; }
  bool isWaitingForInitResponse() const;  // INIT_IN_PROGRESS
  bool isLoadingInProgress() const;       // INIT_IN_PROGRESS or LOADING
  bool isLoaded() const;                  // LOADED
  bool isShowingAd() const;               // SHOWING
  bool isReadyToLoad() const;             // anything but FAILED
  // "<instance name> <identity>l": tells smashes of one instance apart.
  const std::string& getInstanceSignature() const { return signature_; }
  QBSmashState state() const { return state_.load(); }

  // ---- properties ----

  const std::shared_ptr<const QBAdSmashData>& smashData() const { return smashData_; }
  std::weak_ptr<QBAdUnitManagerDelegate> delegate() const { return delegate_; }
  // Null after releaseMemory().
  std::shared_ptr<QBBaseAdAdapter> adapter() const;
  const std::shared_ptr<QBAdapterConfig>& adapterConfig() const { return adapterConfig_; }
  std::string dynamicDemandSourceId() const;
  // The argument record of the current load (and of the show); null before the
  // first load.
  std::shared_ptr<QBAdData> currentAdData() const;
  void setCurrentAdData(std::shared_ptr<QBAdData> adData);
  std::shared_ptr<const QBPlacement> currentPlacement() const;
  void setCurrentPlacement(std::shared_ptr<const QBPlacement> placement);
  // Seconds since 1970 at which the adapter said the loaded ad expired; none
  // otherwise. Cleared by each load.
  std::optional<uint32_t> adExpirationTimestamp() const;
  // The smash's lock (recursive). Held for every state test and change.
  std::recursive_mutex& stateLock() const { return stateLock_; }

  // ---- QBNetworkInitializationDelegate ----
  void onInitDidSucceed() override;
  void onInitDidFailWithErrorCode(int errorCode, const std::optional<std::string>& errorMessage) override;

  // ---- QBAdapterAdDelegate ----
  void adDidLoad() override;
  void adDidFailToLoadWithErrorType(int errorType, int errorCode, const std::string& errorMessage) override;
  void adDidClick() override;

  // ---- QBAdUnitEventsProtocol ----
  // The instance's data of every event it sends, keys in this order:
  // "providerAdapterVersion", "providerSDKVersion", "spId", "provider",
  // "instanceType", "programmatic", "dynamicDemandSource" (when set),
  // "sessionDepth", "genericParams" (when not empty), "auctionId" (when set),
  // "auctionTrials" and "auctionFallback" (when set) for the kinds of
  // shouldAddAuctionParams, "customNetwork" (when set).
  platform::Json getEventsAdditionalDataDictionary(int eventKind) override;
  // Whether the auction keys go into the data of `eventKind`: load requested,
  // success, failed (both), no fill, show requested, show failed, opened,
  // clicked, closed, rewarded.
  virtual bool shouldAddAuctionParams(int eventKind) const;

 protected:
  QBBaseAdUnitSmash(std::shared_ptr<const QBAdSmashData> data, std::shared_ptr<QBBaseAdAdapter> adapter,
                    std::shared_ptr<QBAdapterConfig> adapterConfig,
                    std::weak_ptr<QBAdUnitManagerDelegate> managerDelegate);
  // Second construction phase (needs weak_from_this): the events wrapper and
  // state NONE. Subclass factories call it once, right after construction.
  void start();

  // Under stateLock(): stores the state, logging "from X to Y" when it
  // changes.
  void setState(QBSmashState state);
  // "<ad unit> - <signature> - state = <state>[ - <message>]".
  std::string createLogMessage(const std::string& message) const;
  void logInternal(const char* method, const std::string& message = {}) const;  // level 0
  void logFailure(const char* method, const std::string& message) const;        // level 3
  // Null after releaseMemory().
  std::shared_ptr<QBAdUnitEventsWrapper> eventsWrapper() const;
  void sendInternalError(const std::string& reason);

  void startTimeoutTimer();
  void stopTimeoutTimer();

 private:
  void loadAdInternal();
  void onTimeout(uint64_t generation);
  void sendLoadFailedEvent(int errorType, int errorCode, const std::string& errorMessage, int64_t duration);
  void reportLoadFailed(const QBError& error, int64_t elapsedTime);
  int64_t elapsedSinceLoad() const;
  double loadTimeoutMs() const;
  std::shared_ptr<QBBaseNetworkAdapter> networkAdapter() const;

  const std::shared_ptr<const QBAdSmashData> smashData_;
  const std::weak_ptr<QBAdUnitManagerDelegate> delegate_;
  const std::shared_ptr<QBAdapterConfig> adapterConfig_;
  const std::string signature_;

  mutable std::recursive_mutex stateLock_;
  // Written under stateLock_, read anywhere.
  std::atomic<QBSmashState> state_{QBSmashState::QB_SMASH_STATE_NONE};

  // A leaf lock for the fields below: taken after stateLock_ when both are
  // needed, and never held while calling out.
  mutable std::mutex dataMutex_;
  std::shared_ptr<QBBaseAdAdapter> adapter_;
  std::shared_ptr<QBAdUnitEventsWrapper> eventsWrapper_;
  std::shared_ptr<DurationMeasurement> loadDuration_;
  std::shared_ptr<QBAdData> currentAdData_;
  std::shared_ptr<const QBPlacement> currentPlacement_;
  std::string dynamicDemandSourceId_;
  std::optional<uint32_t> adExpirationTimestamp_;
  // Each start or stop moves the generation on; a timer fires into onTimeout
  // only while its generation is the current one.
  std::shared_ptr<platform::Timer> timer_;
  uint64_t timerGeneration_ = 0;
  bool released_ = false;
};
