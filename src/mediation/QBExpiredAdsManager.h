#pragma once
// Expiry of loaded ads: after the configured number of minutes the delegate
// is told onAdExpired, on the main queue. The countdown runs only while the
// application is in the foreground: in the background it is paused, and on
// the return it fires at once when its deadline has passed
// (QBLifeCycleSensitiveTimer).
//
// Thread-safe: every method may be called from any thread.
#include <cstdint>
#include <memory>
#include <mutex>

#include "foundation/QBLifeCycleSensitiveTimer.h"

class QBAdExpirationDelegate {
 public:
  virtual ~QBAdExpirationDelegate() = default;
  // The loaded ads have expired. Called on the main queue.
  virtual void onAdExpired() = 0;
};

class QBExpiredAdsManager {
 public:
  // delegate: held weakly. expiredDurationInMinutes below 1 disables expiry
  // (the starts below then do nothing).
  static std::shared_ptr<QBExpiredAdsManager> initWithDelegate(std::weak_ptr<QBAdExpirationDelegate> delegate,
                                                               int64_t expiredDurationInMinutes);
  // Cancels the countdown.
  ~QBExpiredAdsManager();
  QBExpiredAdsManager(const QBExpiredAdsManager&) = delete;
  QBExpiredAdsManager& operator=(const QBExpiredAdsManager&) = delete;

  // Starts (or restarts) the countdown for ads that loaded deltaInSeconds ago:
  // the delegate hears onAdExpired once, expiredDurationInMinutes * 60 -
  // deltaInSeconds seconds from now (at once when that is 0 or less).
  void startExpirationTimerForAdsWithDeltaInSeconds(double deltaInSeconds);
  // Stops the countdown; onAdExpired does not start after this returns.
  void cancelExpirationScheduler();

  bool isEnabled() const { return minutes_ >= 1; }
  // True while a countdown runs or is paused.
  bool isScheduled() const;

 private:
  QBExpiredAdsManager(std::weak_ptr<QBAdExpirationDelegate> delegate, int64_t minutes)
      : delegate_(std::move(delegate)), minutes_(minutes) {}

  const std::weak_ptr<QBAdExpirationDelegate> delegate_;
  const int64_t minutes_;
  mutable std::mutex mutex_;
  std::shared_ptr<QBLifeCycleSensitiveTimer> timer_;
};
