#include "core/QBEventsSettings.h"

#include <limits>

#include "core/QBJsonValues.h"

std::string QBEventsSettings::defaultServerEventsURL(const std::string& engineIdentifier) {
  const std::string base = kDefaultEventsBaseURL;
  if (engineIdentifier == kRewardedVideoEventsIdentifier) return base + "/mediation?adUnit=3";
  if (engineIdentifier == kInterstitialEventsIdentifier) return base + "/mediation?adUnit=2";
  return base + "/pixel";
}

QBEventsSettings::QBEventsSettings(const std::string& engineIdentifier)
    : engineIdentifier_(engineIdentifier),
      enabled_(engineIdentifier != kPixelEventsIdentifier),
      serverEventsURL_(defaultServerEventsURL(engineIdentifier)) {}

std::shared_ptr<const QBEventsSettings> QBEventsSettings::fromJson(const std::string& engineIdentifier,
                                                                   const platform::Json& section) {
  constexpr int64_t kMax = qbjson::kMaxCount;
  std::shared_ptr<QBEventsSettings> s(new QBEventsSettings(engineIdentifier));
  if (!section.is_object()) return s;
  s->enabled_ = qbjson::boolOr(section, "enabled", s->enabled_);
  if (auto url = qbjson::nonEmptyString(section, "serverEventsURL")) s->serverEventsURL_ = std::move(*url);
  if (qbjson::stringOr(section, "serverEventsType") == kMarrowjetFormat) s->serverEventsType_ = kMarrowjetFormat;
  s->maxNumberOfEvents_ = qbjson::boundedInt(section, "maxNumberOfEvents", {1, kMax, kDefaultMaxNumberOfEvents});
  s->maxEventsPerBatch_ = qbjson::boundedInt(section, "maxEventsPerBatch", {1, kMax, kDefaultMaxEventsPerBatch});
  s->maxNumberOfEventsToBackup_ =
      qbjson::boundedInt(section, "maxNumberOfEventsToBackup", {0, kMax, kDefaultMaxNumberOfEventsToBackup});
  s->optOut_ = qbjson::intArray(section, "optOut");
  s->triggerEvents_ = qbjson::intArray(section, "triggerEvents");
  s->nonConnectivityEvents_ = qbjson::intArray(section, "nonConnectivityEvents");
  s->compressEvents_ = qbjson::boolOr(section, "compressEvents", false);
  return s;
}
