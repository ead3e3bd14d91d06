// The first half of the load road: admission of a load request, the wait
// before the first auction, the auction candidates and bidder tokens, the
// auction request and its two outcomes.
#include <limits>
#include <utility>

#include "adapters/QBAdapterRepository.h"
#include "adapters/QBBaseNetworkAdapter.h"
#include "adunits/QBBaseAdUnitManager.h"
#include "events/QBAdUnitEventsWrapper.h"
#include "events/QBDelegateThrottler.h"
#include "foundation/DurationMeasurement.h"
#include "foundation/QBAdUnitErrorsWrapper.h"
#include "foundation/QBLoggerManager.h"
#include "mediation/QBAdUnitCappingManager.h"
#include "mediation/QBAuctionHandler.h"
#include "mediation/QBAuctionHistory.h"
#include "mediation/QBSessionDepthManager.h"
#include "platform/dispatch.h"
#include "platform/runtime.h"
#include "testsuite/QBTestSuiteLoadAdConfig.h"

// ---- admission ----

void QBBaseAdUnitManager::loadAd() {
  logInternal(__func__, "");
  LoadStart start = LoadStart::None;
  {
    std::lock_guard lock(stateLock_);
    start = admitLoadLocked();
  }
  // The auction and the instances' loads run after the lock is left: they
  // call adapter code, which must never run under the manager's lock.
  switch (start) {
    case LoadStart::Auction:
      scheduleAuction();
      break;
    case LoadStart::NonBidding:
      updateWaterfallToNonBidding();
      loadSmashes();
      break;
    case LoadStart::None:
      break;
  }
}

QBBaseAdUnitManager::LoadStart QBBaseAdUnitManager::admitLoadLocked() {
  const auto& loading = managerData_->loadingData();
  const bool loadWhileShow = loading->loadingMode() == QBAdUnitLoadingMode::AUTOMATIC_LOAD_WHILE_SHOW;
  const QBManagerState current = state();
  auto throttler = QBDelegateThrottler::sharedInstance();
  if (!loadWhileShow && current == QBManagerState::QB_MANAGER_STATE_SHOWING) {
    logInternal(__func__, kLoadDuringShowMessage, 3, kTagApi);
    const QBError error =
        QBError::createError(QBAdUnitErrorsWrapper::loadDuringShow(adUnit()), std::string(kLoadDuringShowMessage));
    if (loading->isManualMode()) {
      throttler->didFailToLoadWithError(error, adUnit());
    } else if (delegateWrapper_) {
      delegateWrapper_->adHasChangedAvailability(false, nullptr);
    }
    return LoadStart::None;
  }
  if (!loadWhileShow && ((current != QBManagerState::QB_MANAGER_STATE_READY_TO_LOAD &&
                          current != QBManagerState::QB_MANAGER_STATE_READY_TO_SHOW) ||
                         throttler->hasPendingInvocationForAdUnit(adUnit()))) {
    logInternal(__func__, kLoadInProgressMessage, 3, kTagApi);
    return LoadStart::None;
  }

  {
    std::lock_guard lock(dataMutex_);
    auctionResponseGenericParam_ = platform::Json::object();
    currentConversionValueParameters_ = platform::Json::object();
  }
  resetConfigurations();
  eventsWrapper_->load().loadAdWithPublisherLoad(publisherLoad());
  {
    std::lock_guard lock(dataMutex_);
    loadDuration_ = DurationMeasurement::create();
  }

  if (!managerData_->isAuctionEnabled()) {
    setState(QBManagerState::QB_MANAGER_STATE_LOADING);
    return LoadStart::NonBidding;
  }
  std::map<std::string, int> performance;
  {
    std::lock_guard lock(dataMutex_);
    performance.swap(waterfallPerformance_);
  }
  if (!performance.empty()) auctionHistory_->storeWaterfallPerformance(performance);
  return claimAuctionLocked() ? LoadStart::Auction : LoadStart::None;
}

void QBBaseAdUnitManager::onLoadTriggered() {
  logInternal(__func__, "");
  loadAd();
}

// ---- auction ----

bool QBBaseAdUnitManager::claimAuctionLocked() {
  if (state() == QBManagerState::QB_MANAGER_STATE_AUCTION) return false;
  setState(QBManagerState::QB_MANAGER_STATE_AUCTION);
  return true;
}

