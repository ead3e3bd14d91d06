#pragma once
// The application's classic rewarded-video delegate. Set through the facade;
// held weakly. Every call arrives on the main queue, in the order the library
// made it.
#include "quillborne/QBError.h"
#include "quillborne/QBPlacementInfo.h"

class QBRewardedVideoDelegate {
 public:
  virtual ~QBRewardedVideoDelegate() = default;
  // An ad became available (true) or no ad is available any more (false).
  virtual void rewardedVideoHasChangedAvailability(bool available) = 0;
  // The user earned the reward of `placementInfo`.
  virtual void didReceiveRewardForPlacement(const QBPlacementInfo& placementInfo) = 0;
  virtual void rewardedVideoDidFailToShowWithError(const QBError& error) = 0;
  virtual void rewardedVideoDidOpen() = 0;
  virtual void rewardedVideoDidClose() = 0;
  // The video started / finished playing.
  virtual void rewardedVideoDidStart() = 0;
  virtual void rewardedVideoDidEnd() = 0;
  virtual void didClickRewardedVideo(const QBPlacementInfo& placementInfo) = 0;
};

// A classic delegate that also hears the results of manual loads. Adopt it
// instead of QBRewardedVideoDelegate when the application loads rewarded video
// itself.
class QBRewardedVideoManualDelegate : public QBRewardedVideoDelegate {
 public:
  virtual void rewardedVideoDidLoad() = 0;
  virtual void rewardedVideoDidFailToLoadWithError(const QBError& error) = 0;
};
