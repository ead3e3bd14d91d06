#include "testsuite/QBTestSuiteMediationSdkProxy.h"

#include <mutex>
#include <utility>

#include "adapters/QBAdapterRepository.h"
#include "core/QBAdapterConfig.h"
#include "core/QuillborneObjectPublisherDataHolder.h"
#include "events/QBBannerDelegateWrapper.h"
#include "events/QBEventData.h"
#include "events/QBEventsEngines.h"
#include "events/QBInterstitialDelegateWrapper.h"
#include "events/QBRewardedVideoDelegateWrapper.h"
#include "foundation/PMESKAdNetworkService.h"
#include "foundation/QBGlobalDataManager.h"
#include "foundation/QBLoggerManager.h"
#include "foundation/QBUtils.h"
#include "quillborne/QBPlacementInfo.h"

namespace {

constexpr int kTagInternal = 6;

struct Registration {
  std::mutex mutex;
  std::shared_ptr<QBTestSuiteMediationSdk> sdk;
};
Registration& registration() {
  static Registration& r = *new Registration();
  return r;
}

// Runs `call` on the registered SDK side, when there is one.
template <class Call>
void withSdk(Call call) {
  if (auto sdk = QBTestSuiteMediationSdkProxy::mediationSdk()) call(*sdk);
}

}  // namespace

void QBTestSuiteMediationSdkProxy::setMediationSdk(std::shared_ptr<QBTestSuiteMediationSdk> sdk) {
  auto& r = registration();
  std::lock_guard lock(r.mutex);
  r.sdk.swap(sdk);
}

std::shared_ptr<QBTestSuiteMediationSdk> QBTestSuiteMediationSdkProxy::mediationSdk() {
  auto& r = registration();
  std::lock_guard lock(r.mutex);
  return r.sdk;
}

std::optional<std::string> QBTestSuiteMediationSdkProxy::appName() { return QBUtils::getAppName(); }

std::optional<std::string> QBTestSuiteMediationSdkProxy::appVersion() { return QBUtils::getAppVersion(); }

platform::Json QBTestSuiteMediationSdkProxy::skAdNetworksId() {
  platform::Json ids = platform::Json::array();
  for (const auto& id : PMESKAdNetworkService::collectNetworkIdsFromPlist()) ids.push_back(id);
  return ids;
}

platform::Json QBTestSuiteMediationSdkProxy::adaptersVersions() {
  return QBAdapterRepository::sharedRepository().adapterVersions();
}

platform::Json QBTestSuiteMediationSdkProxy::globalDataManagerAllData() {
  return QBGlobalDataManager::sharedInstance().allData();
}

platform::Json QBTestSuiteMediationSdkProxy::metaData() {
  platform::Json merged = platform::Json::object();
  for (const auto& [key, values] : QuillborneObjectPublisherDataHolder::sharedInstance().getMediationMetaData()) {
    merged[key] = values;
  }
  const platform::Json registry = QBAdapterRepository::sharedRepository().metaData();
  if (registry.is_object()) {
    for (const auto& [key, value] : registry.items()) merged[key] = value;
  }
  return merged;
}

void QBTestSuiteMediationSdkProxy::logInternalError(const std::string& message) {
  QBLoggerManager::sharedInstance().dynamicLog(__func__, message, 3, kTagInternal);
}

void QBTestSuiteMediationSdkProxy::logEvent(int eventId, const platform::Json& eventDict) {
  QBRewardedVideoEventsEngine::sharedInstance()->logEvent(QBEventData(eventId, eventDict));
}

void QBTestSuiteMediationSdkProxy::onTestSuiteClosed() {
  withSdk([](QBTestSuiteMediationSdk& sdk) { sdk.onTestSuiteClosed(); });
}

void QBTestSuiteMediationSdkProxy::destroyTestSuiteBanner() {
  withSdk([](QBTestSuiteMediationSdk& sdk) { sdk.destroyTestSuiteBanner(); });
}

void QBTestSuiteMediationSdkProxy::setTestSuiteAdLoadConfig(std::shared_ptr<QBTestSuiteLoadAdConfig> config,
                                                            const QBAdUnit& adUnit) {
  withSdk([&](QBTestSuiteMediationSdk& sdk) { sdk.setTestSuiteAdLoadConfig(std::move(config), adUnit); });
}

