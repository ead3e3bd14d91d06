#include "measurement/bridge/OMIDQuilbrnDictionaryUtil.h"

#include <cmath>

#include "platform/script/script_literal.h"
#include "platform/utf8.h"

namespace {

// Whether every number is finite and every text is UTF-8.
bool writable(const platform::Json& value) {
  if (value.is_number_float()) return std::isfinite(value.get<double>());
  if (value.is_string()) return platform::utf8::isValid(value.get_ref<const std::string&>());
  if (value.is_object()) {
    for (const auto& [key, member] : value.items()) {
      if (!platform::utf8::isValid(key) || !writable(member)) return false;
    }
  } else if (value.is_array()) {
    for (const auto& member : value) {
      if (!writable(member)) return false;
    }
  }
  return true;
}

}  // namespace

std::optional<std::string> OMIDQuilbrnDictionaryUtil::stringFromJSON(const platform::Json& object) {
  if (!object.is_object() && !object.is_array()) return std::nullopt;
  if (!writable(object)) return std::nullopt;
  return platform::scriptLiteral(object);
}
