#pragma once
// How the own network reads loosely typed values of page, server and
// application dictionaries: the same value may arrive as a JSON boolean, a
// number or a text ("true", "1", "YES"), and every reader must agree on what it
// means (the readers are platform/json_values.h's). Pure functions; nothing
// throws.
#include <cstdint>
#include <optional>
#include <string>

#include "platform/json.h"

namespace qbnjson {

// The boolean a value stands for: a boolean as is; a number when it is not
// zero; a text when, after leading white space, an optional sign and leading
// zeros, it starts with "Y", "y", "T", "t" or a digit 1-9 ("true", "YES", "1"
// and "007" are true; "false", "no", "0" and "" are false). None for null,
// arrays and objects, which stand for no boolean at all.
std::optional<bool> boolValue(const platform::Json& value);
// boolValue of object[key]; none when `object` is no object or lacks the key.
std::optional<bool> boolValue(const platform::Json& object, const std::string& key);

// The integer a value stands for: an integer number as is (clamped to the
// 64-bit range), a floating number truncated toward zero, a boolean as 0 or 1,
// a text read as an optional sign and the decimal digits that follow leading
// white space (stopping at the first other character; clamped on overflow;
// 0 without digits). 0 for anything else.
int64_t integerValue(const platform::Json& value);
// integerValue of object[key]; 0 when `object` is no object or lacks the key.
int64_t integerValue(const platform::Json& object, const std::string& key);

// The text a value shows as in a query string or a log: a text as is, numbers
// in decimal (floating numbers in the shortest form that reads back the same),
// booleans as "1" or "0", null as "<null>", arrays and objects as compact
// JSON.
std::string description(const platform::Json& value);

}  // namespace qbnjson
