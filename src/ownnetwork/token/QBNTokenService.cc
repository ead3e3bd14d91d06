#include "ownnetwork/token/QBNTokenService.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <exception>
#include <functional>

#include "foundation/PMEApplicationContext.h"
#include "foundation/PMEDeviceStatus.h"
#include "foundation/PMEReachability.h"
#include "foundation/QBUserDefaultsUtilities.h"
#include "measurement/sdk/OMIDQuilbrnSDK.h"
#include "ownnetwork/api/QBNConfigurations.h"
#include "ownnetwork/services/PMAHelperMethods.h"
#include "ownnetwork/services/PlovermarkLogManager.h"
#include "ownnetwork/interfaces/QBNAppOrientationSourceP.h"
#include "ownnetwork/services/QBNFeaturesManager.h"
#include "ownnetwork/services/QBNJsonValues.h"
#include "ownnetwork/token/QBNNetworkGlobalDataWriter.h"
#include "platform/crypto.h"
#include "platform/device.h"
#include "platform/storage.h"
#include "platform/ui/application.h"

namespace {

using platform::Json;

constexpr int kLogTag = 6;
constexpr char kClassName[] = "QBNTokenService";

void log(const std::string& method, const std::string& detail = {}) {
  PlovermarkLogManager::sharedManager().log(
      std::string(kClassName) + " | " + method + (detail.empty() ? "" : " | " + detail), 1, kLogTag);
}

// Logs a line whose detail is costly to build (a whole dictionary) only when
// the log would write it.
void logDescribing(const std::string& method, const char* label, const std::optional<Json>& value) {
  if (!PlovermarkLogManager::sharedManager().shouldLog(1)) return;
  log(method, std::string(label) + (value ? qbnjson::description(*value) : std::string("<null>")));
}

void logException(const std::string& method, const std::string& reason) {
  log(method, "exception: " + reason);
}

// Runs `gather`, logging an exception it lets out; what it merged before the
// exception stays merged.
void guarded(const std::string& method, const std::function<void()>& gather) {
  try {
    gather();
  } catch (const std::exception& e) {
    logException(method, e.what()[0] != '\0' ? e.what() : "unknown");
  } catch (...) {
    logException(method, "unknown");
  }
}

// A number as the platform writes it in text ("3", "2.5").
std::string numberText(double value) { return qbnjson::description(Json(value)); }

// What a decimal number formatter makes of a carrier code: the number, or 0
// for a text that holds none.
Json decimalNumber(const std::string& text) {
  int64_t integer = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), integer);
  if (ec == std::errc() && end == text.data() + text.size() && !text.empty()) return integer;
  double real = 0;
  auto [realEnd, realEc] = std::from_chars(text.data(), text.data() + text.size(), real);
  if (realEc == std::errc() && realEnd == text.data() + text.size() && !text.empty()) return real;
  return 0;
}

// An uptime as text; "" when its 32-bit integer value is 0.
std::string uptimeText(int64_t ms) { return static_cast<int32_t>(ms) == 0 ? std::string() : std::to_string(ms); }

std::string upperCased(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  return text;
}

// The permanent entries in table order, handed to `merge` as they are
// gathered: the first eleven together, the others one by one.
void gatherPermanent(const std::function<void(const Json&)>& merge) {
  const std::string osVersion = platform::deviceFacts().facts().osVersion;
  const size_t dot = osVersion.find('.');
  Json first = Json::object();
  first["deviceModel"] = PMAHelperMethods::platformString();
  first["bundleId"] = platform::bundleIdentifier();
  const uint64_t appOrientation = QBNAppOrientationSourceP::currentAppOrientation();
  first["appOrientation"] = QBNAppOrientationSourceP::controllerString(appOrientation).value_or("");
  first["deviceOEM"] = "Apple";
  first["deviceOs"] = "ios";
  first["deviceOSVersion"] = osVersion;
  first["deviceApiLevel"] = dot == std::string::npos ? osVersion : osVersion.substr(0, dot);
  first["SDKVersion"] = kQBNSDKVersion;
  first["deviceScreenScale"] = numberText(platform::Screen::main().scale());
  first["appVersion"] = PMEApplicationContext::getAppVersion().value_or("");
  first["iphoneAppOnIpadDevice"] = PMAHelperMethods::isIphoneAppOnIpadDevice() ? 1 : 0;
  merge(first);
  if (PMEApplicationContext::getAllowsArbitraryLoadsFlagInATS()) merge(Json{{"allowArbitraryLoads", true}});
  if (PMEApplicationContext::getAllowsArbitraryLoadsInWebContentFlagInATS()) {
    merge(Json{{"allowArbitraryLoadsInWebContent", true}});
  }
  const auto carrier = platform::deviceFacts().facts().carrierName;
  if (carrier && !carrier->empty()) merge(Json{{"mobileCarrier", *carrier}});
  merge(Json{{"omidVersion", OMIDQuilbrnSDK::versionString()}});
  merge(Json{{"omidPartnerVersion", kOMIDQuilbrnPartnerVersion}});
  const auto boot = PMEDeviceStatus().systemBootTime();
  merge(Json{{"bt", boot ? std::to_string(*boot) : std::string()}});
}

