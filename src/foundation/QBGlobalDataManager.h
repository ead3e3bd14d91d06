#pragma once
// The process-wide store of device, application and SDK facts under short
// keys (docs/global-data.md lists them), with per-ad-unit entries under
// "adunit_data". The store fills the device and application keys itself;
// the higher layers write theirs through QBGlobalDataWriter; the init, auction
// and token views (QBInitProvider, QBAuctionProvider, QBTokenProvider) read it.
//
// Thread-safe: one mutex guards the store, nothing outside the store is called
// while it is held (device facts, reachability and the clock are read first).
// Every call answers on the calling thread.
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/json.h"

// Keys of the store.
namespace QBGlobalDataKeys {
// Written by the higher layers.
inline constexpr char kSessionId[] = "sessionId";
inline constexpr char kAppKey[] = "appKey";
inline constexpr char kUserId[] = "userId";
inline constexpr char kDynamicUserId[] = "duid";
inline constexpr char kSdkVersion[] = "sdkv";
inline constexpr char kPluginType[] = "plugin";
inline constexpr char kPluginVersion[] = "pluginv";
inline constexpr char kMediationType[] = "mt";
inline constexpr char kConsent[] = "consent";
inline constexpr char kCcpa[] = "ccpa";
inline constexpr char kTokenGenericParams[] = "tkgp";
inline constexpr char kCoppa[] = "coppa";  // inside "tkgp"
inline constexpr char kRvServerParams[] = "rvsp";
inline constexpr char kAdUnitData[] = "adunit_data";
inline constexpr char kSessionDepth[] = "sd";  // inside "adunit_data"/<ad unit>
inline constexpr char kAppOrientation[] = "apor";
inline constexpr char kChinaCdn[] = "cncdn";
inline constexpr char kDebug[] = "debug";
inline constexpr char kControllerTokenParams[] = "ctgp";
// Device and application facts the store fills once, at creation.
inline constexpr char kOsName[] = "os";
inline constexpr char kOsVersion[] = "osv";
inline constexpr char kDeviceModel[] = "dm";
inline constexpr char kHardwareModel[] = "hw";
inline constexpr char kScreenWidth[] = "sw";
inline constexpr char kScreenHeight[] = "sh";
inline constexpr char kScreenScale[] = "ss";
inline constexpr char kLanguage[] = "lang";
inline constexpr char kLocale[] = "loc";
inline constexpr char kAppVersion[] = "appv";
inline constexpr char kAppName[] = "appn";
inline constexpr char kBundleId[] = "bid";
inline constexpr char kBootTime[] = "bt";
inline constexpr char kTotalMemory[] = "mem";
inline constexpr char kJailBroken[] = "jb";
inline constexpr char kXcodeVersion[] = "xcv";
inline constexpr char kXcodeBuild[] = "xcb";
inline constexpr char kXcodeSdkName[] = "xsn";
inline constexpr char kXcodeSdkBuild[] = "xsb";
// Changing device facts, refreshed on every read of the store.
inline constexpr char kBattery[] = "bat";
inline constexpr char kVolume[] = "vol";
inline constexpr char kBrightness[] = "brt";
inline constexpr char kConnectionType[] = "connt";
inline constexpr char kCellularNetworkType[] = "cnt";
inline constexpr char kLocalTime[] = "lt";
inline constexpr char kTimeZoneId[] = "tz";
inline constexpr char kTimeZoneOffset[] = "tzo";
inline constexpr char kDiskFree[] = "dfs";
inline constexpr char kDiskTotal[] = "dts";
inline constexpr char kUptime[] = "ut";
inline constexpr char kUptimeWithSleep[] = "uts";
inline constexpr char kLowPowerMode[] = "lpm";
inline constexpr char kUserInterfaceStyle[] = "uis";
inline constexpr char kOrientation[] = "do";
inline constexpr char kAdvertisingId[] = "ifa";
inline constexpr char kVendorId[] = "idfv";
inline constexpr char kLimitAdTracking[] = "lat";
inline constexpr char kTrackingStatus[] = "att";
inline constexpr char kCarrierName[] = "crr";
inline constexpr char kMobileCountryCode[] = "mcc";
inline constexpr char kMobileNetworkCode[] = "mnc";
inline constexpr char kIsoCountryCode[] = "icc";

// The changing device keys, in the order the refresh writes them.
const std::vector<std::string>& changingDeviceKeys();
}  // namespace QBGlobalDataKeys

class QBGlobalDataManager {
 public:
  static QBGlobalDataManager& sharedInstance();

  // Refreshes the changing device keys, then returns a deep copy of the whole
  // store (an object); changing the copy never changes the store.
  platform::Json allData();
  // Refreshes the changing device keys, then returns an object with the
  // current values of `keys`, in that order; absent keys are left out.
  platform::Json dataForKeys(const std::vector<std::string>& keys);
  // A copy of the value under `key` as it stands (no refresh); none when
  // absent.
  std::optional<platform::Json> valueForKey(const std::string& key) const;

  // Reads the changing device facts (device provider, reachability, clock)
  // and writes them into the store.
  void refreshDeviceData();

  // Empties the store and fills the device and application keys again from
  // the facts in force now.
  void resetForTesting();

 private:
  friend class QBGlobalDataWriter;
  QBGlobalDataManager();

  void setData(platform::Json value, const std::string& key);
  void setData(const platform::Json& dictionary);
  void extendData(const platform::Json& dictionary, const std::string& key);

  mutable std::mutex mutex_;
  platform::Json store_;
};

// Writes into the process-wide store. Cheap to make; any number may exist.
// Thread-safe; answers on the calling thread.
class QBGlobalDataWriter {
 public:
  QBGlobalDataWriter() = default;

  // Stores `value` under `key`, replacing what was there; a null value
  // removes the key.
  void setData(platform::Json value, const std::string& key);
  // Merges the dictionary's entries into the store at top level (an entry
  // replaces the store's value under the same key). Anything but an object
  // changes nothing.
  void setData(const platform::Json& dictionary);
  // A non-empty dictionary is merged into the dictionary stored under `key`
  // (entry by entry, at its top level), or stored there when the key holds
  // no dictionary. An empty dictionary, or anything but an object, changes
  // nothing.
  void extendData(const platform::Json& dictionary, const std::string& key);
};
