#include "testsuite/QBTestSuiteLoadAdConfig.h"

#include <utility>

#include "core/QBAdapterConfig.h"

namespace {

// Uses the configuration's own providerDefaultInstance() where the record
// offers one, so both agree on what the default instance is.
template <class Config>
std::string defaultInstanceOf(const Config& config) {
  if constexpr (requires { config.providerDefaultInstance(); }) {
    return std::string(config.providerDefaultInstance());
  } else {
    auto name = platform::getString(config.providerEntry(), "providerDefaultInstance");
    if (name && !name->empty()) return *name;
    return config.reflectionName();
  }
}

}  // namespace

std::shared_ptr<QBTestSuiteLoadAdConfig> QBTestSuiteLoadAdConfig::initWithAdNetwork(
    std::optional<std::string> adNetwork, bool isBidding, bool useTestAds, bool retainViewController) {
  std::shared_ptr<QBTestSuiteLoadAdConfig> config(new QBTestSuiteLoadAdConfig());
  config->adNetwork_ = std::move(adNetwork);
  config->isBidding_ = isBidding;
  config->useTestAds_ = useTestAds;
  config->retainViewController_ = retainViewController;
  return config;
}

std::string QBTestSuiteLoadAdConfig::providerDefaultInstance(const QBAdapterConfig& config) {
  return defaultInstanceOf(config);
}

bool QBTestSuiteLoadAdConfig::shouldAddAdapterConfigInfo(const QBAdapterConfig& config,
                                                         const QBAdUnit& /*adUnit*/) const {
  if (!adNetwork_ || adNetwork_->empty()) return true;
  if (providerDefaultInstance(config) != *adNetwork_) return false;
  return config.isBidder() == isBidding_;
}
