#pragma once
// Auction settings from the server configuration
// ("configurations"."application"."auction"), built once by the configuration
// parser and then only read (held as std::shared_ptr<const QBAuctionSettings>).
// All times are in milliseconds. Keys, types and defaults:
// docs/configuration.md.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/json.h"

class QBAuctionSettings {
 public:
  // How the auction request body is wrapped (see docs/configuration.md):
  // 0 plain JSON, 1 {"request": ...} under the mediation key, 2 {"sk", "ct"}
  // under a session key that travels RSA-encrypted.
  static constexpr int kEncryptionNone = 0;
  static constexpr int kEncryptionMediationKey = 1;
  static constexpr int kEncryptionSessionKey = 2;

  static constexpr int64_t kDefaultTimeoutMs = 10000;
  static constexpr int64_t kMaxTrials = 100;
  static constexpr int64_t kDefaultTimeToDeleteWaterfallAfterAuctionMs = 30000;
  static constexpr int64_t kDefaultAuctionRetryIntervalRvMs = 30000;
  static constexpr int kDefaultEncryptionVersion = kEncryptionSessionKey;

  // The settings of the section; a field that is missing, of another type or
  // out of range gets its default. A section that is not an object gives all
  // defaults (auction disabled).
  static std::shared_ptr<const QBAuctionSettings> fromJson(const platform::Json& section);

  // The auction is enabled when maxTrials() is greater than 0.
  bool isAuctionEnabled() const { return maxTrials_ > 0; }

  const std::string& auctioneerURL() const { return auctioneerURL_; }
  // Attempts of one auction (the first included); 0 or less disables it.
  int64_t maxTrials() const { return maxTrials_; }
  // Time-out of one auction request; at least 1.
  int64_t timeout() const { return timeoutMs_; }
  // Waterfalls kept in the per-instance history sent with auctions.
  int64_t auctionSavedHistoryLimit() const { return auctionSavedHistoryLimit_; }
  // Networks that cannot load while one of their ads shows.
  const std::vector<std::string>& disableLoadWhileShowSupportFor() const { return disableLoadWhileShowSupportFor_; }
  int64_t timeToDeleteWaterfallAfterAuction() const { return timeToDeleteWaterfallAfterAuction_; }
  int64_t minTimeBeforeFirstIsAuctionMs() const { return minTimeBeforeFirstIsAuctionMs_; }
  int64_t minTimeBeforeFirstRvAuctionMs() const { return minTimeBeforeFirstRvAuctionMs_; }
  int64_t minTimeBeforeFirstBannerAuctionMs() const { return minTimeBeforeFirstBannerAuctionMs_; }
  // Wait before the rewarded-video reload that follows a close.
  int64_t minTimeBeforeRvAuctionMs() const { return minTimeBeforeRvAuctionMs_; }
  // Wait before the rewarded-video reload that follows a failed load.
  int64_t auctionRetryIntervalRvMs() const { return auctionRetryIntervalRvMs_; }
  bool isLoadWhileShow() const { return isLoadWhileShow_; }
  // Use the object-per-waterfall managers for the ad unit.
  bool rewardedVideoObjectPerWaterfall() const { return rewardedVideoObjectPerWaterfall_; }
  bool interstitialObjectPerWaterfall() const { return interstitialObjectPerWaterfall_; }
  // gzip the request body before encryption / accept a gzip-compressed answer.
  bool compressAuctionRequest() const { return compressAuctionRequest_; }
  bool compressAuctionResponse() const { return compressAuctionResponse_; }
  // The answer's payload is encrypted.
  bool isEncryptedAuctionResponse() const { return isEncryptedAuctionResponse_; }
  // kEncryptionNone, kEncryptionMediationKey or kEncryptionSessionKey.
  int encryptionVersion() const { return encryptionVersion_; }

 private:
  QBAuctionSettings() = default;

  std::string auctioneerURL_;
  int64_t maxTrials_ = 0;
  int64_t timeoutMs_ = kDefaultTimeoutMs;
  int64_t auctionSavedHistoryLimit_ = 0;
  std::vector<std::string> disableLoadWhileShowSupportFor_;
  int64_t timeToDeleteWaterfallAfterAuction_ = kDefaultTimeToDeleteWaterfallAfterAuctionMs;
  int64_t minTimeBeforeFirstIsAuctionMs_ = 0;
  int64_t minTimeBeforeFirstRvAuctionMs_ = 0;
  int64_t minTimeBeforeFirstBannerAuctionMs_ = 0;
  int64_t minTimeBeforeRvAuctionMs_ = 0;
  int64_t auctionRetryIntervalRvMs_ = kDefaultAuctionRetryIntervalRvMs;
  bool isLoadWhileShow_ = false;
  bool rewardedVideoObjectPerWaterfall_ = false;
  bool interstitialObjectPerWaterfall_ = false;
  bool compressAuctionRequest_ = false;
  bool compressAuctionResponse_ = false;
  bool isEncryptedAuctionResponse_ = false;
  int encryptionVersion_ = kDefaultEncryptionVersion;
};
