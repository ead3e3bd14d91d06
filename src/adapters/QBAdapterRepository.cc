#include "adapters/QBAdapterRepository.h"

#include <functional>
#include <utility>

#include "core/QBAdapterConfig.h"
#include "foundation/QBLoggerManager.h"
#include "platform/runtime.h"

namespace {

constexpr int kLevelError = 3;
constexpr int kTagAdapterApi = 2;

void logFailure(const char* method, const std::string& message) {
  QBLoggerManager::sharedInstance().dynamicLog(method, message, kLevelError, kTagAdapterApi);
}

std::string exceptionText(const platform::CaughtException& e) { return e.name + " " + e.reason; }

// Runs one call into adapter code; a throw is logged with what was being done.
void guarded(const char* method, const std::string& what, const std::function<void()>& call) {
  if (auto caught = platform::guard(call)) {
    logFailure(method, "Exception while calling " + what + ", exception = " + exceptionText(*caught));
  }
}

std::vector<std::string> valuesOf(const platform::Json& array) {
  std::vector<std::string> values;
  if (!array.is_array()) return values;
  for (const auto& v : array)
    if (v.is_string()) values.push_back(v.get<std::string>());
  return values;
}

}  // namespace

QBAdapterRepository& QBAdapterRepository::sharedRepository() {
  static QBAdapterRepository* repository = new QBAdapterRepository();
  return *repository;
}

void QBAdapterRepository::resetForTesting() {
  // Adapters are released outside the lock: their destructors are outside code.
  std::map<std::string, QBNetworkAdapterEntry> network;
  std::map<std::string, std::shared_ptr<QBBaseAdapter>> classic;
  std::lock_guard push(pushMutex_);
  std::lock_guard lock(stateMutex_);
  settings_ = Settings{};
  network.swap(networkAdapters_);
  classic.swap(classicAdapters_);
  networkSlots_.clear();
  classicSlots_.clear();
}

std::string QBAdapterRepository::networkKey(const QBAdapterConfig& config) {
  return config.customNetwork().empty() ? config.reflectionName() : config.customNetwork();
}

std::shared_ptr<QBAdapterRepository::CreationSlot> QBAdapterRepository::slotFor(
    std::map<std::string, std::shared_ptr<CreationSlot>>& slots, const std::string& key) {
  std::lock_guard lock(stateMutex_);
  auto& slot = slots[key];
  if (!slot) slot = std::make_shared<CreationSlot>();
  return slot;
}

template <class Adapter>
void QBAdapterRepository::pushSettings(const std::shared_ptr<Adapter>& adapter, const Settings& settings,
                                       const std::string& key) {
  if (settings.consent != kConsentNotSet) {
    const bool consent = settings.consent == kConsentGranted;
    guarded(__func__, "setConsent of " + key, [&] { adapter->setConsent(consent); });
  }
  for (const auto& [metaKey, values] : settings.metaData.items()) {
    const auto list = valuesOf(values);
    guarded(__func__, "setMetaDataWithKey of " + key,
            [&, &metaKey = metaKey] { adapter->setMetaDataWithKey(metaKey, list); });
  }
  if (settings.debug) guarded(__func__, "setAdapterDebug of " + key, [&] { adapter->setAdapterDebug(true); });
}

// ------------------------------------------------------------ network adapters

std::shared_ptr<QBBaseNetworkAdapter> QBAdapterRepository::getNetworkAdapter(
    const std::shared_ptr<QBAdapterConfig>& config, const QBAdUnit& adUnit) {
  if (!config) {
    logFailure(__func__, "no adapter configuration for " + adUnit.value());
    return nullptr;
  }
  const std::string key = networkKey(*config);
  auto cached = [&]() -> std::shared_ptr<QBBaseNetworkAdapter> {
    std::lock_guard lock(stateMutex_);
    auto it = networkAdapters_.find(key);
    return it == networkAdapters_.end() ? nullptr : it->second.adapterBaseProtocol;
  };
  if (auto adapter = cached()) return adapter;

  auto slot = slotFor(networkSlots_, key);
  std::lock_guard creating(slot->mutex);
  if (auto adapter = cached()) return adapter;  // made by a concurrent first call

  const std::string className = config->customNetworkAdapterClassName();
  std::shared_ptr<QBBaseNetworkAdapter> adapter;
  if (auto caught = platform::guard(
          [&] { adapter = platform::ClassRegistry::shared().create<QBBaseNetworkAdapter>(className); })) {
    logFailure(__func__, "Exception while creating network adapter " + className + " for " + adUnit.value() +
                             ", exception = " + exceptionText(*caught));
    return nullptr;
  }
  if (!adapter) {
    logFailure(__func__, "network adapter " + className + " not found for " + adUnit.value());
    return nullptr;
  }

  QBNetworkAdapterEntry entry;
  entry.adapterBaseProtocol = adapter;
  guarded(__func__, "networkSDKVersion of " + className, [&] { entry.networkSDKVersion = adapter->networkSDKVersion(); });
  guarded(__func__, "adapterVersion of " + className, [&] { entry.adapterVersion = adapter->adapterVersion(); });

  // Settings go in before the adapter is published, and no setting can slip
  // in between (pushMutex_).
  std::lock_guard push(pushMutex_);
  Settings settings;
  {
    std::lock_guard lock(stateMutex_);
    settings = settings_;
  }
  pushSettings(adapter, settings, key);
  {
    std::lock_guard lock(stateMutex_);
    networkAdapters_[key] = entry;
  }
  return adapter;
}

