// What one cross-thread wake-up costs on this machine: two threads hand a
// turn back and forth through a mutex and a condition variable, each waiting
// (asleep) while the other has it. Every ratio of the library's figures that
// involves a thread hop reads against this (docs/benchmarks.md).
//
// Counter: wakeup_us, the time from one thread's notify to the other running
// (half of one round trip).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

namespace {

void BM_CrossThreadWakeUp(benchmark::State& state) {
  std::mutex m;
  std::condition_variable cv;
  int turn = 0;  // 0: the benchmark thread's, 1: the partner's, -1: stop
  std::thread partner([&] {
    std::unique_lock lock(m);
    for (;;) {
      cv.wait(lock, [&] { return turn != 0; });
      if (turn < 0) return;
      turn = 0;
      cv.notify_all();
    }
  });
  const auto start = std::chrono::steady_clock::now();
  {
    std::unique_lock lock(m);
    for (auto _ : state) {
      turn = 1;
      cv.notify_all();
      cv.wait(lock, [&] { return turn == 0; });
    }
    turn = -1;
    cv.notify_all();
  }
  const auto elapsed = std::chrono::steady_clock::now() - start;
  partner.join();
  const double ns = static_cast<double>(std::chrono::duration_cast<std::chrono::nanoseconds>(elapsed).count());
  state.counters["wakeup_us"] = ns / 2.0 / static_cast<double>(std::max<int64_t>(state.iterations(), 1)) / 1000.0;
}
BENCHMARK(BM_CrossThreadWakeUp)->UseRealTime();

// The same wake-up after the woken thread has waited as long as a request to
// the sandbox takes: the waker stays busy for the argument's microseconds
// before it notifies, so the other thread's core has been idle that long (a
// thread waiting for an answer is woken this way; a virtual machine's idle
// core answers more slowly the longer it has idled).
//
// Counter: wakeup_us, from the notify to the woken thread running, stamped
// on both sides.
void BM_CrossThreadWakeUpAfterIdle(benchmark::State& state) {
  using Clock = std::chrono::steady_clock;
  const auto gap = std::chrono::microseconds(state.range(0));
  std::mutex m;
  std::condition_variable cv;
  int turn = 0;  // 0: the benchmark thread's, 1: the partner's, -1: stop
  Clock::time_point notified;
  int64_t wokenNs = 0;
  std::thread partner([&] {
    std::unique_lock lock(m);
    for (;;) {
      cv.wait(lock, [&] { return turn != 0; });
      if (turn < 0) return;
      wokenNs += std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - notified).count();
      turn = 0;
      cv.notify_all();
    }
  });
  for (auto _ : state) {
    const auto busyUntil = Clock::now() + gap;
    while (Clock::now() < busyUntil) {
    }
    std::unique_lock lock(m);
    notified = Clock::now();
    turn = 1;
    cv.notify_all();
    cv.wait(lock, [&] { return turn == 0; });
  }
  {
    std::lock_guard lock(m);
    turn = -1;
    cv.notify_all();
  }
  partner.join();
  state.counters["wakeup_us"] =
      static_cast<double>(wokenNs) / static_cast<double>(std::max<int64_t>(state.iterations(), 1)) / 1000.0;
}
BENCHMARK(BM_CrossThreadWakeUpAfterIdle)->Arg(20)->Arg(150)->UseRealTime();

}  // namespace
