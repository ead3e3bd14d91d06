#pragma once
// Thread-safe dictionary and set. Reads run side by side and answer at once;
// writes are exclusive. Every call may come from any thread, and none calls
// out of the collection (values whose destructors do work are released after
// the lock is dropped).
#include <algorithm>
#include <cstddef>
#include <functional>
#include <mutex>
#include <optional>
#include <shared_mutex>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include <nlohmann/json_fwd.hpp>

namespace platform {
using Json = nlohmann::ordered_json;
}

// Dictionary from K to V. The JSON-valued form (the default arguments) needs
// platform/json.h where it is used.
template <class K = std::string, class V = platform::Json, class Hash = std::hash<K>,
          class KeyEqual = std::equal_to<K>>
class QBConcurrentMutableDictionary {
 public:
  // A copy of the value under `key`; none when absent.
  std::optional<V> objectForKey(const K& key) const {
    std::shared_lock lock(mutex_);
    auto it = map_.find(key);
    if (it == map_.end()) return std::nullopt;
    return it->second;
  }

  // Stores `value` under a copy of `key`, replacing any earlier value.
  void setObject(V value, K key) {
    std::optional<V> replaced;
    {
      std::unique_lock lock(mutex_);
      auto [it, inserted] = map_.try_emplace(std::move(key), std::move(value));
      if (!inserted) {
        replaced.emplace(std::move(it->second));
        it->second = std::move(value);
      }
    }
  }

  void removeObjectForKey(const K& key) {
    std::optional<V> removed;
    {
      std::unique_lock lock(mutex_);
      auto it = map_.find(key);
      if (it == map_.end()) return;
      removed.emplace(std::move(it->second));
      map_.erase(it);
    }
  }

  void removeAllObjects() {
    std::unordered_map<K, V, Hash, KeyEqual> removed;
    {
      std::unique_lock lock(mutex_);
      removed.swap(map_);
    }
  }

  // Snapshots, in no particular order.
  std::vector<K> allKeys() const {
    std::shared_lock lock(mutex_);
    std::vector<K> keys;
    keys.reserve(map_.size());
    for (const auto& entry : map_) keys.push_back(entry.first);
    return keys;
  }
  std::vector<V> allValues() const {
    std::shared_lock lock(mutex_);
    std::vector<V> values;
    values.reserve(map_.size());
    for (const auto& entry : map_) values.push_back(entry.second);
    return values;
  }

  size_t count() const {
    std::shared_lock lock(mutex_);
    return map_.size();
  }

 private:
  mutable std::shared_mutex mutex_;
  std::unordered_map<K, V, Hash, KeyEqual> map_;
};

// The dictionary of JSON values by string key.
using QBConcurrentMutableJsonDictionary = QBConcurrentMutableDictionary<>;

// Set of T (values or std::shared_ptr members, compared by identity). Members
// keep the order in which they were first added, so listeners held in a set
// are told in the order they registered.
template <class T, class Hash = std::hash<T>, class KeyEqual = std::equal_to<T>>
class QBConcurrentMutableSet {
 public:
  // Adds `object`; false when it was already a member.
  bool addObject(T object) {
    std::unique_lock lock(mutex_);
    if (!members_.insert(object).second) return false;
    order_.push_back(std::move(object));
    return true;
  }

  // Removes `object`; false when it was not a member.
  bool removeObject(const T& object) {
    std::optional<T> removed;
    {
      std::unique_lock lock(mutex_);
      auto it = members_.find(object);
      if (it == members_.end()) return false;
      members_.erase(it);
      auto pos = std::find_if(order_.begin(), order_.end(), [&](const T& m) { return KeyEqual{}(m, object); });
      removed.emplace(std::move(*pos));
      order_.erase(pos);
    }
    return true;
  }

  bool containsObject(const T& object) const {
    std::shared_lock lock(mutex_);
    return members_.count(object) != 0;
  }

  // A snapshot of the members, in the order they were added.
  std::vector<T> allObjects() const {
    std::shared_lock lock(mutex_);
    return order_;
  }

  size_t count() const {
    std::shared_lock lock(mutex_);
    return order_.size();
  }

  void removeAllObjects() {
    std::unordered_set<T, Hash, KeyEqual> members;
    std::vector<T> order;
    {
      std::unique_lock lock(mutex_);
      members.swap(members_);
      order.swap(order_);
    }
  }

 private:
  mutable std::shared_mutex mutex_;
  std::unordered_set<T, Hash, KeyEqual> members_;
  std::vector<T> order_;
};
