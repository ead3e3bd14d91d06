#include "ownnetwork/publisher/QBNDeviceStatusReport.h"

#include <algorithm>
#include <cctype>
#include <optional>
#include <string>

#include "foundation/PMEApplicationContext.h"
#include "foundation/PMEDeviceStatus.h"
#include "foundation/PMEReachability.h"
#include "ownnetwork/controller/QBNControllerManager.h"
#include "ownnetwork/interfaces/QBNAppOrientationSourceP.h"
#include "ownnetwork/interfaces/QBNPresentationServicesP.h"
#include "ownnetwork/publisher/PlovermarkAdsPublisher.h"
#include "ownnetwork/services/PMAHelperMethods.h"
#include "ownnetwork/services/PlovermarkLogManager.h"
#include "ownnetwork/services/QBNFeaturesManager.h"
#include "platform/device.h"
#include "platform/storage.h"
#include "platform/ui/application.h"

using platform::Json;

namespace {

constexpr const char* kSelector = "handleGetDeviceStatus:";

std::string upperCased(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::toupper(c); });
  return text;
}

void addInfoString(Json& report, const char* key, const char* infoKey) {
  const auto value = platform::appInfoValue(infoKey);
  if (value && value->is_string()) report[key] = *value;
}

void log(const std::string& what, const Json& value) {
  const std::string text = value.is_object() ? value.dump() : "no params";
  PlovermarkLogManager::sharedManager().log(std::string(kSelector) + " | " + what + ": " + text, 1, 5);
}

}  // namespace

Json QBNDeviceStatusReport::build(bool allowOrientationFromAppDelegate) {
  // One snapshot of the device facts serves every device entry.
  const platform::DeviceFacts facts = platform::deviceFacts().facts();
  const PMEDeviceStatus status(facts);
  Json report = PMAHelperMethods::getGeneralParamsDic();
  if (!report.is_object()) report = Json::object();

  report["connectionType"] = PMEReachabilityManager::sharedManager()->getReachabilityObject()->getDeviceReachabilityType();
  // The device always has a language on this platform; an empty one is sent
  // as "" rather than leaving the page without the key.
  report["deviceLanguage"] = upperCased(facts.language);
  const auto presentation = QBNPresentationServicesP::sharedInstance();
  Json orientation = presentation ? presentation->applicationOrientationData(allowOrientationFromAppDelegate) : Json();
  report["orientationRestriction"] = orientation.is_object() ? orientation : Json::object();
  report["appOrientation"] =
      QBNAppOrientationSourceP::controllerString(QBNAppOrientationSourceP::currentAppOrientation()).value_or("unknown");
  const platform::Rect bounds = platform::Screen::main().bounds();
  report["deviceScreenSize[width]"] = static_cast<double>(bounds.size.width);
  report["deviceScreenSize[height]"] = static_cast<double>(bounds.size.height);
  report["deviceScreenScale"] = static_cast<double>(platform::Screen::main().scale());
  report["iphoneAppOnIpadDevice"] = PMAHelperMethods::isIphoneAppOnIpadDevice() ? 1 : 0;
  report["diskFreeSize"] = static_cast<uint64_t>(facts.freeDiskBytes >> 20);
  report["unLocked"] = status.jailBroken() ? "true" : "false";
  report["deviceVolume"] = status.volume();
  report["batteryLevel"] = status.batteryLevel();
  report["mcc"] = status.mobileCountryCode();
  report["mnc"] = status.mobileNetworkCode();
  report["icc"] = status.isoCountryCode();
  report["safeAreaInsets"] = status.safeAreaInsets();
  report["userInterfaceStyle"] = status.userInterfaceStyle();
  report["screenBrightness"] = status.brightness();
  addInfoString(report, "xCodeVersion", "DTXcode");
  addInfoString(report, "xCodeBuildVersion", "DTXcodeBuild");
  addInfoString(report, "xCodeSdkName", "DTSDKName");
  addInfoString(report, "xCodeSdkBuild", "DTSDKBuild");
  if (auto value = PMEApplicationContext::getAllowsArbitraryLoadsFlagInATS()) report["allowArbitraryLoads"] = *value;
  if (auto value = PMEApplicationContext::getAllowsArbitraryLoadsInWebContentFlagInATS()) {
    report["allowArbitraryLoadsInWebContent"] = *value;
  }
  // Without a version in the information dictionary the page reads "".
  std::optional<std::string> version;
  if (auto shortVersion = platform::appInfoValue("CFBundleShortVersionString"); shortVersion && shortVersion->is_string()) {
    version = shortVersion->get<std::string>();
  } else if (auto bundleVersion = platform::appInfoValue("CFBundleVersion"); bundleVersion && bundleVersion->is_string()) {
    version = bundleVersion->get<std::string>();
  }
  report["appVersion"] = version.value_or("");
  if (QBNFeaturesManager::sharedManager().shouldGetAuthorizationStatusByReflection() &&
      facts.trackingAuthorizationStatus) {
    report["att"] = *facts.trackingAuthorizationStatus;
  }
  return report;
}

void QBNDeviceStatusReport::handleGetDeviceStatus(PlovermarkAdsPublisher& publisher, const Json& parameters) {
  log("params", parameters);
  const Json report = build(publisher.allowOrientationFromAppDelegate());
  log("resulted params", report);
  auto manager = publisher.controllerManager();
  if (!manager) return;
  const auto success = platform::getString(parameters, "success");
  manager->runCommand(success.value_or(""), report, std::nullopt, std::nullopt, false);
}

void QBNDeviceStatusReport::install() { PlovermarkAdsPublisher::setDeviceStatusHandler(&handleGetDeviceStatus); }
