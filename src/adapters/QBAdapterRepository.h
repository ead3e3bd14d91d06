#pragma once
// The process-wide adapter registry. It makes adapters from their class names
// (platform::ClassRegistry), keeps one network adapter and one classic adapter
// per network, makes a new ad adapter per network instance, and pushes
// consent, metadata and the adapter-debug flag into every adapter it holds
// and into each new one.
//
// Cache key: the network name of the configuration, that is its custom
// network name when set, else its reflection name (the name the class names
// are built from). All instances of one network share its adapter.
//
// Thread-safe. Every call into adapter code (factories, initialisers, version
// getters, settings) runs through platform::guard outside the registry's
// state lock; a caught exception is logged (level 3, tag ADAPTER_API) and
// becomes the failure of the call under way, as each method says. Creation of
// one network's adapter is serialised, so concurrent first calls make exactly
// one object.
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "adapters/QBBaseAdAdapter.h"
#include "adapters/QBBaseAdapter.h"
#include "adapters/QBBaseNetworkAdapter.h"
#include "platform/json.h"
#include "quillborne/QBAdUnit.h"

class QBAdapterConfig;

// A cached network adapter with the versions read when it was made.
struct QBNetworkAdapterEntry {
  std::shared_ptr<QBBaseNetworkAdapter> adapterBaseProtocol;
  std::string networkSDKVersion;  // "" when the getter threw
  std::string adapterVersion;     // "" when the getter threw
};

class QBAdapterRepository {
 public:
  // currentConsent() values.
  static constexpr int kConsentNotSet = 0;
  static constexpr int kConsentGranted = 1;
  static constexpr int kConsentDenied = 2;

  static QBAdapterRepository& sharedRepository();
  // Forgets every adapter, the consent, the metadata and the debug flag.
  void resetForTesting();

  // The network adapter of the configuration's network, made on first use
  // from config->customNetworkAdapterClassName() and cached; its
  // networkSDKVersion and adapterVersion are read once, at creation (a throw
  // there is logged and the version is ""). Null, after logging, when the
  // configuration is null, the class is unknown, or its factory throws or
  // gives nothing; a later call tries again. adUnit: for the log only.
  std::shared_ptr<QBBaseNetworkAdapter> getNetworkAdapter(const std::shared_ptr<QBAdapterConfig>& config,
                                                          const QBAdUnit& adUnit);

  // A new ad adapter for one instance, made from
  // config->customAdAdapterClassName() (registered as QBBaseAdAdapter) and
  // given initWithAdUnit(adUnit, config): a QBBaseRewardedVideo for rewarded
  // video, a QBBaseAdInteractionAdapter (QBBaseInterstitial or another) for
  // interstitial. Null, after logging, when the class is unknown, of the wrong
  // kind for the ad unit, the ad unit has no custom ad adapters (banner,
  // offerwall), or the factory or initWithAdUnit throws.
  std::shared_ptr<QBBaseAdAdapter> createAdAdapter(const std::shared_ptr<QBAdapterConfig>& config,
                                                   const QBAdUnit& adUnit);

  // The classic adapter of the configuration's network, made on first use
  // from config->classicAdapterClassName() (registered as QBBaseAdapter),
  // given initAdapter(provider name), then the consent when one was set, the
  // stored metadata, the debug flag, and, for the maker's own network,
  // earlyInitWithAdapterConfig once. Null, after logging, as getNetworkAdapter.
  std::shared_ptr<QBBaseAdapter> getAdapter(const std::shared_ptr<QBAdapterConfig>& config);

  // Stores the setting and pushes it into every adapter held (a throwing
  // adapter is logged; the others still get it). Settings reach adapters in
  // the order they were set.
  void setConsent(bool consent);
  // values: the publisher's values for the key; replaces an earlier entry.
  void setMetaData(const std::string& key, const std::vector<std::string>& values);
  void setAdaptersDebug(bool adaptersDebug);

  // Classic adapters by network name.
  std::map<std::string, std::shared_ptr<QBBaseAdapter>> allAdapters() const;
  // Network adapters by network name.
  std::map<std::string, QBNetworkAdapterEntry> networkAdapters() const;
  // {key: [values...]} in the order first set.
  platform::Json metaData() const;
  // kConsentNotSet, kConsentGranted or kConsentDenied.
  int currentConsent() const;
  bool adaptersDebug() const;
  // {network name: {"adapterVersion": text, "sdkVersion": text}}: classic
  // adapters first (version / sdkVersion, read now), then network adapters
  // (versions read at creation), which replace a classic entry of the same
  // name. A version that cannot be read is "".
  platform::Json adapterVersions() const;

  // The cache key of a configuration (custom network name, else reflection
  // name).
  static std::string networkKey(const QBAdapterConfig& config);

 private:
  QBAdapterRepository() = default;

  struct Settings {
    int consent = kConsentNotSet;
    platform::Json metaData = platform::Json::object();
    bool debug = false;
  };
  // Serialises the making of one network's adapter.
  struct CreationSlot {
    std::mutex mutex;
  };

  std::shared_ptr<CreationSlot> slotFor(std::map<std::string, std::shared_ptr<CreationSlot>>& slots,
                                        const std::string& key);
  template <class Adapter>
  void pushSettings(const std::shared_ptr<Adapter>& adapter, const Settings& settings, const std::string& key);

  // Guards the maps and the settings; never held while adapter code runs.
  mutable std::mutex stateMutex_;
  // Held while settings are pushed into adapters, so every adapter sees them
  // in the order they were set; recursive because adapter code may call back
  // into the registry.
  std::recursive_mutex pushMutex_;

  Settings settings_;
  std::map<std::string, QBNetworkAdapterEntry> networkAdapters_;
  std::map<std::string, std::shared_ptr<QBBaseAdapter>> classicAdapters_;
  std::map<std::string, std::shared_ptr<CreationSlot>> networkSlots_;
  std::map<std::string, std::shared_ptr<CreationSlot>> classicSlots_;
};
