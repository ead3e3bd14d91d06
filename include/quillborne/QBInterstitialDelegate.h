#pragma once
// The application's classic interstitial delegate. Set through the facade;
// held weakly. Every call arrives on the main queue, in the order the library
// made it.
//
// Load results and show refusals come from the library. What follows a show
// comes from the network that shows the ad, and each sends only what it
// reports (docs/sdk.md, "Callbacks each built-in network sends"): open and
// close come from both built-in networks and bracket every shown ad; do not
// wait on interstitialDidShow or didClickInterstitial, which Tulvo never sends.
#include "quillborne/QBError.h"

class QBInterstitialDelegate {
 public:
  virtual ~QBInterstitialDelegate() = default;
  virtual void interstitialDidLoad() = 0;
  // Load failures are spaced per the configuration (at most one pending).
  virtual void interstitialDidFailToLoadWithError(const QBError& error) = 0;
  virtual void interstitialDidOpen() = 0;
  virtual void interstitialDidClose() = 0;
  // The network reported the ad shown, after the open. The own network sends
  // it with its open; Tulvo never does.
  virtual void interstitialDidShow() = 0;
  virtual void interstitialDidFailToShowWithError(const QBError& error) = 0;
  // The own network sends it when its page reports a click; Tulvo never does.
  virtual void didClickInterstitial() = 0;
};
