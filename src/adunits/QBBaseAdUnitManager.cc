// Construction, state machine, event data and small helpers of the
// object-per-waterfall manager. The load road is in
// QBBaseAdUnitManagerAuction.cc and QBBaseAdUnitManagerWaterfall.cc;
// availability, expiry and reachability in QBBaseAdUnitManagerAvailability.cc.
#include "adunits/QBBaseAdUnitManager.h"

#include <algorithm>
#include <limits>
#include <utility>

#include "adapters/QBAdapterRepository.h"
#include "adapters/QBBaseNetworkAdapter.h"
#include "adunits/QBBaseAdUnitSmash.h"
#include "core/QBConfigurations.h"
#include "core/QBPlacement.h"
#include "core/QBPlacementsRepository.h"
#include "events/QBAdUnitEventsWrapper.h"
#include "events/QBDelegateThrottler.h"
#include "foundation/DurationMeasurement.h"
#include "foundation/QBLoggerManager.h"
#include "foundation/QBUtils.h"
#include "mediation/QBAdUnitCappingManager.h"
#include "mediation/QBAuctionHandler.h"
#include "mediation/QBAuctionHistory.h"
#include "mediation/QBSessionDepthManager.h"
#include "platform/clock.h"
#include "platform/runtime.h"
#include "testsuite/QBTestSuiteLoadAdConfig.h"

const char* QBManagerStateName(QBManagerState state) {
  switch (state) {
    case QBManagerState::QB_MANAGER_STATE_NONE:
      return "QB_MANAGER_STATE_NONE";
    case QBManagerState::QB_MANAGER_STATE_READY_TO_LOAD:
      return "QB_MANAGER_STATE_READY_TO_LOAD";
    case QBManagerState::QB_MANAGER_STATE_AUCTION:
      return "QB_MANAGER_STATE_AUCTION";
    case QBManagerState::QB_MANAGER_STATE_LOADING:
      return "QB_MANAGER_STATE_LOADING";
    case QBManagerState::QB_MANAGER_STATE_READY_TO_SHOW:
      return "QB_MANAGER_STATE_READY_TO_SHOW";
    case QBManagerState::QB_MANAGER_STATE_SHOWING:
      return "QB_MANAGER_STATE_SHOWING";
  }
  return "UNKNOWN";
}

// ---- construction ----

QBBaseAdUnitManager::QBBaseAdUnitManager(std::shared_ptr<const QBAdManagerData> data, bool isEncryptedAuctionResponse,
                                         std::shared_ptr<QBImpressionDataDelegates> impressionDataDelegates,
                                         std::optional<QBSegment> segment, bool isOneToken)
    : managerData_(std::move(data)),
      isOneToken_(isOneToken),
      impressionDataDelegates_(impressionDataDelegates ? std::move(impressionDataDelegates)
                                                       : std::make_shared<QBImpressionDataDelegates>()),
      segment_(std::move(segment)),
      isEncryptedAuctionResponse_(isEncryptedAuctionResponse) {}

QBBaseAdUnitManager::~QBBaseAdUnitManager() {
  // Only the monitor it registered with: looking up the shared one here could
  // make a new monitor, or reach a finished one when the process ends.
  if (auto monitor = reachabilityMonitor_.lock()) {
    monitor->removeDelegate(static_cast<const PMENotifierProtocol*>(this));
  }
}

