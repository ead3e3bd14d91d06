// Device facts, colours and layout of the helper methods.
#include <ifaddrs.h>
#include <linux/if_packet.h>
#include <net/if.h>
#include <sys/socket.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <limits>
#include <mutex>

#include "foundation/PMEDeviceStatus.h"
#include "foundation/QBUtils.h"
#include "ownnetwork/services/PMAHelperMethods.h"
#include "ownnetwork/services/QBNJsonValues.h"
#include "platform/device.h"
#include "platform/storage.h"
#include "platform/ui/application.h"
#include "platform/ui/view_controller.h"

namespace {

using platform::Json;

struct PlatformStringCache {
  std::mutex mutex;
  std::optional<std::string> value;
};

PlatformStringCache& platformStringCache() {
  static PlatformStringCache& cache = *new PlatformStringCache();  // lives for the process
  return cache;
}

// NSScanner's hexadecimal reading: leading white space and "0x" skipped, digits
// up to the first other character, all ones past 32 bits, 0 without digits.
uint32_t scanHex(const std::string& text) {
  size_t i = 0;
  while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
  if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) i += 2;
  uint64_t value = 0;
  bool overflow = false;
  for (; i < text.size() && std::isxdigit(static_cast<unsigned char>(text[i])); ++i) {
    const char c = static_cast<char>(std::tolower(static_cast<unsigned char>(text[i])));
    value = value * 16 + static_cast<uint64_t>(c <= '9' ? c - '0' : c - 'a' + 10);
    if (value > std::numeric_limits<uint32_t>::max()) {
      overflow = true;
      value = 0;
    }
  }
  return overflow ? std::numeric_limits<uint32_t>::max() : static_cast<uint32_t>(value);
}

std::string lowercase(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

}  // namespace

platform::Color PMAHelperMethods::colorWithHexString(const std::string& text) {
  std::string hex;
  for (char c : text) {
    if (c != '#') hex.push_back(c);
  }
  if (hex.size() == 3) hex = std::string{hex[0], hex[0], hex[1], hex[1], hex[2], hex[2]};
  if (hex.size() == 6) hex += "ff";
  const uint32_t rgba = scanHex(hex);
  return platform::Color{((rgba >> 24) & 0xFF) / 255.0, ((rgba >> 16) & 0xFF) / 255.0, ((rgba >> 8) & 0xFF) / 255.0,
                         (rgba & 0xFF) / 255.0};
}

platform::Color PMAHelperMethods::colorWithHex(int64_t hex) {
  return platform::Color{((hex >> 16) & 0xFF) / 255.0, ((hex >> 8) & 0xFF) / 255.0, (hex & 0xFF) / 255.0, 1.0};
}

std::string PMAHelperMethods::platformString() {
  auto& cache = platformStringCache();
  std::lock_guard lock(cache.mutex);
  if (!cache.value) cache.value = platform::deviceFacts().facts().hardwareModel;
  return *cache.value;
}

void PMAHelperMethods::resetPlatformStringForTesting() {
  auto& cache = platformStringCache();
  std::lock_guard lock(cache.mutex);
  cache.value.reset();
}

bool PMAHelperMethods::isIphoneAppOnIpadDevice() {
  if (platform::deviceFacts().facts().interfaceIdiom == platform::UserInterfaceIdiom::Pad) return false;
  return lowercase(platformString()).find("ipad") != std::string::npos;
}

uint64_t PMAHelperMethods::getFreeDiskspace() { return QBUtils::freeDiskSpace(); }

std::optional<std::string> PMAHelperMethods::getMACAddress() { return macAddressOfInterface("en0"); }

std::optional<std::string> PMAHelperMethods::macAddressOfInterface(const std::string& name) {
  struct ifaddrs* list = nullptr;
  if (getifaddrs(&list) != 0) return std::nullopt;
  std::optional<std::string> address;
  for (struct ifaddrs* entry = list; entry && !address; entry = entry->ifa_next) {
    if (!entry->ifa_addr || entry->ifa_addr->sa_family != AF_PACKET || !entry->ifa_name || name != entry->ifa_name) {
      continue;
    }
    const auto* link = reinterpret_cast<const struct sockaddr_ll*>(entry->ifa_addr);
    if (link->sll_halen != 6) continue;
    char text[18];
    std::snprintf(text, sizeof text, "%02X:%02X:%02X:%02X:%02X:%02X", link->sll_addr[0], link->sll_addr[1],
                  link->sll_addr[2], link->sll_addr[3], link->sll_addr[4], link->sll_addr[5]);
    address = text;
  }
  freeifaddrs(list);
  return address;
}

