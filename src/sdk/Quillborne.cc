// The facade: each class method forwards to the SDK object or to the
// process-wide object that keeps the setting.
#include "quillborne/Quillborne.h"

#include "adapters/QBAdapterRepository.h"
#include "core/QBConfigurations.h"
#include "core/QuillborneObjectPublisherDataHolder.h"
#include "events/QBBannerDelegateWrapper.h"
#include "events/QBInterstitialDelegateWrapper.h"
#include "events/QBRewardedVideoDelegateWrapper.h"
#include "foundation/PMEDeviceStatus.h"
#include "foundation/QBLoggerManager.h"
#include "sdk/QBMediationGlobalDataWriter.h"
#include "sdk/QuillborneSdk.h"

namespace {

constexpr int kTagApi = 0;
constexpr size_t kMaxDynamicUserIdLength = 128;

std::shared_ptr<QuillborneSdk> sdk() { return QuillborneSdk::sharedInstance(); }

}  // namespace

// ------------------------------------------------------------------ settings

std::string Quillborne::sdkVersion() { return QuillborneSdk::sdkVersion(); }

void Quillborne::setUserId(const std::string& userId) {
  QB_LOG("userId: " + userId, 1, kTagApi);
  std::optional<std::string> id = userId.empty() ? std::nullopt : std::optional<std::string>(userId);
  QBConfigurations::getConfigurations().setUserId(id);
  QBMediationGlobalDataWriter().setUserId(id);
}

bool Quillborne::setDynamicUserId(const std::string& dynamicUserId) {
  if (dynamicUserId.empty() || dynamicUserId.size() > kMaxDynamicUserIdLength) {
    QB_LOG("dynamic user id must hold 1 to 128 characters; ignored", 3, kTagApi);
    return false;
  }
  QB_LOG("dynamicUserId: " + dynamicUserId, 1, kTagApi);
  QBConfigurations::getConfigurations().setDynamicUserId(dynamicUserId);
  QBMediationGlobalDataWriter().setDynamicUserId(dynamicUserId);
  return true;
}

void Quillborne::setSegment(const QBSegment& segment) { sdk()->setSegment(segment); }

void Quillborne::setMediationType(const std::string& mediationType) {
  QB_LOG("mediationType: " + mediationType, 1, kTagApi);
  QBConfigurations::getConfigurations().setMediationType(mediationType);
  QBMediationGlobalDataWriter().setMediationType(mediationType);
}

void Quillborne::setAdaptersDebug(bool enabled) {
  QBConfigurations::getConfigurations().setAdaptersDebug(enabled);
  QBAdapterRepository::sharedRepository().setAdaptersDebug(enabled);
}

void Quillborne::shouldTrackReachability(bool track) { QBConfigurations::getConfigurations().setTrackReachability(track); }

std::optional<std::string> Quillborne::advertiserId() { return PMEDeviceStatus().advertiserId(); }

void Quillborne::setLogDelegate(std::weak_ptr<QBLogDelegate> delegate) {
  QBLoggerManager::sharedInstance().setLogDelegate(std::move(delegate));
}

void Quillborne::setInitEndpointForTesting(const std::string& baseUrl) { QuillborneSdk::setInitEndpoint(baseUrl); }

// ------------------------------------------------------------ initialisation

void Quillborne::initWithAppKey(const std::string& appKey) { sdk()->initWithAppKey(appKey, {}, {}); }

void Quillborne::initWithAppKey(const std::string& appKey, std::weak_ptr<QBInitializationDelegate> delegate) {
  sdk()->initWithAppKey(appKey, {}, std::move(delegate));
}

void Quillborne::initWithAppKey(const std::string& appKey, const std::vector<std::string>& adUnits) {
  sdk()->initWithAppKey(appKey, adUnits, {});
}

void Quillborne::initWithAppKey(const std::string& appKey, const std::vector<std::string>& adUnits,
                                std::weak_ptr<QBInitializationDelegate> delegate) {
  sdk()->initWithAppKey(appKey, adUnits, std::move(delegate));
}

void Quillborne::initQBDemandOnly(const std::string& appKey, const std::vector<std::string>& adUnits) {
  sdk()->initWithAppKey(appKey, adUnits, {}, true);
}

// ------------------------------------------------------- consent and metadata

void Quillborne::setConsent(bool consent) {
  QB_LOG(std::string("consent: ") + (consent ? "true" : "false"), 1, kTagApi);
  QBConfigurations::getConfigurations().setConsent(consent);
  QBMediationGlobalDataWriter().setConsent(consent);
  QBAdapterRepository::sharedRepository().setConsent(consent);
}

void Quillborne::setMetaDataWithKey(const std::string& key, const std::string& value) {
  sdk()->setMetaData(key, {value});
}

void Quillborne::setMetaDataWithKey(const std::string& key, const std::vector<std::string>& values) {
  sdk()->setMetaData(key, values);
}

// ------------------------------------------------------------ rewarded video

void Quillborne::setRewardedVideoDelegate(std::weak_ptr<QBRewardedVideoDelegate> delegate) {
  QBRewardedVideoDelegateWrapper::sharedInstance()->setDelegate(std::move(delegate));
}

void Quillborne::setRewardedVideoManualDelegate(std::weak_ptr<QBRewardedVideoManualDelegate> delegate) {
  sdk()->setManualLoadRewardedVideo(true);
  QBRewardedVideoDelegateWrapper::sharedInstance()->setDelegate(std::weak_ptr<QBRewardedVideoDelegate>(delegate));
}

void Quillborne::setTidewheelRewardedVideoDelegate(std::weak_ptr<TidewheelRewardedVideoDelegate> delegate) {
  QBRewardedVideoDelegateWrapper::sharedInstance()->setTidewheelDelegate(
      std::weak_ptr<TidewheelRewardedVideoBaseDelegate>(delegate));
}

