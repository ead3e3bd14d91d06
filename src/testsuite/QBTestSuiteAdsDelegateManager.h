#pragma once
// The test suite's hold on the ad callbacks: while the suite is open its
// bridges (interstitial, rewarded video, banner, in this order) are the
// test-suite delegates of the three delegate wrappers, so the application's
// delegates hear nothing of the suite's ads and the page hears everything; at
// close they are removed and the SDK object forgets the suite's load
// requests.
//
// Main queue only.
#include <memory>
#include <vector>

#include "testsuite/QBTestSuiteAdBridges.h"
#include "testsuite/QBTestSuiteAdsManager.h"
#include "testsuite/QBTestSuiteJavaScriptEvaluatorDelegate.h"

class QBTestSuiteAdsDelegateManager {
 public:
  // jsEvaluator: what the bridges report to (the web-view wrapper), weakly.
  static std::shared_ptr<QBTestSuiteAdsDelegateManager> initWithAdsManager(
      std::shared_ptr<QBTestSuiteAdsManager> adsManager,
      std::weak_ptr<QBTestSuiteJavaScriptEvaluatorDelegate> jsEvaluator);

  // Installs the bridges, in order.
  void setupTestSuiteDelegates();
  // Removes them, in order.
  void removeTestSuiteDelegates();
  // The SDK object clears the three managers' load requests and its flag
  // (QBTestSuiteMediationSdkProxy::onTestSuiteClosed).
  void resetAdLoadConfigObjects();
  // removeTestSuiteDelegates, then resetAdLoadConfigObjects.
  void performCleanup();

  const std::shared_ptr<QBTestSuiteAdsManager>& adsManager() const { return adsManager_; }
  const std::vector<std::shared_ptr<QBTestSuiteAdBaseBridge>>& testSuiteAdBridges() const { return bridges_; }

 private:
  QBTestSuiteAdsDelegateManager(std::shared_ptr<QBTestSuiteAdsManager> adsManager,
                                std::weak_ptr<QBTestSuiteJavaScriptEvaluatorDelegate> jsEvaluator);

  const std::shared_ptr<QBTestSuiteAdsManager> adsManager_;
  const std::vector<std::shared_ptr<QBTestSuiteAdBaseBridge>> bridges_;
};