void QBBaseAdUnitManager::startAuction() {
  {
    std::lock_guard lock(stateLock_);
    if (!claimAuctionLocked()) return;
  }
  scheduleAuction();
}

void QBBaseAdUnitManager::scheduleAuction() {
  // Signed: once the first wait has passed the difference is negative and the
  // auction runs at once (an unsigned difference would wrap to "forever").
  const int64_t waitMs = managerData_->getTimeToWaitBeforeFirstAuctionMs() - millisecondsSinceStart();
  const float waitSeconds = static_cast<float>(waitMs) / 1000.0f;
  if (waitSeconds <= 0) {
    performAuction();
    return;
  }
  // The wait comes from the configuration and may pass the int64 range of
  // nanoseconds; it then saturates (dispatch caps long delays anyway).
  const double waitNanoseconds = static_cast<double>(waitSeconds) * 1e9;
  const int64_t nanoseconds = waitNanoseconds < 9223372036854775808.0 ? static_cast<int64_t>(waitNanoseconds)
                                                                      : std::numeric_limits<int64_t>::max();
  logInternal(__func__, "auction delayed by " + std::to_string(nanoseconds / 1'000'000) + " ms");
  std::weak_ptr<QBBaseAdUnitManager> weak = weak_from_this();
  platform::globalQueue(platform::QueuePriority::Default)->after(static_cast<double>(nanoseconds) / 1e6, [weak] {
    if (auto self = weak.lock()) self->performAuction();
  });
}

void QBBaseAdUnitManager::performAuction() {
  {
    std::lock_guard lock(dataMutex_);
    auctionResponseGenericParam_ = platform::Json::object();
  }
  eventsWrapper_->auction().request();
  auto candidates = std::make_shared<AuctionCandidates>();
  prepareAuctionWithBidderCandidates(*candidates);
  if (isBiddingDataAsyncEnabled() && !candidates->operations.empty()) {
    collectTokensAndExecuteAuctionWithBidderCandidates(std::move(candidates));
  } else {
    executeAuctionWithBidderCandidates(*candidates);
  }
}

bool QBBaseAdUnitManager::shouldInstanceBeAddedToWaterfallRequestWithAdapterConfig(
    const std::shared_ptr<QBAdapterConfig>& config) {
  auto network = networkAdapterFor(config);
  if (!network) return false;
  int supportState = 0;
  platform::guard([&] { supportState = network->getLoadWhileShowSupportedStateWithAdapterConfig(config); });
  return holder_->shouldAddSmashToWaterfallRequestWithLoadingMode(loadingMode(), config->providerName(),
                                                                  config->reflectionName(), supportState);
}

void QBBaseAdUnitManager::prepareAuctionWithBidderCandidates(AuctionCandidates& candidates) {
  const bool asyncTokens = isBiddingDataAsyncEnabled();
  for (const auto& config : managerData_->providersList()) {
    if (!shouldAddAdapterConfigInfo(*config, adUnit())) continue;
    if (isSessionCapped(config)) continue;
    if (!shouldInstanceBeAddedToWaterfallRequestWithAdapterConfig(config)) continue;
    const std::string& name = config->providerName();
    const std::string entry = config->instanceType().value_or("") + name + ",";
    if (!config->isBidder()) {
      candidates.nonBidders.push_back(name);
      candidates.waterfallString += entry;
      continue;
    }

    auto adData = createAdDataForNetworkAdapter(config);
    auto network = networkAdapterFor(config);
    auto bidding = std::dynamic_pointer_cast<QBBiddingDataProtocol>(network);
    if (!bidding) {
      eventsWrapper_->troubleshoot().networkAdapterNotAvailableWithReason(
          network ? "network adapter does not implementing QBAdapterBidderProtocol" : "could not load network adapter");
      continue;
    }
    if (asyncTokens) {
      candidates.operations.push_back(QBBiddingAsyncOperation::initWithInstanceName(
          name, config, adData, std::weak_ptr<QBBiddingDataEventProtocol>(shared_from_this()),
          std::weak_ptr<QBBiddingDataProtocol>(bidding)));
      continue;
    }
    std::optional<platform::Json> token;
    if (auto caught = platform::guard([&] { token = bidding->getBiddingDataWithAdData(adData); })) {
      const std::string message = "Exception while calling network adapter getBiddingData from " + name +
                                  ", exception = " + caught->name + " " + caught->reason;
      logInternal(__func__, message, 3);
      eventsWrapper_->troubleshoot().internalErrorWithReason(message);
      continue;
    }
    if (!token || token->is_null()) {
      eventsWrapper_->troubleshoot().biddingDataMissingWithProviderData(
          getProviderEventDictionaryWithAdapterConfig(config, network), "Missing bidding data");
      continue;
    }
    candidates.bidders[name] = std::move(*token);
    candidates.waterfallString += entry;
  }
}