void QBBaseAdUnitManager::initWithData() {
  const auto& loadingData = managerData_->loadingData();
  const char* modeName = QBAdUnitLoadingModeName(loadingData->loadingMode());
  logInternal(__func__, "adUnit = " + adUnit().value() + ", loading mode = " + modeName);

  startDuration_ = DurationMeasurement::create();
  auto reachability = PMEReachabilityManager::sharedManager();
  {
    std::lock_guard lock(dataMutex_);
    lastChangedAvailabilityTime_ = platform::nowWallMs();
    lastReportedAvailabilityState_.reset();
    netStatus_ = reachability->getReachabilityObject()->currentReachabilityStatus();
  }
  reachability->addDelegate(std::weak_ptr<PMENotifierProtocol>(shared_from_this()));
  reachabilityMonitor_ = reachability;

  if (!managerData_->placements().empty()) {
    placementsRepository_ = QBPlacementsRepository::initWithArray(managerData_->placements());
  }
  eventsWrapper_ = QBAdUnitEventsWrapper::initWithAdunit(adUnit(), QBAdUnitEventsTables::kLevelMediation,
                                                         std::weak_ptr<QBAdUnitEventsProtocol>(shared_from_this()));
  delegateWrapper_ = createAdUnitListenerWrapper();
  loadingModeManager_ = QBAdUnitLoadingModeManager::initWithAdUnitLoadingData(
      loadingData, std::weak_ptr<QBLoadingModeDelegate>(shared_from_this()));
  const auto& auctionSettings = managerData_->auctionSettings();
  holder_ = QBWaterfallLifeCycleHolder::initWithDisableLoadWhileShowSupportNetworks(
      auctionSettings->disableLoadWhileShowSupportFor(), auctionSettings->timeToDeleteWaterfallAfterAuction(),
      std::weak_ptr<WaterfallLifeCycleHolderEventDelegate>(shared_from_this()));

  eventsWrapper_->flowInit().startedWithManager(managerName(), modeName);

  {
    std::lock_guard lock(dataMutex_);
    waterfallServerData_.clear();
    waterfallPerformance_.clear();
    currentPlacement_.reset();
    auctionResponseGenericParam_ = platform::Json::object();
  }
  QBDelegateThrottler::sharedInstance()->setDelayLoadFailureNotificationInSeconds(
      static_cast<int64_t>(managerData_->delayLoadFailure()), adUnit());

  if (managerData_->isAuctionEnabled()) {
    auctionHandler_ = QBAuctionHandler::initWithAuctionSettings(auctionSettings, isEncryptedAuctionResponse(),
                                                                isOneToken_, QBUtils::UUIDForSession());
  }
  initAuctionHistory();
  initSessionCapping();
  initNetworks();

  // The objects the later steps make are in place before any other thread can
  // see the manager leave NONE (the reachability and expiry callbacks wait for
  // it), so they are made first; nothing observable depends on the order.
  adUnitCappingManager_ = std::make_shared<QBAdUnitCappingManager>();
  expiredAdsManager_ = QBExpiredAdsManager::initWithDelegate(std::weak_ptr<QBAdExpirationDelegate>(shared_from_this()),
                                                             managerData_->adExpirationInMinutes());
  {
    std::lock_guard lock(dataMutex_);
    currentConversionValueParameters_ = platform::Json::object();
    isBiddingDataAsyncEnabled_ = managerData_->isBiddingDataAsyncEnabled();
    biddingDataAsyncTimeout_ = managerData_->biddingDataAsyncTimeout();
  }
  setState(QBManagerState::QB_MANAGER_STATE_READY_TO_LOAD);

  eventsWrapper_->flowInit().endedWithDuration(startDuration_->getMeasuredDuration());

  if (loadingData->isAutomaticMode()) {
    logInternal(__func__, "first automatic mode");
    loadAd();
  }
}

void QBBaseAdUnitManager::initAuctionHistory() {
  std::vector<std::string> names;
  for (const auto& config : managerData_->providersList()) names.push_back(config->providerName());
  const auto limit = static_cast<int32_t>(managerData_->auctionSettings()->auctionSavedHistoryLimit());
  auctionHistory_ = QBAuctionHistory::initWithWaterfall(std::move(names), limit);
}

void QBBaseAdUnitManager::initSessionCapping() {
  std::vector<std::shared_ptr<QBSessionCappingDelegate>> instances;
  for (const auto& config : managerData_->providersList()) {
    instances.push_back(QBSessionCappingInstance::initWithInstanceName(
        config->providerName(), static_cast<int32_t>(config->maxAdsPerSession())));
  }
  sessionCappingManager_ = QBSessionCappingManager::initWithSmashes(instances);
}

