#pragma once
// SKAdNetwork settings from the server configuration
// ("configurations"."application"."skAdNetwork"), built once by the
// configuration parser and then only read. Keys and defaults:
// docs/configuration.md.
#include <memory>

#include "platform/json.h"

class QBSKAdNetworkSettings {
 public:
  static constexpr int kDefaultMaxConversionValue = 63;

  // Missing, mistyped or out-of-range fields get their defaults.
  static std::shared_ptr<const QBSKAdNetworkSettings> fromJson(const platform::Json& section);

  // Conversion values of auctions are applied.
  bool isConversionValueEnabled() const { return enabled_; }
  // Highest conversion value the server hands out (0 to 63).
  int maxConversionValue() const { return maxConversionValue_; }

 private:
  QBSKAdNetworkSettings() = default;
  bool enabled_ = false;
  int maxConversionValue_ = kDefaultMaxConversionValue;
};
