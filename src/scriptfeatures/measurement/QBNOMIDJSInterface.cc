#include "scriptfeatures/measurement/QBNOMIDJSInterface.h"

#include "ownnetwork/services/PMAHelperMethods.h"
#include "ownnetwork/services/PlovermarkLogManager.h"
#include "ownnetwork/services/QBNJsonValues.h"
#include "platform/ui/view.h"
#include "platform/web/web_view.h"
#include "presentation/QBNAdViewsManager.h"
#include "scriptfeatures/QBNJSConventions.h"

using platform::Json;

namespace {

void logGlue(const std::string& message) { PlovermarkLogManager::sharedManager().log(message, 1, 6); }

// The web view an ad view presents: the view itself, or the first web view
// inside it (an ad container).
std::shared_ptr<platform::WebView> webViewIn(const std::shared_ptr<platform::View>& view) {
  if (!view) return nullptr;
  if (auto webView = std::dynamic_pointer_cast<platform::WebView>(view)) return webView;
  for (const auto& child : view->subviews()) {
    if (auto webView = webViewIn(child)) return webView;
  }
  return nullptr;
}

}  // namespace

// One page request: the manager's outcome of the operation it asked for is
// answered on this request's own callbacks.
class QBNOMIDJSInterface::Request : public QBNOMIDManagerDelegate {
 public:
  Request(std::weak_ptr<QBNPublisherAgent> publisherAgent, Json params)
      : publisherAgent_(std::move(publisherAgent)), params_(std::move(params)) {}

  // On "success" with the parameters (an empty object for none).
  void sendSuccessCallbackToController(const Json& callbackParams) const {
    QBNJSConventions::replyEncoded(publisherAgent_, QBNJSConventions::text(params_, "success"),
                                   callbackParams.is_null() ? Json::object() : callbackParams);
  }
  // On "fail" with {"errMsg": reason} (empty without a reason) and the ad
  // view id when there is one.
  void sendErrorCallbackToController(const std::optional<std::string>& adViewId,
                                     const std::optional<std::string>& errorReason) const {
    Json out = Json::object();
    if (errorReason) out["errMsg"] = *errorReason;
    if (adViewId) out["adViewId"] = *adViewId;
    QBNJSConventions::replyEncoded(publisherAgent_, QBNJSConventions::text(params_, "fail"), out);
  }

  void omidManagerActivated() override {
    logGlue("QBNOMIDManagerDelegate | omidManagerActivated");
    sendSuccessCallbackToController(QBNOMIDManager::sharedInstance()->getOmidData());
  }
  void omidManagerStartedSession(const std::string& adViewId) override {
    logGlue("QBNOMIDManagerDelegate | omidManagerStartedSession:");
    sendSuccessCallbackToController(Json{{"adViewId", adViewId}});
  }
  void omidManagerFailedToStartSessionWithReason(const std::string& reason, const std::string& adViewId) override {
    logGlue("QBNOMIDManagerDelegate | omidManagerFailedToStartSessionWithReason:adViewId:");
    sendErrorCallbackToController(adViewId, reason);
  }
  void omidManagerImpressionOccurred(const std::string& adViewId) override {
    logGlue("QBNOMIDManagerDelegate | omidManagerImpressionOccurred:");
    sendSuccessCallbackToController(Json{{"adViewId", adViewId}});
  }
  void omidManagerFailedImpressionOccurredWithReason(const std::string& reason,
                                                     const std::optional<std::string>& adViewId) override {
    logGlue("QBNOMIDManagerDelegate | omidManagerFailedImpressionOccurredWithReason:adViewId:");
    sendErrorCallbackToController(adViewId, reason);
  }
  void omidManagerFinishedSession(const std::string& adViewId) override {
    logGlue("QBNOMIDManagerDelegate | omidManagerFinishedSession:");
    sendSuccessCallbackToController(Json{{"adViewId", adViewId}});
  }
  void omidManagerFailedToFinishSessionWithReason(const std::string& reason,
                                                  const std::optional<std::string>& adViewId) override {
    logGlue("QBNOMIDManagerDelegate | omidManagerFailedToFinishSessionWithReason:adViewId:");
    sendErrorCallbackToController(adViewId, reason);
  }

 private:
  std::weak_ptr<QBNPublisherAgent> publisherAgent_;
  Json params_;
};

std::shared_ptr<QBNOMIDJSInterface> QBNOMIDJSInterface::initWithPublisherAgent(
    std::weak_ptr<QBNPublisherAgent> publisherAgent) {
  std::shared_ptr<QBNOMIDJSInterface> handler(new QBNOMIDJSInterface(std::move(publisherAgent)));
  QBNOMIDManager::sharedInstance()->setDelegate(handler);
  return handler;
}

std::optional<std::string> QBNOMIDJSInterface::omidMethodNameFromParams(const Json& params) {
  return QBNJSConventions::text(params, "omidFunction");
}

