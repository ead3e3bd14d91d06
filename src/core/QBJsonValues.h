#pragma once
// Lenient typed reads of configuration values: each gives the caller's default
// when the object or key is missing, the member has another type, or the value
// lies outside the accepted range. Used by the settings records so that one
// mistyped field falls back to its documented default instead of failing the
// whole configuration. Pure functions; nothing throws.
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/json.h"

namespace qbjson {

// An integer number (a floating number truncated) within [min, max], else
// `fallback`.
int64_t intOr(const platform::Json& object, std::string_view key, int64_t fallback,
              int64_t min = std::numeric_limits<int64_t>::min(),
              int64_t max = std::numeric_limits<int64_t>::max());
// A finite number within [min, max], else `fallback`.
double doubleOr(const platform::Json& object, std::string_view key, double fallback,
                double min = -std::numeric_limits<double>::max(),
                double max = std::numeric_limits<double>::max());
// A JSON boolean (or the number 0 or 1), else `fallback`.
bool boolOr(const platform::Json& object, std::string_view key, bool fallback);
// A string, else `fallback`.
std::string stringOr(const platform::Json& object, std::string_view key, const std::string& fallback = "");
// A non-empty string, else none.
std::optional<std::string> nonEmptyString(const platform::Json& object, std::string_view key);
// The member when it is an object, else an empty object.
platform::Json objectOr(const platform::Json& object, std::string_view key);
// The string elements of an array member (other elements skipped); empty when
// the member is no array.
std::vector<std::string> stringArray(const platform::Json& object, std::string_view key);
// The integer elements of an array member (floating numbers truncated, other
// elements skipped); empty when the member is no array.
std::vector<int64_t> intArray(const platform::Json& object, std::string_view key);

}  // namespace qbjson
