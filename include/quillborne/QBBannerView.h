#pragma once
// A loaded banner as the application receives it in its banner callbacks and
// hands back to destroy it. Opaque: the application keeps it and passes it
// around; the library decides what it holds.
class QBBannerView {
 public:
  QBBannerView() = default;
  virtual ~QBBannerView() = default;
  QBBannerView(const QBBannerView&) = delete;
  QBBannerView& operator=(const QBBannerView&) = delete;
};
