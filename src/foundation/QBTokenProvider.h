#pragma once
// The bidding-token view of the global data store: the mediation's token
// data (device, application and SDK facts, "tkgp" with "coppa", and the own
// network's values). Process-wide; thread-safe; answers on the calling thread.
#include <string>
#include <vector>

#include "platform/json.h"

class QBTokenProvider {
 public:
  static QBTokenProvider& sharedInstance();
  // The keys of the view, in the order getToken() lists them.
  static const std::vector<std::string>& keys();
  // The current values of the view's keys as one object (after refreshing
  // the changing device keys); keys absent from the store are left out.
  platform::Json getToken() const;

 private:
  QBTokenProvider() = default;
};
