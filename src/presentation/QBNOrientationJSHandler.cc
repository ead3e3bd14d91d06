#include "presentation/QBNOrientationJSHandler.h"

#include "ownnetwork/interfaces/QBNControllerManagerP.h"
#include "ownnetwork/services/PlovermarkLogManager.h"
#include "ownnetwork/services/QBNJsonValues.h"
#include "presentation/QBNAppOrientationHolder.h"
#include "presentation/QBOrientationManager.h"
#include "presentation/QBOrientationPolicy.h"
#include "presentation/QBOrientationUtillis.h"

namespace {

bool has(const platform::Json& params, const char* key) { return params.is_object() && params.contains(key); }

// The page writes every parameter as a text; a value of another kind is read
// as the text it stands for.
std::string textOf(const platform::Json& params, const char* key) { return qbnjson::description(params[key]); }

}  // namespace

std::shared_ptr<QBNOrientationJSHandler> QBNOrientationJSHandler::create(
    std::weak_ptr<QBNPublisherAgent> publisherAgent) {
  return std::shared_ptr<QBNOrientationJSHandler>(new QBNOrientationJSHandler(std::move(publisherAgent)));
}

void QBNOrientationJSHandler::invokeAPIWithJSParams(const platform::Json& params) {
  if (has(params, "appOrientation")) {
    setAppOrientation(params, true);
  } else if (has(params, "orientation")) {
    setPresentationOrientation(params, true);
  }
}

void QBNOrientationJSHandler::setPresentationOrientation(const platform::Json& params, bool sendCallback) {
  logInfo("calling method:setPresentationOrientation:sendCallback:");
  if (has(params, "orientation")) {
    updateOrientationManagerWithRequestedPresentationOrientation(textOf(params, "orientation"));
    if (sendCallback) sendEmptyCallbackToController(platform::getString(params, "success"));
  } else if (sendCallback) {
    sendCallbackToController(platform::getString(params, "fail"),
                             platform::Json{{"errMsg", "missing orientation param"}});
  }
}

void QBNOrientationJSHandler::setAppOrientation(const platform::Json& params, bool sendCallback) {
  logInfo("calling method:setAppOrientation:sendCallback: | js params: " +
          (params.is_null() ? std::string("none") : qbnjson::description(params)));
  if (has(params, "appOrientation")) {
    QBNAppOrientationHolder::sharedInstance().setExternalAppOrientation(
        QBOrientationUtillis::convertControllerStringOrientationToQBOrientation(textOf(params, "appOrientation")));
    if (sendCallback) sendEmptyCallbackToController(platform::getString(params, "success"));
  } else if (sendCallback) {
    sendCallbackToController(platform::getString(params, "fail"),
                             platform::Json{{"errMsg", "missing app orientation param"}});
  }
}

void QBNOrientationJSHandler::updateOrientationManagerWithRequestedPresentationOrientation(
    const std::string& orientation) {
  auto policy = orientation == "application"
                    ? QBOrientationPolicy::initWithWithOrientation(
                          static_cast<QBOrientation>(QBNAppOrientationHolder::sharedInstance().appOrientation()))
                    : QBOrientationPolicy::initWithStringOrientation(orientation);
  QBOrientationManager::sharedManager().updateOrientationPolicy(std::move(policy));
}

void QBNOrientationJSHandler::sendEmptyCallbackToController(const std::optional<std::string>& name) const {
  sendCallbackToController(name, platform::Json::object());
}

void QBNOrientationJSHandler::sendCallbackToController(const std::optional<std::string>& name,
                                                       const platform::Json& params) const {
  const auto agent = publisherAgent();
  const auto manager = agent ? agent->controllerManager() : nullptr;
  if (!name || !manager) return;
  manager->runCommand(*name, params, std::nullopt, std::nullopt, true);
}

void QBNOrientationJSHandler::logInfo(const std::string& text) {
  PlovermarkLogManager::sharedManager().log("class: QBNOrientationJSHandler | " + text, 1, 5);
}
