// The second half of the load road: waterfalls from auction answers and from
// the non-bidding fallback, the choice of instances to load (at most
// maxSmashesToLoad loading or loaded, counted from the top; an idle bidder
// only alone), the instances' load results and the whole-waterfall failure.
#include <utility>

#include "adapters/QBAdapterRepository.h"
#include "adunits/QBBaseAdUnitManager.h"
#include "adunits/QBBaseAdUnitSmash.h"
#include "events/QBAdUnitEventsWrapper.h"
#include "events/QBDelegateThrottler.h"
#include "foundation/QBLoggerManager.h"
#include "mediation/QBAuctionHandler.h"
#include "mediation/QBSessionDepthManager.h"
#include "platform/clock.h"
#include "platform/dispatch.h"

// ---- waterfalls ----

namespace {
// The most outgoing waterfall items freed on the load road itself.
constexpr size_t kWaterfallFreedInPlace = 8;

// Where larger outgoing waterfalls are freed.
const platform::QueueRef& releaseQueue() {
  static const platform::QueueRef& queue =
      *new platform::QueueRef(platform::createBackgroundSerialQueue("com.quilbrn.waterfall_release_queue"));
  return queue;
}
}  // namespace

std::string QBBaseAdUnitManager::updateWaterfall(const std::vector<std::shared_ptr<QBAuctionResponseItem>>& items,
                                                 const std::string& currentAuctionId) {
  logInternal(__func__, "watefall size = " + std::to_string(items.size()));
  auto outgoing = std::make_shared<std::map<std::string, std::shared_ptr<QBAuctionResponseItem>>>();
  {
    std::lock_guard lock(dataMutex_);
    waterfallPerformance_.clear();
    outgoing->swap(waterfallServerData_);
  }
  // A large outgoing waterfall's items (their impression data and server
  // data) are freed off the load road; a few are freed here, since waking a
  // worker thread costs more than freeing them. On a worker (the auction's
  // answer arrives on one) the background queue frees them once this block,
  // which starts the new waterfall's load, has ended, on the same worker:
  // no second worker is woken to run beside the load.
  if (outgoing->size() > kWaterfallFreedInPlace) releaseQueue()->async([outgoing = std::move(outgoing)] {});
  QBWaterfallLifeCycleHolder::Waterfall smashes;
  std::string waterfallString;
  for (size_t i = 0; i < items.size(); ++i) {
    if (!items[i]) continue;
    if (auto smash = addSmashForWaterfall(items[i], currentAuctionId)) {
      waterfallString += createWaterfallStringFromSmash(smash, items[i]);
      smashes.push_back(std::move(smash));
    }
    if (i + 1 < items.size()) waterfallString += ",";
  }
  {
    // Marks belong to the outgoing waterfall.
    std::lock_guard lock(stateLock_);
    chosenSmashes_.clear();
  }
  holder_->updateWaterFallWithLoadingMode(loadingMode(), std::move(smashes), currentAuctionId);
  logInternal(__func__, "updateWaterfall - next waterfall is " + waterfallString);
  return waterfallString;
}

std::string QBBaseAdUnitManager::createWaterfallStringFromSmash(const std::shared_ptr<QBBaseAdUnitSmash>& smash,
                                                                const std::shared_ptr<QBAuctionResponseItem>& auctionItem) {
  return std::to_string(smash->getInstanceType()) + auctionItem->providerName();
}

void QBBaseAdUnitManager::updateWaterfallToNonBidding() {
  updateWaterfall(extractNonBidderProvidersFromWaterfall(), getAuctionFallbackId());
}

std::vector<std::shared_ptr<QBAuctionResponseItem>> QBBaseAdUnitManager::extractNonBidderProvidersFromWaterfall() {
  std::vector<std::shared_ptr<QBAuctionResponseItem>> items;
  for (const auto& config : managerData_->providersList()) {
    if (config->isBidder()) continue;
    // The test suite's choice holds for the fallback as it does for the
    // auction: an instance it rejects never loads while the suite runs.
    if (!shouldAddAdapterConfigInfo(*config, adUnit())) continue;
    if (isSessionCapped(config)) continue;
    if (!shouldInstanceBeAddedToWaterfallRequestWithAdapterConfig(config)) continue;
    items.push_back(QBAuctionResponseItem::initWithProviderName(config->providerName()));
  }
  return items;
}

std::string QBBaseAdUnitManager::getAuctionFallbackId() { return "fallback_" + std::to_string(platform::nowWallMs()); }

