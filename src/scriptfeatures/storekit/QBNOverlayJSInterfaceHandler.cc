#include "scriptfeatures/storekit/QBNOverlayJSInterfaceHandler.h"

#include "ownnetwork/interfaces/QBNControllerAPIData.h"
#include "ownnetwork/services/PMAHelperMethods.h"
#include "ownnetwork/services/PlovermarkLogManager.h"
#include "platform/dispatch.h"
#include "scriptfeatures/QBNJSConventions.h"
#include "scriptfeatures/storekit/QBNOverlayPresenter.h"
#include "scriptfeatures/storekit/QBNOverlaysHolder.h"

using platform::Json;

namespace {

void log(const std::string& message) { PlovermarkLogManager::sharedManager().logWithNetworkPrefix(message, 1, 5); }

std::string describe(const Json& params) {
  return params.is_null() ? std::string("parameters are null") : platform::dumpJson(params);
}

const std::string kTooMany = "Too many overlays held (" + std::to_string(QBNOverlaysHolder::kMaxHeldOverlays) +
                             "): remove one before creating another";

// Runs `work` now on the main queue, or on a later main-queue turn from any
// other thread.
void onMain(std::function<void()> work) {
  if (platform::isMainThread()) {
    work();
  } else {
    platform::mainQueue()->async(std::move(work));
  }
}

}  // namespace

void QBNOverlayJSInterfaceHandler::invokeAPIWithJSParams(const Json& request) {
  const Callback success = QBNJSConventions::text(request, "success");
  const Callback fail = QBNJSConventions::text(request, "fail");
  const auto functionName = QBNJSConventions::functionName(request);
  if (!functionName || functionName->empty()) {
    sendFailureCallbackToController(QBNJSConventions::decodedTexts(request), "missing function name", fail);
    return;
  }
  auto params = extractFunctionParameters(request);
  if (!params) {
    sendFailureCallbackToController(QBNJSConventions::decodedTexts(request), params.error().message, fail);
    return;
  }
  if (*functionName == "createOverlay") {
    createOverlay(params.value(), success, fail);
  } else if (*functionName == "presentOverlay") {
    presentOverlay(params.value(), success, fail);
  } else if (*functionName == "dismissOverlay") {
    dismissOverlays(params.value(), success, fail);
  } else if (*functionName == "removeOverlay") {
    removeOverlay(params.value(), success, fail);
  } else {
    sendFailureCallbackToController(params.value(), "unsupported API", fail);
  }
}

platform::Result<Json> QBNOverlayJSInterfaceHandler::extractFunctionParameters(const Json& request) {
  const auto escaped = QBNJSConventions::text(request, "functionParams");
  if (!escaped || escaped->empty()) return Json::object();
  auto parsed =
      PMAHelperMethods::dictionaryFromJsonString(PMAHelperMethods::decodeFromPercentEscapeString(*escaped), nullptr);
  if (!parsed) {
    return PMAHelperMethods::errorWithReason("error when trying to decode and convert function params", 0,
                                             std::nullopt);
  }
  if (!parsed->is_object()) {
    return PMAHelperMethods::errorWithReason("function params are not a JSON object", 0, std::nullopt);
  }
  return std::move(*parsed);
}

std::optional<std::string> QBNOverlayJSInterfaceHandler::extractOverlayIdFromParams(const Json& params) {
  const auto id = QBNJSConventions::text(params, "overlayId");
  if (!id || id->empty()) return std::nullopt;
  return id;
}

void QBNOverlayJSInterfaceHandler::createOverlay(const Json& params, const Callback& success, const Callback& fail) {
  auto& holder = QBNOverlaysHolder::sharedHolder();
  std::optional<std::string> failure;
  if (auto valid = QBNOverlayUtils::isValidJSOverlayConfig(params); !valid) {
    failure = valid.error().message;
  } else if (!holder.canHoldOverlayForId(*extractOverlayIdFromParams(params))) {
    failure = kTooMany;
  }
  std::shared_ptr<platform::SKOverlay> overlay;
  if (!failure) {
    auto created = holder.createOverlayWithConfigurations(params);
    if (created) {
      overlay = created.value();
    } else {
      failure = created.error().message;
    }
  }
  if (!failure && !holder.setOverlay(overlay, extractOverlayIdFromParams(params))) failure = kTooMany;
  if (failure) {
    log("Failed to create a SKOverlay with parameters: " + describe(params) + "]");
    sendFailureCallbackToController(params, *failure, fail);
    return;
  }
  log("Successfully created a SKOverlay with parameters: " + describe(params) + "]");
  sendSuccessCallbackToController(params, success);
}

void QBNOverlayJSInterfaceHandler::presentOverlay(const Json& params, const Callback& /*success*/,
                                                  const Callback& fail) {
  const auto overlay = QBNOverlaysHolder::sharedHolder().overlayForOverlayId(extractOverlayIdFromParams(params));
  if (!overlay) {
    log("Failed to present a SKOverlay with parameters: " + describe(params) + "]");
    sendFailureCallbackToController(params, "Missing overlay when trying to present", fail);
    return;
  }
  std::weak_ptr<QBNControllerManagerP> manager = controllerManager_;
  onMain([manager, overlay, params, fail] {
    auto presented = QBNOverlayPresenter::presentOverlayWithOverlay(overlay);
    if (!presented) replyFailure(manager.lock(), params, presented.error().message, fail);
  });
}

void QBNOverlayJSInterfaceHandler::dismissOverlays(const Json& params, const Callback& /*success*/,
                                                   const Callback& fail) {
  std::weak_ptr<QBNControllerManagerP> manager = controllerManager_;
  onMain([manager, params, fail] {
    auto dismissed = QBNOverlayPresenter::dismissOverlaysWithError();
    if (dismissed) return;
    log("Failed to dismiss a SKOverlay with parameters: " + describe(params) + "]");
    replyFailure(manager.lock(), params, dismissed.error().message, fail);
  });
}

void QBNOverlayJSInterfaceHandler::removeOverlay(const Json& params, const Callback& success, const Callback& fail) {
  auto removed = QBNOverlaysHolder::sharedHolder().removeOverlayForOverlayId(extractOverlayIdFromParams(params));
  if (!removed) {
    log("Failed to remove overlay with parameters: " + describe(params));
    sendFailureCallbackToController(params, removed.error().message, fail);
    return;
  }
  log("Successfully removed overlay with parameters: " + describe(params));
  sendSuccessCallbackToController(params, success);
}

void QBNOverlayJSInterfaceHandler::sendSuccessCallbackToController(const Json& params, const Callback& success) {
  QBNJSConventions::reply(controllerManager(), success, params, QBNControllerAPIData::kEncodingPercentEncode);
}

void QBNOverlayJSInterfaceHandler::sendFailureCallbackToController(const Json& params, const std::string& message,
                                                                   const Callback& fail) {
  replyFailure(controllerManager(), params, message, fail);
}

void QBNOverlayJSInterfaceHandler::replyFailure(const std::shared_ptr<QBNControllerManagerP>& manager,
                                                const Json& params, const std::string& message, const Callback& fail) {
  Json reply = params.is_object() ? params : Json::object();
  reply["errMsg"] = message;
  QBNJSConventions::reply(manager, fail, reply, QBNControllerAPIData::kEncodingPercentEncode);
}
