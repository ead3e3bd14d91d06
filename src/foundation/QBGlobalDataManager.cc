#include "foundation/QBGlobalDataManager.h"

#include <cmath>
#include <cstdint>
#include <utility>

#include "foundation/QBLoggerManager.h"
#include "platform/clock.h"
#include "platform/device.h"
#include "platform/storage.h"

using platform::Json;
namespace keys = QBGlobalDataKeys;

namespace {

constexpr uint64_t kMiB = 1024 * 1024;
// How many facts changingFacts() gives.
constexpr size_t kChangingFacts = 24;

std::string reachabilityType(int status) {
  switch (status) {
    case platform::kReachabilityViaWiFi: return "wifi";
    case platform::kReachabilityViaWWAN: return "3G";
    default: return "notReachable";
  }
}

std::string cellularNetworkType(int status, const std::optional<std::string>& radio) {
  if (status == platform::kReachabilityViaWiFi) return "wifi";
  if (status == platform::kReachabilityViaWWAN && radio && !radio->empty()) return *radio;
  return "notReachable";
}

std::optional<std::string> appInfoString(const char* key) {
  auto value = platform::appInfoValue(key);
  if (value && value->is_string()) return value->get<std::string>();
  return std::nullopt;
}

// Sets or removes `key` of an object.
template <class T>
void putOptional(Json& object, const char* key, const std::optional<T>& value) {
  if (value) {
    object[key] = *value;
  } else {
    object.erase(key);
  }
}

// The device and application facts that do not change while the process runs.
Json permanentFacts() {
  const platform::DeviceFacts facts = platform::deviceFacts().facts();
  Json out = Json::object();
  out[keys::kOsName] = facts.osName;
  out[keys::kOsVersion] = facts.osVersion;
  out[keys::kDeviceModel] = facts.deviceModel;
  out[keys::kHardwareModel] = facts.hardwareModel;
  out[keys::kScreenWidth] = facts.screenWidth;
  out[keys::kScreenHeight] = facts.screenHeight;
  out[keys::kScreenScale] = facts.screenScale;
  out[keys::kLanguage] = facts.language;
  out[keys::kLocale] = facts.locale;
  auto version = appInfoString("CFBundleShortVersionString");
  if (!version) version = appInfoString("CFBundleVersion");
  putOptional(out, keys::kAppVersion, version);
  putOptional(out, keys::kAppName, appInfoString("CFBundleDisplayName"));
  out[keys::kBundleId] = platform::bundleIdentifier();
  putOptional(out, keys::kBootTime, platform::clock().bootTimeMs());
  out[keys::kTotalMemory] = facts.totalMemoryBytes;
  out[keys::kJailBroken] = !facts.jailbreakPathsPresent.empty();
  putOptional(out, keys::kXcodeVersion, appInfoString("DTXcode"));
  putOptional(out, keys::kXcodeBuild, appInfoString("DTXcodeBuild"));
  putOptional(out, keys::kXcodeSdkName, appInfoString("DTSDKName"));
  putOptional(out, keys::kXcodeSdkBuild, appInfoString("DTSDKBuild"));
  return out;
}

// The changing device facts, read now. Absent facts are null, so applying
// them removes the key.
Json changingFacts() {
  const platform::DeviceFacts facts = platform::deviceFacts().facts();
  const int status = platform::ReachabilitySource::shared().currentStatus();
  const platform::Clock& clock = platform::clock();
  auto orNull = [](const auto& optional) -> Json { return optional ? Json(*optional) : Json(nullptr); };
  auto carrierCode = [](const std::optional<std::string>& code) {
    return code && !code->empty() ? *code : std::string("0");
  };

  // Each name once: appended without a search, into an object sized for them.
  Json out = Json::object();
  auto& members = out.get_ref<Json::object_t&>();
  members.reserve(kChangingFacts);
  auto put = [&members](const std::string& key, Json value) {
    platform::appendNewMember(members, key, std::move(value));
  };
  put(keys::kBattery, facts.batteryLevel < 0 ? -1 : static_cast<int>(std::lround(facts.batteryLevel * 100)));
  put(keys::kVolume, facts.outputVolume);
  put(keys::kBrightness, facts.screenBrightness);
  put(keys::kConnectionType, reachabilityType(status));
  put(keys::kCellularNetworkType, cellularNetworkType(status, facts.radioAccessTechnology));
  put(keys::kLocalTime, clock.wallMs());
  put(keys::kTimeZoneId, facts.timeZoneId);
  put(keys::kTimeZoneOffset, facts.timeZoneOffsetSeconds / 60);
  put(keys::kDiskFree, facts.freeDiskBytes / kMiB);
  put(keys::kDiskTotal, facts.totalDiskBytes / kMiB);
  put(keys::kUptime, clock.uptimeMs());
  put(keys::kUptimeWithSleep, clock.uptimeWithSleepMs());
  put(keys::kLowPowerMode, facts.isLowPowerMode);
  put(keys::kUserInterfaceStyle, static_cast<int>(facts.userInterfaceStyle));
  put(keys::kOrientation, static_cast<int>(facts.orientation));
  put(keys::kAdvertisingId, orNull(facts.advertisingId));
  put(keys::kVendorId, orNull(facts.vendorId));
  put(keys::kLimitAdTracking,
      facts.isAdvertisingTrackingEnabled ? Json(!*facts.isAdvertisingTrackingEnabled) : Json(nullptr));
  put(keys::kTrackingStatus, orNull(facts.trackingAuthorizationStatus));
  put(keys::kCarrierName, orNull(facts.carrierName));
  put(keys::kMobileCountryCode, carrierCode(facts.mobileCountryCode));
  put(keys::kMobileNetworkCode, carrierCode(facts.mobileNetworkCode));
  put(keys::kIsoCountryCode, carrierCode(facts.isoCountryCode));
  return out;
}

// Copies the entries of `from` into `into` (both objects); null values remove.
void mergeTopLevel(Json& into, const Json& from) {
  for (auto it = from.begin(); it != from.end(); ++it) {
    if (it.value().is_null()) {
      into.erase(it.key());
    } else {
      into[it.key()] = it.value();
    }
  }
}

}  // namespace

