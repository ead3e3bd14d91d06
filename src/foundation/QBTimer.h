#pragma once
// A dispatch-source timer: runs a block on a queue after an interval, once or
// repeatedly, until stopped.
#include <memory>
#include <mutex>

#include "platform/dispatch.h"

class QBTimer {
 public:
  // Label of the serial queue that runs timer blocks when no queue is given.
  static constexpr const char* kDefaultQueueLabel = "com.tidewheel.timer";

  QBTimer() = default;
  // Destroying the timer cancels it.
  ~QBTimer();
  QBTimer(const QBTimer&) = delete;
  QBTimer& operator=(const QBTimer&) = delete;

  // Starts the timer, stopping any run already under way. The block runs on
  // `queue` (nullptr: the shared serial queue "com.tidewheel.timer") first
  // after intervalSeconds (fractional seconds; never earlier; a negative
  // interval counts as 0), then every intervalSeconds when `repeats`. Any
  // thread.
  void start(double intervalSeconds, bool repeats, platform::Block block, platform::QueueRef queue = nullptr);
  // Stops the timer. Any thread. Once this returns the block does not start
  // again (a run already under way on another thread completes). Stopping a
  // stopped timer does nothing.
  void stop();
  // Same as stop().
  void cancel() { stop(); }
  // True from start() until stopped or, for a one-shot timer, fired.
  bool isRunning() const;

  // The shared default queue.
  static platform::QueueRef defaultQueue();

 private:
  mutable std::mutex mutex_;
  std::shared_ptr<platform::Timer> timer_;
};
