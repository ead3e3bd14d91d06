#pragma once
// The current device as the UI sees it: its orientation (with the change
// notice), its interface idiom and its system version. Main queue only.
//
// Idiom and system version come from the device facts (platform/device.h:
// interfaceIdiom and osVersion), so a test sets them with
// setDeviceFactsForTesting.
#include <optional>
#include <string>

#include "platform/device.h"

namespace platform {

class Device {
 public:
  static Device& current();

  // The orientation the host (or a test) last set, else the device facts'.
  DeviceOrientation orientation() const;
  // Host and test control: a different orientation is kept and
  // kUIDeviceOrientationDidChangeNotification is posted on the default centre
  // from the calling thread; the same orientation posts nothing.
  void setOrientation(DeviceOrientation orientation);

  UserInterfaceIdiom userInterfaceIdiom() const;
  std::string systemVersion() const;
  // Whether systemVersion() is at least `version`, comparing the dot-separated
  // numbers one by one ("13.0" >= "8.4"; a missing part counts as 0).
  bool isSystemVersionAtLeast(const std::string& version) const;

  // Forgets the orientation set; nothing is posted.
  void resetForTesting() { orientation_.reset(); }

 private:
  Device() = default;
  std::optional<DeviceOrientation> orientation_;
};

// Compares dot-separated version numbers: negative, 0 or positive.
int compareSystemVersions(const std::string& a, const std::string& b);

}  // namespace platform