Json PMAHelperMethods::getGeneralParamsDic() {
  const platform::DeviceFacts facts = platform::deviceFacts().facts();
  const PMEDeviceStatus status;
  const std::string& osVersion = facts.osVersion;
  const size_t dot = osVersion.find('.');
  Json params = Json::object();
  params["deviceOEM"] = "Apple";
  params["deviceModel"] = platformString();
  params["deviceOs"] = "ios";
  params["deviceOSVersion"] = osVersion;
  params["deviceApiLevel"] = dot == std::string::npos ? osVersion : osVersion.substr(0, dot);
  params["bundleId"] = platform::bundleIdentifier();
  params["SDKVersion"] = kQBNSDKVersion;
  params["deviceIds[IDFV]"] = status.getVendorIdIfAllowed().value_or("");
  params["deviceIds[IFA]"] = status.advertiserId().value_or("");
  params["isLimitAdTrackingEnabled"] = status.isAdvertisingTrackingEnabled() ? "false" : "true";
  if (facts.carrierName && !facts.carrierName->empty()) params["mobileCarrier"] = *facts.carrierName;
  return params;
}

std::string PMAHelperMethods::getDeviceApiLevelFromDeviceOsVersion(const std::string& osVersion) {
  const size_t dot = osVersion.find('.');
  return dot == std::string::npos ? std::string() : osVersion.substr(0, dot);
}

std::optional<std::string> PMAHelperMethods::productTypeByPMAType(uint64_t productType) {
  static const char* const kNames[] = {"RewardedVideo", "Interstitial", "OfferWall", "OfferWall", "Banner"};
  if (productType > 4) return std::nullopt;
  return std::string(kNames[productType]);
}

platform::Rect PMAHelperMethods::frameForButtonFromParamsDictionary(const Json& params, const platform::Rect& frame) {
  const double width = static_cast<double>(qbnjson::integerValue(params, "width"));
  const double height = static_cast<double>(qbnjson::integerValue(params, "height"));
  const double margin = static_cast<double>(qbnjson::integerValue(params, "margin"));
  const double frameWidth = frame.size.width;
  const double frameHeight = frame.size.height;
  platform::Point origin;
  const Json position = params.is_object() && params.contains("position") ? params["position"] : Json();
  if (position.is_string()) {
    const std::string& corner = position.get_ref<const std::string&>();
    if (corner == "top-left") {
      origin = {margin, margin};
    } else if (corner == "top-right") {
      origin = {frameWidth - margin - width, margin};
    } else if (corner == "bottom-left") {
      origin = {margin, frameHeight - margin - height};
    } else if (corner == "bottom-right") {
      origin = {frameWidth - margin - width, frameHeight - margin - height};
    }
  } else if (position.is_object() && position.contains("x") && position.contains("y")) {
    origin = {static_cast<double>(qbnjson::integerValue(position, "x")),
              static_cast<double>(qbnjson::integerValue(position, "y"))};
  }
  return platform::Rect{origin, platform::Size{width, height}};
}

std::shared_ptr<platform::Window> PMAHelperMethods::applicationKeyWindow() {
  return platform::Application::shared().keyWindow();
}

std::shared_ptr<platform::ViewController> PMAHelperMethods::topMostController() {
  auto window = applicationKeyWindow();
  auto controller = window ? window->rootViewController() : nullptr;
  while (controller && controller->presentedViewController()) controller = controller->presentedViewController();
  return controller;
}

std::shared_ptr<platform::WindowScene> PMAHelperMethods::avaibleWindowScene(
    const std::shared_ptr<platform::ViewController>& controller) {
  if (!controller || !controller->isViewLoaded()) return nullptr;
  const auto window = controller->view()->window();
  return window ? window->windowScene() : nullptr;
}
