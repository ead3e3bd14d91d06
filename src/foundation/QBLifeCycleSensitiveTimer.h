#pragma once
// A one-shot timer that never fires while the application is in the
// background. Its deadline is fixed at start (time spent in the background,
// device sleep included, counts towards it); on the return to the foreground it
// fires at once when the deadline has passed, else it waits out the rest.
#include <cstdint>
#include <memory>
#include <mutex>

#include "platform/dispatch.h"
#include "foundation/QBLifeCycleObservation.h"
#include "platform/notifications.h"

class QBLifeCycleSensitiveTimer : public std::enable_shared_from_this<QBLifeCycleSensitiveTimer> {
 public:
  enum class State {
    Idle,       // made, not started
    Running,    // counting down in the foreground
    Paused,     // in the background; fires no sooner than the return
    Fired,      // the block has been handed to the queue
    Cancelled,  // cancelled before firing
  };
  static const char* stateName(State state);

  // A timer that runs `block` on `queue` (nullptr: the main queue) once
  // intervalSeconds (fractional; negative counts as 0) after start(). Watches
  // the application's background and foreground notices from creation.
  static std::shared_ptr<QBLifeCycleSensitiveTimer> create(double intervalSeconds, platform::Block block,
                                                           platform::QueueRef queue = nullptr);
  // Stops watching the life cycle and cancels the timer.
  ~QBLifeCycleSensitiveTimer();
  QBLifeCycleSensitiveTimer(const QBLifeCycleSensitiveTimer&) = delete;
  QBLifeCycleSensitiveTimer& operator=(const QBLifeCycleSensitiveTimer&) = delete;

  // Sets the deadline to now + the interval and starts counting; when the
  // application is in the background at this moment, starts paused. Starting
  // again (running, paused, fired or cancelled) begins a new countdown. Any
  // thread.
  void start();
  // Cancels the countdown: the block does not start after this returns (a
  // firing already running on another thread completes). Any thread.
  void cancel();

  State state() const;
  // Whole milliseconds left until the deadline (0 once it has passed or the
  // timer fired or was cancelled; the interval, rounded up, before start()).
  int64_t remainingMs() const;

 private:
  QBLifeCycleSensitiveTimer(double intervalSeconds, platform::Block block, platform::QueueRef queue);
  void didEnterBackground();
  void willEnterForeground();
  // Runs on the queue; fires when the countdown `generation` is still the
  // current one and still running.
  void fire(uint64_t generation);

  // With mutex_ held: a platform timer that fires the current countdown.
  std::shared_ptr<platform::Timer> scheduleLocked(double delayMs);

  const double intervalMs_;
  const platform::Block block_;
  const platform::QueueRef queue_;

  mutable std::mutex mutex_;
  State state_ = State::Idle;
  int64_t deadlineMs_ = 0;      // on the uptime-with-sleep clock
  uint64_t generation_ = 0;     // bumped by every start, pause and cancel
  std::shared_ptr<platform::Timer> timer_;
  friend class QBLifeCycleObservation;  // calls the two life-cycle handlers
  QBLifeCycleObservation lifeCycle_;
};
