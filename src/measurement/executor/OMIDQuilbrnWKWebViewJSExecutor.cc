#include "measurement/executor/OMIDQuilbrnWKWebViewJSExecutor.h"

#include "platform/web/web_view.h"

std::shared_ptr<OMIDQuilbrnWKWebViewJSExecutor> OMIDQuilbrnWKWebViewJSExecutor::initWithWebView(
    const std::shared_ptr<platform::WebView>& webView) {
  if (!webView) return nullptr;
  return std::shared_ptr<OMIDQuilbrnWKWebViewJSExecutor>(new OMIDQuilbrnWKWebViewJSExecutor(webView));
}

void OMIDQuilbrnWKWebViewJSExecutor::injectJavaScriptFromString(const std::string& script) {
  if (auto webView = webView_.lock()) webView->evaluateJavaScript(script, nullptr);
}
