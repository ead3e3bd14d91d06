#include "adunits/QBBaseAdUnitInteractionManager.h"

#include "adunits/QBBaseAdUnitSmash.h"
#include "core/QBConfigurations.h"
#include "foundation/PMEReachability.h"
#include "foundation/QBAdUnitErrorsWrapper.h"

void QBBaseAdUnitInteractionManager::showAd(platform::ViewControllerRef, const std::string& placementName) {
  const std::string message = "show is not available for placement " + placementName;
  logInternal(__func__, message, 3, kTagApi);
  if (auto wrapper = delegateWrapper()) {
    wrapper->adDidFailToShowWithError(QBError::createError(QBAdUnitErrorsWrapper::showFailed(adUnit()), message),
                                      nullptr);
  }
}

bool QBBaseAdUnitInteractionManager::isAdReady() {
  if (!isReadyToShow()) return false;
  if (QBConfigurations::getConfigurations().trackReachability() &&
      PMEReachabilityManager::sharedManager()->getReachabilityObject()->currentReachabilityStatus() == 0) {
    return false;
  }
  for (const auto& smash : waterfallLifeCycleHolder()->getCurrentWaterfall()) {
    if (smash->isLoaded()) return true;
  }
  return false;
}

void QBBaseAdUnitInteractionManager::onAdShowSuccess(const std::shared_ptr<QBBaseAdUnitSmash>& smash) {
  if (smash) logInternal(__func__, smash->getInstanceSignature());
}

void QBBaseAdUnitInteractionManager::onAdShowFailed(const std::shared_ptr<QBBaseAdUnitSmash>& smash,
                                                    const QBError& error) {
  if (smash) logInternal(__func__, smash->getInstanceSignature() + " - error = " + error.description());
}

void QBBaseAdUnitInteractionManager::onAdOpened(const std::shared_ptr<QBBaseAdUnitSmash>& smash) {
  if (smash) logInternal(__func__, smash->getInstanceSignature());
}

void QBBaseAdUnitInteractionManager::onAdClosed(const std::shared_ptr<QBBaseAdUnitSmash>& smash) {
  if (smash) logInternal(__func__, smash->getInstanceSignature());
}

void QBBaseAdUnitInteractionManager::onAdStarted(const std::shared_ptr<QBBaseAdUnitSmash>& smash) {
  if (smash) logInternal(__func__, smash->getInstanceSignature());
}

void QBBaseAdUnitInteractionManager::onAdEnded(const std::shared_ptr<QBBaseAdUnitSmash>& smash) {
  if (smash) logInternal(__func__, smash->getInstanceSignature());
}

std::string QBBaseAdUnitInteractionManager::getOtherAvailableInstances() {
  if (state() != QBManagerState::QB_MANAGER_STATE_READY_TO_SHOW) return "";
  std::string names;
  for (const auto& smash : waterfallLifeCycleHolder()->getCurrentWaterfall()) {
    if (smash->isLoaded()) names += smash->getInstanceName() + ";";
  }
  return names;
}

void QBBaseAdUnitRewardManager::onAdRewarded(const std::shared_ptr<QBBaseAdUnitSmash>& smash,
                                             const std::shared_ptr<const QBPlacement>&) {
  if (smash) logInternal(__func__, smash->getInstanceSignature());
}
