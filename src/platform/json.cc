#include "platform/json.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <exception>
#include <limits>
#include <vector>

#include <simdjson.h>

namespace platform {
namespace {

Error jsonError(JsonErrc code, std::string message) {
  return Error{kJsonErrorDomain, static_cast<int>(code), std::move(message)};
}

// Deepest array/object nesting of the text, counting brackets outside string
// literals. Run before parsing because nlohmann's parser itself copes with any
// depth but the recursive walks over the result (dump, copy, ==) do not.
// Malformed text may be miscounted; the parser rejects it anyway.
int nestingDepth(std::string_view text) {
  int depth = 0;
  int deepest = 0;
  const char* p = text.data();
  const char* const end = p + text.size();
  while (p < end) {
    const char c = *p++;
    if (c == '"') {
      // To the string's closing quote: the next quote after an even run of
      // backslashes (an odd run escapes it).
      for (;;) {
        const auto* quote = static_cast<const char*>(std::memchr(p, '"', static_cast<size_t>(end - p)));
        if (quote == nullptr) return deepest;
        const char* run = quote;
        while (run > p && run[-1] == '\\') --run;
        p = quote + 1;
        if ((quote - run) % 2 == 0) break;
      }
    } else if (c == '[' || c == '{') {
      if (++depth > deepest) deepest = depth;
    } else if (c == ']' || c == '}') {
      --depth;
    }
  }
  return deepest;
}

// The first pass over CBOR input: refuses byte strings and nesting deeper
// than kMaxJsonDepth before anything is built, so the recursive reader and
// the walks over its result stay shallow. Keeps nothing.
struct CborShape {
  int depth = 0;
  bool tooDeep = false;

  bool null() { return true; }
  bool boolean(bool) { return true; }
  bool number_integer(Json::number_integer_t) { return true; }
  bool number_unsigned(Json::number_unsigned_t) { return true; }
  bool number_float(Json::number_float_t, const Json::string_t&) { return true; }
  bool string(Json::string_t&) { return true; }
  bool binary(Json::binary_t&) { return false; }
  bool start_object(std::size_t) { return enter(); }
  bool key(Json::string_t&) { return true; }
  bool end_object() { return leave(); }
  bool start_array(std::size_t) { return enter(); }
  bool end_array() { return leave(); }
  bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) { return false; }

  bool enter() {
    if (++depth <= kMaxJsonDepth) return true;
    tooDeep = true;
    return false;
  }
  bool leave() {
    --depth;
    return true;
  }
};

// The fast reader: simdjson checks the text and builds its own tape, which is
// then copied into a Json. It gives nullopt for every text it refuses or holds
// something nlohmann's parser could read otherwise (numbers beyond 64 bits,
// nesting past the limit); nlohmann then decides and words the error, so the
// texts accepted and the values read are nlohmann's.
class FastReader {
 public:
  std::optional<Json> read(std::string_view text) {
    // realloc_if_needed: simdjson reads a few bytes past the end of its input
    // and so works on a padded copy.
    auto document = parser_.parse(text.data(), text.size(), true);
    if (document.error() != simdjson::SUCCESS) return std::nullopt;
    Json out;
    if (!copy(document.value_unsafe(), out, 0)) return std::nullopt;
    return out;
  }

