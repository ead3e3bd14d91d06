#pragma once
// The library's one JSON type and error-returning helpers around it.
//
// This is the only header that includes nlohmann-json; include it only where
// JSON values are handled. Every call is synchronous and thread-safe for
// distinct values; nothing here throws.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "platform/result.h"

namespace platform {

// Objects keep their members in insertion order, as the wire formats and the
// logs expect.
using Json = nlohmann::ordered_json;

inline constexpr char kJsonErrorDomain[] = "platform.json";

// Codes of errors in kJsonErrorDomain.
enum class JsonErrc : int {
  Malformed = 1,  // not JSON text (message says where)
  TooDeep = 2,    // more than kMaxJsonDepth nested arrays/objects
};

// Deepest nesting parseJson accepts; bounds the recursion of later walks over
// the value (dump, copy, compare).
inline constexpr int kMaxJsonDepth = 512;

// Parses one JSON text (any top-level value; surrounding whitespace allowed,
// anything else after the value is Malformed). Read by simdjson; a text it
// refuses or could read otherwise goes to nlohmann's parser, which decides.
Result<Json> parseJson(std::string_view text);
// The same read by nlohmann's parser alone: parseJson gives what this gives
// (the same verdict, the same value).
Result<Json> parseJsonByReferenceForTesting(std::string_view text);

// Compact JSON text (no spaces or line breaks). Strings that are not valid
// UTF-8 have the bad bytes replaced by U+FFFD instead of failing.
std::string dumpJson(const Json& value);
// Appends a member to a JSON object without looking for its name first: for
// a caller that knows the object cannot hold it yet (a second member of one
// name would be written twice). Gives the member's value.
Json& appendNewMember(Json::object_t& object, std::string name, Json value);

// dumpJson(Json(text)): the JSON string literal of `text`, quotes included.
// Text of printable ASCII without quote or backslash (names, base64) is
// written as it stands; anything else goes through the JSON writer.
std::string quoteJson(std::string_view text);

// Binary JSON (CBOR, RFC 8949), for files the library writes and reads back
// itself. parseCbor reads one CBOR item holding the JSON data model only:
// tags, byte strings, more than kMaxJsonDepth nested arrays and maps, map
// keys that are not texts and bytes after the item are Malformed (TooDeep
// for the nesting). Texts are not checked for UTF-8 (dumpJson replaces bad
// bytes). dumpCbor writes what parseCbor reads back as the same value.
Result<Json> parseCbor(std::string_view bytes);
std::string dumpCbor(const Json& value);

// Typed member lookups on a JSON object. Each gives nullopt when `object` is
// not an object, the key is absent, or the member has another type.
std::optional<std::string> getString(const Json& object, std::string_view key);
// Integer numbers within int64 range; a floating number is truncated toward
// zero when it fits. Booleans and strings are not integers.
std::optional<int64_t> getInt(const Json& object, std::string_view key);
// Any number.
std::optional<double> getDouble(const Json& object, std::string_view key);
// A JSON boolean, or a number that is exactly 0 or 1.
std::optional<bool> getBool(const Json& object, std::string_view key);
// Copies of an object / array member.
std::optional<Json> getObject(const Json& object, std::string_view key);
std::optional<Json> getArray(const Json& object, std::string_view key);

}  // namespace platform
