// Product initialisation, load, show and destroy: the publisher's product
// calls turned into commands for the controller page.
#include "ownnetwork/api/PMAOfferWallDelegate.h"
#include "ownnetwork/api/QBNAdDelegate.h"
#include "ownnetwork/api/QBNProductDelegateCalls.h"
#include "ownnetwork/api/QuillborneAdInstance.h"
#include "ownnetwork/controller/QBNControllerManager.h"
#include "ownnetwork/handlers/QBNHandlerSupport.h"
#include "ownnetwork/interfaces/QBNPresentationServicesP.h"
#include "ownnetwork/interfaces/QBNScriptHandlers.h"
#include "ownnetwork/publisher/DemandSourceDelegateResponder.h"
#include "ownnetwork/publisher/PlovermarkAdsPublisher.h"
#include "ownnetwork/services/PMADemandSource.h"
#include "ownnetwork/services/PMAHelperMethods.h"
#include "ownnetwork/services/PlovermarkLogManager.h"
#include "ownnetwork/services/QBNEvent.h"
#include "ownnetwork/services/QBNEventsTracker.h"
#include "ownnetwork/services/QBNProductType.h"
#include "ownnetwork/token/QBNTokenService.h"
#include "platform/dispatch.h"
#include "platform/ui.h"

using platform::Json;

namespace {

constexpr char kMissingCredentials[] =
    "Missing credentials and/or delegate, Please provide an ApplicationID, a UserID and a delegate";
constexpr char kUserIdMissing[] = "UserId missing";
constexpr int kMissingCredentialsCode = 1005;
constexpr char kNotLoadedMessage[] = "ad instance was not loaded";

Json productConfiguration(const char* productName) { return Json{{"productType", productName}}; }

std::shared_ptr<QBNProductPresenterP> productPresenterOf(const std::shared_ptr<QBNProductPresenterJSHandlerP>& handler) {
  return handler ? handler->productPresenter() : nullptr;
}

// The listener of an ad instance hears a failure of its own call on the main
// queue, like every other call of the instance.
void failToAdInstance(const std::shared_ptr<QuillborneAdInstance>& adInstance, bool show, const platform::Error& error) {
  std::weak_ptr<QuillborneAdInstance> weak = adInstance;
  platform::mainQueue()->async([weak, show, error] {
    auto instance = weak.lock();
    auto listener = instance ? instance->adListener() : nullptr;
    if (show) {
      if (auto* call = dynamic_cast<QBNAdDelegateFailedToShow*>(listener.get())) {
        call->adInstanceFailedToShow(instance, error, Json::object());
      }
    } else if (auto* call = dynamic_cast<QBNAdDelegateFailedToLoad*>(listener.get())) {
      call->adInstanceFailedToLoad(instance, error, Json::object());
    }
  });
}

void copyInto(Json& target, const Json& source) {
  if (!source.is_object()) return;
  for (auto it = source.begin(); it != source.end(); ++it) target[it.key()] = it.value();
}

}  // namespace

// ------------------------------------------------------------------ initialisation

std::optional<std::string> PlovermarkAdsPublisher::getInitProductCommandForType(int64_t productType) {
  switch (productType) {
    case QBNProductType::RewardedVideo: return "initRewardedVideo";
    case QBNProductType::Interstitial: return "initInterstitial";
    case QBNProductType::OfferWall: return "initOfferWall";
    case QBNProductType::OfferWallCredits: return "getUserCredits";
    case QBNProductType::Banner: return "initBanner";
    default: return std::nullopt;
  }
}

void PlovermarkAdsPublisher::initProduct(int64_t productType, const std::shared_ptr<PMAProductParameters>& parameters,
                                         const std::optional<platform::Error>& error,
                                         const std::shared_ptr<PMADemandSource>& demandSource) {
  initProductIssuingCommand(productType, parameters, error, demandSource);
}

