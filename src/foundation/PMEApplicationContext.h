#pragma once
// Facts of the host application read from its information dictionary
// (platform::appInfo()). Class operations; synchronous, thread-safe, on the
// calling thread.
#include <optional>
#include <string>

#include "platform/json.h"

class PMEApplicationContext {
 public:
  // "CFBundleShortVersionString", else "CFBundleVersion" (each only when it is
  // a non-empty string); none when neither.
  static std::optional<std::string> getAppVersion();
  // The raw values of "NSAllowsArbitraryLoads" and
  // "NSAllowsArbitraryLoadsInWebContent" inside the dictionary
  // "NSAppTransportSecurity", whatever their type; none when absent (or when
  // "NSAppTransportSecurity" is not a dictionary).
  static std::optional<platform::Json> getAllowsArbitraryLoadsFlagInATS();
  static std::optional<platform::Json> getAllowsArbitraryLoadsInWebContentFlagInATS();
};
