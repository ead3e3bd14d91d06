#include "core/QBAuctionSettings.h"

#include <limits>

#include "core/QBJsonValues.h"

std::shared_ptr<const QBAuctionSettings> QBAuctionSettings::fromJson(const platform::Json& section) {
  constexpr int64_t kMaxWait = qbjson::kMaxWaitMs;
  std::shared_ptr<QBAuctionSettings> s(new QBAuctionSettings());
  if (!section.is_object()) return s;
  using qbjson::boolOr;
  using qbjson::boundedInt;
  s->auctioneerURL_ = qbjson::stringOr(section, "auctioneerURL");
  // Values below 1 disable the auction.
  s->maxTrials_ = boundedInt(section, "maxTrials", {std::numeric_limits<int64_t>::min(), kMaxTrials, 0});
  s->timeoutMs_ = boundedInt(section, "timeout", {1, qbjson::kMaxTimeOutMs, kDefaultTimeoutMs});
  s->auctionSavedHistoryLimit_ = boundedInt(section, "auctionSavedHistoryLimit", {0, qbjson::kMaxCount, 0});
  s->disableLoadWhileShowSupportFor_ = qbjson::stringArray(section, "disableLoadWhileShowSupportFor");
  s->timeToDeleteWaterfallAfterAuction_ = boundedInt(section, "timeToDeleteWaterfallAfterAuction",
                                                     {0, kMaxWait, kDefaultTimeToDeleteWaterfallAfterAuctionMs});
  s->minTimeBeforeFirstIsAuctionMs_ = boundedInt(section, "minTimeBeforeFirstIsAuctionMs", {0, kMaxWait, 0});
  s->minTimeBeforeFirstRvAuctionMs_ = boundedInt(section, "minTimeBeforeFirstRvAuctionMs", {0, kMaxWait, 0});
  s->minTimeBeforeFirstBannerAuctionMs_ = boundedInt(section, "minTimeBeforeFirstBannerAuctionMs", {0, kMaxWait, 0});
  s->minTimeBeforeRvAuctionMs_ = boundedInt(section, "minTimeBeforeRvAuctionMs", {0, kMaxWait, 0});
  s->auctionRetryIntervalRvMs_ =
      boundedInt(section, "auctionRetryIntervalRvMs", {0, kMaxWait, kDefaultAuctionRetryIntervalRvMs});
  s->isLoadWhileShow_ = boolOr(section, "isLoadWhileShow", false);
  s->rewardedVideoObjectPerWaterfall_ = boolOr(section, "rewardedVideoObjectPerWaterfall", false);
  s->interstitialObjectPerWaterfall_ = boolOr(section, "interstitialObjectPerWaterfall", false);
  s->compressAuctionRequest_ = boolOr(section, "compressAuctionRequest", false);
  s->compressAuctionResponse_ = boolOr(section, "compressAuctionResponse", false);
  s->isEncryptedAuctionResponse_ = boolOr(section, "isEncryptedAuctionResponse", false);
  s->encryptionVersion_ =
      static_cast<int>(qbjson::intOr(section, "encryptionVersion", kDefaultEncryptionVersion, kEncryptionNone,
                             kEncryptionSessionKey));
  return s;
}
