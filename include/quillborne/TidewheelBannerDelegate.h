#pragma once
// The application's banner delegate with ad information. Set through the
// facade; held weakly. Every call arrives on the main queue, in the order the
// library made it; calls without ad information of their own carry an empty
// QBAdInfo.
//
// Load results come from the library; what follows comes from the banner's
// network, which sends only what it reports (docs/sdk.md, "Callbacks each
// built-in network sends"). Of the built-in networks only the own network has
// banners: it sends clicks and leave-application when its page reports them,
// and never didPresentScreenWithAdInfo / didDismissScreenWithAdInfo.
#include <memory>

#include "quillborne/QBAdInfo.h"
#include "quillborne/QBBannerView.h"
#include "quillborne/QBError.h"

class TidewheelBannerDelegate {
 public:
  virtual ~TidewheelBannerDelegate() = default;
  virtual void didLoad(std::shared_ptr<QBBannerView> bannerView, const QBAdInfo& adInfo) = 0;
  // Load failures are spaced per the configuration (at most one pending).
  virtual void didFailToLoadWithError(const QBError& error) = 0;
  virtual void didClickWithAdInfo(const QBAdInfo& adInfo) = 0;
  virtual void didLeaveApplicationWithAdInfo(const QBAdInfo& adInfo) = 0;
  virtual void didPresentScreenWithAdInfo(const QBAdInfo& adInfo) = 0;
  virtual void didDismissScreenWithAdInfo(const QBAdInfo& adInfo) = 0;
};