bool PlovermarkAdsPublisher::initProductIssuingCommand(int64_t productType,
                                                       const std::shared_ptr<PMAProductParameters>& parameters,
                                                       const std::optional<platform::Error>& error,
                                                       const std::shared_ptr<PMADemandSource>& demandSource) {
  const auto productName = productType >= 0 ? PMAHelperMethods::productTypeByPMAType(static_cast<uint64_t>(productType))
                                            : std::nullopt;
  bool listener = demandSource && demandSource->delegate();
  const auto general = std::dynamic_pointer_cast<PMAGeneralParameters>(parameters);
  if (general) listener = general->delegate() != nullptr;
  bool valid = parameters && PMAHelperMethods::isStringExistAndNotEmpty(parameters->appKey()) && listener;
  const bool offerWall = productType == QBNProductType::OfferWall || productType == QBNProductType::OfferWallCredits;
  if (offerWall) valid = valid && PMAHelperMethods::isStringExistAndNotEmpty(parameters->userId());

  const auto failureEvent = [&](const std::string& reason) {
    const auto instance = demandSource ? demandSource->adInstance() : nullptr;
    QBNEventsTracker::logEvent(QBNEvents::initProductFailed(),
                               Json{{"producttype", productName.value_or("UnknownProductType")},
                                    {"demandsourcename", demandSource ? demandSource->name() : "noname"},
                                    {"isbiddinginstance", instance ? instance->isInAppBidding() : false},
                                    {"callfailreason", reason}});
  };
  if (!valid) {
    const auto failure =
        PMAHelperMethods::errorWithReason(offerWall ? kUserIdMissing : kMissingCredentials, kMissingCredentialsCode,
                                          std::nullopt);
    sendInitFailureForProduct(productType, failure, demandSource);
    failureEvent(failure.message);
    return false;
  }
  const auto manager = concreteControllerManager();
  const auto state = manager ? manager->controllerState() : QBNControllerState::None;
  if (state == QBNControllerState::FailedInitiating || state == QBNControllerState::Failed) {
    sendInitFailureForProduct(productType, error, demandSource);
    setInitCalledFlagForProduct(productType, false);
    failureEvent(error ? error->message : "Init Product Failed");
    return false;
  }
  const auto command = getInitProductCommandForType(productType);
  if (!command || !manager) return false;
  manager->runCommand(*command, createInitParameters(productType, parameters, demandSource), *command + "Success",
                      *command + "Fail", false);
  return true;
}

Json PlovermarkAdsPublisher::createInitParameters(int64_t productType,
                                                  const std::shared_ptr<PMAProductParameters>& parameters,
                                                  const std::shared_ptr<PMADemandSource>& demandSource) const {
  Json init = Json::object();
  if (!parameters) return init;
  if (parameters->userId()) init["applicationUserId"] = *parameters->userId();
  init["applicationKey"] = parameters->appKey() ? Json(*parameters->appKey()) : Json();
  if (productType == QBNProductType::OfferWallCredits) {
    init["productType"] = "OfferWall";
    return init;
  }
  if (productType > QBNProductType::Banner) return init;
  if (demandSource) {
    init["demandSourceName"] = demandSource->name();
    init["demandSourceId"] = demandSource->identifier();
    if (const auto extra = demandSource->extraParams()) copyInto(init, *extra);
  }
  if (auto general = std::dynamic_pointer_cast<PMAGeneralParameters>(parameters)) {
    if (const auto& additional = general->additionalParameters()) copyInto(init, *additional);
  }
  return init;
}

void PlovermarkAdsPublisher::sendInitFailureForProduct(int64_t productType, const std::optional<platform::Error>& error,
                                                       const std::shared_ptr<PMADemandSource>& demandSource) {
  const platform::Error failure = error.value_or(PMAHelperMethods::errorWithReason("unknown error", 0, std::nullopt));
  if (demandSource) demandSource->setInitState(PMADemandSourceInitState::InitFailed);
  switch (productType) {
    case QBNProductType::RewardedVideo:
      DemandSourceDelegateResponder::handleInitFailureCallbackForDemandSource(demandSource, failure,
                                                                              productConfiguration("RewardedVideo"));
      break;
    case QBNProductType::Interstitial:
      DemandSourceDelegateResponder::handleInitFailureCallbackForDemandSource(demandSource, failure,
                                                                              productConfiguration("Interstitial"));
      break;
    case QBNProductType::OfferWall: PMAOfferWallCalls::pmaInitOfferWallFailedWithError(offerWallDelegate(), failure); break;
    case QBNProductType::OfferWallCredits:
      PMAOfferWallCalls::pmaOfferwallDidFailGettingCreditWithError(offerWallDelegate(), failure);
      break;
    case QBNProductType::Banner: {
      auto delegate = demandSource ? demandSource->delegate() : nullptr;
      if (auto* call = dynamic_cast<QBNBannerInitFailedWithErrorCall*>(delegate.get())) {
        call->QBNBannerInitFailedWithError(failure);
      }
      break;
    }
    default: break;
  }
}

