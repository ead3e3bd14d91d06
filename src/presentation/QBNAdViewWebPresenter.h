#pragma once
// The owner of one ad-unit web view: it makes the web view, loads the ad page
// into it, answers the page's visibility requests itself, passes the page's
// other messages and its link taps to the delegate, and lets everything go at
// clean-up. The ad page posts JSON texts to the "containerMsgHandler" script
// message handler and receives messages through window.pma.onMessageReceived.
//
// Web views that must live in a window without showing share one off-screen
// container (a zero-size view on the key window), made when first needed and
// removed when a clean-up finds it empty.
//
// Main queue only.
#include <memory>
#include <optional>
#include <string>

#include "ownnetwork/services/QBNAdSize.h"
#include "platform/web/web_view.h"
#include "presentation/QBNAdViewDelegate.h"
#include "presentation/QBNAdViewLogic.h"

class QBNAdViewWebPresenter : public QBNPresentableAdView,
                              public platform::NavigationDelegate,
                              public platform::UIDelegate,
                              public std::enable_shared_from_this<QBNAdViewWebPresenter> {
 public:
  // The web view gets the ad size as its frame (zero without one), clear and
  // not opaque, without bounce, inline media playback, no user action needed
  // for media, file access from file URLs, and the presenter as its
  // "containerMsgHandler" handler and navigation delegate. With
  // `shouldUseOffScreenView` it goes into the off-screen container.
  static std::shared_ptr<QBNAdViewWebPresenter> create(std::string identifier, std::shared_ptr<QBNAdSize> adSize,
                                                      bool shouldUseOffScreenView);
  ~QBNAdViewWebPresenter() override;

  const std::string& identifier() const { return identifier_; }
  const std::shared_ptr<QBNAdSize>& adSize() const { return adSize_; }
  // Null after clean-up.
  std::shared_ptr<QBNAdViewLogic> adViewLogic() const { return adViewLogic_; }
  std::shared_ptr<platform::WebView> presentationWebView() const { return webView_; }
  std::shared_ptr<QBNAdViewDelegate> communicatorDelegate() const { return communicatorDelegate_.lock(); }
  void setCommunicatorDelegate(std::weak_ptr<QBNAdViewDelegate> delegate) { communicatorDelegate_ = std::move(delegate); }

  // ---- QBNPresentableAdView.
  // A text starting with "." is a path in the cache root: the root's file URL
  // followed by the text after its first "/". http(s) URLs load as requests;
  // file URLs (and cache-root paths) load with read access to the whole cache
  // root. Anything else, a "." path without "/", a file outside the cache root
  // or a web view already cleaned up fails with "... | loadFileURL return
  // null"; no cache root fails with "... | fileSystemLocation is nil".
  void loadAdWithURL(const std::optional<std::string>& url, QBNAdViewCompletion completion) override;
  void sendMessage(const std::optional<std::string>& message) override;
  void sendHandleGetViewVisibility() override;
  void performCleanup() override;
  void performWebViewActionWithActionName(const std::optional<std::string>& actionName,
                                          QBNAdViewCompletion completion) override;
  std::shared_ptr<platform::View> getViewToPresent() override { return webView_; }
  bool hasPageFailed() const override { return pageFailed_; }

  // ---- The ad page's messages. Only a string that parses to a JSON object is
  // a message; anything else is logged and dropped, and an empty object is
  // dropped silently. "handleGetViewVisibility" is answered in the page with
  // {"id": the message's "id" (null without one), "data": the visibility};
  // every other message goes to the delegate as "containerSendMessage".
  void didReceiveScriptMessage(const platform::ScriptMessage& message);

  // ---- Navigation: link taps and form submissions are cancelled and go to
  // link handling; new-window requests for another frame (or none) too.
  void decidePolicyForNavigationAction(platform::WebView& webView, const platform::NavigationAction& action,
                                       platform::PolicyDecisionHandler decisionHandler) override;
  void didFinishNavigation(platform::WebView& webView) override;
  // The ad page failed (adPageFailed).
  void didFailNavigation(platform::WebView& webView, const platform::Error& error) override;
  // Logs event 2028; when the features switch asks for it, the publisher
  // closes every ad and the page hears "webViewTerminated" {"class":
  // "webPresenter"}. Then the ad page failed (adPageFailed).
  void webContentProcessDidTerminate(platform::WebView& webView) override;
  // Once per load: the delegate hears "adViewFailed" {"adViewId", "errCode",
  // "errMsg"}, and kQBNAdViewPageFailedNotification takes the ad view off
  // screen wherever it is shown.
  void adPageFailed(const platform::Error& error);
  std::shared_ptr<platform::WebView> createWebView(platform::WebView& webView,
                                                   const platform::WebViewConfiguration& configuration,
                                                   const platform::NavigationAction& action,
                                                   const platform::WindowFeatures& features) override;
  // While links are allowed (QBNFeaturesManager): "linkActivation" {"adViewId",
  // "url"} to the delegate, then the URL is opened outside the application.
  void handleLinkActivationOnWebviewWithUrl(const std::string& url);

  // ---- The shared off-screen container.
  static void retainViewOffscreen(const std::shared_ptr<platform::View>& view);
  static std::shared_ptr<platform::View> getOffScreenView();
  // Removes the container once nothing is left in it.
  static void cleanUpOffscreenView();
  static void resetOffscreenViewForTesting();
  // The script time limit of the web views made from now on (0: the web
  // view's default).
  static void setScriptTimeLimitMsForTesting(double milliseconds);

  // ---- URL tests.
  static bool isAbsoluteUrl(const std::string& url);     // it has a scheme
  static bool isValidUrlScheme(const std::string& url);  // "http", "https" or "file"
  static bool isRelativeUrl(const std::string& url);     // starts with "../" or "./"

 private:
  QBNAdViewWebPresenter(std::string identifier, std::shared_ptr<QBNAdSize> adSize);
  void createWebViewObjectWithSize(bool shouldUseOffScreenView);
  void fail(const QBNAdViewCompletion& completion, const std::string& reason) const;
  // The features switch "handleWebViewTerminated": every ad closes.
  void handleTerminationSwitch();

  std::string identifier_;
  std::shared_ptr<QBNAdSize> adSize_;
  std::shared_ptr<QBNAdViewLogic> adViewLogic_;
  std::shared_ptr<platform::WebView> webView_;
  std::weak_ptr<QBNAdViewDelegate> communicatorDelegate_;
  bool pageFailed_ = false;
};
