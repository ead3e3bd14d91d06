#include "events/QBBannerDelegateWrapper.h"

#include <utility>

#include "events/QBDelegateWrapperSupport.h"

using qbevents::adInfoOrEmpty;
using qbevents::deliverOnMain;
using qbevents::logCallback;
using Recipients = QBBannerDelegateWrapper::Recipients;

std::shared_ptr<QBBannerDelegateWrapper> QBBannerDelegateWrapper::sharedInstance() {
  static const auto instance = std::make_shared<QBBannerDelegateWrapper>();
  return instance;
}

void QBBannerDelegateWrapper::resetForTesting() {
  auto wrapper = sharedInstance();
  std::shared_ptr<TidewheelBannerDelegate> released;
  std::lock_guard lock(wrapper->mutex_);
  wrapper->delegate_.reset();
  wrapper->tidewheelDelegate_.reset();
  released.swap(wrapper->testSuiteDelegate_);
}

void QBBannerDelegateWrapper::setDelegate(std::weak_ptr<QBBannerDelegate> delegate) {
  std::lock_guard lock(mutex_);
  delegate_ = std::move(delegate);
}

void QBBannerDelegateWrapper::setTidewheelDelegate(std::weak_ptr<TidewheelBannerDelegate> delegate) {
  std::lock_guard lock(mutex_);
  tidewheelDelegate_ = std::move(delegate);
}

void QBBannerDelegateWrapper::setTestSuiteTidewheelDelegate(std::shared_ptr<TidewheelBannerDelegate> delegate) {
  std::lock_guard lock(mutex_);
  delegate.swap(testSuiteDelegate_);  // the old one is released after the lock
}

std::shared_ptr<TidewheelBannerDelegate> QBBannerDelegateWrapper::testSuiteTidewheelDelegate() const {
  std::lock_guard lock(mutex_);
  return testSuiteDelegate_;
}

Recipients QBBannerDelegateWrapper::recipients() const {
  std::lock_guard lock(mutex_);
  return {delegate_, tidewheelDelegate_, testSuiteDelegate_};
}

void QBBannerDelegateWrapper::bannerDidLoad(std::shared_ptr<QBBannerView> bannerView,
                                            std::shared_ptr<const QBAdInfo> adInfo) {
  QBAdInfo info = adInfoOrEmpty(adInfo);
  logCallback(__func__, info.description());
  deliverOnMain(recipients(), [bannerView = std::move(bannerView), info](const Recipients& r) {
    if (r.testSuite) {
      r.testSuite->didLoad(bannerView, info);
      return;
    }
    if (auto classic = r.classic.lock()) classic->bannerDidLoad(bannerView);
    if (auto tidewheel = r.tidewheel.lock()) tidewheel->didLoad(bannerView, info);
  });
}

void QBBannerDelegateWrapper::bannerDidFailToLoadWithError(const QBError& error) {
  logCallback(__func__, error.description());
  deliverOnMain(recipients(), [error](const Recipients& r) {
    if (r.testSuite) {
      r.testSuite->didFailToLoadWithError(error);
      return;
    }
    if (auto classic = r.classic.lock()) classic->bannerDidFailToLoadWithError(error);
    if (auto tidewheel = r.tidewheel.lock()) tidewheel->didFailToLoadWithError(error);
  });
}

void QBBannerDelegateWrapper::didClickBannerWithAdInfo(std::shared_ptr<const QBAdInfo> adInfo) {
  QBAdInfo info = adInfoOrEmpty(adInfo);
  logCallback(__func__, info.description());
  deliverOnMain(recipients(), [info](const Recipients& r) {
    if (r.testSuite) {
      r.testSuite->didClickWithAdInfo(info);
      return;
    }
    if (auto classic = r.classic.lock()) classic->didClickBanner();
    if (auto tidewheel = r.tidewheel.lock()) tidewheel->didClickWithAdInfo(info);
  });
}

void QBBannerDelegateWrapper::bannerWillLeaveApplicationWithAdInfo(std::shared_ptr<const QBAdInfo> adInfo) {
  QBAdInfo info = adInfoOrEmpty(adInfo);
  logCallback(__func__, info.description());
  deliverOnMain(recipients(), [info](const Recipients& r) {
    if (r.testSuite) {
      r.testSuite->didLeaveApplicationWithAdInfo(info);
      return;
    }
    if (auto classic = r.classic.lock()) classic->bannerWillLeaveApplication();
    if (auto tidewheel = r.tidewheel.lock()) tidewheel->didLeaveApplicationWithAdInfo(info);
  });
}

void QBBannerDelegateWrapper::bannerWillPresentScreenWithAdInfo(std::shared_ptr<const QBAdInfo> adInfo) {
  QBAdInfo info = adInfoOrEmpty(adInfo);
  logCallback(__func__, info.description());
  deliverOnMain(recipients(), [info](const Recipients& r) {
    if (r.testSuite) {
      r.testSuite->didPresentScreenWithAdInfo(info);
      return;
    }
    if (auto classic = r.classic.lock()) classic->bannerWillPresentScreen();
    if (auto tidewheel = r.tidewheel.lock()) tidewheel->didPresentScreenWithAdInfo(info);
  });
}

void QBBannerDelegateWrapper::bannerDidDismissScreenWithAdInfo(std::shared_ptr<const QBAdInfo> adInfo) {
  QBAdInfo info = adInfoOrEmpty(adInfo);
  logCallback(__func__, info.description());
  deliverOnMain(recipients(), [info](const Recipients& r) {
    if (r.testSuite) {
      r.testSuite->didDismissScreenWithAdInfo(info);
      return;
    }
    if (auto classic = r.classic.lock()) classic->bannerDidDismissScreen();
    if (auto tidewheel = r.tidewheel.lock()) tidewheel->didDismissScreenWithAdInfo(info);
  });
}
