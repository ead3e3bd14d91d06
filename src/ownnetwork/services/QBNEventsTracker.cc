#include "ownnetwork/services/QBNEventsTracker.h"

#include "foundation/PMEReachability.h"
#include "ownnetwork/api/QBNConfigurations.h"
#include "ownnetwork/services/PMAHelperMethods.h"
#include "ownnetwork/services/QBNJsonValues.h"
#include "platform/crypto.h"
#include "platform/device.h"
#include "platform/storage.h"

namespace {

using platform::Json;

std::optional<std::string> stringMember(const std::optional<Json>& object, const char* key) {
  if (!object || !object->is_object()) return std::nullopt;
  auto it = object->find(key);
  if (it == object->end() || !it->is_string()) return std::nullopt;
  return it->get<std::string>();
}

}  // namespace

// ------------------------------------------------------------------ base data

QBNEventsBaseData::QBNEventsBaseData(const QBNConfigurations* configurations) {
  const platform::DeviceFacts facts = platform::deviceFacts().facts();
  bundleId_ = platform::bundleIdentifier();
  deviceOsVersion_ = facts.osVersion;
  const std::string apiLevel = PMAHelperMethods::getDeviceApiLevelFromDeviceOsVersion(facts.osVersion);
  deviceApiLevel_ = static_cast<int32_t>(qbnjson::integerValue(Json(apiLevel)));
  connectionType_ = PMEReachabilityManager::sharedManager()->getReachabilityObject()->getDeviceReachabilityType();
  deviceModel_ = PMAHelperMethods::platformString();
  if (!configurations) return;
  applicationKey_ = configurations->applicationKey;
  applicationUserId_ = configurations->userId;
  if (configurations->controllerConfig) {
    deviceId_ = stringMember(configurations->controllerConfig, "advId");
    sessionId_ = stringMember(configurations->extraParams, "sessionid");
  }
}

Json QBNEventsBaseData::getData() const {
  Json data = Json::object();
  data["sdkversion"] = kQBNSDKVersion;
  data["bundleid"] = bundleId_.value_or("");
  data["connectiontype"] = connectionType_.value_or("");
  data["applicationkey"] = applicationKey_.value_or("");
  if (deviceId_) data["deviceid"] = *deviceId_;
  if (applicationUserId_) data["applicationuserid"] = *applicationUserId_;
  data["deviceos"] = "ios";
  data["deviceosversion"] = deviceOsVersion_.value_or("");
  data["deviceapilevel"] = deviceApiLevel_;
  data["deviceoem"] = "Apple";
  data["devicemodel"] = deviceModel_.value_or("");
  data["env"] = "prod";
  data["sessionid"] = sessionId_.value_or("");
  data["origin"] = "n";
  return data;
}

// ------------------------------------------------------------------ formatter

std::string QBNEventsFormatter::format(const Json& event) const {
  Json copy = event.is_object() ? event : Json::object();
  for (const char* key : {"callfailreason", "generalmessage"}) {
    auto it = copy.find(key);
    if (it != copy.end()) *it = PMAHelperMethods::encodeToPercentEscapeString(*it);
  }
  const Json wrapper = {{"table", kTable}, {"data", std::move(copy)}};
  auto text = PMAHelperMethods::JSONStringFromDictionary(wrapper, nullptr);
  if (!text) return std::string();
  return "data=" + platform::base64Encode(*text);
}

// -------------------------------------------------------------------- tracker

QBNEventsTracker& QBNEventsTracker::sharedTracker() {
  static QBNEventsTracker& tracker = *new QBNEventsTracker();  // lives for the process
  return tracker;
}

void QBNEventsTracker::logEvent(const QBNEvent& event) { logEvent(event, Json::object()); }

void QBNEventsTracker::logEvent(const QBNEvent& event, const Json& data) {
  auto tracker = sharedTracker().tracker();
  if (!tracker) return;
  Json eventData = data.is_object() ? data : Json::object();
  eventData["eventid"] = event.eventId();
  tracker->log(event.eventName(), eventData);
}

platform::Status QBNEventsTracker::init(const std::shared_ptr<const QBEventsConfiguration>& configuration,
                                        std::shared_ptr<const QBNEventsBaseData> baseData) {
  auto made = QBEventsTracker::init(configuration, std::move(baseData));
  if (!made) return made.error();
  std::shared_ptr<const QBEventsTracker> replaced;
  {
    std::lock_guard lock(mutex_);
    replaced = std::move(tracker_);
    tracker_ = std::move(made).value();
  }
  return platform::Ok{};  // the replaced sender is released outside the lock
}

std::shared_ptr<const QBEventsTracker> QBNEventsTracker::tracker() const {
  std::lock_guard lock(mutex_);
  return tracker_;
}

void QBNEventsTracker::resetForTesting() {
  std::shared_ptr<const QBEventsTracker> dropped;
  std::lock_guard lock(mutex_);
  dropped = std::move(tracker_);
}
