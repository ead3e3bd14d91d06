// The headless web view in real mode (no TestEnvironment): pages run on the
// web-content queue's worker thread while this thread runs the main queue, so
// a page that never returns cannot hold the main queue, and the bounds of what
// a page makes the host hold are met for real. Orderings, never timings; the
// waits are bounded real time.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/dispatch.h"
#include "platform/web/web_view.h"
#include "platform_support.h"

using namespace platform;

namespace {

constexpr int64_t kWaitMs = 20'000;

// Hears every delegate call and message on the main queue, as lines.
struct MainRecorder : NavigationDelegate, ScriptMessageHandler {
  std::vector<std::string> events;
  size_t messages = 0;
  std::function<void(const ScriptMessage&)> onMessage;

  void didFinishNavigation(WebView&) override { events.push_back("finish"); }
  void didFailNavigation(WebView&, const Error& error) override { events.push_back("fail " + std::to_string(error.code)); }
  void webContentProcessDidTerminate(WebView&) override { events.push_back("terminate"); }
  void didReceiveScriptMessage(UserContentController&, const ScriptMessage& message) override {
    ++messages;
    if (onMessage) onMessage(message);
  }
};

class WebViewRealModeTest : public ::testing::Test {
 protected:
  ~WebViewRealModeTest() override {
    view.reset();
    // What the views left on the queues runs before the next test.
    bool drained = false;
    afterWebContentForTesting([&drained] { mainQueue()->async([&drained] { drained = true; }); });
    runMainUntil([&] { return drained; }, kWaitMs);
  }

  std::shared_ptr<WebView> makeView(double timeLimitMs, size_t memoryLimitBytes = size_t{512} << 20) {
    WebViewConfiguration configuration;
    configuration.scriptTimeLimitMs = timeLimitMs;
    configuration.memoryLimitBytes = memoryLimitBytes;
    configuration.userContentController->addScriptMessageHandler(recorder, "native");
    auto made = std::make_shared<WebView>(Rect::make(0, 0, 320, 480), configuration);
    made->setNavigationDelegate(recorder);
    return made;
  }

  // Evaluates, recording the completion as an event ("completion <code>", 0
  // for a value).
  void evaluate(const std::string& script) {
    view->evaluateJavaScript(script, [this](const ScriptEvaluation& r) {
      recorder->events.push_back("completion " + std::to_string(r.error ? r.error->code : 0));
    });
  }

  bool heard(const std::string& event) const {
    for (const auto& e : recorder->events)
      if (e == event) return true;
    return false;
  }

  // Waits, without running the main queue, until the web log has `count`
  // lines holding `part` (the pages' thread writes them).
  bool waitForLogLines(const std::string& part, size_t count) { return log_.waitFor(part, count, kWaitMs); }
  size_t logLinesWith(const std::string& part) { return log_.count(part); }