 private:
  static bool copy(simdjson::dom::element element, Json& out, int depth) {
    using Type = simdjson::dom::element_type;
    const Type type = element.type();
    if ((type == Type::ARRAY || type == Type::OBJECT) && depth >= kMaxJsonDepth) return false;
    switch (type) {
      case Type::ARRAY: {
        const simdjson::dom::array array = element.get_array().value_unsafe();
        out = Json::array();
        auto& items = out.get_ref<Json::array_t&>();
        items.reserve(array.size());
        for (simdjson::dom::element item : array) {
          if (!copy(item, items.emplace_back(), depth + 1)) return false;
        }
        return true;
      }
      case Type::OBJECT: {
        const simdjson::dom::object object = element.get_object().value_unsafe();
        out = Json::object();
        auto& members = out.get_ref<Json::object_t&>();
        // Reserved: the members are pairs with a const name, which a growing
        // vector copies instead of moving.
        members.reserve(object.size());
        // The object's map finds a name by comparing it with each name it
        // holds, which makes filling a large object quadratic; the members of
        // a large object without a repeated name are appended instead. Any
        // other goes through the map: a repeated name keeps its first place
        // and takes the last value, as nlohmann's parser does.
        const bool append = object.size() > kSearchedMembers && !hasRepeatedName(object);
        for (simdjson::dom::key_value_pair field : object) {
          Json& value = append ? appendNewMember(members, std::string(field.key), nullptr)
                               : members[std::string(field.key)];
          if (!copy(field.value, value, depth + 1)) return false;
        }
        return true;
      }
      case Type::INT64: {
        // nlohmann reads a number without a sign as unsigned.
        const int64_t n = element.get_int64().value_unsafe();
        out = n >= 0 ? Json(static_cast<uint64_t>(n)) : Json(n);
        return true;
      }
      case Type::UINT64: out = element.get_uint64().value_unsafe(); return true;
      case Type::DOUBLE: out = element.get_double().value_unsafe(); return true;
      case Type::STRING: out = std::string(element.get_string().value_unsafe()); return true;
      case Type::BOOL: out = element.get_bool().value_unsafe(); return true;
      case Type::NULL_VALUE: out = nullptr; return true;
    }
    return false;
  }

  // Objects of up to this many members are filled through the map's own
  // search, which costs less than sorting their names first.
  static constexpr size_t kSearchedMembers = 16;

  static bool hasRepeatedName(simdjson::dom::object object) {
    std::vector<std::string_view> names;
    names.reserve(object.size());
    for (simdjson::dom::key_value_pair field : object) names.push_back(field.key);
    std::sort(names.begin(), names.end());
    return std::adjacent_find(names.begin(), names.end()) != names.end();
  }

  // Keeps the buffers sized for the largest text it has read.
  simdjson::dom::parser parser_;
};

// Texts above this size are read with a parser of their own, so a worker
// does not keep buffers for the largest text it ever read (a kept parser
// holds about fourteen bytes per byte of text: under 1 MB at this size).
constexpr size_t kKeptParserCapacity = 64 * 1024;

// The reader a thread keeps. Set once the thread's objects are being
// destroyed at its end: a read from another such object's destructor then
// makes a reader of its own instead of using the one destroyed. A plain flag,
// since it is read after the thread's destructors ran.
thread_local bool t_keptReaderGone = false;
struct KeptReader {
  FastReader reader;
  ~KeptReader() { t_keptReaderGone = true; }
};

std::optional<Json> readFast(std::string_view text) {
  try {
    if (text.size() > kKeptParserCapacity || t_keptReaderGone) return FastReader().read(text);
    thread_local KeptReader kept;
    return kept.reader.read(text);
  } catch (...) {
    return std::nullopt;  // allocation failure: the slow path reports it
  }
}

// nlohmann's parser: the reader of last resort, and the reference.
Result<Json> readSlowly(std::string_view text) {
  if (nestingDepth(text) > kMaxJsonDepth) {
    return jsonError(JsonErrc::TooDeep,
                     "JSON nesting deeper than " + std::to_string(kMaxJsonDepth));
  }
  // The parser takes a NUL byte for the end of the input and would accept
  // whatever follows it; JSON text never contains one.
  if (const size_t nul = text.find('\0'); nul != std::string_view::npos) {
    return jsonError(JsonErrc::Malformed, "NUL byte at offset " + std::to_string(nul));
  }
  try {
    return Json::parse(text.begin(), text.end());
  } catch (const std::exception& e) {
    return jsonError(JsonErrc::Malformed, e.what());
  } catch (...) {
    return jsonError(JsonErrc::Malformed, "unknown JSON parser failure");
  }
}

const Json* member(const Json& object, std::string_view key) {
  if (!object.is_object()) return nullptr;
  auto it = object.find(std::string(key));
  return it == object.end() ? nullptr : &*it;
}

}  // namespace

Result<Json> parseJson(std::string_view text) {
  if (auto fast = readFast(text)) return std::move(*fast);
  return readSlowly(text);
}

