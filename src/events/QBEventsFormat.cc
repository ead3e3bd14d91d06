#include "events/QBEventsFormat.h"

#include <utility>

#include "core/QBConfigurations.h"
#include "foundation/PMEApplicationContext.h"
#include "foundation/PMEReachability.h"
#include "foundation/QBUtils.h"
#include "platform/device.h"
#include "platform/storage.h"

using platform::Json;

QBEventsGeneralProperties::QBEventsGeneralProperties() : fixed_(Json::object()) {
  const platform::DeviceFacts facts = platform::deviceFacts().facts();
  fixed_["os"] = facts.osName;
  fixed_["osVersion"] = facts.osVersion;
  fixed_["deviceModel"] = facts.hardwareModel;
  fixed_["deviceType"] = facts.deviceModel;
  fixed_["bundleId"] = platform::bundleIdentifier();
  if (auto version = PMEApplicationContext::getAppVersion()) fixed_["appVersion"] = *version;
  fixed_["sdkVersion"] = kSdkVersion;
}

namespace {

using platform::appendNewMember;

// The members writeCurrent() adds, at most.
constexpr size_t kCurrentMembers = 6;

}  // namespace

Json QBEventsGeneralProperties::current() const {
  Json general = Json::object();
  writeCurrent(general.get_ref<Json::object_t&>());
  return general;
}

void QBEventsGeneralProperties::writeCurrent(Json::object_t& general) const {
  // Every name written here is new to `general` (empty, or holding only
  // "eventId" and "timestamp"), so each is appended without a search.
  const QBConfigurations& configurations = QBConfigurations::getConfigurations();
  appendNewMember(general, "sessionId", QBUtils::UUIDForSession());
  appendNewMember(general, "appKey", configurations.appKey());
  if (auto userId = configurations.userId(); userId && !userId->empty()) {
    appendNewMember(general, "userId", std::move(*userId));
  }
  appendNewMember(general, "connectionType",
                  PMEReachabilityManager::sharedManager()->getReachabilityObject()->getDeviceReachabilityType());
  for (const auto& [key, value] : fixed_.get_ref<const Json::object_t&>()) appendNewMember(general, key, value);
  if (auto plugin = configurations.plugin(); plugin && !plugin->empty()) {
    appendNewMember(general, "plugin", std::move(*plugin));
    if (auto version = configurations.pluginVersion()) appendNewMember(general, "pluginVersion", std::move(*version));
  }
}

Json QBEventsGeneralProperties::enrich(const QBEventData& event) const {
  // The general properties go straight into the event instead of through an
  // object of their own; none of their names is "eventId" or "timestamp", so
  // the result is enrich(event, current()).
  Json enriched = Json::object();
  auto& object = enriched.get_ref<Json::object_t&>();
  const Json& data = event.additionalData();
  object.reserve(2 + kCurrentMembers + fixed_.size() + (data.is_object() ? data.size() : 0));
  appendNewMember(object, "eventId", event.eventId());
  appendNewMember(object, "timestamp", event.eventTimestamp());
  writeCurrent(object);
  addEventData(enriched, event);
  return enriched;
}

void QBEventsGeneralProperties::addEventData(Json& enriched, const QBEventData& event) {
  auto& object = enriched.get_ref<Json::object_t&>();
  for (const auto& [key, value] : event.additionalData().items()) {
    if (key == "eventId" || key == "timestamp") continue;
    // The event's own value wins over a general property of the same name.
    if (auto it = object.find(key); it != object.end()) {
      it->second = value;
    } else {
      appendNewMember(object, key, value);
    }
  }
}

Json QBEventsGeneralProperties::enrich(const QBEventData& event, const Json& general) {
  Json enriched = Json::object();
  enriched["eventId"] = event.eventId();
  enriched["timestamp"] = event.eventTimestamp();
  if (general.is_object()) {
    for (const auto& [key, value] : general.items()) enriched[key] = value;
  }
  addEventData(enriched, event);
  return enriched;
}

namespace QBEventsFormat {

Json uploadBody(bool marrowjet, const std::deque<Json>& events, size_t first, size_t count,
                int64_t sendTimestampMs) {
  Json batch = Json::array();
  for (size_t i = first; i < events.size() && i < first + count; ++i) batch.push_back(events[i]);
  Json body = Json::object();
  if (marrowjet) {
    body["table"] = kMarrowjetTable;
    body["data"] = std::move(batch);
  } else {
    body["sendTimestamp"] = sendTimestampMs;
    body["events"] = std::move(batch);
  }
  return body;
}

std::string uploadBodyText(bool marrowjet, const std::deque<Json>& events, size_t first, size_t count,
                           int64_t sendTimestampMs) {
  // The text dumpJson(uploadBody(...)) gives, written out directly: each
  // event is serialised where it is kept instead of being copied into a batch
  // first.
  std::string text = marrowjet ? std::string(R"({"table":")") + kMarrowjetTable + R"(","data":[)"
                               : R"({"sendTimestamp":)" + std::to_string(sendTimestampMs) + R"(,"events":[)";
  for (size_t i = first; i < events.size() && i < first + count; ++i) {
    if (i != first) text += ',';
    text += platform::dumpJson(events[i]);
  }
  text += "]}";
  return text;
}

bool isEnrichedEvent(const Json& value) {
  if (!value.is_object()) return false;
  auto eventId = value.find("eventId");
  auto timestamp = value.find("timestamp");
  return eventId != value.end() && eventId->is_number_integer() && timestamp != value.end() &&
         timestamp->is_number_integer();
}

std::deque<Json> eventsFromBackup(const Json& value, size_t* malformed) {
  std::deque<Json> events;
  size_t skipped = 0;
  if (!value.is_array()) {
    skipped = value.is_null() ? 0 : 1;
  } else {
    for (const auto& entry : value) {
      if (isEnrichedEvent(entry)) {
        events.push_back(entry);
      } else {
        ++skipped;
      }
    }
  }
  if (malformed) *malformed = skipped;
  return events;
}

}  // namespace QBEventsFormat
