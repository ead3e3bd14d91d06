#pragma once
// The init view of the global data store: the entry the configuration request
// takes from it (the session id). Process-wide; thread-safe; answers on the
// calling thread.
#include <string>
#include <vector>

#include "platform/json.h"

class QBInitProvider {
 public:
  static QBInitProvider& sharedInstance();
  // The keys of the view, in the order getInitData() lists them.
  static const std::vector<std::string>& keys();
  // The current values of the view's keys (after refreshing the changing
  // device keys); keys absent from the store are left out.
  platform::Json getInitData() const;

 private:
  QBInitProvider() = default;
};
