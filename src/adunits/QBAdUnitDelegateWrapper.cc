#include "adunits/QBAdUnitDelegateWrapper.h"

#include <utility>

#include "events/QBInterstitialDelegateWrapper.h"
#include "events/QBRewardedVideoDelegateWrapper.h"
#include "foundation/QBLoggerManager.h"

namespace {

constexpr int kUnsupportedLevel = 2;
constexpr int kInternalTag = 6;

void logUnsupported(const char* method) {
  QBLoggerManager::sharedInstance().dynamicLog(method, "Unsupported method", kUnsupportedLevel, kInternalTag);
}

}  // namespace

// ---- base: every operation is unsupported ----

void QBAdUnitDelegateWrapper::adDidLoadWithAdInfo(AdInfo) { logUnsupported(__func__); }
void QBAdUnitDelegateWrapper::adHasChangedAvailability(bool, AdInfo) { logUnsupported(__func__); }
void QBAdUnitDelegateWrapper::adDidShowWithAdInfo(AdInfo) { logUnsupported(__func__); }
void QBAdUnitDelegateWrapper::adDidFailToShowWithError(const QBError&, AdInfo) { logUnsupported(__func__); }
void QBAdUnitDelegateWrapper::adDidOpenWithAdInfo(AdInfo) { logUnsupported(__func__); }
void QBAdUnitDelegateWrapper::adDidCloseWithAdInfo(AdInfo) { logUnsupported(__func__); }
void QBAdUnitDelegateWrapper::adDidClick(const QBPlacementInfo&, AdInfo) { logUnsupported(__func__); }
void QBAdUnitDelegateWrapper::adDidReceiveReward(const QBPlacementInfo&, AdInfo) { logUnsupported(__func__); }
void QBAdUnitDelegateWrapper::adDidStart() { logUnsupported(__func__); }
void QBAdUnitDelegateWrapper::adDidEnd() { logUnsupported(__func__); }

// ---- rewarded video ----

void QBRewardedVideoAdDelegateWrapper::adDidLoadWithAdInfo(AdInfo adInfo) {
  QBRewardedVideoDelegateWrapper::sharedInstance()->rewardedVideoDidLoadWithAdInfo(std::move(adInfo));
}
void QBRewardedVideoAdDelegateWrapper::adHasChangedAvailability(bool available, AdInfo adInfo) {
  QBRewardedVideoDelegateWrapper::sharedInstance()->rewardedVideoHasChangedAvailability(available, std::move(adInfo));
}
void QBRewardedVideoAdDelegateWrapper::adDidFailToShowWithError(const QBError& error, AdInfo adInfo) {
  QBRewardedVideoDelegateWrapper::sharedInstance()->rewardedVideoDidFailToShowWithError(error, std::move(adInfo));
}
void QBRewardedVideoAdDelegateWrapper::adDidOpenWithAdInfo(AdInfo adInfo) {
  QBRewardedVideoDelegateWrapper::sharedInstance()->rewardedVideoDidOpenWithAdInfo(std::move(adInfo));
}
void QBRewardedVideoAdDelegateWrapper::adDidCloseWithAdInfo(AdInfo adInfo) {
  QBRewardedVideoDelegateWrapper::sharedInstance()->rewardedVideoDidCloseWithAdInfo(std::move(adInfo));
}
void QBRewardedVideoAdDelegateWrapper::adDidClick(const QBPlacementInfo& placementInfo, AdInfo adInfo) {
  QBRewardedVideoDelegateWrapper::sharedInstance()->rewardedVideoDidClickForPlacement(placementInfo,
                                                                                      std::move(adInfo));
}
void QBRewardedVideoAdDelegateWrapper::adDidReceiveReward(const QBPlacementInfo& placementInfo, AdInfo adInfo) {
  QBRewardedVideoDelegateWrapper::sharedInstance()->didReceiveRewardForPlacement(placementInfo, std::move(adInfo));
}
void QBRewardedVideoAdDelegateWrapper::adDidStart() {
  QBRewardedVideoDelegateWrapper::sharedInstance()->rewardedVideoDidStart();
}
void QBRewardedVideoAdDelegateWrapper::adDidEnd() { QBRewardedVideoDelegateWrapper::sharedInstance()->rewardedVideoDidEnd(); }

// ---- interstitial ----

void QBInterstitialAdDelegateWrapper::adDidLoadWithAdInfo(AdInfo adInfo) {
  QBInterstitialDelegateWrapper::sharedInstance()->interstitialDidLoadWithAdInfo(std::move(adInfo));
}
void QBInterstitialAdDelegateWrapper::adDidShowWithAdInfo(AdInfo adInfo) {
  QBInterstitialDelegateWrapper::sharedInstance()->interstitialDidShowWithAdInfo(std::move(adInfo));
}
void QBInterstitialAdDelegateWrapper::adDidFailToShowWithError(const QBError& error, AdInfo adInfo) {
  QBInterstitialDelegateWrapper::sharedInstance()->interstitialDidFailToShowWithError(error, std::move(adInfo));
}
void QBInterstitialAdDelegateWrapper::adDidOpenWithAdInfo(AdInfo adInfo) {
  QBInterstitialDelegateWrapper::sharedInstance()->interstitialDidOpenWithAdInfo(std::move(adInfo));
}
void QBInterstitialAdDelegateWrapper::adDidCloseWithAdInfo(AdInfo adInfo) {
  QBInterstitialDelegateWrapper::sharedInstance()->interstitialDidCloseWithAdInfo(std::move(adInfo));
}
void QBInterstitialAdDelegateWrapper::adDidClick(const QBPlacementInfo&, AdInfo adInfo) {
  QBInterstitialDelegateWrapper::sharedInstance()->interstitialDidClickWithAdInfo(std::move(adInfo));
}
