#pragma once
// A start/stop timer guarded by one lock, which tells a delegate each time it
// ticks.
#include <memory>
#include <mutex>

#include "foundation/QBTimer.h"
#include "platform/dispatch.h"

class QBSafeTimerDelegate {
 public:
  virtual ~QBSafeTimerDelegate() = default;
  // One tick of the timer, on the timer's queue.
  virtual void onSafeTimerTick() = 0;
};

class QBThreadSafeTimer {
 public:
  // The delegate is held weakly; ticks while it is gone are skipped.
  explicit QBThreadSafeTimer(std::weak_ptr<QBSafeTimerDelegate> delegate = {});
  // Destroying the timer stops it.
  ~QBThreadSafeTimer();
  QBThreadSafeTimer(const QBThreadSafeTimer&) = delete;
  QBThreadSafeTimer& operator=(const QBThreadSafeTimer&) = delete;

  void setDelegate(std::weak_ptr<QBSafeTimerDelegate> delegate);

  // Starts ticking after intervalSeconds (fractional), then every
  // intervalSeconds when `repeats`, on `queue` (nullptr: the timer queue
  // "com.tidewheel.timer"). Starting a running timer restarts it: the next tick
  // comes a full interval after this call. Any thread.
  void start(double intervalSeconds, bool repeats = true, platform::QueueRef queue = nullptr);
  // Stops ticking; no tick starts after this returns (one already running on
  // another thread completes). Stopping a stopped timer does nothing. Any
  // thread.
  void stop();
  bool isRunning() const;

 private:
  // Shared with the tick blocks so they read the current delegate without
  // pointing at the timer itself.
  struct DelegateSlot {
    std::mutex mutex;
    std::weak_ptr<QBSafeTimerDelegate> delegate;
  };
  static void tick(const std::shared_ptr<DelegateSlot>& slot);

  mutable std::mutex mutex_;
  std::shared_ptr<DelegateSlot> slot_;
  QBTimer timer_;
};
