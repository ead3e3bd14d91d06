#include "adunits/QBBaseAdUnitInteractionManager.h"

#include <optional>

#include "adunits/QBBaseAdUnitInteractionSmash.h"
#include "core/QBConfigurations.h"
#include "core/QBPlacement.h"
#include "core/QBPlacementsRepository.h"
#include "events/QBAdUnitEventsWrapper.h"
#include "events/QBEventKinds.h"
#include "foundation/PMEReachability.h"
#include "foundation/QBAdUnitErrorsWrapper.h"
#include "foundation/QBLoggerManager.h"
#include "mediation/QBAuctionHandler.h"
#include "mediation/QBPlacementCappingManager.h"
#include "mediation/QBSessionDepthManager.h"

namespace {

std::shared_ptr<QBBaseAdUnitInteractionSmash> asInteraction(const std::shared_ptr<QBBaseAdUnitSmash>& smash) {
  return std::dynamic_pointer_cast<QBBaseAdUnitInteractionSmash>(smash);
}

}  // namespace

// ---- show ----

void QBBaseAdUnitInteractionManager::showAd(platform::ViewControllerRef viewController,
                                            const std::string& placementName) {
  logInternal(__func__, std::string("state = ") + QBManagerStateName(state()));
  std::shared_ptr<QBBaseAdUnitInteractionSmash> winner;
  std::shared_ptr<const QBPlacement> placement;
  {
    // Re-entrant: the state setter and the failure report take it again.
    std::lock_guard lock(stateLock());
    // The placement becomes the current one only when the show is accepted: a
    // refused call must not change what the ad on screen reports.
    placement = placementsRepository() ? placementsRepository()->placementForName(placementName) : nullptr;
    const std::string requested = placement ? placement->name() : std::string();
    eventsWrapper()->adInteraction().showWithPlacementName(requested);

    std::optional<QBError> refusal;
    if (state() == QBManagerState::QB_MANAGER_STATE_SHOWING) {
      refusal = QBError::createError(QBAdUnitErrorsWrapper::showDuringShow(adUnit()),
                                     std::string(kShowDuringShowMessage));
    } else if (state() != QBManagerState::QB_MANAGER_STATE_READY_TO_SHOW) {
      refusal = QBError::createError(kNoAdsToShowErrorCode, std::string(kNotReadyMessage));
    } else if (!placement) {
      refusal = QBError::createError(QBAdUnitErrorsWrapper::emptyDefaultPlacement(adUnit()),
                                     std::string(kEmptyPlacementMessage));
    } else if (QBPlacementCappingManager::sharedManager().isPlacementCapped(*placement, adUnit())) {
      refusal = QBError::createError(kPlacementCappedErrorCode, "placement " + placement->name() + " is capped");
    }
    const std::string currentId = waterfallLifeCycleHolder()->currentWaterfallId();
    if (refusal) {
      logInternal(__func__, refusal->description(), 3, kTagApi);
      handleShowFailed(*refusal, "", requested, currentId);
      return;
    }

    std::string expiredSmashes;
    for (const auto& smash : waterfallLifeCycleHolder()->getCurrentWaterfall()) {
      auto candidate = asInteraction(smash);
      if (!candidate) continue;
      if (candidate->isReadyToShow()) {
        setState(QBManagerState::QB_MANAGER_STATE_SHOWING);
        candidate->reportShowChanceWithStatus(true);
        winner = std::move(candidate);
        break;
      }
      candidate->reportShowChanceWithStatus(false);
      logInternal(__func__, candidate->getInstanceSignature() + " - not ready to show");
      if (auto expiry = candidate->adExpirationTimestamp()) {
        expiredSmashes += candidate->getInstanceName() + ":" + std::to_string(*expiry) + ",";
      }
    }
    if (!winner) {
      handleShowFailed(
          QBError::createError(kNoAdsToShowErrorCode, adUnit().value() + " Show Fail - No ads to show"),
          expiredSmashes, requested, currentId);
      return;
    }
    setCurrentPlacement(placement);
    // The winner belongs to the current waterfall, whose auction results are
    // the manager's until the next load, which SHOWING holds back outside
    // AUTOMATIC_LOAD_WHILE_SHOW and which in that mode starts from here on.
    {
      std::lock_guard record(showMutex_);
      showRecord_ = ShowRecord{winner, waterfallServerItem(winner->getInstanceName()), genericNotificationsItem(),
                               currentConversionValueParameters()};
    }
    waterfallLifeCycleHolder()->setShowingSmash(winner);
  }
  showAdInternal(viewController, winner, placement);
}

void QBBaseAdUnitInteractionManager::showAdInternal(const platform::ViewControllerRef& viewController,
                                                    const std::shared_ptr<QBBaseAdUnitInteractionSmash>& smash,
                                                    const std::shared_ptr<const QBPlacement>& placement) {
  if (isAutomaticMode()) expiredAdsManager()->cancelExpirationScheduler();
  smash->showAdWithViewController(viewController, placement);
}

