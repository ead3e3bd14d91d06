#pragma once
// What the events engines store and upload (docs/events.md has the exact
// formats):
//  * an enriched event is one flat JSON object: "eventId", "timestamp", the
//    general properties of the moment it was recorded, then the event's own
//    data;
//  * an upload body wraps a run of enriched events in the "outcome" or the
//    "marrowjet" format;
//  * the backup is a JSON array of enriched events.
//
// Everything here is synchronous and runs on the calling thread (the engines
// call it on their serial queues); nothing throws.
#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "events/QBEventData.h"
#include "platform/json.h"

// An enriched event as the engines keep it: its id (for the opt-out filter)
// and its compact JSON text, written once when the event is recorded. An
// upload then copies the texts, and a kept event costs its text alone.
struct QBKeptEvent {
  int64_t eventId = 0;
  std::string text;
};

// Not thread-safe: each engine owns one and uses it on its queue.
class QBEventsGeneralProperties {
 public:
  // The SDK version every event carries.
  static constexpr const char* kSdkVersion = "7.3.1";

  // Reads the facts that stay the same for the life of the process (OS,
  // device, application) once.
  QBEventsGeneralProperties();

  // The general properties now: session id, application key, user id,
  // connection type, the fixed facts and the plugin, in the documented order.
  platform::Json current() const;

  // The enriched form of `event`: {"eventId", "timestamp"} + `general` + the
  // event's data. The event's data overrides a general property of the same
  // name; "eventId" and "timestamp" always come from the event record.
  static platform::Json enrich(const QBEventData& event, const platform::Json& general);
  // The same with the general properties of now: enrich(event, current()).
  platform::Json enrich(const QBEventData& event) const;
  // dumpJson(enrich(event)), written without making the enriched object: the
  // general properties' text is kept from one event to the next while none
  // of them changes, and the event's data is written once.
  std::string enrichedText(const QBEventData& event) const;

 private:
  // What the general properties are made of besides the fixed facts; read
  // anew for each event.
  struct Changing {
    std::string sessionId;
    std::string appKey;
    std::optional<std::string> userId;
    std::string connectionType;
    std::optional<std::string> plugin;
    std::optional<std::string> pluginVersion;
    bool operator==(const Changing&) const = default;
  };
  static Changing readChanging();
  // Adds the general properties made of `changing` to `general` (an object).
  void writeCurrent(platform::Json::object_t& general, Changing changing) const;
  static void addEventData(platform::Json& enriched, const QBEventData& event);

  platform::Json fixed_;
  // The general properties' members as JSON text (without the braces), their
  // names, and what they were made of.
  struct Written {
    Changing changing;
    std::string members;
    std::vector<std::string> names;
  };
  mutable std::optional<Written> written_;
};

namespace QBEventsFormat {

// Name of the warehouse table of the "marrowjet" format.
inline constexpr char kMarrowjetTable[] = "plover.dwh.mediation_events";

// The upload body for events[first, first + count): with `marrowjet`
// {"table": kMarrowjetTable, "data": [...]}, else ("outcome")
// {"sendTimestamp": sendTimestampMs, "events": [...]}.
platform::Json uploadBody(bool marrowjet, const std::deque<platform::Json>& events, size_t first,
                          size_t count, int64_t sendTimestampMs);

// The JSON text of the upload body for the kept events[first, first + count):
// the same bytes as dumpJson(uploadBody(...)) of the events they were
// written from.
std::string uploadBodyText(bool marrowjet, const std::deque<QBKeptEvent>& events, size_t first, size_t count,
                           int64_t sendTimestampMs);

// The kept form of an enriched event (one isEnrichedEvent accepts).
QBKeptEvent keptEvent(const platform::Json& enriched);

// Whether `value` is a well-formed enriched event: an object with integer
// "eventId" and "timestamp".
bool isEnrichedEvent(const platform::Json& value);

// The well-formed events of a backup value, oldest first. `malformed` (when
// given) receives how many entries were skipped; a value that is not an array
// counts as one.
std::deque<platform::Json> eventsFromBackup(const platform::Json& value, size_t* malformed = nullptr);

}  // namespace QBEventsFormat