Json QBNOMIDJSInterface::omidMethodParamsFromParams(const Json& params) {
  const auto escaped = QBNJSConventions::text(params, "omidParams");
  if (!escaped) return Json::object();
  auto parsed = PMAHelperMethods::dictionaryFromJsonString(PMAHelperMethods::decodeFromPercentEscapeString(*escaped),
                                                           nullptr);
  return parsed && parsed->is_object() ? std::move(*parsed) : Json::object();
}

std::optional<std::string> QBNOMIDJSInterface::getAdViewId(const Json& omidParams) {
  if (!omidParams.is_object()) return std::nullopt;
  const auto found = omidParams.find("adViewId");
  if (found == omidParams.end() || found->is_null()) return std::nullopt;
  return found->is_string() ? found->get<std::string>() : qbnjson::description(*found);
}

std::optional<Json> QBNOMIDJSInterface::controllerCallbacks(const std::string& methodName) const {
  std::lock_guard lock(mutex_);
  const auto found = controllerCallbacks_.find(methodName);
  if (found == controllerCallbacks_.end()) return std::nullopt;
  return found->second;
}

std::shared_ptr<QBNOMIDJSInterface::Request> QBNOMIDJSInterface::latestRequest(const std::string& methodName) const {
  return std::make_shared<Request>(publisherAgent_, controllerCallbacks(methodName).value_or(Json::object()));
}

void QBNOMIDJSInterface::invokeAPIWithParams(const Json& params) {
  const auto name = omidMethodNameFromParams(params);
  if (!name) return;
  {
    std::lock_guard lock(mutex_);
    controllerCallbacks_[*name] = params;
  }
  const auto request = std::make_shared<Request>(publisherAgent_, params);
  const auto manager = QBNOMIDManager::sharedInstance();
  const Json omidParams = omidMethodParamsFromParams(params);
  if (*name == "activate") {
    manager->activate(request);
  } else if (*name == "startSession") {
    startSession(omidParams, request);
  } else if (*name == "impressionOccurred") {
    manager->impressionOccurred(omidParams, getAdViewId(omidParams), request);
  } else if (*name == "finishSession") {
    manager->finishSessionWithAdViewId(getAdViewId(omidParams), request);
  } else if (*name == "getOmidData") {
    request->sendSuccessCallbackToController(manager->getOmidData());
  } else {
    const std::string message = "invokeAPIWithParams: | unsupported OMID API";
    logGlue(message);
    request->sendErrorCallbackToController(getAdViewId(omidParams), message);
  }
}

void QBNOMIDJSInterface::startSession(const Json& omidParams, const std::shared_ptr<Request>& request) {
  const auto adViewId = getAdViewId(omidParams);
  if (!adViewId) {
    const std::string message = "startSession: | Missing adview id in OMID params";
    logGlue(message);
    request->sendErrorCallbackToController(std::nullopt, message);
    return;
  }
  const auto adView = QBNAdViewsManager::sharedManager().getAdUnitWebViewById(adViewId);
  if (!adView) {
    const std::string message = "startSession: | No adview found with the provided adViewId";
    logGlue(message);
    request->sendErrorCallbackToController(adViewId, message);
    return;
  }
  QBNOMIDManager::sharedInstance()->startSession(omidParams, webViewIn(adView->getViewToPresent()), *adViewId,
                                                 request);
}

void QBNOMIDJSInterface::omidManagerActivated() { latestRequest("activate")->omidManagerActivated(); }
void QBNOMIDJSInterface::omidManagerStartedSession(const std::string& adViewId) {
  latestRequest("startSession")->omidManagerStartedSession(adViewId);
}
void QBNOMIDJSInterface::omidManagerFailedToStartSessionWithReason(const std::string& reason,
                                                                   const std::string& adViewId) {
  latestRequest("startSession")->omidManagerFailedToStartSessionWithReason(reason, adViewId);
}
void QBNOMIDJSInterface::omidManagerImpressionOccurred(const std::string& adViewId) {
  latestRequest("impressionOccurred")->omidManagerImpressionOccurred(adViewId);
}
void QBNOMIDJSInterface::omidManagerFailedImpressionOccurredWithReason(const std::string& reason,
                                                                       const std::optional<std::string>& adViewId) {
  latestRequest("impressionOccurred")->omidManagerFailedImpressionOccurredWithReason(reason, adViewId);
}
void QBNOMIDJSInterface::omidManagerFinishedSession(const std::string& adViewId) {
  latestRequest("finishSession")->omidManagerFinishedSession(adViewId);
}
void QBNOMIDJSInterface::omidManagerFailedToFinishSessionWithReason(const std::string& reason,
                                                                    const std::optional<std::string>& adViewId) {
  latestRequest("finishSession")->omidManagerFailedToFinishSessionWithReason(reason, adViewId);
}
