// The headless web view with real pages (tests/platform/pages) in a real
// JavaScriptCore context; time and queues through the TestEnvironment.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/dispatch.h"
#include "platform/test_environment.h"
#include "platform/web/url.h"
#include "platform/web/web_view.h"
#include "support/job_chains.h"
#include "support/sandbox_server.h"

using namespace platform;

namespace {

const std::string kPages = std::string(QB_TESTS_DIR) + "/platform/pages/";

std::string pageURL(const std::string& name) { return fileURLFromPath(kPages + name); }

// One object plays every delegate and the message handler, recording what it
// hears as lines.
struct Recorder : NavigationDelegate, UIDelegate, ScriptMessageHandler {
  std::vector<std::string> events;
  std::vector<NavigationAction> actions;
  std::vector<NavigationAction> windows;
  std::vector<ScriptMessage> messages;
  std::vector<Error> failures;
  NavigationActionPolicy answer = NavigationActionPolicy::Allow;

  void decidePolicyForNavigationAction(WebView&, const NavigationAction& action,
                                       PolicyDecisionHandler decisionHandler) override {
    actions.push_back(action);
    decisionHandler(answer);
  }
  void didFinishNavigation(WebView&) override { events.push_back("finish"); }
  void didFailNavigation(WebView&, const Error& error) override {
    events.push_back("fail");
    failures.push_back(error);
  }
  void webContentProcessDidTerminate(WebView&) override { events.push_back("terminate"); }
  std::shared_ptr<WebView> createWebView(WebView&, const WebViewConfiguration&, const NavigationAction& action,
                                         const WindowFeatures&) override {
    windows.push_back(action);
    return nullptr;
  }
  void didReceiveScriptMessage(UserContentController&, const ScriptMessage& message) override {
    events.push_back("message");
    messages.push_back(message);
  }
};

// Test mode: a TestEnvironment; the page's queue and the main queue run on
// the test thread when the test pumps. Real mode: the page runs on the
// web-content queue's worker thread while the test thread runs the main
// queue; waits are bounded real time, on what the test expects to happen.
enum class Mode { Test, Real };

class WebViewTest : public ::testing::Test {
 protected:
  explicit WebViewTest(Mode mode = Mode::Test) {
    if (mode == Mode::Test) env.emplace();
    previousSink_ = setWebLogSink([this](WebLogLevel, const std::string& line) {
      std::lock_guard lock(logMutex_);
      log.push_back(line);
    });
  }
  ~WebViewTest() override {
    view.reset();
    settle();
    setWebLogSink(previousSink_);
  }

  std::shared_ptr<WebView> makeView(double timeLimitMs = 2000, double processorBudgetMs = 1000, double processorBudgetShare = 0.25) {
    WebViewConfiguration configuration;
    configuration.scriptTimeLimitMs = timeLimitMs;
    configuration.processorBudgetMs = processorBudgetMs;
    configuration.processorBudgetShare = processorBudgetShare;
    configuration.userContentController->addScriptMessageHandler(recorder, "native");
    auto view = std::make_shared<WebView>(Rect::make(0, 0, 320, 480), configuration);
    view->setNavigationDelegate(recorder);
    view->setUIDelegate(recorder);
    return view;
  }

