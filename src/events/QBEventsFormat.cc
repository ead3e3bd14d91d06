#include "events/QBEventsFormat.h"

#include <algorithm>
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
  writeCurrent(general.get_ref<Json::object_t&>(), readChanging());
  return general;
}

QBEventsGeneralProperties::Changing QBEventsGeneralProperties::readChanging() {
  const QBConfigurations& configurations = QBConfigurations::getConfigurations();
  return Changing{QBUtils::UUIDForSession(),
                  configurations.appKey(),
                  configurations.userId(),
                  PMEReachabilityManager::sharedManager()->getReachabilityObject()->getDeviceReachabilityType(),
                  configurations.plugin(),
                  configurations.pluginVersion()};
}

void QBEventsGeneralProperties::writeCurrent(Json::object_t& general, Changing changing) const {
  // Every name written here is new to `general` (empty, or holding only
  // "eventId" and "timestamp"), so each is appended without a search.
  appendNewMember(general, "sessionId", std::move(changing.sessionId));
  appendNewMember(general, "appKey", std::move(changing.appKey));
  if (changing.userId && !changing.userId->empty()) appendNewMember(general, "userId", std::move(*changing.userId));
  appendNewMember(general, "connectionType", std::move(changing.connectionType));
  for (const auto& [key, value] : fixed_.get_ref<const Json::object_t&>()) appendNewMember(general, key, value);
  if (changing.plugin && !changing.plugin->empty()) {
    appendNewMember(general, "plugin", std::move(*changing.plugin));
    if (changing.pluginVersion) appendNewMember(general, "pluginVersion", std::move(*changing.pluginVersion));
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
  writeCurrent(object, readChanging());
  addEventData(enriched, event);
  return enriched;
}

std::string QBEventsGeneralProperties::enrichedText(const QBEventData& event) const {
  Changing changing = readChanging();
  if (!written_ || !(written_->changing == changing)) {
    Json general = Json::object();
    auto& members = general.get_ref<Json::object_t&>();
    writeCurrent(members, changing);
    Written written{std::move(changing), platform::dumpJson(general), {}};
    // dumpJson gives "" only when memory ran out.
    if (written.members.size() < 2) return platform::dumpJson(enrich(event));
    written.members = written.members.substr(1, written.members.size() - 2);  // "{...}" -> "..."
    for (const auto& member : members) written.names.push_back(member.first);
    written_ = std::move(written);
  }
  const Json& data = event.additionalData();
  if (!data.is_object()) return platform::dumpJson(enrich(event));
  // Data naming a general property (whose place it takes) or the event's id
  // or time (which it cannot replace) goes the long way.
  for (const auto& member : data.get_ref<const Json::object_t&>()) {
    const std::string& key = member.first;
    if (key == "eventId" || key == "timestamp" ||
        std::find(written_->names.begin(), written_->names.end(), key) != written_->names.end()) {
      return platform::dumpJson(enrich(event));
    }
  }
  const std::string dataText = platform::dumpJson(data);  // "{...}", or "" when memory ran out
  if (dataText.size() < 2) return platform::dumpJson(enrich(event));
  std::string text = R"({"eventId":)" + std::to_string(event.eventId()) + R"(,"timestamp":)" +
                     std::to_string(event.eventTimestamp()) + ',';
  text.reserve(text.size() + written_->members.size() + dataText.size() + 1);
  text += written_->members;
  if (data.empty()) {
    text += '}';
  } else {
    text += ',';
    text.append(dataText, 1);  // the members and the closing brace
  }
  return text;
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

std::string uploadBodyText(bool marrowjet, const std::deque<QBKeptEvent>& events, size_t first, size_t count,
                           int64_t sendTimestampMs) {
  // The text dumpJson(uploadBody(...)) gives, written out directly from the
  // events' texts.
  std::string text = marrowjet ? std::string(R"({"table":")") + kMarrowjetTable + R"(","data":[)"
                               : R"({"sendTimestamp":)" + std::to_string(sendTimestampMs) + R"(,"events":[)";
  const size_t end = first + std::min(count, events.size() - std::min(first, events.size()));
  size_t bytes = text.size() + 2;
  for (size_t i = first; i < end; ++i) bytes += events[i].text.size() + 1;
  text.reserve(bytes);
  for (size_t i = first; i < end; ++i) {
    if (i != first) text += ',';
    text += events[i].text;
  }
  text += "]}";
  return text;
}

QBKeptEvent keptEvent(const Json& enriched) {
  return QBKeptEvent{enriched.value("eventId", int64_t{0}), platform::dumpJson(enriched)};
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
