#pragma once
// Facts about the device and the network path.
//
// deviceFacts() answers from, in order: the test override
// (setDeviceFactsForTesting), the provider the host installed
// (setDeviceFactsProvider), else the Linux provider. Uptime and boot time come
// from platform::clock(), not from here.
//
// The Linux provider reads the facts that cannot change once, and those that
// can (battery, brightness, low-power mode, time-zone name, disk space) again
// at most once a second, or at once after setDeviceDiskPath or a change of
// $TZ; the time-zone offset and the locale are worked out on every call.
//
// What the Linux provider answers. DeviceFacts{} holds the same values for the
// facts Linux does not have, and fixed ones for the rest (hardwareModel
// "iPhone15,2", deviceName "iPhone", time zone "UTC" +0, locale "en_US", 64 GB
// free of 128 GB disk, 6 GiB memory), so tests start from a stable device.
//
//   fact                          Linux provider
//   ----------------------------  ---------------------------------------------
//   advertisingId                 "00000000-0000-0000-0000-000000000000"
//   vendorId                      UUID derived from /etc/machine-id (SHA-256 of
//                                 the id and an application salt), stable per
//                                 machine; none when the id is unreadable
//   isAdvertisingTrackingEnabled  false
//   trackingAuthorizationStatus   0 (not determined)
//   carrierName, mobileCountry-   none (no cellular radio)
//   Code, mobileNetworkCode,
//   isoCountryCode,
//   radioAccessTechnology
//   batteryLevel                  /sys/class/power_supply/*/capacity of the
//                                 first battery, / 100; -1 without a battery
//   outputVolume                  the audio session's output volume
//                                 (platform::AudioSession; 0.5 at start)
//   screenBrightness              /sys/class/backlight/*: brightness /
//                                 max_brightness; 0.5 without a backlight
//   isLowPowerMode                /sys/firmware/acpi/platform_profile is
//                                 "low-power"; else false
//   osName, osVersion             "iOS", "17.0"
//   deviceModel                   "iPhone"
//   hardwareModel                 uname() machine ("x86_64", "aarch64")
//   deviceName                    host name; "iPhone" when unavailable
//   isMacCatalystApp              false
//   screenWidth/Height/Scale      390 x 844 points, scale 3
//   orientation                   Portrait
//   timeZoneOffsetSeconds         localtime_r tm_gmtoff, now
//   timeZoneId                    $TZ (without a leading ':'), else
//                                 /etc/timezone, else the zoneinfo name that
//                                 /etc/localtime links to, else "UTC"
//   locale, language              $LC_ALL, else $LC_MESSAGES, else $LANG:
//                                 "de_DE.UTF-8" -> "de_DE" and "de"; unset,
//                                 "C" or "POSIX" -> "en_US" and "en"
//   freeDiskBytes, totalDiskBytes statvfs of the disk path (default "/",
//                                 setDeviceDiskPath); 0 when it fails
//   totalMemoryBytes              sysinfo() totalram * mem_unit
//   jailbreakPathsPresent         empty: the paths name an iOS file system, so
//                                 Linux answers "absent" for each
//   userInterfaceStyle            Light
//   interfaceIdiom                Phone
//   keyWindowPresent              true
//   safeAreaInsets                {47, 0, 34, 0}; none when no key window
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/ui/geometry.h"

namespace platform {

// UIDeviceOrientation, with the platform's values.
enum class DeviceOrientation : int {
  Unknown = 0,
  Portrait = 1,
  PortraitUpsideDown = 2,
  LandscapeLeft = 3,
  LandscapeRight = 4,
  FaceUp = 5,
  FaceDown = 6,
};

// UIUserInterfaceIdiom, with the platform's values: the kind of interface the
// application runs with (an iPhone application on a tablet runs as Phone).
enum class UserInterfaceIdiom : int { Unspecified = -1, Phone = 0, Pad = 1 };

// UIUserInterfaceStyle, with the platform's values.
// Default (0) follows the system setting.
enum class UserInterfaceStyle : int { Default = 0, Light = 1, Dark = 2 };

struct DeviceFacts {
  std::optional<std::string> advertisingId = "00000000-0000-0000-0000-000000000000";
  std::optional<std::string> vendorId;
  std::optional<bool> isAdvertisingTrackingEnabled = false;
  // None when the tracking-transparency framework is missing.
  std::optional<unsigned> trackingAuthorizationStatus = 0u;

  std::optional<std::string> carrierName;
  std::optional<std::string> mobileCountryCode;
  std::optional<std::string> mobileNetworkCode;
  std::optional<std::string> isoCountryCode;
  // Radio-access-technology name on cellular ("CTRadioAccessTechnologyLTE").
  std::optional<std::string> radioAccessTechnology;

