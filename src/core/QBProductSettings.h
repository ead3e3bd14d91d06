#pragma once
// Settings of one ad unit from the server configuration
// ("configurations"."<ad unit>"), built once by the configuration parser and
// then only read (held as std::shared_ptr<const QBProductSettings>). Keys,
// types and defaults: docs/configuration.md.
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include "core/QBPlacement.h"
#include "platform/json.h"
#include "quillborne/QBAdUnit.h"

class QBProductSettings {
 public:
  static constexpr int64_t kDefaultMaxNumOfAdaptersToLoadOnStart = 2;
  static constexpr int64_t kDefaultAdapterTimeOutInSeconds = 30;
  static constexpr int64_t kDefaultDelayLoadFailureNotificationInSeconds = 3;
  static constexpr int64_t kDefaultExpiredDurationInMinutes = -1;
  static constexpr int64_t kDefaultBiddingDataAsyncTimeoutMs = 5000;

  // The settings of `adUnit` from its section; a field that is missing, of
  // another type or out of range gets its default. A section that is not an
  // object gives all defaults and no placements.
  static std::shared_ptr<const QBProductSettings> fromJson(const QBAdUnit& adUnit, const platform::Json& section);

  const QBAdUnit& adUnit() const { return adUnit_; }
  // The placements with a name, in configuration order.
  const std::vector<std::shared_ptr<const QBPlacement>>& placements() const { return placements_; }
  // How many instances may be loading (or loaded) at once; at least 1.
  int64_t maxNumOfAdaptersToLoadOnStart() const { return maxNumOfAdaptersToLoadOnStart_; }
  // Load time-out of an instance, in seconds; at least 1.
  int64_t adapterTimeOutInSeconds() const { return adapterTimeOutInSeconds_; }
  // Spacing of load-failure callbacks, in seconds; 0 or more.
  int64_t delayLoadFailureNotificationInSeconds() const { return delayLoadFailureNotificationInSeconds_; }
  // Life of a loaded ad, in minutes; below 1 disables expiry.
  int64_t expiredDurationInMinutes() const { return expiredDurationInMinutes_; }
  bool isBiddingDataAsyncEnabled() const { return isBiddingDataAsyncEnabled_; }
  // Time-out of the asynchronous bidder-token collection, in milliseconds;
  // at least 1.
  int64_t biddingDataAsyncTimeout() const { return biddingDataAsyncTimeoutMs_; }
  // The whole section as received ({} when it was not an object), for keys
  // other records read (QBAdapterConfig's "isOneFlow").
  const platform::Json& settingsJson() const { return section_; }

 private:
  explicit QBProductSettings(QBAdUnit adUnit) : adUnit_(std::move(adUnit)) {}

  QBAdUnit adUnit_;
  std::vector<std::shared_ptr<const QBPlacement>> placements_;
  int64_t maxNumOfAdaptersToLoadOnStart_ = kDefaultMaxNumOfAdaptersToLoadOnStart;
  int64_t adapterTimeOutInSeconds_ = kDefaultAdapterTimeOutInSeconds;
  int64_t delayLoadFailureNotificationInSeconds_ = kDefaultDelayLoadFailureNotificationInSeconds;
  int64_t expiredDurationInMinutes_ = kDefaultExpiredDurationInMinutes;
  bool isBiddingDataAsyncEnabled_ = false;
  int64_t biddingDataAsyncTimeoutMs_ = kDefaultBiddingDataAsyncTimeoutMs;
  platform::Json section_ = platform::Json::object();
};
