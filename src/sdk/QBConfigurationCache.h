#pragma once
// The last configuration that parsed, kept with its application key in the
// key-value store "mediation" (user-defaults key
// "com.plovermark.mediation.serverResponse") as
//   {"appKey": <text>, "configuration": <the configuration object>}
// Start-up falls back to it when the configuration request fails, for the same
// application key only. Thread-safe; answers on the calling thread.
#include <memory>
#include <string>

#include "foundation/QBKeyValueStorageProvider.h"
#include "platform/json.h"

class QBConfigurationCache {
 public:
  static constexpr const char* kStoreIdentifier = "mediation";
  static constexpr const char* kKey = "serverResponse";

  enum class Status { Missing, OtherAppKey, Corrupt, Found };
  struct Entry {
    Status status = Status::Missing;
    platform::Json configuration;  // Found only
    std::string detail;            // why it is corrupt
  };

  QBConfigurationCache();

  // Replaces the cached configuration.
  void save(const std::string& appKey, const platform::Json& configuration);
  // Found with the configuration when the cache holds one for `appKey`.
  // Corrupt when the stored value is not an object with a text "appKey" and
  // an object "configuration".
  Entry load(const std::string& appKey) const;
  void clear();

 private:
  std::shared_ptr<QBKeyValueStorage> storage_;
};
