// Puts back every process-wide object of the library that a test may have
// touched, so that each test starts as a fresh process would.
#pragma once

#include "adapters/QBAdapterRepository.h"
#include "core/QBConfigurations.h"
#include "core/QuillborneObjectPublisherDataHolder.h"
#include "events/QBBannerDelegateWrapper.h"
#include "events/QBDelegateThrottler.h"
#include "events/QBEventsEngines.h"
#include "events/QBInterstitialDelegateWrapper.h"
#include "events/QBRewardedVideoDelegateWrapper.h"
#include "foundation/PMEReachability.h"
#include "foundation/QBLoggerManager.h"
#include "foundation/QBUtils.h"
#include "mediation/QBDemandOnlyModeHelper.h"
#include "mediation/QBSessionDepthManager.h"
#include "platform/device.h"
#include "platform/system_sounds.h"
#include "platform/tulvo/tulvo_control.h"
#include "sdk/QBAdUnitManager.h"
#include "scriptfeatures/device/QBNSoundSamplerRingerChecker.h"
#include "scriptfeatures/files/QBNLightCacheManager.h"
#include "sdk/QuillborneSdk.h"
#include "testsuite/QBTestSuiteMediationSdkProxy.h"

namespace qbtest {

inline void resetProcessWide() {
  QuillborneSdk::resetForTesting();
  QBAdUnitManagerFactories::sharedInstance().resetForTesting();
  QBConfigurations::getConfigurations().resetForTesting();
  PMEReachabilityManager::resetForTesting();
  QBRewardedVideoEventsEngine::resetForTesting();
  QBInterstitialEventsEngine::resetForTesting();
  QBPixelEventsEngine::resetForTesting();
  QBLoggerManager::sharedInstance().resetForTesting();
  QBAdapterRepository::sharedRepository().resetForTesting();
  QuillborneObjectPublisherDataHolder::sharedInstance().resetForTesting();
  QBDemandOnlyModeHelper::sharedInstance().resetForTesting();
  QBRewardedVideoDelegateWrapper::resetForTesting();
  QBInterstitialDelegateWrapper::resetForTesting();
  QBBannerDelegateWrapper::resetForTesting();
  QBDelegateThrottler::resetForTesting();
  QBSessionDepthManager::sharedManager().resetForTesting();
  QBUtils::resetSessionIdForTesting();
  TulvoSDK::Control::shared().resetForTesting();
  platform::resetDeviceFactsForTesting();
  QBNSoundSamplerRingerChecker::resetForTesting();
  QBNLightCacheManager::sharedInstance().resetForTesting();
  platform::SystemSounds::shared().resetForTesting();
  QBTestSuiteMediationSdkProxy::setMediationSdk(nullptr);
}

}  // namespace qbtest
