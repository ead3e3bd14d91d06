#include "scriptfeatures/storekit/QBNOverlaysHolder.h"

#include <algorithm>

#include "ownnetwork/interfaces/QBNControllerAPIData.h"
#include "ownnetwork/interfaces/QBNControllerManagerP.h"
#include "ownnetwork/interfaces/QBNPublisherAgent.h"
#include "ownnetwork/services/PMAHelperMethods.h"
#include "ownnetwork/services/PlovermarkLogManager.h"
#include "ownnetwork/services/QBNJsonValues.h"
#include "platform/ui/ui_device.h"
#include "presentation/QBAppStoreUtils.h"

using platform::Json;
using platform::SKOverlay;
using platform::SKOverlayAppConfiguration;

namespace {

void log(const std::string& message) { PlovermarkLogManager::sharedManager().logWithNetworkPrefix(message, 1, 5); }

// The text under `key`, when it is one.
std::optional<std::string> text(const Json& config, const char* key) {
  if (!config.is_object()) return std::nullopt;
  const auto it = config.find(key);
  if (it == config.end() || !it->is_string()) return std::nullopt;
  return it->get<std::string>();
}

bool fromSystem15() { return platform::Device::current().isSystemVersionAtLeast("15.0"); }

void sendEvent(const char* event, const Json& data, int encodingOptions) {
  const auto publisher = QBNPublisherAgent::sharedInstance();
  const auto manager = publisher ? publisher->controllerManager() : nullptr;
  if (!manager) return;
  manager->runCommand(QBNControllerAPIData(event).setFunctionParameters(data).setEncodingOptions(encodingOptions));
}

std::string shown(const platform::StoreParameterValue& value) {
  if (const auto* uuid = std::get_if<platform::Uuid>(&value)) return uuid->UUIDString();
  return qbnjson::description(std::get<Json>(value));
}

}  // namespace

// ------------------------------------------------------------------ listener

Json QBNOverlaysListener::formatOverlayDataInMessageForControllerWithOverlay(
    const std::shared_ptr<SKOverlay>& overlay) {
  Json data = Json::object();
  if (const auto id = QBNOverlaysHolder::sharedHolder().overlayIdForOverlay(overlay)) data["overlayId"] = *id;
  const auto configuration = overlay ? overlay->configuration() : nullptr;
  if (configuration) {
    data["advertisedAppId"] = configuration->appIdentifier();
    data["userDismissible"] = configuration->userDismissible();
    data["position"] = configuration->position();
  }
  return data;
}

Json QBNOverlaysListener::formatOverlayDataInMessageForControllerWithOverlay(const std::shared_ptr<SKOverlay>& overlay,
                                                                             const platform::Error& error) {
  Json data = formatOverlayDataInMessageForControllerWithOverlay(overlay);
  data["errCode"] = error.code;
  data["errMsg"] = error.message;
  return data;
}

void QBNOverlaysListener::storeOverlayDidFailToLoadWithError(const std::shared_ptr<SKOverlay>& overlay,
                                                             const platform::Error& error) {
  log("Failed to load a SKOverlay because : " +
      (error.message.empty() ? std::string("No explicit error") : error.message) + "]");
  sendEvent("overlayLoadFailed", formatOverlayDataInMessageForControllerWithOverlay(overlay, error),
            QBNControllerAPIData::kEncodingPercentEncode);
}

void QBNOverlaysListener::storeOverlayWillStartPresentation(const std::shared_ptr<SKOverlay>& overlay,
                                                            const platform::SKOverlayTransitionContext&) {
  sendEvent("overlayWillStartPresentation", formatOverlayDataInMessageForControllerWithOverlay(overlay),
            QBNControllerAPIData::kEncodingNone);
}

void QBNOverlaysListener::storeOverlayDidFinishPresentation(const std::shared_ptr<SKOverlay>& overlay,
                                                            const platform::SKOverlayTransitionContext&) {
  const Json data = formatOverlayDataInMessageForControllerWithOverlay(overlay);
  log("Successfully presented a SKOverlay with parameters: " + platform::dumpJson(data) + "]");
  sendEvent("overlayDidFinishPresentation", data, QBNControllerAPIData::kEncodingNone);
}

