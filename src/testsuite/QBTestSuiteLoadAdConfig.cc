#include "testsuite/QBTestSuiteLoadAdConfig.h"

#include <utility>

#include "testsuite/QBTestSuiteMediationSdkProxy.h"

std::shared_ptr<QBTestSuiteLoadAdConfig> QBTestSuiteLoadAdConfig::initWithAdNetwork(
    std::optional<std::string> adNetwork, bool isBidding, bool useTestAds, bool retainViewController) {
  std::shared_ptr<QBTestSuiteLoadAdConfig> config(new QBTestSuiteLoadAdConfig());
  config->adNetwork_ = std::move(adNetwork);
  config->isBidding_ = isBidding;
  config->useTestAds_ = useTestAds;
  config->retainViewController_ = retainViewController;
  return config;
}

bool QBTestSuiteLoadAdConfig::shouldAddAdapterConfigInfo(const QBAdapterConfig& config,
                                                         const QBAdUnit& /*adUnit*/) const {
  if (!adNetwork_ || adNetwork_->empty()) return true;
  if (QBTestSuiteMediationSdkProxy::providerDefaultInstance(config) != *adNetwork_) return false;
  return QBTestSuiteMediationSdkProxy::isBidder(config) == isBidding_;
}
