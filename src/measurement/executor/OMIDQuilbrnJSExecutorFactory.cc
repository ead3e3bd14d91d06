#include "measurement/executor/OMIDQuilbrnJSExecutorFactory.h"

#include "measurement/executor/OMIDQuilbrnWKWebViewJSExecutor.h"
#include "platform/web/url.h"

std::shared_ptr<OMIDQuilbrnJSExecutor> OMIDQuilbrnJSExecutorFactory::JSExecutorForContext(
    const OMIDQuilbrnAdSessionContext& context) {
  switch (context.type()) {
    case OMIDQuilbrnAdSessionTypeHtml:
    case OMIDQuilbrnAdSessionTypeJavaScript: return JSExecutorWithWebView(context.webView());
    case OMIDQuilbrnAdSessionTypeNative: return JSExecutorWithResources(context.injectedResources(), context.script());
    default: return nullptr;
  }
}

std::shared_ptr<OMIDQuilbrnJSExecutor> OMIDQuilbrnJSExecutorFactory::JSExecutorWithWebView(
    const std::shared_ptr<platform::WebView>& webView) {
  return OMIDQuilbrnWKWebViewJSExecutor::initWithWebView(webView);
}

std::shared_ptr<OMIDQuilbrnLightJSExecutor> OMIDQuilbrnJSExecutorFactory::JSExecutorWithResources(
    const OMIDQuilbrnInjectedResources& resources, const std::optional<std::string>& script) {
  auto executor = OMIDQuilbrnLightJSExecutor::lightJSExecutor();
  if (script) executor->injectJavaScriptFromString(*script);
  for (const auto& [injectionId, resource] : resources) {
    if (!resource || !platform::isValidURL(resource->URL())) continue;
    executor->networkBridge()->injectJavaScriptFromURL(resource->URL(), injectionId);
  }
  return executor;
}
