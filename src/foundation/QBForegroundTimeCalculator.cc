#include "foundation/QBForegroundTimeCalculator.h"

#include "platform/clock.h"

std::shared_ptr<QBForegroundTimeCalculator> QBForegroundTimeCalculator::create() {
  std::shared_ptr<QBForegroundTimeCalculator> calculator(new QBForegroundTimeCalculator());
  calculator->lifeCycle_.observe(calculator);
  return calculator;
}

QBForegroundTimeCalculator::~QBForegroundTimeCalculator() = default;

void QBForegroundTimeCalculator::start() {
  std::lock_guard lock(mutex_);
  if (counting_) return;
  counting_ = true;
  if (platform::Application::shared().applicationState() != platform::ApplicationState::Background) {
    spanStartMs_ = platform::nowMonotonicMs();
  }
}

void QBForegroundTimeCalculator::reset() {
  std::lock_guard lock(mutex_);
  accumulatedMs_ = 0;
  if (spanStartMs_) spanStartMs_ = platform::nowMonotonicMs();
}

int64_t QBForegroundTimeCalculator::getForegroundTime() const {
  std::lock_guard lock(mutex_);
  int64_t total = accumulatedMs_;
  if (spanStartMs_) total += platform::nowMonotonicMs() - *spanStartMs_;
  return total;
}

void QBForegroundTimeCalculator::didEnterBackground() {
  std::lock_guard lock(mutex_);
  if (!spanStartMs_) return;
  accumulatedMs_ += platform::nowMonotonicMs() - *spanStartMs_;
  spanStartMs_.reset();
}

void QBForegroundTimeCalculator::willEnterForeground() {
  std::lock_guard lock(mutex_);
  if (counting_ && !spanStartMs_) spanStartMs_ = platform::nowMonotonicMs();
}
