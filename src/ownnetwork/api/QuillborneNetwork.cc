#include "ownnetwork/api/QuillborneNetwork.h"

#include <exception>
#include <mutex>

#include "ownnetwork/api/QBNAdDelegate.h"
#include "ownnetwork/api/QBNConfigurations.h"
#include "ownnetwork/api/QuillborneAdInstance.h"
#include "ownnetwork/api/QuillborneNetworkAPIValidator.h"
#include "ownnetwork/controller/QBNControllerManager.h"
#include "ownnetwork/publisher/PlovermarkAdsPublisher.h"
#include "ownnetwork/services/PMAHelperMethods.h"
#include "ownnetwork/services/PlovermarkLogManager.h"
#include "ownnetwork/services/QBNEvent.h"
#include "ownnetwork/services/QBNEventsTracker.h"
#include "ownnetwork/services/QBNFeaturesManager.h"
#include "ownnetwork/services/QBNOMIDManager.h"
#include "ownnetwork/token/QBNTokenService.h"

using platform::Json;

namespace {

// The process-wide values. The SDK instance is written on the API queue and
// read from any thread, so both sit behind one lock.
struct State {
  std::mutex mutex;
  std::shared_ptr<PlovermarkAdsPublisher> sdkInstance;
  std::optional<Json> consentParams;
  std::function<void()> loadHook;
};

State& state() {
  static State& s = *new State();  // lives for the process
  return s;
}

std::optional<Json> consentParams() {
  std::lock_guard<std::mutex> lock(state().mutex);
  return state().consentParams;
}

void setSdkInstance(std::shared_ptr<PlovermarkAdsPublisher> publisher) {
  std::lock_guard<std::mutex> lock(state().mutex);
  state().sdkInstance = std::move(publisher);
}

void log(const std::string& message) { PlovermarkLogManager::sharedManager().log(message, 1, 5); }

// The own network's analytics data of a load.
Json loadEventData(const QuillborneAdInstance* adInstance, const Json& loadParams) {
  Json data = Json::object();
  data["isbiddinginstance"] = adInstance && adInstance->isInAppBidding();
  data["demandsourcename"] = adInstance ? adInstance->name() : std::string();
  data["producttype"] = adInstance && adInstance->isRewarded() ? "RewardedVideo" : "Interstitial";
  if (loadParams.is_object() && loadParams.contains("isOneFlow")) data["isoneflow"] = loadParams["isOneFlow"];
  return data;
}

template <class Read>
auto readOnMain(Read read) -> decltype(read()) {
  if (platform::mainQueue()->isCurrent()) return read();
  decltype(read()) value;
  platform::mainQueue()->sync([&] { value = read(); });
  return value;
}

}  // namespace

platform::QueueRef QuillborneNetwork::getAPIQueue() {
  static platform::QueueRef& queue = *new platform::QueueRef(platform::createSerialQueue("com.quilbrn.sdkapi.queue"));
  return queue;
}

std::shared_ptr<PlovermarkAdsPublisher> QuillborneNetwork::sdkInstance() {
  std::lock_guard<std::mutex> lock(state().mutex);
  return state().sdkInstance;
}

void QuillborneNetwork::resetForTesting() {
  std::lock_guard<std::mutex> lock(state().mutex);
  state().sdkInstance.reset();
  state().consentParams.reset();
  state().loadHook = nullptr;
}

void QuillborneNetwork::setLoadHookForTesting(std::function<void()> hook) {
  std::lock_guard<std::mutex> lock(state().mutex);
  state().loadHook = std::move(hook);
}

// ------------------------------------------------------------------ init

void QuillborneNetwork::initSDKWithNetworkConfigurations(std::shared_ptr<const QBNConfigurations> configurations,
                                                         Completion completion) {
  initSDKImplementationWithConfiguration(std::move(configurations), std::move(completion));
}

void QuillborneNetwork::initSDKWithNetworkConfigurations(std::shared_ptr<const QBNConfigurations> configurations) {
  initSDKImplementationWithConfiguration(std::move(configurations), [](const std::optional<platform::Error>& error) {
    if (error) {
      log("initSDKWithNetworkConfigurations fail - " + error->message);
    } else {
      log("initSDKWithNetworkConfigurations success");
    }
  });
}