void QBTestSuiteMediationSdkProxy::loadInterstitial() {
  withSdk([](QBTestSuiteMediationSdk& sdk) { sdk.loadInterstitial(); });
}

bool QBTestSuiteMediationSdkProxy::hasInterstitial() {
  bool ready = false;
  withSdk([&](QBTestSuiteMediationSdk& sdk) { ready = sdk.hasInterstitial(); });
  return ready;
}

void QBTestSuiteMediationSdkProxy::showInterstitialWithViewController(platform::ViewControllerRef viewController) {
  withSdk([&](QBTestSuiteMediationSdk& sdk) { sdk.showInterstitialWithViewController(std::move(viewController)); });
}

void QBTestSuiteMediationSdkProxy::loadRewardedVideo() {
  withSdk([](QBTestSuiteMediationSdk& sdk) { sdk.loadRewardedVideo(); });
}

bool QBTestSuiteMediationSdkProxy::hasRewardedVideo() {
  bool ready = false;
  withSdk([&](QBTestSuiteMediationSdk& sdk) { ready = sdk.hasRewardedVideo(); });
  return ready;
}

void QBTestSuiteMediationSdkProxy::showRewardedVideoWithViewController(platform::ViewControllerRef viewController) {
  withSdk([&](QBTestSuiteMediationSdk& sdk) { sdk.showRewardedVideoWithViewController(std::move(viewController)); });
}

void QBTestSuiteMediationSdkProxy::loadBannerWithViewController(platform::ViewControllerRef viewController,
                                                                const QBBannerSize& size) {
  withSdk([&](QBTestSuiteMediationSdk& sdk) { sdk.loadBannerWithViewController(std::move(viewController), size); });
}

void QBTestSuiteMediationSdkProxy::destroyBanner(std::shared_ptr<QBBannerView> banner) {
  withSdk([&](QBTestSuiteMediationSdk& sdk) { sdk.destroyBanner(std::move(banner)); });
}

void QBTestSuiteMediationSdkProxy::setTestSuiteInterstitialTidewheelDelegate(
    std::shared_ptr<TidewheelInterstitialDelegate> delegate) {
  QBInterstitialDelegateWrapper::sharedInstance()->setTestSuiteTidewheelDelegate(std::move(delegate));
}

void QBTestSuiteMediationSdkProxy::setTestSuiteRewardedVideoTidewheelDelegate(
    std::shared_ptr<TidewheelRewardedVideoBaseDelegate> delegate) {
  QBRewardedVideoDelegateWrapper::sharedInstance()->setTestSuiteTidewheelDelegate(std::move(delegate));
}

void QBTestSuiteMediationSdkProxy::setTestSuiteBannerTidewheelDelegate(std::shared_ptr<TidewheelBannerDelegate> delegate) {
  QBBannerDelegateWrapper::sharedInstance()->setTestSuiteTidewheelDelegate(std::move(delegate));
}

QBBannerSize QBTestSuiteMediationSdkProxy::createBannerSizeWithDescription(const std::string& description, int width,
                                                                           int height) {
  return QBBannerSize::initWithDescription(description, width, height);
}

QBAdUnit QBTestSuiteMediationSdkProxy::QB_AD_UNIT_REWARDED_VIDEO() { return QBAdUnit::QB_AD_UNIT_REWARDED_VIDEO(); }

QBAdUnit QBTestSuiteMediationSdkProxy::QB_AD_UNIT_INTERSTITIAL() { return QBAdUnit::QB_AD_UNIT_INTERSTITIAL(); }

QBAdUnit QBTestSuiteMediationSdkProxy::QB_AD_UNIT_BANNER() { return QBAdUnit::QB_AD_UNIT_BANNER(); }

std::string QBTestSuiteMediationSdkProxy::placementName(const QBPlacementInfo& placementInfo) {
  return placementInfo.placementName();
}

std::string QBTestSuiteMediationSdkProxy::providerDefaultInstance(const QBAdapterConfig& config) {
  return config.providerDefaultInstance();
}

bool QBTestSuiteMediationSdkProxy::isBidder(const QBAdapterConfig& config) { return config.isBidder(); }
