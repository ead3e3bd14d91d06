#include "platform/dispatch.h"

#include <pthread.h>

#include <algorithm>
#include <cmath>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <future>
#include <limits>
#include <map>
#include <thread>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/clock.h"
#include "platform/crypto.h"
#include "platform/dispatch_backend.h"

namespace platform {
namespace {

// Recorded by static initialisation, which runs on the process's first thread.
std::thread::id g_processMainThread = std::this_thread::get_id();
std::atomic<DispatchBackend*> g_testBackend{nullptr};
thread_local Queue* tl_currentQueue = nullptr;
thread_local bool tl_poolWorker = false;
// Drains of background serial queues this worker runs once its current
// block has ended (see createBackgroundSerialQueue).
thread_local std::vector<Block> tl_deferredDrains;

// How long the exit step waits for blocks already running on workers.
constexpr auto kExitWaitForRunning = std::chrono::milliseconds(1000);

void ensureExitStep();

struct QueueImpl : Queue {
  QueueImpl(std::string label, QueueKind kind) : Queue(std::move(label), kind) {}
};

// Elastic worker pool. A thread starts only when the blocks waiting for a
// worker outnumber the idle workers (a block that waits on another queue must
// not starve the rest), up to a hard ceiling; a worker idle for
// kIdleExitAfter leaves, down to kKeptThreads.
class WorkerPool {
 public:
  // A block goes to the worker that went idle last (its stack and the
  // memory it touched are the likeliest to be still in cache), woken after
  // the lock is let go: woken under it, it would find the lock taken and
  // sleep once more until the submitter let go.
  void submit(Block task) {
    Parked* wake = nullptr;
    {
      std::unique_lock lock(m_);
      tasks_.push_back(std::move(task));
      if (exiting_) return;  // kept, never run: see stopAtExit
      if (tasks_.size() > idle_ && threads_ < kMaxThreads) {
        ++threads_;
        ++idle_;  // counted from now: it takes a block as soon as it runs
        std::thread([this] { loop(); }).detach();
        return;
      }
      if (parked_.empty()) return;  // every idle worker is already woken or starting
      wake = parked_.back();
      parked_.pop_back();
      wake->woken = true;
    }
    wake->cv.notify_one();
  }

  // Process exit: workers take no new block; the caller waits up to `wait`
  // for the blocks already running (a block that waits for the main queue
  // would wait for ever), then every worker stays parked until the process
  // ends. Blocks submitted later are kept and never run.
  void stopAtExit(std::chrono::milliseconds wait) {
    std::unique_lock lock(m_);
    exiting_.store(true);
    const size_t self = tl_poolWorker ? 1 : 0;  // exit() called from a block
    doneCv_.wait_for(lock, wait, [&] { return running_ <= self; });
  }

  bool exiting() const { return exiting_.load(); }

  WorkerPoolCounts counts() {
    std::lock_guard lock(m_);
    return {threads_, parked_.size()};
  }

  // Most worker threads at once; kept at least while they have blocks to run.
  static constexpr size_t kMaxThreads = 64;
  // Workers that stay when idle.
  static constexpr size_t kKeptThreads = 4;
  static constexpr auto kIdleExitAfter = std::chrono::seconds(5);

 private:
  void runDeferredDrains() {
    while (!tl_deferredDrains.empty()) {
      Block drain = std::move(tl_deferredDrains.back());
      tl_deferredDrains.pop_back();
      drain();
    }
  }

  // An idle worker waiting to be handed work; lives on its thread's stack.
  struct Parked {
    std::condition_variable cv;
    bool woken = false;
  };

