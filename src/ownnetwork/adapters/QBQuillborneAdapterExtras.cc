// Banner, bidding data, consent and metadata, load-while-show support and the
// offerwall of the own network's built-in adapter.
#include <exception>

#include "core/QBAdapterConfig.h"
#include "core/QBConfigurations.h"
#include "core/QBMetaDataUtils.h"
#include "ownnetwork/adapters/QBOwnNetworkAdapterSupport.h"
#include "ownnetwork/adapters/QBPlovermarkAdsConfiguration.h"
#include "ownnetwork/adapters/QBQuillborneAdapter.h"
#include "ownnetwork/api/QuillborneAdInstance.h"
#include "ownnetwork/api/QuillborneNetwork.h"
#include "ownnetwork/services/QBNAdSize.h"
#include "platform/device.h"
#include "quillborne/QBBannerSize.h"

using platform::Json;
using qbown::logApi;
using qbown::logDelegate;

// ------------------------------------------------------------------ banner

std::optional<std::pair<int, int>> QBQuillborneAdapter::bannerSizeInPoints(const QBBannerSize& size) {
  const std::string& description = size.sizeDescription();
  if (description == QBBannerSize::kBanner) return std::pair{320, 50};
  if (description == QBBannerSize::kRectangle) return std::pair{300, 250};
  if (description == QBBannerSize::kLarge) return std::pair{320, 90};
  if (description == QBBannerSize::kSmart) {
    const bool tablet = platform::deviceFacts().facts().interfaceIdiom == platform::UserInterfaceIdiom::Pad;
    return tablet ? std::pair{728, 90} : std::pair{320, 50};
  }
  if (description == QBBannerSize::kCustom) {
    if (size.height() == 50) return std::pair{320, 50};
    if (size.height() == 90) return std::pair{320, 90};
  }
  return std::nullopt;
}

void QBQuillborneAdapter::initBannerForBiddingWithUserId(const std::string&, const QBAdapterConfigRef& config,
                                                         BnDelegate delegate) {
  initSDK(*config, createParams());
  if (auto d = delegate.lock()) d->adapterBannerInitSuccess();
}

void QBQuillborneAdapter::loadBannerForBiddingWithAdapterConfig(const QBAdapterConfigRef& config, const Json&,
                                                                const std::string& serverData,
                                                                const platform::ViewControllerRef&,
                                                                const std::shared_ptr<QBBannerSize>& size,
                                                                BnDelegate delegate) {
  const std::string name = config->demandSourceName();
  const auto points = size ? bannerSizeInPoints(*size) : std::nullopt;
  if (!points) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      demandSourceIdToBnDelegate_[name] = delegate;
    }
    const QBError error = QBError::createError(kUnsupportedBannerSizeCode, std::string(kUnsupportedBannerSizeMessage));
    logApi(__func__, "error = " + error.message());
    if (auto d = delegate.lock()) d->adapterBannerDidFailToLoadWithError(error);
    return;
  }
  const auto adSize = std::make_shared<QBNAdSize>(size->sizeDescription(), points->first, points->second);
  auto instance = createBannerAdInstanceWithConfig(*config, adSize);
  {
    // The delegate and the instance it waits for, in one hold of the lock:
    // an answer of an earlier instance of the name never reaches it.
    std::lock_guard<std::mutex> lock(mutex_);
    demandSourceIdToBnDelegate_[name] = delegate;
    if (instance) demandSourceIdToBnLoading_[name].push_back(instance);
  }
  QuillborneNetwork::loadAdWithAdInstance(instance, createLoadParamsWithConfig(*config, serverData));
}

std::shared_ptr<QuillborneAdInstance> QBQuillborneAdapter::createBannerAdInstanceWithConfig(
    const QBAdapterConfig& adapterConfig, const std::shared_ptr<QBNAdSize>& size) {
  const std::string name = adapterConfig.demandSourceName();
  logApi(__func__, "creating banner ad instance for " + name);
  return QuillborneAdInstanceBuilder(name, asListener())
      .setExtraParameters(createParams())
      .setInAppBidding(adapterConfig.isBidder())
      .setIsOneFlow(adapterConfig.isOneFlow())
      .setSize(size)
      .build();
}

void QBQuillborneAdapter::destroyBannerWithAdapterConfig(const QBAdapterConfigRef& config) {
  const std::string name = config->demandSourceName();
  logApi(__func__, "demandSourceName = " + name);
  // Loaded banners, and loads still on their way: a load the mediation gave
  // up on (its time-out, a destroy while it loads) is withdrawn at the page
  // too, so that it never answers a later load of the name.
  std::vector<std::shared_ptr<QuillborneAdInstance>> withdrawn;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (auto found = demandSourceIdToBnAd_.find(name); found != demandSourceIdToBnAd_.end()) {
      withdrawn = std::move(found->second);
      demandSourceIdToBnAd_.erase(found);
    }
    if (auto found = demandSourceIdToBnLoading_.find(name); found != demandSourceIdToBnLoading_.end()) {
      std::erase_if(withdrawnBanners_, [](const auto& gone) { return gone.expired(); });
      for (const auto& instance : found->second) {
        withdrawnBanners_.push_back(instance);
        withdrawn.push_back(instance);
      }
      demandSourceIdToBnLoading_.erase(found);
    }
  }
  for (const auto& instance : withdrawn) QuillborneNetwork::destroyAdWithAdInstance(instance);
}

// ------------------------------------------------------------------ bidding data

Json QBQuillborneAdapter::getToken() {
  const auto token = QuillborneNetwork::getToken();
  logApi(__func__, "token = " + token.value_or(""));
  return Json{{"token", token.value_or("")}};
}

