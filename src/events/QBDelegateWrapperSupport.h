#pragma once
// Helpers shared by the three delegate wrappers.
#include <memory>
#include <string>
#include <utility>

#include "foundation/QBLoggerManager.h"
#include "platform/dispatch.h"
#include "quillborne/QBAdInfo.h"

namespace qbevents {

// The ad info a callback carries: the given one, or an empty one.
inline QBAdInfo adInfoOrEmpty(const std::shared_ptr<const QBAdInfo>& adInfo) {
  return adInfo ? *adInfo : QBAdInfo();
}

// Logs a callback on its way to the application (level 1, tag DELEGATE).
inline void logCallback(const char* method, const std::string& details = {}) {
  QBLoggerManager::sharedInstance().dynamicLog(method, details, 1, 1);
}

// Runs `deliver(recipients)` on the main queue. Blocks posted in call order
// run in call order.
template <class Recipients, class Deliver>
void deliverOnMain(Recipients recipients, Deliver deliver) {
  platform::mainQueue()->async(
      [recipients = std::move(recipients), deliver = std::move(deliver)] { deliver(recipients); });
}

}  // namespace qbevents
