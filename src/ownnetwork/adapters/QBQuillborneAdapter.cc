#include "ownnetwork/adapters/QBQuillborneAdapter.h"

#include "core/QBAdapterConfig.h"
#include "core/QBConfigurations.h"
#include "core/QBMetaDataUtils.h"
#include "foundation/PMESKAdNetworkService.h"
#include "foundation/QBLoggerManager.h"
#include "foundation/QBUtils.h"
#include "mediation/QBAuctionDataUtils.h"
#include "mediation/QBSessionDepthManager.h"
#include "ownnetwork/adapters/QBOwnNetworkAdapterSupport.h"
#include "ownnetwork/adapters/QBPlovermarkAdsConfiguration.h"
#include "ownnetwork/api/QBNConfigurations.h"
#include "ownnetwork/api/QuillborneAdInstance.h"
#include "ownnetwork/api/QuillborneNetwork.h"
#include "ownnetwork/api/QuillborneNetworkAPIValidator.h"
#include "platform/dispatch.h"
#include "quillborne/QBAdUnit.h"

using platform::Json;
using qbown::logApi;
using qbown::logDelegate;

namespace {

// Shared by every adapter object of the process.
struct ProcessState {
  std::mutex mutex;
  bool initRan = false;  // the shared initialisation has run
  bool consent = false;
  bool didSetConsent = false;
};

ProcessState& processState() {
  static ProcessState& s = *new ProcessState();  // lives for the process
  return s;
}

bool isRewardedUnit(const QBAdapterConfig& config) { return config.adUnit() == QBAdUnit::QB_AD_UNIT_REWARDED_VIDEO(); }

// The name's load delegate (none when no load stored one) becomes the
// delegate of the ad a show puts on screen.
template <class Map>
void keepForShow(const Map& loaded, Map& shown, const std::string& name) {
  auto found = loaded.find(name);
  shown[name] = found == loaded.end() ? typename Map::mapped_type() : found->second;
}

}  // namespace

void QBQuillborneAdapter::resetForTesting() {
  std::lock_guard<std::mutex> lock(processState().mutex);
  processState().initRan = false;
  processState().consent = false;
  processState().didSetConsent = false;
}

void QBQuillborneAdapter::initAdapter(const std::string& providerName) {
  QBBaseAdapter::initAdapter(providerName);
  logApi(__func__, "new instance " + providerName);
}

std::string QBQuillborneAdapter::version() { return qbown::kMediationSdkVersion; }
std::string QBQuillborneAdapter::sdkVersion() { return QuillborneNetwork::getVersion(); }

std::weak_ptr<QBNProductDelegate> QBQuillborneAdapter::asListener() {
  return std::static_pointer_cast<QBNProductDelegate>(std::dynamic_pointer_cast<QBQuillborneAdapter>(shared_from_this()));
}

// ------------------------------------------------------------------ shared initialisation

Json QBQuillborneAdapter::createParams() {
  Json params = Json::object();
  if (auto plugin = QBConfigurations::getConfigurations().plugin()) params["SDKPluginType"] = *plugin;
  if (auto session = QBUtils::UUIDForSession(); !session.empty()) params["sessionid"] = session;
  if (auto skan = QBUtils::getSkanDictionary(); !skan.empty()) params["skd"] = std::move(skan);
  return params;
}

void QBQuillborneAdapter::initSDK(const QBAdapterConfig& adapterConfig, const Json& extraParams) {
  logApi(__func__, "");
  {
    std::lock_guard<std::mutex> lock(processState().mutex);
    if (processState().initRan) return;
    processState().initRan = true;
  }
  const auto& mediation = QBConfigurations::getConfigurations();
  const auto& options = QBPlovermarkAdsConfiguration::configurations();
  auto record = std::make_shared<QBNConfigurations>();
  record->applicationKey = mediation.appKey();
  record->userId = mediation.userId();
  record->controllerURL = options.controllerUrl();
  if (!record->controllerURL) record->controllerURL = platform::getString(adapterConfig.settings(), "controllerUrl");
  record->debugMode = mediation.adaptersDebug() ? 3 : options.debugLevel();
  record->controllerConfig = options.controllerConfig();
  if (!record->controllerConfig && adapterConfig.settings().is_object() &&
      adapterConfig.settings().contains("controllerConfig")) {
    record->controllerConfig = adapterConfig.settings()["controllerConfig"];
  }
  if (extraParams.is_object() && !extraParams.empty()) {
    record->extraParams = extraParams;
    logApi(__func__, "init extra params:");
    for (const auto& [key, value] : extraParams.items()) {
      logApi(__func__, key + "=" + (value.is_string() ? value.get<std::string>() : value.dump()));
    }
  }
  logApi(__func__, "controllerURL = " + record->controllerURL.value_or("(null)"));
  logApi(__func__, "controllerConfig = " + (record->controllerConfig ? record->controllerConfig->dump() : "(null)"));
  logApi(__func__, "debugMode = " + std::to_string(record->debugMode));
  logApi(__func__, "applicationKey = " + record->applicationKey.value_or("(null)"));
  logApi(__func__, "userId = " + record->userId.value_or("(null)"));
  QuillborneNetwork::initSDKWithNetworkConfigurations(record, [](const std::optional<platform::Error>& error) {
    logApi("initSDK", error ? "initSDKWithNetworkConfigurations fail - " + error->message
                            : std::string("initSDKWithNetworkConfigurations success"));
  });
  bool resend = false;
  bool consent = false;
  {
    std::lock_guard<std::mutex> lock(processState().mutex);
    resend = processState().didSetConsent;
    consent = processState().consent;
  }
  if (resend) setConsent(consent);
}