void QuillborneNetwork::initSDKImplementationWithConfiguration(std::shared_ptr<const QBNConfigurations> configurations,
                                                               Completion completion) {
  std::optional<platform::Error> error;
  QuillborneNetworkAPIValidator::validateQBNConfigurations(configurations.get(), error);
  if (error) {
    if (completion) completion(error);
    return;
  }
  getAPIQueue()->async([configurations, completion = std::move(completion)] {
    if (PlovermarkAdsPublisher::isInitialized()) {
      // An earlier init, or the offerwall, made the publisher: only missing
      // session values are filled. The completion still hears how the
      // controller's initiation ended, and the events module is prepared
      // when nothing prepared it (the offerwall does not).
      setSessionParamsWithApplicationKey(configurations->applicationKey, configurations->userId,
                                         configurations->extraParams);
      auto publisher = PlovermarkAdsPublisher::sharedInstance();
      setSdkInstance(publisher);
      if (!QBNEventsTracker::sharedTracker().tracker()) prepareEventTrackerModule(*configurations);
      auto manager = publisher ? publisher->concreteControllerManager() : nullptr;
      if (manager && completion) manager->whenInitiationSettled(completion);
      return;
    }
    prepareEventTrackerModule(*configurations);
    QBNEventsTracker::logEvent(QBNEvents::initSdk());
    PlovermarkAdsPublisher::setControllerURL(configurations->controllerURL);
    platform::Error serialisation;
    const auto configText =
        PMAHelperMethods::JSONStringFromDictionary(configurations->controllerConfig.value_or(Json::object()), &serialisation);
    PlovermarkAdsPublisher::setControllerConfig(configText.value_or("{}"));
    PlovermarkAdsPublisher::setDebugMode(configurations->debugMode);
    PlovermarkAdsPublisher::setNetworkConfig(configurations);
    PlovermarkAdsPublisher::setInitSDKCompletion(completion);
    setSdkInstance(PlovermarkAdsPublisher::sharedInstanceWithApplicationKey(
        configurations->applicationKey, configurations->userId, configurations->extraParams));
    // Consent given before init reaches the publisher now.
    updateConsentInfo(consentParams());
  });
}

void QuillborneNetwork::setSessionParamsWithApplicationKey(const std::optional<std::string>& applicationKey,
                                                           const std::optional<std::string>& userId,
                                                           const std::optional<Json>& initParams) {
  auto publisher = PlovermarkAdsPublisher::sharedInstance();
  if (!publisher) return;
  if (!publisher->getApplicationKey()) publisher->setApplicationKey(applicationKey);
  if (!publisher->getUserId()) publisher->setUserId(userId);
  if (!publisher->hasSDKInitParams()) publisher->setSDKInitParams(initParams);
}

void QuillborneNetwork::prepareEventTrackerModule(const QBNConfigurations& configurations) {
  try {
    auto configuration = QBNFeaturesManager::buildEventsConfigurationFromNetworkConfiguration(&configurations);
    if (!configuration) return;
    configuration->formatter = std::make_shared<QBNEventsFormatter>();
    (void)QBNEventsTracker::sharedTracker().init(configuration, std::make_shared<QBNEventsBaseData>(&configurations));
  } catch (const std::exception& e) {
    log(std::string("prepareEventTrackerModule failed with reason: ") + e.what());
  } catch (...) {
    log("prepareEventTrackerModule failed with reason: unknown");
  }
}

// ------------------------------------------------------------------ ads

void QuillborneNetwork::loadAdWithAdInstance(const std::shared_ptr<QuillborneAdInstance>& adInstance,
                                             const Json& loadParams) {
  Json data = loadEventData(adInstance.get(), loadParams);
  QBNEventsTracker::logEvent(QBNEvents::loadAd(), data);
  // Numbered at once, on the caller's thread: from now on an answer to an
  // earlier load of the instance belongs to a load given up on.
  const uint64_t loadRequest = adInstance ? adInstance->noteLoadRequested() : 0;
  getAPIQueue()->async([adInstance, loadParams, data, loadRequest]() mutable {
    auto publisher = sdkInstance();
    std::optional<platform::Error> error;
    QuillborneNetworkAPIValidator::validateAPIWithSDKInstance(publisher, adInstance, error);
    if (!error) {
      publisher->loadAdWithAdInstance(adInstance, loadParams, loadRequest);
      std::function<void()> hook;
      {
        std::lock_guard<std::mutex> lock(state().mutex);
        hook = state().loadHook;
      }
      if (hook) hook();
      return;
    }
    platform::mainQueue()->async([adInstance, error = *error] {
      if (!adInstance) return;
      auto listener = std::dynamic_pointer_cast<QBNAdDelegateFailedToLoad>(adInstance->adListener());
      if (listener) listener->adInstanceFailedToLoad(adInstance, error, Json());
    });
    data["callfailreason"] = error->message.empty() ? "No QuillborneAdInstance was found" : error->message;
    data["generalmessage"] = adInstance && adInstance->isInitialized() ? "initialized instance" : "uninitialized instance";
    QBNEventsTracker::logEvent(QBNEvents::loadAdFailed(), data);
  });
}

void QuillborneNetwork::loadAdWithAdInstance(const std::shared_ptr<QuillborneAdInstance>& adInstance) {
  loadAdWithAdInstance(adInstance, Json::object());
}