// ----------------------------------------------------------------- ad adapters

std::shared_ptr<QBBaseAdAdapter> QBAdapterRepository::createAdAdapter(const std::shared_ptr<QBAdapterConfig>& config,
                                                                       const QBAdUnit& adUnit) {
  if (!config) {
    logFailure(__func__, "no adapter configuration for " + adUnit.value());
    return nullptr;
  }
  const bool rewarded = adUnit == QBAdUnit::QB_AD_UNIT_REWARDED_VIDEO();
  if (!rewarded && adUnit != QBAdUnit::QB_AD_UNIT_INTERSTITIAL()) {
    logFailure(__func__, "no custom ad adapter for ad unit " + adUnit.value() + " of " + config->providerName());
    return nullptr;
  }
  const std::string className = config->customAdAdapterClassName();
  std::shared_ptr<QBBaseAdAdapter> adapter;
  if (auto caught =
          platform::guard([&] { adapter = platform::ClassRegistry::shared().create<QBBaseAdAdapter>(className); })) {
    logFailure(__func__, "Exception while creating ad adapter " + className + " for " + config->providerName() +
                             ", exception = " + exceptionText(*caught));
    return nullptr;
  }
  if (!adapter) {
    logFailure(__func__, "ad adapter " + className + " not found for " + config->providerName());
    return nullptr;
  }
  const bool rightKind = rewarded ? std::dynamic_pointer_cast<QBBaseRewardedVideo>(adapter) != nullptr
                                  : std::dynamic_pointer_cast<QBBaseAdInteractionAdapter>(adapter) != nullptr;
  if (!rightKind) {
    logFailure(__func__, "ad adapter " + className + " is not a " +
                             (rewarded ? "rewarded video" : "interstitial") + " adapter");
    return nullptr;
  }
  if (auto caught = platform::guard([&] { adapter->initWithAdUnit(adUnit, config); })) {
    logFailure(__func__, "Exception while calling initWithAdUnit of " + className +
                             ", exception = " + exceptionText(*caught));
    return nullptr;
  }
  return adapter;
}

// ------------------------------------------------------------ classic adapters

std::shared_ptr<QBBaseAdapter> QBAdapterRepository::getAdapter(const std::shared_ptr<QBAdapterConfig>& config) {
  if (!config) {
    logFailure(__func__, "no adapter configuration");
    return nullptr;
  }
  const std::string key = networkKey(*config);
  auto cached = [&]() -> std::shared_ptr<QBBaseAdapter> {
    std::lock_guard lock(stateMutex_);
    auto it = classicAdapters_.find(key);
    return it == classicAdapters_.end() ? nullptr : it->second;
  };
  if (auto adapter = cached()) return adapter;

  auto slot = slotFor(classicSlots_, key);
  std::lock_guard creating(slot->mutex);
  if (auto adapter = cached()) return adapter;

  const std::string className = config->classicAdapterClassName();
  std::shared_ptr<QBBaseAdapter> adapter;
  if (auto caught =
          platform::guard([&] { adapter = platform::ClassRegistry::shared().create<QBBaseAdapter>(className); })) {
    logFailure(__func__, "Exception while creating adapter " + className + ", exception = " + exceptionText(*caught));
    return nullptr;
  }
  if (!adapter) {
    logFailure(__func__, "adapter " + className + " not found");
    return nullptr;
  }
  if (auto caught = platform::guard([&] { adapter->initAdapter(config->providerName()); })) {
    logFailure(__func__, "Exception while calling initAdapter of " + className + ", exception = " +
                             exceptionText(*caught));
    return nullptr;
  }

  std::lock_guard push(pushMutex_);
  Settings settings;
  {
    std::lock_guard lock(stateMutex_);
    settings = settings_;
  }
  pushSettings(adapter, settings, key);
  if (config->isQuillborne()) {
    guarded(__func__, "earlyInitWithAdapterConfig of " + className,
            [&] { adapter->earlyInitWithAdapterConfig(config); });
  }
  {
    std::lock_guard lock(stateMutex_);
    classicAdapters_[key] = adapter;
  }
  return adapter;
}

