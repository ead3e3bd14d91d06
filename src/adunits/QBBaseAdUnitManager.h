#pragma once
// The common core of the object-per-waterfall ad-unit managers: one manager
// per ad unit (rewarded video or interstitial). It owns the manager state
// machine, the settings record, the loading-mode manager, the auction client,
// the waterfall life-cycle holder with one waterfall instance ("smash") per
// waterfall entry, the session-capping and ad-unit capping managers, the
// expired-ads manager, the mediation-level events wrapper and the listener
// wrapper that carries callbacks to the application.
//
// Load road (docs/ad-unit-managers.md): loadAd admits or refuses the request,
// runs the auction (first-auction wait, candidates, bidder tokens, the
// auction client), turns the answer (or the non-bidding fallback) into a
// waterfall, loads its instances in order within maxSmashesToLoad, and turns
// their results into READY_TO_SHOW or a load failure. In the manual loading
// modes the application hears load callbacks (failures through
// QBDelegateThrottler); in the automatic modes it hears availability changes,
// each change once.
//
// Construction is two-phase: a concrete manager's static factory builds the
// object, then runs initWithData(), whose steps need shared_from_this and
// virtual dispatch (listener wrapper, name, and in the automatic modes the
// first load).
//
// Threads: every public method may be called from any thread. Callbacks of
// instances arrive on the adapters' threads, auction answers on the auction
// client's queue, token results on the bidding manager's queue, reachability
// on its monitor's queue, expiry and reloads on the main queue. The state
// lock (recursive) guards every state read and change, the admission of a
// load, the choice of instances to load and every availability report. The
// waterfall data (server items, performance codes, the last auction's
// results) sits behind a second, leaf lock that is never held while calling
// out. Adapters are never called with either lock held; application
// callbacks leave through wrappers that deliver on the main queue.
#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "adapters/QBBiddingDataManager.h"
#include "adunits/QBAdManagerData.h"
#include "adunits/QBAdUnitDelegateWrapper.h"
#include "adunits/QBAdUnitLoadingModeManager.h"
#include "adunits/QBAdUnitManagerDelegate.h"
#include "adunits/QBSessionCappingManager.h"
#include "adunits/QBWaterfallLifeCycleHolder.h"
#include "core/QBImpressionDataDelegates.h"
#include "events/QBAdUnitEventsProtocol.h"
#include "foundation/PMEReachability.h"
#include "mediation/QBAuctionResponseItem.h"
#include "mediation/QBExpiredAdsManager.h"
#include "platform/json.h"
#include "quillborne/QBSegment.h"

class DurationMeasurement;
class QBAdUnitCappingManager;
class QBAdUnitEventsWrapper;
class QBAuctionHandler;
class QBAuctionHistory;
class QBBaseAdAdapter;
class QBBaseAdUnitSmash;
class QBBaseNetworkAdapter;
class QBPlacement;
class QBPlacementsRepository;
class QBTestSuiteLoadAdConfig;
class QBAdSmashData;

// Manager states.
enum class QBManagerState : int64_t {
  QB_MANAGER_STATE_NONE = 0,           // before the end of construction
  QB_MANAGER_STATE_READY_TO_LOAD = 1,  // idle: nothing loaded, nothing under way
  QB_MANAGER_STATE_AUCTION = 2,        // an auction (wait, tokens, request) is under way
  QB_MANAGER_STATE_LOADING = 3,        // the waterfall instances are loading
  QB_MANAGER_STATE_READY_TO_SHOW = 4,  // an instance of the current waterfall is loaded
  QB_MANAGER_STATE_SHOWING = 5,        // an ad of this manager is on screen
};
// "QB_MANAGER_STATE_NONE" ... "QB_MANAGER_STATE_SHOWING"; "UNKNOWN" otherwise.
const char* QBManagerStateName(QBManagerState state);

