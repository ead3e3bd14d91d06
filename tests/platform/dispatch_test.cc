#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <limits>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/clock.h"
#include "platform/dispatch.h"
#include "platform/dispatch_backend.h"
#include "platform/test_environment.h"

using namespace platform;

namespace {

class DispatchTest : public ::testing::Test {
 protected:
  TestEnvironment env;
  std::vector<std::string> log;
};

TEST_F(DispatchTest, AsyncNeverRunsInlineAndKeepsSubmissionOrderAcrossQueues) {
  auto serial = createSerialQueue("com.test.serial");
  mainQueue()->async([&] { log.push_back("main1"); });
  serial->async([&] { log.push_back("serial1"); });
  globalQueue()->async([&] { log.push_back("global1"); });
  mainQueue()->async([&] { log.push_back("main2"); });
  EXPECT_TRUE(log.empty());
  EXPECT_EQ(env.runUntilIdle(), 4u);
  EXPECT_EQ(log, (std::vector<std::string>{"main1", "serial1", "global1", "main2"}));
}

TEST_F(DispatchTest, DelayedWorkFiresInDeadlineOrderNeverEarlyAndWhatItPostsRunsBeforeLaterDeadlines) {
  auto q = createSerialQueue("com.test.delay");
  q->after(300, [&] { log.push_back("300"); });
  mainQueue()->after(100, [&] { log.push_back("100"); });
  mainQueue()->after(150, [&] {
    log.push_back("150");
    mainQueue()->async([&] { log.push_back("150-child"); });
    mainQueue()->after(5, [&] { log.push_back("155"); });
  });
  q->after(200, [&] { log.push_back("200a"); });
  globalQueue()->after(200, [&] { log.push_back("200b"); });
  q->after(0.5, [&] { log.push_back("0.5"); });

  env.advance(0);
  EXPECT_TRUE(log.empty());
  env.advance(1);
  EXPECT_EQ(log, std::vector<std::string>{"0.5"});
  env.advance(98);  // t = 99
  EXPECT_EQ(log.size(), 1u);
  env.advance(1);  // t = 100
  EXPECT_EQ(log.back(), "100");
  env.advance(199);  // t = 299
  EXPECT_EQ(log, (std::vector<std::string>{"0.5", "100", "150", "150-child", "155", "200a", "200b"}));
  env.advance(1);
  EXPECT_EQ(log.back(), "300");
}

TEST_F(DispatchTest, OneShotTimerFiresOnceAndCancelOrDestructionStopsIt) {
  int fired = 0;
  auto t = Timer::once(mainQueue(), 1500, [&] { ++fired; });
  env.advance(1499);
  EXPECT_EQ(fired, 0);
  env.advance(1);
  EXPECT_EQ(fired, 1);
  EXPECT_FALSE(t->isValid());
  env.advance(10'000);
  EXPECT_EQ(fired, 1);

  auto c = Timer::once(mainQueue(), 100, [&] { fired += 10; });
  c->cancel();
  EXPECT_EQ(env.delayedCount(), 0u);

  // Destroying the timer cancels it and releases what its block captured.
  auto token = std::make_shared<int>(100);
  std::weak_ptr<int> weak = token;
  {
    auto d = Timer::once(mainQueue(), 100, [&fired, token] { fired += *token; });
    token.reset();
    EXPECT_FALSE(weak.expired());
  }
  EXPECT_TRUE(weak.expired());
  env.advance(1000);
  EXPECT_EQ(fired, 1);
}

// Delays past any int64 of microseconds (a time-out of 1e18 seconds from a
// configuration) wait, rather than wrap into the past and fire at once.
TEST_F(DispatchTest, EnormousDelaysWaitInsteadOfFiringAtOnce) {
  int fired = 0;
  auto once = Timer::once(mainQueue(), 1e21, [&] { ++fired; });
  auto repeating = Timer::repeating(mainQueue(), 1e300, [&] { ++fired; });
  mainQueue()->after(9.3e18, [&] { ++fired; });
  env.advance(int64_t{10} * 365 * 24 * 3600 * 1000);
  EXPECT_EQ(fired, 0);
}

TEST_F(DispatchTest, RepeatingTimerKeepsItsRateUntilCancelledFromItsOwnBlock) {
  std::vector<int64_t> at;
  const int64_t start = nowMonotonicMs();
  std::shared_ptr<Timer> t = Timer::repeating(mainQueue(), 1000, [&] {
    at.push_back(nowMonotonicMs() - start);
    if (at.size() == 3) t->cancel();
  });
  env.advance(10'000);
  EXPECT_EQ(at, (std::vector<int64_t>{1000, 2000, 3000}));
}

// Delays out of any sensible range neither overflow into "at once" nor into
// the past: huge ones wait (about for ever), the rest run at the next turn.
TEST_F(DispatchTest, HugeNegativeAndNanDelaysSaturate) {
  constexpr double kInf = std::numeric_limits<double>::infinity();
  const double huge[] = {1e300, kInf, 9.3e18 /* INT64_MAX ms */, kMaxDelayMs, kMaxDelayMs * 0.999};
  const double soon[] = {0, -5, -1e308, -kInf, std::numeric_limits<double>::quiet_NaN()};
  int late = 0, early = 0;
  std::vector<std::shared_ptr<Timer>> timers;
  // A wrapped-around repeating timer would fire on every turn: the first
  // firing stops them all, so a failure ends quickly.
  auto fired = [&] {
    ++late;
    for (auto& t : timers) t->cancel();
  };
  for (double d : huge) {
    mainQueue()->after(d, fired);
    timers.push_back(Timer::once(mainQueue(), d, fired));
    timers.push_back(Timer::repeating(mainQueue(), d, fired));
  }
  for (double d : soon) mainQueue()->after(d, [&] { ++early; });
  EXPECT_EQ(early, 0);  // still never inline
  env.advance(0);
  EXPECT_EQ(early, 5);
  env.advance(int64_t{100} * 365 * 24 * 3600 * 1000);  // a century
  EXPECT_EQ(late, 0);
  EXPECT_EQ(env.delayedCount(), 3 * std::size(huge));
}

TEST_F(DispatchTest, MainThreadAndCurrentQueueFollowTheRunningBlockAndSyncOnItselfRunsInline) {
  EXPECT_TRUE(isMainThread());
  bool onMain = false, onGlobal = true, onSerial = true, inner = false;
  std::string label;
  auto serial = createSerialQueue("com.test.label");
  mainQueue()->async([&] { onMain = isMainThread(); });
  globalQueue()->async([&] { onGlobal = isMainThread(); });
  serial->async([&] {
    onSerial = isMainThread();
    label = currentQueueLabel();
    serial->sync([&] { inner = serial->isCurrent(); });  // would deadlock if not inline
  });
  env.runUntilIdle();
  EXPECT_TRUE(onMain);
  EXPECT_FALSE(onGlobal);
  EXPECT_FALSE(onSerial);
  EXPECT_EQ(label, "com.test.label");
  EXPECT_TRUE(inner);
}

// ---- real mode (no TestEnvironment): worker threads, so waits are real

bool waitFor(const std::function<bool()>& pred) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!pred()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::yield();
  }
  return true;
}

TEST(DispatchRealMode, SerialQueueNeverRunsTwoBlocksAtOnceAndKeepsOrder) {
  auto q = createSerialQueue("com.test.real.serial");
  std::atomic<int> inside{0}, done{0};
  std::atomic<bool> overlap{false};
  std::vector<int> order;  // only touched inside the queue
  std::vector<std::thread> producers;
  for (int p = 0; p < 4; ++p) {
    producers.emplace_back([&, p] {
      for (int i = 0; i < 250; ++i) {
        q->async([&, p, i] {
          if (inside.fetch_add(1) != 0) overlap = true;
          if (p == 0) order.push_back(i);
          inside.fetch_sub(1);
          done.fetch_add(1);
        });
      }
    });
  }
  for (auto& t : producers) t.join();
  ASSERT_TRUE(waitFor([&] { return done.load() == 1000; }));
  EXPECT_FALSE(overlap.load());
  std::vector<int> expected(250);
  for (int i = 0; i < 250; ++i) expected[i] = i;
  q->sync([&] { EXPECT_EQ(order, expected); });
}

// Blocks that each wait until all of them run: the pool grows past the
// workers it keeps idle instead of leaving the later ones queued behind the
// waiting ones (which would never finish).
TEST(DispatchRealMode, GlobalBlocksThatWaitForEachOtherAllGetAWorker) {
  constexpr int kBlocks = 12;
  struct Meeting {  // outlives the test if a block is still waiting
    std::mutex m;
    std::condition_variable cv;
    int arrived = 0;
    std::atomic<int> finished{0};
  };
  auto meeting = std::make_shared<Meeting>();
  for (int i = 0; i < kBlocks; ++i) {
    globalQueue()->async([meeting] {
      std::unique_lock lock(meeting->m);
      ++meeting->arrived;
      meeting->cv.notify_all();
      meeting->cv.wait_for(lock, std::chrono::seconds(10), [&] { return meeting->arrived == kBlocks; });
      if (meeting->arrived == kBlocks) meeting->finished.fetch_add(1);
    });
  }
  ASSERT_TRUE(waitFor([&] { return meeting->finished.load() == kBlocks; }));
}

// With the whole pool idle, the next block goes to the worker that went idle
// last, so blocks posted one after another keep running on one thread; a
// pool that woke its idle workers in turn would spread them over all of
// them.
TEST(DispatchRealMode, AnIdlePoolHandsTheNextBlockToTheWorkerIdleTheShortestTime) {
  // At least two workers exist: make sure by keeping two busy at once.
  std::atomic<int> started{0};
  std::atomic<bool> release{false};
  for (int i = 0; i < 2; ++i) {
    globalQueue()->async([&] {
      started.fetch_add(1);
      while (!release.load()) std::this_thread::yield();
    });
  }
  ASSERT_TRUE(waitFor([&] { return started.load() == 2; }));
  release = true;
  const auto allParked = [] {
    const auto counts = workerPoolCountsForTesting();
    return counts.threads >= 2 && counts.parked == counts.threads;
  };
  std::vector<std::thread::id> ranOn;
  for (int i = 0; i < 20; ++i) {
    ASSERT_TRUE(waitFor(allParked));
    std::atomic<bool> ran{false};
    std::thread::id id;
    globalQueue()->async([&] {
      id = std::this_thread::get_id();
      ran = true;
    });
    ASSERT_TRUE(waitFor([&] { return ran.load(); }));
    ranOn.push_back(id);
  }
  for (size_t i = 1; i < ranOn.size(); ++i) EXPECT_EQ(ranOn[i], ranOn[0]) << "block " << i;
}

// A block a worker posts to a background queue waits for the poster's block
// to end and runs on the same worker; the poster's long pause gives a second
// worker every chance to run it early if it were woken.
TEST(DispatchRealMode, BackgroundWorkPostedFromAWorkerRunsThereOnceItsBlockEnds) {
  auto background = createBackgroundSerialQueue("com.test.real.background");
  struct Seen {
    std::atomic<bool> posterDone{false}, ran{false}, sawPosterDone{false};
    std::thread::id poster, runner;
  };
  auto seen = std::make_shared<Seen>();
  globalQueue()->async([seen, background] {
    seen->poster = std::this_thread::get_id();
    background->async([seen] {
      seen->runner = std::this_thread::get_id();
      seen->sawPosterDone = seen->posterDone.load();
      seen->ran = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    seen->posterDone = true;
  });
  ASSERT_TRUE(waitFor([&] { return seen->ran.load(); }));
  EXPECT_TRUE(seen->sawPosterDone.load());
  EXPECT_EQ(seen->runner, seen->poster);

  // From a thread that is not a worker, nothing waits.
  std::atomic<bool> ranFromHere{false};
  background->async([&] { ranFromHere = true; });
  ASSERT_TRUE(waitFor([&] { return ranFromHere.load(); }));
}

// A worker that posts to a background queue and then waits for it does not
// wait on itself: what it posted runs first, then the waited-for block. The
// hook holds sync between its two steps (the block joining the queue, the
// deferred drain handed over), long enough for a drain handed over first to
// run dry, so that a waited-for block posted after it would be deferred
// behind the waiting block itself.
TEST(DispatchRealMode, AWorkerWaitingForBackgroundWorkItPostedIsNotStuck) {
  setSerialSyncHookForTesting([] { std::this_thread::sleep_for(std::chrono::milliseconds(30)); });
  auto background = createBackgroundSerialQueue("com.test.real.background.sync");
  auto order = std::make_shared<std::vector<int>>();  // touched on the background queue only
  auto finished = std::make_shared<std::atomic<bool>>(false);
  globalQueue()->async([background, order, finished] {
    background->async([order] { order->push_back(1); });
    background->sync([order] { order->push_back(2); });
    *finished = true;
  });
  const bool done = waitFor([&] { return finished->load(); });
  setSerialSyncHookForTesting(nullptr);
  ASSERT_TRUE(done);
  background->sync([&] { EXPECT_EQ(*order, (std::vector<int>{1, 2})); });
}

// A worker that deferred background work and then waits on another queue,
// whose block waits for the background queue, is not stuck either.
TEST(DispatchRealMode, AWaitFurtherDownTheChainDoesNotWaitOnDeferredBackgroundWork) {
  auto background = createBackgroundSerialQueue("com.test.real.background.chain");
  auto other = createSerialQueue("com.test.real.background.chain.other");
  auto finished = std::make_shared<std::atomic<bool>>(false);
  auto ran = std::make_shared<std::atomic<bool>>(false);
  globalQueue()->async([background, other, finished, ran] {
    background->async([ran] { *ran = true; });
    other->sync([background] { background->sync([] {}); });
    *finished = true;
  });
  ASSERT_TRUE(waitFor([&] { return finished->load(); }));
  EXPECT_TRUE(ran->load());
}

TEST(DispatchRealMode, ConcurrentQueueBarrierRunsAlone) {
  auto q = createConcurrentQueue("com.test.real.concurrent");
  std::atomic<int> readers{0}, readsDone{0};
  std::atomic<bool> barrierSawReaders{false};
  int value = 0;
  for (int i = 0; i < 50; ++i) {
    q->async([&] {
      readers.fetch_add(1);
      std::this_thread::yield();
      readers.fetch_sub(1);
      readsDone.fetch_add(1);
    });
    if (i % 10 == 0) {
      q->barrierAsync([&] {
        if (readers.load() != 0) barrierSawReaders = true;
        ++value;
      });
    }
  }
  int seen = 0;
  q->barrierSync([&] { seen = value; });
  EXPECT_EQ(seen, 5);
  EXPECT_EQ(readsDone.load(), 50);
  EXPECT_FALSE(barrierSawReaders.load());
}

TEST(DispatchRealMode, TimerCancelledFromAnotherThreadNeverFires) {
  auto q = createSerialQueue("com.test.real.timer");
  std::atomic<int> fired{0};
  auto t = Timer::once(q, 60'000, [&] { fired.fetch_add(1); });
  std::thread([t] { t->cancel(); }).join();
  EXPECT_FALSE(t->isValid());
  std::atomic<bool> afterRan{false};
  q->after(30, [&] { afterRan = true; });
  ASSERT_TRUE(waitFor([&] { return afterRan.load(); }));
  EXPECT_EQ(fired.load(), 0);
}

// Posted first on the same serial queue, a huge delay that wrapped around
// would run before the short one.
TEST(DispatchRealMode, HugeDelaysWaitWhileShortOnesRun) {
  auto q = createSerialQueue("com.test.real.huge");
  std::atomic<int> fired{0};
  q->after(1e300, [&] { fired.fetch_add(1); });
  auto t = Timer::once(q, std::numeric_limits<double>::infinity(), [&] { fired.fetch_add(1); });
  std::atomic<bool> shortRan{false};
  q->after(20, [&] { shortRan = true; });
  ASSERT_TRUE(waitFor([&] { return shortRan.load(); }));
  EXPECT_EQ(fired.load(), 0);
  EXPECT_TRUE(t->isValid());
}

TEST(DispatchRealMode, MainQueueRunsOnTheThreadThatRunsTheLoop) {
  std::atomic<bool> ran{false}, wasMain{false};
  globalQueue()->async([&] {
    mainQueue()->async([&] {
      wasMain = isMainThread();
      ran = true;
    });
  });
  EXPECT_TRUE(runMainUntil([&] { return ran.load(); }, 10'000));
  EXPECT_TRUE(wasMain.load());
}


namespace mainloop {

// Set while a test of the main loop runs; read by the loop's will-wait hook.
std::atomic<bool> g_posted{false}, g_ran{false};
std::atomic<int> g_sleptWithABlockPending{0};

void countSleepsWithABlockPending() {
  if (g_posted.load() && !g_ran.load()) g_sleptWithABlockPending.fetch_add(1);
}

}  // namespace mainloop

// The loop runs the predicate without its lock; a block another thread posts
// meanwhile must run before the loop sleeps (not at the deadline). The
// predicate itself has the block posted, so the window is hit every time.
TEST(DispatchRealMode, ABlockPostedWhileThePredicateRunsIsNeverMissed) {
  using namespace mainloop;
  g_sleptWithABlockPending = 0;
  setMainLoopWillWaitHookForTesting(&countSleepsWithABlockPending);
  for (int round = 0; round < 3; ++round) {
    g_posted = false;
    g_ran = false;
    bool first = true;
    const bool done = runMainUntil(
        [&] {
          if (first) {
            first = false;
            std::thread([] {
              mainQueue()->async([] { g_ran = true; });
              g_posted = true;
            }).join();
          }
          return g_ran.load();
        },
        2'000);
    EXPECT_TRUE(done);
  }
  setMainLoopWillWaitHookForTesting(nullptr);
  EXPECT_EQ(g_sleptWithABlockPending.load(), 0);
}

// A main queue that never empties (each block posts the next, as a repeating
// timer that always has a firing due does) still lets the loop return: the
// stop request, the predicate and the deadline are looked at after every block.
TEST(DispatchRealMode, AQueueThatNeverEmptiesStillLetsTheLoopReturn) {
  // Long enough that a loop which empties the queue first would run them all.
  constexpr int kChain = 100'000;
  struct Chain {
    std::atomic<int> run{0};
    std::atomic<bool> halt{false}, ended{false};
    std::function<void()> atTenth;
    void post() {
      mainQueue()->async([this] {
        const int n = run.fetch_add(1) + 1;
        if (n == 10 && atTenth) atTenth();
        if (halt.load() || n >= kChain) ended = true;
        else post();
      });
    }
  };
  enum class End { Predicate, StopFromAnotherThread, Deadline };
  for (End end : {End::Predicate, End::StopFromAnotherThread, End::Deadline}) {
    SCOPED_TRACE(static_cast<int>(end));
    Chain chain;
    if (end == End::StopFromAnotherThread) {
      chain.atTenth = [] { std::thread([] { stopMainLoop(); }).join(); };
    }
    chain.post();
    switch (end) {
      case End::Predicate: EXPECT_TRUE(runMainUntil([&] { return chain.run.load() >= 10; }, 60'000)); break;
      case End::StopFromAnotherThread: runMainLoop(); break;
      case End::Deadline: EXPECT_FALSE(runMainUntil([] { return false; }, 0)); break;
    }
    EXPECT_LT(chain.run.load(), kChain);
    EXPECT_FALSE(chain.ended.load());
    // Ends the chain before the next row.
    chain.halt = true;
    EXPECT_TRUE(runMainUntil([&] { return chain.ended.load(); }, 60'000));
  }
}

// A cancelled timer leaves the timer thread's list at once, with what it
// holds, rather than at its deadline an hour later.
TEST(DispatchRealMode, CancelledTimersLeaveTheTimerThreadAtOnce) {
  std::vector<std::shared_ptr<Timer>> timers;
  for (int i = 0; i < 100; ++i) timers.push_back(Timer::once(globalQueue(), 3'600'000, [] {}));
  for (int i = 0; i < 100; ++i) timers.push_back(Timer::repeating(globalQueue(), 3'600'000, [] {}));
  const auto pending = static_cast<int64_t>(pendingRealTimersForTesting());
  for (size_t i = 0; i < timers.size(); i += 2) timers[i]->cancel();
  for (size_t i = 1; i < timers.size(); i += 2) timers[i].reset();  // destroying cancels too
  EXPECT_GE(pending - static_cast<int64_t>(pendingRealTimersForTesting()), 200);
}

// A new timer wakes the timer thread only when it is due before the deadline
// the thread sleeps to, even when that deadline's timer was cancelled: the
// thread wakes at it once instead of once per new timer (a load's time-outs
// are made and cancelled on every load). A timer due earlier still wakes it
// and fires on time.
TEST(DispatchRealMode, ANewTimerWakesTheTimerThreadOnlyWhenDueBeforeItsSleep) {
  auto hour = Timer::once(globalQueue(), 3'600'000, [] {});
  const auto asleepOnADeadline = [] {
    const int64_t until = realTimerThreadSleepsUntilForTesting();
    return until != std::numeric_limits<int64_t>::min() && until != std::numeric_limits<int64_t>::max();
  };
  for (int i = 0; i < 60'000 && !asleepOnADeadline(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  ASSERT_TRUE(asleepOnADeadline());
  hour->cancel();  // the thread still sleeps to its deadline
  const uint64_t wakes = realTimerWakesForTesting();
  for (int i = 0; i < 50; ++i) Timer::once(globalQueue(), 7'200'000, [] {})->cancel();
  EXPECT_EQ(realTimerWakesForTesting(), wakes);

  std::mutex m;
  std::condition_variable cv;
  bool fired = false;
  auto soon = Timer::once(globalQueue(), 1, [&] {
    std::lock_guard lock(m);
    fired = true;
    cv.notify_all();
  });
  EXPECT_EQ(realTimerWakesForTesting(), wakes + 1);
  std::unique_lock lock(m);
  EXPECT_TRUE(cv.wait_for(lock, std::chrono::seconds(60), [&] { return fired; }));
}

}  // namespace