void QuillborneNetwork::showAdWithAdInstance(const std::shared_ptr<QuillborneAdInstance>& adInstance,
                                             const std::shared_ptr<platform::ViewController>& viewController,
                                             const Json& showParams) {
  getAPIQueue()->async([adInstance, viewController, showParams] {
    auto publisher = sdkInstance();
    std::optional<platform::Error> error;
    QuillborneNetworkAPIValidator::validateAPIWithSDKInstance(publisher, adInstance, error);
    platform::mainQueue()->async([adInstance, viewController, showParams, publisher, error] {
      if (!error) {
        publisher->showAdWithAdInstance(adInstance, viewController, showParams);
        return;
      }
      if (!adInstance) return;
      auto listener = std::dynamic_pointer_cast<QBNAdDelegateFailedToShow>(adInstance->adListener());
      if (listener) listener->adInstanceFailedToShow(adInstance, *error, Json());
    });
  });
}

void QuillborneNetwork::showAdWithAdInstance(const std::shared_ptr<QuillborneAdInstance>& adInstance,
                                             const std::shared_ptr<platform::ViewController>& viewController) {
  showAdWithAdInstance(adInstance, viewController, Json::object());
}

void QuillborneNetwork::destroyAdWithAdInstance(const std::shared_ptr<QuillborneAdInstance>& adInstance) {
  // On the API queue, the road of loads to the publisher: a load of the same
  // placement issued after this destroy (a banner loaded again at once) must
  // find the publisher and the page past the destroy. A destroy left behind
  // on the main queue would take the new load's demand source (it has the
  // same id) and its banner in the page, and the load would never be answered.
  getAPIQueue()->async([adInstance] {
    if (auto publisher = sdkInstance()) publisher->destroyAdWithAdInstance(adInstance);
  });
}

bool QuillborneNetwork::isAdAvailableForAdInstance(const std::shared_ptr<QuillborneAdInstance>& adInstance) {
  auto publisher = sdkInstance();
  std::optional<platform::Error> error;
  QuillborneNetworkAPIValidator::validateAPIWithSDKInstance(publisher, adInstance, error);
  return !error && publisher->isAdAvailableForAdInstance(adInstance);
}

// ------------------------------------------------------------------ offerwall

void QuillborneNetwork::initOfferWallWithApplicationKey(const std::optional<std::string>& applicationKey,
                                                        const std::optional<std::string>& userId,
                                                        std::weak_ptr<PMAOfferWallDelegate> delegate,
                                                        const std::optional<Json>& additionalParameters) {
  PlovermarkAdsPublisher::sharedInstance()->initOfferWallWithApplicationKey(applicationKey, userId, std::move(delegate), additionalParameters);
}

void QuillborneNetwork::showOfferWallFromViewController(const std::shared_ptr<platform::ViewController>& viewController,
                                                        const Json& parameters) {
  PlovermarkAdsPublisher::sharedInstance()->showOfferWallFromViewController(viewController, parameters);
}

void QuillborneNetwork::getOfferWallCreditsWithApplicationKey(const std::optional<std::string>& applicationKey,
                                                              const std::optional<std::string>& userId,
                                                              std::weak_ptr<PMAOfferWallDelegate> delegate) {
  PlovermarkAdsPublisher::sharedInstance()->getOfferWallCreditsWithApplicationKey(applicationKey, userId, std::move(delegate));
}

// ------------------------------------------------------------------ consent, metadata, token

void QuillborneNetwork::updateConsentInfo(const std::optional<Json>& consent) {
  if (!consent) return;
  {
    std::lock_guard<std::mutex> lock(state().mutex);
    state().consentParams = *consent;
  }
  auto publisher = sdkInstance();
  std::optional<platform::Error> error;
  QuillborneNetworkAPIValidator::validateAPIWithSDKInstance(publisher, error);
  if (error) return;
  platform::mainQueue()->async([publisher, consent = *consent] { publisher->updateConsentInfo(consent); });
}

void QuillborneNetwork::updateMetadata(const std::optional<Json>& metadata) {
  if (!metadata) return;
  platform::mainQueue()->async([metadata] { QBNTokenService::sharedService().updateTokenWithMetadata(metadata); });
}

std::optional<std::string> QuillborneNetwork::getToken() {
  return readOnMain([] { return QBNTokenService::sharedService().token(); });
}

std::optional<Json> QuillborneNetwork::getRawToken() {
  return readOnMain([]() -> std::optional<Json> {
    Json token = QBNTokenService::sharedService().getRawToken();
    if (token.is_null()) return std::nullopt;
    return token;
  });
}

std::string QuillborneNetwork::getVersion() { return PlovermarkAdsPublisher::getSDKVersion(); }

std::string QuillborneNetwork::getOmidPartnerVersion() {
  return platform::getString(QBNOMIDManager::getOmidLibInfo(), "omidPartnerVersion").value_or("");
}

std::string QuillborneNetwork::getOmidLibVersion() {
  return platform::getString(QBNOMIDManager::getOmidLibInfo(), "omidVersion").value_or("");
}
