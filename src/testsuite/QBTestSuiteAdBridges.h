#pragma once
// The bridges that stand in for the application's Tidewheel delegates while
// the test suite is open: each turns every callback of its ad unit into a
// page callback ("onAdReady", "onAdClosed", ... with the ad info's and the
// error's description texts and the placement's name) for the page's
// evaluator (the web-view wrapper, held weakly). setupTestSuiteDelegate makes
// the bridge the test-suite delegate of its ad unit's delegate wrapper (which
// then holds it and tells the application's delegates nothing);
// removeTestSuiteDelegate takes it out again. docs/test-suite.md has the
// table of callbacks.
//
// The delegate wrappers call the bridges on the main queue.
#include <memory>
#include <string>

#include "platform/json.h"
#include "quillborne/QBAdUnit.h"
#include "quillborne/TidewheelBannerDelegate.h"
#include "quillborne/TidewheelInterstitialDelegate.h"
#include "quillborne/TidewheelRewardedVideoDelegate.h"
#include "quillborne/TidewheelRewardedVideoManualDelegate.h"
#include "testsuite/QBTestSuiteJavaScriptEvaluatorDelegate.h"

class QBTestSuiteAdsManager;

class QBTestSuiteAdBaseBridge : public std::enable_shared_from_this<QBTestSuiteAdBaseBridge> {
 public:
  virtual ~QBTestSuiteAdBaseBridge() = default;
  virtual void setupTestSuiteDelegate() {}
  virtual void removeTestSuiteDelegate() {}
  // Passes the three on to the evaluator, while it lives.
  void onAdCallbackReceived(const std::string& callbackName, const QBAdUnit& adUnit, const platform::Json& args);

 protected:
  explicit QBTestSuiteAdBaseBridge(std::weak_ptr<QBTestSuiteJavaScriptEvaluatorDelegate> jsEvaluatorDelegate)
      : jsEvaluatorDelegate_(std::move(jsEvaluatorDelegate)) {}

 private:
  const std::weak_ptr<QBTestSuiteJavaScriptEvaluatorDelegate> jsEvaluatorDelegate_;
};

class QBTestSuiteInterstitialBridge : public QBTestSuiteAdBaseBridge, public TidewheelInterstitialDelegate {
 public:
  static std::shared_ptr<QBTestSuiteInterstitialBridge> initWithJsEvaluatorDelegate(
      std::weak_ptr<QBTestSuiteJavaScriptEvaluatorDelegate> jsEvaluatorDelegate);
  void setupTestSuiteDelegate() override;
  void removeTestSuiteDelegate() override;

  void didLoadWithAdInfo(const QBAdInfo& adInfo) override;
  void didFailToLoadWithError(const QBError& error) override;
  void didOpenWithAdInfo(const QBAdInfo& adInfo) override;
  void didShowWithAdInfo(const QBAdInfo& adInfo) override;
  void didFailToShowWithError(const QBError& error, const QBAdInfo& adInfo) override;
  void didClickWithAdInfo(const QBAdInfo& adInfo) override;
  void didCloseWithAdInfo(const QBAdInfo& adInfo) override;

 private:
  using QBTestSuiteAdBaseBridge::QBTestSuiteAdBaseBridge;
  void send(const char* callbackName, platform::Json args);
};

// Hears both availability (automatic loading) and load results (manual).
class QBTestSuiteRewardedVideoBridge : public QBTestSuiteAdBaseBridge,
                                       public TidewheelRewardedVideoDelegate,
                                       public TidewheelRewardedVideoManualDelegate {
 public:
  static std::shared_ptr<QBTestSuiteRewardedVideoBridge> initWithJsEvaluatorDelegate(
      std::weak_ptr<QBTestSuiteJavaScriptEvaluatorDelegate> jsEvaluatorDelegate);
  void setupTestSuiteDelegate() override;
  void removeTestSuiteDelegate() override;

  void didLoadWithAdInfo(const QBAdInfo& adInfo) override;
  void didFailToLoadWithError(const QBError& error) override;
  void hasAvailableAdWithAdInfo(const QBAdInfo& adInfo) override;
  void hasNoAvailableAd() override;
  void didOpenWithAdInfo(const QBAdInfo& adInfo) override;
  void didFailToShowWithError(const QBError& error, const QBAdInfo& adInfo) override;
  void didClick(const QBPlacementInfo& placementInfo, const QBAdInfo& adInfo) override;
  void didCloseWithAdInfo(const QBAdInfo& adInfo) override;
  void didReceiveRewardForPlacement(const QBPlacementInfo& placementInfo, const QBAdInfo& adInfo) override;

 private:
  using QBTestSuiteAdBaseBridge::QBTestSuiteAdBaseBridge;
  void send(const char* callbackName, platform::Json args);
};

class QBTestSuiteBannerBridge : public QBTestSuiteAdBaseBridge, public TidewheelBannerDelegate {
 public:
  // adManager: where a loaded banner is kept (held without ownership).
  static std::shared_ptr<QBTestSuiteBannerBridge> initWithAdsManager(
      std::weak_ptr<QBTestSuiteAdsManager> adManager,
      std::weak_ptr<QBTestSuiteJavaScriptEvaluatorDelegate> jsEvaluatorDelegate);
  // The ads manager (null once it is gone).
  std::shared_ptr<QBTestSuiteAdsManager> adManager() const { return adManager_.lock(); }
  void setupTestSuiteDelegate() override;
  void removeTestSuiteDelegate() override;

  // The banner becomes the ads manager's bannerView first.
  void didLoad(std::shared_ptr<QBBannerView> bannerView, const QBAdInfo& adInfo) override;
  void didFailToLoadWithError(const QBError& error) override;
  void didClickWithAdInfo(const QBAdInfo& adInfo) override;
  void didLeaveApplicationWithAdInfo(const QBAdInfo& adInfo) override;
  void didPresentScreenWithAdInfo(const QBAdInfo& adInfo) override;
  void didDismissScreenWithAdInfo(const QBAdInfo& adInfo) override;

 private:
  QBTestSuiteBannerBridge(std::weak_ptr<QBTestSuiteAdsManager> adManager,
                          std::weak_ptr<QBTestSuiteJavaScriptEvaluatorDelegate> jsEvaluatorDelegate)
      : QBTestSuiteAdBaseBridge(std::move(jsEvaluatorDelegate)), adManager_(std::move(adManager)) {}
  void send(const char* callbackName, platform::Json args);

  const std::weak_ptr<QBTestSuiteAdsManager> adManager_;
};
