#pragma once
// The offerwall's listener, given at offerwall initialisation. Each of its
// callbacks is optional: a listener takes one by implementing that callback's
// own small interface beside this base, and callers look for it with
// dynamic_cast, skipping listeners without it.
#include <string>

#include "platform/json.h"

class PMAOfferWallDelegate {
 public:
  virtual ~PMAOfferWallDelegate() = default;
};

// An ad event of the offerwall that the controller page reports: the event's
// name and its extra data (an object). Main queue.
class PMAOfferWallEventNotificationDelegate {
 public:
  virtual ~PMAOfferWallEventNotificationDelegate() = default;
  virtual void pmaOfferwallDidReceiveNotificationOnEvent(const std::string& eventName,
                                                         const platform::Json& extData) = 0;
};