  void loop() {
    tl_poolWorker = true;
    setCurrentThreadName("qb-worker");
    Parked self;
    std::unique_lock lock(m_);
    for (;;) {
      if (exiting_.load()) self.cv.wait(lock, [] { return false; });  // parked for the rest of the process
      if (!tasks_.empty()) {
        Block task = std::move(tasks_.front());
        tasks_.pop_front();
        --idle_;
        ++running_;
        lock.unlock();
        task();
        task = nullptr;
        runDeferredDrains();
        lock.lock();
        --running_;
        ++idle_;
        if (exiting_.load()) doneCv_.notify_all();
        continue;
      }
      self.woken = false;
      parked_.push_back(&self);
      const auto ready = [&] { return self.woken; };
      // Only a worker beyond the kept ones waits with a time limit: the kept
      // ones sleep until there is work.
      const bool timed = threads_ > kKeptThreads;
      const bool woken = timed ? self.cv.wait_for(lock, kIdleExitAfter, ready) : (self.cv.wait(lock, ready), true);
      if (woken) continue;
      std::erase(parked_, &self);
      if (threads_ > kKeptThreads) {
        --idle_;
        --threads_;
        return;
      }
    }
  }

  std::mutex m_;
  std::condition_variable doneCv_;
  std::deque<Block> tasks_;
  std::vector<Parked*> parked_;  // idle workers not yet woken, the last to go idle at the back
  size_t threads_ = 0;
  size_t idle_ = 0;  // workers parked, woken and not yet running, or started and not yet running
  size_t running_ = 0;
  std::atomic<bool> exiting_{false};
};

class RealBackend : public DispatchBackend {
 public:
  RealBackend() {
    ensureExitStep();
    timerThread_ = std::thread([this] { timerLoop(); });
    timerThread_.detach();
  }

  void post(const QueueRef& queue, Block block, bool barrier) override {
    switch (queue->kind()) {
      case QueueKind::Main: {
        {
          std::lock_guard lock(mainM_);
          mainTasks_.push_back(Task{queue, std::move(block)});
        }
        mainCv_.notify_all();  // after the lock, as in WorkerPool::submit
        return;
      }
      case QueueKind::Global: {
        QueueRef q = queue;
        pool_.submit([q, b = std::move(block)] { runAsQueue(q.get(), b); });
        return;
      }
      case QueueKind::Serial:
        postSerial(queue, std::move(block), true);
        return;
      case QueueKind::Concurrent: {
        auto& st = queue->state();
        std::lock_guard lock(st.m);
        st.pending.push_back({std::move(block), barrier});
        pumpConcurrentLocked(queue);
        return;
      }
    }
  }

  void postAt(const QueueRef& queue, int64_t deadlineUs, Block block, CancelToken token) override {
    std::lock_guard lock(timerM_);
    const TimerKey key{deadlineUs, seq_++};
    if (token) tokenIndex_[token.get()] = key;
    timers_.emplace(key, Delayed{queue, std::move(block), std::move(token)});
    // Only a deadline before the one the timer thread sleeps to needs to
    // wake it. That one may belong to a timer cancelled since: the thread
    // then wakes at it once and sleeps again to the next, rather than being
    // woken for every new timer (an auction's time-out is made and
    // cancelled on every auction).
    if (deadlineUs < timerSleepsUntilUs_) {
      ++timerWakes_;
      timerCv_.notify_one();
    }
  }

  // A cancelled timer leaves the map at once (with what its block holds)
  // instead of at its deadline. The timer thread is not woken: if it was the
  // earliest, the thread finds the next one when it wakes.
  void forgetCancelled(const CancelToken& token) {
    Delayed dropped;
    std::lock_guard lock(timerM_);
    auto at = tokenIndex_.find(token.get());
    if (at == tokenIndex_.end()) return;
    auto it = timers_.find(at->second);
    tokenIndex_.erase(at);
    if (it == timers_.end()) return;
    dropped = std::move(it->second);
    timers_.erase(it);
  }

  size_t pendingTimerCount() {
    std::lock_guard lock(timerM_);
    return timers_.size();
  }

  uint64_t timerWakeCount() {
    std::lock_guard lock(timerM_);
    return timerWakes_;
  }

  int64_t timerSleepsUntil() {
    std::lock_guard lock(timerM_);
    return timerSleepsUntilUs_;
  }