void QBBaseAdUnitManager::collectTokensAndExecuteAuctionWithBidderCandidates(std::shared_ptr<AuctionCandidates> candidates) {
  eventsWrapper_->token().collect();
  auto biddingManager = QBBiddingDataManager::initWithIdentifier(platform::className(*this));
  std::weak_ptr<QBBaseAdUnitManager> weak = weak_from_this();
  auto operations = candidates->operations;
  biddingManager->collectAllBiddingDataWithOperations(
      operations, static_cast<double>(biddingDataAsyncTimeout()),
      [weak, candidates](const QBBiddingDataManager::Operations& finished,
                         const QBBiddingDataManager::Operations& unfinished, int64_t totalDuration) {
        auto self = weak.lock();
        if (!self) return;
        auto& token = self->eventsWrapper_->token();
        token.completedWithDuration(totalDuration);
        for (const auto& operation : finished) {
          const QBBiddingResponse response = operation->getBiddingResponse();
          const auto& config = operation->config();
          const auto providerData =
              self->getProviderEventDictionaryWithAdapterConfig(config, self->networkAdapterFor(config));
          if (response.biddingData && !response.biddingData->is_null()) {
            candidates->bidders[response.instanceName] = *response.biddingData;
            candidates->waterfallString +=
                (config ? config->instanceType().value_or("") : std::string()) + response.instanceName + ",";
            token.completedWithProviderData(providerData, response.totalDuration);
          } else {
            token.failedWithProviderData(providerData, response.totalDuration, response.errorMessage);
          }
        }
        for (const auto& operation : unfinished) {
          const auto& config = operation->config();
          token.timedOutWithProviderData(
              self->getProviderEventDictionaryWithAdapterConfig(config, self->networkAdapterFor(config)),
              totalDuration);
        }
        self->executeAuctionWithBidderCandidates(*candidates);
      },
      [weak, candidates](const std::string& reason) {
        auto self = weak.lock();
        if (!self) return;
        self->eventsWrapper_->token().failedWithReason(reason);
        self->executeAuctionWithBidderCandidates(*candidates);
      });
}

void QBBaseAdUnitManager::executeAuctionWithBidderCandidates(const AuctionCandidates& candidates) {
  logInternal(__func__, "auction waterfallString = " + candidates.waterfallString);
  if (candidates.bidders.empty() && candidates.nonBidders.empty()) {
    logInternal(__func__, "auction failed - no candidates");
    eventsWrapper_->auction().failedWithDuration(0, kNoCandidatesAuctionErrorCode, kNoCandidatesAuctionMessage);
    handleLoadFailedWithErrorCode(QBAdUnitErrorsWrapper::loadFailedNoCandidates(adUnit()), kNoCandidatesMessage, true);
    return;
  }
  eventsWrapper_->auction().requestWaterfall(candidates.waterfallString);
  if (!auctionHandler_) {
    logInternal(__func__, "auctionHandler is nil", 3);
    return;
  }

  auto params = std::make_shared<QBAuctionRequestParams>();
  params->setIsEncryptedResponse(isEncryptedAuctionResponse());
  params->setAdUnit(adUnit().value());
  params->setBidders(candidates.bidders);
  params->setNonBidders(candidates.nonBidders);
  params->setAuctionHistory(auctionHistory_);
  params->setInstanceParts(managerData_->auctionInstanceParts());
  params->setSessionDepth(QBSessionDepthManager::sharedManager().getSessionDepth(adUnit()));
  params->setSegment(segment());
  const auto testSuiteRequest = testSuiteLoadAdConfig();
  params->setTestSuiteLaunched(testSuiteLaunched());
  params->setUseTestAds(testSuiteRequest && testSuiteRequest->useTestAds());

  std::weak_ptr<QBBaseAdUnitManager> weak = weak_from_this();
  auctionHandler_->executeAuctionWithParams(params, [weak](std::shared_ptr<QBAuctionResponseParams> response) {
    auto self = weak.lock();
    if (!self || !response) return;
    {
      std::lock_guard lock(self->dataMutex_);
      self->auctionTrial_ = response->auctionTrial();
      self->auctionFallback_ = response->auctionFallback();
    }
    if (response->isSuccess()) {
      if (!response->errorMessage().empty()) {
        self->eventsWrapper_->troubleshoot().auctionSuccessfulRecoveryWithCode(response->errorCode(),
                                                                               response->errorMessage());
      }
      self->onAuctionSuccess(response->waterfall(), response->auctionId(), response->genericNotifications(),
                             response->genericParams(), response->configurations(),
                             response->conversionValueParameters(), response->auctionTrial(), response->elapsedTime());
    } else {
      self->onAuctionFailed(response->errorCode(), response->errorMessage(), response->auctionTrial(),
                            response->auctionFallback(), response->elapsedTime());
    }
  });
}

