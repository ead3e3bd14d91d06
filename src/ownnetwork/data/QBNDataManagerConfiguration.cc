#include "ownnetwork/data/QBNDataManagerConfiguration.h"

#include <algorithm>
#include <limits>

#include "ownnetwork/services/QBNFeaturesManager.h"
#include "ownnetwork/services/QBNJsonValues.h"

namespace {

int32_t clamp32(int64_t value) {
  return static_cast<int32_t>(std::clamp<int64_t>(value, std::numeric_limits<int32_t>::min(),
                                                  std::numeric_limits<int32_t>::max()));
}

// Whether the member stands for a number (null, arrays and objects do not).
bool standsForValue(const platform::Json& object, const char* key) {
  auto it = object.find(key);
  return it != object.end() && !it->is_null() && !it->is_array() && !it->is_object();
}

}  // namespace

QBNDataManagerConfiguration QBNDataManagerConfiguration::initWithDictionary(
    const std::optional<platform::Json>& dictionary) {
  QBNDataManagerConfiguration configuration;
  configuration.updateWithDictionary(QBNFeaturesManager::sharedManager().getDataManagerConfig());
  configuration.updateWithDictionary(dictionary);
  return configuration;
}

void QBNDataManagerConfiguration::updateWithDictionary(const std::optional<platform::Json>& dictionary) {
  if (!dictionary || !dictionary->is_object()) return;
  if (auto use = qbnjson::boolValue(*dictionary, "shouldUseURLSession")) shouldUseURLSession = *use;
  if (standsForValue(*dictionary, "retryNumber")) retryNumber = clamp32(qbnjson::integerValue(*dictionary, "retryNumber"));
  if (standsForValue(*dictionary, "retryDelay")) retryDelay = clamp32(qbnjson::integerValue(*dictionary, "retryDelay"));
}

std::string QBNDataManagerConfiguration::description() const {
  platform::Json values = {{"shouldUseURLSession", shouldUseURLSession ? "true" : "false"},
                           {"retryNumber", std::to_string(retryNumber)},
                           {"retryDelay", std::to_string(retryDelay)}};
  return "DataManager configuration: " + qbnjson::description(values);
}