void PlovermarkAdsPublisher::setInitCalledFlagForProduct(int64_t productType, bool isTrue) {
  if (productType == QBNProductType::OfferWall || productType == QBNProductType::OfferWallCredits) {
    std::lock_guard<std::mutex> lock(mutex_);
    (productType == QBNProductType::OfferWall ? initOWCalledButControllerNotInitiatedYet_
                                              : getOWCreditsCalledButControllerNotInitiatedYet_) = isTrue;
    return;
  }
  auto* sources = demandSourcesCollection().demandSourcesForProductType(productType);
  if (!sources) return;
  for (const auto& source : sources->allObjects()) {
    if (source->initState() == PMADemandSourceInitState::NotInitialized) {
      source->setInitState(PMADemandSourceInitState::InitRequested);
    }
  }
}

void PlovermarkAdsPublisher::initUninitializedDemandSourcesForType(int64_t productType,
                                                                   const std::optional<platform::Error>& error) {
  auto* sources = demandSourcesCollection().demandSourcesForProductType(productType);
  if (!sources) return;
  for (const auto& source : sources->allObjects()) {
    if (source->initState() == PMADemandSourceInitState::InitRequested) {
      initProduct(productType, parametersForProductType(productType), error, source);
    }
  }
}

void PlovermarkAdsPublisher::initNonDemandSourceProductsAfterInitController(const std::optional<platform::Error>& error) {
  const auto rerun = [&](bool PlovermarkAdsPublisher::*flag, const char* line, int64_t productType) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (!(this->*flag)) return;
    }
    PlovermarkLogManager::sharedManager().log(line, 1, 9);
    if (isControllerReady()) {
      std::lock_guard<std::mutex> lock(mutex_);
      this->*flag = false;
    }
    initProduct(productType, parametersForProductType(productType), error, nullptr);
  };
  rerun(&PlovermarkAdsPublisher::initOWCalledButControllerNotInitiatedYet_, "calling show OW", QBNProductType::OfferWall);
  rerun(&PlovermarkAdsPublisher::getOWCreditsCalledButControllerNotInitiatedYet_, "calling get OW credits",
        QBNProductType::OfferWallCredits);
}

void PlovermarkAdsPublisher::initRewardedVideoWithApplicationKey(const std::optional<std::string>& appKey,
                                                                 const std::optional<std::string>& userId,
                                                                 const std::string& demandSourceName,
                                                                 std::weak_ptr<QBNProductDelegate> delegate,
                                                                 const std::optional<Json>& additionalParameters) {
  auto source = PMADemandSource::createDemandSourceWithName(demandSourceName, additionalParameters, std::move(delegate));
  demandSourcesCollection().addDemandSourceWithProductType(QBNProductType::RewardedVideo, source);
  auto parameters = std::make_shared<PMAProductParameters>(appKey, userId);
  setParametersForProductType(QBNProductType::RewardedVideo, parameters);
  initProduct(QBNProductType::RewardedVideo, parameters, std::nullopt, source);
}

void PlovermarkAdsPublisher::initInterstitialWithApplicationKey(const std::optional<std::string>& appKey,
                                                                const std::optional<std::string>& userId,
                                                                const std::string& demandSourceName,
                                                                std::weak_ptr<QBNProductDelegate> delegate,
                                                                const std::optional<Json>& additionalParameters) {
  auto source = PMADemandSource::createDemandSourceWithName(demandSourceName, additionalParameters, std::move(delegate));
  demandSourcesCollection().addDemandSourceWithProductType(QBNProductType::Interstitial, source);
  auto parameters = std::make_shared<PMAProductParameters>(appKey, userId);
  setParametersForProductType(QBNProductType::Interstitial, parameters);
  initProduct(QBNProductType::Interstitial, parameters, std::nullopt, source);
}

