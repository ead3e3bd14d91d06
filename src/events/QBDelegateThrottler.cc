#include "events/QBDelegateThrottler.h"

#include <limits>
#include <string>
#include <utility>

#include "events/QBBannerDelegateWrapper.h"
#include "events/QBInterstitialDelegateWrapper.h"
#include "events/QBRewardedVideoDelegateWrapper.h"
#include "foundation/QBLoggerManager.h"
#include "platform/clock.h"

std::shared_ptr<QBDelegateThrottler> QBDelegateThrottler::sharedInstance() {
  static const auto& instance = *new std::shared_ptr<QBDelegateThrottler>(std::make_shared<QBDelegateThrottler>());  // never destroyed
  return instance;
}

void QBDelegateThrottler::resetForTesting() {
  auto throttler = sharedInstance();
  std::unordered_map<QBAdUnit, Entry> dropped;  // timers cancelled after the lock
  std::lock_guard lock(throttler->mutex_);
  dropped.swap(throttler->entries_);
}

void QBDelegateThrottler::setDelayLoadFailureNotificationInSeconds(int64_t seconds, const QBAdUnit& adUnit) {
  std::lock_guard lock(mutex_);
  // Seconds from the configuration: past the int64 range of milliseconds the
  // spacing saturates (a failure then waits for good) instead of wrapping.
  constexpr int64_t kMaxSeconds = std::numeric_limits<int64_t>::max() / 1000;
  entries_[adUnit].delayMs =
      seconds <= 0 ? 0 : (seconds > kMaxSeconds ? std::numeric_limits<int64_t>::max() : seconds * 1000);
}

void QBDelegateThrottler::didFailToLoadWithError(const QBError& error, const QBAdUnit& adUnit) {
  bool deliverNow = false;
  {
    std::lock_guard lock(mutex_);
    Entry& entry = entries_[adUnit];
    if (entry.pending) {
      QB_LOG(adUnit.value() + " - a load failure is already waiting; dropping " + error.description(), 1, 6);
      return;
    }
    const int64_t now = platform::nowMonotonicMs();
    const int64_t elapsed = entry.lastDeliveryMs ? now - *entry.lastDeliveryMs : entry.delayMs;
    if (elapsed >= entry.delayMs) {
      entry.lastDeliveryMs = now;
      deliverNow = true;
    } else {
      const int64_t wait = entry.delayMs - elapsed;
      QB_LOG(adUnit.value() + " - load failure delayed by " + std::to_string(wait) + " ms", 1, 6);
      std::weak_ptr<QBDelegateThrottler> weak = weak_from_this();
      entry.pending = platform::Timer::once(platform::mainQueue(), static_cast<double>(wait), [weak, adUnit, error] {
        if (auto self = weak.lock()) self->firePending(adUnit, error);
      });
    }
  }
  if (deliverNow) deliver(error, adUnit);
}

bool QBDelegateThrottler::hasPendingInvocationForAdUnit(const QBAdUnit& adUnit) const {
  std::lock_guard lock(mutex_);
  auto it = entries_.find(adUnit);
  return it != entries_.end() && it->second.pending != nullptr;
}

void QBDelegateThrottler::firePending(const QBAdUnit& adUnit, const QBError& error) {
  std::shared_ptr<platform::Timer> fired;  // released after the lock
  {
    std::lock_guard lock(mutex_);
    auto it = entries_.find(adUnit);
    if (it == entries_.end() || !it->second.pending) return;
    fired.swap(it->second.pending);
    it->second.lastDeliveryMs = platform::nowMonotonicMs();
  }
  deliver(error, adUnit);
}

void QBDelegateThrottler::deliver(const QBError& error, const QBAdUnit& adUnit) {
  if (adUnit == QBAdUnit::QB_AD_UNIT_REWARDED_VIDEO()) {
    QBRewardedVideoDelegateWrapper::sharedInstance()->rewardedVideoDidFailToLoadWithError(error);
  } else if (adUnit == QBAdUnit::QB_AD_UNIT_INTERSTITIAL()) {
    QBInterstitialDelegateWrapper::sharedInstance()->interstitialDidFailToLoadWithError(error);
  } else if (adUnit == QBAdUnit::QB_AD_UNIT_BANNER()) {
    QBBannerDelegateWrapper::sharedInstance()->bannerDidFailToLoadWithError(error);
  } else {
    QB_LOG(adUnit.value() + " - no load-failure callback for this ad unit; dropping " + error.description(), 3, 6);
  }
}
