#include "foundation/QBTimer.h"

#include <utility>

QBTimer::~QBTimer() { stop(); }

platform::QueueRef QBTimer::defaultQueue() {
  static const platform::QueueRef& queue = *new platform::QueueRef(platform::createSerialQueue(kDefaultQueueLabel));
  return queue;
}

void QBTimer::start(double intervalSeconds, bool repeats, platform::Block block, platform::QueueRef queue) {
  if (!queue) queue = defaultQueue();
  const double intervalMs = intervalSeconds > 0 ? intervalSeconds * 1000.0 : 0.0;
  auto timer = repeats ? platform::Timer::repeating(std::move(queue), intervalMs, std::move(block))
                       : platform::Timer::once(std::move(queue), intervalMs, std::move(block));
  std::shared_ptr<platform::Timer> previous;
  {
    std::lock_guard lock(mutex_);
    previous = std::exchange(timer_, std::move(timer));
  }
  // The replaced run is cancelled (and its block released) outside the lock.
  if (previous) previous->cancel();
}

void QBTimer::stop() {
  std::shared_ptr<platform::Timer> previous;
  {
    std::lock_guard lock(mutex_);
    previous = std::move(timer_);
  }
  if (previous) previous->cancel();
}

bool QBTimer::isRunning() const {
  std::lock_guard lock(mutex_);
  return timer_ && timer_->isValid();
}