std::shared_ptr<QBBaseAdUnitSmash> QBBaseAdUnitManager::addSmashForWaterfall(
    const std::shared_ptr<QBAuctionResponseItem>& item, const std::string& currentAuctionId) {
  auto config = managerData_->getAdapterConfig(item->providerName());
  if (!config) {
    const std::string message =
        "could not find matching configuration for auction response item - item = " + item->description();
    logInternal(__func__, message, 3);
    eventsWrapper_->troubleshoot().providerSettingsMissingWithReason(message);
    return nullptr;
  }
  auto& repository = QBAdapterRepository::sharedRepository();
  repository.getNetworkAdapter(config, adUnit());
  auto adapter = repository.createAdAdapter(config, adUnit());
  if (!adapter) {
    const std::string message = "addSmashToWaterfall - could not load ad adapter for instance " + item->providerName();
    logInternal(__func__, message, 3);
    eventsWrapper_->troubleshoot().adAdapterNotAvailableWithReason(message);
    return nullptr;
  }
  const int32_t sessionDepth = QBSessionDepthManager::sharedManager().getSessionDepth(adUnit());
  auto smash = createSmashWithAdapterConfig(config, adapter, sessionDepth, currentAuctionId);
  if (smash) {
    std::lock_guard lock(dataMutex_);
    waterfallServerData_[smash->getInstanceName()] = item;
    waterfallPerformance_[config->providerName()] = 0;
  }
  return smash;
}

// ---- loading the instances ----

void QBBaseAdUnitManager::loadSmashes() {
  std::vector<std::shared_ptr<QBBaseAdUnitSmash>> chosen;
  {
    std::lock_guard lock(stateLock_);
    chosen = prepareSmashesToLoad();
  }
  for (const auto& smash : chosen) loadSmash(smash);
}

std::vector<std::shared_ptr<QBBaseAdUnitSmash>> QBBaseAdUnitManager::prepareSmashesToLoad() {
  std::lock_guard lock(stateLock_);
  const auto waterfall = holder_->getCurrentWaterfall();
  logInternal(__func__, "waterfall count = " + std::to_string(waterfall.size()));
  std::vector<std::shared_ptr<QBBaseAdUnitSmash>> chosen;
  if (waterfall.empty()) {
    handleLoadFailedWithErrorCode(kNoFillErrorCode, kNoFillMessage, true);
    return chosen;
  }
  const uint64_t limit = managerData_->maxSmashesToLoad();
  uint64_t taken = 0;
  for (const auto& smash : waterfall) {
    if (limit <= taken) {
      if (taken == 0) handleLoadFailedWithErrorCode(kNoFillErrorCode, kNoFillMessage, true);
      return chosen;
    }
    if (!smash->isReadyToLoad()) {
      logInternal(__func__, "smash " + smash->getInstanceSignature() + " is not ready to load");
      continue;
    }
    // Idle means state NONE and not chosen by a walk whose loads have not
    // started yet; INIT_IN_PROGRESS, READY_TO_LOAD, LOADING, LOADED and
    // SHOWING all hold a slot.
    const bool idle = smash->state() == QBSmashState::QB_SMASH_STATE_NONE && !chosenSmashes_.count(smash.get());
    if (!idle) {
      logInternal(__func__, "smash = " + smash->getInstanceSignature());
      ++taken;
      continue;
    }
    if (!smash->isBidder()) {
      chosen.push_back(smash);
      chosenSmashes_.insert(smash.get());
      ++taken;
      continue;
    }
    if (taken == 0) {
      const std::string message = "Advanced Loading: Starting to load bidder " + smash->getInstanceName() +
                                  ". No other instances will be loaded at the same time.";
      logInternal(__func__, message);
      QBLoggerManager::sharedInstance().automationLog(message, 0, kTagInternal);
      chosen.push_back(smash);
      chosenSmashes_.insert(smash.get());
      ++taken;
    } else {
      logInternal(__func__, "Advanced Loading: Won't start loading bidder " + smash->getInstanceName() +
                                " as a non bidder is being loaded");
    }
    return chosen;
  }
  if (taken == 0) handleLoadFailedWithErrorCode(kNoFillErrorCode, kNoFillMessage, true);
  return chosen;
}

void QBBaseAdUnitManager::loadSmash(const std::shared_ptr<QBBaseAdUnitSmash>& smash) {
  if (smash->state() != QBSmashState::QB_SMASH_STATE_NONE) {
    // Another walk got to it first; its load runs already.
    logInternal(__func__, "smash " + smash->getInstanceSignature() + " is no longer idle - not loaded again");
    std::lock_guard lock(stateLock_);
    chosenSmashes_.erase(smash.get());
    return;
  }
  logInternal(__func__, "smash = " + smash->getInstanceSignature());
  auto item = waterfallServerItem(smash->getInstanceName());
  const std::string serverData = item ? item->serverData() : std::string();
  platform::Json adUnitData = item && item->adData().is_object() ? item->adData() : platform::Json::object();
  adUnitData[QBDataKeys::AD_UNIT] = adUnit().value();
  smash->setDynamicDemandSourceIdByServerData(serverData);
  smash->loadAdWithServerData(serverData, adUnitData);
  // From here on the instance's own state tells whether it is taken.
  std::lock_guard lock(stateLock_);
  chosenSmashes_.erase(smash.get());
}

// ---- instance results ----

