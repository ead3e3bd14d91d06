#pragma once
// The callbacks every rewarded-video delegate with ad information gets. An
// application adopts TidewheelRewardedVideoDelegate (availability) or
// TidewheelRewardedVideoManualDelegate (manual loads), or both; the library
// tells each only the calls of the interfaces it adopts.
//
// Set through the facade; held weakly. Every call arrives on the main queue,
// in the order the library made it; calls without ad information of their own
// carry an empty QBAdInfo.
//
// What follows a show comes from the network that shows the ad, and each
// sends only what it reports (docs/sdk.md, "Callbacks each built-in network
// sends"): open, reward and close come from both built-in networks; do not
// wait on didClick, which Tulvo never sends.
#include "quillborne/QBAdInfo.h"
#include "quillborne/QBError.h"
#include "quillborne/QBPlacementInfo.h"

class TidewheelRewardedVideoBaseDelegate {
 public:
  virtual ~TidewheelRewardedVideoBaseDelegate() = default;
  virtual void didOpenWithAdInfo(const QBAdInfo& adInfo) = 0;
  virtual void didFailToShowWithError(const QBError& error, const QBAdInfo& adInfo) = 0;
  // The own network sends it when its page reports a click; Tulvo never does.
  virtual void didClick(const QBPlacementInfo& placementInfo, const QBAdInfo& adInfo) = 0;
  virtual void didCloseWithAdInfo(const QBAdInfo& adInfo) = 0;
  virtual void didReceiveRewardForPlacement(const QBPlacementInfo& placementInfo, const QBAdInfo& adInfo) = 0;
};