void QBBaseAdUnitManager::initNetworks() {
  for (const auto& config : managerData_->providersList()) {
    if (!config->isQuillborne() && !config->isBidder() && !config->shouldEarlyInit()) continue;
    auto adData = createAdDataForNetworkAdapter(config);
    auto network = networkAdapterFor(config);
    std::string failure;
    if (!network) {
      failure = "initNetworks - could not load network adapter";
    } else if (platform::guard([&] { network->init(adData, {}); })) {
      failure = "Exception while calling init network adapter";
    }
    if (failure.empty()) continue;
    logInternal(__func__, failure, 3);
    eventsWrapper_->troubleshoot().networkAdapterNotAvailableWithReason(failure);
  }
}

std::shared_ptr<QBAdData> QBBaseAdUnitManager::createAdDataForNetworkAdapter(
    const std::shared_ptr<QBAdapterConfig>& config) const {
  return QBUtils::createAdDataForNetworkAdapterWithAdapterConfiguration(config, adUnit(), managerData_->userId(),
                                                                        nullptr);
}

// ---- overridable defaults ----

std::string QBBaseAdUnitManager::managerName() const {
  logInternal(__func__, "reached base manager - returning empty string");
  return "";
}

std::shared_ptr<QBAdUnitDelegateWrapper> QBBaseAdUnitManager::createAdUnitListenerWrapper() { return nullptr; }

std::shared_ptr<QBBaseAdUnitSmash> QBBaseAdUnitManager::createSmashWithAdapterConfig(
    const std::shared_ptr<QBAdapterConfig>&, const std::shared_ptr<QBBaseAdAdapter>&, int32_t, const std::string&) {
  logInternal(__func__, "reached base manager - returning smash nil");
  return nullptr;
}

bool QBBaseAdUnitManager::isAdReady() {
  logInternal(__func__, "reached base manager - returning NO");
  return false;
}

std::shared_ptr<const QBAdSmashData> QBBaseAdUnitManager::createSmashData(
    const std::shared_ptr<QBAdapterConfig>& config, int32_t sessionDepth, const std::string& currentAuctionId) {
  platform::Json genericParams;
  int64_t trial = 0;
  std::string fallback;
  {
    std::lock_guard lock(dataMutex_);
    genericParams = auctionResponseGenericParam_;
    trial = auctionTrial_;
    fallback = auctionFallback_;
  }
  const auto userId = QBUtils::userIdForNetworks(QBConfigurations::getConfigurations().userId()).value_or("");
  // Any positive number of seconds may come from the configuration; past the
  // int64 range it saturates.
  const double seconds = config->loadTimeOutSec();
  const int64_t loadTimeout =
      seconds < 9223372036854775808.0 ? static_cast<int64_t>(seconds) : std::numeric_limits<int64_t>::max();
  return QBAdSmashData::initWithAdUnit(adUnit(), userId, config, loadTimeout,
                                       sessionDepth, std::move(genericParams), currentAuctionId, trial,
                                       std::move(fallback));
}

std::shared_ptr<QBBaseAdUnitSmash> QBBaseAdUnitManager::makeSmash(std::shared_ptr<const QBAdSmashData> data,
                                                                  std::shared_ptr<QBBaseAdAdapter> adapter) {
  auto config = data->adapterConfig();
  return QBBaseAdUnitSmash::initWithData(std::move(data), std::move(adapter), std::move(config),
                                         std::weak_ptr<QBAdUnitManagerDelegate>(shared_from_this()));
}

// ---- state ----

void QBBaseAdUnitManager::setState(QBManagerState state) {
  logInternal(__func__, std::string("from ") + QBManagerStateName(this->state()) + " to " + QBManagerStateName(state));
  std::lock_guard lock(stateLock_);
  state_.store(state);
}

bool QBBaseAdUnitManager::compareStateAndSetIfTrue(QBManagerState expected, QBManagerState stateToSet) {
  std::lock_guard lock(stateLock_);
  if (state_.load() != expected) return false;
  logInternal(__func__, std::string("set state from '") + QBManagerStateName(expected) + "' to '" +
                            QBManagerStateName(stateToSet) + "'");
  state_.store(stateToSet);
  return true;
}

bool QBBaseAdUnitManager::isReadyToShow() const {
  std::lock_guard lock(stateLock_);
  return state_.load() == QBManagerState::QB_MANAGER_STATE_READY_TO_SHOW;
}