void QBBaseAdUnitManager::onAdLoadSuccess(const std::shared_ptr<QBBaseAdUnitSmash>& smash, int64_t) {
  if (!smash) return;
  const std::string currentId = holder_->currentWaterfallId();
  const std::string name = smash->getInstanceName();
  if (smash->getAuctionId() != currentId) {
    const std::string message = "onAdLoadSuccess was invoked with state " +
                                std::to_string(static_cast<int64_t>(state())) + " by " + name +
                                " with auctionId: " + smash->getAuctionId() + " while current one is: " + currentId;
    logInternal(__func__, message);
    eventsWrapper_->troubleshoot().unexpectedLoadSuccessWithReason(message);
    return;
  }
  setWaterfallPerformance(name, 2);
  if (!compareStateAndSetIfTrue(QBManagerState::QB_MANAGER_STATE_LOADING,
                                QBManagerState::QB_MANAGER_STATE_READY_TO_SHOW)) {
    eventsWrapper_->troubleshoot().unexpectedLoadSuccessWithReason("unexpected load success for smash - " +
                                                                   smash->getInstanceSignature());
    return;
  }
  eventsWrapper_->load().sucessWithDuration(millisecondsSinceLoad(), publisherLoad());
  if (isAutomaticMode()) expiredAdsManager_->startExpirationTimerForAdsWithDeltaInSeconds(0);

  if (managerData_->isAuctionEnabled() && auctionHandler_) {
    if (auto winner = waterfallServerItem(name)) {
      holder_->setAdInfoWithWaterfallId(currentId, winner->impressionDataWithPlacement(""));
      std::vector<std::string> names;
      for (const auto& member : holder_->getCurrentWaterfall()) names.push_back(member->getInstanceName());
      const auto generic = genericNotificationsItem();
      auctionHandler_->reportLoadSuccessForGenericNotifications(generic, winner, smash->getInstanceType());
      auctionHandler_->reportAuctionLoseWithWaterfall(names, waterfallServerData(), generic, winner,
                                                      smash->getInstanceType());
    } else {
      const std::string message = "winner instance missing from waterfall - " + name;
      logInternal(__func__, message, 3);
      eventsWrapper_->troubleshoot().notificationErrorWithCode(kWinnerMissingErrorCode, message, name);
    }
  }

  if (isAutomaticMode()) {
    reportAvailabilityIfNeeded(true, false);
  } else if (delegateWrapper_) {
    delegateWrapper_->adDidLoadWithAdInfo(adInfoFor(smash->getAuctionId()));
  }
}

void QBBaseAdUnitManager::onAdLoadFailed(const std::shared_ptr<QBBaseAdUnitSmash>& smash, const QBError& error,
                                         int64_t) {
  if (!smash) return;
  logInternal(__func__, smash->getInstanceSignature() + " - error = " + error.description());
  std::vector<std::shared_ptr<QBBaseAdUnitSmash>> chosen;
  {
    std::lock_guard lock(stateLock_);
    const std::string currentId = holder_->currentWaterfallId();
    const QBManagerState current = state();
    if (smash->getAuctionId() != currentId || current == QBManagerState::QB_MANAGER_STATE_AUCTION) {
      const std::string message = "onAdLoadFailed was invoked with state " +
                                  std::to_string(static_cast<int64_t>(current)) + " by " + smash->getInstanceName() +
                                  " with auctionId: " + smash->getAuctionId() + " while current one is: " + currentId;
      logInternal(__func__, message);
      eventsWrapper_->troubleshoot().unexpectedLoadFailedWithReason(message);
      return;
    }
    setWaterfallPerformance(smash->getInstanceName(), 1);
    if (current == QBManagerState::QB_MANAGER_STATE_LOADING ||
        current == QBManagerState::QB_MANAGER_STATE_READY_TO_SHOW) {
      chosen = prepareSmashesToLoad();
    } else {
      eventsWrapper_->troubleshoot().unexpectedLoadFailedWithReason(
          "unexpected load failed for smash - " + smash->getInstanceSignature() + ", error - " + error.description());
    }
  }
  for (const auto& next : chosen) loadSmash(next);
}

void QBBaseAdUnitManager::handleLoadFailedWithErrorCode(int errorCode, const std::string& errorReason,
                                                        bool shouldSendLoadFailedEvent) {
  setState(QBManagerState::QB_MANAGER_STATE_READY_TO_LOAD);
  logInternal(__func__, "errorCode = " + std::to_string(errorCode) + ", errorReason = " + errorReason);
  if (managerData_->loadingData()->isManualMode()) {
    if (shouldSendLoadFailedEvent) {
      eventsWrapper_->load().failedWithReason(errorReason, millisecondsSinceLoad(), errorCode);
    }
    QBDelegateThrottler::sharedInstance()->didFailToLoadWithError(QBError::createError(errorCode, errorReason),
                                                                  adUnit());
  } else {
    if (shouldSendLoadFailedEvent) eventsWrapper_->troubleshoot().loadFailedWithCode(errorCode, errorReason);
    reportAvailabilityIfNeeded(false, false);
  }
  loadingModeManager_->loadError();
}
