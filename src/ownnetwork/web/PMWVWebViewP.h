#pragma once
// The protocol through which the own network uses its web views, and the
// delegate that hears from them. Main queue only, like the web views.
#include <memory>
#include <string>
#include <vector>

#include "platform/json.h"
#include "platform/net.h"
#include "platform/result.h"
#include "platform/ui/view.h"

class PMWVWebViewP;

class PMWVWebViewDelegate {
 public:
  virtual ~PMWVWebViewDelegate() = default;
  // The page finished loading.
  virtual void loadSuccessfully(const std::shared_ptr<PMWVWebViewP>& webView) = 0;
  virtual void failedToLoadWithError(const platform::Error& error, const std::shared_ptr<PMWVWebViewP>& webView) = 0;
  virtual void webViewWebContentProcessDidTerminate(const std::shared_ptr<PMWVWebViewP>& webView) = 0;
};

// The delegate's optional load decision: a delegate that also derives from
// this answers whether a request may load (navigation types 0 link activated,
// 1 form submitted, 2 back or forward, 3 reload, 4 form resubmitted, -1 other
// and script messages). A delegate without it lets every navigation load.
class PMWVWebViewLoadDecision {
 public:
  virtual ~PMWVWebViewLoadDecision() = default;
  virtual bool shouldLoadRequestForWebview(const std::shared_ptr<PMWVWebViewP>& webView,
                                           const platform::URLRequest& request, int navigationType) = 0;
};

// A message bridge: takes script message bodies in place of the delegate.
class PMWVBridgeP {
 public:
  virtual ~PMWVBridgeP() = default;
  virtual void postMessage(const platform::Json& body) = 0;
};

class PMWVWebViewP {
 public:
  virtual ~PMWVWebViewP() = default;
  // Name of the class of web view behind the protocol ("WKWebView").
  virtual std::string webViewClass() const = 0;
  virtual std::shared_ptr<platform::View> view() = 0;
  virtual std::shared_ptr<platform::ScrollView> scrollView() const = 0;
  // Evaluates without a result handler.
  virtual void evaluateJavaScript(const std::string& script) = 0;
  virtual void loadRequest(const platform::URLRequest& request) = 0;
  // Loads the request's file URL with read access to readAccessURL.
  virtual void loadFileRequest(const platform::URLRequest& request, const std::string& readAccessURL) = 0;
  virtual void stopLoading() = 0;
  virtual void reload() = 0;
  virtual void goBack() = 0;
  virtual void goForward() = 0;
  virtual void loadHTMLContentString(const std::string& html, const std::string& baseURL) = 0;
  // Writes the preferences value "allowFileAccessFromFileURLs".
  virtual void allowFileAccessFromFileURLs(bool allow) = 0;
  virtual std::string description() const = 0;
  virtual std::shared_ptr<PMWVWebViewDelegate> webViewDelegate() const = 0;
  virtual void setWebViewDelegate(std::weak_ptr<PMWVWebViewDelegate> delegate) = 0;
  virtual bool isLoading() const = 0;
  virtual bool canGoBack() const = 0;
  virtual bool canGoForward() const = 0;
  // When not empty, the web view takes touches only inside these rectangles
  // (its own coordinates).
  virtual std::vector<platform::Rect> respondingFrames() const = 0;
  virtual void setRespondingFrames(std::vector<platform::Rect> frames) = 0;
  virtual platform::Rect frameForCloseButton() const = 0;
  virtual void setFrameForCloseButton(const platform::Rect& frame) = 0;
};
