#pragma once
// One launch of the test suite: gathers the data the test page receives and
// starts the presentation. Made anew for each launch.
#include <cstdint>
#include <memory>
#include <string>

#include "platform/json.h"
#include "platform/ui.h"

class QBTestSuiteHandler {
 public:
  // Consent values (as the adapter registry gives them).
  static constexpr int kConsentNotSet = 0;
  static constexpr int kConsentGranted = 1;
  static constexpr int kConsentDenied = 2;

  // Builds the page data on the calling thread, then, on the main queue,
  // makes a QBTestSuiteViewController and presents it from `viewController`
  // (QBTestSuiteViewController::presentTestSuiteViewController).
  void startTestSuite(platform::ViewControllerRef viewController, const std::string& appKey,
                      const platform::Json& initResponse, const std::string& sdkVersion,
                      const std::string& controllerUrl, int consent, bool useManualRV);

  // The page data (docs/test-suite.md): "deviceOS", "appKey", "sdkVersion",
  // "bundleId", "appName", "appVersion", "initResponse", "isRvManual",
  // "generalProperties", "adaptersVersion", "metaData", "skAdNetworksId" and,
  // for a consent that was set, "gdprConsent"; a value that is absent leaves
  // its key out.
  static platform::Json pageData(const std::string& appKey, const platform::Json& initResponse,
                                 const std::string& sdkVersion, int consent, bool useManualRV);
  // A copy of the global data store with "is_coppa" taken from its "tkgp"
  // dictionary's "coppa" (absent when either is).
  static platform::Json generalProperties();
};
