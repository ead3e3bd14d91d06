#pragma once
// Settings of the own network's data manager.
#include <cstdint>
#include <optional>
#include <string>

#include "platform/json.h"

class QBNDataManagerConfiguration {
 public:
  // YES, 2, 0.
  static QBNDataManagerConfiguration defaultConfiguration() { return QBNDataManagerConfiguration(); }
  // The defaults, updated first with the network configuration's
  // "dataManager" dictionary (QBNFeaturesManager::getDataManagerConfig) when
  // there is one, then with `dictionary`.
  static QBNDataManagerConfiguration initWithDictionary(const std::optional<platform::Json>& dictionary);

  // "shouldUseURLSession" (a boolean), "retryNumber" and "retryDelay"
  // (integers, clamped to 32 bits), each only when present and standing for
  // a value (qbnjson); anything but an object changes nothing.
  void updateWithDictionary(const std::optional<platform::Json>& dictionary);

  // "DataManager configuration: " and the compact JSON of
  // {"shouldUseURLSession": "true"/"false", "retryNumber": decimal text,
  // "retryDelay": decimal text}.
  std::string description() const;

  // True: QBNDataManager; false: PMADataManager.
  bool shouldUseURLSession = true;
  // How many times a request that keeps timing out is sent (at least once).
  int32_t retryNumber = 2;
  // Seconds to wait before a retry; below 1 retries at once.
  int32_t retryDelay = 0;
};
