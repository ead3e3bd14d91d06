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

// Ranges of the time values and counts of the configuration (the table in
// docs/configuration.md). Every such value is bounded where it is read, so
// what the rest of the library multiplies, adds or turns into a delay stays
// far from overflow.
inline constexpr int64_t kMaxCount = 2'147'483'647;         // counts: the 32-bit range
inline constexpr int64_t kMaxTimeOutSeconds = 3600;         // time-outs: an hour
inline constexpr int64_t kMaxTimeOutMs = kMaxTimeOutSeconds * 1000;
inline constexpr int64_t kMaxWaitMs = 24LL * 3600 * 1000;   // waits between loads: a day
inline constexpr int64_t kMaxPacingSeconds = 30LL * 24 * 3600;  // 30 days
inline constexpr int64_t kMaxExpiryMinutes = 30LL * 24 * 60;    // 30 days

// A configuration number with a documented range.
struct IntBounds {
  int64_t min;
  int64_t max;
  int64_t fallback;  // when missing, of another type, below min
};
struct NumberBounds {
  double min;
  double max;
  double fallback;
};

// An integer number (a floating number truncated toward zero) within
// [bounds.min, bounds.max]. A number above max (up to the largest integer or
// any finite double) gives max; a number below min gives the fallback; both
// with a warning that names the key. A missing key or another type gives the
// fallback silently.
int64_t boundedInt(const platform::Json& object, std::string_view key, const IntBounds& bounds);
// A number (fractions kept) within [bounds.min, bounds.max]; above max gives
// max, below min the fallback, with the same warning as boundedInt.
double boundedNumber(const platform::Json& object, std::string_view key, const NumberBounds& bounds);

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
