// What a page causes beyond the tasks it runs on its own queue, with real
// pages in a real JavaScriptCore context under a TestEnvironment: the host's
// evaluations that answer it, the transfers and navigations it causes, the
// fetches it queues, and every line it makes its web view log. The processor
// clock is frozen where counts must be exact: each task is then charged only
// what it costs the host besides the page's script, and what the page causes
// elsewhere.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/dispatch.h"
#include "platform/repeated_line.h"
#include "platform/script/processor_budget.h"
#include "platform/test_environment.h"
#include "platform/web/url.h"
#include "platform/web/web_view.h"
#include "platform_support.h"
#include "support/sandbox_server.h"

using namespace platform;

namespace pagework {

const std::string kPages = std::string(QB_TESTS_DIR) + "/platform/pages/";

double frozenProcessorClock() { return 1000.0; }

// While it lives every task is charged as if it ran no script at all.
struct FrozenProcessorClock {
  FrozenProcessorClock() { setThreadProcessorClockForTesting(&frozenProcessorClock); }
  ~FrozenProcessorClock() { setThreadProcessorClockForTesting(nullptr); }
  FrozenProcessorClock(const FrozenProcessorClock&) = delete;
  FrozenProcessorClock& operator=(const FrozenProcessorClock&) = delete;
};

// The loops below end by themselves after kMaxRounds (the host answers no
// more, the navigations are cancelled), so that a loop nothing stops fails
// the test instead of running on.
constexpr size_t kMaxRounds = 300;

struct Recorder : NavigationDelegate, ScriptMessageHandler {
  size_t messages = 0;
  size_t finished = 0;
  std::vector<int> failures;
  bool terminated = false;
  std::function<void(const ScriptMessage&)> onMessage;

  void decidePolicyForNavigationAction(WebView&, const NavigationAction&, PolicyDecisionHandler decision) override {
    decision(messages < kMaxRounds ? NavigationActionPolicy::Allow : NavigationActionPolicy::Cancel);
  }
  void didFinishNavigation(WebView&) override { ++finished; }
  void didFailNavigation(WebView&, const Error& error) override { failures.push_back(error.code); }
  void webContentProcessDidTerminate(WebView&) override { terminated = true; }
  void didReceiveScriptMessage(UserContentController&, const ScriptMessage& message) override {
    ++messages;
    if (onMessage && messages < kMaxRounds) onMessage(message);
  }
  bool stopped() const {
    return terminated || (!failures.empty() && failures.back() == WebErrorCode::ScriptTimeLimit);
  }
};

class WebViewPageWorkTest : public ::testing::Test {
 protected:
  ~WebViewPageWorkTest() override {
    views_.clear();
    env.runUntilIdle();
  }

  std::shared_ptr<WebView> makeView(const std::shared_ptr<Recorder>& recorder, double budgetMs = 1000,
                                    double budgetShare = 0.25, double timeLimitMs = 2000) {
    WebViewConfiguration configuration;
    configuration.scriptTimeLimitMs = timeLimitMs;
    configuration.processorBudgetMs = budgetMs;
    configuration.processorBudgetShare = budgetShare;
    configuration.preferences->setValue(Preferences::kAllowFileAccessFromFileURLs, true);
    configuration.userContentController->addScriptMessageHandler(recorder, "native");
    auto view = std::make_shared<WebView>(Rect::make(0, 0, 320, 480), configuration);
    view->setNavigationDelegate(recorder);
    views_.push_back(view);
    return view;
  }

  Json value(const std::shared_ptr<WebView>& view, const std::string& script) {
    std::optional<ScriptEvaluation> out;
    view->evaluateJavaScript(script, [&out](const ScriptEvaluation& r) { out = r; });
    EXPECT_TRUE(env.runUntil([&] { return out.has_value(); })) << script;
    return out && out->ok() ? out->value : Json();
  }

  TestEnvironment env;
  platformtest::WebLogRecorder log;

