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
  constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
  std::shared_ptr<QBEventsSettings> s(new QBEventsSettings(engineIdentifier));
  if (!section.is_object()) return s;
  s->enabled_ = qbjson::boolOr(section, "enabled", s->enabled_);
  if (auto url = qbjson::nonEmptyString(section, "serverEventsURL")) s->serverEventsURL_ = std::move(*url);
  if (qbjson::stringOr(section, "serverEventsType") == kMarrowjetFormat) s->serverEventsType_ = kMarrowjetFormat;
  s->maxNumberOfEvents_ = qbjson::intOr(section, "maxNumberOfEvents", kDefaultMaxNumberOfEvents, 1, kMax);
  s->maxEventsPerBatch_ = qbjson::intOr(section, "maxEventsPerBatch", kDefaultMaxEventsPerBatch, 1, kMax);
  s->maxNumberOfEventsToBackup_ =
      qbjson::intOr(section, "maxNumberOfEventsToBackup", kDefaultMaxNumberOfEventsToBackup, 0, kMax);
  s->optOut_ = qbjson::intArray(section, "optOut");
  s->triggerEvents_ = qbjson::intArray(section, "triggerEvents");
  s->nonConnectivityEvents_ = qbjson::intArray(section, "nonConnectivityEvents");
  s->compressEvents_ = qbjson::boolOr(section, "compressEvents", false);
  return s;
}
