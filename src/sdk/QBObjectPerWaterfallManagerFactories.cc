#include "sdk/QBObjectPerWaterfallManagerFactories.h"

#include "adunits/QBRewardedVideoAdManager.h"

namespace {

class RewardedVideoFactory : public QBAdUnitManagerFactory {
 public:
  std::shared_ptr<QBAdUnitManager> createManager(const QBAdUnitManagerParams& params) override {
    auto manager = QBRewardedVideoAdManager::initWithProvidersPool(
        params.providersPool, params.settings, params.auctionSettings, params.isEncryptedAuctionResponse,
        params.isManual, params.impressionDataDelegates, params.segment, params.isOneToken);
    return std::make_shared<QBObjectPerWaterfallAdUnitManager>(std::move(manager));
  }
};

class InterstitialFactory : public QBAdUnitManagerFactory {
 public:
  std::shared_ptr<QBAdUnitManager> createManager(const QBAdUnitManagerParams& params) override {
    auto manager = QBInterstitialAdManager::initWithProvidersPool(
        params.providersPool, params.settings, params.auctionSettings, params.isEncryptedAuctionResponse,
        params.impressionDataDelegates, params.segment, params.isOneToken);
    return std::make_shared<QBObjectPerWaterfallAdUnitManager>(std::move(manager));
  }
};

}  // namespace

void registerObjectPerWaterfallManagerFactories() {
  auto& factories = QBAdUnitManagerFactories::sharedInstance();
  factories.registerFactory(QBAdUnitManagerNames::kRewardedVideoAdManager, std::make_shared<RewardedVideoFactory>());
  factories.registerFactory(QBAdUnitManagerNames::kInterstitialAdManager, std::make_shared<InterstitialFactory>());
}
