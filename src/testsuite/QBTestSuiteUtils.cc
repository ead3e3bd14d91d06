#include "testsuite/QBTestSuiteUtils.h"

#include <utility>

#include "platform/script/script_literal.h"

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

std::string QBTestSuiteUtils::stringifyDict(const platform::Json& dict) { return platform::scriptLiteral(dict); }

std::string QBTestSuiteUtils::stringifyArray(const platform::Json& array) {
  std::string out = "[";
  if (array.is_array()) {
    for (const auto& element : array) out += stringifyObject(element) + ",";
  }
  return removeCommaSuffix(std::move(out)) + "]";
}

std::string QBTestSuiteUtils::stringifyObject(const platform::Json& value) {
  if (value.is_boolean()) return value.get<bool>() ? "1" : "0";
  // Texts, numbers, null, and dictionaries or arrays inside an array.
  return platform::scriptLiteral(value);
}

std::string QBTestSuiteUtils::removeCommaSuffix(std::string text) {
  if (!text.empty() && text.back() == ',') text.pop_back();
  return text;
}
