// JSON, query-string, error and small conversion helpers. Percent escapes live
// in PMAHelperPercent.cc, device facts and layout in PMAHelperDevice.cc.
#include "ownnetwork/services/PMAHelperMethods.h"

#include <cmath>

#include "foundation/QBUtils.h"
#include "ownnetwork/services/PlovermarkLogManager.h"
#include "ownnetwork/services/QBNJsonValues.h"
#include "platform/utf8.h"
#include "platform/crypto.h"

namespace {

using platform::Json;

void setError(platform::Error* out, platform::Error error) {
  if (out) *out = std::move(error);
}

// The bytes of `text` (UTF-8) in `encoding`; none when it cannot hold them.
std::optional<std::string> bytesInEncoding(const std::string& text, int encoding) {
  if (encoding == kPMAUTF8StringEncoding) return text;
  if (encoding == kPMAASCIIStringEncoding) {
    for (unsigned char c : text) {
      if (c >= 0x80) return std::nullopt;
    }
    return text;
  }
  if (encoding == kPMAISOLatin1StringEncoding) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
      const unsigned char c = static_cast<unsigned char>(text[i]);
      if (c < 0x80) {
        out.push_back(static_cast<char>(c));
      } else if ((c == 0xC2 || c == 0xC3) && i + 1 < text.size()) {
        out.push_back(static_cast<char>(((c & 0x03) << 6) | (static_cast<unsigned char>(text[++i]) & 0x3F)));
      } else {
        return std::nullopt;
      }
    }
    return out;
  }
  return std::nullopt;
}

bool hasNonFiniteNumber(const Json& value) {
  if (value.is_number_float()) return !std::isfinite(value.get<double>());
  if (value.is_structured()) {
    for (const auto& member : value) {
      if (hasNonFiniteNumber(member)) return true;
    }
  }
  return false;
}

}  // namespace

// ------------------------------------------------------------------ JSON

std::optional<Json> PMAHelperMethods::decodeJSONObject(const std::optional<std::string>& text, int encoding,
                                                       platform::Error* error) {
  if (!text) {
    setError(error, errorWithReason("unable to decode string to JSON - string object is nil", 0, kQBNAPIErrorDomain));
    return std::nullopt;
  }
  auto bytes = bytesInEncoding(*text, encoding);
  if (!bytes) {
    setError(error, errorWithReason("unable to decode string to JSON - string cannot be represented in the encoding",
                                    0, kQBNAPIErrorDomain));
    return std::nullopt;
  }
  auto parsed = platform::parseJson(*bytes);
  if (!parsed) {
    setError(error, parsed.error());
    return std::nullopt;
  }
  return std::move(parsed).value();
}

std::optional<Json> PMAHelperMethods::dictionaryFromJsonString(const std::optional<std::string>& text,
                                                               platform::Error* error) {
  if (!text) {
    setError(error, errorWithReason("cannot serialize json string - empty string param", 0, kPMAErrorDomain));
    return std::nullopt;
  }
  auto parsed = platform::parseJson(*text);
  if (parsed && parsed.value().is_structured()) return std::move(parsed).value();
  std::string reason = parsed ? "JSON text did not start with array or object" : parsed.error().message;
  setError(error, errorWithReason(reason.empty() ? std::optional<std::string>() : reason, 0, kPMAOSAPIErrorDomain));
  return std::nullopt;
}

std::optional<Json> PMAHelperMethods::dictionaryFromJsonString(const std::optional<std::string>& text) {
  platform::Error error;
  auto dictionary = dictionaryFromJsonString(text, &error);
  if (!dictionary) {
    PlovermarkLogManager::sharedManager().log(
        "dictionaryFromJsonString: | failed to create dictionary, error: " + errorDescription(error), 1, 5);
  }
  return dictionary;
}

Json PMAHelperMethods::uriDecodeJsonAndConvertToDictionary(const std::optional<std::string>& text,
                                                           platform::Error* error) {
  std::optional<std::string> decoded;
  if (text) decoded = decodeFromPercentEscapeString(*text);
  auto dictionary = dictionaryFromJsonString(decoded, error);
  return dictionary ? std::move(*dictionary) : Json::object();
}

