#include "platform/test_environment.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <future>
#include <map>
#include <mutex>
#include <thread>

#include "platform/dispatch_backend.h"

namespace platform {
namespace {
std::atomic<TestEnvironment*> g_current{nullptr};
}

class ManualClock : public Clock {
 public:
  // Atomics: worker threads (I/O completions) read the clock too.
  std::atomic<int64_t> monoUs{1'000'000'000};  // arbitrary non-zero origin
  std::atomic<int64_t> wallBaseMs{0};
  std::atomic<int64_t> sleptMs{0};
  std::atomic<int64_t> bootMs{0};
  std::atomic<bool> bootKnown{true};

  int64_t wallMs() const override { return wallBaseMs.load() + monoUs.load() / 1000 + sleptMs.load(); }
  int64_t monotonicMs() const override { return monoUs.load() / 1000; }
  int64_t uptimeMs() const override { return monoUs.load() / 1000; }
  int64_t uptimeWithSleepMs() const override { return monoUs.load() / 1000 + sleptMs.load(); }
  std::optional<int64_t> bootTimeMs() const override {
    if (!bootKnown.load()) return std::nullopt;
    return bootMs.load();
  }
};

// The test back end lives for the whole process and is switched on and off by
// each TestEnvironment. Threads that picked it up just before an environment
// ended (an I/O completion, a worker reading the clock) therefore never touch
// freed memory; once it is off, their work goes to the worker-thread back end
// instead of leaking into the next test.
struct TestEnvironment::Impl : DispatchBackend {
  struct Task {
    QueueRef queue;
    Block block;
  };
  struct Delayed {
    QueueRef queue;
    Block block;
    CancelToken token;
  };

  ManualClock clock;
  mutable std::mutex m;
  std::condition_variable cv;
  std::atomic<bool> active{false};  // written under m; read lock-free by clock()
  std::thread::id testThread;
  std::deque<Task> ready;
  std::map<std::pair<int64_t, uint64_t>, Delayed> delayed;
  uint64_t seq = 0;

  static Impl& shared() {
    static Impl* impl = new Impl();  // never destroyed, see above
    return *impl;
  }

  bool isActive() const { return active.load(); }

  void post(const QueueRef& queue, Block block, bool barrier) override {
    {
      std::lock_guard lock(m);
      if (active) {
        ready.push_back(Task{queue, std::move(block)});
        cv.notify_all();
        return;
      }
    }
    realDispatchBackend().post(queue, std::move(block), barrier);
  }

  void postAt(const QueueRef& queue, int64_t deadlineUs, Block block, CancelToken token) override {
    {
      std::lock_guard lock(m);
      if (active) {
        delayed.emplace(std::make_pair(deadlineUs, seq++), Delayed{queue, std::move(block), std::move(token)});
        cv.notify_all();
        return;
      }
    }
    // The deadline was taken on the manual clock; keep the remaining delay.
    auto& real = realDispatchBackend();
    int64_t remaining = deadlineUs - clock.monoUs.load();
    real.postAt(queue, saturatingAddUs(real.nowUs(), remaining > 0 ? remaining : 0), std::move(block),
                std::move(token));
  }

  void sync(const QueueRef& queue, const Block& block, bool barrier) override {
    std::thread::id owner;
    {
      std::lock_guard lock(m);
      if (!active) owner = std::thread::id();
      else owner = testThread;
    }
    if (owner == std::thread::id()) {
      realDispatchBackend().sync(queue, block, barrier);
      return;
    }
    if (std::this_thread::get_id() == owner) {
      runAsQueue(queue.get(), block);
      return;
    }
    // From a foreign thread: the test thread runs it when it next pumps.
    std::promise<void> done;
    auto fut = done.get_future();
    post(queue, [&block, &done] {
      block();
      done.set_value();
    }, barrier);
    fut.wait();
  }

  int64_t nowUs() const override { return clock.monoUs.load(); }

  bool isMainThread() const override {
    std::thread::id owner;
    {
      std::lock_guard lock(m);
      if (!active) return realDispatchBackend().isMainThread();
      owner = testThread;
    }
    if (Queue* q = currentQueueRaw()) return q->kind() == QueueKind::Main;
    return std::this_thread::get_id() == owner;
  }

  bool runOne() {
    Task t;
    {
      std::lock_guard lock(m);
      if (ready.empty()) return false;
      t = std::move(ready.front());
      ready.pop_front();
    }
    if (t.queue->kind() == QueueKind::Main) {
      runMainQueueTurn(t.queue.get(), t.block);
    } else {
      runAsQueue(t.queue.get(), t.block);
    }
    return true;
  }

