#include "sdk/QBAdUnitManager.h"

#include <utility>

QBAdUnitManagerFactories& QBAdUnitManagerFactories::sharedInstance() {
  static QBAdUnitManagerFactories* instance = new QBAdUnitManagerFactories();
  return *instance;
}

void QBAdUnitManagerFactories::registerFactory(const std::string& managerName,
                                               std::shared_ptr<QBAdUnitManagerFactory> factory) {
  std::shared_ptr<QBAdUnitManagerFactory> replaced;  // released after the lock
  std::lock_guard lock(mutex_);
  auto it = factories_.find(managerName);
  if (it != factories_.end()) replaced = std::move(it->second);
  if (factory) {
    factories_[managerName] = std::move(factory);
  } else if (it != factories_.end()) {
    factories_.erase(it);
  }
}

void QBAdUnitManagerFactories::registerFactoryIfAbsent(const std::string& managerName,
                                                       std::shared_ptr<QBAdUnitManagerFactory> factory) {
  std::lock_guard lock(mutex_);
  if (!factory || factories_.count(managerName)) return;
  factories_[managerName] = std::move(factory);
}

std::shared_ptr<QBAdUnitManagerFactory> QBAdUnitManagerFactories::factoryForName(const std::string& managerName) const {
  std::lock_guard lock(mutex_);
  auto it = factories_.find(managerName);
  return it == factories_.end() ? nullptr : it->second;
}

void QBAdUnitManagerFactories::resetForTesting() {
  std::map<std::string, std::shared_ptr<QBAdUnitManagerFactory>> dropped;
  std::lock_guard lock(mutex_);
  dropped.swap(factories_);
}

std::string QBAdUnitManagerNameFor(const QBAdUnit& adUnit, const QBAuctionSettings* auctionSettings, bool demandOnly,
                                   bool manualRewardedVideo) {
  namespace names = QBAdUnitManagerNames;
  if (adUnit == QBAdUnit::QB_AD_UNIT_REWARDED_VIDEO()) {
    if (demandOnly) return names::kDemandOnlyRvManager;
    if ((auctionSettings && auctionSettings->rewardedVideoObjectPerWaterfall()) || manualRewardedVideo) {
      return names::kRewardedVideoAdManager;
    }
    if (auctionSettings && auctionSettings->isLoadWhileShow()) return names::kLWSProgRvManager;
    return names::kProgRvManager;
  }
  if (adUnit == QBAdUnit::QB_AD_UNIT_INTERSTITIAL()) {
    if (demandOnly) return names::kDemandOnlyIsManager;
    if (auctionSettings && auctionSettings->interstitialObjectPerWaterfall()) return names::kInterstitialAdManager;
    return names::kProgIsManager;
  }
  if (adUnit == QBAdUnit::QB_AD_UNIT_BANNER()) {
    return demandOnly ? names::kDemandOnlyBannerManager : names::kProgBannerManager;
  }
  return "";
}
