#pragma once
// How loosely typed values of page, server and application dictionaries read:
// the same value may arrive as a JSON boolean, a number or a text ("true",
// "1", "YES"), and every reader must agree on what it means. Pure functions;
// nothing throws.
#include <cstdint>
#include <optional>

#include "platform/json.h"

namespace platform {

// The boolean a value stands for: a boolean as is; a number when it is not
// zero; a text when, after leading white space, an optional sign and leading
// zeros, it starts with "Y", "y", "T", "t" or a digit 1-9 ("true", "YES", "1"
// and "007" are true; "false", "no", "0" and "" are false). None for null,
// arrays and objects, which stand for no boolean at all.
std::optional<bool> looseBool(const Json& value);

// The integer a value stands for: an integer number as is (clamped to the
// 64-bit range), a floating number truncated toward zero, a boolean as 0 or 1,
// a text read as an optional sign and the decimal digits that follow leading
// white space (stopping at the first other character; clamped on overflow;
// 0 without digits). 0 for anything else.
int64_t looseInteger(const Json& value);

// The number a value stands for: a number as is, a boolean as 0 or 1, a text
// read as the longest decimal number (optional sign, digits, fraction,
// exponent; "inf" and "nan" too) that follows leading white space (0 without
// one). 0 for anything else. The result may be infinite or NaN.
double looseDouble(const Json& value);

}  // namespace platform
