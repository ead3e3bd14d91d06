#include "tulvo_adapter/QBTulvoCustomInterstitial.h"

#include <utility>

namespace {

void log(const std::string& message) { TulvoSDK::Logger::d(QBTulvoCustomInterstitial::tag(), message); }

}  // namespace

const std::string& QBTulvoCustomInterstitial::tag() {
  static const std::string* tag = new std::string("QBTulvoCustomInterstitial");
  return *tag;
}

void QBTulvoCustomInterstitial::initWithAdUnit(const QBAdUnit& adUnit,
                                               const std::shared_ptr<QBAdapterConfig>& adapterConfig) {
  state_.reset();
  QBBaseInterstitial::initWithAdUnit(adUnit, adapterConfig);
}

void QBTulvoCustomInterstitial::loadAdWithAdData(const std::shared_ptr<QBAdData>& adData,
                                                 std::weak_ptr<QBAdapterAdDelegate> delegate) {
  (void)adData;
  log("loadAd");
  state_.setDelegate(TulvoMediationDelegate::of(delegate));
  std::weak_ptr<TulvoSDK::TulvoInterstitialDelegate> self =
      std::static_pointer_cast<QBTulvoCustomInterstitial>(weak_from_this().lock());
  TulvoSDK::InterstitialAd::load(std::move(self));
}

bool QBTulvoCustomInterstitial::isAdAvailableWithAdData(const std::shared_ptr<QBAdData>& adData) {
  (void)adData;
  auto ad = state_.ad();
  return ad && ad->isLoaded();
}

void QBTulvoCustomInterstitial::showAdWithViewController(const QBViewController& viewController,
                                                         const std::shared_ptr<QBAdData>& adData,
                                                         std::weak_ptr<QBAdapterAdInteractionDelegate> delegate) {
  (void)adData;
  log("showAd");
  auto ad = state_.ad();
  if (ad && ad->isLoaded()) {
    state_.setDelegate(TulvoMediationDelegate::of(delegate));
    ad->show(viewController);
    return;
  }
  log("showAd Ad is not loaded");
  if (auto d = delegate.lock()) d->adDidFailToShowWithErrorCode(kAdNotLoadedErrorCode, kAdNotLoadedMessage);
}

void QBTulvoCustomInterstitial::onInterstitialAdLoadedWithAd(const std::shared_ptr<TulvoSDK::InterstitialAd>& ad) {
  log("onInterstitialAdLoaded");
  auto delegate = state_.setAd(ad);
  if (auto d = delegate.ad.lock()) d->adDidLoad();
}

void QBTulvoCustomInterstitial::onInterstitialAdFailedToLoadWithError(const TulvoSDK::TulvoError& error) {
  const std::string message = error.message.value_or("");
  log("onInterstitialAdFailedToLoad::" + message);
  if (auto d = state_.delegate().ad.lock())
    d->adDidFailToLoadWithErrorType(QBAdapterErrorTypeOther, error.errorCode, message);
}

void QBTulvoCustomInterstitial::onInterstitialAdShownWithAd(const std::shared_ptr<TulvoSDK::InterstitialAd>& ad) {
  (void)ad;
  log("onInterstitialAdShown");
  if (auto d = state_.delegate().interaction.lock()) d->adDidOpen();
}

void QBTulvoCustomInterstitial::onInterstitialAdFailedToShowWithError(const TulvoSDK::TulvoError& error) {
  const std::string message = error.message.value_or("");
  log("onInterstitialAdFailedToShow::" + message);
  if (auto d = state_.delegate().interaction.lock()) d->adDidFailToShowWithErrorCode(error.errorCode, message);
}

void QBTulvoCustomInterstitial::onInterstitialImpression() { log("onInterstitialImpression"); }

void QBTulvoCustomInterstitial::onInterstitialAdClosedWithAd(const std::shared_ptr<TulvoSDK::InterstitialAd>& ad) {
  (void)ad;
  log("onInterstitialAdClosed");
  if (auto d = state_.delegate().interaction.lock()) d->adDidClose();
}
