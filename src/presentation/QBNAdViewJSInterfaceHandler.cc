#include "presentation/QBNAdViewJSInterfaceHandler.h"

#include "ownnetwork/interfaces/QBNControllerManagerP.h"
#include "ownnetwork/services/PMAHelperMethods.h"
#include "platform/dispatch.h"
#include "platform/json.h"

std::shared_ptr<QBNAdViewJSInterfaceHandler> QBNAdViewJSInterfaceHandler::create(
    std::weak_ptr<QBNPublisherAgent> publisherAgent) {
  return std::shared_ptr<QBNAdViewJSInterfaceHandler>(new QBNAdViewJSInterfaceHandler(std::move(publisherAgent)));
}

void QBNAdViewJSInterfaceHandler::invokeAPIWithJSParams(const platform::Json& params) {
  const auto fail = platform::getString(params, "fail");
  if (!fail) return;
  sendLater(*fail, platform::Json{{"errMsg", "Deprecated"}}, std::nullopt, std::nullopt, true);
}

std::optional<std::string> QBNAdViewJSInterfaceHandler::methodNameFromParams(const platform::Json& params) {
  return platform::getString(params, "functionName");
}

platform::Json QBNAdViewJSInterfaceHandler::methodParamsFromParams(const platform::Json& params) {
  auto parsed = PMAHelperMethods::dictionaryFromJsonString(
      PMAHelperMethods::decodeFromPercentEscapeString(platform::getString(params, "functionParams").value_or("")), nullptr);
  return parsed && parsed->is_object() ? *parsed : platform::Json::object();
}

void QBNAdViewJSInterfaceHandler::didReceiveMessageFromAdView(const std::string& message,
                                                              const platform::Json& params) {
  sendLater(message, params, platform::getString(params, "successMethodName"), platform::getString(params, "failMethodName"), false);
}

void QBNAdViewJSInterfaceHandler::sendLater(std::string function, platform::Json parameters,
                                            std::optional<std::string> success, std::optional<std::string> fail,
                                            bool decodeFirst) {
  std::weak_ptr<QBNAdViewJSInterfaceHandler> weak = weak_from_this();
  platform::mainQueue()->async([weak, function = std::move(function), parameters = std::move(parameters),
                                success = std::move(success), fail = std::move(fail), decodeFirst] {
    const auto self = weak.lock();
    const auto agent = self ? self->publisherAgent() : nullptr;
    const auto manager = agent ? agent->controllerManager() : nullptr;
    if (manager) manager->runCommand(function, parameters, success, fail, decodeFirst);
  });
}
