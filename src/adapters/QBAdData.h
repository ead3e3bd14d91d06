#pragma once
// The argument record of custom-adapter init, load, show and bidding-data
// calls. Immutable after creation; safe to share between threads.
#include <memory>
#include <optional>
#include <string>

#include "platform/json.h"

class QBAdapterConfig;
class QBAdUnit;
class QBBannerSize;

// Key names of the ad-unit data dictionary.
struct QBDataKeys {
  static constexpr const char* USER_ID = "userId";
  static constexpr const char* AD_UNIT = "adUnit";
  // {"description", "width", "height", "isAdaptive"} of a banner's size.
  static constexpr const char* BANNER_SIZE = "bannerSize";
};

class QBAdData {
 public:
  // serverData: the bid payload of the waterfall item ("" when none).
  // configuration: a copy of the instance settings ("publisherId", "token", ...).
  // adUnitData: ad-unit facts under QBDataKeys and the auction item's data.
  // adapterConfig: the instance's configuration object (the dictionary cannot
  // hold it, so it gets its own field); may be null.
  QBAdData(std::string serverData, platform::Json configuration, platform::Json adUnitData,
           std::shared_ptr<QBAdapterConfig> adapterConfig = nullptr);

  static std::shared_ptr<QBAdData> initWithServerData(std::string serverData, platform::Json configuration,
                                                      platform::Json adUnitData,
                                                      std::shared_ptr<QBAdapterConfig> adapterConfig = nullptr);

  const std::string& serverData() const { return serverData_; }
  const platform::Json& configuration() const { return configuration_; }
  const platform::Json& adUnitData() const { return adUnitData_; }
  const std::shared_ptr<QBAdapterConfig>& adapterConfig() const { return adapterConfig_; }

  // The string under `key` in the configuration dictionary: none when the key
  // is missing, or holds null, an object, an array or a boolean; "" stays "".
  // An integer number is given as its decimal text (servers send ids both
  // ways).
  std::optional<std::string> getString(const std::string& key) const;

 private:
  std::string serverData_;
  platform::Json configuration_;
  platform::Json adUnitData_;
  std::shared_ptr<QBAdapterConfig> adapterConfig_;
};

namespace QBUtils {

// The record handed to a network adapter's init and bidder-token calls: no
// server data, a copy of the instance settings, and ad-unit data with the ad
// unit's text under "adUnit", "userId" when `userId` is a non-empty text and,
// for a banner, its size under "bannerSize".
std::shared_ptr<QBAdData> createAdDataForNetworkAdapterWithAdapterConfiguration(
    const std::shared_ptr<QBAdapterConfig>& adapterConfig, const QBAdUnit& adUnit,
    const std::optional<std::string>& userId, const QBBannerSize* bannerSize);

}  // namespace QBUtils