void QBBaseAdUnitManager::onAuctionSuccess(const std::vector<std::shared_ptr<QBAuctionResponseItem>>& waterfall,
                                           const std::string& auctionId,
                                           const std::shared_ptr<QBAuctionResponseItem>& genericNotification,
                                           const platform::Json& genericParams, const platform::Json& configurations,
                                           const platform::Json& conversionValueParameters, int64_t,
                                           int64_t elapsedTime) {
  if (!isWaitingForAuctionResponse()) {
    eventsWrapper_->troubleshoot().unexpectedAuctionSuccessWithReason("unexpected auction success for auctionId - " +
                                                                      auctionId);
    return;
  }
  logInternal(__func__, "auctionId = " + auctionId);
  {
    std::lock_guard lock(dataMutex_);
    genericNotificationsItem_ = genericNotification;
    auctionResponseGenericParam_ = genericParams.is_object() ? genericParams : platform::Json::object();
    currentConversionValueParameters_ =
        conversionValueParameters.is_object() ? conversionValueParameters : platform::Json::object();
  }
  setConversionValueToZero();
  updateAuctionResponseConfiguration(configurations);

  if (adUnitCappingManager_->isAdUnitCapped(adUnit())) {
    eventsWrapper_->auction().adUnitCappedWithAuctionId(auctionId);
    handleLoadFailedWithErrorCode(kAdUnitCappedErrorCode, kAdUnitCappedMessage, false);
    return;
  }
  const std::string waterfallString = updateWaterfall(waterfall, auctionId);
  eventsWrapper_->auction().successWithDuration(elapsedTime);
  eventsWrapper_->auction().responseWaterfall(waterfallString);
  setState(QBManagerState::QB_MANAGER_STATE_LOADING);
  loadSmashes();
}

void QBBaseAdUnitManager::onAuctionFailed(int errorCode, const std::string& errorMessage, int64_t, const std::string&,
                                          int64_t elapsedTime) {
  if (!isWaitingForAuctionResponse()) {
    eventsWrapper_->troubleshoot().unexpectedAuctionFailedWithReason(
        "unexpected auction fail - error = " + std::to_string(errorCode) + ", " + errorMessage);
    return;
  }
  const std::string message =
      "Auction failed | moving to fallback waterfall (error " + std::to_string(errorCode) + " - " + errorMessage + ")";
  logInternal(__func__, message);
  QBLoggerManager::sharedInstance().automationLog(getAdUnitAsShortString(adUnit()) + ": " + message, 0, kTagInternal);
  {
    std::lock_guard lock(dataMutex_);
    auctionResponseGenericParam_ = platform::Json::object();
  }
  updateWaterfallToNonBidding();
  eventsWrapper_->auction().failedWithDuration(elapsedTime, errorCode, errorMessage);
  setState(QBManagerState::QB_MANAGER_STATE_LOADING);
  loadSmashes();
}