void Quillborne::setTidewheelRewardedVideoManualDelegate(
    std::weak_ptr<TidewheelRewardedVideoManualDelegate> delegate) {
  sdk()->setManualLoadRewardedVideo(true);
  QBRewardedVideoDelegateWrapper::sharedInstance()->setTidewheelDelegate(
      std::weak_ptr<TidewheelRewardedVideoBaseDelegate>(delegate));
}

void Quillborne::loadRewardedVideo() { sdk()->loadRewardedVideo(); }

bool Quillborne::hasRewardedVideo() { return sdk()->hasRewardedVideo(); }

void Quillborne::showRewardedVideoWithViewController(ViewControllerRef viewController) {
  sdk()->showRewardedVideo(std::move(viewController), std::nullopt);
}

void Quillborne::showRewardedVideoWithViewController(ViewControllerRef viewController,
                                                     const std::string& placementName) {
  sdk()->showRewardedVideo(std::move(viewController), placementName);
}

// -------------------------------------------------------------- interstitial

void Quillborne::setInterstitialDelegate(std::weak_ptr<QBInterstitialDelegate> delegate) {
  QBInterstitialDelegateWrapper::sharedInstance()->setDelegate(std::move(delegate));
}

void Quillborne::setTidewheelInterstitialDelegate(std::weak_ptr<TidewheelInterstitialDelegate> delegate) {
  QBInterstitialDelegateWrapper::sharedInstance()->setTidewheelDelegate(std::move(delegate));
}

void Quillborne::loadInterstitial() { sdk()->loadInterstitial(); }

bool Quillborne::hasInterstitial() { return sdk()->hasInterstitial(); }

void Quillborne::showInterstitialWithViewController(ViewControllerRef viewController) {
  sdk()->showInterstitial(std::move(viewController), std::nullopt);
}

void Quillborne::showInterstitialWithViewController(ViewControllerRef viewController, const std::string& placementName) {
  sdk()->showInterstitial(std::move(viewController), placementName);
}

// -------------------------------------------------------------------- banner

void Quillborne::setBannerDelegate(std::weak_ptr<QBBannerDelegate> delegate) {
  QBBannerDelegateWrapper::sharedInstance()->setDelegate(std::move(delegate));
}

void Quillborne::setTidewheelBannerDelegate(std::weak_ptr<TidewheelBannerDelegate> delegate) {
  QBBannerDelegateWrapper::sharedInstance()->setTidewheelDelegate(std::move(delegate));
}

void Quillborne::loadBannerWithViewController(ViewControllerRef viewController, const QBBannerSize& size) {
  sdk()->loadBanner(std::move(viewController), size);
}

void Quillborne::destroyBanner(std::shared_ptr<QBBannerView> banner) { sdk()->destroyBanner(banner); }

// ----------------------------------------------------------------- offerwall

void Quillborne::showOfferwall() { sdk()->refuseUnsupported("showOfferwall"); }

void Quillborne::showOfferwallWithViewController(ViewControllerRef, const std::string&) {
  sdk()->refuseUnsupported("showOfferwallWithViewController");
}

bool Quillborne::hasOfferwall() { return false; }

void Quillborne::getOfferwallCredits() { sdk()->refuseUnsupported("getOfferwallCredits"); }

// --------------------------------------------------------------- demand-only

void Quillborne::loadQBDemandOnlyRewardedVideo(const std::string& instanceId) {
  sdk()->refuseUnsupported("loadQBDemandOnlyRewardedVideo(" + instanceId + ")");
}

bool Quillborne::hasQBDemandOnlyRewardedVideo(const std::string&) { return false; }

void Quillborne::showQBDemandOnlyRewardedVideo(ViewControllerRef, const std::string& instanceId) {
  sdk()->refuseUnsupported("showQBDemandOnlyRewardedVideo(" + instanceId + ")");
}

void Quillborne::loadQBDemandOnlyInterstitial(const std::string& instanceId) {
  sdk()->refuseUnsupported("loadQBDemandOnlyInterstitial(" + instanceId + ")");
}

bool Quillborne::hasQBDemandOnlyInterstitial(const std::string&) { return false; }

void Quillborne::showQBDemandOnlyInterstitial(ViewControllerRef, const std::string& instanceId) {
  sdk()->refuseUnsupported("showQBDemandOnlyInterstitial(" + instanceId + ")");
}

void Quillborne::loadQBDemandOnlyBannerWithViewController(ViewControllerRef, const QBBannerSize&,
                                                         const std::string& instanceId) {
  sdk()->refuseUnsupported("loadQBDemandOnlyBannerWithViewController(" + instanceId + ")");
}

void Quillborne::destroyQBDemandOnlyBanner(const std::string& instanceId) {
  sdk()->refuseUnsupported("destroyQBDemandOnlyBanner(" + instanceId + ")");
}

// ----------------------------------------------------------- impression data

void Quillborne::addImpressionDataDelegate(const std::shared_ptr<QBImpressionDataDelegate>& delegate) {
  QuillborneObjectPublisherDataHolder::sharedInstance().getImpressionDataDelegates()->addDelegate(delegate);
}

void Quillborne::removeImpressionDataDelegate(const std::shared_ptr<QBImpressionDataDelegate>& delegate) {
  QuillborneObjectPublisherDataHolder::sharedInstance().getImpressionDataDelegates()->removeDelegate(delegate);
}

// ---------------------------------------------------------------- test suite

void Quillborne::launchTestSuite(ViewControllerRef viewController) { sdk()->launchTestSuite(std::move(viewController)); }
