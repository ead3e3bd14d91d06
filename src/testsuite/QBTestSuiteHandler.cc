#include "testsuite/QBTestSuiteHandler.h"

#include <utility>

#include "platform/dispatch.h"
#include "platform/storage.h"
#include "testsuite/QBTestSuiteMediationSdkProxy.h"
#include "testsuite/QBTestSuiteViewController.h"

platform::Json QBTestSuiteHandler::generalProperties() {
  platform::Json properties = QBTestSuiteMediationSdkProxy::globalDataManagerAllData();
  if (!properties.is_object()) properties = platform::Json::object();
  const auto tokenParameters = properties.find("tkgp");
  if (tokenParameters != properties.end() && tokenParameters->is_object() && tokenParameters->contains("coppa")) {
    properties["is_coppa"] = (*tokenParameters)["coppa"];
  }
  return properties;
}

platform::Json QBTestSuiteHandler::pageData(const std::string& appKey, const platform::Json& initResponse,
                                            const std::string& sdkVersion, int consent, bool useManualRV) {
  platform::Json data = {{"deviceOS", "iOS"}, {"appKey", appKey}, {"sdkVersion", sdkVersion}};
  if (auto bundleId = platform::bundleIdentifier(); !bundleId.empty()) data["bundleId"] = bundleId;
  if (auto name = QBTestSuiteMediationSdkProxy::appName()) data["appName"] = *name;
  if (auto version = QBTestSuiteMediationSdkProxy::appVersion()) data["appVersion"] = *version;
  if (!initResponse.is_null()) data["initResponse"] = initResponse;
  data["isRvManual"] = useManualRV;
  data["generalProperties"] = generalProperties();
  data["adaptersVersion"] = QBTestSuiteMediationSdkProxy::adaptersVersions();
  data["metaData"] = QBTestSuiteMediationSdkProxy::metaData();
  data["skAdNetworksId"] = QBTestSuiteMediationSdkProxy::skAdNetworksId();
  if (consent == kConsentGranted || consent == kConsentDenied) data["gdprConsent"] = consent == kConsentGranted;
  return data;
}

void QBTestSuiteHandler::startTestSuite(platform::ViewControllerRef viewController, const std::string& appKey,
                                        const platform::Json& initResponse, const std::string& sdkVersion,
                                        const std::string& controllerUrl, int consent, bool useManualRV) {
  platform::Json data = pageData(appKey, initResponse, sdkVersion, consent, useManualRV);
  platform::mainQueue()->async([viewController = std::move(viewController), controllerUrl, data = std::move(data)] {
    QBTestSuiteViewController::init()->presentTestSuiteViewController(viewController, controllerUrl, data);
  });
}
