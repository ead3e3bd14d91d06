// A test program run under the test main by the check of its engine-object
// wait (tests/platform/engine_release_check_test.cc), which reads what
// GoogleTest says of it. Its second test leaves a web page and a script
// context alive; the third makes and releases a page of its own while they
// live; the last lets them go. Real mode: pages run on their content queues
// while the test's thread runs the main queue.
#include <gtest/gtest.h>

#include <memory>

#include "platform/dispatch.h"
#include "platform/script/script_context.h"
#include "platform/web/web_view.h"

namespace {

using namespace platform;

// What the leaking test leaves alive.
std::shared_ptr<WebView> keptView;
std::shared_ptr<ScriptContext> keptContext;

// A web view with a page in it: a blank page, made for an evaluation.
std::shared_ptr<WebView> viewWithAPage() {
  auto view = std::make_shared<WebView>(Rect::make(0, 0, 320, 480), WebViewConfiguration{});
  auto answered = std::make_shared<bool>(false);
  view->evaluateJavaScript("1 + 1", [answered](const ScriptEvaluation&) { *answered = true; });
  EXPECT_TRUE(runMainUntil([answered] { return *answered; }, 60'000));
  return view;
}

TEST(EngineLeak, MakesAndReleasesAPage) {
  auto view = viewWithAPage();
  auto context = ScriptContext::create();
  EXPECT_TRUE(context->evaluate("2 + 2").ok());
}

TEST(EngineLeak, LeavesAPageAndAScriptContextAlive) {
  keptView = viewWithAPage();
  keptContext = ScriptContext::create();
}

TEST(EngineLeak, MakesAndReleasesAPageWhileTheLeakLives) {
  auto view = viewWithAPage();
  auto context = ScriptContext::create();
  EXPECT_TRUE(context->evaluate("2 + 2").ok());
}

TEST(EngineLeak, LetsTheLeakGo) {
  keptView.reset();
  keptContext.reset();
}

}  // namespace
