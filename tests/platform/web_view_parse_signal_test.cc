// The parse ticks' signal is the application's to have: an application that
// waits for a real-time signal (blocked in every thread, taken with sigwait)
// gets every one it sends itself during parses; one that handles a signal is
// never called by a parse, whether its handler was there before the first
// parse or came between parses, and the parses after it still end at their
// limit; one that changes the handler during a parse gets one tick of it at
// most. When parses go without ticks, the log says why, once. And where the
// end comes from when a tick lands outside gumbo's own code: gumbo's next
// call out, the allocator or a string routine of the C library's.
//
// The signal is chosen once a process: each case that looks at it runs in a
// process of its own.
#include <gtest/gtest.h>

#include <dirent.h>
#include <pthread.h>
#include <signal.h>
#include <sys/resource.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <cstdio>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "parse_bound_support.h"
#include "platform/web/html.h"
#include "platform/web/web_view.h"
#include "support/sanitized_allocator.h"

using namespace platform;
using namespace platform::web_internal;

namespace parsesignal {

using parsebound::exitWith;
using parsebound::kMarginMs;
using parsebound::threadCpuMs;
using parsebound::walkingMarkup;

// A walk that takes some 2 s when nothing ends it: a parse that missed its
// ticks shows within seconds. (Where a test looks at the ticks, the
// allocator's every-64 looks are off: one of them may fall on one of the
// walk's rare allocations.)
std::string shortWalk() { return walkingMarkup(8'000, 600'000); }
void ticksAlone() { setParseWatchForTesting({.allocatorLooks = 0}); }

constexpr double kLimitMs = 100;

// How long after a tick that found it overdue a parse may end, its blocks
// freed. (The address sanitizer's free takes some 4 ms for a walk's; the
// thread sanitizer holds a tick until the thread's next call it
// intercepts.)
constexpr double kSlackMs = kMarginMs > 150 ? kMarginMs : qbtest::kSanitizedAllocator ? 20 : 3;

// A parse of the walk ends at its limit, as one that ticks does.
bool endsAtItsLimit(const std::string& markup) {
  const double start = threadCpuMs();
  const auto parsed = parseHtml(markup);
  const double tookMs = threadCpuMs() - start;
  const bool ok = !parsed.document && parsed.reason == "a parse longer than 100 ms" && tookMs < kLimitMs + kMarginMs;
  if (!ok)
    std::fprintf(stderr, "parse: %s after %.0f ms\n", parsed.document ? "a document" : parsed.reason.c_str(), tookMs);
  return ok;
}

// The threads of this process (a child of a death test has the one).
int threadCount() {
  int n = 0;
  if (DIR* d = opendir("/proc/self/task")) {
    while (dirent* e = readdir(d))
      if (e->d_name[0] != '.') ++n;
    closedir(d);
  }
  return n;
}

// What a child's web log said.
class LogLines {
 public:
  LogLines() {
    setWebLogSink([this](WebLogLevel, const std::string& line) {
      std::lock_guard lock(mutex_);
      lines_.push_back(line);
    });
  }
  size_t count(const std::string& part) {
    std::lock_guard lock(mutex_);
    size_t n = 0;
    for (const auto& line : lines_) n += line.find(part) != std::string::npos;
    return n;
  }
  void print() {
    std::lock_guard lock(mutex_);
    for (const auto& line : lines_) std::fprintf(stderr, "log: %s\n", line.c_str());
  }