// -------------------------------------------------------------------- settings

void QBAdapterRepository::setConsent(bool consent) {
  std::lock_guard push(pushMutex_);
  std::map<std::string, QBNetworkAdapterEntry> network;
  std::map<std::string, std::shared_ptr<QBBaseAdapter>> classic;
  {
    std::lock_guard lock(stateMutex_);
    settings_.consent = consent ? kConsentGranted : kConsentDenied;
    network = networkAdapters_;
    classic = classicAdapters_;
  }
  for (const auto& [key, adapter] : classic) {
    guarded(__func__, "setConsent of " + key, [&, &adapter = adapter] { adapter->setConsent(consent); });
  }
  for (const auto& [key, entry] : network) {
    guarded(__func__, "setConsent of " + key, [&, &entry = entry] { entry.adapterBaseProtocol->setConsent(consent); });
  }
}

void QBAdapterRepository::setMetaData(const std::string& key, const std::vector<std::string>& values) {
  std::lock_guard push(pushMutex_);
  std::map<std::string, QBNetworkAdapterEntry> network;
  std::map<std::string, std::shared_ptr<QBBaseAdapter>> classic;
  {
    std::lock_guard lock(stateMutex_);
    settings_.metaData[key] = values;
    network = networkAdapters_;
    classic = classicAdapters_;
  }
  for (const auto& [name, adapter] : classic) {
    guarded(__func__, "setMetaDataWithKey of " + name,
            [&, &adapter = adapter] { adapter->setMetaDataWithKey(key, values); });
  }
  for (const auto& [name, entry] : network) {
    guarded(__func__, "setMetaDataWithKey of " + name,
            [&, &entry = entry] { entry.adapterBaseProtocol->setMetaDataWithKey(key, values); });
  }
}

void QBAdapterRepository::setAdaptersDebug(bool adaptersDebug) {
  std::lock_guard push(pushMutex_);
  std::map<std::string, QBNetworkAdapterEntry> network;
  std::map<std::string, std::shared_ptr<QBBaseAdapter>> classic;
  {
    std::lock_guard lock(stateMutex_);
    settings_.debug = adaptersDebug;
    network = networkAdapters_;
    classic = classicAdapters_;
  }
  for (const auto& [key, adapter] : classic) {
    guarded(__func__, "setAdapterDebug of " + key,
            [&, &adapter = adapter] { adapter->setAdapterDebug(adaptersDebug); });
  }
  for (const auto& [key, entry] : network) {
    guarded(__func__, "setAdapterDebug of " + key,
            [&, &entry = entry] { entry.adapterBaseProtocol->setAdapterDebug(adaptersDebug); });
  }
}

// --------------------------------------------------------------------- queries

std::map<std::string, std::shared_ptr<QBBaseAdapter>> QBAdapterRepository::allAdapters() const {
  std::lock_guard lock(stateMutex_);
  return classicAdapters_;
}

std::map<std::string, QBNetworkAdapterEntry> QBAdapterRepository::networkAdapters() const {
  std::lock_guard lock(stateMutex_);
  return networkAdapters_;
}

platform::Json QBAdapterRepository::metaData() const {
  std::lock_guard lock(stateMutex_);
  return settings_.metaData;
}

int QBAdapterRepository::currentConsent() const {
  std::lock_guard lock(stateMutex_);
  return settings_.consent;
}

bool QBAdapterRepository::adaptersDebug() const {
  std::lock_guard lock(stateMutex_);
  return settings_.debug;
}

platform::Json QBAdapterRepository::adapterVersions() const {
  std::map<std::string, QBNetworkAdapterEntry> network;
  std::map<std::string, std::shared_ptr<QBBaseAdapter>> classic;
  {
    std::lock_guard lock(stateMutex_);
    network = networkAdapters_;
    classic = classicAdapters_;
  }
  platform::Json versions = platform::Json::object();
  for (const auto& [key, adapter] : classic) {
    std::string version, sdkVersion;
    guarded(__func__, "version of " + key, [&, &adapter = adapter] { version = adapter->version(); });
    guarded(__func__, "sdkVersion of " + key, [&, &adapter = adapter] { sdkVersion = adapter->sdkVersion(); });
    versions[key] = platform::Json{{"adapterVersion", version}, {"sdkVersion", sdkVersion}};
  }
  for (const auto& [key, entry] : network) {
    versions[key] = platform::Json{{"adapterVersion", entry.adapterVersion}, {"sdkVersion", entry.networkSDKVersion}};
  }
  return versions;
}
