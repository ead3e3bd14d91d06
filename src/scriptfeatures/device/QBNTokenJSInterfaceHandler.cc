#include "scriptfeatures/device/QBNTokenJSInterfaceHandler.h"

#include "foundation/QBTokenProvider.h"
#include "ownnetwork/interfaces/QBNPublisherAgent.h"
#include "ownnetwork/services/PMAHelperMethods.h"
#include "ownnetwork/services/PlovermarkLogManager.h"
#include "ownnetwork/token/QBNTokenService.h"
#include "scriptfeatures/QBNJSConventions.h"

using platform::Json;

namespace {

constexpr char kNotAnObject[] = "token data is not a JSON object";

}  // namespace

QBNTokenJSInterfaceHandler::QBNTokenJSInterfaceHandler(std::weak_ptr<QBNPublisherAgent> publisherAgent)
    : publisherAgent_(std::move(publisherAgent)), globalDataWriter_(std::make_shared<QBNNetworkGlobalDataWriter>()) {}

std::optional<std::string> QBNTokenJSInterfaceHandler::methodNameFromParams(const Json& params) {
  return QBNJSConventions::functionName(params);
}

void QBNTokenJSInterfaceHandler::invokeAPIWithJSParams(const Json& params) {
  const auto method = methodNameFromParams(params);
  if (!method) return;
  PlovermarkLogManager::sharedManager().log("QBNTokenJSInterfaceHandler | " + *method, 1, 5);
  if (*method == "updateToken") {
    updateTokenDataWithControllerData(params);
  } else if (*method == "getToken") {
    getTokenData(params);
  } else {
    sendCallbackToController(QBNJSConventions::text(params, "fail"), Json{{"errMsg", "unsupported API"}});
  }
}

void QBNTokenJSInterfaceHandler::updateTokenDataWithControllerData(const Json& params) {
  platform::Error error;
  const auto escaped = QBNJSConventions::text(params, "functionParams");
  const auto data = PMAHelperMethods::dictionaryFromJsonString(
      escaped ? std::optional(PMAHelperMethods::decodeFromPercentEscapeString(*escaped)) : std::nullopt, &error);
  if (!data || !data->is_object()) {
    sendCallbackToController(QBNJSConventions::text(params, "fail"),
                             Json{{"errMsg", data ? std::string(kNotAnObject) : error.message}});
    return;
  }
  globalDataWriter_->extendTokenDataWithJsData(*data);
  QBNTokenService::sharedService().updateTokenWithData(*data);
}

void QBNTokenJSInterfaceHandler::getTokenData(const Json&) {
  const auto agent = publisherAgent();
  const Json token = agent && agent->isOneToken() ? QBTokenProvider::sharedInstance().getToken()
                                                  : QBNTokenService::sharedService().getRawToken();
  sendCallbackToController("getTokenSuccess", token.is_object() ? token : Json::object());
}

void QBNTokenJSInterfaceHandler::sendCallbackToController(const std::optional<std::string>& function,
                                                          const std::optional<Json>& params) const {
  QBNJSConventions::replyEncoded(publisherAgent_, function, params.value_or(Json::object()));
}
