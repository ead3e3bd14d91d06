#include "testsuite/QBTestSuiteAdBridges.h"

#include <utility>

#include "testsuite/QBTestSuiteAdsManager.h"
#include "testsuite/QBTestSuiteMediationSdkProxy.h"

namespace {

platform::Json info(const QBAdInfo& adInfo) { return platform::Json::array({adInfo.description()}); }
platform::Json error(const QBError& error) { return platform::Json::array({error.description()}); }
platform::Json errorAndInfo(const QBError& error, const QBAdInfo& adInfo) {
  return platform::Json::array({error.description(), adInfo.description()});
}
platform::Json placementAndInfo(const QBPlacementInfo& placement, const QBAdInfo& adInfo) {
  return platform::Json::array({QBTestSuiteMediationSdkProxy::placementName(placement), adInfo.description()});
}

template <class Bridge>
std::shared_ptr<Bridge> self(Bridge* bridge) {
  return std::static_pointer_cast<Bridge>(bridge->shared_from_this());
}

}  // namespace

void QBTestSuiteAdBaseBridge::onAdCallbackReceived(const std::string& callbackName, const QBAdUnit& adUnit,
                                                   const platform::Json& args) {
  if (auto evaluator = jsEvaluatorDelegate_.lock()) evaluator->onAdCallbackReceived(callbackName, adUnit, args);
}

// ---------------------------------------------------------------- interstitial

std::shared_ptr<QBTestSuiteInterstitialBridge> QBTestSuiteInterstitialBridge::initWithJsEvaluatorDelegate(
    std::weak_ptr<QBTestSuiteJavaScriptEvaluatorDelegate> jsEvaluatorDelegate) {
  return std::shared_ptr<QBTestSuiteInterstitialBridge>(
      new QBTestSuiteInterstitialBridge(std::move(jsEvaluatorDelegate)));
}

void QBTestSuiteInterstitialBridge::setupTestSuiteDelegate() {
  QBTestSuiteMediationSdkProxy::setTestSuiteInterstitialTidewheelDelegate(self(this));
}

void QBTestSuiteInterstitialBridge::removeTestSuiteDelegate() {
  QBTestSuiteMediationSdkProxy::setTestSuiteInterstitialTidewheelDelegate(nullptr);
}

void QBTestSuiteInterstitialBridge::send(const char* callbackName, platform::Json args) {
  onAdCallbackReceived(callbackName, QBTestSuiteMediationSdkProxy::QB_AD_UNIT_INTERSTITIAL(), args);
}

void QBTestSuiteInterstitialBridge::didLoadWithAdInfo(const QBAdInfo& adInfo) { send("onAdReady", info(adInfo)); }
void QBTestSuiteInterstitialBridge::didFailToLoadWithError(const QBError& e) { send("onAdLoadFailed", error(e)); }
void QBTestSuiteInterstitialBridge::didOpenWithAdInfo(const QBAdInfo& adInfo) { send("onAdOpened", info(adInfo)); }
void QBTestSuiteInterstitialBridge::didShowWithAdInfo(const QBAdInfo& adInfo) {
  send("onAdShowSucceeded", info(adInfo));
}
void QBTestSuiteInterstitialBridge::didFailToShowWithError(const QBError& e, const QBAdInfo& adInfo) {
  send("onAdShowFailed", errorAndInfo(e, adInfo));
}
void QBTestSuiteInterstitialBridge::didClickWithAdInfo(const QBAdInfo& adInfo) { send("onAdClicked", info(adInfo)); }
void QBTestSuiteInterstitialBridge::didCloseWithAdInfo(const QBAdInfo& adInfo) { send("onAdClosed", info(adInfo)); }

// ---------------------------------------------------------------- rewarded video

std::shared_ptr<QBTestSuiteRewardedVideoBridge> QBTestSuiteRewardedVideoBridge::initWithJsEvaluatorDelegate(
    std::weak_ptr<QBTestSuiteJavaScriptEvaluatorDelegate> jsEvaluatorDelegate) {
  return std::shared_ptr<QBTestSuiteRewardedVideoBridge>(
      new QBTestSuiteRewardedVideoBridge(std::move(jsEvaluatorDelegate)));
}

void QBTestSuiteRewardedVideoBridge::setupTestSuiteDelegate() {
  QBTestSuiteMediationSdkProxy::setTestSuiteRewardedVideoTidewheelDelegate(self(this));
}

