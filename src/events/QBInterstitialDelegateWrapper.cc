#include "events/QBInterstitialDelegateWrapper.h"

#include <utility>

#include "events/QBDelegateWrapperSupport.h"

using qbevents::adInfoOrEmpty;
using qbevents::deliverOnMain;
using qbevents::logCallback;
using Recipients = QBInterstitialDelegateWrapper::Recipients;

std::shared_ptr<QBInterstitialDelegateWrapper> QBInterstitialDelegateWrapper::sharedInstance() {
  static const auto instance = std::make_shared<QBInterstitialDelegateWrapper>();
  return instance;
}

void QBInterstitialDelegateWrapper::resetForTesting() {
  auto wrapper = sharedInstance();
  std::shared_ptr<TidewheelInterstitialDelegate> released;
  std::lock_guard lock(wrapper->mutex_);
  wrapper->delegate_.reset();
  wrapper->tidewheelDelegate_.reset();
  released.swap(wrapper->testSuiteDelegate_);
}

void QBInterstitialDelegateWrapper::setDelegate(std::weak_ptr<QBInterstitialDelegate> delegate) {
  std::lock_guard lock(mutex_);
  delegate_ = std::move(delegate);
}

void QBInterstitialDelegateWrapper::setTidewheelDelegate(std::weak_ptr<TidewheelInterstitialDelegate> delegate) {
  std::lock_guard lock(mutex_);
  tidewheelDelegate_ = std::move(delegate);
}

void QBInterstitialDelegateWrapper::setTestSuiteTidewheelDelegate(
    std::shared_ptr<TidewheelInterstitialDelegate> delegate) {
  std::lock_guard lock(mutex_);
  delegate.swap(testSuiteDelegate_);  // the old one is released after the lock
}

std::shared_ptr<TidewheelInterstitialDelegate> QBInterstitialDelegateWrapper::testSuiteTidewheelDelegate() const {
  std::lock_guard lock(mutex_);
  return testSuiteDelegate_;
}

Recipients QBInterstitialDelegateWrapper::recipients() const {
  std::lock_guard lock(mutex_);
  return {delegate_, tidewheelDelegate_, testSuiteDelegate_};
}

void QBInterstitialDelegateWrapper::interstitialDidLoadWithAdInfo(std::shared_ptr<const QBAdInfo> adInfo) {
  QBAdInfo info = adInfoOrEmpty(adInfo);
  logCallback(__func__, info.description());
  deliverOnMain(recipients(), [info](const Recipients& r) {
    if (r.testSuite) {
      r.testSuite->didLoadWithAdInfo(info);
      return;
    }
    if (auto classic = r.classic.lock()) classic->interstitialDidLoad();
    if (auto tidewheel = r.tidewheel.lock()) tidewheel->didLoadWithAdInfo(info);
  });
}

void QBInterstitialDelegateWrapper::interstitialDidFailToLoadWithError(const QBError& error) {
  logCallback(__func__, error.description());
  deliverOnMain(recipients(), [error](const Recipients& r) {
    if (r.testSuite) {
      r.testSuite->didFailToLoadWithError(error);
      return;
    }
    if (auto classic = r.classic.lock()) classic->interstitialDidFailToLoadWithError(error);
    if (auto tidewheel = r.tidewheel.lock()) tidewheel->didFailToLoadWithError(error);
  });
}

void QBInterstitialDelegateWrapper::interstitialDidOpenWithAdInfo(std::shared_ptr<const QBAdInfo> adInfo) {
  QBAdInfo info = adInfoOrEmpty(adInfo);
  logCallback(__func__, info.description());
  deliverOnMain(recipients(), [info](const Recipients& r) {
    if (r.testSuite) {
      r.testSuite->didOpenWithAdInfo(info);
      return;
    }
    if (auto classic = r.classic.lock()) classic->interstitialDidOpen();
    if (auto tidewheel = r.tidewheel.lock()) tidewheel->didOpenWithAdInfo(info);
  });
}

void QBInterstitialDelegateWrapper::interstitialDidShowWithAdInfo(std::shared_ptr<const QBAdInfo> adInfo) {
  QBAdInfo info = adInfoOrEmpty(adInfo);
  logCallback(__func__, info.description());
  deliverOnMain(recipients(), [info](const Recipients& r) {
    if (r.testSuite) {
      r.testSuite->didShowWithAdInfo(info);
      return;
    }
    if (auto classic = r.classic.lock()) classic->interstitialDidShow();
    if (auto tidewheel = r.tidewheel.lock()) tidewheel->didShowWithAdInfo(info);
  });
}

void QBInterstitialDelegateWrapper::interstitialDidFailToShowWithError(const QBError& error,
                                                                       std::shared_ptr<const QBAdInfo> adInfo) {
  QBAdInfo info = adInfoOrEmpty(adInfo);
  logCallback(__func__, error.description());
  deliverOnMain(recipients(), [error, info](const Recipients& r) {
    if (r.testSuite) {
      r.testSuite->didFailToShowWithError(error, info);
      return;
    }
    if (auto classic = r.classic.lock()) classic->interstitialDidFailToShowWithError(error);
    if (auto tidewheel = r.tidewheel.lock()) tidewheel->didFailToShowWithError(error, info);
  });
}

void QBInterstitialDelegateWrapper::interstitialDidClickWithAdInfo(std::shared_ptr<const QBAdInfo> adInfo) {
  QBAdInfo info = adInfoOrEmpty(adInfo);
  logCallback(__func__, info.description());
  deliverOnMain(recipients(), [info](const Recipients& r) {
    if (r.testSuite) {
      r.testSuite->didClickWithAdInfo(info);
      return;
    }
    if (auto classic = r.classic.lock()) classic->didClickInterstitial();
    if (auto tidewheel = r.tidewheel.lock()) tidewheel->didClickWithAdInfo(info);
  });
}

void QBInterstitialDelegateWrapper::interstitialDidCloseWithAdInfo(std::shared_ptr<const QBAdInfo> adInfo) {
  QBAdInfo info = adInfoOrEmpty(adInfo);
  logCallback(__func__, info.description());
  deliverOnMain(recipients(), [info](const Recipients& r) {
    if (r.testSuite) {
      r.testSuite->didCloseWithAdInfo(info);
      return;
    }
    if (auto classic = r.classic.lock()) classic->interstitialDidClose();
    if (auto tidewheel = r.tidewheel.lock()) tidewheel->didCloseWithAdInfo(info);
  });
}
