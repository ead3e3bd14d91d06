#pragma once
// What a waterfall instance tells its manager. The manager adopts these
// interfaces; instances hold it weakly and call it from whatever thread the
// adapter answered on, never while holding an instance lock.
#include <cstdint>
#include <memory>
#include <string>

#include "quillborne/QBError.h"

class QBAdUnitInteractionManagerDelegate;
class QBAdUnitRewardedManagerDelegate;
class QBBaseAdUnitSmash;
class QBPlacement;

// Load outcome and clicks: every accepted load of an instance ends in exactly
// one onAdLoadSuccess or onAdLoadFailed.
class QBAdUnitManagerDelegate {
 public:
  virtual ~QBAdUnitManagerDelegate() = default;
  // elapsedTime: milliseconds since the instance's load call.
  virtual void onAdLoadSuccess(const std::shared_ptr<QBBaseAdUnitSmash>& smash, int64_t elapsedTime) = 0;
  virtual void onAdLoadFailed(const std::shared_ptr<QBBaseAdUnitSmash>& smash, const QBError& error,
                              int64_t elapsedTime) = 0;
  virtual void onAdClicked(const std::shared_ptr<QBBaseAdUnitSmash>& smash) = 0;

  // The same manager as its show-side and reward interfaces, or null when it
  // has none. A manager that adopts one answers with itself; the defaults ask
  // dynamic_cast, whose search of a manager's class graph costs about a
  // microsecond, once per waterfall instance made.
  virtual QBAdUnitInteractionManagerDelegate* interactionManagerDelegate();
  virtual QBAdUnitRewardedManagerDelegate* rewardedManagerDelegate();
};

// Show-side outcomes of showable instances.
class QBAdUnitInteractionManagerDelegate {
 public:
  virtual ~QBAdUnitInteractionManagerDelegate() = default;
  virtual void onAdShowSuccess(const std::shared_ptr<QBBaseAdUnitSmash>& smash) = 0;
  virtual void onAdShowFailed(const std::shared_ptr<QBBaseAdUnitSmash>& smash, const QBError& error) = 0;
  virtual void onAdOpened(const std::shared_ptr<QBBaseAdUnitSmash>& smash) = 0;
  virtual void onAdClosed(const std::shared_ptr<QBBaseAdUnitSmash>& smash) = 0;
  virtual void onAdStarted(const std::shared_ptr<QBBaseAdUnitSmash>& smash) = 0;
  virtual void onAdEnded(const std::shared_ptr<QBBaseAdUnitSmash>& smash) = 0;
  // Instance names of the other loaded instances, each followed by ";"; ""
  // when there are none. Asked while the instance holds its own lock, so the
  // answer must not take a lock an instance callback could hold.
  virtual std::string getOtherAvailableInstances() = 0;
};

// The reward of rewarded instances.
class QBAdUnitRewardedManagerDelegate {
 public:
  virtual ~QBAdUnitRewardedManagerDelegate() = default;
  virtual void onAdRewarded(const std::shared_ptr<QBBaseAdUnitSmash>& smash,
                            const std::shared_ptr<const QBPlacement>& placement) = 0;
};

inline QBAdUnitInteractionManagerDelegate* QBAdUnitManagerDelegate::interactionManagerDelegate() {
  return dynamic_cast<QBAdUnitInteractionManagerDelegate*>(this);
}

inline QBAdUnitRewardedManagerDelegate* QBAdUnitManagerDelegate::rewardedManagerDelegate() {
  return dynamic_cast<QBAdUnitRewardedManagerDelegate*>(this);
}
