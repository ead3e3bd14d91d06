#include "events/QBInterstitialDelegateWrapper.h"

#include "events/QBDelegateWrapperSupport.h"

using qbevents::adInfoOrEmpty;
using qbevents::logCallback;

std::shared_ptr<QBInterstitialDelegateWrapper> QBInterstitialDelegateWrapper::sharedInstance() {
  static const auto& instance = *new std::shared_ptr<QBInterstitialDelegateWrapper>(std::make_shared<QBInterstitialDelegateWrapper>());  // never destroyed
  return instance;
}

void QBInterstitialDelegateWrapper::interstitialDidLoadWithAdInfo(std::shared_ptr<const QBAdInfo> adInfo) {
  QBAdInfo info = adInfoOrEmpty(adInfo);
  logCallback(__func__, [&] { return info.description(); });
  recipients_.deliver([](QBInterstitialDelegate& d) { d.interstitialDidLoad(); },
                      [info](TidewheelInterstitialDelegate& d) { d.didLoadWithAdInfo(info); });
}

void QBInterstitialDelegateWrapper::interstitialDidFailToLoadWithError(const QBError& error) {
  logCallback(__func__, [&] { return error.description(); });
  recipients_.deliver([error](QBInterstitialDelegate& d) { d.interstitialDidFailToLoadWithError(error); },
                      [error](TidewheelInterstitialDelegate& d) { d.didFailToLoadWithError(error); });
}

void QBInterstitialDelegateWrapper::interstitialDidOpenWithAdInfo(std::shared_ptr<const QBAdInfo> adInfo) {
  QBAdInfo info = adInfoOrEmpty(adInfo);
  logCallback(__func__, [&] { return info.description(); });
  recipients_.deliver([](QBInterstitialDelegate& d) { d.interstitialDidOpen(); },
                      [info](TidewheelInterstitialDelegate& d) { d.didOpenWithAdInfo(info); });
}

void QBInterstitialDelegateWrapper::interstitialDidShowWithAdInfo(std::shared_ptr<const QBAdInfo> adInfo) {
  QBAdInfo info = adInfoOrEmpty(adInfo);
  logCallback(__func__, [&] { return info.description(); });
  recipients_.deliver([](QBInterstitialDelegate& d) { d.interstitialDidShow(); },
                      [info](TidewheelInterstitialDelegate& d) { d.didShowWithAdInfo(info); });
}

void QBInterstitialDelegateWrapper::interstitialDidFailToShowWithError(const QBError& error,
                                                                       std::shared_ptr<const QBAdInfo> adInfo) {
  QBAdInfo info = adInfoOrEmpty(adInfo);
  logCallback(__func__, [&] { return error.description(); });
  recipients_.deliver([error](QBInterstitialDelegate& d) { d.interstitialDidFailToShowWithError(error); },
                      [error, info](TidewheelInterstitialDelegate& d) { d.didFailToShowWithError(error, info); });
}

void QBInterstitialDelegateWrapper::interstitialDidClickWithAdInfo(std::shared_ptr<const QBAdInfo> adInfo) {
  QBAdInfo info = adInfoOrEmpty(adInfo);
  logCallback(__func__, [&] { return info.description(); });
  recipients_.deliver([](QBInterstitialDelegate& d) { d.didClickInterstitial(); },
                      [info](TidewheelInterstitialDelegate& d) { d.didClickWithAdInfo(info); });
}

void QBInterstitialDelegateWrapper::interstitialDidCloseWithAdInfo(std::shared_ptr<const QBAdInfo> adInfo) {
  QBAdInfo info = adInfoOrEmpty(adInfo);
  logCallback(__func__, [&] { return info.description(); });
  recipients_.deliver([](QBInterstitialDelegate& d) { d.interstitialDidClose(); },
                      [info](TidewheelInterstitialDelegate& d) { d.didCloseWithAdInfo(info); });
}