Result<Json> parseJsonByReferenceForTesting(std::string_view text) { return readSlowly(text); }

Json& appendNewMember(Json::object_t& object, std::string name, Json value) {
  return object.Json::object_t::Container::emplace_back(std::move(name), std::move(value)).second;
}

std::string quoteJson(std::string_view text) {
  const bool plain = std::all_of(text.begin(), text.end(), [](char c) {
    const auto u = static_cast<unsigned char>(c);
    return u >= 0x20 && u < 0x7f && c != '"' && c != '\\';
  });
  if (!plain) return dumpJson(Json(std::string(text)));
  std::string out;
  out.reserve(text.size() + 2);
  out += '"';
  out += text;
  out += '"';
  return out;
}

std::string dumpJson(const Json& value) {
  try {
    return value.dump(-1, ' ', false, Json::error_handler_t::replace);
  } catch (...) {
    // Only allocation failure is left once invalid UTF-8 is replaced.
    return {};
  }
}

Result<Json> parseCbor(std::string_view bytes) {
  try {
    CborShape shape;
    if (!Json::sax_parse(bytes.begin(), bytes.end(), &shape, nlohmann::json::input_format_t::cbor, true)) {
      if (shape.tooDeep) {
        return jsonError(JsonErrc::TooDeep, "CBOR nesting deeper than " + std::to_string(kMaxJsonDepth));
      }
      return jsonError(JsonErrc::Malformed, "not CBOR of a JSON value");
    }
    Json value = Json::from_cbor(bytes.begin(), bytes.end(), true, false);
    if (value.is_discarded()) return jsonError(JsonErrc::Malformed, "not CBOR of a JSON value");
    return value;
  } catch (const std::exception& e) {
    return jsonError(JsonErrc::Malformed, e.what());
  } catch (...) {
    return jsonError(JsonErrc::Malformed, "unknown CBOR reader failure");
  }
}

std::string dumpCbor(const Json& value) {
  try {
    std::vector<std::uint8_t> bytes = Json::to_cbor(value);
    return std::string(bytes.begin(), bytes.end());
  } catch (...) {
    return {};  // allocation failure
  }
}

std::optional<std::string> getString(const Json& object, std::string_view key) {
  const Json* v = member(object, key);
  if (v == nullptr || !v->is_string()) return std::nullopt;
  return v->get_ref<const std::string&>();
}

std::optional<int64_t> getInt(const Json& object, std::string_view key) {
  const Json* v = member(object, key);
  if (v == nullptr) return std::nullopt;
  if (v->is_number_unsigned()) {
    const auto u = v->get<uint64_t>();
    if (u > static_cast<uint64_t>(std::numeric_limits<int64_t>::max())) return std::nullopt;
    return static_cast<int64_t>(u);
  }
  if (v->is_number_integer()) return v->get<int64_t>();
  if (v->is_number_float()) {
    const double d = std::trunc(v->get<double>());
    // 2^63 is exactly representable; anything at or above it does not fit.
    if (!std::isfinite(d) || d >= 9223372036854775808.0 || d < -9223372036854775808.0) {
      return std::nullopt;
    }
    return static_cast<int64_t>(d);
  }
  return std::nullopt;
}

std::optional<double> getDouble(const Json& object, std::string_view key) {
  const Json* v = member(object, key);
  if (v == nullptr || !v->is_number()) return std::nullopt;
  return v->get<double>();
}

std::optional<bool> getBool(const Json& object, std::string_view key) {
  const Json* v = member(object, key);
  if (v == nullptr) return std::nullopt;
  if (v->is_boolean()) return v->get<bool>();
  if (v->is_number()) {
    const double d = v->get<double>();
    if (d == 0.0) return false;
    if (d == 1.0) return true;
  }
  return std::nullopt;
}

std::optional<Json> getObject(const Json& object, std::string_view key) {
  const Json* v = member(object, key);
  if (v == nullptr || !v->is_object()) return std::nullopt;
  return *v;
}

std::optional<Json> getArray(const Json& object, std::string_view key) {
  const Json* v = member(object, key);
  if (v == nullptr || !v->is_array()) return std::nullopt;
  return *v;
}

}  // namespace platform
