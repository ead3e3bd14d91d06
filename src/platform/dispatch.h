#pragma once
// Queues, delayed work and timers.
//
// Two modes share this interface:
//  * real mode (no TestEnvironment alive): global and private queues run on a
//    pool of worker threads; the main queue runs wherever the host calls
//    runMainLoop()/runMainUntil() (its "main thread").
//  * test mode (a TestEnvironment alive): all queued work runs on the test
//    thread, in submission order, when the test pumps; delayed work runs only
//    when the test advances the manual clock. See test_environment.h.
//
// Contracts:
//  * async()/after() never run the block inline.
//  * A serial queue never runs two of its blocks at once, and runs them in
//    submission order. A concurrent queue runs plain blocks side by side; a
//    barrier block runs alone, after everything submitted before it.
//  * after(d) never runs before d has elapsed on the platform clock.
//  * Delays (after, Timer) are milliseconds as a double and never overflow:
//    zero, negative and NaN mean "as soon as possible" (still not inline);
//    fractions round up to whole microseconds; a delay at or above
//    kMaxDelayMs (infinity included) counts as kMaxDelayMs, which in practice
//    never comes: the block stays pending until cancelled or the process ends.
//  * Timer::cancel() may be called from any thread; once it returns the block
//    will not start (a firing already under way on another thread completes).
//
// Process exit (real mode): the host may return from main, or call exit(),
// while work is in flight. Everything a worker can reach lives for the whole
// process: the queues, the back ends and the library's process-wide objects
// are never destroyed. An exit step (std::atexit, registered when the worker
// threads first start) then stops the workers: blocks already running may
// finish (up to 1 s), no further block of any queue other than the main queue
// runs, and the process-wide URL session ends its transfers and joins its I/O
// thread. It runs before OpenSSL's own exit handler (see
// keepCryptoLibraryUntilExit in crypto.h). Blocks left on the queues are
// dropped with the process, unrun.
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

namespace platform {

using Block = std::function<void()>;

// The longest delay: 2^62 microseconds (about 146,000 years).
inline constexpr double kMaxDelayMs = 4611686018427387904.0 / 1000.0;

enum class QueuePriority { High, Default, Low, Background };
enum class QueueKind { Main, Global, Serial, Concurrent };

class Queue : public std::enable_shared_from_this<Queue> {
 public:
  virtual ~Queue() = default;

  const std::string& label() const { return label_; }
  QueueKind kind() const { return kind_; }

  // Runs the block later on this queue.
  void async(Block block);
  // Runs the block on this queue after delayMs (fractional ms allowed: the
  // delay is rounded up to whole microseconds, never down).
  void after(double delayMs, Block block);
  // Runs the block on this queue and waits for it. Called from a block of this
  // same queue, runs it inline (where the platform would deadlock).
  void sync(const Block& block);
  // Concurrent queues: the block runs alone. Other kinds: same as async/sync.
  void barrierAsync(Block block);
  void barrierSync(const Block& block);

  // True when the calling code runs inside a block of this queue (or, for the
  // main queue, on the main thread).
  bool isCurrent() const;

  // Used by the dispatch back ends.
  struct State;
  State& state() { return *state_; }

 protected:
  Queue(std::string label, QueueKind kind);

 private:
  friend std::shared_ptr<Queue> makeQueue(std::string, QueueKind);
  std::string label_;
  QueueKind kind_;
  std::unique_ptr<State> state_;
};

using QueueRef = std::shared_ptr<Queue>;

QueueRef mainQueue();
QueueRef globalQueue(QueuePriority priority = QueuePriority::Default);
QueueRef createSerialQueue(std::string label);
// A serial queue for background work that nothing waits on. In real mode a
// block posted to it by a worker thread, from inside a block of another
// queue, starts once that block has ended, on the same worker, instead of
// waking another worker to run beside it; from any other thread it behaves
// as createSerialQueue's. A worker that waits in sync (on any queue) first
// hands what it deferred to the pool, so sync cannot wait on itself; a wait
// of any other kind for such a block, from the block that posted it, would.
QueueRef createBackgroundSerialQueue(std::string label);
// A serial queue for URL tasks whose completions are short (no script runs,
// no disk flushes, no waits). In real mode such a completion runs on the
// session's I/O thread, where the transfer ended, when the queue has no block
// running or waiting (see DataTask), and holds every other transfer while it
// runs; otherwise the queue behaves as createSerialQueue's.
QueueRef createLightSerialQueue(std::string label);
QueueRef createConcurrentQueue(std::string label);

// True on the main thread (in test mode: the test thread, except while it runs
// a block of a queue other than the main queue).
bool isMainThread();
// Label of the queue whose block is running on this thread, or
// "com.apple.main-thread" on the main thread, or "" elsewhere.
std::string currentQueueLabel();

// A one-shot or repeating timer on a queue. The owner keeps the shared_ptr;
// destroying the last reference cancels it.
class Timer {
 public:
  // Fires once after intervalMs.
  static std::shared_ptr<Timer> once(QueueRef queue, double intervalMs, Block block);
  // Fires every intervalMs (first firing after intervalMs) until cancelled.
  static std::shared_ptr<Timer> repeating(QueueRef queue, double intervalMs, Block block);

  ~Timer();
  Timer(const Timer&) = delete;
  Timer& operator=(const Timer&) = delete;

  void cancel();
  // True until cancelled or (one-shot) fired.
  bool isValid() const;

  struct Shared;

 private:
  explicit Timer(std::shared_ptr<Shared> shared) : shared_(std::move(shared)) {}
  std::shared_ptr<Shared> shared_;
};

// Run-once initialisation (dispatch_once): the block runs exactly once even
// under concurrent first calls; later callers wait until it has finished.
using OnceFlag = std::once_flag;
inline void runOnce(OnceFlag& flag, const Block& block) { std::call_once(flag, block); }

// The end of a main-queue turn: after each block of the main queue has run
// (real mode: inside runMainLoop/runMainUntil; test mode: when the test
// pumps), `hook` runs on the main thread, as part of the main queue, before
// the next block starts. Blocks that sync() runs inline and blocks of other
// queues are not turns. One hook per process (the UI layer's layout pass
// installs it); nullptr removes it.
using MainQueueTurnEndHook = void (*)();
void setMainQueueTurnEndHook(MainQueueTurnEndHook hook);

// Names the calling thread as tools show it (ps, top, a debugger); the system
// keeps the first 15 bytes. The library names every thread it starts
// ("qb-worker", "qb-timer", "qb-net-io", ...; docs/threads.md lists them).
void setCurrentThreadName(const char* name);

// Real mode: runs the main queue on the calling thread (which becomes the main
// thread) until stopMainLoop() is called.
void runMainLoop();
void stopMainLoop();
// Real mode: runs the main queue on the calling thread until pred() is true or
// timeoutMs of real time has passed; returns pred(). Both loops run one block
// at a time and look at the stop request, pred() and the deadline after every
// block and before they sleep, so a queue that never empties (a repeating
// timer that always has a firing due) cannot keep them from returning. pred()
// is looked at again when a block is posted to the main queue (or the loop is
// stopped): a condition changed on another thread without a post to the main
// queue is seen at the next block or at the deadline.
bool runMainUntil(const std::function<bool()>& pred, int64_t timeoutMs);

}  // namespace platform
