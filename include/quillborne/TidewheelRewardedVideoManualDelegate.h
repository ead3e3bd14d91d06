#pragma once
// A rewarded-video delegate with ad information that hears the results of
// manual loads. See TidewheelRewardedVideoBaseDelegate.
#include "quillborne/TidewheelRewardedVideoBaseDelegate.h"

class TidewheelRewardedVideoManualDelegate : public virtual TidewheelRewardedVideoBaseDelegate {
 public:
  virtual void didLoadWithAdInfo(const QBAdInfo& adInfo) = 0;
  // Load failures are spaced per the configuration (at most one pending).
  virtual void didFailToLoadWithError(const QBError& error) = 0;
};