void QBQuillborneAdapter::earlyInitWithAdapterConfig(const QBAdapterConfigRef& adapterConfig) {
  logApi(__func__, "");
  if (adapterConfig) initSDK(*adapterConfig, createParams());
}

// ------------------------------------------------------------------ instances and loads

std::shared_ptr<QuillborneAdInstance> QBQuillborneAdapter::getAdInstanceWithConfig(const QBAdapterConfig& adapterConfig) {
  const bool rewarded = isRewardedUnit(adapterConfig);
  const std::string name = adapterConfig.demandSourceName();
  std::lock_guard<std::mutex> lock(mutex_);
  auto& table = rewarded ? demandSourceIdToRvAd_ : demandSourceIdToIsAd_;
  if (auto found = table.find(name); found != table.end()) return found->second;
  logApi(__func__, "getAdInstanceWithConfig creating ad instance for " + name +
                       " isBidder=" + std::to_string(adapterConfig.isBidder() ? 1 : 0) +
                       " isRewarded=" + std::to_string(rewarded ? 1 : 0));
  auto instance = QuillborneAdInstanceBuilder(name, asListener())
                      .setRewarded(rewarded)
                      .setInAppBidding(adapterConfig.isBidder())
                      .setIsOneFlow(adapterConfig.isOneFlow())
                      .setExtraParameters(createParams())
                      .build();
  table[name] = instance;
  return instance;
}

Json QBQuillborneAdapter::createLoadParamsWithConfig(const QBAdapterConfig& adapterConfig,
                                                     const std::optional<std::string>& serverData) {
  Json params = Json::object();
  if (!serverData) return params;
  auto& auction = QBAuctionDataUtils::sharedInstance();
  params["adm"] = auction.getAdmFromServerData(*serverData);
  const Json extra = auction.getAuctionResponseServerDataParams(*serverData);
  if (extra.is_object()) {
    for (const auto& [key, value] : extra.items()) params[key] = value;
  }
  if (auto oneFlow = adapterConfig.isOneFlow()) params["isOneFlow"] = *oneFlow;
  return params;
}

void QBQuillborneAdapter::loadAdInternalWithConfig(const QBAdapterConfig& adapterConfig,
                                                   const std::optional<std::string>& serverData,
                                                   const RvDelegate* rvDelegate, const IsDelegate* isDelegate) {
  auto instance = getAdInstanceWithConfig(adapterConfig);
  const Json params = createLoadParamsWithConfig(adapterConfig, serverData);
  const std::string name = adapterConfig.demandSourceName();
  // The delegate is stored and the load numbered (QuillborneNetwork does it
  // before it returns) in one hold of the lock, under which the load
  // answers read both: an answer belongs either to the load before, and goes
  // to its delegate, or to this one. Nothing called here calls back.
  std::lock_guard<std::mutex> lock(mutex_);
  if (rvDelegate) demandSourceIdToRvDelegate_[name] = *rvDelegate;
  if (isDelegate) demandSourceIdToIsDelegate_[name] = *isDelegate;
  loadAdWithAdInstance(instance, params);
}

void QBQuillborneAdapter::loadAdWithAdInstance(const std::shared_ptr<QuillborneAdInstance>& adInstance,
                                               const Json& loadParams) {
  if (!adInstance) return;
  logApi(__func__, "demandSourceName = " + adInstance->name());
  if (!loadParams.empty()) {
    QuillborneNetwork::loadAdWithAdInstance(adInstance, loadParams);
  } else {
    QuillborneNetwork::loadAdWithAdInstance(adInstance);
  }
}

