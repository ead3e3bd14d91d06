#pragma once
// The own network's web view: a platform web view that is its own navigation,
// UI and script-message delegate and hands what matters to one
// PMWVWebViewDelegate. It runs the controller page (hidden) and the secondary
// web view of the presentation layer.
//
// Page-to-native messages: a string the page posts to the handler named by
// the connectivity configuration is read as a URL and offered to the
// delegate's load decision exactly like a navigation, with navigation type -1
// (the answer is not used); a body that is not a valid URL gives a request
// with an empty URL; a body that is not a string is dropped.
//
// Main queue only; the delegate is called there.
#include <memory>
#include <string>
#include <vector>

#include "ownnetwork/web/PMWVConfigurations.h"
#include "ownnetwork/web/PMWVWebViewP.h"
#include "platform/web/web_view.h"

class PMWVWKWebView : public platform::WebView,
                      public PMWVWebViewP,
                      public platform::NavigationDelegate,
                      public platform::UIDelegate {
 public:
  // Default configuration (media playback needs a user action, no inline
  // playback, file access from file URLs off).
  static std::shared_ptr<PMWVWKWebView> create(const platform::Rect& frame);
  // Null, after logging "browsingConfiguration is nil", without a browsing
  // configuration.
  static std::shared_ptr<PMWVWKWebView> create(const platform::Rect& frame,
                                               const std::shared_ptr<PMWVBrowsingConfiguration>& browsingConfiguration);
  // As above; also installs the connectivity configuration's message handler.
  static std::shared_ptr<PMWVWKWebView> create(
      const platform::Rect& frame, const std::shared_ptr<PMWVConnectivityConfiguration>& connectivityConfiguration,
      const std::shared_ptr<PMWVBrowsingConfiguration>& browsingConfiguration);

  // The script time limit and memory bound of the web views made from now on
  // (0: the platform's own). Main queue.
  static void setScriptLimitsForTesting(double timeLimitMs, size_t memoryLimitBytes);
  // The processor budget of the web views made from now on (burstMs < 0: the
  // platform's own). Main queue.
  static void setProcessorBudgetForTesting(double burstMs, double share);

  // Navigation types 0-4 as they are, any other value -1.
  static int convertNavigationType(int navigationType);

  const std::string& messageHandlerName() const { return messageHandlerName_; }
  // The message bridge; always empty in this library (no bridge class exists).
  std::shared_ptr<PMWVBridgeP> bridge() const { return bridge_; }

  // The script message handler's call (public so that any caller holding the
  // web view as its handler reaches it).
  void didReceiveScriptMessage(const platform::ScriptMessage& message);

  // PMWVWebViewP
  std::string webViewClass() const override;
  std::shared_ptr<platform::View> view() override;
  std::shared_ptr<platform::ScrollView> scrollView() const override { return platform::WebView::scrollView(); }
  using platform::WebView::evaluateJavaScript;
  void evaluateJavaScript(const std::string& script) override;
  void loadRequest(const platform::URLRequest& request) override { platform::WebView::loadRequest(request); }
  void loadFileRequest(const platform::URLRequest& request, const std::string& readAccessURL) override;
  void stopLoading() override { platform::WebView::stopLoading(); }
  void reload() override { platform::WebView::reload(); }
  void goBack() override { platform::WebView::goBack(); }
  void goForward() override { platform::WebView::goForward(); }
  void loadHTMLContentString(const std::string& html, const std::string& baseURL) override;
  void allowFileAccessFromFileURLs(bool allow) override;
  std::string description() const override;
  std::shared_ptr<PMWVWebViewDelegate> webViewDelegate() const override { return webViewDelegate_.lock(); }
  void setWebViewDelegate(std::weak_ptr<PMWVWebViewDelegate> delegate) override;
  bool isLoading() const override { return platform::WebView::isLoading(); }
  bool canGoBack() const override { return platform::WebView::canGoBack(); }
  bool canGoForward() const override { return platform::WebView::canGoForward(); }
  std::vector<platform::Rect> respondingFrames() const override { return respondingFrames_; }
  void setRespondingFrames(std::vector<platform::Rect> frames) override { respondingFrames_ = std::move(frames); }
  platform::Rect frameForCloseButton() const override { return frameForCloseButton_; }
  void setFrameForCloseButton(const platform::Rect& frame) override { frameForCloseButton_ = frame; }

  // Touches: inside the bounds while respondingFrames is empty, else only
  // inside one of its rectangles, so that the rest reaches the views behind.
  bool pointInside(platform::Point point) const override;

  // platform::NavigationDelegate / UIDelegate (the web view's own).
  void decidePolicyForNavigationAction(platform::WebView& webView, const platform::NavigationAction& action,
                                       platform::PolicyDecisionHandler decisionHandler) override;
  void didFinishNavigation(platform::WebView& webView) override;
  void didFailNavigation(platform::WebView& webView, const platform::Error& error) override;
  void webContentProcessDidTerminate(platform::WebView& webView) override;
  // A page that opens a new window loads its URL here; no new web view.
  std::shared_ptr<platform::WebView> createWebView(platform::WebView& webView,
                                                   const platform::WebViewConfiguration& configuration,
                                                   const platform::NavigationAction& action,
                                                   const platform::WindowFeatures& features) override;

 private:
  PMWVWKWebView(const platform::Rect& frame, platform::WebViewConfiguration configuration);
  static std::shared_ptr<PMWVWKWebView> make(const platform::Rect& frame, platform::WebViewConfiguration configuration);
  static platform::WebViewConfiguration configurationFrom(const PMWVBrowsingConfiguration& browsing);
  std::shared_ptr<PMWVWKWebView> self();

  std::vector<platform::Rect> respondingFrames_;
  std::weak_ptr<PMWVWebViewDelegate> webViewDelegate_;
  std::string messageHandlerName_;
  std::shared_ptr<PMWVBridgeP> bridge_;
  platform::Rect frameForCloseButton_;
};