void PlovermarkAdsPublisher::initOfferWallWithApplicationKey(const std::optional<std::string>& appKey,
                                                             const std::optional<std::string>& userId,
                                                             std::weak_ptr<PMAOfferWallDelegate> delegate,
                                                             const std::optional<Json>& additionalParameters) {
  auto parameters = std::make_shared<PMAGeneralParameters>(appKey, userId, delegate, additionalParameters);
  setOfferWallDelegate(delegate);
  setParametersForProductType(QBNProductType::OfferWall, parameters);
  initProduct(QBNProductType::OfferWall, parameters, std::nullopt, nullptr);
}

void PlovermarkAdsPublisher::getOfferWallCreditsWithApplicationKey(const std::optional<std::string>& appKey,
                                                                   const std::optional<std::string>& userId,
                                                                   std::weak_ptr<PMAOfferWallDelegate> delegate) {
  auto parameters = std::make_shared<PMAGeneralParameters>(appKey, userId, delegate, std::nullopt);
  setOfferWallDelegate(delegate);
  setParametersForProductType(QBNProductType::OfferWallCredits, parameters);
  initProduct(QBNProductType::OfferWallCredits, parameters, std::nullopt, nullptr);
}

void PlovermarkAdsPublisher::setMediationStateForProductType(const std::optional<std::string>& productName,
                                                             const std::optional<std::string>& demandSourceName,
                                                             int64_t state) {
  const auto type = qbnhandlers::convertProductNameToProductType(productName);
  if (!type.ok()) return;
  if (auto source = demandSourcesCollection().demandSourceForProductType(type.value(), demandSourceName)) {
    source->setMediationState(state);
  }
}

void PlovermarkAdsPublisher::notifyAdCloseAll() {
  if (auto presenter = productPresenterOf(presenterJSInterfaceHandler())) {
    presenter->dismissProduct(QBNProductType::Interstitial, [](const std::optional<platform::Error>& error) {
      if (!error) return;
      QBNEventsTracker::logEvent(QBNEvents::failedToDismissViewController(),
                                 Json{{"callfailreason", error->message.empty() ? "unknown" : error->message}});
    });
  }
  auto& collection = demandSourcesCollection();
  handleAdClosedCallbackForDemandSourceDictionary(collection.interstitialDemandSources(),
                                                  productConfiguration("Interstitial"));
  handleAdClosedCallbackForDemandSourceDictionary(collection.rewardedVideoDemandSources(),
                                                  productConfiguration("RewardedVideo"));
  handleAdClosedCallbackForDemandSourceDictionary(collection.bannerDemandSources(), Json::object());
  PMAOfferWallCalls::pmaOfferWallDidClose(offerWallDelegate());
}

void PlovermarkAdsPublisher::handleAdClosedCallbackForDemandSourceDictionary(
    const PMADemandSourcesCollection::DemandSources& demandSources, const Json& configuration) {
  for (const auto& source : demandSources.allObjects()) {
    DemandSourceDelegateResponder::handleAdClosedCallbackForDemandSource(source, configuration);
  }
}

void PlovermarkAdsPublisher::updateConsentInfo(const Json& consent) {
  updateConsentInTokenWithData(consent);
  if (const auto manager = concreteControllerManager()) {
    manager->runCommand("updateConsentInfo", consent, std::nullopt, std::nullopt, false);
  }
}

void PlovermarkAdsPublisher::updateConsentInTokenWithData(const Json& consent) {
  if (!consent.is_object() || !consent.contains("gdprConsentStatus")) return;
  const bool given = platform::getString(consent, "gdprConsentStatus") == "true";
  platform::mainQueue()->async([given] { QBNTokenService::sharedService().updateTokenWithData(Json{{"consent", given}}); });
}