  void sync(const QueueRef& queue, const Block& block, bool barrier) override {
    if (queue->isCurrent()) {
      block();
      return;
    }
    std::promise<void> done;
    auto fut = done.get_future();
    Block waited = [&block, &done] {
      block();
      done.set_value();
    };
    if (queue->kind() == QueueKind::Serial) {
      // Never deferred; and a drain this worker deferred before (so the queue
      // counts as draining and the block only joins it) is handed to the
      // pool after the block has joined, so it cannot have ended in between.
      postSerial(queue, std::move(waited), false);
      if (auto hook = serialSyncHook_.load()) hook();
    } else {
      post(queue, std::move(waited), barrier);
    }
    // The worker is about to wait: whatever it deferred goes to the pool, so
    // that neither this wait nor one further down the chain waits on it.
    handOverDeferredDrains();
    fut.wait();
  }

  int64_t nowUs() const override {
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::steady_clock::now().time_since_epoch()).count();
  }

  bool isMainThread() const override {
    if (tl_currentQueue) return tl_currentQueue->kind() == QueueKind::Main;
    return std::this_thread::get_id() == mainThread_.load();
  }

  // Runs main-queue blocks one at a time; after each one, and before it
  // sleeps, it looks at the stop flag, the predicate and the deadline. The
  // predicate runs without the lock, so a block posted meanwhile is found by
  // the wait's own check of the queue, under the lock.
  void runMain(const std::function<bool()>& pred, int64_t timeoutMs) {
    mainThread_ = std::this_thread::get_id();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    std::unique_lock lock(mainM_);
    for (;;) {
      if (!mainTasks_.empty()) {
        Task t = std::move(mainTasks_.front());
        mainTasks_.pop_front();
        lock.unlock();
        runMainQueueTurn(t.queue.get(), t.block);
        t = Task{};
        lock.lock();
      }
      if (stopMain_) {
        stopMain_ = false;
        return;
      }
      if (pred) {
        lock.unlock();
        const bool done = pred();
        lock.lock();
        if (done) return;
      }
      if (timeoutMs >= 0 && std::chrono::steady_clock::now() >= deadline) return;
      if (!mainTasks_.empty()) continue;
      const auto ready = [this] {
        if (!mainTasks_.empty() || stopMain_) return true;
        if (auto hook = mainLoopWillWaitHook_.load()) hook();
        return false;
      };
      if (timeoutMs >= 0) {
        mainCv_.wait_until(lock, deadline, ready);
      } else {
        mainCv_.wait(lock, ready);
      }
    }
  }

  void stopMain() {
    {
      std::lock_guard lock(mainM_);
      stopMain_ = true;
    }
    mainCv_.notify_all();
  }

  void setMainLoopWillWaitHook(void (*hook)()) { mainLoopWillWaitHook_.store(hook); }
  void setSerialSyncHook(void (*hook)()) { serialSyncHook_.store(hook); }

  // Runs `block` on this thread as the next block of the light serial
  // `queue` if no block of it runs or waits; the queue counts as draining
  // meanwhile, so blocks posted beside it wait and then go to a worker.
  bool runOnIdleLightSerialHere(Queue* queue, const Block& block) {
    auto& st = queue->state();
    {
      std::lock_guard lock(st.m);
      if (!st.light || st.draining || !st.pending.empty()) return false;
      st.draining = true;
    }
    runAsQueue(queue, block);
    {
      std::lock_guard lock(st.m);
      if (st.pending.empty()) {
        st.draining = false;
        return true;
      }
    }
    pool_.submit([this, q = queue->shared_from_this()] { drainSerial(q); });
    return true;
  }

  void stopWorkersAtExit() { pool_.stopAtExit(kExitWaitForRunning); }
  WorkerPoolCounts workerPoolCounts() { return pool_.counts(); }
  bool workersStopped() const { return pool_.exiting(); }

