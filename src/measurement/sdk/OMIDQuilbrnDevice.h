#pragma once
// What the measurement scripts learn of the device ("deviceInfo" and
// "deviceCategory" of a session's context), and the replaceable clock of the
// measurement SDK. Facts come from platform::deviceFacts().
#include <string>

#include "platform/json.h"

class OMIDQuilbrnDevice {
 public:
  // {"deviceType", "os", "osVersion"}: built on first use, then the same for
  // the whole process (until resetForTesting).
  static platform::Json deviceDictionary();
  static platform::Json toJSON() { return deviceDictionary(); }
  // The machine identifier of the kernel's system identification; "n/a" when
  // there is none.
  static std::string deviceType();
  // The system's name and version; "n/a" when there is none.
  static std::string deviceOs();
  static std::string deviceOsVersion();

  // The next deviceDictionary() is built anew.
  static void resetForTesting();
};

class OMIDQuilbrnDeviceCategory {
 public:
  // From the system's name: "tvOS" -> "ctv"; "macOS" -> "desktop"; "watchOS"
  // -> "other"; "iOS", "iPadOS", "iPhoneOS" -> "desktop" for a Mac Catalyst
  // application on system version 13 or later, else "mobile"; anything else
  // -> "other".
  static std::string deviceCategory();
};

class OMIDQuilbrnClockProtocol {
 public:
  virtual ~OMIDQuilbrnClockProtocol() = default;
  // Now, in milliseconds since 1970.
  virtual int64_t date() const = 0;
};

// The platform clock (the manual clock under a TestEnvironment).
class OMIDQuilbrnClock : public OMIDQuilbrnClockProtocol {
 public:
  int64_t date() const override;

  // Now, in seconds since 1970, for ordering view states against a
  // session's gate (a state counts only when taken strictly after the gate).
  // The platform clock counts whole milliseconds, so a view set and walked
  // within one millisecond would tie with its gate and its first state would
  // be lost for as long as it does not change: the first read within a
  // millisecond is that millisecond, each further read a microsecond later
  // (up to 999 of them). Any thread.
  static double timestampSeconds();
  // The next read is the millisecond itself again.
  static void resetTimestampsForTesting();
};
