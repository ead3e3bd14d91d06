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
  namespace names = QBAdUnitManagerNames;
  auto& factories = QBAdUnitManagerFactories::sharedInstance();
  auto registerIfAbsent = [&](const char* name, std::shared_ptr<QBAdUnitManagerFactory> factory) {
    factories.registerFactoryIfAbsent(name, std::move(factory));
  };
  auto rewardedVideo = std::make_shared<RewardedVideoFactory>();
  auto interstitial = std::make_shared<InterstitialFactory>();
  for (const char* name : {names::kRewardedVideoAdManager, names::kLWSProgRvManager, names::kProgRvManager}) {
    registerIfAbsent(name, rewardedVideo);
  }
  for (const char* name : {names::kInterstitialAdManager, names::kProgIsManager}) registerIfAbsent(name, interstitial);
}
