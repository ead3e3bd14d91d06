#pragma once
// The controller page's snapshot of the device, the screen and the
// application ("getDeviceStatus"). The publisher reaches it once install()
// has handed it to PlovermarkAdsPublisher::setDeviceStatusHandler.
#include "platform/json.h"

class PlovermarkAdsPublisher;

class QBNDeviceStatusReport {
 public:
  // The general parameters, then the device-status keys in the order the page
  // reads them. Keys that depend on the application's information dictionary
  // ("xCode...", "allowArbitraryLoads...") or on the tracking switch ("att")
  // are left out when there is nothing to report. Any thread.
  static platform::Json build(bool allowOrientationFromAppDelegate);

  // Sends the report to the page's "success" function through the
  // publisher's controller manager (not encoded first).
  static void handleGetDeviceStatus(PlovermarkAdsPublisher& publisher, const platform::Json& parameters);

  // Installs handleGetDeviceStatus as the publisher's "getDeviceStatus"
  // handler. Calling it again installs the same handler.
  static void install();
};