bool QBBaseAdUnitManager::isWaitingForLoadResponse() const {
  std::lock_guard lock(stateLock_);
  return state_.load() == QBManagerState::QB_MANAGER_STATE_LOADING;
}

bool QBBaseAdUnitManager::isWaitingForAuctionResponse() const {
  std::lock_guard lock(stateLock_);
  return state_.load() == QBManagerState::QB_MANAGER_STATE_AUCTION;
}

// ---- test suite and networks ----

void QBBaseAdUnitManager::startAdapters() {
  for (const auto& config : managerData_->providersList()) networkAdapterFor(config);
}

void QBBaseAdUnitManager::setTestSuiteLoadAdConfig(std::shared_ptr<QBTestSuiteLoadAdConfig> config) {
  std::lock_guard lock(dataMutex_);
  testSuiteLaunched_ = config != nullptr;
  testSuiteLoadAdConfig_ = std::move(config);
  lastReportedAvailabilityState_.reset();
}

std::shared_ptr<QBTestSuiteLoadAdConfig> QBBaseAdUnitManager::testSuiteLoadAdConfig() const {
  std::lock_guard lock(dataMutex_);
  return testSuiteLoadAdConfig_;
}

bool QBBaseAdUnitManager::testSuiteLaunched() const {
  std::lock_guard lock(dataMutex_);
  return testSuiteLaunched_;
}

bool QBBaseAdUnitManager::shouldAddAdapterConfigInfo(const QBAdapterConfig& config, const QBAdUnit& adUnit) const {
  auto request = testSuiteLoadAdConfig();
  return !request || request->shouldAddAdapterConfigInfo(config, adUnit);
}

std::shared_ptr<QBBaseNetworkAdapter> QBBaseAdUnitManager::networkAdapterFor(
    const std::shared_ptr<QBAdapterConfig>& config) const {
  return QBAdapterRepository::sharedRepository().getNetworkAdapter(config, adUnit());
}

// ---- events ----

platform::Json QBBaseAdUnitManager::getEventsAdditionalDataDictionary(int eventKind) {
  namespace kinds = QBEventKind;
  platform::Json data = platform::Json::object();
  data["provider"] = "Mediation";
  data["programmatic"] = 1;
  const bool withoutAuctionId = eventKind == kinds::INIT_STARTED || eventKind == kinds::LOAD_AD ||
                                (eventKind >= kinds::COLLECT_TOKEN && eventKind <= kinds::AUCTION_REQUEST) ||
                                eventKind == kinds::AUCTION_REQUEST_WATERFALL;
  const std::string waterfallId = holder_ ? holder_->currentWaterfallId() : std::string();
  if (!waterfallId.empty() && !withoutAuctionId) data["auctionId"] = waterfallId;
  int64_t trial = 0;
  std::string fallback;
  {
    std::lock_guard lock(dataMutex_);
    if (auctionResponseGenericParam_.is_object() && !auctionResponseGenericParam_.empty()) {
      data["genericParams"] = auctionResponseGenericParam_;
    }
    trial = auctionTrial_;
    fallback = auctionFallback_;
  }
  data["sessionDepth"] = QBSessionDepthManager::sharedManager().getSessionDepth(adUnit());
  const bool withAuctionParams = eventKind == kinds::LOAD_AD_SUCCESS || eventKind == kinds::LOAD_AD_FAILED ||
                                 eventKind == kinds::LOAD_AD_FAILED_WITH_REASON || eventKind == kinds::AUCTION_FAILED ||
                                 eventKind == kinds::AUCTION_SUCCESS || eventKind == kinds::AD_UNIT_CAPPED;
  if (withAuctionParams) {
    data["auctionTrials"] = trial;
    if (!fallback.empty()) data["auctionFallback"] = fallback;
  }
  return data;
}

platform::Json QBBaseAdUnitManager::getProviderEventDictionaryWithAdapterConfig(
    const std::shared_ptr<QBAdapterConfig>& config, const std::shared_ptr<QBBaseNetworkAdapter>& networkAdapter) {
  platform::Json data = platform::Json::object();
  if (!config) return data;
  std::string adapterVersion;
  std::string sdkVersion;
  if (networkAdapter) {
    // Versions come from outside code; a throw leaves the text empty.
    platform::guard([&] { adapterVersion = networkAdapter->adapterVersion(); });
    platform::guard([&] { sdkVersion = networkAdapter->networkSDKVersion(); });
  }
  data["provider"] = config->name();
  data["providerAdapterVersion"] = adapterVersion;
  data["providerSDKVersion"] = sdkVersion;
  data["spId"] = config->instanceId();
  if (config->instanceType()) data["instanceType"] = *config->instanceType();
  return data;
}