 private:
  struct Task {
    QueueRef queue;
    Block block;
  };
  struct Delayed {
    QueueRef queue;
    Block block;
    CancelToken token;
  };
  using TimerKey = std::pair<int64_t, uint64_t>;  // deadline, submission order

  // Queues the block; starts a drain unless one is scheduled or running. A
  // background queue's drain, started by a worker with `mayDefer`, waits for
  // the worker's current block to end and runs on it.
  void postSerial(const QueueRef& queue, Block block, bool mayDefer) {
    auto& st = queue->state();
    {
      std::lock_guard lock(st.m);
      st.pending.push_back({std::move(block), false});
      if (st.draining) return;
      st.draining = true;
    }
    Block drain = [this, q = queue] { drainSerial(q); };
    if (mayDefer && st.background && tl_poolWorker) {
      tl_deferredDrains.push_back(std::move(drain));
      return;
    }
    // Handed to a worker after the queue's lock is let go: the worker's
    // first step takes it.
    pool_.submit(std::move(drain));
  }

  // The drains of background queues this worker deferred, handed to the
  // pool (the worker is about to wait).
  void handOverDeferredDrains() {
    for (auto& drain : std::exchange(tl_deferredDrains, {})) pool_.submit(std::move(drain));
  }

  void drainSerial(const QueueRef& q) {
    auto& st = q->state();
    // A bounded batch, then yield the worker so one busy queue cannot hog it.
    for (int i = 0; i < 64; ++i) {
      if (pool_.exiting()) return;  // the queue stays "draining": nothing restarts it
      Block b;
      {
        std::lock_guard lock(st.m);
        if (st.pending.empty()) {
          st.draining = false;
          return;
        }
        b = std::move(st.pending.front().block);
        st.pending.pop_front();
      }
      runAsQueue(q.get(), b);
    }
    pool_.submit([this, q] { drainSerial(q); });
  }

  void pumpConcurrentLocked(const QueueRef& q) {
    auto& st = q->state();
    while (!st.pending.empty() && !st.barrierRunning) {
      auto& front = st.pending.front();
      if (front.barrier) {
        if (st.running > 0) return;
        st.barrierRunning = true;
        Block b = std::move(front.block);
        st.pending.pop_front();
        pool_.submit([this, q, b = std::move(b)] {
          runAsQueue(q.get(), b);
          std::lock_guard lock(q->state().m);
          q->state().barrierRunning = false;
          pumpConcurrentLocked(q);
        });
        return;
      }
      ++st.running;
      Block b = std::move(front.block);
      st.pending.pop_front();
      pool_.submit([this, q, b = std::move(b)] {
        runAsQueue(q.get(), b);
        std::lock_guard lock(q->state().m);
        --q->state().running;
        pumpConcurrentLocked(q);
      });
    }
  }

  void timerLoop() {
    setCurrentThreadName("qb-timer");
    std::unique_lock lock(timerM_);
    for (;;) {
      if (timers_.empty()) {
        timerSleepsUntilUs_ = std::numeric_limits<int64_t>::max();
        timerCv_.wait(lock);
        timerSleepsUntilUs_ = std::numeric_limits<int64_t>::min();
        continue;
      }
      auto it = timers_.begin();
      if (it->second.token && it->second.token->load()) {
        tokenIndex_.erase(it->second.token.get());
        timers_.erase(it);
        continue;
      }
      int64_t now = nowUs();
      if (it->first.first > now) {
        // Waits in slices: the standard library's timed wait overflows (and
        // returns at once) for durations near the limits of its clock.
        constexpr int64_t kSliceUs = 3'600'000'000;
        const int64_t sleepUs = std::min(it->first.first - now, kSliceUs);
        timerSleepsUntilUs_ = now + sleepUs;
        timerCv_.wait_for(lock, std::chrono::microseconds(sleepUs));
        timerSleepsUntilUs_ = std::numeric_limits<int64_t>::min();
        continue;
      }
      Delayed d = std::move(it->second);
      if (d.token) tokenIndex_.erase(d.token.get());
      timers_.erase(it);
      lock.unlock();
      CancelToken token = d.token;
      Block b = std::move(d.block);
      post(d.queue, [token, b = std::move(b)] {
        if (!token || !token->load()) b();
      }, false);
      lock.lock();
    }
  }

