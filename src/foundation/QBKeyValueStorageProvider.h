#pragma once
// Named key-value stores, each in its own user-defaults file.
//
// A store keeps each value under "com.plovermark." + identifier + "." + key
// in the user-defaults suite "com.plovermark." + identifier (file
// Library/Preferences/com.plovermark.<identifier>.json), so writing one store
// rewrites that store's file only, and a damaged file loses that store only.
// Store "mediation" holds the cached configuration; each events engine backs
// its events up in the store named by its identifier. Two stores with the same
// identifier see the same values. Keys written by an older version into the
// standard user defaults move into the store's file when it first opens.
// Synchronous, thread-safe, on the calling thread.
#include <memory>
#include <optional>
#include <string>

#include "platform/json.h"
#include "platform/storage.h"

class QBKeyValueStorage {
 public:
  explicit QBKeyValueStorage(std::string identifier);

  const std::string& identifier() const { return identifier_; }
  // The user-defaults key of `key` in this store.
  std::string storageKey(const std::string& key) const;
  // The user-defaults suite holding this store ("com.plovermark.<identifier>").
  std::string suiteName() const;

  // The value under `key`; none when absent.
  std::optional<platform::Json> getValue(const std::string& key) const;
  // Stores `value` under `key`; a null value removes the key. Flushed to the
  // disk before it returns, unless asked otherwise (see
  // platform::WriteDurability: an unflushed change outlives the process and
  // reaches the disk with synchronize()).
  void setValue(const std::string& key, platform::Json value,
                platform::WriteDurability durability = platform::WriteDurability::Flushed);
  void removeValue(const std::string& key,
                   platform::WriteDurability durability = platform::WriteDurability::Flushed);
  // Writes pending changes to disk and flushes unflushed ones; false when
  // that failed.
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

  // From the first call on, every user-defaults store found damaged when it
  // opens (and any found before) is logged at level 3 with tag INTERNAL:
  // "user defaults store <file> was corrupt (<reason>) - set aside as
  // <file>.corrupt, the store starts empty". Stores and the user-defaults
  // utilities call it; calling it again does nothing.
  static void logCorruptStores();
};