  // Test mode: runs what is ready. Real mode: what the page's queue and the
  // main queue hold now, and what that posts in turn, has run.
  void settle() {
    if (env) {
      env->runUntilIdle();
      return;
    }
    for (int round = 0; round < 6; ++round) {
      bool done = false;
      afterWebContentForTesting([&done] { mainQueue()->async([&done] { done = true; }); });
      ASSERT_TRUE(runMainUntil([&] { return done; }, 10'000));
    }
  }
  // Pumps until `pred` holds (test mode: also what real I/O threads post).
  bool runUntil(const std::function<bool()>& pred) {
    return env ? env->runUntil(pred) : runMainUntil(pred, 10'000);
  }

  // Loads a page and waits until its load finished or failed.
  void load(const std::string& name, const std::string& readAccess = kPages) {
    const size_t ended = loadsEnded();
    ASSERT_TRUE(view->loadFileURL(pageURL(name), fileURLFromPath(readAccess, true)));
    ASSERT_TRUE(runUntil([&] { return loadsEnded() > ended; })) << name;
    settle();
  }
  size_t loadsEnded() const {
    size_t n = 0;
    for (const auto& e : recorder->events) n += e == "finish" || e == "fail";
    return n;
  }

  ScriptEvaluation evaluate(const std::string& script) {
    std::optional<ScriptEvaluation> out;
    view->evaluateJavaScript(script, [&](const ScriptEvaluation& r) { out = r; });
    EXPECT_FALSE(out.has_value()) << "the completion ran inline";
    EXPECT_TRUE(runUntil([&] { return out.has_value(); }));
    settle();
    return out.value_or(ScriptEvaluation{});
  }

  std::vector<Json> bodies() const {
    std::vector<Json> out;
    for (const auto& m : recorder->messages) out.push_back(m.body);
    return out;
  }

  bool logged(const std::string& part) {
    std::lock_guard lock(logMutex_);
    for (const auto& line : log)
      if (line.find(part) != std::string::npos) return true;
    return false;
  }

  std::optional<TestEnvironment> env;
  std::vector<std::string> log;
  std::shared_ptr<Recorder> recorder = std::make_shared<Recorder>();
  std::shared_ptr<WebView> view = makeView();

 private:
  std::mutex logMutex_;
  WebLogSink previousSink_;
};

// The tests that need no manual clock run in both modes.
class WebViewBothModesTest : public WebViewTest, public ::testing::WithParamInterface<Mode> {
 protected:
  WebViewBothModesTest() : WebViewTest(GetParam()) {}
};

TEST_P(WebViewBothModesTest, PagePostsMessageThatReachesTheHandlerWithItsBody) {
  load("message.html");
  EXPECT_EQ(recorder->events, (std::vector<std::string>{"message", "finish"}));
  ASSERT_EQ(recorder->messages.size(), 1u);
  EXPECT_EQ(recorder->messages[0].name, "native");
  EXPECT_EQ(recorder->messages[0].frameURL, pageURL("message.html"));
  EXPECT_EQ(recorder->messages[0].webView.lock(), view);
  EXPECT_EQ(recorder->messages[0].body,
            Json::parse(R"({"kind":"loaded","readyState":"complete","title":"Message page","protocol":"file:",
                            "list":[1,"two",null,true]})"));
  EXPECT_TRUE(logged("script ran {\"n\":1}"));
  EXPECT_FALSE(view->isLoading());
  EXPECT_EQ(view->url(), pageURL("message.html"));
}

TEST_P(WebViewBothModesTest, EvaluationAnswersTheValueOrTheScriptError) {
  struct Case {
    std::string script;
    Json value;
    int errorCode;
    std::string errorText;
    int line;
  };
  const Case cases[] = {
      {"1 + 2", 3, 0, "", 0},
      {"({a: [1, 'x', null], b: {c: false}})", Json::parse(R"({"a":[1,"x",null],"b":{"c":false}})"), 0, "", 0},
      {"undefined", nullptr, 0, "", 0},
      {"var x = 1;\nthrow new Error('boom')", nullptr, WebErrorCode::JavaScriptException, "Error: boom", 2},
      {"\n\nmissing()", nullptr, WebErrorCode::JavaScriptException, "ReferenceError: Can't find variable: missing", 3},
      {"(function () {})", nullptr, WebErrorCode::UnsupportedResultType, "", 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.script);
    auto r = evaluate(c.script);
    EXPECT_EQ(r.value, c.value);
    EXPECT_EQ(r.error ? r.error->code : 0, c.errorCode);
    if (!c.errorText.empty()) {
      EXPECT_EQ(r.error->message, c.errorText);
    }
    EXPECT_EQ(r.line, c.line);
  }
}

TEST_F(WebViewTest, PageTimersFireOnlyAsTheTestClockMoves) {
  load("timers.html");
  EXPECT_TRUE(recorder->messages.empty());
  env->advance(39);
  EXPECT_TRUE(recorder->messages.empty());
  env->advance(1);
  EXPECT_EQ(bodies(), (std::vector<Json>{"tick 1"}));
  env->advance(59);
  EXPECT_EQ(bodies(), (std::vector<Json>{"tick 1", "tick 2"}));
  env->advance(1000);
  EXPECT_EQ(bodies(), (std::vector<Json>{"tick 1", "tick 2", "timeout", "tick 3"}));
  EXPECT_EQ(env->delayedCount(), 0u);
}

TEST_P(WebViewBothModesTest, NavigationsAreOfferedToThePolicyDecisionFirst) {
  struct Case {
    std::string script;
    NavigationType type;
    std::string url;
  };
  const Case cases[] = {
      {"go('plovermarkads://cmd?x=1')", NavigationType::Other, "plovermarkads://cmd?x=1"},
      {"follow('link')", NavigationType::LinkActivated, "plovermarkads://link?from=anchor"},
      {"location.reload()", NavigationType::Reload, pageURL("navigate.html")},
  };
  load("navigate.html");
  recorder->answer = NavigationActionPolicy::Cancel;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.script);
    recorder->actions.clear();
    recorder->events.clear();
    EXPECT_TRUE(evaluate(c.script).ok());
    ASSERT_EQ(recorder->actions.size(), 1u);
    const auto& action = recorder->actions[0];
    EXPECT_EQ(action.navigationType, c.type);
    EXPECT_EQ(action.request.url, c.url);
    EXPECT_EQ(action.request.mainDocumentURL, c.url);
    ASSERT_TRUE(action.targetFrame.has_value());
    EXPECT_TRUE(action.targetFrame->isMainFrame);
    // Cancelled: nothing more happens and the page stays.
    EXPECT_TRUE(recorder->events.empty());
    EXPECT_FALSE(view->isLoading());
    EXPECT_EQ(view->url(), pageURL("navigate.html"));
    EXPECT_EQ(evaluate("typeof go").value, "function");
  }
  // Allowed, a scheme the web view cannot load fails the navigation.
  recorder->answer = NavigationActionPolicy::Allow;
  evaluate("go('plovermarkads://cmd')");
  ASSERT_EQ(recorder->failures.size(), 1u);
  EXPECT_EQ(recorder->failures[0].domain, URLError::kDomain);
  EXPECT_EQ(recorder->failures[0].code, URLErrorCode::UnsupportedURL);
}

TEST_P(WebViewBothModesTest, NewWindowsGoToTheUIDelegate) {
  load("navigate.html");
  evaluate("window.open('popup-target.html')");
  evaluate("follow('popup')");
  ASSERT_EQ(recorder->windows.size(), 2u);
  EXPECT_EQ(recorder->windows[0].navigationType, NavigationType::Other);
  EXPECT_EQ(recorder->windows[1].navigationType, NavigationType::LinkActivated);
  for (const auto& w : recorder->windows) {
    EXPECT_EQ(w.request.url, pageURL("popup-target.html"));
    EXPECT_FALSE(w.targetFrame.has_value());
  }
}

TEST_F(WebViewTest, TerminationTearsThePageDownAndReachesTheDelegate) {
  load("timers.html");
  recorder->events.clear();
  view->terminateWebContentProcess();
  EXPECT_TRUE(recorder->events.empty()) << "told inline";
  env->advance(1000);
  EXPECT_EQ(recorder->events, (std::vector<std::string>{"terminate"}));
  EXPECT_TRUE(recorder->messages.empty()) << "a timer of the torn-down page fired";
  EXPECT_EQ(evaluate("1").error->code, WebErrorCode::ContentTerminated);
  EXPECT_EQ(view->url(), pageURL("timers.html"));
  view->reload();
  env->advance(40);
  EXPECT_EQ(bodies(), (std::vector<Json>{"tick 1"}));
}

// A page holds at most 1,000 live timers, as a script context does: the
// 1,001st setInterval or setTimeout answers 0 and sets nothing (logged once);
// a cleared timer, and a timeout that fired, give their place back.
TEST_F(WebViewTest, APagesThousandAndFirstLiveTimerIsRefused) {
  auto r = evaluate("var ids = []; for (var i = 0; i < 1001; i++) ids.push(setInterval(function () {}, 1000));"
                    "[ids.filter(function (id) { return id > 0; }).length, ids[1000], setTimeout('x', 1)]");
  EXPECT_EQ(r.value, Json::parse("[1000, 0, 0]"));
  EXPECT_TRUE(logged("asked for more than 1000 live timers; further ones are refused"));
  r = evaluate("clearInterval(ids[0]); var once = setTimeout(function () { window.fired = true; }, 10);"
               "[once > 0, setTimeout(function () {}, 10)]");
  EXPECT_EQ(r.value, Json::parse("[true, 0]"));
  env->advance(10);
  EXPECT_EQ(evaluate("[window.fired, setTimeout(function () {}, 10) > 0]").value, Json::parse("[true, true]"));
  EXPECT_TRUE(recorder->events.empty());
}

// A page whose timers keep the web-content queue busy past their budget is
// stopped as one past its time limit; timers within their share run on.
TEST_F(WebViewTest, TimersPastTheirBudgetStopThePage) {
  view = makeView(2000, 20, 0.01);  // 20 ms of processor time, then 1% of the time passing
  evaluate("var ticks = 0; setInterval(function () { ticks++; }, 100)");
  env->advance(10'000);
  EXPECT_EQ(evaluate("ticks").value, Json(100));
  EXPECT_TRUE(recorder->events.empty());

  evaluate("setInterval(function () { for (var i = 0, x = 0; i < 1e6; i++) x += i; }, 4)");
  for (int step = 0; step < 1000 && recorder->events.empty(); ++step) env->advance(4);
  EXPECT_EQ(recorder->events, (std::vector<std::string>{"terminate"}));
  EXPECT_TRUE(logged("kept its web-content queue busy past its budget (20 ms of processor time beyond 1% of the "
                     "time passed) and was stopped"));
  // Torn down, as a page whose timer ran past the time limit is.
  const auto r = evaluate("ticks");
  ASSERT_TRUE(r.error);
  EXPECT_EQ(r.error->code, WebErrorCode::ContentTerminated);
  EXPECT_EQ(env->delayedCount(), 0u);  // its timers went with it
}

// The main queue delivers a page's messages and frees nothing large: a body
// of more than 64 KiB (here a tree of 60,000 objects, just under the 1 MiB
// cap of JSON) is freed on a queue of its own once its handler has run.
TEST_F(WebViewTest, LargeMessagesAreFreedOffTheMainQueue) {
  std::mutex mutex;
  std::vector<std::pair<size_t, bool>> releases;
  setScriptMessageReleaseObserverForTesting([&](size_t bytes, bool onMainQueue) {
    std::lock_guard lock(mutex);
    releases.emplace_back(bytes, onMainQueue);
  });
  evaluate("var list = []; for (var i = 0; i < 60000; i++) list.push({a: 1000 + i % 9000, b: 1});"
           "window.webkit.messageHandlers.native.postMessage('small');"
           "window.webkit.messageHandlers.native.postMessage({list: list}); 1");
  setScriptMessageReleaseObserverForTesting(nullptr);

  const auto received = bodies();
  ASSERT_EQ(received.size(), 2u);
  EXPECT_EQ(received[0], Json("small"));
  EXPECT_EQ(received[1]["list"].size(), 60'000u);
  ASSERT_EQ(releases.size(), 2u);
  EXPECT_LT(releases[0].first, size_t{64} << 10);
  EXPECT_TRUE(releases[0].second);
  EXPECT_GT(releases[1].first, size_t{1} << 20);  // the tree, not its text
  EXPECT_FALSE(releases[1].second);
}

TEST_F(WebViewTest, ScriptThatRunsTooLongIsStoppedAndReported) {
  view = makeView(50);
  load("loop.html");
  EXPECT_EQ(recorder->events, (std::vector<std::string>{"fail"}));
  EXPECT_EQ(recorder->failures[0].domain, kWebErrorDomain);
  EXPECT_EQ(recorder->failures[0].code, WebErrorCode::ScriptTimeLimit);
  EXPECT_TRUE(logged("ran longer than 50 ms"));

  // A page that hangs after it loaded is torn down as a crashed process.
  recorder->events.clear();
  load("loop-later.html");
  env->advance(10);
  EXPECT_EQ(recorder->events, (std::vector<std::string>{"finish", "terminate"}));

  // So does a native evaluation that hangs; the main queue keeps working.
  load("message.html");
  auto r = evaluate("while (true) {}");
  EXPECT_EQ(r.error->code, WebErrorCode::ScriptTimeLimit);
  settle();
  EXPECT_EQ(recorder->events.back(), "terminate");
}

// Reading what a page threw may run the page's own code (a getter of the
// exception's line or source, its toString) and the promise jobs that code
// queues: all of it runs inside the run that threw, under its time limit.
// Read after that run, the jobs would run unchecked; the chains here end by
// themselves some seconds later and log that they ran to their end.
TEST_F(WebViewTest, ExceptionsWhoseGettersStartJobChainsAreStoppedAtTheTimeLimit) {
  const std::string escaped = "console.log('the chain ran to its end');";
  const std::string chain = qbtest::thenChain(escaped);
  const std::string awaits = qbtest::awaitLoop(escaped);
  auto thrower = [](const std::string& property, const std::string& work) {
    return "var e = new Error('x'); Object.defineProperty(e, '" + property + "', {get: function () { " + work +
           " return 1; }}); throw e;";
  };
  // While the page loads: the load fails.
  view = makeView(50);
  view->loadHTMLString("<script>" + thrower("line", chain) + "</script>", "");
  ASSERT_TRUE(runUntil([&] { return loadsEnded() == 1; }));
  ASSERT_EQ(recorder->failures.size(), 1u);
  EXPECT_EQ(recorder->failures[0].code, WebErrorCode::ScriptTimeLimit);
  // A chain that ran to its end: the others would run theirs too.
  ASSERT_FALSE(logged("the chain ran to its end"));

  // In a timer, after the load: the page is torn down.
  view->loadHTMLString("<script>setTimeout(function () { " + thrower("sourceURL", awaits) + " }, 0);</script>", "");
  ASSERT_TRUE(runUntil([&] { return loadsEnded() == 2; }));
  env->advance(0);
  settle();
  EXPECT_EQ(recorder->events, (std::vector<std::string>{"fail", "finish", "terminate"}));
  ASSERT_FALSE(logged("the chain ran to its end"));

  // In an evaluation, and an exception that is no error but whose text starts
  // the chain.
  for (const std::string& script : {thrower("line", awaits), "throw {toString: function () { " + chain + " return 'y'; }};"}) {
    SCOPED_TRACE(script);
    load("message.html");
    const ScriptEvaluation r = evaluate(script);
    ASSERT_TRUE(r.error.has_value());
    EXPECT_EQ(r.error->code, WebErrorCode::ScriptTimeLimit);
    ASSERT_FALSE(logged("the chain ran to its end"));
  }
  // Nothing of them runs on: every page that was stopped is gone.
  view.reset();
  settle();
  EXPECT_EQ(liveWebPagesForTesting(), 0u);
}

// The engine does not check WebAssembly code against any limit, so pages get
// none: a page that uses it fails as on a platform without it.
TEST_P(WebViewBothModesTest, WebAssemblyIsNotOffered) {
  load("message.html");
  EXPECT_EQ(evaluate("typeof WebAssembly").value, "undefined");
  // A module whose one function loops for ever.
  auto r = evaluate(
      "var bytes = new Uint8Array([0, 97, 115, 109, 1, 0, 0, 0, 1, 4, 1, 96, 0, 0, 3, 2, 1, 0, 7, 5, 1, 1, 102, 0, 0,"
      " 10, 9, 1, 7, 0, 3, 64, 12, 0, 11, 11]);"
      "new WebAssembly.Instance(new WebAssembly.Module(bytes)).exports.f()");
  ASSERT_TRUE(r.error.has_value());
  EXPECT_EQ(r.error->code, WebErrorCode::JavaScriptException);
  EXPECT_EQ(r.error->message, "ReferenceError: Can't find variable: WebAssembly");
}

TEST_P(WebViewBothModesTest, UncaughtExceptionIsLoggedAndTheNextScriptRuns) {
  load("throws.html");
  EXPECT_EQ(recorder->events, (std::vector<std::string>{"message", "finish"}));
  EXPECT_EQ(bodies(), (std::vector<Json>{"second script ran"}));
  EXPECT_TRUE(logged("Uncaught Error: first script fails (" + pageURL("throws.html") + ":3)"));
  // An event handler that throws does not stop the others.
  evaluate("addEventListener('x', function () { throw new Error('handler'); });"
           "addEventListener('x', function () { webkit.messageHandlers.native.postMessage('next'); });"
           "dispatchEvent(new Event('x'))");
  EXPECT_EQ(bodies().back(), "next");
  EXPECT_TRUE(logged("Uncaught Error: handler"));
}

TEST_P(WebViewBothModesTest, PostedMessagesAreBoundedAndOnlyReachRegisteredHandlers) {
  load("message.html");
  recorder->messages.clear();
  auto r = evaluate("webkit.messageHandlers.native.postMessage('x'.repeat(2 * 1024 * 1024));"
                    "webkit.messageHandlers.native.postMessage({small: true});"
                    "[typeof webkit.messageHandlers.other, 'native' in webkit.messageHandlers]");
  EXPECT_EQ(r.value, Json::parse(R"(["undefined", true])"));
  EXPECT_EQ(bodies(), (std::vector<Json>{Json::parse(R"({"small":true})")}));
  EXPECT_TRUE(logged("bytes, more than the cap of 1048576"));
  // A handler removed before delivery gets nothing: the handler of the first
  // message removes the one the second goes to.
  struct Remover : ScriptMessageHandler {
    void didReceiveScriptMessage(UserContentController& controller, const ScriptMessage&) override {
      controller.removeScriptMessageHandler("native");
    }
  };
  view->configuration().userContentController->addScriptMessageHandler(std::make_shared<Remover>(), "remover");
  evaluate("webkit.messageHandlers.remover.postMessage(1); webkit.messageHandlers.native.postMessage('late')");
  EXPECT_EQ(recorder->messages.size(), 1u);
  EXPECT_EQ(evaluate("typeof webkit.messageHandlers.native").value, "undefined");
}

TEST_P(WebViewBothModesTest, FileAccessFromFileURLsFollowsThePreference) {
  struct Case {
    bool allow;
    Json reads;
  };
  const Case cases[] = {
      {true, Json::parse(R"(["inside the site folder", "refused"])")},
      {false, Json::parse(R"(["refused", "refused"])")},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.allow);
    recorder->messages.clear();
    view->configuration().preferences->setValue(Preferences::kAllowFileAccessFromFileURLs, c.allow);
    load("site/index.html", kPages + "site");
    ASSERT_EQ(recorder->messages.size(), 1u);
    // Script elements read inside the read-access folder only, whatever the
    // preference says.
    EXPECT_EQ(recorder->messages[0].body["lib"], "boolean");
    EXPECT_EQ(recorder->messages[0].body["outside"], "undefined");
    EXPECT_EQ(recorder->messages[0].body["reads"], c.reads);
  }
  EXPECT_TRUE(logged("outside the folder the page may read"));
  EXPECT_TRUE(logged("file access from file URLs is off"));
}

TEST_P(WebViewBothModesTest, FilePagesThatCannotBeReadFail) {
  EXPECT_FALSE(view->loadFileURL(pageURL("message.html"), fileURLFromPath(kPages + "site", true)));
  EXPECT_FALSE(view->loadFileURL("https://example.com/", fileURLFromPath(kPages, true)));
  EXPECT_FALSE(view->isLoading());
  load("missing.html");
  std::string deep;
  for (int i = 0; i < 5000; ++i) deep += "<div>";
  view->loadHTMLString(deep, "");
  ASSERT_TRUE(runUntil([&] { return recorder->failures.size() == 2; }));
  EXPECT_EQ(recorder->failures[0], Error(URLError(URLErrorCode::FileDoesNotExist)));
  EXPECT_EQ(recorder->failures[1].code, WebErrorCode::DocumentTooDeep);
}

TEST_P(WebViewBothModesTest, HistoryOfMainFramePages) {
  load("message.html");
  load("throws.html");
  EXPECT_TRUE(view->canGoBack());
  EXPECT_FALSE(view->canGoForward());
  recorder->actions.clear();
  const size_t ended = loadsEnded();
  view->goBack();
  EXPECT_TRUE(view->isLoading());
  ASSERT_TRUE(runUntil([&] { return loadsEnded() > ended; }));
  EXPECT_EQ(view->url(), pageURL("message.html"));
  ASSERT_EQ(recorder->actions.size(), 1u);
  EXPECT_EQ(recorder->actions[0].navigationType, NavigationType::BackForward);
  EXPECT_FALSE(view->canGoBack());
  EXPECT_TRUE(view->canGoForward());
  load("timers.html");
  EXPECT_FALSE(view->canGoForward());
}

TEST_P(WebViewBothModesTest, HttpPageWithScriptFromTheServer) {
  qbtest::SandboxServer server;
  server.answer("/page.html", 200, "<script src='/lib.js'></script><script>post(location.pathname)</script>",
                {{"Content-Type", "text/html"}});
  server.answer("/lib.js", 200, "function post(v) { webkit.messageHandlers.native.postMessage(v); }",
                {{"Content-Type", "text/javascript"}});
  ASSERT_TRUE(server.start());
  view->loadRequest(URLRequest{.url = server.url("/page.html")});
  ASSERT_TRUE(runUntil([&] { return !recorder->events.empty() && recorder->events.back() == "finish"; }))
      << ::testing::PrintToString(recorder->events);
  EXPECT_EQ(bodies(), (std::vector<Json>{"/page.html"}));
  server.stop();
  view->loadRequest(URLRequest{.url = server.url("/gone.html")});
  ASSERT_TRUE(runUntil([&] { return recorder->events.back() == "fail"; }));
  EXPECT_EQ(recorder->failures.back().domain, URLError::kDomain);
}

TEST_F(WebViewTest, CallsOffTheMainQueueAreProgrammingErrors) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_DEBUG_DEATH(std::thread([&] { view->reload(); }).join(), "main queue only");
}

INSTANTIATE_TEST_SUITE_P(Modes, WebViewBothModesTest, ::testing::Values(Mode::Test, Mode::Real),
                         [](const auto& info) { return info.param == Mode::Test ? "TestMode" : "RealMode"; });

TEST(WebURLTest, ResolvesAndMapsFileURLs) {
  EXPECT_EQ(resolveURL("file:///a/b/page.html", "../c.js"), "file:///a/c.js");
  EXPECT_EQ(resolveURL("http://h:8/x/y?q#f", "z?k=v"), "http://h:8/x/z?k=v");
  EXPECT_EQ(resolveURL("http://h/", "plovermarkads://cmd?x=1"), "plovermarkads://cmd?x=1");
  EXPECT_EQ(resolveURL("page.html", "x"), std::nullopt);
  EXPECT_FALSE(isValidURL("not a url"));
  EXPECT_FALSE(isValidURL("plovermarkads://cmd?x={\"a\":1}"));
  EXPECT_TRUE(isValidURL("tel:+1"));
  EXPECT_EQ(filePathFromURL(fileURLFromPath("/tmp/a b/c.html")), "/tmp/a b/c.html");
  EXPECT_EQ(filePathFromURL("https://h/x"), std::nullopt);
  EXPECT_EQ(fileURLFromPath("/tmp/d", true), "file:///tmp/d/");
}

}  // namespace
