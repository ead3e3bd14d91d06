#pragma once
// Internal seam between the queue front end and its two back ends (worker
// threads, or the deterministic TestEnvironment). Not for library code.
#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>

#include "platform/dispatch.h"

namespace platform {

struct Queue::State {
  struct Item {
    Block block;
    bool barrier = false;
  };
  std::mutex m;
  std::deque<Item> pending;  // real mode only
  bool draining = false;     // serial: a drain task is scheduled or running
  bool background = false;   // serial: made by createBackgroundSerialQueue
  bool light = false;        // serial: made by createLightSerialQueue
  int running = 0;           // concurrent: plain blocks in flight
  bool barrierRunning = false;
};

// Cancellation token carried by delayed work so cancelled timers neither run
// nor count as pending.
using CancelToken = std::shared_ptr<std::atomic<bool>>;

class DispatchBackend {
 public:
  virtual ~DispatchBackend() = default;
  virtual void post(const QueueRef& queue, Block block, bool barrier) = 0;
  // Runs the block on the queue at deadlineUs of nowUs()'s time base.
  virtual void postAt(const QueueRef& queue, int64_t deadlineUs, Block block, CancelToken token) = 0;
  virtual void sync(const QueueRef& queue, const Block& block, bool barrier) = 0;
  virtual int64_t nowUs() const = 0;
  virtual bool isMainThread() const = 0;
};

// Microseconds of a delay given in ms (see the delay contract in dispatch.h):
// 0 for zero, negative or NaN, rounded up, at most kMaxDelayMs.
int64_t delayToUs(double delayMs);
// a + b for a deadline, at most INT64_MAX (b >= 0).
inline int64_t saturatingAddUs(int64_t a, int64_t b) {
  return b > 0 && a > INT64_MAX - b ? INT64_MAX : a + b;
}

// The back end in force for this call.
DispatchBackend& backend();
// The worker-thread back end, whatever is installed.
DispatchBackend& realDispatchBackend();

// Installs/removes the test back end (TestEnvironment does this).
void installTestBackend(DispatchBackend* test);

// Registers a step of the process's exit: it runs on the exiting thread after
// the worker threads have stopped taking blocks (see dispatch.h, "Process
// exit"), in the order registered. Steps must not wait for queued work.
void addExitStep(void (*step)());

// Runs a block as a block of `queue` on this thread (sets the current-queue
// marker for isCurrent/isMainThread/currentQueueLabel).
void runAsQueue(Queue* queue, const Block& block);
Queue* currentQueueRaw();

// Real mode: runs a block on the calling thread, as a block of `queue`, and
// returns true, when the queue lets any thread run it now: a global queue
// (it promises no thread and no order), or a light serial queue with no
// block running or waiting (it promises one block at a time in order, not a
// thread: while this one runs the queue counts as busy, and blocks posted
// beside it run after it on a worker). A thread that would only post the
// block and wake a worker for it runs it itself. False, with the block not
// run, in test mode, for the main and concurrent queues, for serial queues
// that are busy or not light (their completions may run scripts or wait,
// which must not hold the calling thread), and once the exit step has
// stopped the workers.
bool runBlockHereIfFree(Queue* queue, const Block& block);

// Runs a main-queue block as one turn: the block, then the turn-end hook.
void runMainQueueTurn(Queue* mainQueue, const Block& block);

// Real mode, for tests: `hook` runs on the main thread each time the main loop
// is about to sleep for want of a block (with the loop's lock held: it must
// not post or call into dispatch); nullptr removes it.
void setMainLoopWillWaitHookForTesting(void (*hook)());
// Real mode, for tests: `hook` runs inside sync() on a serial queue, after the
// waited-for block has joined the queue and before the drains the calling
// worker deferred are handed to the pool; nullptr removes it.
void setSerialSyncHookForTesting(void (*hook)());
// Real mode, for tests: delayed blocks and timer firings the timer thread
// still holds.
size_t pendingRealTimersForTesting();
// Real mode, for tests: how many times a new timer woke the timer thread.
uint64_t realTimerWakesForTesting();
// Real mode, for tests: the deadline (platform clock, microseconds) the timer
// thread sleeps to; INT64_MAX while it sleeps with no timer, INT64_MIN while
// it is awake.
int64_t realTimerThreadSleepsUntilForTesting();
// Real mode, for tests: the worker pool's threads, and how many of them wait
// for work without having been woken yet.
struct WorkerPoolCounts {
  size_t threads = 0;
  size_t parked = 0;
};
WorkerPoolCounts workerPoolCountsForTesting();

}  // namespace platform
