#pragma once
// The message logic of one ad-unit web view: what goes into the ad page
// (window.pma.onMessageReceived) and the named messages that go out to the ad
// view's delegate. Main queue only.
#include <memory>
#include <optional>
#include <string>

#include "platform/json.h"
#include "presentation/QBNAdViewDelegate.h"

namespace platform {
class WebView;
}

class QBNAdViewLogic {
 public:
  std::shared_ptr<platform::WebView> webView() const { return webView_; }
  void setWebView(std::shared_ptr<platform::WebView> webView) { webView_ = std::move(webView); }
  const std::optional<std::string>& urlForWebView() const { return urlForWebView_; }
  // Nothing fills it: an empty object wherever it is read.
  const platform::Json& configs() const { return configs_; }

  // Evaluates "window.pma.onMessageReceived(<message>)" in the ad page, later
  // on the main queue: a JSON text as the literal of its value (an object
  // literal for an object), any other text as a string literal, so the text
  // never runs as script; the result and any script error are ignored.
  // Nothing for no message.
  void sendMessageToAdunit(const std::optional<std::string>& message);

  // An ad page's message that the container does not answer itself:
  // "containerSendMessage" with the message as it came.
  void messageHandlerFromAdContainer(const std::string& method, const platform::Json& params,
                                     const std::shared_ptr<QBNAdViewDelegate>& delegate);
  // A message from the controller: "loadWithUrl" loads
  // params["params"]["urlForWebView"], "isExternalAdViewInitiated" answers
  // "containerAdViewStatus", anything else goes to the page as
  // params["params"]["params"].
  void messageHandlerFromController(const std::string& method, const platform::Json& params,
                                    const std::shared_ptr<QBNAdViewDelegate>& delegate);
  // An http(s) URL (a text containing "http" that names one) loads on the
  // main queue; otherwise the delegate hears params["fail"] with the configs
  // and "errMsg" "brokenUrl".
  void loadUrlIntoWebView(const platform::Json& params, const std::shared_ptr<QBNAdViewDelegate>& delegate);
  // "containerAdViewStatus" with {"isExternalAdViewInitiated": the web view
  // has a URL}.
  void checkStatusOfWebView(const std::shared_ptr<QBNAdViewDelegate>& delegate);

  // The configs plus "visibilityParams".
  platform::Json extendConfigurationWithVisibilityParams(const platform::Json& visibilityParams) const;

  void reportAdContainerIsVisible(const platform::Json& visibilityParams,
                                  const std::shared_ptr<QBNAdViewDelegate>& delegate, const std::string& adViewId);
  // Then perfromCleanup.
  void reportAdContainerWasRemovedWithDelegate(const std::shared_ptr<QBNAdViewDelegate>& delegate,
                                               const std::string& adViewId);
  void reportAdContainerLinkActivation(const platform::Json& params, const std::shared_ptr<QBNAdViewDelegate>& delegate);
  void reportHandleGetViewVisibilityWithParam(const platform::Json& params,
                                              const std::shared_ptr<QBNAdViewDelegate>& delegate);
  void reportDestroyWithParam(const platform::Json& params, const std::shared_ptr<QBNAdViewDelegate>& delegate);
  // "adViewFailed" with {"adViewId", "errCode", "errMsg"}: the ad page failed.
  void reportAdViewFailed(const platform::Json& params, const std::shared_ptr<QBNAdViewDelegate>& delegate);

  // Whether the container answers a page message itself: only
  // "handleGetViewVisibility".
  static bool shouldHandeleMessageInContainer(const std::optional<std::string>& method);

  // Removes the "containerMsgHandler" script message handler from the web
  // view and lets go of the web view, the configs and the URL.
  void perfromCleanup();

 private:
  std::shared_ptr<platform::WebView> webView_;
  std::optional<std::string> urlForWebView_;
  platform::Json configs_ = platform::Json::object();
};

// The name of the ad pages' script message handler.
inline constexpr char kQBNContainerMessageHandlerName[] = "containerMsgHandler";