Json gatherMutable() {
  // One read of the device facts serves every entry: on this platform each
  // read walks the system's files.
  const platform::DeviceFacts facts = platform::deviceFacts().facts();
  const PMEDeviceStatus status(facts);
  auto& features = QBNFeaturesManager::sharedManager();
  const auto reachability = PMEReachabilityManager::sharedManager()->getReachabilityObject();
  const platform::Rect bounds = platform::Screen::main().bounds();
  Json data = Json::object();
  data["connectionType"] = reachability->getDeviceReachabilityType();
  data["isLimitAdTrackingEnabled"] = !status.isAdvertisingTrackingEnabled();
  data["deviceLanguage"] = upperCased(facts.language);
  data["deviceVolume"] = status.volume();
  data["diskFreeSize"] = std::to_string(facts.freeDiskBytes >> 20);  // as getFreeDiskspace: whole MiB
  data["displaySizeWidth"] = numberText(bounds.size.width);
  data["displaySizeHeight"] = numberText(bounds.size.height);
  data["localTime"] = std::to_string(status.localTime());
  data["timezoneOffset"] = std::to_string(-status.timezoneOffset());
  data["mcc"] = decimalNumber(status.mobileCountryCode());
  data["mnc"] = decimalNumber(status.mobileNetworkCode());
  data["icc"] = status.isoCountryCode();
  data["deviceIds[IFA]"] = status.advertiserId().value_or("");
  data["lpm"] = status.lowPowerModeEnabled();
  if (const std::string zone = status.timeZoneId(); !zone.empty()) data["tz"] = zone;
  if (features.shouldGetCellularNetworkType()) data["cellularNetworkType"] = reachability->getCellularNetworkType();
  if (auto vendor = status.getVendorIdIfAllowed()) data["deviceIds[IDFV]"] = *vendor;
  if (features.shouldGetAuthorizationStatusByReflection()) {
    // The status the tracking-authorization service reads, from the same snapshot.
    if (auto att = facts.trackingAuthorizationStatus) data["att"] = *att;
  }
  data["ut"] = uptimeText(status.systemUptime());
  data["uts"] = uptimeText(status.systemFullUptime());
  return data;
}

// Compact JSON text of the token; none (logged) when it cannot be serialised.
std::optional<std::string> jsonText(const Json& token) {
  platform::Error error;
  auto text = PMAHelperMethods::JSONStringFromDictionary(token, &error);
  if (!text) log("getTokenAsString", "Failed parse tokenData as JSON | error: " + PMAHelperMethods::errorDescription(error));
  return text;
}

}  // namespace

QBNTokenService& QBNTokenService::sharedService() {
  static QBNTokenService& service = *new QBNTokenService();  // lives for the process
  return service;
}

QBNTokenService::QBNTokenService()
    : relevantKeysInConfig_{"chinaCDN", "applicationUserGender", "applicationUserAgeGroup", "SDKPluginType"},
      tokenData_(Json::object()) {
  updateTokenWithPermanentData();
}

Json QBNTokenService::snapshot() const {
  std::lock_guard lock(mutex_);
  return tokenData_;
}

void QBNTokenService::merge(const Json& entries) {
  if (!entries.is_object() || entries.empty()) return;
  std::lock_guard lock(mutex_);
  for (const auto& [key, value] : entries.items()) tokenData_[key] = value;
}

void QBNTokenService::updateTokenWithData(const std::optional<Json>& data) {
  logDescribing("updateTokenWithData", "data: ", data);
  if (data) merge(*data);
}

