// What a page may spend, with real pages in a real JavaScriptCore context:
// a run's time limit counted over everything the run does, each web view's
// pages on a queue of their own, and the processor-time budget that every
// task a page causes is charged to.
#include <gtest/gtest.h>

#include <condition_variable>
#include <fstream>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/dispatch.h"
#include "platform/script/processor_budget.h"
#include "platform/test_environment.h"
#include "platform/web/url.h"
#include "platform/web/web_view.h"
#include "platform_support.h"
#include "support/sanitized_allocator.h"
#include "support/temp_dir.h"

using namespace platform;

namespace weblimits {

const std::string kPages = std::string(QB_TESTS_DIR) + "/platform/pages/";

// What a page lets go still grows the process under a sanitizer's allocator.
using qbtest::kSanitizedAllocator;

using Events = platformtest::PageEvents;

// How long a real-mode test waits for what a page's own processor time
// brings about (a stop at its time limit): the page needs that much processor
// time first, which a machine whose every core is busy gives it only in many
// times as much real time. A bound against a hang, not a measure.
constexpr int64_t kProcessorBoundWaitMs = 120'000;

class WebViewLimitsTest : public ::testing::Test {
 protected:
  explicit WebViewLimitsTest(bool realMode) {
    if (!realMode) env.emplace();
  }
  ~WebViewLimitsTest() override {
    views_.clear();
    // The pages of the views go on their queues before the next test.
    if (env) {
      env->runUntilIdle();
    } else {
      drainContentQueues();
      EXPECT_EQ(liveWebPagesForTesting(), 0u);
    }
  }

  std::shared_ptr<WebView> makeView(const std::shared_ptr<Events>& events, double timeLimitMs = 2000,
                                    double budgetMs = 1000, double budgetShare = 0.25,
                                    size_t memoryLimitBytes = size_t{512} << 20) {
    WebViewConfiguration configuration;
    configuration.scriptTimeLimitMs = timeLimitMs;
    configuration.memoryLimitBytes = memoryLimitBytes;
    configuration.processorBudgetMs = budgetMs;
    configuration.processorBudgetShare = budgetShare;
    configuration.preferences->setValue(Preferences::kAllowFileAccessFromFileURLs, true);
    configuration.userContentController->addScriptMessageHandler(events, "native");
    auto view = std::make_shared<WebView>(Rect::make(0, 0, 320, 480), configuration);
    view->setNavigationDelegate(events);
    views_.push_back(view);
    return view;
  }