void QBBaseAdUnitManager::sendCollectingBiddingDataEvent(const std::shared_ptr<QBAdapterConfig>& adapterConfig) {
  auto network = networkAdapterFor(adapterConfig);
  if (!network) return;
  eventsWrapper_->token().collectForInstanceWithProviderData(
      getProviderEventDictionaryWithAdapterConfig(adapterConfig, network));
}

void QBBaseAdUnitManager::maxWaterfallsReachedWithNumberOfWaterFalls(uint64_t numberOfWaterfalls) {
  eventsWrapper_->troubleshoot().waterfallOverheadWithReason("waterfalls hold too many with size = " +
                                                             std::to_string(numberOfWaterfalls));
}

// ---- helpers ----

std::string QBBaseAdUnitManager::createLogMessage(const std::string& message) const {
  if (message.empty()) return adUnit().value();
  return adUnit().value() + " - " + message;
}

void QBBaseAdUnitManager::logInternal(const char* method, const std::string& message, int level, int tag) const {
  QBLoggerManager::sharedInstance().dynamicLog(method, createLogMessage(message), level, tag);
}

std::string QBBaseAdUnitManager::getAdUnitAsShortString(const QBAdUnit& adUnit) {
  if (adUnit == QBAdUnit::QB_AD_UNIT_REWARDED_VIDEO()) return "RV";
  if (adUnit == QBAdUnit::QB_AD_UNIT_INTERSTITIAL()) return "IS";
  if (adUnit == QBAdUnit::QB_AD_UNIT_BANNER()) return "BN";
  return "";
}

std::string QBBaseAdUnitManager::getCurrentPlacementName() const {
  auto placement = currentPlacement();
  return placement ? placement->placementName() : std::string();
}

QBAdUnitLoadingMode QBBaseAdUnitManager::loadingMode() const { return managerData_->loadingData()->loadingMode(); }

bool QBBaseAdUnitManager::isAutomaticMode() const { return managerData_->loadingData()->isAutomaticMode(); }

bool QBBaseAdUnitManager::publisherLoad() const {
  return adUnit() == QBAdUnit::QB_AD_UNIT_REWARDED_VIDEO() && loadingMode() == QBAdUnitLoadingMode::MANUAL;
}

std::shared_ptr<const QBAdInfo> QBBaseAdUnitManager::adInfoFor(const std::string& waterfallId) const {
  return holder_->getAdInfoWithWaterfallId(waterfallId);
}

bool QBBaseAdUnitManager::isSessionCapped(const std::shared_ptr<QBAdapterConfig>& config) const {
  // Asked for every configured instance on every auction: by name, without
  // making an instance record each time.
  return sessionCappingManager_->isCapped(config->providerName(), static_cast<int32_t>(config->maxAdsPerSession()));
}

// ---- accessors ----

std::map<std::string, std::shared_ptr<QBAuctionResponseItem>> QBBaseAdUnitManager::waterfallServerData() const {
  std::lock_guard lock(dataMutex_);
  return waterfallServerData_;
}

std::shared_ptr<QBAuctionResponseItem> QBBaseAdUnitManager::waterfallServerItem(const std::string& instanceName) const {
  std::lock_guard lock(dataMutex_);
  auto it = waterfallServerData_.find(instanceName);
  return it == waterfallServerData_.end() ? nullptr : it->second;
}

std::map<std::string, int> QBBaseAdUnitManager::waterfallPerformance() const {
  std::lock_guard lock(dataMutex_);
  return waterfallPerformance_;
}

void QBBaseAdUnitManager::setWaterfallPerformance(const std::string& providerName, int code) {
  std::lock_guard lock(dataMutex_);
  waterfallPerformance_[providerName] = code;
}

