#include "sdk/QBConfigurationCache.h"

QBConfigurationCache::QBConfigurationCache()
    : storage_(QBKeyValueStorageProvider::storageWithIdentifier(kStoreIdentifier)) {}

void QBConfigurationCache::save(const std::string& appKey, const platform::Json& configuration) {
  storage_->setValue(kKey, platform::Json{{"appKey", appKey}, {"configuration", configuration}});
}

QBConfigurationCache::Entry QBConfigurationCache::load(const std::string& appKey) const {
  Entry entry;
  auto value = storage_->getValue(kKey);
  if (!value || value->is_null()) return entry;
  auto storedKey = platform::getString(*value, "appKey");
  auto configuration = platform::getObject(*value, "configuration");
  if (!value->is_object() || !storedKey || !configuration) {
    entry.status = Status::Corrupt;
    entry.detail = !value->is_object() ? "not an object"
                   : !storedKey       ? "no application key"
                                      : "no configuration object";
    return entry;
  }
  if (*storedKey != appKey) {
    entry.status = Status::OtherAppKey;
    return entry;
  }
  entry.status = Status::Found;
  entry.configuration = std::move(*configuration);
  return entry;
}

void QBConfigurationCache::clear() { storage_->removeValue(kKey); }
