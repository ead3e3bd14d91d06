#pragma once
// The test suite's hold on the ad callbacks: while the suite is open its
// bridges are the test-suite delegates of the interstitial, rewarded-video and
// banner delegate wrappers, so the application's delegates hear nothing of the
// suite's ads; at close they are removed and the SDK object forgets the
// suite's load requests.
//
// Main queue only.
#include <memory>

#include "testsuite/QBTestSuiteAdsManager.h"

class QBTestSuiteWebViewWrapper;

class QBTestSuiteAdsDelegateManager {
 public:
  // jsEvaluator: what the bridges report to (the web-view wrapper), weakly.
  static std::shared_ptr<QBTestSuiteAdsDelegateManager> initWithAdsManager(
      std::shared_ptr<QBTestSuiteAdsManager> adsManager, std::weak_ptr<QBTestSuiteWebViewWrapper> jsEvaluator);

  // Installs the bridges (this version has none).
  void setupTestSuiteDelegates();
  // Removes whatever test-suite delegate the three wrappers hold.
  void removeTestSuiteDelegates();
  // The SDK object clears the three managers' load requests and its flag
  // (QBTestSuiteMediationSdkProxy::onTestSuiteClosed).
  void resetAdLoadConfigObjects();
  // removeTestSuiteDelegates, then resetAdLoadConfigObjects.
  void performCleanup();

  const std::shared_ptr<QBTestSuiteAdsManager>& adsManager() const { return adsManager_; }

 private:
  QBTestSuiteAdsDelegateManager(std::shared_ptr<QBTestSuiteAdsManager> adsManager,
                                std::weak_ptr<QBTestSuiteWebViewWrapper> jsEvaluator)
      : adsManager_(std::move(adsManager)), jsEvaluator_(std::move(jsEvaluator)) {}

  const std::shared_ptr<QBTestSuiteAdsManager> adsManager_;
  const std::weak_ptr<QBTestSuiteWebViewWrapper> jsEvaluator_;
};
