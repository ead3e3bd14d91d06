#include "ownnetwork/web/PMWVWKWebView.h"

#include <cstdio>

#include "ownnetwork/services/PlovermarkLogManager.h"
#include "platform/web/url.h"

namespace {

constexpr double kCloseButtonSide = 50;
constexpr const char* kWebViewClassName = "WKWebView";

// The handler the user-content controller holds: it reaches the web view
// weakly, so that the view and its configuration do not keep each other alive.
class MessageForwarder : public platform::ScriptMessageHandler {
 public:
  explicit MessageForwarder(std::weak_ptr<PMWVWKWebView> view) : view_(std::move(view)) {}
  void didReceiveScriptMessage(platform::UserContentController&, const platform::ScriptMessage& message) override {
    if (auto view = view_.lock()) view->didReceiveScriptMessage(message);
  }

 private:
  std::weak_ptr<PMWVWKWebView> view_;
};

struct ScriptLimits {
  double timeLimitMs = 0;
  size_t memoryLimitBytes = 0;
  double budgetMs = -1;
  double budgetShare = 0;
};

ScriptLimits& scriptLimits() {
  static ScriptLimits limits;  // main queue only
  return limits;
}

}  // namespace

void PMWVWKWebView::setScriptLimitsForTesting(double timeLimitMs, size_t memoryLimitBytes) {
  scriptLimits().timeLimitMs = timeLimitMs;
  scriptLimits().memoryLimitBytes = memoryLimitBytes;
}

void PMWVWKWebView::setProcessorBudgetForTesting(double burstMs, double share) {
  scriptLimits().budgetMs = burstMs;
  scriptLimits().budgetShare = share;
}

PMWVWKWebView::PMWVWKWebView(const platform::Rect& frame, platform::WebViewConfiguration configuration)
    : platform::WebView(frame, std::move(configuration)),
      frameForCloseButton_(platform::Rect::make(bounds().width() - kCloseButtonSide, 0, kCloseButtonSide,
                                                kCloseButtonSide)) {}

std::shared_ptr<PMWVWKWebView> PMWVWKWebView::make(const platform::Rect& frame,
                                                   platform::WebViewConfiguration configuration) {
  if (scriptLimits().timeLimitMs > 0) configuration.scriptTimeLimitMs = scriptLimits().timeLimitMs;
  if (scriptLimits().memoryLimitBytes > 0) configuration.memoryLimitBytes = scriptLimits().memoryLimitBytes;
  if (scriptLimits().budgetMs >= 0) {
    configuration.processorBudgetMs = scriptLimits().budgetMs;
    configuration.processorBudgetShare = scriptLimits().budgetShare;
  }
  std::shared_ptr<PMWVWKWebView> view(new PMWVWKWebView(frame, std::move(configuration)));
  view->setNavigationDelegate(view);
  view->setUIDelegate(view);
  return view;
}

platform::WebViewConfiguration PMWVWKWebView::configurationFrom(const PMWVBrowsingConfiguration& browsing) {
  platform::WebViewConfiguration configuration;
  configuration.allowsInlineMediaPlayback = browsing.mediaPlaybackAllowsInLine();
  configuration.mediaTypesRequiringUserActionForPlayback =
      browsing.mediaPlaybackRequiresUserAction() ? platform::MediaTypes::All : platform::MediaTypes::None;
  if (auto allow = browsing.allowFileAccessFromFileURLs()) {
    configuration.preferences->setValue(platform::Preferences::kAllowFileAccessFromFileURLs, *allow);
  }
  return configuration;
}

std::shared_ptr<PMWVWKWebView> PMWVWKWebView::create(const platform::Rect& frame) {
  return make(frame, platform::WebViewConfiguration{});
}

std::shared_ptr<PMWVWKWebView> PMWVWKWebView::create(
    const platform::Rect& frame, const std::shared_ptr<PMWVBrowsingConfiguration>& browsingConfiguration) {
  return create(frame, nullptr, browsingConfiguration);
}

std::shared_ptr<PMWVWKWebView> PMWVWKWebView::create(
    const platform::Rect& frame, const std::shared_ptr<PMWVConnectivityConfiguration>& connectivityConfiguration,
    const std::shared_ptr<PMWVBrowsingConfiguration>& browsingConfiguration) {
  if (!browsingConfiguration) {
    PlovermarkLogManager::sharedManager().log("browsingConfiguration is nil", 3, 6);
    return nullptr;
  }
  auto configuration = configurationFrom(*browsingConfiguration);
  const std::string name = connectivityConfiguration ? connectivityConfiguration->messageHandlerName() : "";
  if (!name.empty()) configuration.userContentController = std::make_shared<platform::UserContentController>();
  auto view = make(frame, configuration);
  if (!name.empty()) {
    configuration.userContentController->addScriptMessageHandler(std::make_shared<MessageForwarder>(view), name);
    view->messageHandlerName_ = name;
  }
  // A bridge would be made from the connectivity configuration's parser and
  // interface; no bridge class exists, so messages always take the delegate's
  // path.
  return view;
}

