#pragma once
// Chooses a session's script environment from its context.
#include <memory>
#include <optional>
#include <string>

#include "measurement/executor/OMIDQuilbrnJSExecutor.h"
#include "measurement/executor/OMIDQuilbrnLightJSExecutor.h"
#include "measurement/session/OMIDQuilbrnAdSessionContext.h"

class OMIDQuilbrnJSExecutorFactory {
 public:
  // HTML and JavaScript sessions: the web view's executor; native sessions:
  // a light executor with the context's script and verification scripts;
  // null for any other type.
  static std::shared_ptr<OMIDQuilbrnJSExecutor> JSExecutorForContext(const OMIDQuilbrnAdSessionContext& context);
  // Null when there is no web view.
  static std::shared_ptr<OMIDQuilbrnJSExecutor> JSExecutorWithWebView(const std::shared_ptr<platform::WebView>& webView);
  // A new light executor: the script runs first (a missing one never), then
  // each verification script is downloaded and run with its injection
  // identifier as it arrives.
  static std::shared_ptr<OMIDQuilbrnLightJSExecutor> JSExecutorWithResources(
      const OMIDQuilbrnInjectedResources& resources, const std::optional<std::string>& script);
};