  platformtest::WebLogRecorder log_;
  std::shared_ptr<MainRecorder> recorder = std::make_shared<MainRecorder>();
  std::shared_ptr<WebView> view;
};

// The page says it loops and loops; the main queue hears it, runs a block of
// its own, and only that block ends the script: the main queue ran while the
// script was still looping.
TEST_F(WebViewRealModeTest, MainQueueRunsWhileAPageScriptLoops) {
  view = makeView(600'000);
  recorder->onMessage = [this](const ScriptMessage&) {
    recorder->events.push_back("message");
    mainQueue()->async([this] {
      recorder->events.push_back("main block");
      view->terminateWebContentProcess();
    });
  };
  evaluate("webkit.messageHandlers.native.postMessage('looping'); for (;;) {}");
  ASSERT_TRUE(runMainUntil([&] { return heard("terminate"); }, kWaitMs)) << ::testing::PrintToString(recorder->events);
  EXPECT_EQ(recorder->events, (std::vector<std::string>{"message", "main block",
                                                        "completion " + std::to_string(WebErrorCode::ContentTerminated),
                                                        "terminate"}));
  EXPECT_EQ(logLinesWith("was stopped"), 0u) << "an interruption is not a stop of the page's own doing";
}

// A page that posts without end while the main queue is not run: it is torn
// down at a bound, and what waits for delivery stays within the bounds.
TEST_F(WebViewRealModeTest, PagePostingWithoutEndIsStoppedAtTheBoundOfWaitingMessages) {
  struct Case {
    const char* body;
    bool countBound;  // the count bound meets it first, else the memory bound
  };
  const Case cases[] = {{"''", true}, {"'x'.repeat(8000)", false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.body);
    recorder->events.clear();
    recorder->messages = 0;
    view = makeView(600'000);
    const size_t stopsBefore = logLinesWith("posted more messages than wait for delivery");
    evaluate(std::string("var body = ") + c.body + "; for (;;) webkit.messageHandlers.native.postMessage(body);");
    // The main queue runs nothing until the page has been stopped.
    ASSERT_TRUE(waitForLogLines("posted more messages than wait for delivery", stopsBefore + 1));
    ASSERT_TRUE(runMainUntil([&] { return heard("terminate"); }, kWaitMs)) << ::testing::PrintToString(recorder->events);
    EXPECT_EQ(logLinesWith("posted more messages than wait for delivery"), stopsBefore + 1) << "logged once";
    EXPECT_EQ(recorder->events, (std::vector<std::string>{
                                    "completion " + std::to_string(WebErrorCode::ResourceLimit), "terminate"}));
    // Everything that was let through waited at once: no more than the bounds.
    if (c.countBound) {
      EXPECT_EQ(recorder->messages, kMaxPendingScriptMessages);
    } else {
      EXPECT_GT(recorder->messages, 0u);
      EXPECT_LT(recorder->messages, kMaxPendingScriptMessageBytes / 8000);
    }
  }
}

// A page whose scripts allocate without end is torn down at the memory bound,
// whether one entry allocates or many keep a little each.
TEST_F(WebViewRealModeTest, PageAllocatingWithoutEndIsStoppedAtTheMemoryBound) {
  struct Case {
    const char* label;
    const char* script;
    std::vector<std::string> events;
  };
  const Case cases[] = {
      {"one script", "var keep = []; for (;;) keep.push(new Array(4096).fill(keep.length));",
       {"completion " + std::to_string(WebErrorCode::ResourceLimit), "terminate"}},
      {"timer ticks",
       "var kept = []; setInterval(function () { kept.push(new Array(1 << 18).fill(kept.length)); }, 0); 1",
       {"completion 0", "terminate"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    recorder->events.clear();
    view = makeView(600'000, size_t{64} << 20);
    evaluate(c.script);
    ASSERT_TRUE(runMainUntil([&] { return heard("terminate"); }, kWaitMs)) << ::testing::PrintToString(recorder->events);
    EXPECT_EQ(recorder->events, c.events);
  }
  EXPECT_EQ(logLinesWith("bytes of memory and were stopped"), 2u);
}

// A page that loops while it loads fails the load at the time limit; one
// that loops later is torn down; the main queue works meanwhile.
TEST_F(WebViewRealModeTest, ScriptPastTheTimeLimitIsStoppedOffTheMainQueue) {
  view = makeView(50);
  view->loadHTMLString("<script>for (;;) {}</script>", "");
  ASSERT_TRUE(runMainUntil([&] { return !recorder->events.empty(); }, kWaitMs));
  EXPECT_EQ(recorder->events, (std::vector<std::string>{"fail " + std::to_string(WebErrorCode::ScriptTimeLimit)}));
  recorder->events.clear();
  view->loadHTMLString("<script>setTimeout(function () { for (;;) {} }, 0)</script>", "");
  ASSERT_TRUE(runMainUntil([&] { return heard("terminate"); }, kWaitMs)) << ::testing::PrintToString(recorder->events);
  EXPECT_EQ(recorder->events, (std::vector<std::string>{"finish", "terminate"}));
  EXPECT_EQ(logLinesWith("ran longer than 50 ms"), 2u);
}

}  // namespace
