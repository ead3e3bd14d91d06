#pragma once
// The process-wide carrier of banner callbacks to the application.
//
// Every call returns at once and delivers on the main queue, in call order,
// to the classic delegate and the Tidewheel delegate (both held weakly and
// chosen when the call is made). While a test-suite Tidewheel delegate is set
// (owned), every callback goes to it alone. A call without ad info delivers
// an empty QBAdInfo. Load failures reach bannerDidFailToLoadWithError through
// QBDelegateThrottler.
#include <memory>
#include <mutex>

#include "quillborne/QBAdInfo.h"
#include "quillborne/QBBannerDelegate.h"
#include "quillborne/QBBannerView.h"
#include "quillborne/QBError.h"
#include "quillborne/TidewheelBannerDelegate.h"

class QBBannerDelegateWrapper {
 public:
  static std::shared_ptr<QBBannerDelegateWrapper> sharedInstance();
  // Forgets every delegate of the shared wrapper.
  static void resetForTesting();

  void setDelegate(std::weak_ptr<QBBannerDelegate> delegate);
  void setTidewheelDelegate(std::weak_ptr<TidewheelBannerDelegate> delegate);
  // Owns `delegate`; null removes it.
  void setTestSuiteTidewheelDelegate(std::shared_ptr<TidewheelBannerDelegate> delegate);
  std::shared_ptr<TidewheelBannerDelegate> testSuiteTidewheelDelegate() const;

  void bannerDidLoad(std::shared_ptr<QBBannerView> bannerView, std::shared_ptr<const QBAdInfo> adInfo);
  void bannerDidFailToLoadWithError(const QBError& error);
  void didClickBannerWithAdInfo(std::shared_ptr<const QBAdInfo> adInfo);
  void bannerWillLeaveApplicationWithAdInfo(std::shared_ptr<const QBAdInfo> adInfo);
  void bannerWillPresentScreenWithAdInfo(std::shared_ptr<const QBAdInfo> adInfo);
  void bannerDidDismissScreenWithAdInfo(std::shared_ptr<const QBAdInfo> adInfo);

  struct Recipients {
    std::weak_ptr<QBBannerDelegate> classic;
    std::weak_ptr<TidewheelBannerDelegate> tidewheel;
    std::shared_ptr<TidewheelBannerDelegate> testSuite;
  };

 private:
  Recipients recipients() const;

  mutable std::recursive_mutex mutex_;
  std::weak_ptr<QBBannerDelegate> delegate_;
  std::weak_ptr<TidewheelBannerDelegate> tidewheelDelegate_;
  std::shared_ptr<TidewheelBannerDelegate> testSuiteDelegate_;
};
