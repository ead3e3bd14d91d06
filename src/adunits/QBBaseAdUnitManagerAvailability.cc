// Availability reports, expiry, reachability, impression data, clicks and the
// configuration hooks of auction answers (capped flag, conversion value).
#include <cstdlib>
#include <utility>

#include "adunits/QBBaseAdUnitManager.h"
#include "adunits/QBBaseAdUnitSmash.h"
#include "core/QBConfigurations.h"
#include "core/QBPlacement.h"
#include "core/QuillborneObjectPublisherDataHolder.h"
#include "events/QBAdUnitEventsWrapper.h"
#include "foundation/QBLoggerManager.h"
#include "mediation/QBAdUnitCappingManager.h"
#include "platform/clock.h"
#include "platform/runtime.h"

void QBBaseAdUnitManager::reportAvailabilityIfNeeded(bool available, bool isAdExpired) {
  // Held through the event and the listener call so that two threads never
  // report the same change twice; the listener wrapper only posts to the main
  // queue, so no application code runs under the lock.
  std::lock_guard lock(stateLock_);
  int64_t timeSpent = 0;
  {
    std::lock_guard data(dataMutex_);
    if (lastReportedAvailabilityState_ && *lastReportedAvailabilityState_ == available) return;
    lastReportedAvailabilityState_ = available;
    const int64_t now = platform::nowWallMs();
    timeSpent = std::llabs(now - lastChangedAvailabilityTime_);
    lastChangedAvailabilityTime_ = now;
  }
  eventsWrapper_->load().availabilityChanged(available, timeSpent, isAdExpired);
  if (delegateWrapper_) {
    delegateWrapper_->adHasChangedAvailability(available, adInfoFor(holder_->currentWaterfallId()));
  }
}

void QBBaseAdUnitManager::onAdExpired() {
  if (state() == QBManagerState::QB_MANAGER_STATE_NONE) return;
  if (managerData_->loadingData()->isManualMode()) return;
  logInternal(__func__, "");
  setState(QBManagerState::QB_MANAGER_STATE_READY_TO_LOAD);
  reportAvailabilityIfNeeded(false, true);
  loadAd();
}

void QBBaseAdUnitManager::reachabilityChanged(std::shared_ptr<PMEReachability> reachability) {
  // A notice during construction finds the manager in NONE and is dropped.
  if (!reachability || state() == QBManagerState::QB_MANAGER_STATE_NONE) return;
  if (!QBConfigurations::getConfigurations().trackReachability() || !isAutomaticMode()) return;
  const int status = reachability->currentReachabilityStatus();
  {
    std::lock_guard lock(dataMutex_);
    if (status == netStatus_) return;
    netStatus_ = status;
  }
  if (status == 1 || status == 2) {
    if (!isAdReady()) return;
    logInternal(__func__, "network availability changed to available");
    reportAvailabilityIfNeeded(true, false);
  } else {
    logInternal(__func__, "network availability changed to unavailable");
    reportAvailabilityIfNeeded(false, false);
  }
}

void QBBaseAdUnitManager::reportImpressionDataToPublisherWithAuctionResponseItem(
    const std::shared_ptr<QBAuctionResponseItem>& item, const std::string& placementName) {
  if (!item) {
    logInternal(__func__, "no auctionResponseItem or listener");
    return;
  }
  auto impressionData = item->impressionDataWithPlacement(placementName);
  if (!impressionData) return;
  for (const auto& listener : impressionDataDelegates_->allDelegates()) {
    QBLoggerManager::sharedInstance().dynamicLog(
        __func__,
        createLogMessage("onImpressionSuccess " + platform::className(listener) + ": " + impressionData->description()),
        1, kTagDelegate);
    // Application code: a throw must not cross into the library.
    if (auto caught = platform::guard([&] { listener->impressionDataDidSucceed(impressionData); })) {
      logInternal(__func__, "impression-data listener threw " + caught->description(), 3);
    }
  }
}

void QBBaseAdUnitManager::onAdClicked(const std::shared_ptr<QBBaseAdUnitSmash>& smash) {
  if (!smash) return;
  logInternal(__func__, smash->getInstanceSignature());
  if (!delegateWrapper_) return;
  // The placement of the instance's own show: a later, refused show call
  // changes nothing of it.
  auto placement = smash->currentPlacement();
  delegateWrapper_->adDidClick(placement ? placement->placementInfo() : QBPlacementInfo(),
                               adInfoFor(smash->getAuctionId()));
}

void QBBaseAdUnitManager::updateAuctionResponseConfiguration(const platform::Json& configurations) {
  bool capped = false;
  if (configurations.is_object() && configurations.contains(kIsAdUnitCappedKey)) {
    const auto& value = configurations[kIsAdUnitCappedKey];
    if (value.is_boolean()) {
      capped = value.get<bool>();
    } else if (value.is_number()) {
      capped = value.get<double>() != 0;
    } else if (value.is_string()) {
      const auto text = value.get<std::string>();
      capped = text == "true" || text == "YES" || text == "yes" || text == "1";
    }
  }
  adUnitCappingManager_->updateAdUnitCapping(adUnit(), capped);
}

void QBBaseAdUnitManager::resetConfigurations() { adUnitCappingManager_->updateAdUnitCapping(adUnit(), false); }

void QBBaseAdUnitManager::setConversionValueToZero() {
  bool hasParameters = false;
  {
    std::lock_guard lock(dataMutex_);
    hasParameters = currentConversionValueParameters_.is_object() && !currentConversionValueParameters_.empty();
  }
  if (!hasParameters) return;
  if (auto conversionValue = QuillborneObjectPublisherDataHolder::sharedInstance().getConversionValueObject()) {
    conversionValue->setCurrentConversionValue(0);
  }
}
