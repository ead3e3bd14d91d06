// A test program run under the test main by the check of its engine-object
// waits (tests/platform/engine_release_check_test.cc), which reads what
// GoogleTest says of it. Real mode: pages run on their content queues while
// the test's thread runs the main queue. The check runs it twice:
//  * EngineLeak.*: the second test leaves a web page and a script context
//    alive; the third makes and releases a page of its own while they live;
//    the last lets them go, and says how long after the third one's end it
//    began (a test held up by what another left would begin a wait's bound
//    later).
//  * the other suites, with QB_ENGINE_LEAK_OUTSIDE_TESTS=1 in the
//    environment: objects made outside any test. A script context made
//    before main and one made in a global test environment's tear-down; a
//    suite whose set-up (after another suite has run) makes one and whose
//    tear-down makes two more; and a suite whose set-up makes a web view
//    whose page its test makes, which goes with the suite's tear-down. What
//    outlives the checks goes as the program ends.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "platform/dispatch.h"
#include "platform/script/engine_objects.h"
#include "platform/script/script_context.h"
#include "platform/web/web_view.h"
#include "support/engine_release.h"

namespace {

using namespace platform;

// What the leaking test leaves alive.
std::shared_ptr<WebView> keptView;
std::shared_ptr<ScriptContext> keptContext;

// Has the page of `view` answer an evaluation: a blank page, made for it
// when there is none.
void makeAPageIn(WebView& view) {
  auto answered = std::make_shared<bool>(false);
  view.evaluateJavaScript("1 + 1", [answered](const ScriptEvaluation&) { *answered = true; });
  EXPECT_TRUE(runMainUntil([answered] { return *answered; }, 60'000));
}

std::shared_ptr<WebView> newWebView() {
  return std::make_shared<WebView>(Rect::make(0, 0, 320, 480), WebViewConfiguration{});
}

// A web view with a page in it.
std::shared_ptr<WebView> viewWithAPage() {
  auto view = newWebView();
  makeAPageIn(*view);
  return view;
}

// When the test before the last ended.
std::chrono::steady_clock::time_point previousTestEnded;

TEST(EngineLeak, MakesAndReleasesAPage) {
  auto view = viewWithAPage();
  auto context = ScriptContext::create();
  EXPECT_TRUE(context->evaluate("2 + 2").ok());
}

TEST(EngineLeak, LeavesAPageAndAScriptContextAlive) {
  keptView = viewWithAPage();
  keptContext = ScriptContext::create();
}

// Sees its own objects go before it ends, so that the check after it has
// nothing of its own to wait for.
TEST(EngineLeak, MakesAndReleasesAPageWhileTheLeakLives) {
  {
    auto view = viewWithAPage();
    auto context = ScriptContext::create();
    EXPECT_TRUE(context->evaluate("2 + 2").ok());
  }
  EXPECT_TRUE(qbtest::waitUntilEngineObjectsReleased(engineGenerationForTesting(), 60'000));
  previousTestEnded = std::chrono::steady_clock::now();
}

TEST(EngineLeak, LetsTheLeakGo) {
  const auto since = std::chrono::steady_clock::now() - previousTestEnded;
  RecordProperty("msSinceThePreviousTestEnded",
                 static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(since).count()));
  keptView.reset();
  keptContext.reset();
}

// Objects made outside any test, kept until the program ends.
std::vector<std::shared_ptr<ScriptContext>>& keptOutsideTests() {
  static std::vector<std::shared_ptr<ScriptContext>> kept;
  return kept;
}

bool leaksOutsideTests() {
  const char* value = std::getenv("QB_ENGINE_LEAK_OUTSIDE_TESTS");
  return value && std::strcmp(value, "1") == 0;
}

class LeakingEnvironment : public ::testing::Environment {
 public:
  void TearDown() override { keptOutsideTests().push_back(ScriptContext::create()); }
};

// Lets what was kept outside any test go once every check has run.
class ReleaseAtTheEnd : public ::testing::EmptyTestEventListener {
 public:
  void OnTestProgramEnd(const ::testing::UnitTest&) override { keptOutsideTests().clear(); }
};

[[maybe_unused]] const bool kLeakedBeforeMain = [] {
  if (!leaksOutsideTests()) return false;
  keptOutsideTests().push_back(ScriptContext::create());
  ::testing::AddGlobalTestEnvironment(new LeakingEnvironment);  // GoogleTest owns it
  ::testing::UnitTest::GetInstance()->listeners().Append(new ReleaseAtTheEnd);  // and this
  return true;
}();

class EngineSuitePage : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { view = newWebView(); }
  static void TearDownTestSuite() { view.reset(); }
  static std::shared_ptr<WebView> view;
};
std::shared_ptr<WebView> EngineSuitePage::view;

// The page counts in its web view's generation, the suite's: this test
// leaves nothing of its own, and the page goes with the suite.
TEST_F(EngineSuitePage, MakesAPageInItsSuitesWebView) { makeAPageIn(*view); }

class EngineSuiteLeak : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { keptOutsideTests().push_back(ScriptContext::create()); }
  static void TearDownTestSuite() {
    keptOutsideTests().push_back(ScriptContext::create());
    keptOutsideTests().push_back(ScriptContext::create());
  }
};

TEST_F(EngineSuiteLeak, RunsAfterAnotherSuite) {}

}  // namespace
