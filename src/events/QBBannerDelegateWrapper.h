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
#include <utility>

#include "events/QBDelegateWrapperSupport.h"
#include "quillborne/QBAdInfo.h"
#include "quillborne/QBBannerDelegate.h"
#include "quillborne/QBBannerView.h"
#include "quillborne/QBError.h"
#include "quillborne/TidewheelBannerDelegate.h"

class QBBannerDelegateWrapper {
 public:
  static std::shared_ptr<QBBannerDelegateWrapper> sharedInstance();
  // Forgets every delegate of the shared wrapper.
  static void resetForTesting() { sharedInstance()->recipients_.reset(); }

  void setDelegate(std::weak_ptr<QBBannerDelegate> delegate) { recipients_.setClassic(std::move(delegate)); }
  void setTidewheelDelegate(std::weak_ptr<TidewheelBannerDelegate> delegate) {
    recipients_.setTidewheel(std::move(delegate));
  }
  // Owns `delegate`; null removes it.
  void setTestSuiteTidewheelDelegate(std::shared_ptr<TidewheelBannerDelegate> delegate) {
    recipients_.setTestSuite(std::move(delegate));
  }
  std::shared_ptr<TidewheelBannerDelegate> testSuiteTidewheelDelegate() const { return recipients_.testSuite(); }

  void bannerDidLoad(std::shared_ptr<QBBannerView> bannerView, std::shared_ptr<const QBAdInfo> adInfo);
  void bannerDidFailToLoadWithError(const QBError& error);
  void didClickBannerWithAdInfo(std::shared_ptr<const QBAdInfo> adInfo);
  void bannerWillLeaveApplicationWithAdInfo(std::shared_ptr<const QBAdInfo> adInfo);
  void bannerWillPresentScreenWithAdInfo(std::shared_ptr<const QBAdInfo> adInfo);
  void bannerDidDismissScreenWithAdInfo(std::shared_ptr<const QBAdInfo> adInfo);

 private:
  qbevents::DelegateRecipients<QBBannerDelegate, TidewheelBannerDelegate> recipients_;
};