  // Real mode: what every content queue holds now has run, and what that
  // posted to the main queue.
  void drainContentQueues() {
    bool drained = false;
    afterWebContentForTesting([&drained] { mainQueue()->async([&drained] { drained = true; }); });
    ASSERT_TRUE(runMainUntil([&] { return drained; }, 20'000));
  }

  size_t logLinesWith(const std::string& part) { return log_.count(part); }
  std::optional<std::string> logLineWith(const std::string& part) { return log_.lineWith(part); }

  std::optional<TestEnvironment> env;

 private:
  platformtest::WebLogRecorder log_;
  std::vector<std::shared_ptr<WebView>> views_;
};

class WebViewLimitsRealModeTest : public WebViewLimitsTest {
 protected:
  WebViewLimitsRealModeTest() : WebViewLimitsTest(true) {}
};

class WebViewBudgetTest : public WebViewLimitsTest {
 protected:
  WebViewBudgetTest() : WebViewLimitsTest(false) {}
};

// Pages whose work the engine sees only in short pieces: promise jobs, script
// elements written by the one before, the engine's own regular expressions,
// events dispatched from their own listeners (each listener's stack overflow
// caught and logged, so the recursion never ends). While one spins (no time
// limit), another web view loads its page; with a time limit, each is stopped
// at the limit of its run.
TEST_F(WebViewLimitsRealModeTest, SpinningPagesAreStoppedAndHoldNoOtherView) {
  struct Case {
    const char* label;
    const char* spin;
  };
  const Case cases[] = {
      {"await loop", "(async function () { for (;;) await 0; })();"},
      {"promise chain", "function f() { Promise.resolve().then(f); } f();"},
      {"self-writing script", "function w() { document.write('<script>w()<\\/script>'); } w();"},
      {"backtracking expression", "for (;;) /(a+)+b/.test('a'.repeat(25));"},
      {"event recursion",
       "addEventListener('x', function () { dispatchEvent(new Event('x')); dispatchEvent(new Event('x')); });"
       "dispatchEvent(new Event('x'));"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    const std::string html =
        std::string("<script>webkit.messageHandlers.native.postMessage('spinning');") + c.spin + "</script>";

    auto spinning = std::make_shared<Events>();
    auto view = makeView(spinning, 600'000);
    view->loadHTMLString(html, "");
    ASSERT_TRUE(runMainUntil([&] { return spinning->heard("message spinning") || spinning->ended(); }, 20'000));
    auto other = std::make_shared<Events>();
    makeView(other)->loadHTMLString("<script>webkit.messageHandlers.native.postMessage('ran')</script>", "");
    ASSERT_TRUE(runMainUntil([&] { return other->heard("finish"); }, 20'000)) << "the other page waits for the spinning one";
    EXPECT_EQ(other->events, (std::vector<std::string>{"message ran", "finish"}));
    view->terminateWebContentProcess();
    ASSERT_TRUE(runMainUntil([&] { return spinning->ended(); }, 20'000)) << "the spinning page was not released";
    EXPECT_EQ(spinning->events, (std::vector<std::string>{"message spinning", "terminate"}));

    auto limited = std::make_shared<Events>();
    const size_t stopsBefore = logLinesWith("ran longer than 1000 ms and was stopped");
    makeView(limited, 1000)->loadHTMLString(html, "");
    ASSERT_TRUE(runMainUntil([&] { return limited->ended(); }, kProcessorBoundWaitMs)) << "never stopped";
    EXPECT_EQ(limited->events,
              (std::vector<std::string>{"message spinning", "fail " + std::to_string(WebErrorCode::ScriptTimeLimit)}));
    EXPECT_EQ(logLinesWith("ran longer than 1000 ms and was stopped"), stopsBefore + 1);
  }
}

// Once the spinning page is released, nothing of it runs any more.
TEST_F(WebViewLimitsRealModeTest, AReleasedSpinningPageStops) {
  auto spinning = std::make_shared<Events>();
  auto view = makeView(spinning, 600'000);
  view->loadHTMLString("<script>webkit.messageHandlers.native.postMessage('spinning');"
                       "(async function () { for (;;) await 0; })();</script>",
                       "");
  ASSERT_TRUE(runMainUntil([&] { return spinning->heard("message spinning"); }, 20'000));
  EXPECT_EQ(liveWebPagesForTesting(), 1u);
  view->terminateWebContentProcess();
  drainContentQueues();
  EXPECT_EQ(liveWebPagesForTesting(), 0u);
}

// A page that posts large messages without end, which the main queue
// delivers and frees as they come, holds little: it is stopped at its time
// limit, not at the memory bound. The buffers its long entry lets go and takes
// again count once, not on every message.
TEST_F(WebViewLimitsRealModeTest, MemoryAnEntryLetsGoAndTakesAgainCountsOnce) {
  if (kSanitizedAllocator) GTEST_SKIP() << "the sanitizer's allocator holds freed memory back: the process grows by it";
  auto events = std::make_shared<Events>();
  makeView(events, 1500, 1000, 0.25, size_t{128} << 20)
      ->loadHTMLString("<script>var list = []; for (var i = 0; i < 200000; i++) list.push(1000 + i % 9000);"
                       "for (;;) webkit.messageHandlers.native.postMessage(list);</script>",
                       "");
  ASSERT_TRUE(runMainUntil([&] { return events->ended(); }, kProcessorBoundWaitMs));
  // Stopped at its time limit or, when the main queue falls behind with the
  // deliveries (a machine whose every core is busy), at the bound of what
  // waits for delivery: never at the memory bound.
  EXPECT_EQ(logLinesWith("bytes of memory and were stopped"), 0u);
  const bool atTimeLimit = events->events.back() == "fail " + std::to_string(WebErrorCode::ScriptTimeLimit);
  const bool atWaitingBound = logLinesWith("posted more messages than wait for delivery at once") == 1;
  EXPECT_TRUE(atTimeLimit || atWaitingBound) << events->events.back();
}

// Pages that keep re-arming themselves through anything but a timer: each
// task they cause is charged to the web view's budget, and the page is
// stopped once it is spent (20 ms here, nothing given back).
TEST_F(WebViewBudgetTest, PagesReArmingThemselvesAreStoppedByTheBudget) {
  struct Case {
    const char* label;
    const char* html;
  };
  const Case cases[] = {
      {"reload loop", "<script>location.reload()</script>"},
      {"reload from the load event", "<script>onload = function () { location.reload(); };</script>"},
      {"written document that writes again",
       "<script>document.addEventListener('readystatechange', function () {"
       "  if (document.readyState === 'complete') document.write('<p>again</p>'); });</script>"},
      {"fetch chain", "<script>function f() { fetch('outside.txt').then(function (r) { return r.text(); }).then(f); }"
                      "f();</script>"},
      {"refused fetch chain", "<script>function f() { fetch('http://127.0.0.1:9/').catch(f); } f(); f();</script>"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    auto events = std::make_shared<Events>();
    const size_t stopsBefore = logLinesWith("kept its web-content queue busy past its budget");
    makeView(events, 2000, 20, 0)->loadHTMLString(c.html, fileURLFromPath(kPages));
    ASSERT_TRUE(env->runUntil([&] { return events->heard("terminate"); }, 60'000)) << "never stopped";
    EXPECT_EQ(logLinesWith("kept its web-content queue busy past its budget (20 ms of processor time beyond 0% of the "
                           "time passed) and was stopped"),
              stopsBefore + 1);
  }
  // The refusals were logged once: the clock did not move.
  EXPECT_EQ(logLinesWith("Fetch http://127.0.0.1:9/ not read: not a local file"), 1u);
}

// A refusal the page asks for again and again is logged once a second, the
// next line with the count of those held back.
TEST_F(WebViewBudgetTest, RepeatedRefusalsAreLoggedOnceASecondWithTheirCount) {
  auto events = std::make_shared<Events>();
  auto view = makeView(events);
  view->loadHTMLString("<script>for (var i = 0; i < 5; i++) fetch('http://127.0.0.1:9/a').catch(function () {});"
                       "</script>",
                       fileURLFromPath(kPages));
  ASSERT_TRUE(env->runUntil([&] { return events->heard("finish"); }));
  env->runUntilIdle();
  EXPECT_EQ(logLinesWith("not read: not a local file"), 1u);
  env->advance(1000);
  view->evaluateJavaScript("fetch('http://127.0.0.1:9/b').catch(function () {}); 1", nullptr);
  env->runUntilIdle();
  EXPECT_EQ(logLinesWith("not read: not a local file"), 2u);
  EXPECT_EQ(logLineWith("Fetch http://127.0.0.1:9/b"),
            "Fetch http://127.0.0.1:9/b not read: not a local file (4 more like it held back in the last second)");
}

// An exception thrown again and again (on every tick here, or by listeners
// that overflow the stack on every dispatch) is logged once a second.
TEST_F(WebViewBudgetTest, TheSameUncaughtExceptionIsLoggedOnceASecond) {
  auto events = std::make_shared<Events>();
  auto view = makeView(events);
  view->loadHTMLString("<script>setInterval(function () { throw new Error('again'); }, 100);</script>", "");
  ASSERT_TRUE(env->runUntil([&] { return events->heard("finish"); }));
  env->advance(1000);  // 10 ticks, the first at 100 ms
  EXPECT_EQ(logLinesWith("Uncaught Error: again"), 1u);
  env->advance(100);  // a second after the first
  EXPECT_EQ(logLinesWith("Uncaught Error: again"), 2u);
  EXPECT_TRUE(logLineWith("(9 more like it held back in the last second)"));
}

// Each timer tick pays what firing it costs the host, besides the page's own
// processor time: with that time taken as nothing, 1 ms of budget is spent by
// some 200 empty ticks (5 us each) and the page is stopped.
double frozenProcessorClock() { return 1000.0; }

TEST_F(WebViewBudgetTest, EachTimerTickPaysItsOverhead) {
  auto events = std::make_shared<Events>();
  auto view = makeView(events, 2000, 1, 0);
  setThreadProcessorClockForTesting(&frozenProcessorClock);
  view->loadHTMLString("<script>setInterval(function () {}, 4);</script>", "");
  ASSERT_TRUE(env->runUntil([&] { return events->heard("finish"); }));
  int ticks = 0;
  while (!events->heard("terminate") && ticks < 1000) {
    env->advance(4);
    ++ticks;
  }
  setThreadProcessorClockForTesting(nullptr);
  const int expected = static_cast<int>(1.0 / ProcessorBudget::kTaskOverheadMs);
  EXPECT_GE(ticks, expected - 5);
  EXPECT_LE(ticks, expected + 5);
}

// A file page beside a file of 4 MiB that it fetches again and again (so
// many times, or until it is stopped), keeping the texts or dropping them, in
// a web view whose memory bound is 64 MiB and whose budget is out of reach.
// The engine keeps each text as 8 MiB of UTF-16, made by the host before the
// entry that hands it over.
class WebViewFetchedTextTest : public WebViewLimitsTest {
 protected:
  WebViewFetchedTextTest() : WebViewLimitsTest(false) {}

  static constexpr size_t kFileBytes = size_t{4} << 20;
  static constexpr size_t kBoundBytes = size_t{64} << 20;

  // The messages "fetched" the page posted before it ended or finished its
  // fetches ("message done").
  size_t run(const std::shared_ptr<Events>& events, bool keep, int fetches) {
    std::ofstream(folder_.path() + "/big.txt") << std::string(kFileBytes, 'x');
    std::ofstream(folder_.path() + "/page.html")
        << "<script>var kept = [], n = 0; function f() { fetch('big.txt').then(function (r) { return r.text(); })"
           ".then(function (t) { " << (keep ? "kept.push(t); " : "") << "webkit.messageHandlers.native.postMessage('fetched');"
           " if (++n < " << fetches << ") f(); else webkit.messageHandlers.native.postMessage('done'); }); } f();"
           "</script>";
    auto view = makeView(events, 2000, 1e9, 0.25, kBoundBytes);
    EXPECT_TRUE(view->loadFileURL(fileURLFromPath(folder_.path() + "/page.html"), fileURLFromPath(folder_.path(), true)));
    // A bound against a hang, not a measure (a loaded machine under a
    // sanitizer makes the copies of each text in seconds).
    EXPECT_TRUE(env->runUntil([&] { return events->heard("message done") || events->ended(); }, 300'000));
    size_t fetched = 0;
    for (const auto& e : events->events) fetched += e == "message fetched";
    return fetched;
  }

 private:
  qbtest::TempDir folder_;
};

// Kept, the texts pass the bound: the page is stopped as for memory its
// scripts made (same line, torn down), having kept about the bound's worth.
// 8 texts of 8 MiB fill it, and the one that passes it stops the page. A text
// that takes memory the process holds already (freed by what ran before in
// this process) does not grow it and counts for nothing: up to twice as many
// here. Under a sanitizer's allocator, which hands out again memory freed
// anywhere in the process (its quarantine, its shadow), how much of that there
// is depends on every test that ran before: there the page may keep all its
// texts, and a stop, when it comes, is the memory bound's.
TEST_F(WebViewFetchedTextTest, APageKeepingFetchedTextsIsStoppedAtTheMemoryBound) {
  constexpr size_t most = 16;
  auto events = std::make_shared<Events>();
  const size_t fetched = run(events, true, static_cast<int>(most) + 8);
  const size_t stops = logLinesWith("held more than " + std::to_string(kBoundBytes) + " bytes of memory and were stopped");
  if (kSanitizedAllocator && events->heard("message done")) {
    EXPECT_EQ(fetched, most + 8);
    EXPECT_FALSE(events->ended());
    EXPECT_EQ(stops, 0u);
    return;
  }
  EXPECT_TRUE(events->heard("terminate")) << ::testing::PrintToString(events->events);
  EXPECT_FALSE(events->heard("message done"));
  EXPECT_EQ(stops, 1u);
  EXPECT_GE(fetched, 7u);
  if (!kSanitizedAllocator) {
    EXPECT_LE(fetched, most);
  }
}

// Dropped, each text's memory is given back or taken again by the next one
// (the engine's collector run first when the count nears the bound): 64
// fetches (512 MiB of texts made) run to their end.
TEST_F(WebViewFetchedTextTest, APageDroppingFetchedTextsRunsOn) {
  if (kSanitizedAllocator) GTEST_SKIP() << "the sanitizer's allocator holds freed memory back: the process grows by it";
  auto events = std::make_shared<Events>();
  EXPECT_EQ(run(events, false, 64), 64u);
  EXPECT_TRUE(events->heard("message done")) << ::testing::PrintToString(events->events);
  EXPECT_FALSE(events->ended());
  EXPECT_EQ(logLinesWith("bytes of memory and were stopped"), 0u);
}

// A loaded document's element tree, the JSON the page's document is built
// from, is made on the page's thread before the load's first entry, so no
// entry's first touches see it: it is charged to the page's memory bound
// before it is made (twice its bytes). Here 2 MiB of control characters,
// which the parser takes as U+FFFD (three bytes of UTF-8 each): a tree of 6
// MiB, charged 12 MiB, under a bound of 8 MiB. The entry that builds the
// document touches less than the bound (the text once more, 4 MiB at most),
// so the tree's charge is what passes it: the load fails with the memory
// bound's error, and the page's script never runs.
class WebViewDocumentTreeTest : public WebViewLimitsTest {
 protected:
  WebViewDocumentTreeTest() : WebViewLimitsTest(false) {}
};

TEST_F(WebViewDocumentTreeTest, ADocumentWhoseTreePassesTheMemoryBoundFailsItsLoad) {
  constexpr size_t kBoundBytes = size_t{8} << 20;
  auto events = std::make_shared<Events>();
  auto view = makeView(events, 2000, 1e9, 0.25, kBoundBytes);
  view->loadHTMLString("<p>" + std::string(size_t{2} << 20, '\x01') +
                           "</p><script>webkit.messageHandlers.native.postMessage('ran');</script>",
                       "");
  env->runUntilIdle();
  EXPECT_EQ(events->events, (std::vector<std::string>{"fail " + std::to_string(WebErrorCode::ResourceLimit)}));
  EXPECT_EQ(logLinesWith("held more than " + std::to_string(kBoundBytes) + " bytes of memory and were stopped"), 1u);
}

}  // namespace weblimits
