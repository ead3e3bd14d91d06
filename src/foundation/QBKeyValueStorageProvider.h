#pragma once
// Named key-value stores inside the standard user defaults.
//
// A store keeps each value under "com.plovermark." + identifier + "." + key
// (store "mediation" holds the cached configuration; each events engine backs
// its events up in the store named by its identifier). Stores share the one
// standard user defaults of the current data root, so two stores with the same
// identifier see the same values. Synchronous, thread-safe, on the calling
// thread.
#include <memory>
#include <optional>
#include <string>

#include "platform/json.h"

class QBKeyValueStorage {
 public:
  explicit QBKeyValueStorage(std::string identifier);

  const std::string& identifier() const { return identifier_; }
  // The user-defaults key of `key` in this store.
  std::string storageKey(const std::string& key) const;

  // The value under `key`; none when absent.
  std::optional<platform::Json> getValue(const std::string& key) const;
  // Stores `value` under `key`; a null value removes the key.
  void setValue(const std::string& key, platform::Json value);
  void removeValue(const std::string& key);
  // Writes pending changes to disk; false when the write failed.
  bool synchronize();

 private:
  std::string identifier_;
};

class QBKeyValueStorageProvider {
 public:
  // "com.plovermark."
  static constexpr const char* kKeyPrefix = "com.plovermark.";

  // A store with the given identifier.
  static std::shared_ptr<QBKeyValueStorage> storageWithIdentifier(const std::string& identifier);
};
