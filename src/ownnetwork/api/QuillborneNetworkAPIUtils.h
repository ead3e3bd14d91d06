#pragma once
// Identifiers of own-network ad instances.
#include <string>

#include "platform/json.h"

class QuillborneNetworkAPIUtils {
 public:
  // The id of an instance that is neither bid in-app nor one-flow, from
  // {"instanceName": text, "rewarded": boolean}: "ManRewInst_" followed by the
  // name for a rewarded instance, else the name itself ("rewarded" false or
  // missing). Pure.
  static std::string generateInstanceId(const platform::Json& instanceData);

  // The id of an in-app-bidding or one-flow instance: the platform clock's
  // wall time in whole milliseconds since 1970, as decimal text - raised to
  // one more than the last id this process gave when the clock has not
  // passed it, so that no two ids of the process are equal (instances built
  // within one millisecond stay apart). Thread-safe.
  static std::string generateUniqueInstanceId();
};
