#include "testsuite/QBTestSuiteAdsManager.h"

std::shared_ptr<QBTestSuiteAdsManager> QBTestSuiteAdsManager::initWithWebController(
    std::weak_ptr<platform::ViewController> viewController) {
  return std::shared_ptr<QBTestSuiteAdsManager>(new QBTestSuiteAdsManager(std::move(viewController)));
}
