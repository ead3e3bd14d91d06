#include "scriptfeatures/storekit/QBNAdImpressionJSInterfaceHandler.h"

#include "ownnetwork/interfaces/QBNControllerAPIData.h"
#include "ownnetwork/services/PMAHelperMethods.h"
#include "platform/runtime.h"
#include "scriptfeatures/QBNJSConventions.h"

using platform::Json;

namespace {

// The feature's error for what a call threw: "<type>: <reason>", with
// `fallback` as the reason when it gave none.
platform::Error thrownError(const platform::CaughtException& caught, const char* fallback) {
  return QBNAdImpressionService::error(caught.name + ": " + (caught.reason.empty() ? fallback : caught.reason));
}

}  // namespace

QBNAdImpressionJSInterfaceHandler::QBNAdImpressionJSInterfaceHandler(
    const std::shared_ptr<QBNControllerManagerP>& controllerManager)
    : controllerManager_(controllerManager), adImpressionService_(QBNAdImpressionService::create()) {}

void QBNAdImpressionJSInterfaceHandler::invokeAPIWithJSParams(const Json& params) {
  std::weak_ptr<QBNAdImpressionJSInterfaceHandler> weak = weak_from_this();
  adImpressionService_->queue()->async([weak, params] {
    if (auto self = weak.lock()) self->run(params);
  });
}

void QBNAdImpressionJSInterfaceHandler::run(const Json& params) {
  const auto functionName = QBNJSConventions::functionName(params);
  if (!functionName) return;
  const auto data = extractImpressionData(params);
  if (!data) return;
  std::weak_ptr<QBNAdImpressionJSInterfaceHandler> weak = weak_from_this();
  auto done = [weak, params](std::optional<platform::Error> error) {
    if (auto self = weak.lock()) self->handleImpressionCompletionWithJSParams(params, error);
  };
  if (*functionName == "startImpression") {
    startImpressionWithImpressionData(*data, std::move(done));
  } else if (*functionName == "endImpression") {
    endImpressionWithImpressionData(*data, std::move(done));
  }
}

std::optional<Json> QBNAdImpressionJSInterfaceHandler::extractImpressionData(const Json& params) {
  const auto escaped = QBNJSConventions::text(params, "impressionData");
  if (!escaped) {
    sendFailureCallbackToController(params, QBNAdImpressionService::error("missing impressionData"));
    return std::nullopt;
  }
  platform::Error parseError;
  auto parsed = PMAHelperMethods::dictionaryFromJsonString(PMAHelperMethods::decodeFromPercentEscapeString(*escaped),
                                                           &parseError);
  if (!parsed) {
    sendFailureCallbackToController(
        params, QBNAdImpressionService::error(parseError.message.empty() ? "unable to parse imperssionData dictionary"
                                                                         : parseError.message));
    return std::nullopt;
  }
  if (!parsed->is_object()) {
    sendFailureCallbackToController(params, QBNAdImpressionService::error("impressionData is not a JSON object"));
    return std::nullopt;
  }
  return parsed;
}

void QBNAdImpressionJSInterfaceHandler::startImpressionWithImpressionData(
    const Json& data, QBNAdImpressionService::Completion completion) {
  if (beforeStartForTesting_) beforeStartForTesting_();
  // The completion is shared so that a throw after the service took it can
  // still be answered, once.
  auto once = std::make_shared<QBNAdImpressionService::Completion>(std::move(completion));
  auto answer = [once](std::optional<platform::Error> error) {
    if (auto completion = std::exchange(*once, nullptr)) completion(std::move(error));
  };
  if (auto caught = platform::guard([&] { adImpressionService_->startImpression(data, answer); })) {
    answer(thrownError(*caught, "exception while startImpression"));
  }
}

void QBNAdImpressionJSInterfaceHandler::endImpressionWithImpressionData(const Json& /*data*/,
                                                                        QBNAdImpressionService::Completion completion) {
  auto once = std::make_shared<QBNAdImpressionService::Completion>(std::move(completion));
  auto answer = [once](std::optional<platform::Error> error) {
    if (auto completion = std::exchange(*once, nullptr)) completion(std::move(error));
  };
  if (auto caught = platform::guard([&] { adImpressionService_->endImpressionWithcompletionHandler(answer); })) {
    answer(thrownError(*caught, "exception while endImpression"));
  }
}

void QBNAdImpressionJSInterfaceHandler::handleImpressionCompletionWithJSParams(
    const Json& params, const std::optional<platform::Error>& error) {
  if (error) {
    sendFailureCallbackToController(params, *error);
  } else {
    sendSuccessCallbackToController(params);
  }
}

void QBNAdImpressionJSInterfaceHandler::sendSuccessCallbackToController(const Json& params) {
  QBNJSConventions::reply(controllerManager(), QBNJSConventions::text(params, "success"), params,
                          QBNControllerAPIData::kEncodingDecodeThenEncode);
}

void QBNAdImpressionJSInterfaceHandler::sendFailureCallbackToController(const Json& params,
                                                                        const platform::Error& error) {
  Json reply = QBNJSConventions::decodedTexts(params);
  reply["errMsg"] = error.message.empty() ? std::string("SKAdImpression - missing error message") : error.message;
  reply["errCode"] = error.code;
  QBNJSConventions::reply(controllerManager(), QBNJSConventions::text(params, "fail"), reply,
                          QBNControllerAPIData::kEncodingPercentEncode);
}
