#include "scriptfeatures/http/QBControllerAPIRequest.h"

#include <cctype>
#include <cmath>
#include <map>

#include "ownnetwork/services/QBNJsonValues.h"

using platform::Json;

namespace {

std::string lowered(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

}  // namespace

std::optional<platform::URLRequest> QBControllerAPIRequest::requestWithUrlString(
    const std::optional<std::string>& url, const std::optional<std::string>& identifier,
    const std::optional<std::string>& method, const Json& headers, const std::optional<std::string>& data, bool cache,
    double timeout) {
  if (!url || url->empty() || !identifier || identifier->empty()) return std::nullopt;
  if (!headers.is_null() && !headers.is_object()) return std::nullopt;
  platform::URLRequest request;
  request.url = *url;
  request.properties[kQBuniqueIdentifierProperty] = *identifier;
  if (method && !method->empty()) {
    request.method = *method;
    for (char& c : request.method) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  }
  request.ignoreLocalCache = !cache;
  if (headers.is_object()) {
    for (auto it = headers.begin(); it != headers.end(); ++it) {
      const Json& value = it.value();
      if (!value.is_string() && !value.is_number() && !value.is_boolean()) return std::nullopt;
      request.headers.emplace_back(it.key(), qbnjson::description(value));
    }
  }
  if (data && !data->empty()) request.body = *data;
  request.timeoutSeconds = timeout > 0 ? std::min(timeout, kQBControllerAPIMaxTimeoutSeconds)
                                       : kQBControllerAPIDefaultTimeoutSeconds;
  return request;
}

std::optional<platform::URLRequest> QBControllerAPIRequest::requestWithUrlString(
    const std::optional<std::string>& url, const std::optional<std::string>& identifier) {
  return requestWithUrlString(url, identifier, std::nullopt, Json(), std::nullopt, false, 0);
}

std::optional<std::string> QBControllerAPIRequest::getQBuniqueIdentifier(const platform::URLRequest& request) {
  const auto it = request.properties.find(kQBuniqueIdentifierProperty);
  if (it == request.properties.end()) return std::nullopt;
  return it->second;
}

std::optional<Json> QBControllerAPIResponse::serializeToControllerCallback(
    const std::optional<platform::HTTPURLResponse>& response) {
  if (!response) return std::nullopt;
  Json serialized{{"statusCode", response->statusCode}};
  Json headers = Json::object();
  std::map<std::string, std::string> firstSpelling;  // lower-case name -> the key it went under
  for (const auto& [name, value] : response->headers) {
    const auto [it, added] = firstSpelling.emplace(lowered(name), name);
    if (added) {
      headers[name] = value;
    } else {
      Json& joined = headers[it->second];
      joined = joined.get<std::string>() + ", " + value;
    }
  }
  if (!headers.empty()) serialized["headers"] = std::move(headers);
  return serialized;
}
