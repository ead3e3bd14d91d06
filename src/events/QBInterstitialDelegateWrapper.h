#pragma once
// The process-wide carrier of interstitial callbacks to the application.
//
// Every call returns at once and delivers on the main queue, in call order,
// to the classic delegate and the Tidewheel delegate (both held weakly and
// chosen when the call is made). While a test-suite Tidewheel delegate is set
// (owned), every callback goes to it alone. A call without ad info delivers
// an empty QBAdInfo. Load failures reach interstitialDidFailToLoadWithError
// through QBDelegateThrottler.
#include <memory>
#include <utility>

#include "events/QBDelegateWrapperSupport.h"
#include "quillborne/QBAdInfo.h"
#include "quillborne/QBError.h"
#include "quillborne/QBInterstitialDelegate.h"
#include "quillborne/TidewheelInterstitialDelegate.h"

class QBInterstitialDelegateWrapper {
 public:
  static std::shared_ptr<QBInterstitialDelegateWrapper> sharedInstance();
  // Forgets every delegate of the shared wrapper.
  static void resetForTesting() { sharedInstance()->recipients_.reset(); }

  void setDelegate(std::weak_ptr<QBInterstitialDelegate> delegate) { recipients_.setClassic(std::move(delegate)); }
  void setTidewheelDelegate(std::weak_ptr<TidewheelInterstitialDelegate> delegate) {
    recipients_.setTidewheel(std::move(delegate));
  }
  // Owns `delegate`; null removes it.
  void setTestSuiteTidewheelDelegate(std::shared_ptr<TidewheelInterstitialDelegate> delegate) {
    recipients_.setTestSuite(std::move(delegate));
  }
  std::shared_ptr<TidewheelInterstitialDelegate> testSuiteTidewheelDelegate() const { return recipients_.testSuite(); }

  void interstitialDidLoadWithAdInfo(std::shared_ptr<const QBAdInfo> adInfo);
  void interstitialDidFailToLoadWithError(const QBError& error);
  void interstitialDidOpenWithAdInfo(std::shared_ptr<const QBAdInfo> adInfo);
  void interstitialDidShowWithAdInfo(std::shared_ptr<const QBAdInfo> adInfo);
  void interstitialDidFailToShowWithError(const QBError& error, std::shared_ptr<const QBAdInfo> adInfo);
  void interstitialDidClickWithAdInfo(std::shared_ptr<const QBAdInfo> adInfo);
  void interstitialDidCloseWithAdInfo(std::shared_ptr<const QBAdInfo> adInfo);

 private:
  qbevents::DelegateRecipients<QBInterstitialDelegate, TidewheelInterstitialDelegate> recipients_;
};
