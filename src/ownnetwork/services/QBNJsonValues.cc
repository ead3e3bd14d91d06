#include "ownnetwork/services/QBNJsonValues.h"

#include <charconv>
#include <cmath>
#include <limits>

namespace qbnjson {
namespace {

constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
constexpr int64_t kMin = std::numeric_limits<int64_t>::min();

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v'; }

bool textBoolValue(const std::string& text) {
  size_t i = 0;
  while (i < text.size() && isSpace(text[i])) ++i;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
  while (i < text.size() && text[i] == '0') ++i;
  if (i >= text.size()) return false;
  const char c = text[i];
  return c == 'Y' || c == 'y' || c == 'T' || c == 't' || (c >= '1' && c <= '9');
}

int64_t textIntegerValue(const std::string& text) {
  size_t i = 0;
  while (i < text.size() && isSpace(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  int64_t value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    const int digit = text[i] - '0';
    if (negative) {
      if (value < (kMin + digit) / 10) return kMin;
      value = value * 10 - digit;
    } else {
      if (value > (kMax - digit) / 10) return kMax;
      value = value * 10 + digit;
    }
  }
  return value;
}

int64_t truncated(double d) {
  if (std::isnan(d)) return 0;
  if (d >= 9.2233720368547758e18) return kMax;
  if (d <= -9.2233720368547758e18) return kMin;
  return static_cast<int64_t>(d);
}

}  // namespace

std::optional<bool> boolValue(const platform::Json& value) {
  if (value.is_boolean()) return value.get<bool>();
  if (value.is_number_unsigned()) return value.get<uint64_t>() != 0;
  if (value.is_number_integer()) return value.get<int64_t>() != 0;
  if (value.is_number_float()) return value.get<double>() != 0.0;
  if (value.is_string()) return textBoolValue(value.get_ref<const std::string&>());
  return std::nullopt;
}

std::optional<bool> boolValue(const platform::Json& object, const std::string& key) {
  if (!object.is_object()) return std::nullopt;
  auto it = object.find(key);
  if (it == object.end()) return std::nullopt;
  return boolValue(*it);
}

int64_t integerValue(const platform::Json& value) {
  if (value.is_boolean()) return value.get<bool>() ? 1 : 0;
  if (value.is_number_unsigned()) {
    const uint64_t u = value.get<uint64_t>();
    return u > static_cast<uint64_t>(kMax) ? kMax : static_cast<int64_t>(u);
  }
  if (value.is_number_integer()) return value.get<int64_t>();
  if (value.is_number_float()) return truncated(value.get<double>());
  if (value.is_string()) return textIntegerValue(value.get_ref<const std::string&>());
  return 0;
}

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
