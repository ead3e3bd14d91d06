#include "core/QBAuctionSettings.h"

#include <limits>

#include "core/QBJsonValues.h"

std::shared_ptr<const QBAuctionSettings> QBAuctionSettings::fromJson(const platform::Json& section) {
  constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
  std::shared_ptr<QBAuctionSettings> s(new QBAuctionSettings());
  if (!section.is_object()) return s;
  using qbjson::boolOr;
  using qbjson::intOr;
  s->auctioneerURL_ = qbjson::stringOr(section, "auctioneerURL");
  s->maxTrials_ = intOr(section, "maxTrials", 0);
  s->timeoutMs_ = intOr(section, "timeout", kDefaultTimeoutMs, 1, kMax);
  s->auctionSavedHistoryLimit_ = intOr(section, "auctionSavedHistoryLimit", 0, 0, std::numeric_limits<int32_t>::max());
  s->disableLoadWhileShowSupportFor_ = qbjson::stringArray(section, "disableLoadWhileShowSupportFor");
  s->timeToDeleteWaterfallAfterAuction_ =
      intOr(section, "timeToDeleteWaterfallAfterAuction", kDefaultTimeToDeleteWaterfallAfterAuctionMs, 0, kMax);
  s->minTimeBeforeFirstIsAuctionMs_ = intOr(section, "minTimeBeforeFirstIsAuctionMs", 0, 0, kMax);
  s->minTimeBeforeFirstRvAuctionMs_ = intOr(section, "minTimeBeforeFirstRvAuctionMs", 0, 0, kMax);
  s->minTimeBeforeFirstBannerAuctionMs_ = intOr(section, "minTimeBeforeFirstBannerAuctionMs", 0, 0, kMax);
  s->minTimeBeforeRvAuctionMs_ = intOr(section, "minTimeBeforeRvAuctionMs", 0, 0, kMax);
  s->auctionRetryIntervalRvMs_ = intOr(section, "auctionRetryIntervalRvMs", kDefaultAuctionRetryIntervalRvMs, 0, kMax);
  s->isLoadWhileShow_ = boolOr(section, "isLoadWhileShow", false);
  s->rewardedVideoObjectPerWaterfall_ = boolOr(section, "rewardedVideoObjectPerWaterfall", false);
  s->interstitialObjectPerWaterfall_ = boolOr(section, "interstitialObjectPerWaterfall", false);
  s->compressAuctionRequest_ = boolOr(section, "compressAuctionRequest", false);
  s->compressAuctionResponse_ = boolOr(section, "compressAuctionResponse", false);
  s->isEncryptedAuctionResponse_ = boolOr(section, "isEncryptedAuctionResponse", false);
  s->encryptionVersion_ =
      static_cast<int>(intOr(section, "encryptionVersion", kDefaultEncryptionVersion, kEncryptionNone,
                             kEncryptionSessionKey));
  return s;
}
