#include "core/QBProductSettings.h"

#include <limits>

#include "core/QBJsonValues.h"

std::shared_ptr<const QBProductSettings> QBProductSettings::fromJson(const QBAdUnit& adUnit,
                                                                     const platform::Json& section) {
  using qbjson::boundedInt;
  std::shared_ptr<QBProductSettings> s(new QBProductSettings(adUnit));
  if (!section.is_object()) return s;
  s->section_ = section;
  if (const auto placements = platform::getArray(section, "placements")) {
    for (const auto& entry : *placements) {
      if (auto placement = QBPlacement::fromJson(entry)) s->placements_.push_back(std::move(placement));
    }
  }
  s->maxNumOfAdaptersToLoadOnStart_ = boundedInt(section, "maxNumOfAdaptersToLoadOnStart",
                                                 {1, qbjson::kMaxCount, kDefaultMaxNumOfAdaptersToLoadOnStart});
  s->adapterTimeOutInSeconds_ =
      boundedInt(section, "adapterTimeOutInSeconds", {1, qbjson::kMaxTimeOutSeconds, kDefaultAdapterTimeOutInSeconds});
  s->delayLoadFailureNotificationInSeconds_ =
      boundedInt(section, "delayLoadFailureNotificationInSeconds",
                 {0, qbjson::kMaxTimeOutSeconds, kDefaultDelayLoadFailureNotificationInSeconds});
  // Any value below 1 means "never expire", so only the top is bounded.
  s->expiredDurationInMinutes_ =
      boundedInt(section, "expiredDurationInMinutes",
                 {std::numeric_limits<int64_t>::min(), qbjson::kMaxExpiryMinutes, kDefaultExpiredDurationInMinutes});
  s->isBiddingDataAsyncEnabled_ = qbjson::boolOr(section, "isBiddingDataAsyncEnabled", false);
  s->biddingDataAsyncTimeoutMs_ =
      boundedInt(section, "biddingDataAsyncTimeout", {1, qbjson::kMaxTimeOutMs, kDefaultBiddingDataAsyncTimeoutMs});
  return s;
}
