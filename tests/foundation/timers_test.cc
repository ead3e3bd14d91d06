#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "foundation/QBForegroundTimeCalculator.h"
#include "foundation/QBLifeCycleSensitiveTimer.h"
#include "foundation/QBThreadSafeTimer.h"
#include "foundation/QBTimer.h"
#include "platform/dispatch.h"
#include "foundation_test_support.h"
#include "platform/notifications.h"

using platform::Application;

namespace {

using TimersTest = foundationtest::FoundationTest;

void onOtherThread(const std::function<void()>& f) { std::thread(f).join(); }

// ------------------------------------------------------------------ QBTimer

TEST_F(TimersTest, TimerFiresAtFractionalIntervalsNeverEarlyOnTheDefaultQueue) {
  QBTimer timer;
  std::vector<std::string> queues;
  timer.start(0.25, false, [&] { queues.push_back(platform::currentQueueLabel()); });
  EXPECT_TRUE(timer.isRunning());
  env.advance(249);
  EXPECT_TRUE(queues.empty());
  env.advance(1);
  EXPECT_EQ(queues, std::vector<std::string>{"com.tidewheel.timer"});
  env.advance(10'000);
  EXPECT_EQ(queues.size(), 1u);
  EXPECT_FALSE(timer.isRunning());

  // Below a millisecond: 1.5 ms is not reached after 1 ms.
  int subMs = 0;
  timer.start(0.0015, false, [&] { ++subMs; });
  env.advance(1);
  EXPECT_EQ(subMs, 0);
  env.advance(1);
  EXPECT_EQ(subMs, 1);
}

TEST_F(TimersTest, RepeatingTimerTicksOnTheGivenQueueUntilCancelledFromAnotherThreadOrDestroyed) {
  auto queue = platform::createSerialQueue("com.test.timer");
  QBTimer timer;
  std::vector<int64_t> at;
  const int64_t t0 = platform::nowMonotonicMs();
  timer.start(1.5, true, [&] {
    EXPECT_TRUE(queue->isCurrent());
    at.push_back(platform::nowMonotonicMs() - t0);
  }, queue);
  env.advance(4'500);
  EXPECT_EQ(at, (std::vector<int64_t>{1'500, 3'000, 4'500}));

  onOtherThread([&] { timer.cancel(); });
  EXPECT_FALSE(timer.isRunning());
  // Destroying a running timer cancels it too. (Restarting is covered through
  // QBThreadSafeTimer, whose start is QBTimer's.)
  auto owned = std::make_unique<QBTimer>();
  owned->start(1.0, true, [&] { at.push_back(-1); });
  owned.reset();
  env.advance(10'000);
  EXPECT_EQ(at.size(), 3u);
  EXPECT_EQ(env.delayedCount(), 0u);
}

// -------------------------------------------------------- QBThreadSafeTimer

struct TickCounter : QBSafeTimerDelegate {
  void onSafeTimerTick() override { ++ticks; }
  int ticks = 0;
};

TEST_F(TimersTest, ThreadSafeTimerRestartsSkipsADeadDelegateAndStopsFromAnyThread) {
  auto delegate = std::make_shared<TickCounter>();
  QBThreadSafeTimer timer(delegate);
  timer.start(1.0);
  env.advance(600);
  timer.start(1.0);  // restart: the next tick is a full second from here
  env.advance(600);
  EXPECT_EQ(delegate->ticks, 0);
  env.advance(400);
  EXPECT_EQ(delegate->ticks, 1);
  env.advance(2'000);
  EXPECT_EQ(delegate->ticks, 3);

  delegate.reset();
  env.advance(3'000);  // ticks with nobody to tell
  auto next = std::make_shared<TickCounter>();
  timer.setDelegate(next);
  env.advance(1'000);
  EXPECT_EQ(next->ticks, 1);
  EXPECT_TRUE(timer.isRunning());

  onOtherThread([&] { timer.stop(); });
  timer.stop();
  EXPECT_FALSE(timer.isRunning());
  env.advance(5'000);
  EXPECT_EQ(next->ticks, 1);
}

// ------------------------------------------------ QBLifeCycleSensitiveTimer

using LcState = QBLifeCycleSensitiveTimer::State;

TEST_F(TimersTest, LifeCycleTimerResumesWithTheRemainingTimeAndFiresOnceOnTheMainQueue) {
  int fired = 0;
  bool onMain = false;
  auto timer = QBLifeCycleSensitiveTimer::create(10, [&] {
    ++fired;
    onMain = platform::isMainThread();
  });
  EXPECT_EQ(timer->state(), LcState::Idle);
  env.advance(20'000);
  EXPECT_EQ(fired, 0);  // not started

  timer->start();
  env.advance(4'000);
  Application::shared().enterBackground();
  env.advance(3'000);
  Application::shared().enterForeground();
  EXPECT_EQ(timer->state(), LcState::Running);
  EXPECT_EQ(timer->remainingMs(), 3'000);
  env.advance(2'999);
  EXPECT_EQ(fired, 0);
  EXPECT_EQ(timer->remainingMs(), 1);
  env.advance(1);
  EXPECT_EQ(fired, 1);
  EXPECT_TRUE(onMain);
  EXPECT_EQ(timer->state(), LcState::Fired);
  env.advance(20'000);
  EXPECT_EQ(fired, 1);
}

// An interval past any int64 of milliseconds (a configuration's number) waits:
// its deadline does not wrap into the past.
TEST_F(TimersTest, LifeCycleTimerWithAnEnormousIntervalWaits) {
  int fired = 0;
  auto timer = QBLifeCycleSensitiveTimer::create(6e19, [&] { ++fired; });
  timer->start();
  env.advance(int64_t{365} * 86'400'000);
  EXPECT_EQ(fired, 0);
  EXPECT_GT(timer->remainingMs(), int64_t{50} * 365 * 86'400'000);
}

TEST_F(TimersTest, LifeCycleTimerOverdueInBackgroundFiresOnceRightOnReturn) {
  auto queue = platform::createSerialQueue("com.test.expiry");
  int fired = 0;
  auto timer = QBLifeCycleSensitiveTimer::create(10, [&] { ++fired; }, queue);
  timer->start();
  env.advance(4'000);
  Application::shared().enterBackground();
  EXPECT_EQ(timer->state(), LcState::Paused);
  // Background time and device sleep both count towards the deadline.
  env.advance(3'000);
  env.sleepDevice(5'000);
  EXPECT_EQ(fired, 0);
  EXPECT_EQ(timer->remainingMs(), 0);

  Application::shared().enterForeground();
  EXPECT_EQ(fired, 0);  // handed to the queue, not run inside the notice
  env.runUntilIdle();   // no clock movement needed
  EXPECT_EQ(fired, 1);
  env.advance(60'000);
  EXPECT_EQ(fired, 1);
  EXPECT_EQ(timer->state(), LcState::Fired);
}

TEST_F(TimersTest, LifeCycleTimerGoingBackToBackgroundBeforeTheImmediateFiringRunsFiresOnlyOnTheNextReturn) {
  int fired = 0;
  auto timer = QBLifeCycleSensitiveTimer::create(1, [&] { ++fired; });
  Application::shared().enterBackground();
  timer->start();  // started in the background: paused from the outset
  EXPECT_EQ(timer->state(), LcState::Paused);
  env.advance(5'000);
  EXPECT_EQ(fired, 0);

  Application::shared().enterForeground();
  Application::shared().enterBackground();  // before the queue got to the firing
  env.runUntilIdle();
  env.advance(5'000);
  EXPECT_EQ(fired, 0);

  // Two returns with their firings both still queued: one firing.
  Application::shared().enterForeground();
  Application::shared().enterBackground();
  Application::shared().enterForeground();
  env.runUntilIdle();
  EXPECT_EQ(fired, 1);
}

TEST_F(TimersTest, LifeCycleTimerRestartVoidsAFiringAlreadyQueued) {
  int fired = 0;
  auto timer = QBLifeCycleSensitiveTimer::create(1, [&] { ++fired; });
  timer->start();
  Application::shared().enterBackground();
  env.advance(2'000);
  Application::shared().enterForeground();  // overdue: a firing is queued
  timer->start();                           // a new countdown before it runs
  env.runUntilIdle();
  EXPECT_EQ(fired, 0);
  EXPECT_EQ(timer->remainingMs(), 1'000);
  env.advance(1'000);
  EXPECT_EQ(fired, 1);
}

TEST_F(TimersTest, LifeCycleTimerCancelledWhilePausedOrDestroyedNeverFires) {
  int fired = 0;
  auto paused = QBLifeCycleSensitiveTimer::create(1, [&] { ++fired; });
  auto destroyed = QBLifeCycleSensitiveTimer::create(1, [&] { fired += 10; });
  paused->start();
  destroyed->start();
  Application::shared().enterBackground();
  onOtherThread([&] { paused->cancel(); });
  destroyed.reset();
  EXPECT_EQ(paused->state(), LcState::Cancelled);
  env.advance(5'000);
  Application::shared().enterForeground();
  env.advance(5'000);
  EXPECT_EQ(fired, 0);
  EXPECT_EQ(paused->state(), LcState::Cancelled);

  // A cancelled timer can be started again.
  paused->start();
  env.advance(1'000);
  EXPECT_EQ(fired, 1);
}

// ----------------------------------------------- QBForegroundTimeCalculator

TEST_F(TimersTest, ForegroundTimeCountsFromTheReturnAndLeavesOutBackgroundSpans) {
  auto meter = QBForegroundTimeCalculator::create();
  env.advance(700);
  EXPECT_EQ(meter->getForegroundTime(), 0);  // not started

  Application::shared().enterBackground();
  meter->start();
  env.advance(3'000);
  EXPECT_EQ(meter->getForegroundTime(), 0);
  Application::shared().enterForeground();
  env.advance(1'000);
  Application::shared().enterBackground();
  env.advance(5'000);
  env.sleepDevice(60'000);
  EXPECT_EQ(meter->getForegroundTime(), 1'000);
  Application::shared().enterForeground();
  env.advance(500);
  meter->start();  // already counting: changes nothing
  EXPECT_EQ(meter->getForegroundTime(), 1'500);
}

}  // namespace
