#include "testsuite/QBTestSuiteAdsManager.h"

#include <cmath>
#include <utility>

#include "testsuite/QBTestSuiteLoadAdConfig.h"
#include "testsuite/QBTestSuiteMediationSdkProxy.h"

std::shared_ptr<QBTestSuiteAdsManager> QBTestSuiteAdsManager::initWithWebController(
    std::weak_ptr<platform::ViewController> testSuiteViewController) {
  return std::shared_ptr<QBTestSuiteAdsManager>(new QBTestSuiteAdsManager(std::move(testSuiteViewController)));
}

void QBTestSuiteAdsManager::loadInterstitialAd(std::shared_ptr<QBTestSuiteLoadAdConfig> config) {
  setRetainViewController(config && config->retainViewController());
  QBTestSuiteMediationSdkProxy::setTestSuiteAdLoadConfig(std::move(config),
                                                         QBTestSuiteMediationSdkProxy::QB_AD_UNIT_INTERSTITIAL());
  QBTestSuiteMediationSdkProxy::loadInterstitial();
}

bool QBTestSuiteAdsManager::isInterstitialReady() { return QBTestSuiteMediationSdkProxy::hasInterstitial(); }

void QBTestSuiteAdsManager::showInterstitialAd() {
  QBTestSuiteMediationSdkProxy::showInterstitialWithViewController(testSuiteViewController());
}

void QBTestSuiteAdsManager::loadRewardedVideoAd(std::shared_ptr<QBTestSuiteLoadAdConfig> config) {
  setRetainViewController(config && config->retainViewController());
  QBTestSuiteMediationSdkProxy::setTestSuiteAdLoadConfig(std::move(config),
                                                         QBTestSuiteMediationSdkProxy::QB_AD_UNIT_REWARDED_VIDEO());
  QBTestSuiteMediationSdkProxy::loadRewardedVideo();
}

bool QBTestSuiteAdsManager::isRewardedVideoReady() { return QBTestSuiteMediationSdkProxy::hasRewardedVideo(); }

void QBTestSuiteAdsManager::showRewardedVideoAd() {
  QBTestSuiteMediationSdkProxy::showRewardedVideoWithViewController(testSuiteViewController());
}

void QBTestSuiteAdsManager::loadBannerAd(std::shared_ptr<QBTestSuiteLoadAdConfig> config,
                                         const std::string& description, int width, int height) {
  if (bannerView_) destroyBannerAd();
  QBTestSuiteMediationSdkProxy::setTestSuiteAdLoadConfig(std::move(config),
                                                         QBTestSuiteMediationSdkProxy::QB_AD_UNIT_BANNER());
  QBTestSuiteMediationSdkProxy::loadBannerWithViewController(
      testSuiteViewController(),
      QBTestSuiteMediationSdkProxy::createBannerSizeWithDescription(description, width, height));
}

void QBTestSuiteAdsManager::addBannerAdToScreen(double marginPercentageFromTop) {
  auto controller = testSuiteViewController();
  auto banner = bannerView_ ? bannerView_->view() : nullptr;
  if (!controller || !banner || banner->superview()) return;
  auto view = controller->view();
  const platform::Size size = view->bounds().size;
  const double halfHeight = banner->bounds().size.height * 0.5;
  // A page can send a text that reads as an infinite number (or NaN), or one
  // so large that the place overflows; such a margin would put the banner
  // nowhere.
  double y = size.height * marginPercentageFromTop + halfHeight;
  if (!std::isfinite(y)) y = halfHeight;
  banner->setCenter(platform::Point{size.width * 0.5, y});
  view->addSubview(banner);
}

void QBTestSuiteAdsManager::destroyBannerAd() {
  auto banner = std::move(bannerView_);
  bannerView_.reset();
  if (!banner) return;
  if (auto view = banner->view()) view->removeFromSuperview();
  QBTestSuiteMediationSdkProxy::destroyBanner(std::move(banner));
}
