#include "core/QBJsonValues.h"

#include <cmath>

#include "foundation/QBLoggerManager.h"

namespace qbjson {
namespace {

template <typename T>
T outOfRange(const platform::Json& object, std::string_view key, bool above, T max, T fallback) {
  const T used = above ? max : fallback;
  std::string text = "configuration value " + std::string(key) + " = ";
  if (auto it = object.find(key); it != object.end()) text += it->dump();
  text += above ? " is above its range, using " : " is below its range, using ";
  if constexpr (std::is_integral_v<T>) {
    text += std::to_string(used);
  } else {
    text += platform::Json(used).dump();
  }
  QB_LOG(text, QBLogLevelWarning, QBLogTagInternal);
  return used;
}

}  // namespace

int64_t boundedInt(const platform::Json& object, std::string_view key, const IntBounds& bounds) {
  const auto number = platform::getDouble(object, key);
  if (!number) return bounds.fallback;
  // getInt truncates and refuses what does not fit 64 bits; the double then
  // still tells which side it lies on.
  const auto value = platform::getInt(object, key);
  if (value && *value >= bounds.min && *value <= bounds.max) return *value;
  const bool above = value ? *value > bounds.max : *number > 0;
  return outOfRange(object, key, above, bounds.max, bounds.fallback);
}

double boundedNumber(const platform::Json& object, std::string_view key, const NumberBounds& bounds) {
  const auto number = platform::getDouble(object, key);
  if (!number) return bounds.fallback;
  if (*number >= bounds.min && *number <= bounds.max) return *number;
  return outOfRange(object, key, *number > bounds.max, bounds.max, bounds.fallback);
}

int64_t intOr(const platform::Json& object, std::string_view key, int64_t fallback, int64_t min, int64_t max) {
  const auto v = platform::getInt(object, key);
  if (!v || *v < min || *v > max) return fallback;
  return *v;
}

double doubleOr(const platform::Json& object, std::string_view key, double fallback, double min, double max) {
  const auto v = platform::getDouble(object, key);
  if (!v || !std::isfinite(*v) || *v < min || *v > max) return fallback;
  return *v;
}

bool boolOr(const platform::Json& object, std::string_view key, bool fallback) {
  return platform::getBool(object, key).value_or(fallback);
}

std::string stringOr(const platform::Json& object, std::string_view key, const std::string& fallback) {
  auto v = platform::getString(object, key);
  return v ? std::move(*v) : fallback;
}

std::optional<std::string> nonEmptyString(const platform::Json& object, std::string_view key) {
  auto v = platform::getString(object, key);
  if (!v || v->empty()) return std::nullopt;
  return v;
}

platform::Json objectOr(const platform::Json& object, std::string_view key) {
  auto v = platform::getObject(object, key);
  return v ? std::move(*v) : platform::Json::object();
}

std::vector<std::string> stringArray(const platform::Json& object, std::string_view key) {
  std::vector<std::string> out;
  const auto array = platform::getArray(object, key);
  if (!array) return out;
  for (const auto& element : *array) {
    if (element.is_string()) out.push_back(element.get<std::string>());
  }
  return out;
}

std::vector<int64_t> intArray(const platform::Json& object, std::string_view key) {
  std::vector<int64_t> out;
  const auto array = platform::getArray(object, key);
  if (!array) return out;
  for (const auto& element : *array) {
    // Reuse getInt's range rules by wrapping the element.
    const platform::Json holder = {{"v", element}};
    if (auto v = platform::getInt(holder, "v")) out.push_back(*v);
  }
  return out;
}

}  // namespace qbjson