 private:
  std::mutex mutex_;
  std::vector<std::string> lines_;
};

std::atomic<int> handled{0};
void countSignal(int) { handled.fetch_add(1); }

void handle(int signal, void (*handler)(int)) {
  struct sigaction action {};
  action.sa_handler = handler;
  sigemptyset(&action.sa_mask);
  sigaction(signal, &action, nullptr);
}

// A handler that takes the signal's information, as the ticks' own does.
void countSignalWithInfo(int, siginfo_t*, void*) { handled.fetch_add(1); }

void handleWithInfo(int signal, void (*handler)(int, siginfo_t*, void*)) {
  struct sigaction action {};
  action.sa_sigaction = handler;
  action.sa_flags = SA_SIGINFO;
  sigemptyset(&action.sa_mask);
  sigaction(signal, &action, nullptr);
}

void block(int signal) {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, signal);
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

bool blockedHere(int signal) {
  sigset_t set;
  pthread_sigmask(SIG_BLOCK, nullptr, &set);
  return sigismember(&set, signal) == 1;
}

class ParseSignalTest : public parsebound::InAChildTest {
 protected:
  ~ParseSignalTest() override {
    setMarkupBoundsForTesting(true);
    setParseWatchForTesting({});
  }
};

// An application blocks the highest real-time signal in every thread before
// anything starts and takes it with sigwait, sending it to itself every few
// milliseconds while four walks are parsed: it gets every one, and the
// parses still end at their limit (on another signal).
TEST_F(ParseSignalTest, AnApplicationWaitingForTheHighestSignalGetsEveryOneItSends) {
  EXPECT_EXIT(
      {
        if (threadCount() != 1) {
          std::fprintf(stderr, "%d threads before the test\n", threadCount());
          exitWith(false);
        }
        block(SIGRTMAX);
        setMarkupBoundsForTesting(false, kLimitMs);
        ticksAlone();
        const std::string markup = shortWalk();
        // The last one sent carries 1. (A bound against a hang where one is
        // lost: they come every few milliseconds, the last at once.)
        std::atomic<int> received{0};
        std::thread waiter([&received] {
          sigset_t set;
          sigemptyset(&set);
          sigaddset(&set, SIGRTMAX);
          const timespec bound{5, 0};
          for (;;) {
            siginfo_t info{};
            const int s = sigtimedwait(&set, &info, &bound);
            if (s < 0 && errno == EAGAIN) return;
            if (s != SIGRTMAX) continue;
            received.fetch_add(1);
            if (info.si_value.sival_int == 1) return;
          }
        });
        std::atomic<bool> parsing{true};
        int sent = 0;
        std::thread sender([&parsing, &sent] {
          while (parsing.load()) {
            if (sigqueue(getpid(), SIGRTMAX, sigval{0}) == 0) ++sent;
            std::this_thread::sleep_for(std::chrono::milliseconds(3));
          }
        });
        bool atLimit = true;
        for (int i = 0; i < 4; ++i) atLimit = endsAtItsLimit(markup) && atLimit;
        const bool stillBlocked = blockedHere(SIGRTMAX);
        parsing.store(false);
        sender.join();
        sigqueue(getpid(), SIGRTMAX, sigval{1});
        ++sent;
        waiter.join();
        std::fprintf(stderr, "sent %d, received %d\n", sent, received.load());
        exitWith(atLimit && stillBlocked && sent > 4 && received.load() == sent);
      },
      ::testing::ExitedWithCode(0), "");
}

// An application's handler of the highest real-time signal, there before
// the first parse or put there between parses (one that takes the signal's
// information, as the ticks' handler does), is never called by a parse (only
// by the application's own raise), and the parses after it still end at
// their limit. The move is said in the log.
TEST_F(ParseSignalTest, AnApplicationsHandlerIsNeverCalledByAParse) {
  EXPECT_EXIT(
      {
        handle(SIGRTMAX, &countSignal);
        setMarkupBoundsForTesting(false, kLimitMs);
        ticksAlone();
        const std::string markup = shortWalk();
        const bool atLimit = endsAtItsLimit(markup) && endsAtItsLimit(markup);
        const int byParses = handled.load();
        raise(SIGRTMAX);
        exitWith(atLimit && byParses == 0 && handled.load() == 1);
      },
      ::testing::ExitedWithCode(0), "");
  EXPECT_EXIT(
      {
        LogLines log;
        setMarkupBoundsForTesting(false, kLimitMs);
        ticksAlone();
        const std::string markup = shortWalk();
        const bool first = endsAtItsLimit(markup);
        handleWithInfo(SIGRTMAX, &countSignalWithInfo);
        const bool later = endsAtItsLimit(markup) && endsAtItsLimit(markup);
        const int byParses = handled.load();
        raise(SIGRTMAX);
        const std::string moved = "The HTML parse ticks' signal " + std::to_string(SIGRTMAX) +
                                  " has had another handler since they took it (the application's): later parses "
                                  "tick on signal " +
                                  std::to_string(SIGRTMAX - 1);
        const bool said = log.count(moved) == 1;
        if (!said) log.print();
        exitWith(first && later && byParses == 0 && handled.load() == 1 && said);
      },
      ::testing::ExitedWithCode(0), "");
}

// An application that puts its handler on the ticks' signal while a parse
// runs gets one of that parse's ticks at most (each tick sets the next from
// the handler of the ticks); the parses after it tick on another signal.
TEST_F(ParseSignalTest, AHandlerPutThereDuringAParseGetsOneTickAtMost) {
  EXPECT_EXIT(
      {
        setMarkupBoundsForTesting(false, 600'000);
        ticksAlone();
        const std::string markup = shortWalk();
        parseHtml("<p>");  // the signal is taken
        bool taken = false;
        const double start = threadCpuMs();
        // Asked at every tick too: the handler goes there from the ticks'.
        parseHtml(markup, [&taken, start] {
          if (!taken && threadCpuMs() - start >= 50) {
            handle(SIGRTMAX, &countSignal);
            taken = true;
          }
          return false;
        });
        const int byThatParse = handled.load();
        setMarkupBoundsForTesting(false, kLimitMs);
        const bool later = endsAtItsLimit(markup);
        std::fprintf(stderr, "the handler heard %d ticks\n", byThatParse);
        exitWith(taken && byThatParse <= 1 && handled.load() == byThatParse && later);
      },
      ::testing::ExitedWithCode(0), "");
}

// A parse ended by a long jump out of the ticks' handler leaves the thread's
// signal mask as it was: the next parses on the thread tick and end at their
// limit too.
TEST_F(ParseSignalTest, AParseAfterOneEndedByALongJumpStillEndsAtItsLimit) {
  EXPECT_EXIT(
      {
        setMarkupBoundsForTesting(false, kLimitMs);
        ticksAlone();
        const std::string markup = shortWalk();
        sigset_t before;
        pthread_sigmask(SIG_BLOCK, nullptr, &before);
        bool ok = true;
        for (int i = 0; i < 3; ++i) {
          ok = endsAtItsLimit(markup) && ok;
          sigset_t after;
          pthread_sigmask(SIG_BLOCK, nullptr, &after);
          for (int s = SIGRTMIN; s <= SIGRTMAX; ++s) ok = ok && sigismember(&after, s) == sigismember(&before, s);
        }
        exitWith(ok);
      },
      ::testing::ExitedWithCode(0), "");
}

// A tick that lands outside gumbo's own code (here: every tick) leaves the
// end to gumbo's next call out: the walk, which allocates only when its
// text's buffer grows, ends at the next growth after its limit, long before
// its own end, with the allocator's every-64 looks off.
TEST_F(ParseSignalTest, ATickOutsideTheParserEndsTheParseAtItsNextCallOut) {
  setMarkupBoundsForTesting(false, kLimitMs);
  setParseWatchForTesting({.ticksInParser = false, .allocatorLooks = 0});
  const double start = threadCpuMs();
  const auto parsed = parseHtml(shortWalk());
  const double tookMs = threadCpuMs() - start;
  EXPECT_FALSE(parsed.document.has_value());
  EXPECT_EQ(parsed.reason, "a parse longer than 100 ms");
  // The text's buffer doubles: the growth after the limit comes by twice it.
  EXPECT_LT(tookMs, 2 * kLimitMs + kMarginMs);
}

// Two formatting elements of 1,000 attributes whose names of 4,000
// characters differ only at their end, the second's in reverse order. gumbo
// looks for duplicates among an element's attributes as it reads them
// (strlen), then compares the second element with the first by looking up
// each of the first's attributes in the second's (strcasecmp): nearly all
// its time goes to the C library, the last third or more of it to the
// comparison, which allocates nothing.
std::string attributeComparingMarkup() {
  constexpr int kAttributes = 1'000;
  const std::string prefix(3'994, 'a');
  auto name = [&prefix](int i) { return prefix + std::to_string(100'000 + i); };
  std::string html = "<b";
  for (int i = 0; i < kAttributes; ++i) html += " " + name(i);
  html += "><b";
  for (int i = kAttributes; i-- > 0;) html += " " + name(i);
  html += ">x";
  return html;
}

// A parse ends at the tick that finds it overdue, wherever its time goes:
// in gumbo's own code (the walk: the tick leaves gumbo at once) or in the C
// library's string routines (the comparison: the routine's return leaves
// it; waiting for a tick that happens to land in gumbo itself took 45 to 280
// ms more here). The interruption, asked at every tick and at the
// allocator's looks, answers true once two askings came a tick apart (a
// stretch without allocations has begun), whatever this machine's speed.
TEST_F(ParseSignalTest, AParseEndsAtTheTickThatFindsItOverdueWhereverItsTimeGoes) {
  setMarkupBoundsForTesting(false, 600'000);
  const struct {
    const char* name;
    std::string markup;
  } kinds[] = {{"the walk", shortWalk()}, {"the comparison", attributeComparingMarkup()}};
  for (const auto& kind : kinds) {
    for (int i = 0; i < 3; ++i) {
      SCOPED_TRACE(std::string(kind.name) + " " + std::to_string(i));
      std::atomic<double> lastAskedMs{threadCpuMs()};
      std::atomic<double> interruptedAtMs{0};
      const auto parsed = parseHtml(kind.markup, [&] {
        const double now = threadCpuMs();
        if (interruptedAtMs.load() == 0 && now - lastAskedMs.exchange(now) >= kParseTickMs * 0.7)
          interruptedAtMs.store(now);
        return interruptedAtMs.load() != 0;
      });
      const double endedAtMs = threadCpuMs();
      ASSERT_TRUE(parsed.interrupted);
      EXPECT_LT(endedAtMs - interruptedAtMs.load(), kSlackMs);
    }
  }
}

// Markup whose parse allocates all along (some 400 ms of it): without ticks,
// the allocator's looks end it at its limit.
std::string allocatingMarkup() {
  std::string html;
  for (int i = 0; i < 300'000; ++i) html += "<i>x</i>";
  return html;
}

// When parses go without ticks, the log says why, once, and a parse that
// allocates still ends at its limit.
TEST_F(ParseSignalTest, ParsesWithoutTicksAreSaidInTheLogOnce) {
  const std::string bounded = "): a parse is then bounded by its allocations alone";
  // Every real-time signal blocked on the thread: none is free.
  EXPECT_EXIT(
      {
        LogLines log;
        sigset_t all;
        sigemptyset(&all);
        for (int s = SIGRTMIN; s <= SIGRTMAX; ++s) sigaddset(&all, s);
        pthread_sigmask(SIG_BLOCK, &all, nullptr);
        setMarkupBoundsForTesting(false, kLimitMs);
        const std::string markup = allocatingMarkup();
        const bool atLimit = endsAtItsLimit(markup) && endsAtItsLimit(markup);
        const bool said = log.count("HTML parses go without ticks (every real-time signal has a handler or is "
                                    "blocked on the parsing thread" + bounded) == 1;
        if (!said) log.print();
        exitWith(atLimit && said && blockedHere(SIGRTMAX) && blockedHere(SIGRTMIN));
      },
      ::testing::ExitedWithCode(0), "");
  // No signal may be queued: the system gives no timer.
  EXPECT_EXIT(
      {
        LogLines log;
        const rlimit none{};
        setrlimit(RLIMIT_SIGPENDING, &none);
        setMarkupBoundsForTesting(false, kLimitMs);
        const std::string markup = allocatingMarkup();
        const bool atLimit = endsAtItsLimit(markup) && endsAtItsLimit(markup);
        const bool said = log.count("HTML parses go without ticks (the parse timer could not be made: " +
                                    std::string(std::strerror(EAGAIN)) + bounded) == 1;
        if (!said) log.print();
        exitWith(atLimit && said);
      },
      ::testing::ExitedWithCode(0), "");
  // A thread that blocks the ticks' signal, taken on another thread: it is
  // never unblocked.
  EXPECT_EXIT(
      {
        LogLines log;
        parseHtml("<p>");  // the highest one is taken here
        setMarkupBoundsForTesting(false, kLimitMs);
        const std::string markup = allocatingMarkup();
        bool ok = false;
        std::thread parser([&] {
          block(SIGRTMAX);
          ok = endsAtItsLimit(markup) && endsAtItsLimit(markup) && blockedHere(SIGRTMAX);
        });
        parser.join();
        const bool said = log.count("HTML parses on a thread that blocks signal " + std::to_string(SIGRTMAX) +
                                    " go without ticks (the parse ticks' signal, never unblocked" + bounded) == 1;
        if (!said) log.print();
        exitWith(ok && said);
      },
      ::testing::ExitedWithCode(0), "");
}

}  // namespace parsesignal
