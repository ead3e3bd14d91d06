// Percent escapes of the helper methods.
#include <algorithm>
#include <set>
#include <string_view>

#include "ownnetwork/services/PMAHelperMethods.h"
#include "platform/utf8.h"
#include "platform/crypto.h"

namespace {

using platform::Json;

bool isHex(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

bool escapeAt(std::string_view text, size_t i) {
  return i + 2 < text.size() && text[i] == '%' && isHex(text[i + 1]) && isHex(text[i + 2]);
}

// The characters of `text` as UTF-8 sequences (a byte that starts none counts
// alone).
std::set<std::string> charactersOf(std::string_view text) {
  std::set<std::string> out;
  for (size_t i = 0; i < text.size();) {
    const size_t len = std::max<size_t>(1, platform::utf8::sequenceLength(text, i));
    out.emplace(text.substr(i, len));
    i += len;
  }
  return out;
}

// Resolves the escapes of `text`. A run of well-formed escapes is decoded by
// the platform codec; each UTF-8 character of its bytes replaces its escapes,
// except a character of `keep`. Bytes that form no UTF-8 character, and "%"
// not followed by two hex digits, keep their text.
std::string replacePercentEscapes(std::string_view text, const std::set<std::string>& keep) {
  std::string out;
  out.reserve(text.size());
  size_t i = 0;
  while (i < text.size()) {
    if (!escapeAt(text, i)) {
      out.push_back(text[i++]);
      continue;
    }
    size_t end = i;
    while (escapeAt(text, end)) end += 3;
    const std::string_view run = text.substr(i, end - i);
    const std::string bytes = platform::percentDecode(run).valueOr(std::string());
    for (size_t k = 0; k < bytes.size();) {
      const size_t len = platform::utf8::sequenceLength(bytes, k);
      if (len == 0) {
        out.append(run.substr(3 * k, 3));
        ++k;
        continue;
      }
      const std::string character = bytes.substr(k, len);
      if (keep.count(character)) {
        out.append(run.substr(3 * k, 3 * len));
      } else {
        out.append(character);
      }
      k += len;
    }
    i = end;
  }
  return out;
}

}  // namespace

std::string PMAHelperMethods::encodeToPercentEscapeString(const Json& value) {
  return value.is_string() ? encodeToPercentEscapeString(value.get_ref<const std::string&>()) : std::string();
}

std::string PMAHelperMethods::encodeToPercentEscapeString(const std::string& text) {
  return platform::percentEncode(text);
}

std::string PMAHelperMethods::encodeToPercentEscapeString(const char* text) {
  return text ? platform::percentEncode(text) : std::string();
}

std::string PMAHelperMethods::decodeFromPercentEscapeString(const std::string& text) {
  std::string plusAsSpace = text;
  for (char& c : plusAsSpace) {
    if (c == '+') c = ' ';
  }
  return replacePercentEscapes(plusAsSpace, {});
}

Json PMAHelperMethods::decodeByReplacingPercentEscapes(const Json& dictionary,
                                                       const std::optional<std::string>& leaveEscaped) {
  Json result = Json::object();
  if (!dictionary.is_object()) return result;
  const std::set<std::string> keep = charactersOf(leaveEscaped.value_or(std::string()));
  for (auto it = dictionary.begin(); it != dictionary.end(); ++it) {
    if (!it.value().is_string()) {
      result[it.key()] = it.value();
      continue;
    }
    std::string unescaped = replacePercentEscapes(it.value().get_ref<const std::string&>(), keep);
    auto parsed = platform::parseJson(unescaped);
    if (parsed && parsed.value().is_structured()) {
      result[it.key()] = std::move(parsed).value();
    } else {
      result[it.key()] = std::move(unescaped);
    }
  }
  return result;
}

Json PMAHelperMethods::decodeByReplacingPercentEscapes(const Json& dictionary) {
  return decodeByReplacingPercentEscapes(dictionary, std::nullopt);
}

Json PMAHelperMethods::deepEncodeValuesInDictionary(const Json& dictionary, bool decodeFirst) {
  Json result = dictionary;
  if (!result.is_object()) return result;
  for (auto it = result.begin(); it != result.end(); ++it) {
    Json& value = it.value();
    if (value.is_string()) {
      const std::string& text = value.get_ref<const std::string&>();
      value = encodeToPercentEscapeString(decodeFirst ? decodeFromPercentEscapeString(text) : text);
    } else if (value.is_object()) {
      value = deepEncodeValuesInDictionary(value, decodeFirst);
    }
  }
  return result;
}

std::string PMAHelperMethods::encodeToPercentEscapeStringWithDomain(const std::string& domain, const Json& params) {
  std::string out = domain;
  if (params.is_object()) {
    for (auto it = params.begin(); it != params.end(); ++it) {
      out += "&" + it.key() + "=" + encodeToPercentEscapeString(it.value());
    }
  }
  for (size_t at = out.find("?&"); at != std::string::npos; at = out.find("?&", at + 1)) out.erase(at + 1, 1);
  return out;
}
