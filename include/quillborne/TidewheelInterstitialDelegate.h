#pragma once
// The application's interstitial delegate with ad information. Set through
// the facade; held weakly. Every call arrives on the main queue, in the order
// the library made it; calls without ad information of their own carry an
// empty QBAdInfo.
//
// Load results and show refusals come from the library. What follows a show
// comes from the network that shows the ad, and each sends only what it
// reports (docs/sdk.md, "Callbacks each built-in network sends"): open and
// close come from both built-in networks and bracket every shown ad; do not
// wait on didShowWithAdInfo or didClickWithAdInfo, which Tulvo never sends.
#include "quillborne/QBAdInfo.h"
#include "quillborne/QBError.h"

class TidewheelInterstitialDelegate {
 public:
  virtual ~TidewheelInterstitialDelegate() = default;
  virtual void didLoadWithAdInfo(const QBAdInfo& adInfo) = 0;
  // Load failures are spaced per the configuration (at most one pending).
  virtual void didFailToLoadWithError(const QBError& error) = 0;
  virtual void didOpenWithAdInfo(const QBAdInfo& adInfo) = 0;
  // The network reported the ad shown, after the open. The own network sends
  // it with its open; Tulvo never does.
  virtual void didShowWithAdInfo(const QBAdInfo& adInfo) = 0;
  virtual void didFailToShowWithError(const QBError& error, const QBAdInfo& adInfo) = 0;
  // The own network sends it when its page reports a click; Tulvo never does.
  virtual void didClickWithAdInfo(const QBAdInfo& adInfo) = 0;
  virtual void didCloseWithAdInfo(const QBAdInfo& adInfo) = 0;
};
