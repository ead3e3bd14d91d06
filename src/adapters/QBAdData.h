#pragma once
// The argument record of custom-adapter init, load, show and bidding-data
// calls. Immutable after creation; safe to share between threads.
#include <memory>
#include <optional>
#include <string>

#include "platform/json.h"

class QBAdapterConfig;

// Key names of the ad-unit data dictionary.
struct QBDataKeys {
  static constexpr const char* USER_ID = "userId";
  static constexpr const char* AD_UNIT = "adUnit";
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
