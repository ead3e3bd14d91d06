#pragma once
// The SKAdNetwork conversion value of the application, kept in the standard
// user defaults under kUserDefaultsKey so that it survives restarts. The
// stored value only ever rises.
//
// Thread-safe: a set is one read-compare-write under the object's lock.
// Answers on the calling thread.
#include <mutex>
#include <optional>

class QBConversionValue {
 public:
  static constexpr const char* kUserDefaultsKey = "com.plovermark.conversionValue";
  static constexpr int kMinConversionValue = 0;
  static constexpr int kMaxConversionValue = 63;

  // Stores `value` when it lies within 0 to 63 and is higher than the stored
  // value (or nothing is stored yet). Returns whether it was stored; a lower,
  // equal or out-of-range value changes nothing.
  bool setCurrentConversionValue(int value);
  // The stored value; none before the first one was stored.
  std::optional<int> getConversionValue() const;

 private:
  std::optional<int> readLocked() const;
  mutable std::mutex mutex_;
};
