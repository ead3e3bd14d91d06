#include "adunits/QBRewardedVideoAdManager.h"

#include <utility>

#include "adapters/QBBaseAdAdapter.h"
#include "adunits/QBBaseAdUnitInteractionSmash.h"
#include "core/QBConfigurations.h"
#include "foundation/QBUtils.h"

namespace {

// The settings record shared by both managers; only the loading data and the
// expiry differ.
std::shared_ptr<const QBAdManagerData> managerDataFor(const QBAdUnit& adUnit,
                                                      std::vector<std::shared_ptr<QBAdapterConfig>> providersPool,
                                                      std::shared_ptr<const QBProductSettings> settings,
                                                      std::shared_ptr<const QBAuctionSettings> auctionSettings,
                                                      std::shared_ptr<const QBAdUnitLoadingData> loadingData,
                                                      int64_t adExpirationInMinutes) {
  const auto userId = QBUtils::userIdForNetworks(QBConfigurations::getConfigurations().userId()).value_or("");
  return QBAdManagerData::initWithAdUnit(
      adUnit, userId, std::move(providersPool), settings->placements(), std::move(auctionSettings),
      static_cast<uint64_t>(settings->maxNumOfAdaptersToLoadOnStart()),
      static_cast<uint64_t>(settings->adapterTimeOutInSeconds()),
      static_cast<uint64_t>(settings->delayLoadFailureNotificationInSeconds()), adExpirationInMinutes,
      std::move(loadingData), settings->isBiddingDataAsyncEnabled(), settings->biddingDataAsyncTimeout());
}

std::shared_ptr<const QBAuctionSettings> orDefaults(std::shared_ptr<const QBAuctionSettings> settings) {
  return settings ? std::move(settings) : QBAuctionSettings::fromJson(platform::Json::object());
}

std::shared_ptr<const QBProductSettings> orDefaults(const QBAdUnit& adUnit,
                                                    std::shared_ptr<const QBProductSettings> settings) {
  return settings ? std::move(settings) : QBProductSettings::fromJson(adUnit, platform::Json::object());
}

}  // namespace

// ---- rewarded video ----

std::shared_ptr<QBRewardedVideoAdManager> QBRewardedVideoAdManager::initWithProvidersPool(
    std::vector<std::shared_ptr<QBAdapterConfig>> providersPool, std::shared_ptr<const QBProductSettings> settings,
    std::shared_ptr<const QBAuctionSettings> auctionSettings, bool isEncryptedAuctionResponse, bool isManual,
    std::shared_ptr<QBImpressionDataDelegates> impressionDataDelegates, std::optional<QBSegment> segment,
    bool isOneToken) {
  const QBAdUnit adUnit = QBAdUnit::QB_AD_UNIT_REWARDED_VIDEO();
  settings = orDefaults(adUnit, std::move(settings));
  auctionSettings = orDefaults(std::move(auctionSettings));
  QBAdUnitLoadingMode mode = QBAdUnitLoadingMode::AUTOMATIC_LOAD_AFTER_CLOSE;
  if (isManual) {
    mode = QBAdUnitLoadingMode::MANUAL;
  } else if (auctionSettings->isLoadWhileShow()) {
    mode = QBAdUnitLoadingMode::AUTOMATIC_LOAD_WHILE_SHOW;
  }
  auto loadingData = QBAdUnitLoadingData::initWithQBLoadingMode(mode, auctionSettings->minTimeBeforeRvAuctionMs(),
                                                                auctionSettings->auctionRetryIntervalRvMs(), -1);
  const int64_t expiry = settings->expiredDurationInMinutes();
  auto data =
      managerDataFor(adUnit, std::move(providersPool), settings, auctionSettings, std::move(loadingData), expiry);
  std::shared_ptr<QBRewardedVideoAdManager> manager(new QBRewardedVideoAdManager(
      std::move(data), isEncryptedAuctionResponse, std::move(impressionDataDelegates), std::move(segment), isOneToken));
  manager->initWithData();
  return manager;
}

std::string QBRewardedVideoAdManager::managerName() const { return kManagerName; }