Json PlovermarkAdsPublisher::orientationDataForProductType(int64_t productType) const {
  const auto services = QBNPresentationServicesP::sharedInstance();
  Json data = services ? services->applicationOrientationData(allowOrientationFromAppDelegate()) : Json::object();
  if (!data.is_object()) data = Json::object();
  auto presenter = productPresenterOf(presenterJSInterfaceHandler());
  auto viewController =
      presenter && productType >= 0 ? presenter->viewControllerForProductType(static_cast<uint32_t>(productType)) : nullptr;
  if (viewController && services) {
    data["viewControllerToPresentFrom"] = std::to_string(services->supportedOrientationForViewController(viewController));
  }
  return data;
}

// ------------------------------------------------------------------ load, show, destroy

void PlovermarkAdsPublisher::loadAdWithAdInstance(const std::shared_ptr<QuillborneAdInstance>& adInstance,
                                                  const Json& loadParams) {
  if (!adInstance) return;
  loadAdWithAdInstance(adInstance, loadParams, adInstance->latestLoadRequest());
}

void PlovermarkAdsPublisher::loadAdWithAdInstance(const std::shared_ptr<QuillborneAdInstance>& adInstance,
                                                  const Json& loadParams, uint64_t loadRequest) {
  if (!adInstance) return;
  if (loadRequest != adInstance->latestLoadRequest()) {
    // A newer load of the instance was asked for after this one and follows
    // it on the API queue: the page need not hear of this one at all.
    PlovermarkLogManager::sharedManager().log(
        "load " + std::to_string(loadRequest) + " of " + adInstance->identifier() +
            " given up before it was sent: a newer load follows",
        0, 9);
    return;
  }
  if (adInstance->isInitialized()) {
    loadInitializedInstanceWithAdInstance(adInstance, loadParams, loadRequest);
  } else {
    loadUninitializedInstanceWithAdInstance(adInstance, loadParams, loadRequest);
  }
}

void PlovermarkAdsPublisher::loadUninitializedInstanceWithAdInstance(
    const std::shared_ptr<QuillborneAdInstance>& adInstance, const Json& loadParams, uint64_t loadRequest) {
  auto source = PMADemandSource::createDemandSourceWithAdInstance(adInstance);
  const bool banner = adInstance->isBanner();
  Json event{{"producttype", banner ? "Banner" : adInstance->isRewarded() ? "RewardedVideo" : "Interstitial"},
             {"demandsourcename", source->name()},
             {"isbiddinginstance", adInstance->isInAppBidding()}};
  if (loadParams.is_object() && loadParams.contains("isOneFlow")) event["isoneflow"] = loadParams["isOneFlow"];
  QBNEventsTracker::logEvent(QBNEvents::initProduct(), event);
  const int64_t type = banner ? QBNProductType::Banner : QBNProductType::Interstitial;
  demandSourcesCollection().addDemandSourceWithProductType(type, source);
  auto parameters = std::make_shared<PMAProductParameters>(getApplicationKey(), getUserId());
  const bool issued = initProductIssuingCommand(type, parameters, std::nullopt, source);
  setParametersForProductType(type, parameters);
  // An instance whose init never reached the page is initialised again by its
  // next load.
  if (issued) adInstance->setInitialized(true);
  sendLoadCommand(banner ? "loadBanner" : "loadInterstitial", source, adInstance, loadParams, loadRequest);
}

void PlovermarkAdsPublisher::loadInitializedInstanceWithAdInstance(const std::shared_ptr<QuillborneAdInstance>& adInstance,
                                                                   const Json& loadParams, uint64_t loadRequest) {
  const bool banner = adInstance->isBanner();
  auto source = demandSourcesCollection().demandSourceForProductType(
      banner ? QBNProductType::Banner : QBNProductType::Interstitial, adInstance->identifier());
  if (!source) {
    failToAdInstance(adInstance, false, PMAHelperMethods::errorWithReason(kNotLoadedMessage, 0, std::nullopt));
    return;
  }
  sendLoadCommand(banner ? "loadBanner" : "loadInterstitial", source, adInstance, loadParams, loadRequest);
}

