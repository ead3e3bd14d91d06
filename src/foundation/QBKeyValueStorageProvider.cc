#include "foundation/QBKeyValueStorageProvider.h"

#include "platform/storage.h"

QBKeyValueStorage::QBKeyValueStorage(std::string identifier) : identifier_(std::move(identifier)) {}

std::string QBKeyValueStorage::storageKey(const std::string& key) const {
  return QBKeyValueStorageProvider::kKeyPrefix + identifier_ + "." + key;
}

std::optional<platform::Json> QBKeyValueStorage::getValue(const std::string& key) const {
  return platform::UserDefaults::standard().object(storageKey(key));
}

void QBKeyValueStorage::setValue(const std::string& key, platform::Json value) {
  platform::UserDefaults::standard().setObject(storageKey(key), std::move(value));
}

void QBKeyValueStorage::removeValue(const std::string& key) {
  platform::UserDefaults::standard().removeObject(storageKey(key));
}

bool QBKeyValueStorage::synchronize() { return platform::UserDefaults::standard().synchronize().ok(); }

std::shared_ptr<QBKeyValueStorage> QBKeyValueStorageProvider::storageWithIdentifier(
    const std::string& identifier) {
  return std::make_shared<QBKeyValueStorage>(identifier);
}