int PMWVWKWebView::convertNavigationType(int navigationType) {
  return navigationType >= 0 && navigationType <= 4 ? navigationType : -1;
}

std::shared_ptr<PMWVWKWebView> PMWVWKWebView::self() {
  return std::static_pointer_cast<PMWVWKWebView>(shared_from_this());
}

void PMWVWKWebView::didReceiveScriptMessage(const platform::ScriptMessage& message) {
  if (message.name != messageHandlerName_) return;
  if (bridge_) {
    bridge_->postMessage(message.body);
    return;
  }
  // A URL is made from a string only; any other body is dropped.
  if (!message.body.is_string()) return;
  const auto& text = message.body.get_ref<const std::string&>();
  platform::URLRequest request;
  if (platform::isValidURL(text)) request.url = text;
  auto decision = std::dynamic_pointer_cast<PMWVWebViewLoadDecision>(webViewDelegate_.lock());
  if (decision) decision->shouldLoadRequestForWebview(self(), request, -1);
}

std::string PMWVWKWebView::webViewClass() const { return kWebViewClassName; }

std::shared_ptr<platform::View> PMWVWKWebView::view() { return self(); }

void PMWVWKWebView::evaluateJavaScript(const std::string& script) {
  platform::WebView::evaluateJavaScript(script, nullptr);
}

void PMWVWKWebView::loadFileRequest(const platform::URLRequest& request, const std::string& readAccessURL) {
  platform::WebView::loadFileURL(request.url, readAccessURL);
}

void PMWVWKWebView::loadHTMLContentString(const std::string& html, const std::string& baseURL) {
  platform::WebView::loadHTMLString(html, baseURL);
}

void PMWVWKWebView::allowFileAccessFromFileURLs(bool allow) {
  configuration().preferences->setValue(platform::Preferences::kAllowFileAccessFromFileURLs, allow);
}

std::string PMWVWKWebView::description() const {
  const auto& f = frame();
  char geometry[128];
  std::snprintf(geometry, sizeof geometry, "(%g %g; %g %g)", f.origin.x, f.origin.y, f.size.width, f.size.height);
  return std::string("<PMWVWKWebView: frame = ") + geometry + "; url = " + url() + ">";
}

void PMWVWKWebView::setWebViewDelegate(std::weak_ptr<PMWVWebViewDelegate> delegate) {
  webViewDelegate_ = std::move(delegate);
}

bool PMWVWKWebView::pointInside(platform::Point point) const {
  if (respondingFrames_.empty()) return platform::WebView::pointInside(point);
  for (const auto& rect : respondingFrames_) {
    if (rect.contains(point)) return true;
  }
  return false;
}

void PMWVWKWebView::decidePolicyForNavigationAction(platform::WebView&, const platform::NavigationAction& action,
                                                    platform::PolicyDecisionHandler decisionHandler) {
  auto decision = std::dynamic_pointer_cast<PMWVWebViewLoadDecision>(webViewDelegate_.lock());
  if (!decision) {
    decisionHandler(platform::NavigationActionPolicy::Allow);
    return;
  }
  const bool allow = decision->shouldLoadRequestForWebview(
      self(), action.request, convertNavigationType(static_cast<int>(action.navigationType)));
  decisionHandler(allow ? platform::NavigationActionPolicy::Allow : platform::NavigationActionPolicy::Cancel);
}

void PMWVWKWebView::didFinishNavigation(platform::WebView&) {
  if (auto delegate = webViewDelegate_.lock()) delegate->loadSuccessfully(self());
}

void PMWVWKWebView::didFailNavigation(platform::WebView&, const platform::Error& error) {
  if (auto delegate = webViewDelegate_.lock()) delegate->failedToLoadWithError(error, self());
}

void PMWVWKWebView::webContentProcessDidTerminate(platform::WebView&) {
  if (auto delegate = webViewDelegate_.lock()) delegate->webViewWebContentProcessDidTerminate(self());
}

std::shared_ptr<platform::WebView> PMWVWKWebView::createWebView(platform::WebView&,
                                                                const platform::WebViewConfiguration&,
                                                                const platform::NavigationAction& action,
                                                                const platform::WindowFeatures&) {
  if (!action.request.url.empty() && (!action.targetFrame || !action.targetFrame->isMainFrame)) {
    loadRequest(action.request);
  }
  return nullptr;
}