  WorkerPool pool_;
  std::mutex mainM_;
  std::condition_variable mainCv_;
  std::deque<Task> mainTasks_;
  bool stopMain_ = false;
  std::atomic<std::thread::id> mainThread_{g_processMainThread};
  std::atomic<void (*)()> mainLoopWillWaitHook_{nullptr};
  std::atomic<void (*)()> serialSyncHook_{nullptr};

  std::mutex timerM_;
  std::condition_variable timerCv_;
  std::map<TimerKey, Delayed> timers_;
  // Where each cancellable entry sits in timers_ (a timer has at most one).
  std::unordered_map<const void*, TimerKey> tokenIndex_;
  uint64_t seq_ = 0;
  // The deadline the timer thread sleeps to: the largest value while it
  // sleeps with no timer, the smallest while it is awake (it looks at the
  // list again before it sleeps).
  int64_t timerSleepsUntilUs_ = std::numeric_limits<int64_t>::min();
  uint64_t timerWakes_ = 0;  // notifications of the timer thread, for tests
  std::thread timerThread_;
};

std::atomic<RealBackend*> g_realBackend{nullptr};

RealBackend& realBackend() {
  // Never destroyed: detached workers may still touch it at exit.
  static RealBackend* b = [] {
    auto* built = new RealBackend();
    g_realBackend.store(built);
    return built;
  }();
  return *b;
}

// ---- process exit ----

struct ExitSteps {
  std::mutex m;
  std::vector<void (*)()> steps;  // guarded by m
};

ExitSteps& exitSteps() {
  static ExitSteps& s = *new ExitSteps();
  return s;
}

// Runs from std::atexit on the exiting thread, before the exit handlers that
// were registered earlier (OpenSSL's clean-up among them).
void runExitSteps() {
  if (RealBackend* real = g_realBackend.load()) real->stopWorkersAtExit();
  std::vector<void (*)()> steps;
  {
    auto& s = exitSteps();
    std::lock_guard lock(s.m);
    steps = s.steps;
  }
  for (auto step : steps) step();
}

void ensureExitStep() {
  static std::once_flag& once = *new std::once_flag();
  std::call_once(once, [] {
    keepCryptoLibraryUntilExit();
    std::atexit(runExitSteps);
  });
}

}  // namespace

int64_t delayToUs(double delayMs) {
  if (!(delayMs > 0)) return 0;  // also catches NaN
  if (!(delayMs < kMaxDelayMs)) return static_cast<int64_t>(kMaxDelayMs * 1000.0);  // also infinity
  return static_cast<int64_t>(std::ceil(delayMs * 1000.0));
}

std::shared_ptr<Queue> makeQueue(std::string label, QueueKind kind) {
  return std::make_shared<QueueImpl>(std::move(label), kind);
}

DispatchBackend& realDispatchBackend() { return realBackend(); }

DispatchBackend& backend() {
  if (auto* t = g_testBackend.load()) return *t;
  return realBackend();
}

void installTestBackend(DispatchBackend* test) { g_testBackend.store(test); }

void addExitStep(void (*step)()) {
  ensureExitStep();
  auto& s = exitSteps();
  std::lock_guard lock(s.m);
  s.steps.push_back(step);
}

void runAsQueue(Queue* queue, const Block& block) {
  Queue* saved = tl_currentQueue;
  tl_currentQueue = queue;
  block();
  tl_currentQueue = saved;
}

Queue* currentQueueRaw() { return tl_currentQueue; }

