#pragma once
// Writes the SDK core's facts into the global data store (keys:
// docs/global-data.md), where the init, auction and token views read them.
// Thread-safe; answers on the calling thread.
#include <optional>
#include <string>

#include "foundation/QBGlobalDataManager.h"

class QBMediationGlobalDataWriter {
 public:
  // What start-up writes before the configuration request: "appKey",
  // "sessionId", "sdkv" and the application's current settings from
  // QBConfigurations ("userId", "duid", "plugin", "pluginv", "mt"; a setting
  // that is unset is removed).
  void writeStartUpFacts(const std::string& appKey);
  void setUserId(const std::optional<std::string>& userId);
  void setDynamicUserId(const std::string& dynamicUserId);
  void setMediationType(const std::string& mediationType);
  void setConsent(bool consent);
  void setCcpa(bool doNotSell);
  // "tkgp" -> "coppa".
  void setCoppa(bool childDirected);

 private:
  QBGlobalDataWriter writer_;
};
