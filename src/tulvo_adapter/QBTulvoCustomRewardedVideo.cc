#include "tulvo_adapter/QBTulvoCustomRewardedVideo.h"

void QBTulvoCustomRewardedVideo::onRewardedAdLoadedWithAd(const std::shared_ptr<TulvoSDK::RewardedAd>& ad) {
  adLoaded(ad);
}

void QBTulvoCustomRewardedVideo::onRewardedAdFailedToLoadWithError(const TulvoSDK::TulvoError& error) {
  adFailedToLoad(error);
}

void QBTulvoCustomRewardedVideo::onRewardedAdShownWithAd(const std::shared_ptr<TulvoSDK::RewardedAd>&) { adShown(); }

void QBTulvoCustomRewardedVideo::onRewardedAdFailedToShowWithError(const TulvoSDK::TulvoError& error) {
  adFailedToShow(error);
}

void QBTulvoCustomRewardedVideo::onRewardReceivedWithAd(const std::shared_ptr<TulvoSDK::RewardedAd>&) {
  log("onRewardReceived");
  if (auto d = state_.delegate().rewarded.lock()) d->adRewarded();
}

void QBTulvoCustomRewardedVideo::onRewardedImpression() { impression(); }

void QBTulvoCustomRewardedVideo::onRewardedAdClosedWithAd(const std::shared_ptr<TulvoSDK::RewardedAd>&) { adClosed(); }
