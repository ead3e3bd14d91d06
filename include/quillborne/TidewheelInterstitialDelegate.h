#pragma once
// The application's interstitial delegate with ad information. Set through
// the facade; held weakly. Every call arrives on the main queue, in the order
// the library made it; calls without ad information of their own carry an
// empty QBAdInfo.
#include "quillborne/QBAdInfo.h"
#include "quillborne/QBError.h"

class TidewheelInterstitialDelegate {
 public:
  virtual ~TidewheelInterstitialDelegate() = default;
  virtual void didLoadWithAdInfo(const QBAdInfo& adInfo) = 0;
  // Load failures are spaced per the configuration (at most one pending).
  virtual void didFailToLoadWithError(const QBError& error) = 0;
  virtual void didOpenWithAdInfo(const QBAdInfo& adInfo) = 0;
  virtual void didShowWithAdInfo(const QBAdInfo& adInfo) = 0;
  virtual void didFailToShowWithError(const QBError& error, const QBAdInfo& adInfo) = 0;
  virtual void didClickWithAdInfo(const QBAdInfo& adInfo) = 0;
  virtual void didCloseWithAdInfo(const QBAdInfo& adInfo) = 0;
};