void QBQuillborneAdapter::setRvDelegate(const std::string& name, RvDelegate delegate) {
  std::lock_guard<std::mutex> lock(mutex_);
  demandSourceIdToRvDelegate_[name] = std::move(delegate);
}

// ------------------------------------------------------------------ rewarded video

void QBQuillborneAdapter::initAndLoadRewardedVideoWithUserId(const std::string&, const QBAdapterConfigRef& config,
                                                             const Json&, RvDelegate delegate) {
  logApi(__func__, "demandSourceName = " + config->demandSourceName());
  initSDK(*config, createParams());
  loadAdInternalWithConfig(*config, std::nullopt, &delegate, nullptr);
}

void QBQuillborneAdapter::initRewardedVideoForCallbacksWithUserId(const std::string&, const QBAdapterConfigRef& config,
                                                                  RvDelegate delegate) {
  logApi(__func__, "demandSourceName = " + config->demandSourceName());
  initSDK(*config, createParams());
  if (auto d = delegate.lock()) d->adapterRewardedVideoInitSuccess();
}

void QBQuillborneAdapter::initRewardedVideoForDemandOnlyWithUserId(const std::string&,
                                                                   const QBAdapterConfigRef& config,
                                                                   RvDelegate delegate) {
  logApi(__func__, "demandSourceName = " + config->demandSourceName());
  setRvDelegate(config->demandSourceName(), delegate);
  initSDK(*config, createParams());
  if (auto d = delegate.lock()) d->adapterRewardedVideoInitSuccess();
  std::lock_guard<std::mutex> lock(mutex_);
  isRVDemandOnly_ = true;
}

void QBQuillborneAdapter::loadRewardedVideoWithAdapterConfig(const QBAdapterConfigRef& config, const Json&,
                                                             RvDelegate delegate) {
  logApi(__func__, "demandSourceName = " + config->demandSourceName());
  loadAdInternalWithConfig(*config, std::nullopt, &delegate, nullptr);
}

void QBQuillborneAdapter::loadRewardedVideoForBiddingWithAdapterConfig(const QBAdapterConfigRef& config, const Json&,
                                                                       const std::string& serverData,
                                                                       RvDelegate delegate) {
  logApi(__func__, "demandSourceName = " + config->demandSourceName());
  loadAdInternalWithConfig(*config, serverData, &delegate, nullptr);
}

void QBQuillborneAdapter::loadRewardedVideoForDemandOnlyWithAdapterConfig(const QBAdapterConfigRef& config,
                                                                          RvDelegate) {
  logApi(__func__, "demandSourceName = " + config->demandSourceName());
  loadAdInternalWithConfig(*config, std::nullopt, nullptr, nullptr);
}

void QBQuillborneAdapter::loadRewardedVideoForDemandOnlyForBiddingWithAdapterConfig(const QBAdapterConfigRef& config,
                                                                                    const std::string& serverData,
                                                                                    RvDelegate) {
  logApi(__func__, "demandSourceName = " + config->demandSourceName());
  loadAdInternalWithConfig(*config, serverData, nullptr, nullptr);
}

void QBQuillborneAdapter::showRewardedVideoWithViewController(const platform::ViewControllerRef& viewController,
                                                              const QBAdapterConfigRef& config, RvDelegate delegate) {
  show(viewController, *config, delegate, {});
}

bool QBQuillborneAdapter::hasRewardedVideoWithAdapterConfig(const QBAdapterConfigRef& config) {
  std::shared_ptr<QuillborneAdInstance> instance;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    auto found = demandSourceIdToRvAd_.find(config->demandSourceName());
    if (found != demandSourceIdToRvAd_.end()) instance = found->second;
  }
  return instance && QuillborneNetwork::isAdAvailableForAdInstance(instance);
}

// ------------------------------------------------------------------ interstitial

void QBQuillborneAdapter::initInterstitialWithUserId(const std::string&, const QBAdapterConfigRef& config,
                                                     IsDelegate delegate) {
  logApi(__func__, "demandSourceName = " + config->demandSourceName());
  initSDK(*config, createParams());
  if (auto d = delegate.lock()) d->adapterInterstitialInitSuccess();
}

void QBQuillborneAdapter::initInterstitialForBiddingWithUserId(const std::string& userId,
                                                               const QBAdapterConfigRef& config,
                                                               IsDelegate delegate) {
  initInterstitialWithUserId(userId, config, std::move(delegate));
}

void QBQuillborneAdapter::loadInterstitialWithAdapterConfig(const QBAdapterConfigRef& config, const Json&,
                                                            IsDelegate delegate) {
  logApi(__func__, "demandSourceName = " + config->demandSourceName());
  loadAdInternalWithConfig(*config, std::nullopt, nullptr, &delegate);
}

