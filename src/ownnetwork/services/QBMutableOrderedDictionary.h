#pragma once
// A dictionary from text keys to shared objects that remembers the order in
// which keys were first added.
//
// Thread-safe: every call takes the dictionary's lock for its own duration
// only, and enumeration works on snapshots (allKeys, allObjects), so readers
// on one queue and writers on another never see a key without its value.
// Values are released outside the lock.
#include <algorithm>
#include <utility>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

template <class V>
class QBMutableOrderedDictionary {
 public:
  using Value = std::shared_ptr<V>;

  // The value stored under `key`, or null.
  Value objectForKey(const std::string& key) const {
    std::lock_guard lock(mutex_);
    auto it = dictionary_.find(key);
    return it == dictionary_.end() ? nullptr : it->second;
  }

  // Stores `value` under `key`: a new key goes to the end of the order, a
  // replaced one keeps its place. A null value is ignored.
  void setObject(Value value, const std::string& key) {
    if (!value) return;
    Value replaced;
    std::lock_guard lock(mutex_);
    auto [it, inserted] = dictionary_.try_emplace(key, nullptr);
    if (inserted) keys_.push_back(key);
    replaced = std::exchange(it->second, std::move(value));
  }

  // The keys, in the order they were first added.
  std::vector<std::string> allKeys() const {
    std::lock_guard lock(mutex_);
    return keys_;
  }

  // The values, in the order of their keys.
  std::vector<Value> allObjects() const {
    std::lock_guard lock(mutex_);
    std::vector<Value> values;
    values.reserve(keys_.size());
    for (const auto& key : keys_) values.push_back(dictionary_.at(key));
    return values;
  }

  // Removes `key` and its value (nothing for an unknown key).
  void removeObjectForKey(const std::string& key) {
    Value removed;
    std::lock_guard lock(mutex_);
    auto it = dictionary_.find(key);
    if (it == dictionary_.end()) return;
    removed = std::move(it->second);
    dictionary_.erase(it);
    std::erase(keys_, key);
  }

  size_t count() const {
    std::lock_guard lock(mutex_);
    return keys_.size();
  }

  void removeAllObjectsForTesting() {
    std::unordered_map<std::string, Value> dropped;
    std::lock_guard lock(mutex_);
    dropped.swap(dictionary_);
    keys_.clear();
  }

 private:
  mutable std::mutex mutex_;
  std::vector<std::string> keys_;
  std::unordered_map<std::string, Value> dictionary_;
};