const std::vector<std::string>& QBGlobalDataKeys::changingDeviceKeys() {
  static const std::vector<std::string>* list = [] {
    auto* names = new std::vector<std::string>();
    // Read the names from one snapshot so this list cannot drift from the refresh.
    Json sample = changingFacts();
    for (auto it = sample.begin(); it != sample.end(); ++it) names->push_back(it.key());
    return names;
  }();
  return *list;
}

QBGlobalDataManager& QBGlobalDataManager::sharedInstance() {
  static QBGlobalDataManager* instance = new QBGlobalDataManager();
  return *instance;
}

QBGlobalDataManager::QBGlobalDataManager() : store_(permanentFacts()) {}

void QBGlobalDataManager::refreshDeviceData() {
  Json fresh = changingFacts();
  std::lock_guard<std::mutex> lock(mutex_);
  mergeTopLevel(store_, fresh);
}

Json QBGlobalDataManager::allData() {
  Json fresh = changingFacts();
  std::lock_guard<std::mutex> lock(mutex_);
  mergeTopLevel(store_, fresh);
  return store_;
}

Json QBGlobalDataManager::dataForKeys(const std::vector<std::string>& wanted) {
  Json fresh = changingFacts();
  Json out = Json::object();
  auto& members = out.get_ref<Json::object_t&>();
  members.reserve(wanted.size());
  std::lock_guard<std::mutex> lock(mutex_);
  mergeTopLevel(store_, fresh);
  // A name asked for twice is given once: the store's members are marked by
  // position as they are taken, so no name is searched for in `out`.
  const auto& stored = store_.get_ref<const Json::object_t&>();
  std::vector<bool> taken(stored.size());
  for (const auto& key : wanted) {
    auto it = stored.find(key);
    if (it == stored.end()) continue;
    const auto index = static_cast<size_t>(it - stored.begin());
    if (taken[index]) continue;
    taken[index] = true;
    platform::appendNewMember(members, key, it->second);
  }
  return out;
}

std::optional<Json> QBGlobalDataManager::valueForKey(const std::string& key) const {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = store_.find(key);
  if (it == store_.end()) return std::nullopt;
  return *it;
}

void QBGlobalDataManager::resetForTesting() {
  Json fresh = permanentFacts();
  std::lock_guard<std::mutex> lock(mutex_);
  store_ = std::move(fresh);
}

void QBGlobalDataManager::setData(Json value, const std::string& key) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (value.is_null()) {
    store_.erase(key);
  } else {
    store_[key] = std::move(value);
  }
}

void QBGlobalDataManager::setData(const Json& dictionary) {
  std::lock_guard<std::mutex> lock(mutex_);
  for (auto it = dictionary.begin(); it != dictionary.end(); ++it) store_[it.key()] = it.value();
}

void QBGlobalDataManager::extendData(const Json& dictionary, const std::string& key) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = store_.find(key);
  if (it == store_.end() || !it->is_object()) {
    store_[key] = dictionary;
    return;
  }
  for (auto entry = dictionary.begin(); entry != dictionary.end(); ++entry) (*it)[entry.key()] = entry.value();
}

void QBGlobalDataWriter::setData(Json value, const std::string& key) {
  QBGlobalDataManager::sharedInstance().setData(std::move(value), key);
}

void QBGlobalDataWriter::setData(const Json& dictionary) {
  if (!dictionary.is_object()) {
    QB_LOG("ignored: the data is not a dictionary", 3, 6);
    return;
  }
  QBGlobalDataManager::sharedInstance().setData(dictionary);
}

void QBGlobalDataWriter::extendData(const Json& dictionary, const std::string& key) {
  if (!dictionary.is_object()) {
    QB_LOG("ignored: the data for " + key + " is not a dictionary", 3, 6);
    return;
  }
  if (dictionary.empty()) return;
  QBGlobalDataManager::sharedInstance().extendData(dictionary, key);
}
