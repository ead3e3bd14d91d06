#include "platform/json_values.h"

#include <charconv>
#include <cmath>
#include <limits>

namespace platform {
namespace {

constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
constexpr int64_t kMin = std::numeric_limits<int64_t>::min();

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v'; }

size_t skipSpace(const std::string& text) {
  size_t i = 0;
  while (i < text.size() && isSpace(text[i])) ++i;
  return i;
}

bool textBool(const std::string& text) {
  size_t i = skipSpace(text);
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
  while (i < text.size() && text[i] == '0') ++i;
  if (i >= text.size()) return false;
  const char c = text[i];
  return c == 'Y' || c == 'y' || c == 'T' || c == 't' || (c >= '1' && c <= '9');
}

int64_t textInteger(const std::string& text) {
  size_t i = skipSpace(text);
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

double textDouble(const std::string& text) {
  size_t i = skipSpace(text);
  bool negative = false;
  // from_chars takes a minus sign only.
  if (i < text.size() && text[i] == '+') {
    ++i;
  } else if (i < text.size() && text[i] == '-') {
    negative = true;
    ++i;
  }
  double value = 0;
  const auto [end, ec] = std::from_chars(text.data() + i, text.data() + text.size(), value);
  if (ec == std::errc::result_out_of_range) {
    // Past the range of a double: 0 for a negative exponent, else infinity,
    // as the platform reads it.
    std::string matched(text.data() + i, end);
    for (char& c : matched) c = c == 'E' ? 'e' : c;
    value = matched.find("e-") != std::string::npos ? 0.0 : std::numeric_limits<double>::infinity();
  } else if (ec != std::errc()) {
    return 0;
  }
  return negative ? -value : value;
}

int64_t truncated(double d) {
  if (std::isnan(d)) return 0;
  if (d >= 9.2233720368547758e18) return kMax;
  if (d <= -9.2233720368547758e18) return kMin;
  return static_cast<int64_t>(d);
}

}  // namespace

std::optional<bool> looseBool(const Json& value) {
  if (value.is_boolean()) return value.get<bool>();
  if (value.is_number_unsigned()) return value.get<uint64_t>() != 0;
  if (value.is_number_integer()) return value.get<int64_t>() != 0;
  if (value.is_number_float()) return value.get<double>() != 0.0;
  if (value.is_string()) return textBool(value.get_ref<const std::string&>());
  return std::nullopt;
}

int64_t looseInteger(const Json& value) {
  if (value.is_boolean()) return value.get<bool>() ? 1 : 0;
  if (value.is_number_unsigned()) {
    const uint64_t u = value.get<uint64_t>();
    return u > static_cast<uint64_t>(kMax) ? kMax : static_cast<int64_t>(u);
  }
  if (value.is_number_integer()) return value.get<int64_t>();
  if (value.is_number_float()) return truncated(value.get<double>());
  if (value.is_string()) return textInteger(value.get_ref<const std::string&>());
  return 0;
}

double looseDouble(const Json& value) {
  if (value.is_boolean()) return value.get<bool>() ? 1 : 0;
  if (value.is_number()) return value.get<double>();
  if (value.is_string()) return textDouble(value.get_ref<const std::string&>());
  return 0;
}

}  // namespace platform
