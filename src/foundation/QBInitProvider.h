#pragma once
// The init view of the global data store: the entries the configuration
// request carries (application key, session id, SDK version, user id, plugin,
// mediation type, consent, OS, device model, application version and bundle,
// language, time zone, connection type and the device identifiers;
// docs/configuration-request.md lists them). Process-wide; thread-safe;
// answers on the calling thread.
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
