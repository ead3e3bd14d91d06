#include "presentation/QBNAdUnitWebViewJSInterfaceHandler.h"

#include "ownnetwork/interfaces/QBNControllerManagerP.h"
#include "ownnetwork/services/PMAHelperMethods.h"
#include "ownnetwork/services/PlovermarkLogManager.h"
#include "presentation/QBNAdViewsManager.h"
#include "platform/json.h"

namespace {

void log(const std::string& line) { PlovermarkLogManager::sharedManager().log(line, 1, 5); }

}  // namespace

std::shared_ptr<QBNAdUnitWebViewJSInterfaceHandler> QBNAdUnitWebViewJSInterfaceHandler::create(
    std::weak_ptr<QBNPublisherAgent> publisherAgent) {
  return std::shared_ptr<QBNAdUnitWebViewJSInterfaceHandler>(
      new QBNAdUnitWebViewJSInterfaceHandler(std::move(publisherAgent)));
}

void QBNAdUnitWebViewJSInterfaceHandler::invokeAPIWithJSParams(const platform::Json& params) {
  static const struct {
    const char* name;
    void (QBNAdUnitWebViewJSInterfaceHandler::*run)(const platform::Json&);
  } kFunctions[] = {
      {"loadWithUrl", &QBNAdUnitWebViewJSInterfaceHandler::loadUrlWithParams},
      {"sendMessage", &QBNAdUnitWebViewJSInterfaceHandler::sendMessageWithParams},
      {"removeAdView", &QBNAdUnitWebViewJSInterfaceHandler::removeAdViewWithParams},
      {"webviewAction", &QBNAdUnitWebViewJSInterfaceHandler::performWebViewActionWithParams},
      {"handleGetViewVisibility", &QBNAdUnitWebViewJSInterfaceHandler::handleGetViewVisibilityWithParam},
  };
  const auto name = platform::getString(params, "functionName");
  for (const auto& function : kFunctions) {
    if (name == function.name) return (this->*function.run)(params);
  }
  sendFailureCallbackToController(params, "unsupported API", std::nullopt);
}

std::optional<platform::Json> QBNAdUnitWebViewJSInterfaceHandler::getMethodParamsDictionaryFromJsParams(
    const platform::Json& params) {
  const auto raw = platform::getString(params, "functionParams");
  if (!raw) return std::nullopt;
  platform::Error error;
  auto parsed = PMAHelperMethods::dictionaryFromJsonString(PMAHelperMethods::decodeFromPercentEscapeString(*raw), &error);
  if (!parsed || !parsed->is_object()) return std::nullopt;
  return parsed;
}

void QBNAdUnitWebViewJSInterfaceHandler::loadUrlWithParams(const platform::Json& params) {
  const QBNAdViewLoadParams load(getMethodParamsDictionaryFromJsParams(params).value_or(platform::Json::object()));
  if (!load.adViewId()) {
    sendFailureCallbackToController(params, "loadUrlWithParams fail - adViewId is missing", std::nullopt);
    return;
  }
  const std::string id = *load.adViewId();
  if (!load.urlString()) {
    sendFailureCallbackToController(params, "loadUrlWithParams fail - urlString is missing", id);
    return;
  }
  QBNAdViewsManager::sharedManager().loadUrlWithParams(load, weak_from_this(),
                                                       replyWith(params, id, "loadUrlOnAdView"));
}

void QBNAdUnitWebViewJSInterfaceHandler::sendMessageWithParams(const platform::Json& params) {
  log("sendMessageWithParams: " + platform::dumpJson(params));
  const auto sub = getMethodParamsDictionaryFromJsParams(params);
  std::optional<std::string> id;
  if (sub) {
    if (auto message = PMAHelperMethods::dictionaryFromJsonString(platform::getString(*sub, "params"), nullptr)) {
      id = platform::getString(*message, "adViewId");
    }
  }
  if (!id) {
    sendFailureCallbackToController(params, "sendMessageWithParams: | failed | - adViewId is missing", std::nullopt);
    return;
  }
  platform::Json forwarded{{"params", *sub}};
  forwarded["success"] = params.contains("success") ? params["success"] : platform::Json();
  forwarded["fail"] = params.contains("fail") ? params["fail"] : platform::Json();
  QBNAdViewsManager::sharedManager().sendMessageToAdview(id, forwarded, replyWith(params, *id, nullptr));
}

