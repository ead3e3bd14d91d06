#include "testsuite/QBTestSuiteAdsDelegateManager.h"

#include <utility>

#include "testsuite/QBTestSuiteMediationSdkProxy.h"

QBTestSuiteAdsDelegateManager::QBTestSuiteAdsDelegateManager(
    std::shared_ptr<QBTestSuiteAdsManager> adsManager, std::weak_ptr<QBTestSuiteJavaScriptEvaluatorDelegate> jsEvaluator)
    : adsManager_(std::move(adsManager)),
      bridges_{QBTestSuiteInterstitialBridge::initWithJsEvaluatorDelegate(jsEvaluator),
               QBTestSuiteRewardedVideoBridge::initWithJsEvaluatorDelegate(jsEvaluator),
               QBTestSuiteBannerBridge::initWithAdsManager(adsManager_, jsEvaluator)} {}

std::shared_ptr<QBTestSuiteAdsDelegateManager> QBTestSuiteAdsDelegateManager::initWithAdsManager(
    std::shared_ptr<QBTestSuiteAdsManager> adsManager, std::weak_ptr<QBTestSuiteJavaScriptEvaluatorDelegate> jsEvaluator) {
  return std::shared_ptr<QBTestSuiteAdsDelegateManager>(
      new QBTestSuiteAdsDelegateManager(std::move(adsManager), std::move(jsEvaluator)));
}

void QBTestSuiteAdsDelegateManager::setupTestSuiteDelegates() {
  for (const auto& bridge : bridges_) bridge->setupTestSuiteDelegate();
}

void QBTestSuiteAdsDelegateManager::removeTestSuiteDelegates() {
  for (const auto& bridge : bridges_) bridge->removeTestSuiteDelegate();
}

void QBTestSuiteAdsDelegateManager::resetAdLoadConfigObjects() { QBTestSuiteMediationSdkProxy::onTestSuiteClosed(); }

void QBTestSuiteAdsDelegateManager::performCleanup() {
  removeTestSuiteDelegates();
  resetAdLoadConfigObjects();
}
