#include "ownnetwork/adapters/QBPlovermarkAdsAdapter.h"

#include <cmath>

#include "core/QBAdapterConfig.h"
#include "core/QBConfigurations.h"
#include "core/QBMetaDataUtils.h"
#include "foundation/PMESKAdNetworkService.h"
#include "foundation/QBUtils.h"
#include "ownnetwork/adapters/QBOwnNetworkAdapterSupport.h"
#include "ownnetwork/adapters/QBPlovermarkAdsConfiguration.h"
#include "ownnetwork/api/QuillborneNetwork.h"
#include "ownnetwork/publisher/PlovermarkAdsPublisher.h"
#include "platform/crypto.h"
#include "platform/dispatch.h"

using platform::Json;
using qbown::logApi;
using qbown::logDelegate;

namespace {

struct ProcessState {
  std::mutex mutex;
  bool didSetInit = false;
  bool settingsPushed = false;
};

ProcessState& processState() {
  static ProcessState& s = *new ProcessState();  // lives for the process
  return s;
}

// The integer a number, boolean or decimal text stands for; none otherwise.
std::optional<int64_t> integerValue(const std::optional<Json>& value) {
  if (!value) return std::nullopt;
  if (value->is_boolean()) return value->get<bool>() ? 1 : 0;
  if (value->is_number()) {
    const double number = value->get<double>();
    if (!std::isfinite(number)) return std::nullopt;
    return static_cast<int64_t>(number);
  }
  if (value->is_string()) {
    try {
      return std::stoll(value->get<std::string>());
    } catch (...) {
      return std::nullopt;
    }
  }
  return std::nullopt;
}

std::optional<std::string> text(const std::optional<Json>& value) {
  if (value && value->is_string()) return value->get<std::string>();
  return std::nullopt;
}

const char* productName(const std::string& product) {
  if (product == "RV") return "Rewarded Video";
  if (product == "IS") return "Interstitial";
  if (product == "OW") return "Offerwall";
  if (product == "BN") return "Banner";
  return "";
}

}  // namespace

void QBPlovermarkAdsAdapter::resetForTesting() {
  std::lock_guard<std::mutex> lock(processState().mutex);
  processState().didSetInit = false;
  processState().settingsPushed = false;
}

void QBPlovermarkAdsAdapter::initAdapter(const std::string& providerName) {
  QBBaseAdapter::initAdapter(providerName);
  std::lock_guard<std::mutex> lock(mutex_);
  applicationKey_ = QBConfigurations::getConfigurations().appKey();
  logApi(__func__, "ctor");
}

std::string QBPlovermarkAdsAdapter::version() { return qbown::kMediationSdkVersion; }
std::string QBPlovermarkAdsAdapter::sdkVersion() { return PlovermarkAdsPublisher::getSDKVersion(); }

// ------------------------------------------------------------------ consent and metadata

void QBPlovermarkAdsAdapter::setConsent(bool consent) {
  logApi(__func__, std::string("setConsent consent = ") + (consent ? "YES" : "NO"));
  {
    std::lock_guard<std::mutex> lock(mutex_);
    consent_ = consent;
    didSetConsent_ = true;
  }
  applyConsent(consent);
}

void QBPlovermarkAdsAdapter::applyConsent(bool consent) {
  std::shared_ptr<PlovermarkAdsPublisher> publisher;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    publisher = instance_;
  }
  if (!publisher) return;
  logApi(__func__, std::string("consent = ") + (consent ? "YES" : "NO"));
  const Json data{{"gdprConsentStatus", consent ? "true" : "false"}, {"demandSourceName", adapterName()}};
  platform::mainQueue()->async([publisher, data] { publisher->updateConsentInfo(data); });
}