void QBNOverlaysListener::storeOverlayWillStartDismissal(const std::shared_ptr<SKOverlay>& overlay,
                                                         const platform::SKOverlayTransitionContext&) {
  sendEvent("overlayWillStartDismissal", formatOverlayDataInMessageForControllerWithOverlay(overlay),
            QBNControllerAPIData::kEncodingNone);
}

void QBNOverlaysListener::storeOverlayDidFinishDismissal(const std::shared_ptr<SKOverlay>& overlay,
                                                         const platform::SKOverlayTransitionContext&) {
  const Json data = formatOverlayDataInMessageForControllerWithOverlay(overlay);
  log("Successfully dismissed SKOverlay with parameters: " + platform::dumpJson(data) + "]");
  sendEvent("overlayDidFinishDismissal", data, QBNControllerAPIData::kEncodingNone);
}

// -------------------------------------------------------------------- holder

QBNOverlaysHolder& QBNOverlaysHolder::sharedHolder() {
  static QBNOverlaysHolder* holder = new QBNOverlaysHolder();  // lives for the process
  return *holder;
}

platform::Result<std::shared_ptr<SKOverlay>> QBNOverlaysHolder::createOverlayWithConfigurations(const Json& config) {
  auto overlay = SKOverlay::initWithConfiguration(createConfigurationInOverlayfromJSConfig(config));
  if (!overlay) return PMAHelperMethods::errorWithReason("Overlay is nil", 0, std::nullopt);
  overlay->setDelegate(overlaysListener_);
  return overlay;
}

bool QBNOverlaysHolder::canHoldOverlayForId(const std::string& overlayId) const {
  std::lock_guard lock(mutex_);
  return overlays_.size() < kMaxHeldOverlays ||
         std::any_of(overlays_.begin(), overlays_.end(), [&](const auto& e) { return e.first == overlayId; });
}

bool QBNOverlaysHolder::setOverlay(const std::shared_ptr<SKOverlay>& overlay,
                                   const std::optional<std::string>& overlayId) {
  if (!overlay || !overlayId) return true;
  std::shared_ptr<SKOverlay> replaced;  // released outside the lock
  std::lock_guard lock(mutex_);
  const auto it =
      std::find_if(overlays_.begin(), overlays_.end(), [&](const auto& e) { return e.first == *overlayId; });
  if (it != overlays_.end()) {
    replaced = std::exchange(it->second, overlay);
    return true;
  }
  if (overlays_.size() >= kMaxHeldOverlays) return false;
  overlays_.emplace_back(*overlayId, overlay);
  return true;
}

std::shared_ptr<SKOverlay> QBNOverlaysHolder::overlayForOverlayId(const std::optional<std::string>& overlayId) const {
  if (!overlayId) return nullptr;
  std::lock_guard lock(mutex_);
  for (const auto& [id, overlay] : overlays_) {
    if (id == *overlayId) return overlay;
  }
  return nullptr;
}

std::optional<std::string> QBNOverlaysHolder::overlayIdForOverlay(const std::shared_ptr<SKOverlay>& overlay) const {
  if (!overlay) return std::nullopt;
  std::lock_guard lock(mutex_);
  std::optional<std::string> last;
  for (const auto& [id, held] : overlays_) {
    if (held == overlay) last = id;
  }
  return last;
}

platform::Status QBNOverlaysHolder::removeOverlayForOverlayId(const std::optional<std::string>& overlayId) {
  if (!overlayId) return PMAHelperMethods::errorWithReason("Missing overlayId in config", 0, std::nullopt);
  std::shared_ptr<SKOverlay> removed;
  std::lock_guard lock(mutex_);
  const auto it =
      std::find_if(overlays_.begin(), overlays_.end(), [&](const auto& e) { return e.first == *overlayId; });
  if (it == overlays_.end()) {
    return PMAHelperMethods::errorWithReason("No Overlay exists for overlayId " + *overlayId, 0, std::nullopt);
  }
  removed = std::move(it->second);
  overlays_.erase(it);
  return platform::Ok{};
}

