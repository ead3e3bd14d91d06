#include "ownnetwork/services/QBNFeaturesManager.h"

#include "foundation/PMEDeviceStatus.h"
#include "ownnetwork/api/QBNConfigurations.h"
#include "ownnetwork/services/QBNJsonValues.h"
#include "platform/device.h"

namespace {

using platform::Json;

constexpr char kDefaultMinOSVersion[] = "10.0";

Json objectMember(const Json& object, const char* key) {
  if (!object.is_object()) return Json::object();
  auto it = object.find(key);
  return it != object.end() && it->is_object() ? *it : Json::object();
}

std::optional<Json> optionalMember(const Json& object, const char* key) {
  if (!object.is_object()) return std::nullopt;
  auto it = object.find(key);
  if (it == object.end()) return std::nullopt;
  return *it;
}

}  // namespace

QBNFeaturesManager& QBNFeaturesManager::sharedManager() {
  static QBNFeaturesManager& manager = *new QBNFeaturesManager();  // lives for the process
  return manager;
}

QBNFeaturesManager::QBNFeaturesManager()
    : supply_(std::make_shared<const Json>(Json::object())), debug_(std::make_shared<const Json>(Json::object())) {}

std::shared_ptr<const Json> QBNFeaturesManager::supply() const {
  std::lock_guard lock(mutex_);
  return supply_;
}

Json QBNFeaturesManager::supplyConfigurations() const { return *supply(); }

Json QBNFeaturesManager::debugConfigurations() const {
  std::shared_ptr<const Json> debug;
  {
    std::lock_guard lock(mutex_);
    debug = debug_;
  }
  return *debug;
}

void QBNFeaturesManager::updateSupplyConfigurations(const std::optional<Json>& configurations) {
  if (!configurations || !configurations->is_object()) return;
  auto fresh = std::make_shared<const Json>(*configurations);
  std::lock_guard lock(mutex_);
  supply_.swap(fresh);
}

void QBNFeaturesManager::updateDebugConfigurations(const std::optional<Json>& configurations) {
  if (!configurations || !configurations->is_object()) return;
  auto fresh = std::make_shared<const Json>(*configurations);
  std::lock_guard lock(mutex_);
  debug_.swap(fresh);
}

bool QBNFeaturesManager::isSDKSupportingCurrentOSVersion() const {
  const auto value = optionalMember(*supply(), "minOSVersionSupport");
  std::string minimum = kDefaultMinOSVersion;
  if (value && value->is_string()) {
    minimum = value->get<std::string>();
  } else if (value && value->is_number()) {
    minimum = qbnjson::description(*value);
  }
  return PMEDeviceStatus::compareVersions(platform::deviceFacts().facts().osVersion, minimum) >= 0;
}

int64_t QBNFeaturesManager::getDebugMode() const {
  std::shared_ptr<const Json> debug;
  {
    std::lock_guard lock(mutex_);
    debug = debug_;
  }
  return qbnjson::integerValue(*debug, "debugMode");
}

bool QBNFeaturesManager::shouldGetCellularNetworkType() const {
  return optionalMember(*supply(), "cellularNetworkType").has_value();
}

bool QBNFeaturesManager::shouldGetAuthorizationStatusByReflection() const {
  return qbnjson::boolValue(*supply(), "attReflection").value_or(true);
}

bool QBNFeaturesManager::networkBool(const char* key, bool fallback) const {
  return qbnjson::boolValue(getNetworkConfigurationsFromControllerConfig(), key).value_or(fallback);
}

bool QBNFeaturesManager::shouldBlockMultiplePresentationStoreKitCallInRow() const {
  return networkBool("BlockMultipleSKCalles", true);
}

bool QBNFeaturesManager::allowExternalLinksActivationInWPAD() const { return networkBool("allowLinksInWpad", true); }

bool QBNFeaturesManager::useWindowOrientationFallback() const {
  return networkBool("useWindowOrientationFallback", false);
}

bool QBNFeaturesManager::shouldHandleWebViewTerminated() const {
  return networkBool("handleWebViewTerminated", false);
}

std::optional<Json> QBNFeaturesManager::getDataManagerConfig() const {
  auto value = optionalMember(getNetworkConfigurationsFromControllerConfig(), "dataManager");
  if (!value || !value->is_object()) return std::nullopt;
  return value;
}

Json QBNFeaturesManager::getNetworkConfigurationsFromControllerConfig() const {
  return objectMember(*supply(), "networkConfig");
}

const std::vector<std::string>& QBNFeaturesManager::supportedNativeFeatures() {
  static const std::vector<std::string>& features = *new std::vector<std::string>{
      "storeKitDismissVCOnFinishCallback", "loadStoreKitOncePerAd", "webviewperad-v1",
      "SKOverlay",                         "bannerMultipleInstances", "lastUpdateTimeRemoval",
      "qbnFileSystemAPI",                  "SKAdImpression",        "bannersOpenMeasurement",
      "handleWebViewTerminated",           "useWindowOrientationFallback"};
  return features;
}

std::shared_ptr<QBEventsConfiguration> QBNFeaturesManager::buildEventsConfigurationFromNetworkConfiguration(
    const QBNConfigurations* configurations) {
  if (!configurations || !configurations->controllerConfig) return nullptr;
  const auto network = optionalMember(*configurations->controllerConfig, "networkConfig");
  if (!network || !network->is_object()) return nullptr;
  const auto events = optionalMember(*network, "events");
  if (!events || !events->is_object()) return nullptr;
  auto configuration = std::make_shared<QBEventsConfiguration>();
  if (auto endpoint = optionalMember(*events, "endpoint"); endpoint && endpoint->is_string()) {
    configuration->endpoint = endpoint->get<std::string>();
  }
  configuration->areEventsEnabled = qbnjson::boolValue(*events, "enabled").value_or(false);
  if (auto headers = optionalMember(*events, "headers"); headers && headers->is_object()) {
    configuration->requestHeaders = *headers;
  }
  if (auto method = optionalMember(*events, "httpMethod"); method && method->is_string()) {
    configuration->httpMethod = method->get<std::string>();
  }
  return configuration;
}

void QBNFeaturesManager::resetForTesting() {
  auto emptySupply = std::make_shared<const Json>(Json::object());
  auto emptyDebug = std::make_shared<const Json>(Json::object());
  std::lock_guard lock(mutex_);
  supply_.swap(emptySupply);
  debug_.swap(emptyDebug);
}
