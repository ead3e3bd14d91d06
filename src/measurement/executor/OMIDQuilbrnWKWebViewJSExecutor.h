#pragma once
// The script environment of an HTML or JavaScript session: the ad's own web
// view, held weakly. Main thread only (the bridge sees to it).
#include <memory>

#include "measurement/executor/OMIDQuilbrnJSExecutor.h"

class OMIDQuilbrnWKWebViewJSExecutor : public OMIDQuilbrnJSExecutor {
 public:
  // Null when there is no web view.
  static std::shared_ptr<OMIDQuilbrnWKWebViewJSExecutor> initWithWebView(
      const std::shared_ptr<platform::WebView>& webView);

  // Evaluates the script in the web view's page, with no completion; nothing
  // happens once the web view is gone.
  void injectJavaScriptFromString(const std::string& script) override;
  bool supportBackgroundThread() const override { return false; }
  OMIDQuilbrnJSEnvironment jsEnvironment() const override { return {webView_.lock(), nullptr}; }

 private:
  explicit OMIDQuilbrnWKWebViewJSExecutor(std::weak_ptr<platform::WebView> webView) : webView_(std::move(webView)) {}
  std::weak_ptr<platform::WebView> webView_;
};
