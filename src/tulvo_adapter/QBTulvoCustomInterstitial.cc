#include "tulvo_adapter/QBTulvoCustomInterstitial.h"

void QBTulvoCustomInterstitial::onInterstitialAdLoadedWithAd(const std::shared_ptr<TulvoSDK::InterstitialAd>& ad) {
  adLoaded(ad);
}

void QBTulvoCustomInterstitial::onInterstitialAdFailedToLoadWithError(const TulvoSDK::TulvoError& error) {
  adFailedToLoad(error);
}

void QBTulvoCustomInterstitial::onInterstitialAdShownWithAd(const std::shared_ptr<TulvoSDK::InterstitialAd>&) {
  adShown();
}

void QBTulvoCustomInterstitial::onInterstitialAdFailedToShowWithError(const TulvoSDK::TulvoError& error) {
  adFailedToShow(error);
}

void QBTulvoCustomInterstitial::onInterstitialImpression() { impression(); }

void QBTulvoCustomInterstitial::onInterstitialAdClosedWithAd(const std::shared_ptr<TulvoSDK::InterstitialAd>&) {
  adClosed();
}
