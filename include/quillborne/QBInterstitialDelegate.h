#pragma once
// The application's classic interstitial delegate. Set through the facade;
// held weakly. Every call arrives on the main queue, in the order the library
// made it.
#include "quillborne/QBError.h"

class QBInterstitialDelegate {
 public:
  virtual ~QBInterstitialDelegate() = default;
  virtual void interstitialDidLoad() = 0;
  // Load failures are spaced per the configuration (at most one pending).
  virtual void interstitialDidFailToLoadWithError(const QBError& error) = 0;
  virtual void interstitialDidOpen() = 0;
  virtual void interstitialDidClose() = 0;
  // The ad is on screen.
  virtual void interstitialDidShow() = 0;
  virtual void interstitialDidFailToShowWithError(const QBError& error) = 0;
  virtual void didClickInterstitial() = 0;
};
