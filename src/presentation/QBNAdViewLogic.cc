#include "presentation/QBNAdViewLogic.h"

#include "ownnetwork/services/PlovermarkLogManager.h"
#include "platform/dispatch.h"
#include "platform/script/script_literal.h"
#include "platform/web/url.h"
#include "platform/web/web_view.h"

namespace {

void log(const std::string& line) { PlovermarkLogManager::sharedManager().log(line, 1, 5); }

void send(const std::shared_ptr<QBNAdViewDelegate>& delegate, const std::string& message, const platform::Json& params) {
  if (delegate) delegate->didReceiveMessageFromAdView(message, params);
}

// params[outer][inner] when both levels are objects.
std::optional<platform::Json> nested(const platform::Json& params, const char* outer, const char* inner) {
  if (!params.is_object()) return std::nullopt;
  const auto a = params.find(outer);
  if (a == params.end() || !a->is_object()) return std::nullopt;
  const auto b = a->find(inner);
  if (b == a->end()) return std::nullopt;
  return *b;
}

std::optional<std::string> nestedText(const platform::Json& params, const char* outer, const char* inner) {
  auto value = nested(params, outer, inner);
  if (!value || !value->is_string()) return std::nullopt;
  return value->get<std::string>();
}

platform::Json callbacks(const std::string& name, const std::string& adViewId) {
  return platform::Json{{"successMethodName", name + "Success"}, {"failMethodName", name + "Fail"}, {"adViewId", adViewId}};
}

}  // namespace

void QBNAdViewLogic::sendMessageToAdunit(const std::optional<std::string>& message) {
  if (!message) return;
  // A JSON text goes as the literal of its value (an object literal for an
  // object); any other text as a string literal: never as code.
  const auto parsed = platform::parseJson(*message);
  const std::string script = "window.pma.onMessageReceived(" +
                             (parsed ? platform::scriptLiteral(parsed.value()) : platform::scriptStringLiteral(*message)) +
                             ")";
  log("QBNAdViewLogic | sending message to adunit | description: " + script);
  // The controller page's message to the ad page: it answers a page, so the
  // ad page's work in it is charged to its web view's budget.
  std::weak_ptr<platform::WebView> weakView = webView_;
  platform::mainQueue()->async([weakView, script] {
    if (auto view = weakView.lock()) view->evaluateJavaScript(script, nullptr, platform::EvaluationCause::AnswersPage);
  });
}

void QBNAdViewLogic::messageHandlerFromAdContainer(const std::string&, const platform::Json& params,
                                                   const std::shared_ptr<QBNAdViewDelegate>& delegate) {
  send(delegate, "containerSendMessage", params);
}

void QBNAdViewLogic::messageHandlerFromController(const std::string& method, const platform::Json& params,
                                                  const std::shared_ptr<QBNAdViewDelegate>& delegate) {
  if (method == "loadWithUrl") {
    loadUrlIntoWebView(params, delegate);
  } else if (method == "isExternalAdViewInitiated") {
    checkStatusOfWebView(delegate);
  } else {
    sendMessageToAdunit(nestedText(params, "params", "params"));
  }
}

void QBNAdViewLogic::loadUrlIntoWebView(const platform::Json& params,
                                        const std::shared_ptr<QBNAdViewDelegate>& delegate) {
  const auto url = nestedText(params, "params", "urlForWebView");
  const std::string scheme = url ? platform::urlScheme(*url) : "";
  if (url && url->find("http") != std::string::npos && platform::isValidURL(*url) &&
      (scheme == "http" || scheme == "https")) {
    std::weak_ptr<platform::WebView> weakView = webView_;
    platform::mainQueue()->async([weakView, request = platform::URLRequest{.url = *url}] {
      if (auto view = weakView.lock()) view->loadRequest(request);
    });
    return;
  }
  const auto fail = params.is_object() && params.contains("fail") && params["fail"].is_string()
                        ? std::optional<std::string>(params["fail"].get<std::string>())
                        : std::nullopt;
  if (!fail) return;
  auto answer = configs_;
  answer["errMsg"] = "brokenUrl";
  send(delegate, *fail, answer);
}

void QBNAdViewLogic::checkStatusOfWebView(const std::shared_ptr<QBNAdViewDelegate>& delegate) {
  send(delegate, "containerAdViewStatus",
       platform::Json{{"isExternalAdViewInitiated", webView_ && !webView_->url().empty()}});
}

platform::Json QBNAdViewLogic::extendConfigurationWithVisibilityParams(const platform::Json& visibilityParams) const {
  auto extended = configs_;
  extended["visibilityParams"] = visibilityParams;
  return extended;
}

void QBNAdViewLogic::reportAdContainerIsVisible(const platform::Json& visibilityParams,
                                                const std::shared_ptr<QBNAdViewDelegate>& delegate,
                                                const std::string& adViewId) {
  auto params = callbacks("containerIsVisible", adViewId);
  params["configs"] = extendConfigurationWithVisibilityParams(visibilityParams);
  send(delegate, "containerIsVisible", params);
}

void QBNAdViewLogic::reportAdContainerWasRemovedWithDelegate(const std::shared_ptr<QBNAdViewDelegate>& delegate,
                                                             const std::string& adViewId) {
  send(delegate, "containerWasRemoved", callbacks("containerWasRemoved", adViewId));
  perfromCleanup();
}

void QBNAdViewLogic::reportAdContainerLinkActivation(const platform::Json& params,
                                                     const std::shared_ptr<QBNAdViewDelegate>& delegate) {
  send(delegate, "linkActivation", params);
}

void QBNAdViewLogic::reportHandleGetViewVisibilityWithParam(const platform::Json& params,
                                                            const std::shared_ptr<QBNAdViewDelegate>& delegate) {
  send(delegate, "handleGetViewVisibility", params);
}

void QBNAdViewLogic::reportAdViewFailed(const platform::Json& params,
                                        const std::shared_ptr<QBNAdViewDelegate>& delegate) {
  send(delegate, "adViewFailed", params);
}

void QBNAdViewLogic::reportDestroyWithParam(const platform::Json& params,
                                            const std::shared_ptr<QBNAdViewDelegate>& delegate) {
  send(delegate, "destroyBanner", params);
}

bool QBNAdViewLogic::shouldHandeleMessageInContainer(const std::optional<std::string>& method) {
  return method && *method == "handleGetViewVisibility";
}

void QBNAdViewLogic::perfromCleanup() {
  if (webView_) webView_->configuration().userContentController->removeScriptMessageHandler(kQBNContainerMessageHandlerName);
  webView_.reset();
  configs_ = platform::Json::object();
  urlForWebView_.reset();
}
