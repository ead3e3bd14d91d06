#include "core/QBConversionValue.h"

#include "foundation/QBLoggerManager.h"
#include "foundation/QBUserDefaultsUtilities.h"

std::optional<int> QBConversionValue::readLocked() const {
  const auto stored = QBUserDefaultsUtilities::getObjectFromUserDefaultsWithKey(kUserDefaultsKey);
  if (!stored || !stored->is_number_integer()) return std::nullopt;
  const int64_t v = stored->get<int64_t>();
  if (v < kMinConversionValue || v > kMaxConversionValue) return std::nullopt;
  return static_cast<int>(v);
}

bool QBConversionValue::setCurrentConversionValue(int value) {
  if (value < kMinConversionValue || value > kMaxConversionValue) {
    QB_LOG("conversion value " + std::to_string(value) + " is out of range", 3, 6);
    return false;
  }
  bool stored = false;
  std::optional<int> previous;
  {
    std::lock_guard lock(mutex_);
    previous = readLocked();
    if (!previous || value > *previous) {
      QBUserDefaultsUtilities::saveIntegerToUserDefaultsWithKey(kUserDefaultsKey, value);
      stored = true;
    }
  }
  if (stored) {
    QB_LOG("conversion value set to " + std::to_string(value), 0, 6);
  } else {
    QB_LOG("conversion value " + std::to_string(value) + " not stored, current value is " +
               std::to_string(*previous),
           0, 6);
  }
  return stored;
}

std::optional<int> QBConversionValue::getConversionValue() const {
  std::lock_guard lock(mutex_);
  return readLocked();
}