void QBBaseAdUnitInteractionManager::handleShowFailed(const QBError& error, const std::string& expiredSmashes) {
  handleShowFailed(error, expiredSmashes, getCurrentPlacementName(), waterfallLifeCycleHolder()->currentWaterfallId());
}

void QBBaseAdUnitInteractionManager::handleShowFailed(const QBError& error, const std::string& expiredSmashes,
                                                      const std::string& placementName,
                                                      const std::string& waterfallId) {
  std::lock_guard lock(stateLock());
  eventsWrapper()->adInteraction().showFailedWithPlacementName(placementName, error.code(), error.description(),
                                                               expiredSmashes);
  loadingModeManager()->showError();
  if (auto wrapper = delegateWrapper()) {
    wrapper->adDidFailToShowWithError(error, waterfallLifeCycleHolder()->getAdInfoWithWaterfallId(waterfallId));
  }
  if (isAutomaticMode()) reportAvailabilityIfNeeded(false, false);
}

// ---- readiness ----

bool QBBaseAdUnitInteractionManager::isAdReady() {
  {
    std::lock_guard lock(stateLock());
    if (!isReadyToShow()) return false;
  }
  if (QBConfigurations::getConfigurations().trackReachability() &&
      PMEReachabilityManager::sharedManager()->getReachabilityObject()->currentReachabilityStatus() == 0) {
    return false;
  }
  for (const auto& smash : waterfallLifeCycleHolder()->getCurrentWaterfall()) {
    auto candidate = asInteraction(smash);
    if (candidate && candidate->isReadyToShow()) return true;
  }
  return false;
}

std::string QBBaseAdUnitInteractionManager::getOtherAvailableInstances() {
  if (state() != QBManagerState::QB_MANAGER_STATE_READY_TO_SHOW) return "";
  std::string names;
  for (const auto& smash : waterfallLifeCycleHolder()->getCurrentWaterfall()) {
    if (smash->isLoaded()) names += smash->getInstanceName() + ";";
  }
  return names;
}

// ---- instance callbacks ----

std::shared_ptr<const QBAdInfo> QBBaseAdUnitInteractionManager::adInfoOf(
    const std::shared_ptr<QBBaseAdUnitSmash>& smash) const {
  return smash ? waterfallLifeCycleHolder()->getAdInfoWithWaterfallId(smash->getAuctionId()) : nullptr;
}

QBBaseAdUnitInteractionManager::ShowRecord QBBaseAdUnitInteractionManager::showRecordOf(
    const std::shared_ptr<QBBaseAdUnitSmash>& smash) const {
  {
    std::lock_guard record(showMutex_);
    if (showRecord_.smash.lock() == smash) return showRecord_;
  }
  ShowRecord record{smash, nullptr, nullptr, platform::Json::object()};
  if (smash->getAuctionId() == waterfallLifeCycleHolder()->currentWaterfallId()) {
    record.item = waterfallServerItem(smash->getInstanceName());
    record.genericNotifications = genericNotificationsItem();
    record.conversionValueParameters = currentConversionValueParameters();
  }
  return record;
}

void QBBaseAdUnitInteractionManager::onAdShowSuccess(const std::shared_ptr<QBBaseAdUnitSmash>& smash) {
  if (!smash) return;
  logInternal(__func__, smash->getInstanceSignature());
  if (auto wrapper = delegateWrapper()) wrapper->adDidShowWithAdInfo(adInfoOf(smash));
}

void QBBaseAdUnitInteractionManager::onAdShowFailed(const std::shared_ptr<QBBaseAdUnitSmash>& smash,
                                                    const QBError& error) {
  if (!smash) return;
  const std::string name = smash->getInstanceName();
  const std::string placementName = smash->getCurrentPlacementName();
  if (managerData()->isAuctionEnabled()) {
    if (auto item = showRecordOf(smash).item) {
      waterfallLifeCycleHolder()->setAdInfoWithWaterfallId(smash->getAuctionId(),
                                                           item->impressionDataWithPlacement(placementName));
    }
  }
  logInternal(__func__, smash->getInstanceSignature() + " - error = " + error.description());
  setWaterfallPerformance(name, 3);
  waterfallLifeCycleHolder()->clearShowingSmash(smash);
  // Only the show that made the manager SHOWING may end it: a late failure of
  // an older ad must not reset a manager that has moved on to a new waterfall.
  compareStateAndSetIfTrue(QBManagerState::QB_MANAGER_STATE_SHOWING, QBManagerState::QB_MANAGER_STATE_READY_TO_LOAD);
  handleShowFailed(error, "", placementName, smash->getAuctionId());
}

