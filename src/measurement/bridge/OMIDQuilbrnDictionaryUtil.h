#pragma once
// JSON helpers of the measurement SDK.
#include <optional>
#include <string>

#include "platform/json.h"

class OMIDQuilbrnDictionaryUtil {
 public:
  // The compact JSON text of an object or array; none when the value is not a
  // valid JSON object (another top-level type, or a number that is not
  // finite) or cannot be written.
  static std::optional<std::string> stringFromJSON(const platform::Json& object);
};
