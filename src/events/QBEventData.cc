#include "events/QBEventData.h"

#include <string>
#include <utility>

#include "platform/clock.h"

QBEventData::QBEventData(int eventId, platform::Json additionalData)
    : eventId_(eventId), eventTimestamp_(platform::nowWallMs()) {
  setAdditionalData(std::move(additionalData));
}

std::shared_ptr<QBEventData> QBEventData::initWithEventId(int eventId, platform::Json additionalData) {
  return std::make_shared<QBEventData>(eventId, std::move(additionalData));
}

void QBEventData::setAdditionalData(platform::Json additionalData) {
  additionalData_ = additionalData.is_object() ? std::move(additionalData) : platform::Json::object();
}

std::string QBEventData::description() const {
  return "eventId: " + std::to_string(eventId_) + ", timestamp: " + std::to_string(eventTimestamp_) +
         ", data: " + platform::dumpJson(additionalData_);
}
