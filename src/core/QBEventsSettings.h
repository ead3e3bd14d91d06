#pragma once
// Settings of one events engine from the server configuration
// ("configurations"."application"."events"."<engine identifier>"), built once
// by the configuration parser and then only read (held as
// std::shared_ptr<const QBEventsSettings>). Keys, types and defaults:
// docs/configuration.md.
#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/json.h"

class QBEventsSettings {
 public:
  // Identifiers of the three events engines.
  static constexpr const char* kRewardedVideoEventsIdentifier = "events";
  static constexpr const char* kInterstitialEventsIdentifier = "InterstitialEvents";
  static constexpr const char* kPixelEventsIdentifier = "pixelEvents";

  // Upload formats.
  static constexpr const char* kOutcomeFormat = "outcome";
  static constexpr const char* kMarrowjetFormat = "marrowjet";

  // Base of the default upload URLs.
  static constexpr const char* kDefaultEventsBaseURL = "https://events.quillborne.invalid";
  static constexpr int64_t kDefaultMaxNumberOfEvents = 100;
  static constexpr int64_t kDefaultMaxEventsPerBatch = 5000;
  static constexpr int64_t kDefaultMaxNumberOfEventsToBackup = 5000;

  // The default upload URL of an engine: kDefaultEventsBaseURL + "/mediation"
  // + "?adUnit=3" (rewarded video, "events") or "?adUnit=2" (interstitial,
  // "InterstitialEvents"); kDefaultEventsBaseURL + "/pixel" for "pixelEvents"
  // and any other identifier.
  static std::string defaultServerEventsURL(const std::string& engineIdentifier);

  // The settings of engine `engineIdentifier` from its section; a field that
  // is missing, of another type or out of range gets its default. A section
  // that is not an object gives all defaults.
  static std::shared_ptr<const QBEventsSettings> fromJson(const std::string& engineIdentifier,
                                                          const platform::Json& section);

  const std::string& engineIdentifier() const { return engineIdentifier_; }
  // Events are uploaded at all. Default: on, except for "pixelEvents".
  bool isEnabled() const { return enabled_; }
  const std::string& serverEventsURL() const { return serverEventsURL_; }
  // kOutcomeFormat or kMarrowjetFormat.
  const std::string& serverEventsType() const { return serverEventsType_; }
  bool isMarrowjetFormat() const { return serverEventsType_ == kMarrowjetFormat; }
  // Stored events that start an upload; at least 1.
  int64_t maxNumberOfEvents() const { return maxNumberOfEvents_; }
  // Most events in one upload; at least 1.
  int64_t maxEventsPerBatch() const { return maxEventsPerBatch_; }
  // Most events kept in the user-defaults backup; 0 keeps none.
  int64_t maxNumberOfEventsToBackup() const { return maxNumberOfEventsToBackup_; }
  // Event ids never recorded.
  const std::vector<int64_t>& optOut() const { return optOut_; }
  // Event ids that start an upload at once.
  const std::vector<int64_t>& triggerEvents() const { return triggerEvents_; }
  // Event ids that carry id + 90000 when logged without connectivity.
  const std::vector<int64_t>& nonConnectivityEvents() const { return nonConnectivityEvents_; }
  // gzip the upload body.
  bool compressEvents() const { return compressEvents_; }

  bool isOptOut(int64_t eventId) const { return contains(optOut_, eventId); }
  bool isTriggerEvent(int64_t eventId) const { return contains(triggerEvents_, eventId); }
  bool isNonConnectivityEvent(int64_t eventId) const { return contains(nonConnectivityEvents_, eventId); }

 private:
  explicit QBEventsSettings(const std::string& engineIdentifier);
  static bool contains(const std::vector<int64_t>& ids, int64_t id) {
    return std::find(ids.begin(), ids.end(), id) != ids.end();
  }

  std::string engineIdentifier_;
  bool enabled_;
  std::string serverEventsURL_;
  std::string serverEventsType_ = kOutcomeFormat;
  int64_t maxNumberOfEvents_ = kDefaultMaxNumberOfEvents;
  int64_t maxEventsPerBatch_ = kDefaultMaxEventsPerBatch;
  int64_t maxNumberOfEventsToBackup_ = kDefaultMaxNumberOfEventsToBackup;
  std::vector<int64_t> optOut_;
  std::vector<int64_t> triggerEvents_;
  std::vector<int64_t> nonConnectivityEvents_;
  bool compressEvents_ = false;
};