std::optional<Json> QBQuillborneAdapter::getRewardedVideoBiddingDataWithAdapterConfig(const QBAdapterConfigRef&,
                                                                                      const Json&) {
  logApi(__func__, "");
  return getToken();
}

std::optional<Json> QBQuillborneAdapter::getInterstitialBiddingDataWithAdapterConfig(const QBAdapterConfigRef&,
                                                                                     const Json&) {
  logApi(__func__, "");
  return getToken();
}

std::optional<Json> QBQuillborneAdapter::getBannerBiddingDataWithAdapterConfig(const QBAdapterConfigRef&, const Json&) {
  return getToken();
}

std::optional<Json> QBQuillborneAdapter::getPlayerBiddingData() {
  try {
    const Json token = QuillborneNetwork::getRawToken().value_or(Json::object());
    logApi(__func__, "token = " + token.dump());
    return token;
  } catch (const std::exception& e) {
    logApi(__func__, std::string("Exception while trying to get token. Returning nil instead. Exception = ") + e.what(),
           3);
    return std::nullopt;
  }
}

// ------------------------------------------------------------------ consent, metadata, setup

int QBQuillborneAdapter::getLWSSupportState(const QBAdapterConfigRef& config) {
  if (config && config->settings().is_object() && config->settings().contains("isSupportedLWS")) {
    const Json& value = config->settings()["isSupportedLWS"];
    const bool yes = value.is_boolean() ? value.get<bool>()
                     : value.is_number() ? value.get<double>() != 0
                     : value.is_string() ? (value == "true" || value == "1" || value == "YES")
                                         : false;
    if (yes) return 1;
  }
  return QBBaseAdapter::getLWSSupportState(config);
}

// ------------------------------------------------------------------ offerwall

void QBQuillborneAdapter::initOfferWallWithUserId(const std::string&, const QBAdapterConfigRef& config,
                                                  std::weak_ptr<QBOfferwallAdapterDelegate> delegate) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    owDelegate_ = delegate;
  }
  Json params = Json::object();
  const auto clientSide = QBPlovermarkAdsConfiguration::configurations().useClientSideCallbacks();
  if (clientSide && clientSide->is_number() && clientSide->get<double>() == 1) params["useClientSideCallbacks"] = "true";
  initSDK(*config, createParams());
  const auto& mediation = QBConfigurations::getConfigurations();
  QuillborneNetwork::initOfferWallWithApplicationKey(
      mediation.appKey(), mediation.userId(),
      std::static_pointer_cast<PMAOfferWallDelegate>(std::dynamic_pointer_cast<QBQuillborneAdapter>(shared_from_this())),
      params);
}

void QBQuillborneAdapter::showOfferwallWithViewController(const platform::ViewControllerRef& viewController,
                                                          const std::string& placement) {
  Json params = QBConfigurations::getConfigurations().offerwallCustomParameters().value_or(Json::object());
  if (!placement.empty()) params["placementId"] = placement;
  QuillborneNetwork::showOfferWallFromViewController(viewController, params);
}

void QBQuillborneAdapter::getOfferWallCreditsWithUserId(const std::string&) {
  const auto& mediation = QBConfigurations::getConfigurations();
  QuillborneNetwork::getOfferWallCreditsWithApplicationKey(
      mediation.appKey(), mediation.userId(),
      std::static_pointer_cast<PMAOfferWallDelegate>(std::dynamic_pointer_cast<QBQuillborneAdapter>(shared_from_this())));
}

bool QBQuillborneAdapter::hasOfferwall() {
  std::lock_guard<std::mutex> lock(mutex_);
  return isOfferwallAvailable_;
}

std::shared_ptr<QBOfferwallAdapterDelegate> QBQuillborneAdapter::offerwallDelegate() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return owDelegate_.lock();
}

void QBQuillborneAdapter::pmaInitOfferWallSuccess() {
  if (auto d = offerwallDelegate()) d->adapterOfferwallHasChangedAvailability(true, std::nullopt);
  std::lock_guard<std::mutex> lock(mutex_);
  isOfferwallAvailable_ = true;
}

void QBQuillborneAdapter::pmaInitOfferWallFailedWithError(const platform::Error& error) {
  logDelegate(__func__, "error = " + error.message);
  if (auto d = offerwallDelegate()) d->adapterOfferwallHasChangedAvailability(false, qbown::toQBError(error));
  std::lock_guard<std::mutex> lock(mutex_);
  isOfferwallAvailable_ = false;
}

void QBQuillborneAdapter::pmaOfferWallShowSuccess(const std::optional<std::string>&) {
  if (auto d = offerwallDelegate()) d->adapterOfferwallDidShow();
}

void QBQuillborneAdapter::pmaOfferWallShowFailedWithError(const platform::Error& error) {
  if (auto d = offerwallDelegate()) {
    d->adapterOfferwallDidFailToShowWithError(QBError("Quillborne", kOfferwallShowFailedCode, error.message));
  }
}

void QBQuillborneAdapter::pmaOfferWallDidClose() {
  if (auto d = offerwallDelegate()) d->adapterOfferwallDidClose();
}

void QBQuillborneAdapter::pmaOfferwallDidFailGettingCreditWithError(const platform::Error& error) {
  if (auto d = offerwallDelegate()) d->adapterOfferwallDidFailToReceiveCreditsWithError(qbown::toQBError(error));
}

bool QBQuillborneAdapter::pmaOfferWallDidReceiveCredit(const Json& creditInfo) {
  auto d = offerwallDelegate();
  return d && d->adapterOfferwallDidReceiveCredits(creditInfo);
}
