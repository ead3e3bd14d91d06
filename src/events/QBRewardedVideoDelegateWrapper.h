#pragma once
// The process-wide carrier of rewarded-video callbacks to the application.
//
// Every call returns at once and delivers on the main queue, in call order,
// to the classic delegate and the Tidewheel delegate (both held weakly and
// chosen when the call is made). While a test-suite Tidewheel delegate is set
// (owned), every callback goes to it alone; it hears availability only when it
// adopts TidewheelRewardedVideoDelegate, load results only when it adopts
// TidewheelRewardedVideoManualDelegate, and video start and end not at all.
// A call without ad info delivers an empty QBAdInfo. Load failures reach
// rewardedVideoDidFailToLoadWithError through QBDelegateThrottler.
#include <memory>
#include <utility>

#include "events/QBDelegateWrapperSupport.h"
#include "quillborne/QBAdInfo.h"
#include "quillborne/QBError.h"
#include "quillborne/QBPlacementInfo.h"
#include "quillborne/QBRewardedVideoDelegate.h"
#include "quillborne/TidewheelRewardedVideoBaseDelegate.h"

class QBRewardedVideoDelegateWrapper {
 public:
  static std::shared_ptr<QBRewardedVideoDelegateWrapper> sharedInstance();
  // Forgets every delegate of the shared wrapper.
  static void resetForTesting() { sharedInstance()->recipients_.reset(); }

  void setDelegate(std::weak_ptr<QBRewardedVideoDelegate> delegate) { recipients_.setClassic(std::move(delegate)); }
  void setTidewheelDelegate(std::weak_ptr<TidewheelRewardedVideoBaseDelegate> delegate) {
    recipients_.setTidewheel(std::move(delegate));
  }
  // Owns `delegate`; null removes it.
  void setTestSuiteTidewheelDelegate(std::shared_ptr<TidewheelRewardedVideoBaseDelegate> delegate) {
    recipients_.setTestSuite(std::move(delegate));
  }
  std::shared_ptr<TidewheelRewardedVideoBaseDelegate> testSuiteTidewheelDelegate() const {
    return recipients_.testSuite();
  }

  void rewardedVideoDidLoadWithAdInfo(std::shared_ptr<const QBAdInfo> adInfo);
  void rewardedVideoDidFailToLoadWithError(const QBError& error);
  void rewardedVideoHasChangedAvailability(bool available, std::shared_ptr<const QBAdInfo> adInfo);
  void rewardedVideoDidOpenWithAdInfo(std::shared_ptr<const QBAdInfo> adInfo);
  void rewardedVideoDidFailToShowWithError(const QBError& error, std::shared_ptr<const QBAdInfo> adInfo);
  void rewardedVideoDidStart();
  void rewardedVideoDidClickForPlacement(const QBPlacementInfo& placementInfo, std::shared_ptr<const QBAdInfo> adInfo);
  void rewardedVideoDidEnd();
  void didReceiveRewardForPlacement(const QBPlacementInfo& placementInfo, std::shared_ptr<const QBAdInfo> adInfo);
  void rewardedVideoDidCloseWithAdInfo(std::shared_ptr<const QBAdInfo> adInfo);

 private:
  qbevents::DelegateRecipients<QBRewardedVideoDelegate, TidewheelRewardedVideoBaseDelegate> recipients_;
};
