#include "platform/script/processor_budget.h"

#include <algorithm>
#include <atomic>
#include <ctime>

#include "platform/clock.h"

namespace platform {

namespace {
std::atomic<double (*)()> processorClockForTesting{nullptr};
}  // namespace

void setThreadProcessorClockForTesting(double (*clock)()) { processorClockForTesting.store(clock); }

double threadProcessorMs() {
  if (auto clock = processorClockForTesting.load(std::memory_order_relaxed)) return clock();
  timespec now{};
  if (clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now) != 0) return 0;
  return static_cast<double>(now.tv_sec) * 1000.0 + static_cast<double>(now.tv_nsec) / 1e6;
}

ProcessorBudget::ProcessorBudget(double burstMs, double share)
    : burstMs_(std::max(0.0, burstMs)), share_(std::max(0.0, share)), creditMs_(burstMs_), creditAtMs_(nowMonotonicMs()) {}

void ProcessorBudget::refill() {
  const int64_t now = nowMonotonicMs();
  if (now <= creditAtMs_) return;
  creditMs_ = std::min(burstMs_, creditMs_ + static_cast<double>(now - creditAtMs_) * share_);
  creditAtMs_ = now;
}

bool ProcessorBudget::charge(double usedMs) {
  if (!enabled()) return true;
  refill();
  creditMs_ -= std::max(0.0, usedMs);
  return creditMs_ >= 0;
}

ProcessorBudget::Task::Task(ProcessorBudget* budget)
    : budget_(budget && budget->enabled() ? budget : nullptr), startMs_(budget_ ? threadProcessorMs() : 0) {}

ProcessorBudget::Task::~Task() { finish(); }

bool ProcessorBudget::Task::finish(double extraMs) {
  if (!budget_ || charged_) return result_;
  charged_ = true;
  result_ = budget_->charge(threadProcessorMs() - startMs_ + kTaskOverheadMs + std::max(0.0, extraMs));
  return result_;
}

}  // namespace platform