std::optional<std::string> PMAHelperMethods::JSONStringFromDictionary(const Json& dictionary, platform::Error* error) {
  std::optional<std::string> reason;
  if (!dictionary.is_structured()) {
    reason = "Invalid top-level type in JSON write";
  } else if (hasNonFiniteNumber(dictionary)) {
    reason = "Invalid number value (not finite) in JSON write";
  }
  if (reason) {
    platform::Error failure = errorWithReason(reason, 0, kPMAOSAPIErrorDomain);
    PlovermarkLogManager::systemLog("PMAHelperMethods convertDictionaryIntoJSON JSON Error " +
                                    errorDescription(failure), 3);
    setError(error, std::move(failure));
    return std::nullopt;
  }
  return platform::dumpJson(dictionary);
}

// ----------------------------------------------------------- query strings

Json PMAHelperMethods::dictionaryFromQueryStringParameters(const std::string& query) {
  Json result = Json::object();
  size_t start = 0;
  while (start <= query.size()) {
    size_t end = query.find('&', start);
    if (end == std::string::npos) end = query.size();
    const std::string part = query.substr(start, end - start);
    const size_t eq = part.find('=');
    if (!part.empty() && eq != std::string::npos) {
      const size_t next = part.find('=', eq + 1);
      result[part.substr(0, eq)] = part.substr(eq + 1, next == std::string::npos ? std::string::npos : next - eq - 1);
    }
    start = end + 1;
  }
  return result;
}

std::string PMAHelperMethods::queryStringfromDictionary(const Json& dictionary) {
  std::string query;
  if (!dictionary.is_object()) return query;
  for (auto it = dictionary.begin(); it != dictionary.end(); ++it) {
    if (!query.empty()) query += '&';
    query += it.key() + "=" + qbnjson::description(it.value());
  }
  return query;
}

// ------------------------------------------------------------------ errors

platform::Error PMAHelperMethods::errorWithReason(const std::optional<std::string>& reason, int code,
                                                  const std::optional<std::string>& domain) {
  return platform::Error{domain.value_or(kPMAErrorDomain), code, reason.value_or(kPMAUnknownErrorReason)};
}

std::string PMAHelperMethods::buildErrorMessageFromError(const std::optional<platform::Error>& error,
                                                         const std::string& defaultMessage) {
  if (!error || error->message.empty()) return defaultMessage;
  return error->message;
}

std::string PMAHelperMethods::errorDescription(const platform::Error& error) {
  return "Error Domain=" + error.domain + " Code=" + std::to_string(error.code) + " \"" + error.message + "\"";
}

// ----------------------------------------------------- checks, conversions

bool PMAHelperMethods::isStringExistAndNotEmpty(const std::optional<std::string>& text) {
  return text && !text->empty();
}

bool PMAHelperMethods::areKeysExistInDictionary(const Json& dictionary, const std::vector<std::string>& keys) {
  for (const auto& key : keys) {
    if (!dictionary.is_object() || !dictionary.contains(key)) return false;
  }
  return true;
}

std::optional<std::string> PMAHelperMethods::stringFromData(const std::string& data, int encoding) {
  if (encoding == kPMAUTF8StringEncoding) {
    if (!platform::utf8::isValid(data)) return std::nullopt;
    return data;
  }
  if (encoding == kPMAASCIIStringEncoding) return bytesInEncoding(data, encoding);
  if (encoding == kPMAISOLatin1StringEncoding) {
    std::string out;
    for (unsigned char c : data) {
      if (c < 0x80) {
        out.push_back(static_cast<char>(c));
      } else {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
      }
    }
    return out;
  }
  return std::nullopt;
}

std::string PMAHelperMethods::timeInMilliSeconds() { return QBUtils::timeInMilliSeconds(); }

std::string PMAHelperMethods::getMD5Hash(const std::string& text) { return platform::md5Hex(text); }