void QBQuillborneAdapter::loadInterstitialForBiddingWithAdapterConfig(const QBAdapterConfigRef& config, const Json&,
                                                                      const std::string& serverData,
                                                                      IsDelegate delegate) {
  logApi(__func__, "demandSourceName = " + config->demandSourceName());
  loadAdInternalWithConfig(*config, serverData, nullptr, &delegate);
}

void QBQuillborneAdapter::showInterstitialWithViewController(const platform::ViewControllerRef& viewController,
                                                             const QBAdapterConfigRef& config, IsDelegate delegate) {
  show(viewController, *config, {}, delegate);
}

bool QBQuillborneAdapter::hasInterstitialWithAdapterConfig(const QBAdapterConfigRef& config) {
  std::shared_ptr<QuillborneAdInstance> instance;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    auto found = demandSourceIdToIsAd_.find(config->demandSourceName());
    if (found != demandSourceIdToIsAd_.end()) instance = found->second;
  }
  return instance && QuillborneNetwork::isAdAvailableForAdInstance(instance);
}

// ------------------------------------------------------------------ show

void QBQuillborneAdapter::show(const platform::ViewControllerRef& viewController, const QBAdapterConfig& config,
                               const RvDelegate& rvShowDelegate, const IsDelegate& isShowDelegate) {
  const bool rewarded = isRewardedUnit(config);
  const QBAdUnit unit = rewarded ? QBAdUnit::QB_AD_UNIT_REWARDED_VIDEO() : QBAdUnit::QB_AD_UNIT_INTERSTITIAL();
  const int depth = QBSessionDepthManager::sharedManager().getSessionDepth(unit);
  const std::string name = config.demandSourceName();
  std::shared_ptr<QuillborneAdInstance> instance;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    auto& table = rewarded ? demandSourceIdToRvAd_ : demandSourceIdToIsAd_;
    if (auto found = table.find(name); found != table.end()) instance = found->second;
    // The ad going on screen is the one the delegate stored at load asked
    // for; a load under the same name while it shows stores a delegate of
    // its own, which must not hear this ad's open, reward or close.
    if (instance && rewarded) {
      keepForShow(demandSourceIdToRvDelegate_, demandSourceIdToRvShowDelegate_, name);
    } else if (instance) {
      keepForShow(demandSourceIdToIsDelegate_, demandSourceIdToIsShowDelegate_, name);
    }
  }
  logApi(__func__, "demandSourceName = " + name);
  if (!instance) {
    // Nothing was ever loaded under this name: the own network has no
    // listener to tell, so the mediation hears the failure here rather than
    // waiting for a show that never ends.
    const auto failure = QuillborneNetworkAPIError::adInstanceNotFoundError();
    const QBError error(failure.domain, failure.code, failure.message);
    auto rv = rewarded ? rvShowDelegate.lock() : nullptr;
    auto is = rewarded ? nullptr : isShowDelegate.lock();
    platform::mainQueue()->async([rv, is, error] {
      if (rv) rv->adapterRewardedVideoDidFailToShowWithError(error);
      if (is) is->adapterInterstitialDidFailToShowWithError(error);
    });
    return;
  }
  const Json params{{"demandSourceName", name}, {"sessionDepth", static_cast<unsigned>(depth < 0 ? 0 : depth)}};
  platform::mainQueue()->async([instance, viewController, params] {
    QuillborneNetwork::showAdWithAdInstance(instance, viewController, params);
  });
}

// ------------------------------------------------------------------ consent and metadata

void QBQuillborneAdapter::setConsent(bool consent) {
  logApi(__func__, std::string("setConsent consent = ") + (consent ? "YES" : "NO"));
  {
    std::lock_guard<std::mutex> lock(processState().mutex);
    processState().consent = consent;
    processState().didSetConsent = true;
  }
  QuillborneNetwork::updateMetadata(Json{{"consent", consent ? "1" : "0"}});
}

void QBQuillborneAdapter::setMetaDataWithKey(const std::string& key, const std::vector<std::string>& values) {
  if (values.empty()) return;
  // A valid do-not-sell value reaches the token whenever it is given: the
  // token is read at every auction, also after the shared initialisation.
  logApi(__func__, "key = " + key + ", value = " + values.front());
  if (QBMetaDataUtils::isValidCCPAMetaDataWithKey(key, values.front())) {
    QuillborneNetwork::updateMetadata(Json{{key, values.front()}});
  } else {
    logApi(__func__, "MetaData not valid");
  }
}