void QBPlovermarkAdsAdapter::setMetaDataWithKey(const std::string& key, const std::vector<std::string>& values) {
  if (values.empty()) return;
  // As the own-network adapter: a valid do-not-sell value reaches the token
  // also after the offerwall's initialisation.
  logApi(__func__, "key = " + key + ", value = " + values.front());
  if (QBMetaDataUtils::isValidCCPAMetaDataWithKey(key, values.front())) {
    QuillborneNetwork::updateMetadata(Json{{key, values.front()}});
  } else {
    logApi(__func__, "MetaData not valid");
  }
}

// ------------------------------------------------------------------ options

void QBPlovermarkAdsAdapter::validateOWOptionalParams() {
  auto& options = QBPlovermarkAdsConfiguration::configurations();
  const auto value = options.useClientSideCallbacks();
  if (!value) return;
  const auto integer = integerValue(value);
  if (integer != 1 && integer != 0) {
    options.setUseClientSideCallbacks(std::nullopt);
    logApi(__func__, "useClientSideCallbacks value is not valid for Quillborne - value should be YES/NO");
  }
}

void QBPlovermarkAdsAdapter::validateQuillborneOptionalParams() {
  auto& options = QBPlovermarkAdsConfiguration::configurations();
  if (const auto language = options.language()) {
    const auto code = text(language);
    if (!code || code->size() != 2 || !checkRegWithVal(*code, "^[a-zA-Z]+$")) {
      options.setLanguage(std::nullopt);
      logApi(__func__, "language value is not valid for Quillborne - please provide 2 letters language code");
    }
  }
  const auto itemName = options.itemName();
  const auto itemCount = options.itemCount();
  const auto privateKey = options.privateKey();
  if (!itemName && !itemCount && !privateKey) return;
  const char* failure = nullptr;
  const auto name = text(itemName);
  const auto count = integerValue(itemCount);
  const auto key = text(privateKey);
  if (!name || name->empty() || name->size() > 50) {
    failure = "Please provide a correct itemName for Quillborne configuration in order to modify your rewards settings";
  } else if (!count || *count < 1 || *count > 100000) {
    failure = "Please provide a correct itemCount for Quillborne configuration in order to modify your rewards settings";
  } else if (!key || key->size() < 5 || key->size() > 30 || !checkRegWithVal(*key, "^[0-9a-zA-Z]+$")) {
    failure =
        "Please provide a correct privateKey for Quillborne configuration in order to modify your rewards settings";
  }
  if (!failure) return;
  logApi(__func__, failure);
  options.setItemName(std::nullopt);
  options.setItemCount(std::nullopt);
  options.setPrivateKey(std::nullopt);
}

std::string QBPlovermarkAdsAdapter::md5(const std::string& value) { return platform::md5Hex(value); }

bool QBPlovermarkAdsAdapter::checkRegWithVal(const std::string& value, const std::string& pattern) {
  return QBUtils::matchesPattern(value, pattern);
}

std::string QBPlovermarkAdsAdapter::paramsToString(const Json& params) {
  std::string out;
  if (!params.is_object()) return out;
  for (const auto& [key, value] : params.items()) {
    if (value.is_null()) continue;
    out += key + "=" + (value.is_string() ? value.get<std::string>() : value.dump()) + ";";
  }
  return out;
}

std::optional<Json> QBPlovermarkAdsAdapter::createParams(const std::optional<Json>& customParams,
                                                         const std::string& product) {
  const auto& options = QBPlovermarkAdsConfiguration::configurations();
  Json params = Json::object();
  if (customParams && customParams->is_object()) {
    for (const auto& [key, value] : customParams->items()) params["custom_" + key] = value;
    params.erase("custom_");
  }
  if (auto session = QBUtils::UUIDForSession(); !session.empty()) params["sessionid"] = session;
  params["productType"] = productName(product);
  if (auto plugin = QBConfigurations::getConfigurations().plugin()) params["SDKPluginType"] = *plugin;
  if (auto skan = QBUtils::getSkanDictionary(); !skan.empty()) params["skd"] = std::move(skan);
  if (auto language = text(options.language()); language && !language->empty()) params["language"] = *language;
  if (auto commission = options.minimumOfferCommission(); commission && !commission->empty()) {
    params["minimumOfferCommission"] = *commission;
    if (auto key = text(options.privateKey()); key && !key->empty()) {
      params["minimumOfferCommissionSignature"] = md5(*commission + *key);
    }
  }
  if (integerValue(options.useClientSideCallbacks()) == 1) params["useClientSideCallbacks"] = "true";
  if (params.empty()) return std::nullopt;
  return params;
}