 private:
  std::vector<std::shared_ptr<WebView>> views_;
};

// A page whose every message the host answers with an evaluation that makes
// it post again: the answers are charged to the web view's budget (1 ms,
// nothing given back: 200 tasks of 5 us), and the loop is stopped. The host's
// own evaluations are not charged.
TEST_F(WebViewPageWorkTest, EvaluationsThatAnswerThePageAreChargedToItsBudget) {
  FrozenProcessorClock frozen;
  const int answersAllowed = static_cast<int>(1.0 / ProcessorBudget::kTaskOverheadMs);
  struct Case {
    const char* label;
    // How the host answers a message of `view`.
    std::function<void(const std::shared_ptr<WebView>& view)> answer;
    int tasksPerRound;
  };
  const Case cases[] = {
      {"answered while the message is delivered",
       [](const std::shared_ptr<WebView>& view) { view->evaluateJavaScript("answer()", nullptr); }, 1},
      {"answered later, marked as answering the page",
       [](const std::shared_ptr<WebView>& view) {
         mainQueue()->async([weak = std::weak_ptr<WebView>(view)] {
           if (auto v = weak.lock()) v->evaluateJavaScript("answer()", nullptr, EvaluationCause::AnswersPage);
         });
       },
       1},
      {"answered from the completion of an answer",
       [](const std::shared_ptr<WebView>& view) {
         view->evaluateJavaScript("1", [weak = std::weak_ptr<WebView>(view)](const ScriptEvaluation&) {
           if (auto v = weak.lock()) v->evaluateJavaScript("answer()", nullptr);
         });
       },
       2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    auto recorder = std::make_shared<Recorder>();
    auto view = makeView(recorder, 1, 0);
    recorder->onMessage = [&c, weak = std::weak_ptr<WebView>(view)](const ScriptMessage&) {
      if (auto v = weak.lock()) c.answer(v);
    };
    view->loadHTMLString("<script>function answer() { webkit.messageHandlers.native.postMessage('again'); }"
                         "answer();</script>",
                         "");
    env.runUntil([&] { return recorder->stopped() || recorder->messages >= kMaxRounds; });
    EXPECT_TRUE(recorder->stopped()) << recorder->messages << " rounds";
    // The load took one task of the budget.
    const int rounds = (answersAllowed - 1) / c.tasksPerRound;
    EXPECT_GE(recorder->messages, static_cast<size_t>(rounds - 2));
    EXPECT_LE(recorder->messages, static_cast<size_t>(rounds + 2));
  }

  // The host's own evaluations, however many, are not.
  auto recorder = std::make_shared<Recorder>();
  auto view = makeView(recorder, 1, 0);
  view->loadHTMLString("<p>host</p>", "");
  ASSERT_TRUE(env.runUntil([&] { return recorder->finished == 1; }));
  for (int i = 0; i < 2 * answersAllowed; ++i) view->evaluateJavaScript("1", nullptr);
  EXPECT_EQ(value(view, "2"), 2);
  EXPECT_FALSE(recorder->stopped());
}

// Pages that cause work off their queue without end: an external script that
// writes itself again (each one fetched from a real loopback server), a page
// that reloads itself, and a page that navigates to its own address. Each
// transfer and each navigation the page causes is charged its figure, so a
// budget of ten rounds stops it after about ten.
TEST_F(WebViewPageWorkTest, TransfersAndNavigationsThePageCausesAreCharged) {
  qbtest::SandboxServer server;
  auto served = std::make_shared<std::atomic<size_t>>(0);
  server.route("GET", "/w/chain.js", [served](const qbtest::RecordedRequest&) {
    if (++*served > kMaxRounds) return qbtest::SandboxAnswer{404};
    return qbtest::SandboxAnswer{200, "document.write('<script src=\"chain.js?' + Math.random() + '\"><\\/script>');",
                                 {{"Content-Type", "application/javascript"}}};
  });
  server.answer("/w/page.html", 200,
                "<script>webkit.messageHandlers.native.postMessage('loaded');"
                "location.href = location.href;</script>",
                {{"Content-Type", "text/html"}});
  server.answer("/w/chain.html", 200, "<script src=\"chain.js\"></script>", {{"Content-Type", "text/html"}});
  ASSERT_TRUE(server.start());
  FrozenProcessorClock frozen;
  const double task = ProcessorBudget::kTaskOverheadMs;
  struct Case {
    const char* label;
    std::function<void(WebView&)> load;
    // What one round costs: its tasks and what it causes elsewhere.
    double roundMs;
    // The rounds made so far.
    std::function<size_t(const Recorder&)> rounds;
  };
  const Case cases[] = {
      {"an external script that writes itself again",
       [&](WebView& view) { view.loadRequest(URLRequest{.url = server.url("/w/chain.html")}); },
       task + kPageTransferChargeMs, [&](const Recorder&) { return server.requestsTo("/w/chain.js").size(); }},
      {"a page that reloads itself",
       [](WebView& view) {
         view.loadHTMLString("<script>webkit.messageHandlers.native.postMessage('loaded'); location.reload();</script>",
                             "");
       },
       2 * task + kPageNavigationChargeMs, [](const Recorder& r) { return r.messages; }},
      {"a page that navigates to its own address",
       [&](WebView& view) { view.loadRequest(URLRequest{.url = server.url("/w/page.html")}); },
       3 * task + kPageNavigationChargeMs + kPageTransferChargeMs, [](const Recorder& r) { return r.messages; }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    server.clearRequests();
    auto recorder = std::make_shared<Recorder>();
    auto view = makeView(recorder, 10 * c.roundMs, 0);
    c.load(*view);
    env.runUntil([&] { return recorder->stopped() || c.rounds(*recorder) >= kMaxRounds; }, 60'000);
    EXPECT_TRUE(recorder->stopped()) << c.rounds(*recorder) << " rounds";
    EXPECT_GE(c.rounds(*recorder), 9u);
    EXPECT_LE(c.rounds(*recorder), 12u);
  }
  server.stop();
}

// Floods of log lines a page causes, over 10 s of the platform clock: each
// web view writes the burst and then about ten lines a second, whatever
// their kind; the rest are counted in the next line written.
TEST_F(WebViewPageWorkTest, WhatAPageLogsIsBoundedForTheWebViewAsAWhole) {
  struct Case {
    const char* label;
    const char* script;
  };
  const Case cases[] = {
      {"console flood", "setInterval(function () { for (var i = 0; i < 40; i++) console.log('x'); }, 4);"},
      {"exceptions with distinct texts", "var n = 0; setInterval(function () { throw new Error('e' + n++); }, 4);"},
      {"the same exception after 64 distinct ones",
       "for (var i = 0; i < 64; i++) setTimeout(function (k) { throw new Error('first ' + k); }, 0, i);"
       "setInterval(function () { throw new Error('same'); }, 4);"},
      {"refused navigations", "setInterval(function () { location.href = 'ftp://127.0.0.1/refused'; }, 4);"},
  };
  const double bound = kWebLogBurstLines + 10 * kWebLogLinesPerSecond;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    auto recorder = std::make_shared<Recorder>();
    auto view = makeView(recorder);
    const size_t before = log.count("");
    view->loadHTMLString(std::string("<script>") + c.script + "</script>", "");
    ASSERT_TRUE(env.runUntil([&] { return recorder->finished == 1; }));
    env.advance(10'000);
    const size_t lines = log.count("") - before;
    EXPECT_GE(lines, static_cast<size_t>(bound) - 2);
    EXPECT_LE(lines, static_cast<size_t>(bound) + 1);
    EXPECT_GE(log.count("more lines held back before this one"), 1u);
    EXPECT_FALSE(recorder->stopped());
    view->terminateWebContentProcess();
    env.runUntilIdle();
  }
}

// A page's stop is written even when its lines were held back just before.
TEST_F(WebViewPageWorkTest, AStopIsWrittenAfterAFlood) {
  auto recorder = std::make_shared<Recorder>();
  makeView(recorder, 1000, 0.25, 50)
      ->loadHTMLString("<script>for (var i = 0; i < 1000; i++) console.log('x'); for (;;) {}</script>", "");
  ASSERT_TRUE(env.runUntil([&] { return recorder->stopped(); }));
  EXPECT_EQ(log.count("x"), static_cast<size_t>(kWebLogBurstLines));
  EXPECT_EQ(log.lineWith("ran longer than 50 ms"),
            "A script of about:blank ran longer than 50 ms and was stopped (" +
                std::to_string(1000 - static_cast<int>(kWebLogBurstLines)) + " more lines held back before this one)");
}

// A burst of fetches: those past the bound of fetches waiting for their answer
// reject at once (one refusal line), and the place comes back once answered.
TEST_F(WebViewPageWorkTest, FetchesWaitingForTheirAnswerAreBounded) {
  auto recorder = std::make_shared<Recorder>();
  auto view = makeView(recorder);
  const std::string burst =
      "var ok = 0, refused = 0;"
      "function burst(n) { for (var i = 0; i < n; i++) fetch('outside.txt').then(function (r) { return r.text(); })"
      "  .then(function (t) { if (t.indexOf('outside') === 0) ok++; }, function () { refused++; }); }";
  view->loadHTMLString("<script>" + burst + "burst(" + std::to_string(3 * kMaxPageFetchesInFlight) + ");</script>",
                       fileURLFromPath(kPages));
  ASSERT_TRUE(env.runUntil([&] { return recorder->finished == 1; }));
  env.runUntilIdle();
  EXPECT_EQ(value(view, "[ok, refused]"), Json::array({kMaxPageFetchesInFlight, 2 * kMaxPageFetchesInFlight}));
  EXPECT_EQ(log.count("Fetch outside.txt refused: the fetches waiting for their answer would pass 1000 fetches"), 1u);
  value(view, "burst(" + std::to_string(kMaxPageFetchesInFlight) + "); 0");
  env.runUntilIdle();
  EXPECT_EQ(value(view, "[ok, refused]"), Json::array({2 * kMaxPageFetchesInFlight, 2 * kMaxPageFetchesInFlight}));
}

}  // namespace pagework
