#pragma once
// The SDK object's makers of the object-per-waterfall managers: factories
// registered under "QBRewardedVideoAdManager" and "QBInterstitialAdManager"
// that build QBRewardedVideoAdManager / QBInterstitialAdManager from the
// configuration's settings, wrapped as the SDK's QBAdUnitManager (load, show,
// ready, test suite, segment forwarded unchanged).
#include <memory>

#include "adunits/QBBaseAdUnitInteractionManager.h"
#include "sdk/QBAdUnitManager.h"

// Registers the rewarded-video factory under "QBRewardedVideoAdManager" and,
// since this version has no other rewarded-video and interstitial managers,
// also under "QBLWSProgRvManager" and "QBProgRvManager"; the interstitial one
// under "QBInterstitialAdManager" and "QBProgIsManager". A name that already
// has a factory keeps it (an application or a test may supply its own). The
// SDK object calls it once at start-up, before it makes its managers. Any
// thread.
void registerObjectPerWaterfallManagerFactories();

// The SDK's view of one object-per-waterfall manager.
class QBObjectPerWaterfallAdUnitManager : public QBAdUnitManager {
 public:
  explicit QBObjectPerWaterfallAdUnitManager(std::shared_ptr<QBBaseAdUnitInteractionManager> manager)
      : manager_(std::move(manager)) {}

  void loadAd() override { manager_->loadAd(); }
  // A missing placement name means the default placement ("").
  void showAd(platform::ViewControllerRef viewController, const std::optional<std::string>& placementName) override {
    manager_->showAd(std::move(viewController), placementName.value_or(""));
  }
  bool isAdReady() override { return manager_->isAdReady(); }
  void startAdapters() override { manager_->startAdapters(); }
  void setTestSuiteLoadAdConfig(std::shared_ptr<QBTestSuiteLoadAdConfig> config) override {
    manager_->setTestSuiteLoadAdConfig(std::move(config));
  }
  void setSegment(const std::optional<QBSegment>& segment) override { manager_->setSegment(segment); }

  const std::shared_ptr<QBBaseAdUnitInteractionManager>& manager() const { return manager_; }

 private:
  const std::shared_ptr<QBBaseAdUnitInteractionManager> manager_;
};
