#include "events/QBBannerDelegateWrapper.h"

#include "events/QBDelegateWrapperSupport.h"

using qbevents::adInfoOrEmpty;
using qbevents::logCallback;

std::shared_ptr<QBBannerDelegateWrapper> QBBannerDelegateWrapper::sharedInstance() {
  static const auto& instance = *new std::shared_ptr<QBBannerDelegateWrapper>(std::make_shared<QBBannerDelegateWrapper>());  // never destroyed
  return instance;
}

void QBBannerDelegateWrapper::bannerDidLoad(std::shared_ptr<QBBannerView> bannerView,
                                            std::shared_ptr<const QBAdInfo> adInfo) {
  QBAdInfo info = adInfoOrEmpty(adInfo);
  logCallback(__func__, [&] { return info.description(); });
  recipients_.deliver([bannerView](QBBannerDelegate& d) { d.bannerDidLoad(bannerView); },
                      [bannerView, info](TidewheelBannerDelegate& d) { d.didLoad(bannerView, info); });
}

void QBBannerDelegateWrapper::bannerDidFailToLoadWithError(const QBError& error) {
  logCallback(__func__, [&] { return error.description(); });
  recipients_.deliver([error](QBBannerDelegate& d) { d.bannerDidFailToLoadWithError(error); },
                      [error](TidewheelBannerDelegate& d) { d.didFailToLoadWithError(error); });
}

void QBBannerDelegateWrapper::didClickBannerWithAdInfo(std::shared_ptr<const QBAdInfo> adInfo) {
  QBAdInfo info = adInfoOrEmpty(adInfo);
  logCallback(__func__, [&] { return info.description(); });
  recipients_.deliver([](QBBannerDelegate& d) { d.didClickBanner(); },
                      [info](TidewheelBannerDelegate& d) { d.didClickWithAdInfo(info); });
}

void QBBannerDelegateWrapper::bannerWillLeaveApplicationWithAdInfo(std::shared_ptr<const QBAdInfo> adInfo) {
  QBAdInfo info = adInfoOrEmpty(adInfo);
  logCallback(__func__, [&] { return info.description(); });
  recipients_.deliver([](QBBannerDelegate& d) { d.bannerWillLeaveApplication(); },
                      [info](TidewheelBannerDelegate& d) { d.didLeaveApplicationWithAdInfo(info); });
}

void QBBannerDelegateWrapper::bannerWillPresentScreenWithAdInfo(std::shared_ptr<const QBAdInfo> adInfo) {
  QBAdInfo info = adInfoOrEmpty(adInfo);
  logCallback(__func__, [&] { return info.description(); });
  recipients_.deliver([](QBBannerDelegate& d) { d.bannerWillPresentScreen(); },
                      [info](TidewheelBannerDelegate& d) { d.didPresentScreenWithAdInfo(info); });
}

void QBBannerDelegateWrapper::bannerDidDismissScreenWithAdInfo(std::shared_ptr<const QBAdInfo> adInfo) {
  QBAdInfo info = adInfoOrEmpty(adInfo);
  logCallback(__func__, [&] { return info.description(); });
  recipients_.deliver([](QBBannerDelegate& d) { d.bannerDidDismissScreen(); },
                      [info](TidewheelBannerDelegate& d) { d.didDismissScreenWithAdInfo(info); });
}
