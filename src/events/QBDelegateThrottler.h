#pragma once
// Spacing of load-failure callbacks per ad unit.
//
// Each ad unit has a minimum spacing (whole seconds, 0 by default) between two
// load-failure callbacks to the application. A failure that comes at least
// that long after the last delivered one is handed at once to the ad unit's
// delegate wrapper (which delivers on the main queue); an earlier one waits on
// the main queue for the rest of the spacing; a failure that comes while one
// waits is dropped (and logged). The spacing runs on the platform's monotonic
// clock. Rewarded video, interstitial and banner have delegate wrappers;
// failures of other ad units are logged and dropped.
//
// Thread-safe; locks on itself and never calls out while holding the lock.
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <unordered_map>

#include "platform/dispatch.h"
#include "quillborne/QBAdUnit.h"
#include "quillborne/QBError.h"

class QBDelegateThrottler : public std::enable_shared_from_this<QBDelegateThrottler> {
 public:
  static std::shared_ptr<QBDelegateThrottler> sharedInstance();
  // Cancels waiting callbacks and forgets every spacing and delivery time of
  // the shared throttler.
  static void resetForTesting();

  // The minimum spacing of the ad unit's load-failure callbacks; negative
  // counts as 0.
  void setDelayLoadFailureNotificationInSeconds(int64_t seconds, const QBAdUnit& adUnit);
  // Delivers the failure now, later, or drops it (see above).
  void didFailToLoadWithError(const QBError& error, const QBAdUnit& adUnit);
  // True while a delayed failure of the ad unit waits.
  bool hasPendingInvocationForAdUnit(const QBAdUnit& adUnit) const;

 private:
  struct Entry {
    int64_t delayMs = 0;
    std::optional<int64_t> lastDeliveryMs;
    std::shared_ptr<platform::Timer> pending;
  };

  void firePending(const QBAdUnit& adUnit, const QBError& error);
  static void deliver(const QBError& error, const QBAdUnit& adUnit);

  mutable std::recursive_mutex mutex_;
  std::unordered_map<QBAdUnit, Entry> entries_;
};
