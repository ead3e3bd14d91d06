#include "testsuite/QBTestSuiteAdsDelegateManager.h"

#include "events/QBBannerDelegateWrapper.h"
#include "events/QBInterstitialDelegateWrapper.h"
#include "events/QBRewardedVideoDelegateWrapper.h"
#include "testsuite/QBTestSuiteMediationSdkProxy.h"

std::shared_ptr<QBTestSuiteAdsDelegateManager> QBTestSuiteAdsDelegateManager::initWithAdsManager(
    std::shared_ptr<QBTestSuiteAdsManager> adsManager, std::weak_ptr<QBTestSuiteWebViewWrapper> jsEvaluator) {
  return std::shared_ptr<QBTestSuiteAdsDelegateManager>(
      new QBTestSuiteAdsDelegateManager(std::move(adsManager), std::move(jsEvaluator)));
}

void QBTestSuiteAdsDelegateManager::setupTestSuiteDelegates() {}

void QBTestSuiteAdsDelegateManager::removeTestSuiteDelegates() {
  QBInterstitialDelegateWrapper::sharedInstance()->setTestSuiteTidewheelDelegate(nullptr);
  QBRewardedVideoDelegateWrapper::sharedInstance()->setTestSuiteTidewheelDelegate(nullptr);
  QBBannerDelegateWrapper::sharedInstance()->setTestSuiteTidewheelDelegate(nullptr);
}

void QBTestSuiteAdsDelegateManager::resetAdLoadConfigObjects() { QBTestSuiteMediationSdkProxy::onTestSuiteClosed(); }

void QBTestSuiteAdsDelegateManager::performCleanup() {
  removeTestSuiteDelegates();
  resetAdLoadConfigObjects();
}
