#pragma once
// Helpers of the SDK tests in which the own network fills: its process-wide
// objects put back, and the web view an ad runs in.
#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>

#include "ownnetwork/adapters/QBQuillborneAdapter.h"
#include "ownnetwork/api/QuillborneNetwork.h"
#include "ownnetwork/publisher/PlovermarkAdsPublisher.h"
#include "ownnetwork/services/QBNEventsTracker.h"
#include "ownnetwork/web/PMWVWKWebView.h"
#include "platform/test_environment.h"
#include "platform/ui.h"
#include "platform/web/web_view.h"
#include "presentation/QBNAdViewsManager.h"
#include "support/lines.h"

namespace qbtest {

inline void resetOwnNetwork() {
  QuillborneNetwork::resetForTesting();
  PlovermarkAdsPublisher::resetForTesting();
  QBQuillborneAdapter::resetForTesting();
  QBNEventsTracker::sharedTracker().resetForTesting();
  QBNAdViewsManager::sharedManager().resetForTesting();
}

// The first web view in `view`'s tree, `view` included.
inline std::shared_ptr<platform::WebView> webViewIn(const std::shared_ptr<platform::View>& view) {
  if (!view) return nullptr;
  if (auto web = std::dynamic_pointer_cast<platform::WebView>(view)) return web;
  for (const auto& sub : view->subviews()) {
    if (auto web = webViewIn(sub)) return web;
  }
  return nullptr;
}

// The value of `expression` in the controller page (null when it fails).
inline platform::Json controllerPageValue(platform::TestEnvironment& env, const std::string& expression) {
  std::optional<platform::ScriptEvaluation> result;
  PlovermarkAdsPublisher::sharedInstance()->webViewController()->evaluateJavaScript(
      expression, [&result](const platform::ScriptEvaluation& r) { result = r; });
  EXPECT_TRUE(env.runUntil([&] { return result.has_value(); }));
  return result && result->ok() ? result->value : platform::Json();
}

// What a listener heard, for a failure's message.
inline std::string heardLines(const Lines& heard) {
  std::string out;
  for (const auto& line : heard.lines()) out += line + "; ";
  return out;
}

}  // namespace qbtest
