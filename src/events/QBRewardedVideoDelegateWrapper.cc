#include "events/QBRewardedVideoDelegateWrapper.h"

#include <utility>

#include "events/QBDelegateWrapperSupport.h"
#include "quillborne/TidewheelRewardedVideoDelegate.h"
#include "quillborne/TidewheelRewardedVideoManualDelegate.h"

using qbevents::adInfoOrEmpty;
using qbevents::deliverOnMain;
using qbevents::logCallback;
using Recipients = QBRewardedVideoDelegateWrapper::Recipients;

std::shared_ptr<QBRewardedVideoDelegateWrapper> QBRewardedVideoDelegateWrapper::sharedInstance() {
  static const auto instance = std::make_shared<QBRewardedVideoDelegateWrapper>();
  return instance;
}

void QBRewardedVideoDelegateWrapper::resetForTesting() {
  auto wrapper = sharedInstance();
  std::shared_ptr<TidewheelRewardedVideoBaseDelegate> released;
  std::lock_guard lock(wrapper->mutex_);
  wrapper->delegate_.reset();
  wrapper->tidewheelDelegate_.reset();
  released.swap(wrapper->testSuiteDelegate_);
}

void QBRewardedVideoDelegateWrapper::setDelegate(std::weak_ptr<QBRewardedVideoDelegate> delegate) {
  std::lock_guard lock(mutex_);
  delegate_ = std::move(delegate);
}

void QBRewardedVideoDelegateWrapper::setTidewheelDelegate(std::weak_ptr<TidewheelRewardedVideoBaseDelegate> delegate) {
  std::lock_guard lock(mutex_);
  tidewheelDelegate_ = std::move(delegate);
}

void QBRewardedVideoDelegateWrapper::setTestSuiteTidewheelDelegate(
    std::shared_ptr<TidewheelRewardedVideoBaseDelegate> delegate) {
  std::lock_guard lock(mutex_);
  // The old delegate is released after the lock (declared before it).
  delegate.swap(testSuiteDelegate_);
}

std::shared_ptr<TidewheelRewardedVideoBaseDelegate> QBRewardedVideoDelegateWrapper::testSuiteTidewheelDelegate()
    const {
  std::lock_guard lock(mutex_);
  return testSuiteDelegate_;
}

Recipients QBRewardedVideoDelegateWrapper::recipients() const {
  std::lock_guard lock(mutex_);
  return {delegate_, tidewheelDelegate_, testSuiteDelegate_};
}

void QBRewardedVideoDelegateWrapper::rewardedVideoDidLoadWithAdInfo(std::shared_ptr<const QBAdInfo> adInfo) {
  QBAdInfo info = adInfoOrEmpty(adInfo);
  logCallback(__func__, info.description());
  deliverOnMain(recipients(), [info](const Recipients& r) {
    if (r.testSuite) {
      if (auto manual = dynamic_cast<TidewheelRewardedVideoManualDelegate*>(r.testSuite.get())) {
        manual->didLoadWithAdInfo(info);
      }
      return;
    }
    if (auto classic = r.classic.lock()) {
      if (auto manual = dynamic_cast<QBRewardedVideoManualDelegate*>(classic.get())) manual->rewardedVideoDidLoad();
    }
    if (auto tidewheel = r.tidewheel.lock()) {
      if (auto manual = dynamic_cast<TidewheelRewardedVideoManualDelegate*>(tidewheel.get())) {
        manual->didLoadWithAdInfo(info);
      }
    }
  });
}

void QBRewardedVideoDelegateWrapper::rewardedVideoDidFailToLoadWithError(const QBError& error) {
  logCallback(__func__, error.description());
  deliverOnMain(recipients(), [error](const Recipients& r) {
    if (r.testSuite) {
      if (auto manual = dynamic_cast<TidewheelRewardedVideoManualDelegate*>(r.testSuite.get())) {
        manual->didFailToLoadWithError(error);
      }
      return;
    }
    if (auto classic = r.classic.lock()) {
      if (auto manual = dynamic_cast<QBRewardedVideoManualDelegate*>(classic.get())) {
        manual->rewardedVideoDidFailToLoadWithError(error);
      }
    }
    if (auto tidewheel = r.tidewheel.lock()) {
      if (auto manual = dynamic_cast<TidewheelRewardedVideoManualDelegate*>(tidewheel.get())) {
        manual->didFailToLoadWithError(error);
      }
    }
  });
}

namespace {

void tellAvailability(TidewheelRewardedVideoBaseDelegate* delegate, bool available, const QBAdInfo& info) {
  auto automatic = dynamic_cast<TidewheelRewardedVideoDelegate*>(delegate);
  if (!automatic) return;
  if (available) {
    automatic->hasAvailableAdWithAdInfo(info);
  } else {
    automatic->hasNoAvailableAd();
  }
}

}  // namespace