void QBPlovermarkAdsAdapter::setSDK5ParametersWithAdapterConfig(const QBAdapterConfigRef& adapterConfig) {
  {
    std::lock_guard<std::mutex> lock(processState().mutex);
    if (processState().settingsPushed) return;
    processState().settingsPushed = true;
  }
  const auto& options = QBPlovermarkAdsConfiguration::configurations();
  const Json settings = adapterConfig ? adapterConfig->settings() : Json::object();
  auto url = options.controllerUrl();
  if (!url) url = platform::getString(settings, "controllerUrl");
  logApi(__func__, "controllerUrl = " + url.value_or("(null)"));
  PlovermarkAdsPublisher::setControllerURL(url);
  const int64_t debug = QBConfigurations::getConfigurations().adaptersDebug() ? 3 : options.debugLevel();
  logApi(__func__, "setting debug mode to " + std::to_string(debug));
  PlovermarkAdsPublisher::setDebugMode(debug);
  auto config = options.controllerConfig();
  if (!config && settings.is_object() && settings.contains("controllerConfig")) config = settings["controllerConfig"];
  if (!config) return;
  try {
    const std::string json = config->dump(4);
    logApi(__func__, "controllerConfig = " + config->dump());
    PlovermarkAdsPublisher::setControllerConfig(json);
  } catch (const std::exception& e) {
    logApi(__func__, std::string("error = ") + e.what());
  }
}

// ------------------------------------------------------------------ offerwall

void QBPlovermarkAdsAdapter::initOfferWallWithUserId(const std::string& userId, const QBAdapterConfigRef& adapterConfig,
                                                     std::weak_ptr<QBOfferwallAdapterDelegate> delegate) {
  logApi(__func__, "");
  {
    std::lock_guard<std::mutex> lock(mutex_);
    owDelegate_ = std::move(delegate);
  }
  validateOWOptionalParams();
  validateQuillborneOptionalParams();
  const auto params = createParams(QBConfigurations::getConfigurations().offerwallCustomParameters(), "OW");
  const std::string strParams = params ? paramsToString(*params) : std::string();
  std::weak_ptr<QBBaseAdapter> weakSelf = weak_from_this();
  platform::mainQueue()->async([weakSelf, adapterConfig, userId, params, strParams] {
    auto base = weakSelf.lock();
    auto self = std::dynamic_pointer_cast<QBPlovermarkAdsAdapter>(base);
    if (!self) return;
    setSDK5ParametersWithAdapterConfig(adapterConfig);
    auto publisher = PlovermarkAdsPublisher::sharedInstance();
    bool consent = false;
    bool didSetConsent = false;
    std::string applicationKey;
    {
      std::lock_guard<std::mutex> lock(self->mutex_);
      self->instance_ = publisher;
      consent = self->consent_;
      didSetConsent = self->didSetConsent_;
      applicationKey = self->applicationKey_;
    }
    if (didSetConsent) self->applyConsent(consent);
    publisher->initOfferWallWithApplicationKey(applicationKey, userId,
                                               std::static_pointer_cast<PMAOfferWallDelegate>(self), params);
    {
      std::lock_guard<std::mutex> lock(processState().mutex);
      processState().didSetInit = true;
    }
    logApi("initOfferWallWithUserId", "_applicationKey = " + applicationKey);
    logApi("initOfferWallWithUserId", "userId = " + userId);
    logApi("initOfferWallWithUserId", "strParams = " + strParams);
  });
}