bool runBlockHereIfFree(Queue* queue, const Block& block) {
  if (g_testBackend.load()) return false;
  RealBackend& real = realBackend();
  if (real.workersStopped()) return false;
  switch (queue->kind()) {
    case QueueKind::Global:
      runAsQueue(queue, block);
      return true;
    case QueueKind::Serial:
      return real.runOnIdleLightSerialHere(queue, block);
    default:
      return false;
  }
}

namespace {
std::atomic<MainQueueTurnEndHook> g_turnEndHook{nullptr};
}

void setMainQueueTurnEndHook(MainQueueTurnEndHook hook) { g_turnEndHook.store(hook); }

void runMainQueueTurn(Queue* mainQueue, const Block& block) {
  runAsQueue(mainQueue, block);
  if (auto hook = g_turnEndHook.load()) runAsQueue(mainQueue, hook);
}

Queue::Queue(std::string label, QueueKind kind)
    : label_(std::move(label)), kind_(kind), state_(std::make_unique<State>()) {}

void Queue::async(Block block) {
  if (!block) return;
  backend().post(shared_from_this(), std::move(block), false);
}

void Queue::after(double delayMs, Block block) {
  if (!block) return;
  auto& b = backend();
  b.postAt(shared_from_this(), saturatingAddUs(b.nowUs(), delayToUs(delayMs)), std::move(block), nullptr);
}

void Queue::sync(const Block& block) {
  if (!block) return;
  backend().sync(shared_from_this(), block, false);
}

void Queue::barrierAsync(Block block) {
  if (!block) return;
  backend().post(shared_from_this(), std::move(block), kind_ == QueueKind::Concurrent);
}

void Queue::barrierSync(const Block& block) {
  if (!block) return;
  backend().sync(shared_from_this(), block, kind_ == QueueKind::Concurrent);
}

bool Queue::isCurrent() const {
  if (kind_ == QueueKind::Main) return platform::isMainThread();
  return tl_currentQueue == this;
}

// The process-wide queues are never destroyed: workers and destructors that
// run during static destruction at exit still post to them.
QueueRef mainQueue() {
  static const QueueRef& q = *new QueueRef(makeQueue("main-thread", QueueKind::Main));
  return q;
}

QueueRef globalQueue(QueuePriority priority) {
  static const QueueRef& high = *new QueueRef(makeQueue("global.high", QueueKind::Global));
  static const QueueRef& def = *new QueueRef(makeQueue("global.default", QueueKind::Global));
  static const QueueRef& low = *new QueueRef(makeQueue("global.low", QueueKind::Global));
  static const QueueRef& bg = *new QueueRef(makeQueue("global.background", QueueKind::Global));
  switch (priority) {
    case QueuePriority::High: return high;
    case QueuePriority::Default: return def;
    case QueuePriority::Low: return low;
    case QueuePriority::Background: return bg;
  }
  return def;
}

QueueRef createSerialQueue(std::string label) { return makeQueue(std::move(label), QueueKind::Serial); }
QueueRef createBackgroundSerialQueue(std::string label) {
  auto queue = makeQueue(std::move(label), QueueKind::Serial);
  queue->state().background = true;
  return queue;
}
QueueRef createLightSerialQueue(std::string label) {
  auto queue = makeQueue(std::move(label), QueueKind::Serial);
  queue->state().light = true;
  return queue;
}
QueueRef createConcurrentQueue(std::string label) { return makeQueue(std::move(label), QueueKind::Concurrent); }

bool isMainThread() { return backend().isMainThread(); }

std::string currentQueueLabel() {
  if (tl_currentQueue) return tl_currentQueue->label();
  if (isMainThread()) return mainQueue()->label();
  return "";
}

// ---- Timer ----

struct Timer::Shared {
  QueueRef queue;
  int64_t intervalUs = 0;
  bool repeating = false;
  CancelToken cancelled = std::make_shared<std::atomic<bool>>(false);
  std::mutex m;
  Block block;
  int64_t nextDeadlineUs = 0;
};