std::shared_ptr<QBAdUnitDelegateWrapper> QBRewardedVideoAdManager::createAdUnitListenerWrapper() {
  return std::make_shared<QBRewardedVideoAdDelegateWrapper>();
}

std::shared_ptr<QBBaseAdUnitSmash> QBRewardedVideoAdManager::createSmashWithAdapterConfig(
    const std::shared_ptr<QBAdapterConfig>& config, const std::shared_ptr<QBBaseAdAdapter>& adapter,
    int32_t sessionDepth, const std::string& currentAuctionId) {
  if (!config) return nullptr;
  auto data = createSmashData(config, sessionDepth, currentAuctionId);
  if (!std::dynamic_pointer_cast<QBBaseRewardedVideo>(adapter)) {
    logInternal(__func__, "error creating adapter", 3);
    return nullptr;
  }
  return makeSmash(std::move(data), adapter);
}

std::shared_ptr<QBBaseAdUnitSmash> QBRewardedVideoAdManager::makeSmash(std::shared_ptr<const QBAdSmashData> data,
                                                                       std::shared_ptr<QBBaseAdAdapter> adapter) {
  auto config = data->adapterConfig();
  return QBRewardedVideoAdSmash::initWithData(std::move(data), std::move(adapter), std::move(config),
                                              std::weak_ptr<QBAdUnitManagerDelegate>(shared_from_this()));
}

// ---- interstitial ----

std::shared_ptr<QBInterstitialAdManager> QBInterstitialAdManager::initWithProvidersPool(
    std::vector<std::shared_ptr<QBAdapterConfig>> providersPool, std::shared_ptr<const QBProductSettings> settings,
    std::shared_ptr<const QBAuctionSettings> auctionSettings, bool isEncryptedAuctionResponse,
    std::shared_ptr<QBImpressionDataDelegates> impressionDataDelegates, std::optional<QBSegment> segment,
    bool isOneToken) {
  const QBAdUnit adUnit = QBAdUnit::QB_AD_UNIT_INTERSTITIAL();
  settings = orDefaults(adUnit, std::move(settings));
  auctionSettings = orDefaults(std::move(auctionSettings));
  auto loadingData = QBAdUnitLoadingData::initWithQBLoadingMode(QBAdUnitLoadingMode::MANUAL, 0, 0, -1);
  auto data = managerDataFor(adUnit, std::move(providersPool), settings, auctionSettings, std::move(loadingData), -1);
  std::shared_ptr<QBInterstitialAdManager> manager(new QBInterstitialAdManager(
      std::move(data), isEncryptedAuctionResponse, std::move(impressionDataDelegates), std::move(segment), isOneToken));
  manager->initWithData();
  return manager;
}

std::string QBInterstitialAdManager::managerName() const { return kManagerName; }

std::shared_ptr<QBAdUnitDelegateWrapper> QBInterstitialAdManager::createAdUnitListenerWrapper() {
  return std::make_shared<QBInterstitialAdDelegateWrapper>();
}

std::shared_ptr<QBBaseAdUnitSmash> QBInterstitialAdManager::createSmashWithAdapterConfig(
    const std::shared_ptr<QBAdapterConfig>& config, const std::shared_ptr<QBBaseAdAdapter>& adapter,
    int32_t sessionDepth, const std::string& currentAuctionId) {
  if (!config) return nullptr;
  auto data = createSmashData(config, sessionDepth, currentAuctionId);
  if (!std::dynamic_pointer_cast<QBBaseAdInteractionAdapter>(adapter)) {
    logInternal(__func__, "error creating adapter", 3);
    return nullptr;
  }
  return makeSmash(std::move(data), adapter);
}

std::shared_ptr<QBBaseAdUnitSmash> QBInterstitialAdManager::makeSmash(std::shared_ptr<const QBAdSmashData> data,
                                                                      std::shared_ptr<QBBaseAdAdapter> adapter) {
  auto config = data->adapterConfig();
  return QBInterstitialAdSmash::initWithData(std::move(data), std::move(adapter), std::move(config),
                                             std::weak_ptr<QBAdUnitManagerDelegate>(shared_from_this()));
}
