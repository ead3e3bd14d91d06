#pragma once
// Writes the own network's values into the process-wide global data store,
// which the mediation's token and auction views read:
//
//   "apor"   setAppOrientation            the controller string of the mask's
//                                         locked state, "" when it has none (set)
//   "cncdn"  setDataFromControllerConfig  the controller configuration's
//                                         "chinaCDN" (only when present)
//   "debug"  setDebugParams               the user-defaults dictionary
//                                         "SDK5DebugParams" (only when non-empty)
//   "ctgp"   extendTokenDataWithJsData    the page's token data, merged into
//                                         the dictionary already there
//
// Cheap to make; thread-safe; answers on the calling thread.
#include <cstdint>
#include <optional>
#include <string>

#include "foundation/QBGlobalDataManager.h"
#include "platform/json.h"

inline constexpr char kQBNDebugParamsKey[] = "SDK5DebugParams";

class QBNNetworkGlobalDataWriter {
 public:
  QBNNetworkGlobalDataWriter() = default;

  // The application-orientation holder calls this on every recompute.
  void setAppOrientation(uint64_t mask);
  // A text that does not parse as a JSON object changes nothing.
  void setDataFromControllerConfig(const std::optional<std::string>& controllerConfig);
  void setDebugParams();
  void extendTokenDataWithJsData(const std::optional<platform::Json>& data);

 private:
  QBGlobalDataWriter writer_;
};
