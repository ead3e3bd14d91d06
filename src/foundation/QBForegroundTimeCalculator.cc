#include "foundation/QBForegroundTimeCalculator.h"

#include "platform/clock.h"

std::shared_ptr<QBForegroundTimeCalculator> QBForegroundTimeCalculator::create() {
  std::shared_ptr<QBForegroundTimeCalculator> calculator(new QBForegroundTimeCalculator());
  calculator->observeLifeCycle();
  return calculator;
}

QBForegroundTimeCalculator::~QBForegroundTimeCalculator() {
  auto& center = platform::NotificationCenter::defaultCenter();
  center.removeObserver(backgroundToken_);
  center.removeObserver(foregroundToken_);
}

void QBForegroundTimeCalculator::observeLifeCycle() {
  // Handled on the poster's thread, so the span ends exactly when the notice
  // is posted, not when some queue gets to it.
  std::weak_ptr<QBForegroundTimeCalculator> weak = weak_from_this();
  auto& center = platform::NotificationCenter::defaultCenter();
  backgroundToken_ = center.addObserver(std::weak_ptr<const void>(weak),
                                        platform::kUIApplicationDidEnterBackgroundNotification, nullptr,
                                        [weak](const platform::Notification&) {
                                          if (auto self = weak.lock()) self->didEnterBackground();
                                        });
  foregroundToken_ = center.addObserver(std::weak_ptr<const void>(weak),
                                        platform::kUIApplicationWillEnterForegroundNotification, nullptr,
                                        [weak](const platform::Notification&) {
                                          if (auto self = weak.lock()) self->willEnterForeground();
                                        });
}

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
