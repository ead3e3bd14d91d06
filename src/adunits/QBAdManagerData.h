#pragma once
// The settings record of one object-per-waterfall manager (QBAdManagerData)
// and the auction-candidate record of one instance (QBInstanceInfo).
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "adunits/QBAdUnitLoadingModeManager.h"
#include "core/QBAdapterConfig.h"
#include "core/QBAuctionSettings.h"
#include "core/QBPlacement.h"
#include "mediation/QBAuctionHistory.h"
#include "mediation/QBAuctionInstanceParts.h"
#include "platform/json.h"
#include "quillborne/QBAdUnit.h"

// What a manager is made from, fixed for its life. Built by the concrete
// managers from the ad unit's settings and the auction settings; immutable,
// so safe to share between threads.
class QBAdManagerData {
 public:
  // auctionSettings: null counts as settings with every default (the auction
  // disabled). loadingData: null counts as MANUAL with no intervals.
  // biddingDataAsyncTimeout: milliseconds.
  QBAdManagerData(QBAdUnit adUnit, std::string userId, std::vector<std::shared_ptr<QBAdapterConfig>> providersList,
                  std::vector<std::shared_ptr<const QBPlacement>> placements,
                  std::shared_ptr<const QBAuctionSettings> auctionSettings, uint64_t maxSmashesToLoad,
                  uint64_t smashLoadTimeout, uint64_t delayLoadFailure, int64_t adExpirationInMinutes,
                  std::shared_ptr<const QBAdUnitLoadingData> loadingData, bool isBiddingDataAsyncEnabled,
                  int64_t biddingDataAsyncTimeout);
  static std::shared_ptr<const QBAdManagerData> initWithAdUnit(
      QBAdUnit adUnit, std::string userId, std::vector<std::shared_ptr<QBAdapterConfig>> providersList,
      std::vector<std::shared_ptr<const QBPlacement>> placements,
      std::shared_ptr<const QBAuctionSettings> auctionSettings, uint64_t maxSmashesToLoad, uint64_t smashLoadTimeout,
      uint64_t delayLoadFailure, int64_t adExpirationInMinutes, std::shared_ptr<const QBAdUnitLoadingData> loadingData,
      bool isBiddingDataAsyncEnabled, int64_t biddingDataAsyncTimeout);

  bool isBiddingDataAsyncEnabled() const { return isBiddingDataAsyncEnabled_; }
  const QBAdUnit& adUnit() const { return adUnit_; }
  // The user id for networks; "" when there is none.
  const std::string& userId() const { return userId_; }
  // The configured instances of the ad unit, in configuration order (no null
  // entries).
  const std::vector<std::shared_ptr<QBAdapterConfig>>& providersList() const { return providersList_; }
  const std::shared_ptr<const QBAuctionSettings>& auctionSettings() const { return auctionSettings_; }
  // How many instances may be loading or loaded at once.
  uint64_t maxSmashesToLoad() const { return maxSmashesToLoad_; }
  // Seconds; kept for the record (each instance's timer reads its own
  // configuration).
  uint64_t smashLoadTimeout() const { return smashLoadTimeout_; }
  // Seconds between two load-failure callbacks to the application.
  uint64_t delayLoadFailure() const { return delayLoadFailure_; }
  const std::vector<std::shared_ptr<const QBPlacement>>& placements() const { return placements_; }
  // Minutes; -1 (or anything below 1) means loaded ads never expire.
  int64_t adExpirationInMinutes() const { return adExpirationInMinutes_; }
  const std::shared_ptr<const QBAdUnitLoadingData>& loadingData() const { return loadingData_; }
  // Milliseconds.
  int64_t biddingDataAsyncTimeout() const { return biddingDataAsyncTimeout_; }

  // The first configuration whose provider name is `providerName`; null when
  // none is.
  std::shared_ptr<QBAdapterConfig> getAdapterConfig(const std::string& providerName) const;
  // The auction request's per-instance texts of the configured instances,
  // built once with this record.
  const std::shared_ptr<const QBAuctionInstanceParts>& auctionInstanceParts() const { return auctionInstanceParts_; }
  // The auction settings' first-auction wait of the ad unit (interstitial,
  // rewarded video, banner); 0 for other ad units.
  int64_t getTimeToWaitBeforeFirstAuctionMs() const;
  // Whether the auction settings allow at least one trial.
  bool isAuctionEnabled() const;

 private:
  bool isBiddingDataAsyncEnabled_;
  QBAdUnit adUnit_;
  std::string userId_;
  std::vector<std::shared_ptr<QBAdapterConfig>> providersList_;
  std::unordered_map<std::string, std::shared_ptr<QBAdapterConfig>> providersByName_;  // the first of each name
  std::shared_ptr<const QBAuctionInstanceParts> auctionInstanceParts_;
  std::shared_ptr<const QBAuctionSettings> auctionSettings_;
  uint64_t maxSmashesToLoad_;
  uint64_t smashLoadTimeout_;
  uint64_t delayLoadFailure_;
  std::vector<std::shared_ptr<const QBPlacement>> placements_;
  int64_t adExpirationInMinutes_;
  std::shared_ptr<const QBAdUnitLoadingData> loadingData_;
  int64_t biddingDataAsyncTimeout_;
};

// One auction candidate as the auction request builder reads it (used by the
// demand-only side). A plain record; not thread-safe.
class QBInstanceInfo {
 public:
  // useTestAds false, empty additional data.
  QBInstanceInfo(std::string name, bool bidder);
  static std::shared_ptr<QBInstanceInfo> initWithName(std::string name, bool bidder);

  bool isBidder() const { return isBidder_; }
  bool useTestAds() const { return useTestAds_; }
  void setUseTestAds(bool value) { useTestAds_ = value; }
  // A value taken from the candidate's ad markup that travels with the
  // request.
  const std::string& plumbus() const { return plumbus_; }
  void setPlumbus(std::string value) { plumbus_ = std::move(value); }
  const std::string& name() const { return name_; }
  const platform::Json& biddingData() const { return biddingData_; }
  void setBiddingData(platform::Json value) { biddingData_ = std::move(value); }
  const std::shared_ptr<QBAuctionHistory>& auctionHistory() const { return auctionHistory_; }
  void setAuctionHistory(std::shared_ptr<QBAuctionHistory> value) { auctionHistory_ = std::move(value); }
  // A JSON object.
  const platform::Json& additionalData() const { return additionalData_; }
  void setAdditionalData(platform::Json value);

  // Stores one entry; nothing for an empty key or a null value.
  void setAdditionalData(const platform::Json& value, const std::string& key);
  // Adds every entry of an object; nothing for anything else.
  void additionalDataFromDictionary(const platform::Json& dictionary);

 private:
  bool isBidder_;
  bool useTestAds_ = false;
  std::string plumbus_;
  std::string name_;
  platform::Json biddingData_ = platform::Json::object();
  std::shared_ptr<QBAuctionHistory> auctionHistory_;
  platform::Json additionalData_ = platform::Json::object();
};
