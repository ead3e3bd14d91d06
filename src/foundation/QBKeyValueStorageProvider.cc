#include "foundation/QBKeyValueStorageProvider.h"

#include <mutex>

#include "foundation/QBLoggerManager.h"
#include "platform/storage.h"

namespace {
constexpr int kTagInternal = 6;
}  // namespace

QBKeyValueStorage::QBKeyValueStorage(std::string identifier) : identifier_(std::move(identifier)) {
  QBKeyValueStorageProvider::logCorruptStores();
}

std::string QBKeyValueStorage::storageKey(const std::string& key) const {
  return QBKeyValueStorageProvider::kKeyPrefix + identifier_ + "." + key;
}

std::string QBKeyValueStorage::suiteName() const { return QBKeyValueStorageProvider::kKeyPrefix + identifier_; }

std::optional<platform::Json> QBKeyValueStorage::getValue(const std::string& key) const {
  return platform::UserDefaults::suite(suiteName()).object(storageKey(key));
}

void QBKeyValueStorage::setValue(const std::string& key, platform::Json value, platform::WriteDurability durability) {
  platform::UserDefaults::suite(suiteName()).setObject(storageKey(key), std::move(value), durability);
}

void QBKeyValueStorage::removeValue(const std::string& key, platform::WriteDurability durability) {
  platform::UserDefaults::suite(suiteName()).removeObject(storageKey(key), durability);
}

bool QBKeyValueStorage::synchronize() { return platform::UserDefaults::suite(suiteName()).synchronize().ok(); }

std::shared_ptr<QBKeyValueStorage> QBKeyValueStorageProvider::storageWithIdentifier(
    const std::string& identifier) {
  return std::make_shared<QBKeyValueStorage>(identifier);
}

void QBKeyValueStorageProvider::logCorruptStores() {
  static std::once_flag once;
  std::call_once(once, [] {
    platform::setCorruptStoreHandler([](const platform::CorruptStoreReport& report) {
      QBLoggerManager::sharedInstance().log("user defaults store " + report.path + " was corrupt (" + report.reason +
                                                ") - set aside as " + report.path +
                                                ".corrupt, the store starts empty",
                                            3, kTagInternal);
    });
  });
}
