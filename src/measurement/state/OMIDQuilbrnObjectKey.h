#pragma once
// The identity key of the measurement engine's dictionaries: views, windows,
// scenes and the application are keyed by the very object (its address), not
// by any notion of equal value. The key holds its object (a strong
// reference; a non-owning pointer for the process-wide application).
#include <cstddef>
#include <functional>
#include <memory>

class OMIDQuilbrnObjectKey {
 public:
  OMIDQuilbrnObjectKey() = default;
  static OMIDQuilbrnObjectKey objectKeyWithObject(std::shared_ptr<const void> object) {
    OMIDQuilbrnObjectKey key;
    key.object_ = std::move(object);
    return key;
  }

  const std::shared_ptr<const void>& object() const { return object_; }
  // The object's address.
  size_t hash() const { return std::hash<const void*>()(object_.get()); }
  // True when both keys hold the very same object (or both none).
  bool operator==(const OMIDQuilbrnObjectKey& other) const { return object_.get() == other.object_.get(); }

  struct Hash {
    size_t operator()(const OMIDQuilbrnObjectKey& key) const { return key.hash(); }
  };

 private:
  std::shared_ptr<const void> object_;
};
