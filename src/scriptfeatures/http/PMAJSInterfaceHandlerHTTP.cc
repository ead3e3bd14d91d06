// The controller API handler's HTTP proxy: "sendHttpRequest".
#include <charconv>
#include <cmath>
#include <exception>
#include <string_view>

#include "ownnetwork/services/PMAHelperMethods.h"
#include "ownnetwork/services/PlovermarkLogManager.h"
#include "ownnetwork/services/QBNJsonValues.h"
#include "platform/dispatch.h"
#include "platform/utf8.h"
#include "scriptfeatures/PMAJSInterfaceHandler.h"
#include "scriptfeatures/QBNJSConventions.h"
#include "scriptfeatures/http/QBControllerAPIRequest.h"

using platform::Json;

namespace {

constexpr int kRequestStarted = 1;
constexpr int kResponseReceived = 2;
constexpr int kRequestError = 3;

constexpr char kUnableToCreateRequest[] = "unable to create request object";
constexpr char kUnableToCreateResponse[] = "unable to create response object";

void log(const std::string& message, uint64_t level) {
  PlovermarkLogManager::sharedManager().log("PMAJSInterfaceHandler | " + message, level, 4);
}

std::optional<std::string> decoded(const Json& params, const char* key) {
  return QBNJSConventions::decodedText(params, key);
}

// The number a text starts with (after blanks: a sign, digits, a fraction,
// an exponent), as the platform reads a decimal from text; 0 when there is
// none. A number too large for a double reads as infinity, one too small as 0.
double leadingDecimal(const std::optional<std::string>& text) {
  if (!text) return 0;
  const std::string& s = *text;
  size_t i = s.find_first_not_of(" \t\n\r\f\v");
  if (i == std::string::npos) return 0;
  const bool negative = s[i] == '-';
  if (s[i] == '+' || s[i] == '-') ++i;
  const char* first = s.data() + i;
  double value = 0;
  const auto [end, error] = std::from_chars(first, s.data() + s.size(), value, std::chars_format::general);
  if (error == std::errc::result_out_of_range) {
    const std::string_view number(first, static_cast<size_t>(end - first));
    const size_t exponent = number.find_first_of("eE");
    const bool tiny = exponent != std::string_view::npos && exponent + 1 < number.size() && number[exponent + 1] == '-';
    value = tiny ? 0 : HUGE_VAL;
  } else if (error != std::errc()) {
    return 0;
  }
  return negative ? -value : value;
}

// Posts the reply to the main queue, which sends it (encoded, never decoded
// first) to `callback`.
void postReply(const std::weak_ptr<QBNPublisherAgent>& agent, const std::optional<std::string>& callback,
               const Json& params) {
  platform::mainQueue()->async([agent, params, callback] { QBNJSConventions::replyEncoded(agent, callback, params); });
}

Json errorReply(const std::string& reason, const std::optional<std::string>& requestIdentifier) {
  Json params{{"errMsg", reason}, {"status", PMAJSInterfaceHandler::convertToString(kRequestError)}};
  if (requestIdentifier) params["identifier"] = *requestIdentifier;
  return params;
}

}  // namespace

std::string PMAJSInterfaceHandler::convertToString(int status) {
  switch (status) {
    case kRequestStarted:
      return "requestStarted";
    case kResponseReceived:
      return "responseReceived";
    case kRequestError:
      return "requestError";
    default:
      return "requestUnknown";
  }
}

std::optional<platform::URLRequest> PMAJSInterfaceHandler::requestFromControllerParams(const Json& params) const {
  try {
    Json headers;  // null: none
    if (const auto text = decoded(params, "headers")) {
      auto parsed = platform::parseJson(*text);
      if (!parsed) {
        log("requestFromControllerParams | headers are not JSON: " + parsed.error().message, 3);
        return std::nullopt;
      }
      headers = std::move(parsed).value();
    }
    const auto cache = decoded(params, "cache");
    return QBControllerAPIRequest::requestWithUrlString(
        decoded(params, "url"), decoded(params, "identifier"), decoded(params, "type"), headers, decoded(params, "data"),
        cache && qbnjson::boolValue(Json(*cache)).value_or(false), leadingDecimal(decoded(params, "timeout")));
  } catch (const std::exception& exception) {
    log(std::string("requestFromControllerParams | ") + exception.what(), 3);
    return std::nullopt;
  }
}

void PMAJSInterfaceHandler::sendSuccessCallbackWithParams(const Json& params,
                                                          const std::optional<std::string>& callback) const {
  postReply(publisherAgent_, callback, params);
}

void PMAJSInterfaceHandler::sendErrorCallbackWithReason(const std::string& reason,
                                                        const std::optional<std::string>& callback,
                                                        const std::optional<std::string>& requestIdentifier) const {
  postReply(publisherAgent_, callback, errorReply(reason, requestIdentifier));
}

Json PMAJSInterfaceHandler::responseDictionaryFromSerializedResponse(
    const Json& response, const std::optional<std::string>& data, const std::optional<std::string>& requestIdentifier) {
  Json params = Json::object();
  if (requestIdentifier) params["identifier"] = *requestIdentifier;
  params["responseParams"] = response;
  params["data"] = data.value_or("");
  params["status"] = convertToString(kResponseReceived);
  return params;
}

std::optional<std::string> PMAJSInterfaceHandler::serializeData(const std::string& data) {
  if (!platform::utf8::isValid(data)) return std::nullopt;
  return data;
}

void PMAJSInterfaceHandler::sendHTTPRequest(const Json& params) {
  const auto success = QBNJSConventions::text(params, "success");
  const auto fail = QBNJSConventions::text(params, "fail");
  const auto request = requestFromControllerParams(params);
  if (!request) {
    sendErrorCallbackWithReason(kUnableToCreateRequest, fail, std::nullopt);
    return;
  }
  const auto background = decoded(params, "background");
  const bool isBackground = background && qbnjson::boolValue(Json(*background)).value_or(false);
  const auto retries = decoded(params, "retries");
  const int64_t retryCount = retries ? qbnjson::integerValue(Json(*retries)) : 0;
  const auto identifier = QBControllerAPIRequest::getQBuniqueIdentifier(*request);
  log("sendHTTPRequest | " + request->method + " " + request->url + " | identifier: " + identifier.value_or(""), 1);

  sendSuccessCallbackWithParams(Json{{"identifier", identifier.value_or("")}, {"status", convertToString(kRequestStarted)}},
                                success);
  // The replies need only the publisher: the handler may go first.
  dispatcher_->sendHTTPRequest(
      *request, isBackground, retryCount,
      [agent = publisherAgent_, success, fail, identifier](platform::DataTaskResult result) {
        if (result.error) {
          const std::string reason = result.error->message.empty() ? "unknown reason" : result.error->message;
          postReply(agent, fail, errorReply("failed to send request, reason: " + reason, identifier));
          return;
        }
        const auto response = QBControllerAPIResponse::serializeToControllerCallback(result.response);
        const auto data = serializeData(result.body);
        if (!response || !data) {
          postReply(agent, fail, errorReply(kUnableToCreateResponse, identifier));
          return;
        }
        postReply(agent, success, responseDictionaryFromSerializedResponse(*response, data, identifier));
      });
}