void QBNTokenService::updateTokenWithControllerConfigData(const std::optional<std::string>& controllerConfig) {
  log("updateTokenWithControllerConfigData");
  if (!controllerConfig || controllerConfig->empty()) return;
  auto parsed = platform::parseJson(*controllerConfig);
  if (!parsed || !parsed.value().is_object()) return;
  Json relevant = Json::object();
  for (const auto& [key, value] : parsed.value().items()) {
    if (shouldAppendDataFromConfigWithKey(key)) relevant[key] = value;
  }
  merge(relevant);
}

void QBNTokenService::updateTokenWithNetworkConfigData(const QBNConfigurations* configurations) {
  log("updateTokenWithNetworkConfigData");
  if (!configurations) return;
  Json identity = Json::object();
  if (configurations->applicationKey) identity["applicationKey"] = *configurations->applicationKey;
  if (configurations->userId && !configurations->userId->empty()) {
    identity["applicationUserId"] = *configurations->userId;
  }
  merge(identity);
  if (!configurations->extraParams || !configurations->extraParams->is_object()) return;
  Json relevant = Json::object();
  for (const auto& [key, value] : configurations->extraParams->items()) {
    if (shouldAppendDataFromConfigWithKey(key)) relevant[key] = value;
  }
  merge(relevant);
}

void QBNTokenService::updateTokenWithMetadata(const std::optional<Json>& metadata) {
  logDescribing("updateTokenWithMetadata", "metadata: ", metadata);
  if (!metadata || !metadata->is_object()) return;
  Json prefixed = Json::object();
  for (const auto& [key, value] : metadata->items()) prefixed["metadata_" + key] = value;
  merge(prefixed);
}

void QBNTokenService::updateTokenWithConsentData(const Json& consentData) {
  if (!consentData.is_object() || !consentData.contains("gdprConsentStatus")) return;
  const Json& status = consentData["gdprConsentStatus"];
  updateTokenWithData(Json{{"consent", status.is_string() && status.get<std::string>() == "true"}});
}

void QBNTokenService::updateTokenWithPermanentData() {
  log("updateTokenWithPermanentData");
  guarded("updateTokenWithPermanentData", [this] { gatherPermanent([this](const Json& entries) { merge(entries); }); });
}

void QBNTokenService::updateTokenWithMutableData() {
  log("updateTokenWithMutableData");
  guarded("updateTokenWithMutableData", [this] { merge(gatherMutable()); });
}

void QBNTokenService::updateTokenWithDebugData() {
  log("updateTokenWithDebugData");
  auto debug = QBUserDefaultsUtilities::getObjectFromUserDefaultsWithKey(kQBNDebugParamsKey);
  if (debug && debug->is_object()) merge(*debug);
}

Json QBNTokenService::permanentDataForToken() const {
  Json data = Json::object();
  guarded("permanentDataForToken", [&data] {
    gatherPermanent([&data](const Json& entries) { data.update(entries); });
  });
  return data;
}

Json QBNTokenService::mutableDataForToken() const {
  Json data = Json::object();
  guarded("mutableDataForToken", [&data] { data = gatherMutable(); });
  return data;
}

Json QBNTokenService::getRawToken() {
  updateTokenWithMutableData();
  updateTokenWithDebugData();
  Json copy = snapshot();
  logDescribing("getRawToken", "full data: ", copy);
  return copy;
}

std::optional<std::string> QBNTokenService::token() {
  auto text = jsonText(getRawToken());
  if (!text) return std::nullopt;
  return platform::base64Encode(*text);
}

std::optional<std::string> QBNTokenService::getTokenAsString() { return jsonText(snapshot()); }

std::optional<std::string> QBNTokenService::encodedToken() {
  auto text = getTokenAsString();
  if (!text) return std::nullopt;
  return platform::base64Encode(*text);
}

bool QBNTokenService::shouldAppendDataFromConfigWithKey(const std::string& key) const {
  return std::find(relevantKeysInConfig_.begin(), relevantKeysInConfig_.end(), key) != relevantKeysInConfig_.end();
}

void QBNTokenService::resetForTesting() {
  {
    std::lock_guard lock(mutex_);
    tokenData_ = Json::object();
  }
  updateTokenWithPermanentData();
}
