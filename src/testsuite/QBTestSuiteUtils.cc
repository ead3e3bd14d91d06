#include "testsuite/QBTestSuiteUtils.h"

#include <utility>

namespace {

// A text as a single-quoted script string. The JSON form escapes what JSON
// must (the double quote, the backslash, control characters) and replaces
// bytes that are not UTF-8; the double quote needs no escape between single
// quotes, the single quote does, and the line and paragraph separators are
// escaped too, for engines that end a line at them.
std::string scriptString(const std::string& text) {
  const std::string json = platform::quoteJson(text);
  std::string out;
  out.reserve(json.size() + 8);
  out += '\'';
  for (size_t i = 1; i + 1 < json.size(); ++i) {
    const char c = json[i];
    if (c == '\\') {
      const char next = json[++i];
      if (next != '"') out += '\\';
      out += next;
    } else if (c == '\'') {
      out += "\\'";
    } else if (c == '\xE2' && i + 2 < json.size() - 1 && json[i + 1] == '\x80' &&
               (json[i + 2] == '\xA8' || json[i + 2] == '\xA9')) {
      out += json[i + 2] == '\xA8' ? "\\u2028" : "\\u2029";
      i += 2;
    } else {
      out += c;
    }
  }
  out += '\'';
  return out;
}

}  // namespace

std::string QBTestSuiteUtils::stringifyMethodArgs(const platform::Json& args) {
  if (!args.is_array()) return {};
  std::string out;
  for (const auto& arg : args) {
    if (arg.is_object()) {
      out += stringifyDict(arg);
    } else if (arg.is_array()) {
      out += stringifyArray(arg);
    } else {
      out += stringifyObject(arg);
    }
    out += ',';
  }
  return removeCommaSuffix(std::move(out));
}

std::string QBTestSuiteUtils::stringifyDict(const platform::Json& dict) { return platform::dumpJson(dict); }

std::string QBTestSuiteUtils::stringifyArray(const platform::Json& array) {
  std::string out = "[";
  if (array.is_array()) {
    for (const auto& element : array) out += stringifyObject(element) + ",";
  }
  return removeCommaSuffix(std::move(out)) + "]";
}

std::string QBTestSuiteUtils::stringifyObject(const platform::Json& value) {
  if (value.is_string()) return scriptString(value.get_ref<const std::string&>());
  if (value.is_boolean()) return value.get<bool>() ? "1" : "0";
  // Numbers, null, and dictionaries or arrays inside an array: JSON is a
  // script literal of the same value.
  return platform::dumpJson(value);
}

std::string QBTestSuiteUtils::removeCommaSuffix(std::string text) {
  if (!text.empty() && text.back() == ',') text.pop_back();
  return text;
}
