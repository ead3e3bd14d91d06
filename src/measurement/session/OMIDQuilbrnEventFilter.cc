#include "measurement/session/OMIDQuilbrnEventFilter.h"

#include <mutex>

bool OMIDQuilbrnEventFilter::acceptEventWithCode(unsigned code, unsigned blockingEventCodes) {
  std::unique_lock lock(mutex_);
  if (codes_ & (blockingEventCodes | finalEventCode_ | code)) return false;
  codes_ |= code;
  return true;
}

bool OMIDQuilbrnEventFilter::acceptAnyEventWithRequiredEventCodes(unsigned requiredEventCodes) const {
  std::shared_lock lock(mutex_);
  if (codes_ & finalEventCode_) return false;
  return (codes_ & requiredEventCodes) == requiredEventCodes;
}

bool OMIDQuilbrnEventFilter::isFinalEventAccepted() const {
  std::shared_lock lock(mutex_);
  return (codes_ & finalEventCode_) != 0;
}
