#pragma once
// A rewarded-video delegate with ad information that hears availability
// changes (automatic loading). See TidewheelRewardedVideoBaseDelegate.
#include "quillborne/TidewheelRewardedVideoBaseDelegate.h"

class TidewheelRewardedVideoDelegate : public virtual TidewheelRewardedVideoBaseDelegate {
 public:
  // An ad became available.
  virtual void hasAvailableAdWithAdInfo(const QBAdInfo& adInfo) = 0;
  // No ad is available any more.
  virtual void hasNoAvailableAd() = 0;
};
