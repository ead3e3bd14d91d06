#include "core/QBProductSettings.h"

#include <limits>

#include "core/QBJsonValues.h"

std::shared_ptr<const QBProductSettings> QBProductSettings::fromJson(const QBAdUnit& adUnit,
                                                                     const platform::Json& section) {
  constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
  std::shared_ptr<QBProductSettings> s(new QBProductSettings(adUnit));
  if (!section.is_object()) return s;
  s->section_ = section;
  if (const auto placements = platform::getArray(section, "placements")) {
    for (const auto& entry : *placements) {
      if (auto placement = QBPlacement::fromJson(entry)) s->placements_.push_back(std::move(placement));
    }
  }
  s->maxNumOfAdaptersToLoadOnStart_ =
      qbjson::intOr(section, "maxNumOfAdaptersToLoadOnStart", kDefaultMaxNumOfAdaptersToLoadOnStart, 1, kMax);
  s->adapterTimeOutInSeconds_ =
      qbjson::intOr(section, "adapterTimeOutInSeconds", kDefaultAdapterTimeOutInSeconds, 1, kMax);
  s->delayLoadFailureNotificationInSeconds_ = qbjson::intOr(
      section, "delayLoadFailureNotificationInSeconds", kDefaultDelayLoadFailureNotificationInSeconds, 0, kMax);
  s->expiredDurationInMinutes_ =
      qbjson::intOr(section, "expiredDurationInMinutes", kDefaultExpiredDurationInMinutes);
  s->isBiddingDataAsyncEnabled_ = qbjson::boolOr(section, "isBiddingDataAsyncEnabled", false);
  s->biddingDataAsyncTimeoutMs_ =
      qbjson::intOr(section, "biddingDataAsyncTimeout", kDefaultBiddingDataAsyncTimeoutMs, 1, kMax);
  return s;
}
