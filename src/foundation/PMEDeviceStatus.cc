#include "foundation/PMEDeviceStatus.h"

#include <cctype>

#include "platform/clock.h"
#include "platform/device.h"
#include "platform/storage.h"

namespace {

platform::DeviceFacts currentFacts() { return platform::deviceFacts().facts(); }

std::string codeOrZero(const std::optional<std::string>& value) {
  return value && !value->empty() ? *value : "0";
}

std::optional<std::string> plistString(const char* key) {
  auto value = platform::appInfoValue(key);
  if (!value || !value->is_string()) return std::nullopt;
  return value->get<std::string>();
}

// Reads the next dotted part; returns false when the text is used up.
bool nextPart(std::string_view& text, uint64_t& part) {
  if (text.empty()) return false;
  part = 0;
  size_t i = 0;
  for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
    if (part < 1'000'000'000'000ull) part = part * 10 + static_cast<uint64_t>(text[i] - '0');
  }
  auto dot = text.find('.', i);
  text = dot == std::string_view::npos ? std::string_view() : text.substr(dot + 1);
  return true;
}

}  // namespace

PMEDeviceStatus::PMEDeviceStatus(const platform::DeviceFacts& snapshot)
    : snapshot_(std::make_shared<const platform::DeviceFacts>(snapshot)) {}

platform::DeviceFacts PMEDeviceStatus::facts() const { return snapshot_ ? *snapshot_ : currentFacts(); }

bool PMEDeviceStatus::isAdvertisingTrackingEnabled() const {
  return facts().isAdvertisingTrackingEnabled.value_or(false);
}

std::optional<std::string> PMEDeviceStatus::advertiserId() const {
  auto id = facts().advertisingId;
  if (!id || id->empty()) return std::nullopt;
  return id;
}

std::optional<std::string> PMEDeviceStatus::getVendorIdIfAllowed() const {
  constexpr unsigned kRestricted = 1;
  const auto f = facts();
  if (f.trackingAuthorizationStatus == kRestricted) return std::nullopt;
  if (!f.vendorId || f.vendorId->empty()) return std::nullopt;
  return f.vendorId;
}

std::string PMEDeviceStatus::getIdentifierType() const {
  if (isAdvertisingTrackingEnabled()) {
    if (auto id = advertiserId(); id && id->find_first_not_of("0-") != std::string::npos) return "IDFA";
  }
  if (getVendorIdIfAllowed()) return "IDFV";
  return "UUID";
}

double PMEDeviceStatus::volume() const { return facts().outputVolume; }

double PMEDeviceStatus::batteryLevel() const { return facts().batteryLevel * 100.0; }

const std::vector<std::string>& PMEDeviceStatus::jailbreakPaths() {
  static const std::vector<std::string>& paths = *new std::vector<std::string>{
      "/Applications/Cydia.app",
      "/Applications/Sileo.app",
      "/Library/MobileSubstrate/MobileSubstrate.dylib",
      "/bin/bash",
      "/usr/sbin/sshd",
      "/etc/apt",
      "/private/var/lib/apt/",
      "/usr/bin/ssh",
      "/var/jb",
  };
  return paths;
}

bool PMEDeviceStatus::jailBroken() const {
  const auto& provider = platform::deviceFacts();
  for (const auto& path : jailbreakPaths()) {
    if (provider.jailbreakPathExists(path)) return true;
  }
  return false;
}

int64_t PMEDeviceStatus::localTime() const { return platform::clock().wallMs(); }

int64_t PMEDeviceStatus::timezoneOffset() const { return facts().timeZoneOffsetSeconds / 60; }

std::string PMEDeviceStatus::timeZoneId() const { return facts().timeZoneId; }

std::string PMEDeviceStatus::mobileCountryCode() const { return codeOrZero(facts().mobileCountryCode); }

std::string PMEDeviceStatus::mobileNetworkCode() const { return codeOrZero(facts().mobileNetworkCode); }

std::string PMEDeviceStatus::isoCountryCode() const { return codeOrZero(facts().isoCountryCode); }

bool PMEDeviceStatus::lowPowerModeEnabled() const { return facts().isLowPowerMode; }

int64_t PMEDeviceStatus::systemUptime() const { return platform::clock().uptimeMs(); }

int64_t PMEDeviceStatus::systemFullUptime() const { return platform::clock().uptimeWithSleepMs(); }

std::optional<int64_t> PMEDeviceStatus::systemBootTime() const { return platform::clock().bootTimeMs(); }

platform::Json PMEDeviceStatus::safeAreaInsets() const {
  const auto f = facts();
  platform::EdgeInsets insets{-1, -1, -1, -1};
  if (f.keyWindowPresent && f.safeAreaInsets && compareVersions(f.osVersion, "11.0") >= 0) {
    insets = *f.safeAreaInsets;
  }
  platform::Json out = platform::Json::object();
  out["top"] = insets.top;
  out["bottom"] = insets.bottom;
  out["right"] = insets.right;
  out["left"] = insets.left;
  return out;
}

int PMEDeviceStatus::userInterfaceStyle() const {
  const auto f = facts();
  if (compareVersions(f.osVersion, "12.0") < 0) return 1;
  return static_cast<int>(f.userInterfaceStyle);
}

double PMEDeviceStatus::brightness() const { return facts().screenBrightness; }

std::optional<std::string> PMEDeviceStatus::xcodeVersion() const { return plistString("DTXcode"); }

std::optional<std::string> PMEDeviceStatus::xcodeBuildVersion() const {
  return plistString("DTXcodeBuild");
}

std::optional<std::string> PMEDeviceStatus::xcodeSdkName() const { return plistString("DTSDKName"); }

std::optional<std::string> PMEDeviceStatus::xcodeSdkBuild() const { return plistString("DTSDKBuild"); }

int PMEDeviceStatus::compareVersions(std::string_view a, std::string_view b) {
  while (!a.empty() || !b.empty()) {
    uint64_t pa = 0, pb = 0;
    if (!nextPart(a, pa)) pa = 0;
    if (!nextPart(b, pb)) pb = 0;
    if (pa != pb) return pa < pb ? -1 : 1;
  }
  return 0;
}

bool PMEDeviceStatus::isOSVersionAtLeast(std::string_view version) {
  return compareVersions(currentFacts().osVersion, version) >= 0;
}
