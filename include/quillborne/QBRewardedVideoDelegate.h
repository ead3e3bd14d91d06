#pragma once
// The application's classic rewarded-video delegate. Set through the facade;
// held weakly. Every call arrives on the main queue, in the order the library
// made it.
//
// Availability and show refusals come from the library. What follows a show
// comes from the network that shows the ad, and each sends only what it
// reports (docs/sdk.md, "Callbacks each built-in network sends"): open, reward
// and close come from both built-in networks; do not wait on
// rewardedVideoDidStart / rewardedVideoDidEnd, which neither sends, or on
// didClickRewardedVideo, which Tulvo never sends.
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
  // The video started / finished playing, for a network that reports it:
  // neither built-in network (Tulvo, the own network) does.
  virtual void rewardedVideoDidStart() = 0;
  virtual void rewardedVideoDidEnd() = 0;
  // The own network sends it when its page reports a click; Tulvo never does.
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