void QBPlovermarkAdsAdapter::showOfferwallWithViewController(const platform::ViewControllerRef& viewController,
                                                             const std::string& placement) {
  auto params = createParams(QBConfigurations::getConfigurations().offerwallCustomParameters(), "OW");
  if (!placement.empty()) {
    if (!params) params = Json::object();
    (*params)["placementId"] = placement;
  }
  PlovermarkAdsPublisher::sharedInstance()->showOfferWallFromViewController(viewController,
                                                                            params.value_or(Json::object()));
  std::string applicationKey;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    applicationKey = applicationKey_;
  }
  logApi(__func__, "_applicationKey = " + applicationKey);
  logApi(__func__, "strParams = " + (params ? paramsToString(*params) : std::string()));
}

void QBPlovermarkAdsAdapter::getOfferWallCreditsWithUserId(const std::string& userId) {
  std::string applicationKey;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    applicationKey = applicationKey_;
  }
  PlovermarkAdsPublisher::sharedInstance()->getOfferWallCreditsWithApplicationKey(
      applicationKey, userId,
      std::static_pointer_cast<PMAOfferWallDelegate>(std::dynamic_pointer_cast<QBPlovermarkAdsAdapter>(shared_from_this())));
  logApi(__func__, "_applicationKey = " + applicationKey);
  logApi(__func__, "userId = " + userId);
}

bool QBPlovermarkAdsAdapter::hasOfferwall() {
  std::lock_guard<std::mutex> lock(mutex_);
  return isOfferwallAvailable_;
}

// ------------------------------------------------------------------ offerwall callbacks

std::shared_ptr<QBOfferwallAdapterDelegate> QBPlovermarkAdsAdapter::delegate() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return owDelegate_.lock();
}

void QBPlovermarkAdsAdapter::pmaInitOfferWallSuccess() {
  logDelegate(__func__, "");
  if (auto d = delegate()) d->adapterOfferwallHasChangedAvailability(true, std::nullopt);
  std::lock_guard<std::mutex> lock(mutex_);
  isOfferwallAvailable_ = true;
}

void QBPlovermarkAdsAdapter::pmaInitOfferWallFailedWithError(const platform::Error& error) {
  logDelegate(__func__, "error = " + error.message);
  if (auto d = delegate()) d->adapterOfferwallHasChangedAvailability(false, qbown::toQBError(error));
  std::lock_guard<std::mutex> lock(mutex_);
  isOfferwallAvailable_ = false;
}

void QBPlovermarkAdsAdapter::pmaOfferWallShowSuccess(const std::optional<std::string>& placementId) {
  logDelegate(__func__, "placementId = " + placementId.value_or("(null)"));
  if (auto d = delegate()) d->adapterOfferwallDidShow();
}

void QBPlovermarkAdsAdapter::pmaOfferWallShowFailedWithError(const platform::Error& error) {
  logDelegate(__func__, "error = " + error.message);
  if (auto d = delegate()) d->adapterOfferwallDidFailToShowWithError(QBError("Quillborne", 510, error.message));
}

void QBPlovermarkAdsAdapter::pmaOfferWallDidClose() {
  logDelegate(__func__, "");
  if (auto d = delegate()) d->adapterOfferwallDidClose();
}

void QBPlovermarkAdsAdapter::pmaOfferwallDidFailGettingCreditWithError(const platform::Error& error) {
  logDelegate(__func__, "error = " + error.message);
  if (auto d = delegate()) d->adapterOfferwallDidFailToReceiveCreditsWithError(qbown::toQBError(error));
}

bool QBPlovermarkAdsAdapter::pmaOfferWallDidReceiveCredit(const Json& creditInfo) {
  logDelegate(__func__, "");
  auto d = delegate();
  return d && d->adapterOfferwallDidReceiveCredits(creditInfo);
}
