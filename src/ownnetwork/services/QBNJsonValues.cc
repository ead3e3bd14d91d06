#include "ownnetwork/services/QBNJsonValues.h"

#include <charconv>
#include <cmath>

#include "platform/json_values.h"

namespace qbnjson {

std::optional<bool> boolValue(const platform::Json& value) { return platform::looseBool(value); }

std::optional<bool> boolValue(const platform::Json& object, const std::string& key) {
  if (!object.is_object()) return std::nullopt;
  auto it = object.find(key);
  if (it == object.end()) return std::nullopt;
  return boolValue(*it);
}

int64_t integerValue(const platform::Json& value) { return platform::looseInteger(value); }

int64_t integerValue(const platform::Json& object, const std::string& key) {
  if (!object.is_object()) return 0;
  auto it = object.find(key);
  return it == object.end() ? 0 : integerValue(*it);
}

std::string description(const platform::Json& value) {
  if (value.is_string()) return value.get<std::string>();
  if (value.is_boolean()) return value.get<bool>() ? "1" : "0";
  if (value.is_null()) return "<null>";
  if (value.is_number_float()) {
    const double d = value.get<double>();
    if (!std::isfinite(d)) return std::isnan(d) ? "nan" : (d > 0 ? "inf" : "-inf");
    char buffer[64];
    auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, d);
    return ec == std::errc() ? std::string(buffer, end) : platform::dumpJson(value);
  }
  return platform::dumpJson(value);
}

}  // namespace qbnjson