void QBBaseAdUnitInteractionManager::onAdOpened(const std::shared_ptr<QBBaseAdUnitSmash>& smash) {
  if (!smash) return;
  logInternal(__func__, smash->getInstanceSignature());
  const std::string name = smash->getInstanceName();
  waterfallLifeCycleHolder()->setLastActiveSmash(smash);

  sessionCappingManager()->increaseShowCounter(smash);
  if (sessionCappingManager()->isCapped(smash)) {
    const std::string text = name + " was session capped";
    logInternal(__func__, text);
    smash->sendSessionCappedEvent();
    QBLoggerManager::sharedInstance().automationLog(text, 0, kTagInternal);
  }

  // The placement of the accepted show, kept by the instance.
  auto placement = smash->currentPlacement();
  const std::string placementName = placement ? placement->name() : std::string();
  if (placement) {
    auto& capping = QBPlacementCappingManager::sharedManager();
    capping.incrementShowCounter(*placement, adUnit());
    if (capping.isPlacementCapped(*placement, adUnit())) {
      logInternal(__func__, "placement " + placementName + " is capped");
      eventsWrapper()->adInteraction().placementCapped(placementName);
    }
  }

  auto& depth = QBSessionDepthManager::sharedManager();
  const int sessionDepth = depth.getSessionDepth(adUnit());
  depth.increaseSessionDepth(adUnit());

  if (managerData()->isAuctionEnabled()) {
    const ShowRecord record = showRecordOf(smash);
    if (auto item = record.item) {
      waterfallLifeCycleHolder()->setAdInfoWithWaterfallId(smash->getAuctionId(),
                                                           item->impressionDataWithPlacement(placementName));
      if (auto handler = auctionHandler()) {
        handler->reportImpressionForGenericNotifications(record.genericNotifications, item, smash->getInstanceType(),
                                                         placementName);
        handler->reportAuctionConversionValueForParameters(
            record.conversionValueParameters, item->cvValue(), smash->getAuctionId(), sessionDepth,
            adUnit().getAdUnitId(), smash->getEventsAdditionalDataDictionary(QBEventKind::CONVERSION_VALUE_DATA));
      }
      setWaterfallPerformance(name, 4);
      reportImpressionDataToPublisherWithAuctionResponseItem(item, placementName);
    } else {
      const std::string text = "showing instance missing from waterfall - " + name;
      logInternal(__func__, text);
      eventsWrapper()->troubleshoot().notificationErrorWithCode(kInstanceMissingErrorCode, text, name);
    }
  }

  if (auto wrapper = delegateWrapper()) wrapper->adDidOpenWithAdInfo(adInfoOf(smash));
  // In AUTOMATIC_LOAD_WHILE_SHOW a load may have installed and loaded a newer
  // waterfall between the show and this open: that ad stays available and
  // needs no reload.
  const bool newerAdReady = isAutomaticMode() && isAdReady();
  if (isAutomaticMode()) reportAvailabilityIfNeeded(newerAdReady, false);
  if (!newerAdReady) loadingModeManager()->showStarted();
}

void QBBaseAdUnitInteractionManager::onAdClosed(const std::shared_ptr<QBBaseAdUnitSmash>& smash) {
  if (!smash) return;
  logInternal(__func__, smash->getInstanceSignature());
  // In AUTOMATIC_LOAD_WHILE_SHOW a newer waterfall may already be loading or
  // ready; only SHOWING goes back to READY_TO_LOAD.
  compareStateAndSetIfTrue(QBManagerState::QB_MANAGER_STATE_SHOWING, QBManagerState::QB_MANAGER_STATE_READY_TO_LOAD);
  waterfallLifeCycleHolder()->clearShowingSmash(smash);
  loadingModeManager()->showEnded();
  if (auto wrapper = delegateWrapper()) wrapper->adDidCloseWithAdInfo(adInfoOf(smash));
}

void QBBaseAdUnitInteractionManager::onAdStarted(const std::shared_ptr<QBBaseAdUnitSmash>& smash) {
  if (smash) logInternal(__func__, smash->getInstanceSignature());
  if (auto wrapper = delegateWrapper()) wrapper->adDidStart();
}

void QBBaseAdUnitInteractionManager::onAdEnded(const std::shared_ptr<QBBaseAdUnitSmash>& smash) {
  if (smash) logInternal(__func__, smash->getInstanceSignature());
  if (auto wrapper = delegateWrapper()) wrapper->adDidEnd();
}

void QBBaseAdUnitRewardManager::onAdRewarded(const std::shared_ptr<QBBaseAdUnitSmash>& smash,
                                             const std::shared_ptr<const QBPlacement>& placement) {
  if (!smash) return;
  logInternal(__func__, smash->getInstanceSignature());
  if (auto wrapper = delegateWrapper()) {
    wrapper->adDidReceiveReward(placement ? placement->placementInfo() : QBPlacementInfo(), adInfoOf(smash));
  }
}