class QBBaseAdUnitManager : public QBAdUnitManagerDelegate,
                            public QBAdUnitEventsProtocol,
                            public QBLoadingModeDelegate,
                            public PMENotifierProtocol,
                            public QBAdExpirationDelegate,
                            public WaterfallLifeCycleHolderEventDelegate,
                            public QBBiddingDataEventProtocol,
                            public std::enable_shared_from_this<QBBaseAdUnitManager> {
 public:
  // Codes and messages of the load road.
  static constexpr int kNoFillErrorCode = 509;
  static constexpr const char* kNoFillMessage = "Mediation No fill";
  static constexpr int kAdUnitCappedErrorCode = 525;
  static constexpr const char* kAdUnitCappedMessage = "Ad unit is capped";
  static constexpr const char* kNoCandidatesMessage = "no auction candidates";
  static constexpr int kNoCandidatesAuctionErrorCode = 1005;
  static constexpr const char* kNoCandidatesAuctionMessage = "No candidates available for auctioning";
  static constexpr int kWinnerMissingErrorCode = 1010;
  static constexpr const char* kLoadDuringShowMessage = "load cannot be invoked while showing an ad";
  static constexpr const char* kLoadInProgressMessage = "load cannot be invoked while load is already in progress";
  // The configurations key of an auction answer that caps the whole ad unit.
  static constexpr const char* kIsAdUnitCappedKey = "isAdUnitCapped";
  // Log tags.
  static constexpr int kTagApi = 0;
  static constexpr int kTagDelegate = 1;
  static constexpr int kTagInternal = 6;

  // Unregisters from the reachability monitor it registered with (when that
  // one still exists).
  ~QBBaseAdUnitManager() override;
  QBBaseAdUnitManager(const QBBaseAdUnitManager&) = delete;
  QBBaseAdUnitManager& operator=(const QBBaseAdUnitManager&) = delete;

  // ---- overridable ----

  // "OPW_RV", "OPW_IS"; the base logs and answers "".
  virtual std::string managerName() const;
  // The listener wrapper of the ad unit; the base answers null (then the
  // application hears nothing but load failures).
  virtual std::shared_ptr<QBAdUnitDelegateWrapper> createAdUnitListenerWrapper();
  // A new waterfall instance of `config` for the waterfall `currentAuctionId`,
  // or null (logged) when the ad adapter is not of the ad unit's class. The
  // base logs and answers null.
  virtual std::shared_ptr<QBBaseAdUnitSmash> createSmashWithAdapterConfig(
      const std::shared_ptr<QBAdapterConfig>& config, const std::shared_ptr<QBBaseAdAdapter>& adapter,
      int32_t sessionDepth, const std::string& currentAuctionId);
  // Whether an ad can be shown now; the base logs and answers false.
  virtual bool isAdReady();

  // ---- load road ----

  // The load request. Refused (logged, tag API) while an ad shows, with the
  // ad unit's load-during-show code through QBDelegateThrottler in the manual
  // modes or an availability false in the automatic modes, and silently while
  // a load runs or a throttled failure waits; AUTOMATIC_LOAD_WHILE_SHOW admits
  // every request but starts no second auction. Returns at once or after the
  // synchronous part of the auction (candidate choice, bidder tokens asked
  // without the asynchronous mode); outcomes arrive later on other threads.
  void loadAd();
  // QBLoadingModeDelegate: a reload is due (main queue): loadAd().
  void onLoadTriggered() override;

  // ---- state ----

  QBManagerState state() const { return state_.load(); }
  // Logs "from X to Y" and sets the state (under the state lock).
  void setState(QBManagerState state);
  // Sets `stateToSet` when the state is `expected`; false (and nothing
  // logged) otherwise.
  bool compareStateAndSetIfTrue(QBManagerState expected, QBManagerState stateToSet);
  bool isReadyToShow() const;                // READY_TO_SHOW
  bool isWaitingForLoadResponse() const;     // LOADING
  bool isWaitingForAuctionResponse() const;  // AUCTION
  // The manager's lock (recursive). Held for every state test and change.
  std::recursive_mutex& stateLock() const { return stateLock_; }

  // ---- test suite and networks ----

  // Gets (or makes) the network adapter of every configured instance.
  void startAdapters();
  // Restricts the next auctions to what `config` allows (null lifts it),
  // sets testSuiteLaunched and forgets the last reported availability.
  void setTestSuiteLoadAdConfig(std::shared_ptr<QBTestSuiteLoadAdConfig> config);
  std::shared_ptr<QBTestSuiteLoadAdConfig> testSuiteLoadAdConfig() const;
  bool testSuiteLaunched() const;
  // Whether the instance may join the auction and the fallback waterfall:
  // without a test-suite request every instance may; with one, it decides.
  bool shouldAddAdapterConfigInfo(const QBAdapterConfig& config, const QBAdUnit& adUnit) const;

  // ---- availability, expiry, reachability, impressions ----

  // Tells the application the availability when it differs from the last
  // report (the first report always goes out), with the availability event
  // and the current waterfall's ad info. Under the state lock.
  void reportAvailabilityIfNeeded(bool available, bool isAdExpired);
  // QBAdExpirationDelegate (main queue): automatic modes only: READY_TO_LOAD,
  // availability false as expired, then loadAd().
  void onAdExpired() override;
  // PMENotifierProtocol: with reachability tracking on and an automatic mode,
  // re-reports availability on a change of status.
  void reachabilityChanged(std::shared_ptr<PMEReachability> reachability) override;
  // Calls every impression-data listener (a snapshot of the set) with the
  // item's impression data for `placementName`, on the calling thread.
  void reportImpressionDataToPublisherWithAuctionResponseItem(const std::shared_ptr<QBAuctionResponseItem>& item,
                                                              const std::string& placementName);
  // The capped flag of the last auction answer's configurations.
  void updateAuctionResponseConfiguration(const platform::Json& configurations);
  void resetConfigurations();
  // Hands 0 to the shared conversion value when the last answer carried
  // conversion-value parameters.
  void setConversionValueToZero();

  // ---- QBAdUnitManagerDelegate (instances, any thread) ----
  void onAdLoadSuccess(const std::shared_ptr<QBBaseAdUnitSmash>& smash, int64_t elapsedTime) override;
  void onAdLoadFailed(const std::shared_ptr<QBBaseAdUnitSmash>& smash, const QBError& error,
                      int64_t elapsedTime) override;
  void onAdClicked(const std::shared_ptr<QBBaseAdUnitSmash>& smash) override;

  // ---- QBAdUnitEventsProtocol ----
  // "provider" "Mediation", "programmatic" 1, "auctionId" (current waterfall
  // id, except for init started, load requested, the token kinds, auction
  // request and waterfall request), "genericParams" (when not empty),
  // "sessionDepth", and for load success, the load-failed kinds, auction
  // failed, auction success and ad unit capped also "auctionTrials" and
  // "auctionFallback" (when not empty).
  platform::Json getEventsAdditionalDataDictionary(int eventKind) override;

  // ---- QBBiddingDataEventProtocol ----
  void sendCollectingBiddingDataEvent(const std::shared_ptr<QBAdapterConfig>& adapterConfig) override;

  // ---- WaterfallLifeCycleHolderEventDelegate ----
  void maxWaterfallsReachedWithNumberOfWaterFalls(uint64_t numberOfWaterfalls) override;

  // ---- helpers ----

  // "<ad unit>" alone for an empty message, else "<ad unit> - <message>".
  std::string createLogMessage(const std::string& message) const;
  // "RV", "IS", "BN"; "" for other ad units.
  static std::string getAdUnitAsShortString(const QBAdUnit& adUnit);
  // The current placement's name; "" when there is none.
  std::string getCurrentPlacementName() const;
  // Token and troubleshooting data of one instance: "provider", the network
  // adapter's versions ("" when it gives none), "spId", "instanceType".
  platform::Json getProviderEventDictionaryWithAdapterConfig(
      const std::shared_ptr<QBAdapterConfig>& config, const std::shared_ptr<QBBaseNetworkAdapter>& networkAdapter);

  // ---- accessors ----

  const std::shared_ptr<const QBAdManagerData>& managerData() const { return managerData_; }
  const QBAdUnit& adUnit() const { return managerData_->adUnit(); }
  const std::shared_ptr<QBWaterfallLifeCycleHolder>& waterfallLifeCycleHolder() const { return holder_; }
  // Null when the auction is disabled.
  const std::shared_ptr<QBAuctionHandler>& auctionHandler() const { return auctionHandler_; }
  const std::shared_ptr<QBAuctionHistory>& auctionHistory() const { return auctionHistory_; }
  const std::shared_ptr<QBSessionCappingManager>& sessionCappingManager() const { return sessionCappingManager_; }
  const std::shared_ptr<QBAdUnitLoadingModeManager>& loadingModeManager() const { return loadingModeManager_; }
  const std::shared_ptr<QBExpiredAdsManager>& expiredAdsManager() const { return expiredAdsManager_; }
  const std::shared_ptr<QBAdUnitEventsWrapper>& eventsWrapper() const { return eventsWrapper_; }
  // May be null (the base manager has none).
  const std::shared_ptr<QBAdUnitDelegateWrapper>& delegateWrapper() const { return delegateWrapper_; }
  const std::shared_ptr<QBAdUnitCappingManager>& adUnitCappingManager() const { return adUnitCappingManager_; }
  // Null when the settings carry no placements.
  const std::shared_ptr<QBPlacementsRepository>& placementsRepository() const { return placementsRepository_; }
  const std::shared_ptr<QBImpressionDataDelegates>& impressionDataDelegates() const { return impressionDataDelegates_; }
  QBAdUnitLoadingMode loadingMode() const;
  bool isAutomaticMode() const;

  // The waterfall item behind each instance of the newest waterfall (a
  // snapshot), and one item (null when none).
  std::map<std::string, std::shared_ptr<QBAuctionResponseItem>> waterfallServerData() const;
  std::shared_ptr<QBAuctionResponseItem> waterfallServerItem(const std::string& instanceName) const;
  // Performance codes of the newest waterfall by provider name: 0 entered, 1
  // load failed, 2 loaded, 3 show failed, 4 shown.
  std::map<std::string, int> waterfallPerformance() const;
  void setWaterfallPerformance(const std::string& providerName, int code);

  int64_t auctionTrial() const;
  std::string auctionFallback() const;
  platform::Json auctionResponseGenericParam() const;
  std::shared_ptr<QBAuctionResponseItem> genericNotificationsItem() const;
  platform::Json currentConversionValueParameters() const;

  std::shared_ptr<const QBPlacement> currentPlacement() const;
  void setCurrentPlacement(std::shared_ptr<const QBPlacement> placement);
  std::optional<QBSegment> segment() const;
  void setSegment(std::optional<QBSegment> segment);
  // Wall-clock milliseconds of the last availability report.
  int64_t lastChangedAvailabilityTime() const;
  void setLastChangedAvailabilityTime(int64_t wallMs);
  // None until the first report.
  std::optional<bool> lastReportedAvailabilityState() const;
  void setLastReportedAvailabilityState(std::optional<bool> state);
  // 0 not reachable, 1 cellular, 2 Wi-Fi.
  int netStatus() const;
  void setNetStatus(int status);
  bool isBiddingDataAsyncEnabled() const;
  void setIsBiddingDataAsyncEnabled(bool enabled);
  // Milliseconds.
  int64_t biddingDataAsyncTimeout() const;
  void setBiddingDataAsyncTimeout(int64_t timeoutMs);
  bool isEncryptedAuctionResponse() const;
  void setIsEncryptedAuctionResponse(bool encrypted);
  // Milliseconds since the manager was made / since the last accepted load.
  int64_t millisecondsSinceStart() const;
  int64_t millisecondsSinceLoad() const;

 protected:
  // First construction phase: stores the arguments only.
  QBBaseAdUnitManager(std::shared_ptr<const QBAdManagerData> data, bool isEncryptedAuctionResponse,
                      std::shared_ptr<QBImpressionDataDelegates> impressionDataDelegates,
                      std::optional<QBSegment> segment, bool isOneToken);
  // Second phase, run once by the concrete factory right after construction:
  // the whole construction sequence, ending in READY_TO_LOAD (and, in the
  // automatic modes, the first loadAd).
  void initWithData();

  // The load data of a new instance of `config`.
  std::shared_ptr<const QBAdSmashData> createSmashData(const std::shared_ptr<QBAdapterConfig>& config,
                                                       int32_t sessionDepth, const std::string& currentAuctionId);
  // Makes the instance object (the adapter's class already checked). The show
  // side replaces it with its showable instance classes.
  virtual std::shared_ptr<QBBaseAdUnitSmash> makeSmash(std::shared_ptr<const QBAdSmashData> data,
                                                       std::shared_ptr<QBBaseAdAdapter> adapter);

  // Logs `message` (through createLogMessage) from `method`.
  void logInternal(const char* method, const std::string& message, int level = 0, int tag = kTagInternal) const;

  // ---- auction steps ----
  // What the auction request is built from, filled in providersList order
  // (asynchronously collected bidders in the order their results come).
  struct AuctionCandidates {
    platform::Json bidders = platform::Json::object();  // provider name -> token
    std::vector<std::shared_ptr<QBBiddingAsyncOperation>> operations;
    std::vector<std::string> nonBidders;
    std::string waterfallString;  // "<instanceType><provider name>," per candidate
  };
  void startAuction();
  void performAuction();
  void prepareAuctionWithBidderCandidates(AuctionCandidates& candidates);
  void collectTokensAndExecuteAuctionWithBidderCandidates(std::shared_ptr<AuctionCandidates> candidates);
  void executeAuctionWithBidderCandidates(const AuctionCandidates& candidates);
  void onAuctionSuccess(const std::vector<std::shared_ptr<QBAuctionResponseItem>>& waterfall,
                        const std::string& auctionId, const std::shared_ptr<QBAuctionResponseItem>& genericNotification,
                        const platform::Json& genericParams, const platform::Json& configurations,
                        const platform::Json& conversionValueParameters, int64_t auctionTrial, int64_t elapsedTime);
  void onAuctionFailed(int errorCode, const std::string& errorMessage, int64_t auctionTrial,
                       const std::string& auctionFallback, int64_t elapsedTime);
  bool shouldInstanceBeAddedToWaterfallRequestWithAdapterConfig(const std::shared_ptr<QBAdapterConfig>& config);

  // ---- waterfall steps ----
  // Installs the instances of `items` as the waterfall `currentAuctionId`;
  // returns the answer's waterfall string.
  std::string updateWaterfall(const std::vector<std::shared_ptr<QBAuctionResponseItem>>& items,
                              const std::string& currentAuctionId);
  void updateWaterfallToNonBidding();
  std::vector<std::shared_ptr<QBAuctionResponseItem>> extractNonBidderProvidersFromWaterfall();
  static std::string getAuctionFallbackId();
  std::shared_ptr<QBBaseAdUnitSmash> addSmashForWaterfall(const std::shared_ptr<QBAuctionResponseItem>& item,
                                                          const std::string& currentAuctionId);
  // One instance's part of the answer's waterfall string: its instance type
  // and the item's provider name.
  static std::string createWaterfallStringFromSmash(const std::shared_ptr<QBBaseAdUnitSmash>& smash,
                                                    const std::shared_ptr<QBAuctionResponseItem>& auctionItem);
  void loadSmashes();
  // With the state lock held: the instances to load now, each marked as
  // chosen until its load has started.
  std::vector<std::shared_ptr<QBBaseAdUnitSmash>> prepareSmashesToLoad();
  void loadSmash(const std::shared_ptr<QBBaseAdUnitSmash>& smash);
  void handleLoadFailedWithErrorCode(int errorCode, const std::string& errorReason, bool shouldSendLoadFailedEvent);

 private:
  // Under the state lock: admits the request and claims the auction; the
  // answer says what to run after the lock is left.
  enum class LoadStart { None, Auction, NonBidding };
  LoadStart admitLoadLocked();
  bool claimAuctionLocked();
  void scheduleAuction();
  void initAuctionHistory();
  void initSessionCapping();
  void initNetworks();
  // The record handed to a network adapter's init and token calls.
  std::shared_ptr<QBAdData> createAdDataForNetworkAdapter(const std::shared_ptr<QBAdapterConfig>& config) const;
  std::shared_ptr<QBBaseNetworkAdapter> networkAdapterFor(const std::shared_ptr<QBAdapterConfig>& config) const;
  bool isSessionCapped(const std::shared_ptr<QBAdapterConfig>& config) const;
  bool publisherLoad() const;
  std::shared_ptr<const QBAdInfo> adInfoFor(const std::string& waterfallId) const;

  const std::shared_ptr<const QBAdManagerData> managerData_;
  const bool isOneToken_;
  const std::shared_ptr<QBImpressionDataDelegates> impressionDataDelegates_;

  // Made by initWithData() and never replaced.
  std::weak_ptr<PMEReachabilityManager> reachabilityMonitor_;
  std::shared_ptr<DurationMeasurement> startDuration_;
  std::shared_ptr<QBPlacementsRepository> placementsRepository_;
  std::shared_ptr<QBAdUnitEventsWrapper> eventsWrapper_;
  std::shared_ptr<QBAdUnitDelegateWrapper> delegateWrapper_;
  std::shared_ptr<QBAdUnitLoadingModeManager> loadingModeManager_;
  std::shared_ptr<QBWaterfallLifeCycleHolder> holder_;
  std::shared_ptr<QBAuctionHandler> auctionHandler_;
  std::shared_ptr<QBAuctionHistory> auctionHistory_;
  std::shared_ptr<QBSessionCappingManager> sessionCappingManager_;
  std::shared_ptr<QBAdUnitCappingManager> adUnitCappingManager_;
  std::shared_ptr<QBExpiredAdsManager> expiredAdsManager_;

  mutable std::recursive_mutex stateLock_;
  // Written under stateLock_, read anywhere.
  std::atomic<QBManagerState> state_{QBManagerState::QB_MANAGER_STATE_NONE};
  // Under stateLock_: instances chosen to load whose load has not started yet,
  // so a walk that runs meanwhile (a synchronous failure inside loadSmash)
  // counts them as taken instead of choosing them again.
  std::set<const QBBaseAdUnitSmash*> chosenSmashes_;

  // Leaf lock of the fields below: never held while calling out.
  mutable std::mutex dataMutex_;
  std::map<std::string, std::shared_ptr<QBAuctionResponseItem>> waterfallServerData_;
  std::map<std::string, int> waterfallPerformance_;
  int64_t auctionTrial_ = 0;
  std::string auctionFallback_;
  platform::Json auctionResponseGenericParam_ = platform::Json::object();
  std::shared_ptr<QBAuctionResponseItem> genericNotificationsItem_;
  platform::Json currentConversionValueParameters_ = platform::Json::object();
  std::shared_ptr<const QBPlacement> currentPlacement_;
  std::shared_ptr<DurationMeasurement> loadDuration_;
  std::optional<QBSegment> segment_;
  std::shared_ptr<QBTestSuiteLoadAdConfig> testSuiteLoadAdConfig_;
  bool testSuiteLaunched_ = false;
  int64_t lastChangedAvailabilityTime_ = 0;
  std::optional<bool> lastReportedAvailabilityState_;
  int netStatus_ = 0;
  bool isBiddingDataAsyncEnabled_ = false;
  int64_t biddingDataAsyncTimeout_ = 0;
  bool isEncryptedAuctionResponse_ = false;
};
