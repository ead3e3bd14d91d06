#include "foundation/QBThreadSafeTimer.h"

#include <utility>

QBThreadSafeTimer::QBThreadSafeTimer(std::weak_ptr<QBSafeTimerDelegate> delegate)
    : slot_(std::make_shared<DelegateSlot>()) {
  slot_->delegate = std::move(delegate);
}

QBThreadSafeTimer::~QBThreadSafeTimer() { stop(); }

void QBThreadSafeTimer::setDelegate(std::weak_ptr<QBSafeTimerDelegate> delegate) {
  std::lock_guard lock(slot_->mutex);
  slot_->delegate = std::move(delegate);
}

void QBThreadSafeTimer::tick(const std::shared_ptr<DelegateSlot>& slot) {
  std::shared_ptr<QBSafeTimerDelegate> delegate;
  {
    std::lock_guard lock(slot->mutex);
    delegate = slot->delegate.lock();
  }
  if (delegate) delegate->onSafeTimerTick();
}

void QBThreadSafeTimer::start(double intervalSeconds, bool repeats, platform::QueueRef queue) {
  std::lock_guard lock(mutex_);
  // QBTimer::start replaces (and cancels) a run under way, so a restart never
  // leaves two runs ticking.
  timer_.start(intervalSeconds, repeats, [slot = slot_] { tick(slot); }, std::move(queue));
}

void QBThreadSafeTimer::stop() {
  std::lock_guard lock(mutex_);
  timer_.stop();
}

bool QBThreadSafeTimer::isRunning() const {
  std::lock_guard lock(mutex_);
  return timer_.isRunning();
}
