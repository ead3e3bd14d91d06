#include "foundation/QBLifeCycleSensitiveTimer.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <string>
#include <utility>

#include "foundation/QBLoggerManager.h"
#include "platform/clock.h"

namespace {

// Background time and device sleep both count towards the deadline: an
// expiry measured in minutes must not be stretched by a night in the
// background.
int64_t nowMs() { return platform::clock().uptimeWithSleepMs(); }

struct Transition {
  QBLifeCycleSensitiveTimer::State from;
  QBLifeCycleSensitiveTimer::State to;
};

// State changes are logged once the timer's lock is released, since the log
// manager may call the application's log delegate.
void logTransition(const char* method, const std::optional<Transition>& change) {
  if (!change || change->from == change->to) return;
  QBLoggerManager::sharedInstance().dynamicLog(
      method,
      std::string("life-cycle timer state ") + QBLifeCycleSensitiveTimer::stateName(change->from) + " -> " +
          QBLifeCycleSensitiveTimer::stateName(change->to),
      0, QBLogTagInternal);
}

}  // namespace

const char* QBLifeCycleSensitiveTimer::stateName(State state) {
  switch (state) {
    case State::Idle: return "IDLE";
    case State::Running: return "RUNNING";
    case State::Paused: return "PAUSED";
    case State::Fired: return "FIRED";
    case State::Cancelled: return "CANCELLED";
  }
  return "UNKNOWN";
}

QBLifeCycleSensitiveTimer::QBLifeCycleSensitiveTimer(double intervalSeconds, platform::Block block,
                                                     platform::QueueRef queue)
    // Bounded like every dispatch delay, so the whole-ms deadline below fits.
    : intervalMs_(intervalSeconds > 0 ? std::min(intervalSeconds * 1000.0, platform::kMaxDelayMs) : 0.0),
      block_(std::move(block)),
      queue_(queue ? std::move(queue) : platform::mainQueue()) {}

std::shared_ptr<QBLifeCycleSensitiveTimer> QBLifeCycleSensitiveTimer::create(double intervalSeconds,
                                                                             platform::Block block,
                                                                             platform::QueueRef queue) {
  std::shared_ptr<QBLifeCycleSensitiveTimer> timer(
      new QBLifeCycleSensitiveTimer(intervalSeconds, std::move(block), std::move(queue)));
  timer->lifeCycle_.observe(timer);
  return timer;
}

QBLifeCycleSensitiveTimer::~QBLifeCycleSensitiveTimer() {
  if (timer_) timer_->cancel();
}


std::shared_ptr<platform::Timer> QBLifeCycleSensitiveTimer::scheduleLocked(double delayMs) {
  std::weak_ptr<QBLifeCycleSensitiveTimer> weak = weak_from_this();
  const uint64_t generation = generation_;
  return platform::Timer::once(queue_, delayMs, [weak, generation] {
    if (auto self = weak.lock()) self->fire(generation);
  });
}

void QBLifeCycleSensitiveTimer::start() {
  std::optional<Transition> change;
  std::shared_ptr<platform::Timer> replaced;
  {
    std::lock_guard lock(mutex_);
    ++generation_;
    // Rounded up: the deadline is never earlier than the interval.
    deadlineMs_ = nowMs() + static_cast<int64_t>(std::ceil(intervalMs_));
    replaced = std::move(timer_);
    const bool background =
        platform::Application::shared().applicationState() == platform::ApplicationState::Background;
    change = Transition{state_, background ? State::Paused : State::Running};
    state_ = change->to;
    if (!background) timer_ = scheduleLocked(intervalMs_);
  }
  if (replaced) replaced->cancel();
  logTransition(__func__, change);
}

void QBLifeCycleSensitiveTimer::cancel() {
  std::optional<Transition> change;
  std::shared_ptr<platform::Timer> replaced;
  {
    std::lock_guard lock(mutex_);
    if (state_ != State::Running && state_ != State::Paused) return;
    ++generation_;
    replaced = std::move(timer_);
    change = Transition{state_, State::Cancelled};
    state_ = State::Cancelled;
  }
  if (replaced) replaced->cancel();
  logTransition(__func__, change);
}

void QBLifeCycleSensitiveTimer::didEnterBackground() {
  std::optional<Transition> change;
  std::shared_ptr<platform::Timer> replaced;
  {
    std::lock_guard lock(mutex_);
    if (state_ != State::Running) return;
    // Also voids an immediate firing that was posted on the return to the
    // foreground and has not run yet: it is posted again on the next return.
    ++generation_;
    replaced = std::move(timer_);
    change = Transition{state_, State::Paused};
    state_ = State::Paused;
  }
  if (replaced) replaced->cancel();
  logTransition(__func__, change);
}

void QBLifeCycleSensitiveTimer::willEnterForeground() {
  std::optional<Transition> change;
  {
    std::lock_guard lock(mutex_);
    if (state_ != State::Paused) return;
    ++generation_;
    change = Transition{state_, State::Running};
    state_ = State::Running;
    const int64_t remaining = deadlineMs_ - nowMs();
    if (remaining > 0) {
      timer_ = scheduleLocked(static_cast<double>(remaining));
    } else {
      std::weak_ptr<QBLifeCycleSensitiveTimer> weak = weak_from_this();
      const uint64_t generation = generation_;
      queue_->async([weak, generation] {
        if (auto self = weak.lock()) self->fire(generation);
      });
    }
  }
  logTransition(__func__, change);
}

void QBLifeCycleSensitiveTimer::fire(uint64_t generation) {
  std::optional<Transition> change;
  std::shared_ptr<platform::Timer> spent;
  {
    std::lock_guard lock(mutex_);
    if (state_ != State::Running || generation != generation_) return;
    spent = std::move(timer_);
    change = Transition{state_, State::Fired};
    state_ = State::Fired;
  }
  logTransition(__func__, change);
  if (block_) block_();
}

QBLifeCycleSensitiveTimer::State QBLifeCycleSensitiveTimer::state() const {
  std::lock_guard lock(mutex_);
  return state_;
}

int64_t QBLifeCycleSensitiveTimer::remainingMs() const {
  std::lock_guard lock(mutex_);
  switch (state_) {
    case State::Idle:
      return static_cast<int64_t>(std::ceil(intervalMs_));
    case State::Running:
    case State::Paused: {
      const int64_t left = deadlineMs_ - nowMs();
      return left > 0 ? left : 0;
    }
    case State::Fired:
    case State::Cancelled:
      return 0;
  }
  return 0;
}
