#pragma once
// One analytics event: a numeric id, the wall-clock time it happened (ms since
// 1970, read from the platform clock when the event is made) and its data.
//
// Plain value: copyable and safe to hand between threads.
#include <cstdint>
#include <memory>

#include "platform/json.h"

class QBEventData {
 public:
  // An event with id `eventId` stamped now. Data that is not a JSON object is
  // replaced by an empty object.
  QBEventData(int eventId, platform::Json additionalData);
  // The same, shared.
  static std::shared_ptr<QBEventData> initWithEventId(int eventId, platform::Json additionalData);

  int eventId() const { return eventId_; }
  void setEventId(int eventId) { eventId_ = eventId; }
  // Milliseconds since 1970 on the platform wall clock.
  int64_t eventTimestamp() const { return eventTimestamp_; }
  void setEventTimestamp(int64_t timestamp) { eventTimestamp_ = timestamp; }
  const platform::Json& additionalData() const { return additionalData_; }
  void setAdditionalData(platform::Json additionalData);

  // "eventId: <id>, timestamp: <ms>, data: <compact JSON>" for logs.
  std::string description() const;

 private:
  int eventId_;
  int64_t eventTimestamp_;
  platform::Json additionalData_;
};
