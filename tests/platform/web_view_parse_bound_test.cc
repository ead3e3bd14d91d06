// The HTML parse bounded from outside the parser: markup whose parse walks a
// deep tree of open elements for every character of a long text, without
// allocating (where a bound kept in the parser's allocator never looks), ends
// at the parse's time limit or within a tick of a stop, in a direct parse, a
// load and a document.write, and with its web view's release. Then the
// parser's failed assertions, contained without touching anybody's abort,
// and the parse's memory bound in what the process holds.
#include <gtest/gtest.h>
#include <gumbo.h>

#include <pthread.h>
#include <signal.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/dispatch.h"
#include "platform/web/html.h"
#include "platform/web/web_view.h"
#include "parse_bound_support.h"
#include "platform_support.h"
#include "support/sanitized_allocator.h"

using namespace platform;
using namespace platform::web_internal;

namespace parsebound {

// ---- markup ----

// The same walk over a tree that a CDATA section in HTML content makes some
// seven elements deeper per unit than it looks (2,400 units: 16,800 deep;
// with 1.85 MB of text the parse runs some 9.5 s).
std::string cdataMarkup(int units, size_t text) {
  std::string html;
  for (int i = 0; i < units; ++i) html += "<li><p><![CDATA[z]]><details><mi><div><ol><mo><rb>]]>";
  html += "<b>";
  html.append(text, 'a');
  return html;
}

struct Kind {
  const char* name;
  std::string markup;
};

std::vector<Kind> walkingKinds() {
  return {{"textarea text read as a comment", walkingMarkup(8'000, 1'500'000)},
          {"a CDATA section in HTML content", cdataMarkup(1'600, 1'500'000)}};
}

// What the parses of one web view told (from its content queue's thread):
// the parse under way, or the last one, with its thread's processor clock.
class ParseReports {
 public:
  ParseReports() {
    setParseObserverForTesting([this](const HtmlParseReport& report) {
      std::lock_guard lock(mutex_);
      if (!report.ended) {
        clockid_t clock{};
        pthread_getcpuclockid(pthread_self(), &clock);
        last_ = Parse{clock, threadCpuMs(clock), std::nullopt};
      } else if (last_) {
        last_->end = report;
      }
    });
  }
  ~ParseReports() { setParseObserverForTesting(nullptr); }
  ParseReports(const ParseReports&) = delete;
  ParseReports& operator=(const ParseReports&) = delete;

  // The processor time of the parse under way so far; 0 when none runs.
  double underWayMs() {
    std::lock_guard lock(mutex_);
    return last_ && !last_->end ? threadCpuMs(last_->clock) - last_->beganAtMs : 0;
  }
  // The last parse, once it has ended.
  std::optional<HtmlParseReport> ended() {
    std::lock_guard lock(mutex_);
    return last_ ? last_->end : std::nullopt;
  }

 private:
  struct Parse {
    clockid_t clock;
    double beganAtMs;
    std::optional<HtmlParseReport> end;
  };
  std::mutex mutex_;
  std::optional<Parse> last_;
};

// Runs the main queue until `done` answers true, asking it every few
// milliseconds (it may turn true without any work for the main queue).
bool runMainWhileAsking(const std::function<bool()>& done, int64_t ms) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (!done()) {
    if (std::chrono::steady_clock::now() >= until) return false;
    runMainUntil(done, 2);
  }
  return true;
}

// A bound against a hang: the walks run seconds when nothing ends them.
constexpr int64_t kWaitMs = 120'000;

class ParseBoundTest : public ::testing::Test {
 protected:
  ~ParseBoundTest() override { setMarkupBoundsForTesting(true); }
};

// The scan (which reads the first kind right and refuses it) is out of the
// way: the parse's own time limit ends both, at the limit.
TEST_F(ParseBoundTest, AParseWalkingADeepTreeWithoutAllocatingEndsAtItsTimeLimit) {
  setMarkupBoundsForTesting(false, 200);
  for (const auto& kind : walkingKinds()) {
    SCOPED_TRACE(kind.name);
    const double before = threadCpuMs();
    const auto parsed = parseHtml(kind.markup);
    const double tookMs = threadCpuMs() - before;
    EXPECT_FALSE(parsed.document.has_value());
    EXPECT_EQ(parsed.refusal, MarkupRefusal::TooComplex);
    EXPECT_EQ(parsed.reason, "a parse longer than 200 ms");
    EXPECT_GE(parsed.processorMs, 200);
    EXPECT_LT(tookMs, 200 + kMarginMs);
  }
}

// With the scan, whatever it makes of them, neither runs past the limit.
TEST_F(ParseBoundTest, WithTheScanNeitherKindRunsPastTheLimit) {
  for (const auto& kind : walkingKinds()) {
    SCOPED_TRACE(kind.name);
    const double before = threadCpuMs();
    const auto parsed = parseHtml(kind.markup);
    EXPECT_FALSE(parsed.document.has_value());
    EXPECT_NE(parsed.refusal, MarkupRefusal::None);
    EXPECT_LT(threadCpuMs() - before, kHtmlParseTimeLimitMs + kMarginMs);
  }
}

// Interrupted in the middle of the walk (the interruption answers true once
// the parse has run 100 ms), the parse ends within a tick.
TEST_F(ParseBoundTest, AnInterruptedParseEndsWithinATickOfItsInterruption) {
  setMarkupBoundsForTesting(false, 600'000);
  const double start = threadCpuMs();
  const auto parsed = parseHtml(walkingMarkup(8'000, 2'000'000), [start] { return threadCpuMs() - start >= 100; });
  EXPECT_TRUE(parsed.interrupted);
  EXPECT_FALSE(parsed.document.has_value());
  EXPECT_LT(threadCpuMs() - start, 100 + kMarginMs);
}

// ---- in a web view ----

class WebViewParseBoundTest : public ParseBoundTest {
 protected:
  ~WebViewParseBoundTest() override {
    view.reset();
    drainContentQueues();
  }

  void open() {
    events = std::make_shared<platformtest::PageEvents>();
    WebViewConfiguration configuration;
    configuration.userContentController->addScriptMessageHandler(events, "native");
    view = std::make_shared<WebView>(Rect::make(0, 0, 320, 480), configuration);
    view->setNavigationDelegate(events);
  }

  bool drainContentQueues(int64_t ms = kWaitMs) {
    bool drained = false;
    afterWebContentForTesting([&drained] { mainQueue()->async([&drained] { drained = true; }); });
    return runMainUntil([&] { return drained; }, ms);
  }

  // A page that builds the walking markup in script and writes it.
  static std::string writingPage() {
    return "<script>webkit.messageHandlers.native.postMessage('writing');"
           "document.write('<template><textarea><!--</textarea>' + '<x>'.repeat(8000) + '<b>' + "
           "'a'.repeat(2000000));</script>";
  }

  std::shared_ptr<platformtest::PageEvents> events;
  std::shared_ptr<WebView> view;
  platformtest::WebLogRecorder log;
};

// A load of either kind fails as markup the parser does not take, at the
// parse's limit.
TEST_F(WebViewParseBoundTest, ALoadOfSuchMarkupFailsAtTheParseTimeLimit) {
  setMarkupBoundsForTesting(false);
  const auto kinds = walkingKinds();
  for (size_t k = 0; k < kinds.size(); ++k) {
    const auto& kind = kinds[k];
    SCOPED_TRACE(kind.name);
    ParseReports reports;
    open();
    view->loadHTMLString(kind.markup, "");
    ASSERT_TRUE(runMainUntil([&] { return events->ended() || events->heard("finish"); }, kWaitMs));
    EXPECT_EQ(events->events, (std::vector<std::string>{"fail " + std::to_string(WebErrorCode::DocumentTooComplex)}));
    EXPECT_EQ(log.count("was refused (a parse longer than 500 ms)"), k + 1);
    ASSERT_TRUE(runMainWhileAsking([&] { return reports.ended().has_value(); }, kWaitMs));
    EXPECT_LT(reports.ended()->processorMs, kHtmlParseTimeLimitMs + kMarginMs);
    view.reset();
    ASSERT_TRUE(drainContentQueues());
  }
}

// The same markup written by the page stops it, at the parse's limit (not
// when the parse ends on its own, long past the page's time limit).
TEST_F(WebViewParseBoundTest, APageWritingSuchMarkupIsStoppedAtTheParseTimeLimit) {
  setMarkupBoundsForTesting(false);
  ParseReports reports;
  open();
  view->loadHTMLString(writingPage(), "");
  ASSERT_TRUE(runMainUntil([&] { return events->ended() || events->heard("finish"); }, kWaitMs));
  EXPECT_EQ(events->events,
            (std::vector<std::string>{"message writing", "fail " + std::to_string(WebErrorCode::ResourceLimit)}));
  EXPECT_EQ(log.count("wrote markup the parser does not take (a parse longer than 500 ms) and was stopped"), 1u);
  ASSERT_TRUE(runMainWhileAsking([&] { return reports.ended().has_value(); }, kWaitMs));
  EXPECT_LT(reports.ended()->processorMs, kHtmlParseTimeLimitMs + kMarginMs);
}

// With the limit lifted, a web view released in the middle of the walk (its
// load's, or its page's write's) ends the parse within a tick of the
// parse's processor time, and its content queue goes on.
TEST_F(WebViewParseBoundTest, AWebViewReleasedDuringSuchAParseLetsItsQueueGo) {
  setMarkupBoundsForTesting(false, 600'000);
  for (const bool writes : {false, true}) {
    SCOPED_TRACE(writes ? "a write" : "a load");
    ParseReports reports;
    open();
    view->loadHTMLString(writes ? writingPage() : walkingMarkup(8'000, 2'000'000), "");
    // Well into the walk (the tree takes a few milliseconds).
    ASSERT_TRUE(runMainWhileAsking([&] { return reports.underWayMs() >= 300; }, kWaitMs));
    view.reset();
    const double stoppedAtMs = reports.underWayMs();
    ASSERT_TRUE(runMainWhileAsking([&] { return reports.ended().has_value(); }, kWaitMs));
    const auto ended = *reports.ended();
    EXPECT_TRUE(ended.interrupted);
    EXPECT_LT(ended.processorMs - stoppedAtMs, kParseTickMs + kMarginMs);
    ASSERT_TRUE(drainContentQueues());
    EXPECT_EQ(liveWebPagesForTesting(), 0u);
  }
}

// ---- the parser's failed assertions ----

// Markup on which the distribution's parser fails an assertion of its own.
const char kFailingMarkup[] = "<table><math><mo><![CDATA[z]]> ";

std::atomic<int> abortsHeard{0};
void countAbort(int) { abortsHeard.fetch_add(1); }

void handleAborts(void (*handler)(int)) {
  struct sigaction action {};
  action.sa_handler = handler;
  sigemptyset(&action.sa_mask);
  sigaction(SIGABRT, &action, nullptr);
}

bool refusedAsParserFailure(const HtmlParse& parsed) {
  return !parsed.document && parsed.parserFailed && parsed.reason == "markup the parser fails on";
}

using ParserAssertionTest = InAChildTest;
using ParseMemoryTest = InAChildTest;

// An application's abort handler, installed after the first parse or before
// it, hears nothing of the parser's failure, and the process lives on.
TEST_F(ParserAssertionTest, AnApplicationsAbortHandlerNeverHearsTheParser) {
  EXPECT_EXIT(
      {
        const bool first = parseHtml("<p>first</p>").document.has_value();
        handleAborts(&countAbort);
        const bool refused = refusedAsParserFailure(parseHtml(kFailingMarkup));
        exitWith(first && refused && abortsHeard.load() == 0);
      },
      ::testing::ExitedWithCode(0), "");
  EXPECT_EXIT(
      {
        handleAborts(&countAbort);
        const bool refused = refusedAsParserFailure(parseHtml(kFailingMarkup));
        exitWith(refused && abortsHeard.load() == 0);
      },
      ::testing::ExitedWithCode(0), "");
}

// Aborts that are not the parser's are not taken for it, during a parse
// too: one sent to the process, one raised by the interruption the parse
// asks (code of the web view's, not the parser's).
TEST_F(ParserAssertionTest, OtherAbortsDuringAParseEndTheProcess) {
  std::string markup;
  for (int i = 0; i < 5'000; ++i) markup += "<p>x";  // allocates well past 64 times
  EXPECT_EXIT(parseHtml(markup, [] { return kill(getpid(), SIGABRT) != 0; }),
              ::testing::KilledBySignal(SIGABRT), "");
  EXPECT_EXIT(parseHtml(markup, []() -> bool { std::abort(); }), ::testing::KilledBySignal(SIGABRT), "");
}

// The parser called by anything but the web view's parse asserts as the C
// library does.
TEST_F(ParserAssertionTest, TheParserOutsideAParseAbortsAsBefore) {
  EXPECT_EXIT(
      {
        parseHtml("<p>first</p>");
        gumbo_parse(kFailingMarkup);
      },
      ::testing::KilledBySignal(SIGABRT), "Assertion");
}

// ---- the parse's memory ----

// The process's resident and peak resident size, in KiB.
long statusKiB(const char* field) {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind(field, 0) == 0) return std::strtol(line.c_str() + std::strlen(field), nullptr, 10);
  return -1;
}

// Markup of many small elements with an attribute each: gumbo's blocks are
// small, and each costs the process about twice what gumbo asked for.
std::string manySmallElements(int n) {
  std::string html;
  html.reserve(static_cast<size_t>(n) * 9);
  for (int i = 0; i < n; ++i) html += "<br a=b>";
  return html;
}

// A parse ended at the memory bound took the process no further than about
// the bound (measured in a process of its own, whose peak is this parse's).
TEST_F(ParseMemoryTest, TheBoundIsWhatTheProcessHoldsForTheParse) {
  EXPECT_EXIT(
      {
        setMarkupBoundsForTesting(false, 600'000);
        const std::string markup = manySmallElements(1'500'000);
        const long before = statusKiB("VmRSS:");
        const auto parsed = parseHtml(markup);
        const long grewMiB = (statusKiB("VmHWM:") - before) >> 10;
        const bool refused = !parsed.document && parsed.reason == "a parse holding more than 128 MiB";
        std::fprintf(stderr, "grew %ld MiB\n", grewMiB);
        exitWith(refused && (qbtest::kSanitizedAllocator || grewMiB < 128 + 16));
      },
      ::testing::ExitedWithCode(0), "");
}

}  // namespace parsebound