void QBTestSuiteRewardedVideoBridge::removeTestSuiteDelegate() {
  QBTestSuiteMediationSdkProxy::setTestSuiteRewardedVideoTidewheelDelegate(nullptr);
}

void QBTestSuiteRewardedVideoBridge::send(const char* callbackName, platform::Json args) {
  onAdCallbackReceived(callbackName, QBTestSuiteMediationSdkProxy::QB_AD_UNIT_REWARDED_VIDEO(), args);
}

void QBTestSuiteRewardedVideoBridge::didLoadWithAdInfo(const QBAdInfo& adInfo) { send("onAdReady", info(adInfo)); }
void QBTestSuiteRewardedVideoBridge::didFailToLoadWithError(const QBError& e) { send("onAdLoadFailed", error(e)); }
void QBTestSuiteRewardedVideoBridge::hasAvailableAdWithAdInfo(const QBAdInfo& adInfo) {
  send("onAdAvailable", info(adInfo));
}
void QBTestSuiteRewardedVideoBridge::hasNoAvailableAd() { send("onAdUnavailable", platform::Json::array()); }
void QBTestSuiteRewardedVideoBridge::didOpenWithAdInfo(const QBAdInfo& adInfo) { send("onAdOpened", info(adInfo)); }
void QBTestSuiteRewardedVideoBridge::didFailToShowWithError(const QBError& e, const QBAdInfo& adInfo) {
  send("onAdShowFailed", errorAndInfo(e, adInfo));
}
void QBTestSuiteRewardedVideoBridge::didClick(const QBPlacementInfo& placementInfo, const QBAdInfo& adInfo) {
  send("onAdClicked", placementAndInfo(placementInfo, adInfo));
}
void QBTestSuiteRewardedVideoBridge::didCloseWithAdInfo(const QBAdInfo& adInfo) { send("onAdClosed", info(adInfo)); }
void QBTestSuiteRewardedVideoBridge::didReceiveRewardForPlacement(const QBPlacementInfo& placementInfo,
                                                                  const QBAdInfo& adInfo) {
  send("onAdRewarded", placementAndInfo(placementInfo, adInfo));
}

// ---------------------------------------------------------------- banner

std::shared_ptr<QBTestSuiteBannerBridge> QBTestSuiteBannerBridge::initWithAdsManager(
    std::weak_ptr<QBTestSuiteAdsManager> adManager,
    std::weak_ptr<QBTestSuiteJavaScriptEvaluatorDelegate> jsEvaluatorDelegate) {
  return std::shared_ptr<QBTestSuiteBannerBridge>(
      new QBTestSuiteBannerBridge(std::move(adManager), std::move(jsEvaluatorDelegate)));
}

void QBTestSuiteBannerBridge::setupTestSuiteDelegate() {
  QBTestSuiteMediationSdkProxy::setTestSuiteBannerTidewheelDelegate(self(this));
}

void QBTestSuiteBannerBridge::removeTestSuiteDelegate() {
  QBTestSuiteMediationSdkProxy::setTestSuiteBannerTidewheelDelegate(nullptr);
}

void QBTestSuiteBannerBridge::send(const char* callbackName, platform::Json args) {
  onAdCallbackReceived(callbackName, QBTestSuiteMediationSdkProxy::QB_AD_UNIT_BANNER(), args);
}

void QBTestSuiteBannerBridge::didLoad(std::shared_ptr<QBBannerView> bannerView, const QBAdInfo& adInfo) {
  if (auto manager = adManager()) manager->setBannerView(std::move(bannerView));
  send("onAdLoaded", info(adInfo));
}
void QBTestSuiteBannerBridge::didFailToLoadWithError(const QBError& e) { send("onAdLoadFailed", error(e)); }
void QBTestSuiteBannerBridge::didClickWithAdInfo(const QBAdInfo& adInfo) { send("onAdClicked", info(adInfo)); }
void QBTestSuiteBannerBridge::didLeaveApplicationWithAdInfo(const QBAdInfo& adInfo) {
  send("onAdLeftApplication", info(adInfo));
}
void QBTestSuiteBannerBridge::didPresentScreenWithAdInfo(const QBAdInfo& adInfo) {
  send("onAdScreenPresented", info(adInfo));
}
void QBTestSuiteBannerBridge::didDismissScreenWithAdInfo(const QBAdInfo& adInfo) {
  send("onAdScreenDismissed", info(adInfo));
}
