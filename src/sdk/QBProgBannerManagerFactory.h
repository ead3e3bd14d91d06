#pragma once
// The SDK object's maker of the programmatic banner manager: a factory
// registered under "QBProgBannerManager" that builds QBProgBannerManager from
// the configuration's settings, wrapped as the SDK's QBBannerAdUnitManager.
#include <memory>

#include "adunits/QBProgBannerManager.h"
#include "sdk/QBAdUnitManager.h"

// Registers the factory under "QBProgBannerManager" unless that name already
// has one (an application or a test may supply its own). The SDK object calls
// it once at start-up, before it makes its managers. Any thread.
void registerProgBannerManagerFactory();

// The SDK's view of the programmatic banner manager: every call forwarded.
class QBProgBannerAdUnitManager : public QBBannerAdUnitManager {
 public:
  explicit QBProgBannerAdUnitManager(std::shared_ptr<QBProgBannerManager> manager) : manager_(std::move(manager)) {}

  void loadBanner(platform::ViewControllerRef viewController, const QBBannerSize& size) override {
    manager_->loadBanner(std::move(viewController), size);
  }
  void destroyBanner(const std::shared_ptr<QBBannerView>& banner) override { manager_->destroyBanner(banner); }
  void destroyCurrentBanner() override { manager_->destroyCurrentBanner(); }
  void onTestSuiteLaunched() override { manager_->onTestSuiteLaunched(); }
  void setTestSuiteLoadAdConfig(std::shared_ptr<QBTestSuiteLoadAdConfig> config) override {
    manager_->setTestSuiteLoadAdConfig(std::move(config));
  }
  void setSegment(const std::optional<QBSegment>& segment) override { manager_->setSegment(segment); }

  const std::shared_ptr<QBProgBannerManager>& manager() const { return manager_; }

 private:
  const std::shared_ptr<QBProgBannerManager> manager_;
};