void PlovermarkAdsPublisher::sendLoadCommand(const std::string& command, const std::shared_ptr<PMADemandSource>& source,
                                             const std::shared_ptr<QuillborneAdInstance>& adInstance,
                                             const Json& loadParams, uint64_t loadRequest) {
  Json parameters = loadParams.is_object() ? loadParams : Json::object();
  parameters["demandSourceId"] = source->identifier();
  parameters["demandSourceName"] = source->name();
  copyInto(parameters, adInstance->getAdInstanceConfigurationForController());
  QBNControllerAPIData data(command);
  data.setFunctionParameters(parameters)
      .setSuccessCallback(command + "Success")
      .setFailCallback(command + "Fail")
      .setEncodingOptions(QBNControllerAPIData::kEncodingDecodeThenEncode);
  const auto manager = concreteControllerManager();
  if (!manager) return;
  const int64_t type = command == "loadBanner" ? QBNProductType::Banner : QBNProductType::Interstitial;
  // Owed from now on (the fallback controller answers before runCommand
  // returns), or kept back behind the load the page still owes, for a while
  // at most.
  std::weak_ptr<PlovermarkAdsPublisher> weakSelf = weak_from_this();
  const auto sendAfterWait = [weakSelf](const QBNControllerAPIData& waited) {
    if (auto self = weakSelf.lock()) self->sendLoadAfterWait(waited, "the answer it waited for counts as lost");
  };
  if (!loadLedger_.sendOrHold({type, source->identifier()}, adInstance, loadRequest, data,
                              !manager->isNativeControllerCurrent(), sendAfterWait)) {
    PlovermarkLogManager::sharedManager().log(
        command + " of " + source->identifier() + " waits for the page's answer to the load before it", 0, 9);
    return;
  }
  manager->runCommand(data);
}

void PlovermarkAdsPublisher::sendLoadAfterWait(const QBNControllerAPIData& data, const std::string& why) {
  const auto id = platform::getString(data.functionParameters(), "demandSourceId").value_or("");
  PlovermarkLogManager::sharedManager().log(data.functionName() + " of " + id + " goes to the page: " + why, 0, 9);
  if (const auto manager = concreteControllerManager()) manager->runCommand(data);
}

void PlovermarkAdsPublisher::fallbackControllerTookOver() {
  for (const auto& waited : loadLedger_.takeOver()) {
    sendLoadAfterWait(waited, "the fallback controller answers in the page's place");
  }
}

void PlovermarkAdsPublisher::showAdWithAdInstance(const std::shared_ptr<QuillborneAdInstance>& adInstance,
                                                  const std::shared_ptr<platform::ViewController>& viewController,
                                                  const Json& showParams) {
  if (!adInstance) return;
  auto source =
      demandSourcesCollection().demandSourceForProductType(QBNProductType::Interstitial, adInstance->identifier());
  if (viewController) {
    if (auto presenter = productPresenterOf(presenterJSInterfaceHandler())) {
      presenter->setViewControllerForProductType(QBNProductType::Interstitial, viewController);
    }
  }
  if (!source) {
    // A show that is never answered would leave the caller waiting.
    failToAdInstance(adInstance, true, PMAHelperMethods::errorWithReason(kNotLoadedMessage, 0, std::nullopt));
    return;
  }
  Json parameters = showParams.is_object() ? showParams : Json::object();
  copyInto(parameters, adInstance->getAdInstanceConfigurationForController());
  parameters["demandSourceId"] = source->identifier();
  parameters["demandSourceName"] = source->name();
  showInterstitialFromViewController(viewController, parameters);
}

void PlovermarkAdsPublisher::destroyAdWithAdInstance(const std::shared_ptr<QuillborneAdInstance>& adInstance) {
  auto source = PMADemandSource::createDemandSourceWithAdInstance(adInstance);
  if (!source) return;
  QBNEventsTracker::logEvent(QBNEvents::destroyProduct(), Json{{"producttype", "Banner"},
                                                                {"demandsourcename", source->name()},
                                                                {"isbiddinginstance", adInstance->isInAppBidding()}});
  // The destroyed banner's source would otherwise stay for the process and
  // hear every later close-all.
  demandSourcesCollection().removeDemandSourceWithProductType(QBNProductType::Banner, source->identifier());
  Json parameters{{"demandSourceId", source->identifier()}, {"demandSourceName", source->name()}};
  copyInto(parameters, adInstance->getAdInstanceConfigurationForController());
  // The destroy withdraws the banner's load at the page too, answered or
  // not. Whatever load answer of this demand source arrives before the page
  // has run the destroy was sent before it, for a withdrawn load: dropped.
  const QBNLoadLedger::Key key{QBNProductType::Banner, source->identifier()};
  loadLedger_.beginWithdrawal(key);
  std::weak_ptr<PlovermarkAdsPublisher> weakSelf = weak_from_this();
  QBNControllerAPIData data("destroyBanner");
  data.setFunctionParameters(parameters)
      .setEncodingOptions(QBNControllerAPIData::kEncodingDecodeThenEncode)
      .setTakenCallback([weakSelf, key] {
        if (auto self = weakSelf.lock()) self->loadLedger_.endWithdrawal(key);
      });
  if (const auto manager = concreteControllerManager()) {
    manager->runCommand(data);
  } else {
    loadLedger_.endWithdrawal(key);
  }
}

