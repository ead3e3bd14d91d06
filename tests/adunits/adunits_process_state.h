#pragma once
// Puts back every process-wide object the ad-unit tests touch.
#include "adapters/QBAdapterRepository.h"
#include "core/QBConfigurations.h"
#include "core/QuillborneObjectPublisherDataHolder.h"
#include "events/QBDelegateThrottler.h"
#include "events/QBEventsEngines.h"
#include "events/QBInterstitialDelegateWrapper.h"
#include "events/QBRewardedVideoDelegateWrapper.h"
#include "foundation/PMEReachability.h"
#include "foundation/QBUtils.h"
#include "mediation/QBSessionDepthManager.h"
#include "platform/runtime.h"
#include "platform/tulvo/tulvo_control.h"

namespace qbtest {

inline void resetAdUnitsProcessWide() {
  TulvoSDK::Control::shared().resetForTesting();
  QBRewardedVideoEventsEngine::resetForTesting();
  QBInterstitialEventsEngine::resetForTesting();
  QBConfigurations::getConfigurations().resetForTesting();
  PMEReachabilityManager::resetForTesting();
  QBAdapterRepository::sharedRepository().resetForTesting();
  platform::ClassRegistry::shared().resetForTesting();
  QBDelegateThrottler::resetForTesting();
  QBRewardedVideoDelegateWrapper::resetForTesting();
  QBInterstitialDelegateWrapper::resetForTesting();
  QBSessionDepthManager::sharedManager().resetForTesting();
  QuillborneObjectPublisherDataHolder::sharedInstance().resetForTesting();
  QBUtils::resetSessionIdForTesting();
}

}  // namespace qbtest
