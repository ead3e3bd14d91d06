#pragma once
// A loaded banner as the application receives it in its banner callbacks and
// hands back to destroy it (Quillborne::destroyBanner).
#include <memory>

namespace platform {
class View;
}

class QBBannerView {
 public:
  QBBannerView() = default;
  virtual ~QBBannerView() = default;
  QBBannerView(const QBBannerView&) = delete;
  QBBannerView& operator=(const QBBannerView&) = delete;

  // The banner's view, sized to the banner (origin 0, 0), holding the ad:
  // the application adds it to its own view tree on the main queue and
  // places it there. Once the banner is destroyed the library takes the ad
  // out of it and removes it from its superview. Null for a banner view the
  // library did not make.
  virtual std::shared_ptr<platform::View> view() const { return nullptr; }
};