void QBNAdUnitWebViewJSInterfaceHandler::removeAdViewWithParams(const platform::Json& params) {
  const auto sub = getMethodParamsDictionaryFromJsParams(params).value_or(platform::Json::object());
  const auto id = platform::getString(sub, "adViewId");
  if (!id) {
    sendFailureCallbackToController(params, "removeAdViewWithParams fail - adViewId is missing", std::nullopt);
    return;
  }
  QBNAdViewsManager::sharedManager().removeAdViewWithId(id, sub, weak_from_this(),
                                                        replyWith(params, *id, "removeAdViewCompletionHandler"));
}

void QBNAdUnitWebViewJSInterfaceHandler::performWebViewActionWithParams(const platform::Json& params) {
  const auto sub = getMethodParamsDictionaryFromJsParams(params).value_or(platform::Json::object());
  const auto id = platform::getString(sub, "adViewId");
  if (!id) {
    sendFailureCallbackToController(params, "performWebViewActionWithParams fail - adViewId is missing", std::nullopt);
    return;
  }
  QBNAdViewsManager::sharedManager().performWebViewActionWithId(id, sub, replyWith(params, *id, nullptr));
}

void QBNAdUnitWebViewJSInterfaceHandler::handleGetViewVisibilityWithParam(const platform::Json& params) {
  const auto sub = getMethodParamsDictionaryFromJsParams(params).value_or(platform::Json::object());
  const auto id = platform::getString(sub, "adViewId");
  if (!id) {
    sendFailureCallbackToController(params, "handleGetViewVisibilityWithParam fail - adViewId is missing",
                                    std::nullopt);
    return;
  }
  QBNAdViewsManager::sharedManager().sendHandleGetViewVisibilityWithId(
      id, params, replyWith(params, *id, "handleGetViewVisibilityWithParam"));
}

QBNAdViewCompletion QBNAdUnitWebViewJSInterfaceHandler::replyWith(const platform::Json& params,
                                                                  const std::string& adViewId, const char* name) const {
  std::weak_ptr<const QBNAdUnitWebViewJSInterfaceHandler> weak = weak_from_this();
  const std::string logName = name ? name : "";
  const bool loadLog = logName == "loadUrlOnAdView";
  return [weak, params, adViewId, logName, loadLog](const std::optional<platform::Error>& error) {
    const auto self = weak.lock();
    if (!self) return;
    if (error) {
      if (!logName.empty() && !loadLog) log(logName + " failed adViewId = " + adViewId);
      self->sendFailureCallbackToController(params, error->message, adViewId);
      return;
    }
    if (loadLog) {
      log("loadUrlOnAdView success adViewId= " + adViewId);
    } else if (!logName.empty()) {
      log(logName + " success adViewId = " + adViewId);
    }
    self->sendSuccessCallbackToController(params, adViewId);
  };
}

void QBNAdUnitWebViewJSInterfaceHandler::sendSuccessCallbackToController(const platform::Json& params,
                                                                         const std::string& adViewId) const {
  const auto name = platform::getString(params, "success");
  const auto agent = publisherAgent();
  const auto manager = agent ? agent->controllerManager() : nullptr;
  if (!name || !manager) return;
  manager->runCommand(*name, platform::Json{{"adViewId", adViewId}}, std::nullopt, std::nullopt, true);
}

void QBNAdUnitWebViewJSInterfaceHandler::sendFailureCallbackToController(
    const platform::Json& params, const std::optional<std::string>& message,
    const std::optional<std::string>& adViewId) const {
  if (!message) return;
  const auto name = platform::getString(params, "fail");
  const auto agent = publisherAgent();
  const auto manager = agent ? agent->controllerManager() : nullptr;
  if (name && manager) {
    manager->runCommand(*name, platform::Json{{"errMsg", *message}, {"adViewId", adViewId.value_or("")}},
                        std::nullopt, std::nullopt, true);
  }
  log(*message);
}

void QBNAdUnitWebViewJSInterfaceHandler::didReceiveMessageFromAdView(const std::string& message,
                                                                     const platform::Json& params) {
  const auto agent = publisherAgent();
  const auto manager = agent ? agent->controllerManager() : nullptr;
  if (!manager) return;
  manager->runCommand(QBNControllerAPIData(message)
                          .setFunctionParameters(params)
                          .setSuccessCallback(platform::getString(params, "successMethodName"))
                          .setFailCallback(platform::getString(params, "failMethodName"))
                          .setEncodingOptions(QBNControllerAPIData::kEncodingPercentEncode));
}
