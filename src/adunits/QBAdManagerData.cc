#include "adunits/QBAdManagerData.h"

#include <utility>

QBAdManagerData::QBAdManagerData(QBAdUnit adUnit, std::string userId,
                                 std::vector<std::shared_ptr<QBAdapterConfig>> providersList,
                                 std::vector<std::shared_ptr<const QBPlacement>> placements,
                                 std::shared_ptr<const QBAuctionSettings> auctionSettings, uint64_t maxSmashesToLoad,
                                 uint64_t smashLoadTimeout, uint64_t delayLoadFailure, int64_t adExpirationInMinutes,
                                 std::shared_ptr<const QBAdUnitLoadingData> loadingData, bool isBiddingDataAsyncEnabled,
                                 int64_t biddingDataAsyncTimeout)
    : isBiddingDataAsyncEnabled_(isBiddingDataAsyncEnabled),
      adUnit_(std::move(adUnit)),
      userId_(std::move(userId)),
      auctionSettings_(auctionSettings ? std::move(auctionSettings)
                                       : QBAuctionSettings::fromJson(platform::Json::object())),
      maxSmashesToLoad_(maxSmashesToLoad),
      smashLoadTimeout_(smashLoadTimeout),
      delayLoadFailure_(delayLoadFailure),
      adExpirationInMinutes_(adExpirationInMinutes),
      loadingData_(loadingData ? std::move(loadingData)
                               : QBAdUnitLoadingData::initWithQBLoadingMode(QBAdUnitLoadingMode::MANUAL, 0, 0, -1)),
      biddingDataAsyncTimeout_(biddingDataAsyncTimeout) {
  std::vector<std::string> names;
  for (auto& config : providersList) {
    if (!config) continue;
    names.push_back(config->providerName());
    providersByName_.emplace(config->providerName(), config);
    providersList_.push_back(std::move(config));
  }
  auctionInstanceParts_ = std::make_shared<const QBAuctionInstanceParts>(names);
  for (auto& placement : placements) {
    if (placement) placements_.push_back(std::move(placement));
  }
}

std::shared_ptr<const QBAdManagerData> QBAdManagerData::initWithAdUnit(
    QBAdUnit adUnit, std::string userId, std::vector<std::shared_ptr<QBAdapterConfig>> providersList,
    std::vector<std::shared_ptr<const QBPlacement>> placements,
    std::shared_ptr<const QBAuctionSettings> auctionSettings, uint64_t maxSmashesToLoad, uint64_t smashLoadTimeout,
    uint64_t delayLoadFailure, int64_t adExpirationInMinutes, std::shared_ptr<const QBAdUnitLoadingData> loadingData,
    bool isBiddingDataAsyncEnabled, int64_t biddingDataAsyncTimeout) {
  return std::make_shared<const QBAdManagerData>(
      std::move(adUnit), std::move(userId), std::move(providersList), std::move(placements), std::move(auctionSettings),
      maxSmashesToLoad, smashLoadTimeout, delayLoadFailure, adExpirationInMinutes, std::move(loadingData),
      isBiddingDataAsyncEnabled, biddingDataAsyncTimeout);
}

std::shared_ptr<QBAdapterConfig> QBAdManagerData::getAdapterConfig(const std::string& providerName) const {
  auto it = providersByName_.find(providerName);
  return it == providersByName_.end() ? nullptr : it->second;
}

int64_t QBAdManagerData::getTimeToWaitBeforeFirstAuctionMs() const {
  if (adUnit_ == QBAdUnit::QB_AD_UNIT_INTERSTITIAL()) return auctionSettings_->minTimeBeforeFirstIsAuctionMs();
  if (adUnit_ == QBAdUnit::QB_AD_UNIT_REWARDED_VIDEO()) return auctionSettings_->minTimeBeforeFirstRvAuctionMs();
  if (adUnit_ == QBAdUnit::QB_AD_UNIT_BANNER()) return auctionSettings_->minTimeBeforeFirstBannerAuctionMs();
  return 0;
}

bool QBAdManagerData::isAuctionEnabled() const { return auctionSettings_->maxTrials() > 0; }

// ---- QBInstanceInfo ----

QBInstanceInfo::QBInstanceInfo(std::string name, bool bidder) : isBidder_(bidder), name_(std::move(name)) {}

std::shared_ptr<QBInstanceInfo> QBInstanceInfo::initWithName(std::string name, bool bidder) {
  return std::make_shared<QBInstanceInfo>(std::move(name), bidder);
}

void QBInstanceInfo::setAdditionalData(platform::Json value) {
  additionalData_ = value.is_object() ? std::move(value) : platform::Json::object();
}

void QBInstanceInfo::setAdditionalData(const platform::Json& value, const std::string& key) {
  if (key.empty() || value.is_null()) return;
  additionalData_[key] = value;
}

void QBInstanceInfo::additionalDataFromDictionary(const platform::Json& dictionary) {
  if (!dictionary.is_object()) return;
  for (auto it = dictionary.begin(); it != dictionary.end(); ++it) additionalData_[it.key()] = it.value();
}
