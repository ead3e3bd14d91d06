#include "tulvo_adapter/QBTulvoCustomRewardedVideo.h"

#include <utility>

namespace {

void log(const std::string& message) { TulvoSDK::Logger::d(QBTulvoCustomRewardedVideo::tag(), message); }

}  // namespace

const std::string& QBTulvoCustomRewardedVideo::tag() {
  static const std::string* tag = new std::string("QBTulvoCustomRewardedVideo");
  return *tag;
}

void QBTulvoCustomRewardedVideo::initWithAdUnit(const QBAdUnit& adUnit,
                                                const std::shared_ptr<QBAdapterConfig>& adapterConfig) {
  state_.reset();
  QBBaseRewardedVideo::initWithAdUnit(adUnit, adapterConfig);
}

void QBTulvoCustomRewardedVideo::loadAdWithAdData(const std::shared_ptr<QBAdData>& adData,
                                                  std::weak_ptr<QBAdapterAdDelegate> delegate) {
  (void)adData;
  log("loadAd");
  state_.setDelegate(TulvoMediationDelegate::of(delegate));
  std::weak_ptr<TulvoSDK::TulvoRewardedDelegate> self =
      std::static_pointer_cast<QBTulvoCustomRewardedVideo>(weak_from_this().lock());
  TulvoSDK::RewardedAd::load(std::move(self));
}

bool QBTulvoCustomRewardedVideo::isAdAvailableWithAdData(const std::shared_ptr<QBAdData>& adData) {
  (void)adData;
  auto ad = state_.ad();
  return ad && ad->isLoaded();
}

void QBTulvoCustomRewardedVideo::showAdWithViewController(const QBViewController& viewController,
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

void QBTulvoCustomRewardedVideo::onRewardedAdLoadedWithAd(const std::shared_ptr<TulvoSDK::RewardedAd>& ad) {
  log("onRewardedAdLoaded");
  auto delegate = state_.setAd(ad);
  if (auto d = delegate.ad.lock()) d->adDidLoad();
}

void QBTulvoCustomRewardedVideo::onRewardedAdFailedToLoadWithError(const TulvoSDK::TulvoError& error) {
  const std::string message = error.message.value_or("");
  log("onRewardedAdFailedToLoad::" + message);
  if (auto d = state_.delegate().ad.lock())
    d->adDidFailToLoadWithErrorType(QBAdapterErrorTypeOther, error.errorCode, message);
}

void QBTulvoCustomRewardedVideo::onRewardedAdShownWithAd(const std::shared_ptr<TulvoSDK::RewardedAd>& ad) {
  (void)ad;
  log("onRewardedAdShown");
  if (auto d = state_.delegate().interaction.lock()) d->adDidOpen();
}

void QBTulvoCustomRewardedVideo::onRewardedAdFailedToShowWithError(const TulvoSDK::TulvoError& error) {
  const std::string message = error.message.value_or("");
  log("onRewardedAdFailedToShow::" + message);
  if (auto d = state_.delegate().interaction.lock()) d->adDidFailToShowWithErrorCode(error.errorCode, message);
}

void QBTulvoCustomRewardedVideo::onRewardReceivedWithAd(const std::shared_ptr<TulvoSDK::RewardedAd>& ad) {
  (void)ad;
  log("onRewardReceived");
  if (auto d = state_.delegate().rewarded.lock()) d->adRewarded();
}

void QBTulvoCustomRewardedVideo::onRewardedImpression() { log("onRewardedImpression"); }

void QBTulvoCustomRewardedVideo::onRewardedAdClosedWithAd(const std::shared_ptr<TulvoSDK::RewardedAd>& ad) {
  (void)ad;
  log("onRewardedAdClosed");
  if (auto d = state_.delegate().interaction.lock()) d->adDidClose();
}
