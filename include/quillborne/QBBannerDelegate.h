#pragma once
// The application's classic banner delegate. Set through the facade; held
// weakly. Every call arrives on the main queue, in the order the library made
// it.
//
// Load results come from the library; what follows comes from the banner's
// network, which sends only what it reports (docs/sdk.md, "Callbacks each
// built-in network sends"). Of the built-in networks only the own network has
// banners: it sends clicks and leave-application when its page reports them,
// and never bannerWillPresentScreen / bannerDidDismissScreen.
#include <memory>

#include "quillborne/QBBannerView.h"
#include "quillborne/QBError.h"

class QBBannerDelegate {
 public:
  virtual ~QBBannerDelegate() = default;
  virtual void bannerDidLoad(std::shared_ptr<QBBannerView> bannerView) = 0;
  // Load failures are spaced per the configuration (at most one pending).
  virtual void bannerDidFailToLoadWithError(const QBError& error) = 0;
  virtual void didClickBanner() = 0;
  // A click is taking the user out of the application.
  virtual void bannerWillLeaveApplication() = 0;
  // A full-screen view opened from the banner appears / went away.
  virtual void bannerWillPresentScreen() = 0;
  virtual void bannerDidDismissScreen() = 0;
};