namespace {
void scheduleTimer(const std::shared_ptr<Timer::Shared>& s);

void fireTimer(const std::shared_ptr<Timer::Shared>& s) {
  if (s->cancelled->load()) return;
  Block b;
  {
    std::lock_guard lock(s->m);
    b = s->block;
    if (!s->repeating) {
      s->cancelled->store(true);
      s->block = nullptr;
    }
  }
  if (s->repeating) scheduleTimer(s);
  if (b) b();
}

void scheduleTimer(const std::shared_ptr<Timer::Shared>& s) {
  auto& b = backend();
  int64_t deadline;
  {
    std::lock_guard lock(s->m);
    s->nextDeadlineUs = saturatingAddUs(s->nextDeadlineUs, s->intervalUs);
    // A repeating timer that fell far behind (real mode) does not replay
    // every missed tick.
    int64_t now = b.nowUs();
    if (s->nextDeadlineUs < now) s->nextDeadlineUs = now;
    deadline = s->nextDeadlineUs;
  }
  std::weak_ptr<Timer::Shared> weak = s;
  b.postAt(s->queue, deadline, [weak] {
    if (auto strong = weak.lock()) fireTimer(strong);
  }, s->cancelled);
}

std::shared_ptr<Timer::Shared> makeTimerShared(QueueRef queue, double intervalMs, Block block, bool repeating) {
  auto s = std::make_shared<Timer::Shared>();
  s->queue = queue ? std::move(queue) : mainQueue();
  s->intervalUs = delayToUs(intervalMs);
  if (repeating && s->intervalUs == 0) s->intervalUs = 1;
  s->repeating = repeating;
  s->block = std::move(block);
  s->nextDeadlineUs = backend().nowUs();
  return s;
}
}  // namespace

std::shared_ptr<Timer> Timer::once(QueueRef queue, double intervalMs, Block block) {
  auto s = makeTimerShared(std::move(queue), intervalMs, std::move(block), false);
  scheduleTimer(s);
  return std::shared_ptr<Timer>(new Timer(s));
}

std::shared_ptr<Timer> Timer::repeating(QueueRef queue, double intervalMs, Block block) {
  auto s = makeTimerShared(std::move(queue), intervalMs, std::move(block), true);
  scheduleTimer(s);
  return std::shared_ptr<Timer>(new Timer(s));
}

Timer::~Timer() { cancel(); }

void Timer::cancel() {
  shared_->cancelled->store(true);
  if (RealBackend* real = g_realBackend.load()) real->forgetCancelled(shared_->cancelled);
  Block dropped;
  {
    std::lock_guard lock(shared_->m);
    dropped = std::move(shared_->block);
    shared_->block = nullptr;
  }
  // `dropped` (and whatever it captured) is released outside the lock.
}

bool Timer::isValid() const { return !shared_->cancelled->load(); }

// ---- main loop (real mode) ----

void setMainLoopWillWaitHookForTesting(void (*hook)()) { realBackend().setMainLoopWillWaitHook(hook); }
void setSerialSyncHookForTesting(void (*hook)()) { realBackend().setSerialSyncHook(hook); }
size_t pendingRealTimersForTesting() { return realBackend().pendingTimerCount(); }
uint64_t realTimerWakesForTesting() { return realBackend().timerWakeCount(); }
int64_t realTimerThreadSleepsUntilForTesting() { return realBackend().timerSleepsUntil(); }
WorkerPoolCounts workerPoolCountsForTesting() { return realBackend().workerPoolCounts(); }

void setCurrentThreadName(const char* name) {
  // The kernel keeps 15 bytes of a thread's name.
  char shortName[16] = {};
  std::strncpy(shortName, name, sizeof shortName - 1);
  pthread_setname_np(pthread_self(), shortName);
}

void runMainLoop() { realBackend().runMain(nullptr, -1); }
void stopMainLoop() { realBackend().stopMain(); }
bool runMainUntil(const std::function<bool()>& pred, int64_t timeoutMs) {
  realBackend().runMain(pred, timeoutMs < 0 ? 0 : timeoutMs);
  return pred();
}

}  // namespace platform