int64_t QBBaseAdUnitManager::auctionTrial() const {
  std::lock_guard lock(dataMutex_);
  return auctionTrial_;
}

std::string QBBaseAdUnitManager::auctionFallback() const {
  std::lock_guard lock(dataMutex_);
  return auctionFallback_;
}

platform::Json QBBaseAdUnitManager::auctionResponseGenericParam() const {
  std::lock_guard lock(dataMutex_);
  return auctionResponseGenericParam_;
}

std::shared_ptr<QBAuctionResponseItem> QBBaseAdUnitManager::genericNotificationsItem() const {
  std::lock_guard lock(dataMutex_);
  return genericNotificationsItem_;
}

platform::Json QBBaseAdUnitManager::currentConversionValueParameters() const {
  std::lock_guard lock(dataMutex_);
  return currentConversionValueParameters_;
}

std::shared_ptr<const QBPlacement> QBBaseAdUnitManager::currentPlacement() const {
  std::lock_guard lock(dataMutex_);
  return currentPlacement_;
}

void QBBaseAdUnitManager::setCurrentPlacement(std::shared_ptr<const QBPlacement> placement) {
  std::lock_guard lock(dataMutex_);
  currentPlacement_ = std::move(placement);
}

std::optional<QBSegment> QBBaseAdUnitManager::segment() const {
  std::lock_guard lock(dataMutex_);
  return segment_;
}

void QBBaseAdUnitManager::setSegment(std::optional<QBSegment> segment) {
  std::lock_guard lock(dataMutex_);
  segment_ = std::move(segment);
}

int64_t QBBaseAdUnitManager::lastChangedAvailabilityTime() const {
  std::lock_guard lock(dataMutex_);
  return lastChangedAvailabilityTime_;
}

void QBBaseAdUnitManager::setLastChangedAvailabilityTime(int64_t wallMs) {
  std::lock_guard lock(dataMutex_);
  lastChangedAvailabilityTime_ = wallMs;
}

std::optional<bool> QBBaseAdUnitManager::lastReportedAvailabilityState() const {
  std::lock_guard lock(dataMutex_);
  return lastReportedAvailabilityState_;
}

void QBBaseAdUnitManager::setLastReportedAvailabilityState(std::optional<bool> state) {
  std::lock_guard lock(dataMutex_);
  lastReportedAvailabilityState_ = state;
}

int QBBaseAdUnitManager::netStatus() const {
  std::lock_guard lock(dataMutex_);
  return netStatus_;
}

void QBBaseAdUnitManager::setNetStatus(int status) {
  std::lock_guard lock(dataMutex_);
  netStatus_ = status;
}

bool QBBaseAdUnitManager::isBiddingDataAsyncEnabled() const {
  std::lock_guard lock(dataMutex_);
  return isBiddingDataAsyncEnabled_;
}

void QBBaseAdUnitManager::setIsBiddingDataAsyncEnabled(bool enabled) {
  std::lock_guard lock(dataMutex_);
  isBiddingDataAsyncEnabled_ = enabled;
}

int64_t QBBaseAdUnitManager::biddingDataAsyncTimeout() const {
  std::lock_guard lock(dataMutex_);
  return biddingDataAsyncTimeout_;
}

void QBBaseAdUnitManager::setBiddingDataAsyncTimeout(int64_t timeoutMs) {
  std::lock_guard lock(dataMutex_);
  biddingDataAsyncTimeout_ = timeoutMs;
}

bool QBBaseAdUnitManager::isEncryptedAuctionResponse() const {
  std::lock_guard lock(dataMutex_);
  return isEncryptedAuctionResponse_;
}

void QBBaseAdUnitManager::setIsEncryptedAuctionResponse(bool encrypted) {
  std::lock_guard lock(dataMutex_);
  isEncryptedAuctionResponse_ = encrypted;
}

int64_t QBBaseAdUnitManager::millisecondsSinceStart() const { return measuredDuration(startDuration_); }

int64_t QBBaseAdUnitManager::millisecondsSinceLoad() const {
  std::shared_ptr<DurationMeasurement> stopwatch;
  {
    std::lock_guard lock(dataMutex_);
    stopwatch = loadDuration_;
  }
  return measuredDuration(stopwatch);
}
