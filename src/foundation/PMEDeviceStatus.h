#pragma once
// Device and application facts, read on demand.
//
// A PMEDeviceStatus is a cheap, stateless reader: make a fresh one where it is
// needed. Every query reads platform::deviceFacts(), platform::clock() or the
// application's information dictionary at the moment of the call, on the
// calling thread, and never fails: missing facts give the documented fallback.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/json.h"

namespace platform {
struct DeviceFacts;
}

class PMEDeviceStatus {
 public:
  PMEDeviceStatus() = default;
  // A reader whose device queries all answer from `snapshot` (one read of the
  // device facts for a caller that asks many questions at once); clock and
  // information-dictionary queries still read the moment of the call.
  explicit PMEDeviceStatus(const platform::DeviceFacts& snapshot);

  // Whether the user allows advertising tracking (false when unknown).
  bool isAdvertisingTrackingEnabled() const;
  // The advertising identifier; none when the device gives none (or "").
  std::optional<std::string> advertiserId() const;
  // The vendor identifier, unless tracking rules forbid it: it is withheld
  // while the tracking authorization status is 1 ("restricted"); any other
  // status, or no status at all, allows it. None also when the device has none.
  std::optional<std::string> getVendorIdIfAllowed() const;
  // The identifier in use: "IDFA" when tracking is enabled and the
  // advertising id is present and not all zeros, else "IDFV" when the vendor
  // id is allowed, else "UUID".
  std::string getIdentifierType() const;

  // Output volume, 0.0 to 1.0.
  double volume() const;
  // Battery level times 100 (0 to 100; -100 when the level is unknown).
  double batteryLevel() const;
  // True when any path of jailbreakPaths() exists on the device.
  bool jailBroken() const;
  // The paths whose presence marks a jailbroken device.
  static const std::vector<std::string>& jailbreakPaths();

  // Wall time, milliseconds since 1970.
  int64_t localTime() const;
  // Offset of the system time zone from GMT in minutes (seconds / 60,
  // truncated toward zero): -03:30 gives -210, +05:45 gives 345.
  int64_t timezoneOffset() const;
  std::string timeZoneId() const;

  // Codes of the cellular provider; "0" when there is no provider or the value
  // is missing or empty.
  std::string mobileCountryCode() const;
  std::string mobileNetworkCode() const;
  std::string isoCountryCode() const;

  bool lowPowerModeEnabled() const;
  // Time since boot without sleep, whole milliseconds (monotonic).
  int64_t systemUptime() const;
  // Time since boot including sleep, whole milliseconds.
  int64_t systemFullUptime() const;
  // Wall time of the boot in milliseconds since 1970; none when unknown.
  std::optional<int64_t> systemBootTime() const;

  // {"top", "bottom", "right", "left"}: the key window's safe-area insets in
  // points; each -1 without a key window or on an OS before "11.0".
  platform::Json safeAreaInsets() const;
  // The screen's user-interface style (0 unspecified, 1 light, 2 dark);
  // 1 on an OS before "12.0".
  int userInterfaceStyle() const;
  // Screen brightness, 0.0 to 1.0.
  double brightness() const;

  // Info.plist "DTXcode", "DTXcodeBuild", "DTSDKName", "DTSDKBuild" when they
  // are strings; none otherwise.
  std::optional<std::string> xcodeVersion() const;
  std::optional<std::string> xcodeBuildVersion() const;
  std::optional<std::string> xcodeSdkName() const;
  std::optional<std::string> xcodeSdkBuild() const;

  // Compares two dotted version numbers part by part as integers; missing
  // parts count as 0 and non-digits end a part ("10.0" < "10.10",
  // "11" == "11.0"). Negative, zero or positive.
  static int compareVersions(std::string_view a, std::string_view b);
  // Whether the device's OS version is at least `version`.
  static bool isOSVersionAtLeast(std::string_view version);

 private:
  platform::DeviceFacts facts() const;

  std::shared_ptr<const platform::DeviceFacts> snapshot_;
};
