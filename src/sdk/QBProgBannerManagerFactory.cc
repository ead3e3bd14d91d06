#include "sdk/QBProgBannerManagerFactory.h"

namespace {

class ProgBannerFactory : public QBAdUnitManagerFactory {
 public:
  std::shared_ptr<QBAdUnitManager> createManager(const QBAdUnitManagerParams& params) override {
    auto manager = QBProgBannerManager::initWithProvidersPool(
        params.providersPool, params.settings, params.auctionSettings, params.isEncryptedAuctionResponse,
        params.impressionDataDelegates, params.segment, params.isOneToken);
    return std::make_shared<QBProgBannerAdUnitManager>(std::move(manager));
  }
};

}  // namespace

void registerProgBannerManagerFactory() {
  QBAdUnitManagerFactories::sharedInstance().registerFactoryIfAbsent(QBAdUnitManagerNames::kProgBannerManager,
                                                                     std::make_shared<ProgBannerFactory>());
}