bool PlovermarkAdsPublisher::isAdAvailableForAdInstance(const std::shared_ptr<QuillborneAdInstance>& adInstance) const {
  return adInstance && isInterstitialAdAvailableWithDemandSourceName(adInstance->identifier());
}

bool PlovermarkAdsPublisher::isInterstitialAdAvailableWithDemandSourceName(const std::string& demandSourceName) const {
  auto source = demandSourcesCollection().demandSourceForProductType(QBNProductType::Interstitial, demandSourceName);
  return source && source->isAdAvailable();
}

void PlovermarkAdsPublisher::showOfferWallFromViewController(const std::shared_ptr<platform::ViewController>& viewController,
                                                             const Json& parameters) {
  showProduct(QBNProductType::OfferWall, viewController, parameters);
}

void PlovermarkAdsPublisher::showRewardedVideoFromViewController(
    const std::shared_ptr<platform::ViewController>& viewController, const Json& parameters) {
  showProduct(QBNProductType::RewardedVideo, viewController, parameters);
}

void PlovermarkAdsPublisher::showInterstitialFromViewController(
    const std::shared_ptr<platform::ViewController>& viewController, const Json& parameters) {
  showProduct(QBNProductType::Interstitial, viewController, parameters);
}

void PlovermarkAdsPublisher::showProduct(int64_t productType,
                                         const std::shared_ptr<platform::ViewController>& viewController,
                                         const Json& parameters) {
  std::weak_ptr<PlovermarkAdsPublisher> weakSelf = weak_from_this();
  platform::mainQueue()->async([weakSelf, productType, viewController, parameters] {
    auto self = weakSelf.lock();
    if (!self) return;
    if (viewController) {
      if (auto presenter = productPresenterOf(self->presenterJSInterfaceHandler())) {
        presenter->setViewControllerForProductType(static_cast<uint32_t>(productType), viewController);
      }
    }
    auto manager = self->concreteControllerManager();
    if (!manager) return;
    if (productType == QBNProductType::OfferWall) {
      {
        std::lock_guard<std::mutex> lock(self->mutex_);
        if (self->parametersForOW_) self->parametersForOW_->additionalParameters() = parameters;
      }
      manager->runCommand("showOfferWall", Json{{"orientationRestriction", self->orientationDataForProductType(productType)}},
                          "showOfferWallSuccess", "showOfferWallFail", false);
      return;
    }
    self->setMRaidDefaultPosition(platform::Screen::main().bounds());
    Json command = Json::object();
    for (const char* key : {"sessionDepth", "demandSourceName"}) {
      if (parameters.is_object() && parameters.contains(key)) command[key] = parameters[key];
    }
    command["orientationRestriction"] = self->orientationDataForProductType(productType);
    const std::string name = productType == QBNProductType::RewardedVideo ? "showRewardedVideo" : "showInterstitial";
    if (productType == QBNProductType::Interstitial) copyInto(command, parameters);
    manager->runCommand(name, command, name + "Success", name + "Fail", true);
  });
}

void PlovermarkAdsPublisher::loadInterstitialWithParameters(const Json& parameters) {
  const auto manager = concreteControllerManager();
  if (!parameters.is_object() || !parameters.contains("demandSourceName") || !manager) return;
  manager->runCommand("loadInterstitial", parameters, "loadInterstitialSuccess", "loadInterstitialFail", true);
}