void QBRewardedVideoDelegateWrapper::rewardedVideoHasChangedAvailability(bool available,
                                                                         std::shared_ptr<const QBAdInfo> adInfo) {
  QBAdInfo info = adInfoOrEmpty(adInfo);
  logCallback(__func__, std::string(available ? "true " : "false ") + info.description());
  deliverOnMain(recipients(), [available, info](const Recipients& r) {
    if (r.testSuite) {
      tellAvailability(r.testSuite.get(), available, info);
      return;
    }
    if (auto classic = r.classic.lock()) classic->rewardedVideoHasChangedAvailability(available);
    if (auto tidewheel = r.tidewheel.lock()) tellAvailability(tidewheel.get(), available, info);
  });
}

void QBRewardedVideoDelegateWrapper::rewardedVideoDidOpenWithAdInfo(std::shared_ptr<const QBAdInfo> adInfo) {
  QBAdInfo info = adInfoOrEmpty(adInfo);
  logCallback(__func__, info.description());
  deliverOnMain(recipients(), [info](const Recipients& r) {
    if (r.testSuite) {
      r.testSuite->didOpenWithAdInfo(info);
      return;
    }
    if (auto classic = r.classic.lock()) classic->rewardedVideoDidOpen();
    if (auto tidewheel = r.tidewheel.lock()) tidewheel->didOpenWithAdInfo(info);
  });
}

void QBRewardedVideoDelegateWrapper::rewardedVideoDidFailToShowWithError(const QBError& error,
                                                                         std::shared_ptr<const QBAdInfo> adInfo) {
  QBAdInfo info = adInfoOrEmpty(adInfo);
  logCallback(__func__, error.description());
  deliverOnMain(recipients(), [error, info](const Recipients& r) {
    if (r.testSuite) {
      r.testSuite->didFailToShowWithError(error, info);
      return;
    }
    if (auto classic = r.classic.lock()) classic->rewardedVideoDidFailToShowWithError(error);
    if (auto tidewheel = r.tidewheel.lock()) tidewheel->didFailToShowWithError(error, info);
  });
}

void QBRewardedVideoDelegateWrapper::rewardedVideoDidStart() {
  logCallback(__func__);
  deliverOnMain(recipients(), [](const Recipients& r) {
    if (r.testSuite) return;
    if (auto classic = r.classic.lock()) classic->rewardedVideoDidStart();
  });
}

void QBRewardedVideoDelegateWrapper::rewardedVideoDidClickForPlacement(const QBPlacementInfo& placementInfo,
                                                                       std::shared_ptr<const QBAdInfo> adInfo) {
  QBAdInfo info = adInfoOrEmpty(adInfo);
  logCallback(__func__, placementInfo.description());
  deliverOnMain(recipients(), [placementInfo, info](const Recipients& r) {
    if (r.testSuite) {
      r.testSuite->didClick(placementInfo, info);
      return;
    }
    if (auto classic = r.classic.lock()) classic->didClickRewardedVideo(placementInfo);
    if (auto tidewheel = r.tidewheel.lock()) tidewheel->didClick(placementInfo, info);
  });
}

void QBRewardedVideoDelegateWrapper::rewardedVideoDidEnd() {
  logCallback(__func__);
  deliverOnMain(recipients(), [](const Recipients& r) {
    if (r.testSuite) return;
    if (auto classic = r.classic.lock()) classic->rewardedVideoDidEnd();
  });
}

void QBRewardedVideoDelegateWrapper::didReceiveRewardForPlacement(const QBPlacementInfo& placementInfo,
                                                                  std::shared_ptr<const QBAdInfo> adInfo) {
  QBAdInfo info = adInfoOrEmpty(adInfo);
  logCallback(__func__, placementInfo.description());
  deliverOnMain(recipients(), [placementInfo, info](const Recipients& r) {
    if (r.testSuite) {
      r.testSuite->didReceiveRewardForPlacement(placementInfo, info);
      return;
    }
    if (auto classic = r.classic.lock()) classic->didReceiveRewardForPlacement(placementInfo);
    if (auto tidewheel = r.tidewheel.lock()) tidewheel->didReceiveRewardForPlacement(placementInfo, info);
  });
}

void QBRewardedVideoDelegateWrapper::rewardedVideoDidCloseWithAdInfo(std::shared_ptr<const QBAdInfo> adInfo) {
  QBAdInfo info = adInfoOrEmpty(adInfo);
  logCallback(__func__, info.description());
  deliverOnMain(recipients(), [info](const Recipients& r) {
    if (r.testSuite) {
      r.testSuite->didCloseWithAdInfo(info);
      return;
    }
    if (auto classic = r.classic.lock()) classic->rewardedVideoDidClose();
    if (auto tidewheel = r.tidewheel.lock()) tidewheel->didCloseWithAdInfo(info);
  });
}