  // Moves the earliest live delayed block due at or before limitUs to the
  // ready list, moving the clock to its deadline. False when none is due.
  bool promoteNext(int64_t limitUs) {
    std::lock_guard lock(m);
    while (!delayed.empty()) {
      auto it = delayed.begin();
      if (it->second.token && it->second.token->load()) {
        delayed.erase(it);
        continue;
      }
      if (it->first.first > limitUs) return false;
      if (it->first.first > clock.monoUs.load()) clock.monoUs.store(it->first.first);
      Delayed d = std::move(it->second);
      delayed.erase(it);
      CancelToken token = d.token;
      ready.push_back(Task{d.queue, [token, b = std::move(d.block)] {
                             if (!token || !token->load()) b();
                           }});
      return true;
    }
    return false;
  }
};

const Clock* activeManualClock() {
  auto& impl = TestEnvironment::Impl::shared();
  return impl.isActive() ? &impl.clock : nullptr;
}

TestEnvironment::TestEnvironment(int64_t wallStartMs) : impl_(&Impl::shared()) {
  TestEnvironment* expected = nullptr;
  if (!g_current.compare_exchange_strong(expected, this)) {
    std::fprintf(stderr, "TestEnvironment: only one may be alive at a time\n");
    std::abort();
  }
  {
    std::lock_guard lock(impl_->m);
    auto& c = impl_->clock;
    c.monoUs.store(1'000'000'000);
    c.sleptMs.store(0);
    c.bootKnown.store(true);
    c.wallBaseMs.store(wallStartMs - c.monoUs.load() / 1000);
    c.bootMs.store(wallStartMs - c.monoUs.load() / 1000);
    impl_->testThread = std::this_thread::get_id();
    impl_->seq = 0;
    impl_->active = true;
  }
  installTestBackend(impl_);
}

TestEnvironment::~TestEnvironment() {
  installTestBackend(nullptr);
  // Pending work is dropped outside the lock: destroying captured objects may
  // post or cancel more work (which now goes to the worker threads).
  std::deque<Impl::Task> ready;
  std::map<std::pair<int64_t, uint64_t>, Impl::Delayed> delayed;
  {
    std::lock_guard lock(impl_->m);
    impl_->active = false;
    ready.swap(impl_->ready);
    delayed.swap(impl_->delayed);
  }
  g_current.store(nullptr);
}

size_t TestEnvironment::runUntilIdle() {
  size_t n = 0;
  while (impl_->runOne()) ++n;
  return n;
}

void TestEnvironment::advance(int64_t ms) {
  if (ms < 0) ms = 0;
  runUntilIdle();
  const int64_t target =
      saturatingAddUs(impl_->clock.monoUs.load(), ms > INT64_MAX / 1000 ? INT64_MAX : ms * 1000);
  while (impl_->promoteNext(target)) runUntilIdle();
  if (impl_->clock.monoUs.load() < target) impl_->clock.monoUs.store(target);
  runUntilIdle();
}

bool TestEnvironment::advanceToNextDeadline() {
  runUntilIdle();
  if (!impl_->promoteNext(INT64_MAX)) return false;
  runUntilIdle();
  return true;
}

bool TestEnvironment::runUntil(const std::function<bool()>& pred, int64_t realTimeoutMs) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(realTimeoutMs);
  for (;;) {
    runUntilIdle();
    if (pred()) return true;
    std::unique_lock lock(impl_->m);
    if (!impl_->ready.empty()) continue;
    if (impl_->cv.wait_until(lock, deadline, [this] { return !impl_->ready.empty(); })) continue;
    lock.unlock();
    runUntilIdle();
    return pred();
  }
}

size_t TestEnvironment::readyCount() const {
  std::lock_guard lock(impl_->m);
  return impl_->ready.size();
}

size_t TestEnvironment::delayedCount() const {
  std::lock_guard lock(impl_->m);
  size_t n = 0;
  for (const auto& [k, d] : impl_->delayed)
    if (!d.token || !d.token->load()) ++n;
  return n;
}

std::vector<std::string> TestEnvironment::describePending() const {
  std::lock_guard lock(impl_->m);
  std::vector<std::string> out;
  for (const auto& t : impl_->ready) out.push_back("ready on " + t.queue->label());
  for (const auto& [k, d] : impl_->delayed) {
    if (d.token && d.token->load()) continue;
    out.push_back("delayed on " + d.queue->label() + " at +" +
                  std::to_string((k.first - impl_->clock.monoUs.load()) / 1000) + " ms");
  }
  return out;
}

void TestEnvironment::setWallMs(int64_t wallMs) {
  auto& c = impl_->clock;
  c.wallBaseMs.store(wallMs - c.monoUs.load() / 1000 - c.sleptMs.load());
}

void TestEnvironment::setBootTimeMs(std::optional<int64_t> bootMs) {
  impl_->clock.bootKnown.store(bootMs.has_value());
  if (bootMs) impl_->clock.bootMs.store(*bootMs);
}

void TestEnvironment::sleepDevice(int64_t ms) { impl_->clock.sleptMs.fetch_add(ms); }

const Clock& TestEnvironment::manualClock() const { return impl_->clock; }

TestEnvironment* TestEnvironment::current() { return g_current.load(); }

}  // namespace platform