  double batteryLevel = -1.0;  // 0..1, -1 unknown
  double outputVolume = 0.5;   // 0..1
  double screenBrightness = 0.5;  // 0..1
  bool isLowPowerMode = false;

  std::string osName = "iOS";
  std::string osVersion = "17.0";
  std::string deviceModel = "iPhone";
  std::string hardwareModel = "iPhone15,2";
  std::string deviceName = "iPhone";
  // Whether the application is an iOS build running on a Mac (Mac Catalyst).
  // The Linux provider answers false.
  bool isMacCatalystApp = false;

  double screenWidth = 390;   // points
  double screenHeight = 844;  // points
  double screenScale = 3;
  DeviceOrientation orientation = DeviceOrientation::Portrait;

  int64_t timeZoneOffsetSeconds = 0;
  std::string timeZoneId = "UTC";
  std::string locale = "en_US";
  std::string language = "en";

  uint64_t freeDiskBytes = 64'000'000'000;
  uint64_t totalDiskBytes = 128'000'000'000;
  uint64_t totalMemoryBytes = 6ull << 30;

  // Paths (of the jailbreak-check list) that exist on this device.
  std::vector<std::string> jailbreakPathsPresent;

  UserInterfaceStyle userInterfaceStyle = UserInterfaceStyle::Light;
  UserInterfaceIdiom interfaceIdiom = UserInterfaceIdiom::Phone;
  bool keyWindowPresent = true;
  // Of the key window; none without one.
  std::optional<EdgeInsets> safeAreaInsets = EdgeInsets{47, 0, 34, 0};

  bool operator==(const DeviceFacts&) const = default;
};

// Source of device facts. Implementations must be callable from any thread.
class DeviceFactsProvider {
 public:
  virtual ~DeviceFactsProvider() = default;
  // A snapshot of every fact, read now.
  virtual DeviceFacts facts() const = 0;
  // Whether a path of the jailbreak-check list exists. The default answers
  // from facts().jailbreakPathsPresent.
  virtual bool jailbreakPathExists(const std::string& path) const;
};

// The provider in force (see the top of this file). The reference stays valid
// for the whole process; each call forwards to whichever provider is in force
// at that moment.
DeviceFactsProvider& deviceFacts();

// Installs the host's provider; nullptr goes back to the Linux provider.
void setDeviceFactsProvider(std::shared_ptr<DeviceFactsProvider> provider);
// Path whose file system the Linux provider measures for the disk facts.
void setDeviceDiskPath(std::string path);

// The Linux provider itself, whatever is in force.
const DeviceFactsProvider& linuxDeviceFacts();

// Makes deviceFacts() answer exactly `facts` until reset.
void setDeviceFactsForTesting(DeviceFacts facts);
void resetDeviceFactsForTesting();

// ------------------------------------------------------------------ reachability

inline constexpr int kReachabilityNotReachable = 0;
inline constexpr int kReachabilityViaWWAN = 1;
inline constexpr int kReachabilityViaWiFi = 2;

using ReachabilityToken = uint64_t;

// The network path's status as the reachability monitor sees it: 0 none,
// 1 cellular (WWAN), 2 Wi-Fi. Tests set it; listeners hear of every change.
// Status at start and after resetForTesting(): 2 (Wi-Fi).
class ReachabilitySource {
 public:
  static ReachabilitySource& shared();

  int currentStatus() const;
  // Never required on this platform.
  bool connectionRequired() const { return false; }

  // Sets the status (0, 1 or 2; anything else is refused). When it differs
  // from the current one, every live listener is called with the new status
  // and true is returned; otherwise nothing happens and false is returned. Calls run outside the lock, one change at a time, in the order of
  // the changes: the thread that finds no delivery under way delivers, and
  // keeps delivering changes that other threads (or listeners) make meanwhile,
  // so setStatus() may return before its own change has been delivered.
  bool setStatus(int status);

  // Calls `listener` with the new status on every change while `owner` lives.
  // A listener whose owner died is skipped and dropped.
  ReachabilityToken addListener(std::weak_ptr<const void> owner, std::function<void(int)> listener);
  void removeListener(ReachabilityToken token);

  // Status back to the start value, listeners and undelivered changes dropped.
  void resetForTesting();

 private:
  ReachabilitySource();
  struct Listener;

  mutable std::mutex m_;
  int status_;
  std::vector<std::shared_ptr<Listener>> listeners_;
  std::deque<int> undelivered_;
  bool delivering_ = false;
  uint64_t generation_ = 0;  // bumped by reset: stale deliveries stop
  ReachabilityToken nextToken_ = 1;
};

}  // namespace platform