size_t QBNOverlaysHolder::heldOverlaysCount() const {
  std::lock_guard lock(mutex_);
  return overlays_.size();
}

void QBNOverlaysHolder::resetForTesting() {
  std::vector<std::pair<std::string, std::shared_ptr<SKOverlay>>> dropped;
  std::lock_guard lock(mutex_);
  dropped.swap(overlays_);
}

// ------------------------------------------------------------- configuration

int64_t QBNOverlaysHolder::extractPositionFromJSConfig(const Json& config) {
  return qbnjson::integerValue(config, "position");
}

std::shared_ptr<SKOverlayAppConfiguration> QBNOverlaysHolder::createConfigurationInOverlayfromJSConfig(
    const Json& config) const {
  const auto app = text(config, "advertisedAppId");
  if (!app) return nullptr;
  auto configuration = std::make_shared<SKOverlayAppConfiguration>(*app, extractPositionFromJSConfig(config));
  enrichCustomProductPage(*configuration, config);
  enrichCampaignToken(*configuration, config);
  enrichLatestReleaseID(*configuration, config);
  enrichProviderToken(*configuration, config);
  enrichSKANDataInOverlayConfig(*configuration, config);
  enrichUserDismissibleInOverlayConfig(*configuration, config);
  return configuration;
}

void QBNOverlaysHolder::enrichCustomProductPage(SKOverlayAppConfiguration& configuration, const Json& config) {
  const auto value = text(config, "customProductPageIdentifier");
  if (!value || !fromSystem15()) return;
  configuration.setCustomProductPageIdentifier(*value);
  log("SKOverlayAppConfiguration: set ppid=  " + *value);
}

void QBNOverlaysHolder::enrichCampaignToken(SKOverlayAppConfiguration& configuration, const Json& config) {
  const auto value = text(config, "campaignToken");
  if (!value) return;
  configuration.setCampaignToken(*value);
  log("SKOverlayAppConfiguration: set campaignToken=  " + *value);
}

void QBNOverlaysHolder::enrichLatestReleaseID(SKOverlayAppConfiguration& configuration, const Json& config) {
  const auto value = text(config, "latestReleaseID");
  if (!value || !fromSystem15()) return;
  configuration.setLatestReleaseID(*value);
  log("SKOverlayAppConfiguration: set latestReleaseID=  " + *value);
}

void QBNOverlaysHolder::enrichProviderToken(SKOverlayAppConfiguration& configuration, const Json& config) {
  const auto value = text(config, "providerToken");
  if (!value) return;
  configuration.setProviderToken(*value);
  log("SKOverlayAppConfiguration: set providerToken=  " + *value);
}

void QBNOverlaysHolder::enrichSKANDataInOverlayConfig(SKOverlayAppConfiguration& configuration, const Json& config) {
  if (!config.is_object()) return;
  const auto it = config.find("SKANData");
  if (it == config.end() || !it->is_object()) return;
  auto values = platform::StoreProductParameters::fromJson(*it);
  QBAppStoreUtils::convertSKAdNetworkNonceToUUID(values);
  for (const auto& [key, value] : values.members()) {
    configuration.setAdditionalValue(value, key);
    log("SKOverlayAppConfiguration: set skan data with key= " + key + " and value= " + shown(value));
  }
}

void QBNOverlaysHolder::enrichUserDismissibleInOverlayConfig(SKOverlayAppConfiguration& configuration,
                                                             const Json& config) {
  const auto dismissible = qbnjson::boolValue(config, "userDismissible");
  configuration.setUserDismissible(dismissible.value_or(false));
  if (dismissible) log(std::string("SKOverlayAppConfiguration: set userDismissible= ") + (*dismissible ? "YES" : "NO"));
}
