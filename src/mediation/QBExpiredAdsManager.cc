#include "mediation/QBExpiredAdsManager.h"

#include <string>

#include "foundation/QBLoggerManager.h"

std::shared_ptr<QBExpiredAdsManager> QBExpiredAdsManager::initWithDelegate(
    std::weak_ptr<QBAdExpirationDelegate> delegate, int64_t expiredDurationInMinutes) {
  return std::shared_ptr<QBExpiredAdsManager>(new QBExpiredAdsManager(std::move(delegate), expiredDurationInMinutes));
}

QBExpiredAdsManager::~QBExpiredAdsManager() { cancelExpirationScheduler(); }

void QBExpiredAdsManager::startExpirationTimerForAdsWithDeltaInSeconds(double deltaInSeconds) {
  if (!isEnabled()) return;
  const double seconds = static_cast<double>(minutes_) * 60.0 - deltaInSeconds;
  QB_LOG("ads expire in " + std::to_string(seconds) + " s", QBLogLevelVerbose, QBLogTagInternal);
  auto timer = QBLifeCycleSensitiveTimer::create(seconds, [delegate = delegate_] {
    if (auto target = delegate.lock()) target->onAdExpired();
  });
  // Start and cancel happen under the lock so that a concurrent cancel can
  // never be overtaken by the start of the timer it meant to stop.
  std::lock_guard<std::mutex> lock(mutex_);
  if (timer_) timer_->cancel();
  timer_ = std::move(timer);
  timer_->start();
}

void QBExpiredAdsManager::cancelExpirationScheduler() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (timer_) timer_->cancel();
  timer_.reset();
}

bool QBExpiredAdsManager::isScheduled() const {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!timer_) return false;
  const auto state = timer_->state();
  return state == QBLifeCycleSensitiveTimer::State::Running || state == QBLifeCycleSensitiveTimer::State::Paused;
}
