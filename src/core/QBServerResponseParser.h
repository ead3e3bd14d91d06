#pragma once
// The server configuration, parsed: QBServerResponseParser turns one
// configuration (a JSON object with "configurations", "providerOrder" and
// "providerSettings") into a QBConfigurationSnapshot of settings records and
// adapter configurations, each built once and then only read.
//
// Keys, types and defaults of every record: docs/configuration.md.
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "core/QBAdapterConfig.h"
#include "core/QBApplicationSettings.h"
#include "core/QBAuctionSettings.h"
#include "core/QBEventsSettings.h"
#include "core/QBProductSettings.h"
#include "core/QBSKAdNetworkSettings.h"
#include "core/QBTestSuiteSettings.h"
#include "core/QBTokenSettings.h"
#include "platform/json.h"
#include "platform/result.h"
#include "quillborne/QBAdUnit.h"

// Every record of one configuration. Immutable; safe to share between
// threads. The empty snapshot (before any configuration) has no ad units,
// no adapter configurations and default application-wide records.
class QBConfigurationSnapshot {
 public:
  // The snapshot of a configuration; an error (code 501, empty domain) when
  // it is not an object or lacks one of the three sections (or one is not an
  // object). Fields inside the sections never fail: wrong types get defaults.
  static platform::Result<std::shared_ptr<const QBConfigurationSnapshot>> fromJson(
      const platform::Json& configuration);
  static std::shared_ptr<const QBConfigurationSnapshot> empty();

  // False only for the empty snapshot.
  bool hasConfiguration() const { return hasConfiguration_; }
  // The whole configuration the snapshot was built from ({} when empty).
  const platform::Json& originServerResponse() const { return origin_; }

  // The ad units whose "configurations" entry is an object, in the order
  // rewarded video, interstitial, offerwall, banner.
  std::vector<QBAdUnit> configuredAdUnits() const;
  // The settings of an ad unit; null when the configuration has none for it.
  std::shared_ptr<const QBProductSettings> productSettings(const QBAdUnit& adUnit) const;
  // The provider instances of an ad unit in "providerOrder" order: one per
  // distinct name listed that has an object in "providerSettings".
  std::vector<std::shared_ptr<QBAdapterConfig>> adapterConfigs(const QBAdUnit& adUnit) const;
  // The instance of that provider name for the ad unit; null when none.
  std::shared_ptr<QBAdapterConfig> adapterConfig(const QBAdUnit& adUnit, const std::string& providerName) const;

  std::shared_ptr<const QBAuctionSettings> auctionSettings() const { return auction_; }
  std::shared_ptr<const QBTokenSettings> tokenSettings() const { return token_; }
  std::shared_ptr<const QBApplicationSettings> applicationSettings() const { return application_; }
  // The settings of an events engine ("events", "InterstitialEvents",
  // "pixelEvents"); defaults for an engine the configuration does not
  // mention; null for any other identifier.
  std::shared_ptr<const QBEventsSettings> eventsSettings(const std::string& engineIdentifier) const;
  std::shared_ptr<const QBSKAdNetworkSettings> skAdNetworkSettings() const { return skAdNetwork_; }
  std::shared_ptr<const QBTestSuiteSettings> testSuiteSettings() const { return testSuite_; }

 private:
  QBConfigurationSnapshot();

  bool hasConfiguration_ = false;
  platform::Json origin_ = platform::Json::object();
  std::map<std::string, std::shared_ptr<const QBProductSettings>> products_;
  std::map<std::string, std::vector<std::shared_ptr<QBAdapterConfig>>> adapters_;
  std::shared_ptr<const QBAuctionSettings> auction_;
  std::shared_ptr<const QBTokenSettings> token_;
  std::shared_ptr<const QBApplicationSettings> application_;
  std::map<std::string, std::shared_ptr<const QBEventsSettings>> events_;
  std::shared_ptr<const QBSKAdNetworkSettings> skAdNetwork_;
  std::shared_ptr<const QBTestSuiteSettings> testSuite_;
};

// The one parser object of the SDK: keeps the snapshot of the last
// configuration that parsed. Thread-safe: parse() builds a complete new
// snapshot outside the lock and swaps it in (when two parses run at once, the
// one that finishes last stays in force); readers get the snapshot in force
// (or a record of it) and keep it as long as they hold it.
class QBServerResponseParser {
 public:
  static std::shared_ptr<QBServerResponseParser> create();

  // Parses the (decrypted) configuration text. On success the new snapshot
  // replaces the old one, QBConfigurations takes the configuration's log
  // levels and QuillborneObjectPublisherDataHolder its SKAdNetwork settings.
  // On error (code 501, empty domain: not JSON, not an object, a missing
  // section) the snapshot in force stays and nothing else changes. Answers on
  // the calling thread.
  platform::Status parse(std::string_view configurationText);
  // The same for a configuration already read as JSON.
  platform::Status parseConfiguration(const platform::Json& configuration);

  // The snapshot in force (the empty snapshot before the first success).
  std::shared_ptr<const QBConfigurationSnapshot> snapshot() const;
  bool hasConfiguration() const { return snapshot()->hasConfiguration(); }

  // Shorthands for the same calls on snapshot(); two calls may see two
  // snapshots when a parse runs in between.
  platform::Json originServerResponse() const { return snapshot()->originServerResponse(); }
  std::shared_ptr<const QBProductSettings> productSettings(const QBAdUnit& adUnit) const {
    return snapshot()->productSettings(adUnit);
  }
  std::vector<std::shared_ptr<QBAdapterConfig>> adapterConfigs(const QBAdUnit& adUnit) const {
    return snapshot()->adapterConfigs(adUnit);
  }
  std::shared_ptr<const QBAuctionSettings> auctionSettings() const { return snapshot()->auctionSettings(); }
  std::shared_ptr<const QBTokenSettings> tokenSettings() const { return snapshot()->tokenSettings(); }
  std::shared_ptr<const QBApplicationSettings> applicationSettings() const {
    return snapshot()->applicationSettings();
  }
  std::shared_ptr<const QBEventsSettings> eventsSettings(const std::string& engineIdentifier) const {
    return snapshot()->eventsSettings(engineIdentifier);
  }
  std::shared_ptr<const QBSKAdNetworkSettings> skAdNetworkSettings() const {
    return snapshot()->skAdNetworkSettings();
  }
  std::shared_ptr<const QBTestSuiteSettings> testSuiteSettings() const { return snapshot()->testSuiteSettings(); }

 private:
  QBServerResponseParser();

  mutable std::mutex mutex_;
  std::shared_ptr<const QBConfigurationSnapshot> snapshot_;
};
