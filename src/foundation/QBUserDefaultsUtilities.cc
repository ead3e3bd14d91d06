#include "foundation/QBUserDefaultsUtilities.h"

#include <cmath>
#include <limits>

#include "foundation/QBKeyValueStorageProvider.h"
#include "platform/storage.h"

namespace {
platform::UserDefaults& defaults() {
  QBKeyValueStorageProvider::logCorruptStores();
  return platform::UserDefaults::standard();
}
}  // namespace

std::string QBUserDefaultsUtilities::getStringFromUserDefaultsWithKey(const std::string& key,
                                                                      const std::string& defaultValue) {
  auto value = defaults().object(key);
  if (!value || !value->is_string()) return defaultValue;
  return value->get<std::string>();
}

void QBUserDefaultsUtilities::saveStringToUserDefaultsWithKey(const std::string& key,
                                                              const std::string& value) {
  defaults().setString(key, value);
}

int64_t QBUserDefaultsUtilities::getIntegerFromUserDefaultsWithKey(const std::string& key,
                                                                   int64_t defaultValue) {
  auto value = defaults().object(key);
  if (!value) return defaultValue;
  if (value->is_number_integer()) {
    if (value->is_number_unsigned() &&
        value->get<uint64_t>() > static_cast<uint64_t>(std::numeric_limits<int64_t>::max())) {
      return defaultValue;
    }
    return value->get<int64_t>();
  }
  if (value->is_number_float()) {
    const double d = value->get<double>();
    // Outside int64 (or NaN) the conversion would be undefined.
    if (!(d > -9.2e18 && d < 9.2e18)) return defaultValue;
    return static_cast<int64_t>(std::trunc(d));
  }
  return defaultValue;
}

void QBUserDefaultsUtilities::saveIntegerToUserDefaultsWithKey(const std::string& key, int64_t value) {
  defaults().setInteger(key, value);
}

bool QBUserDefaultsUtilities::getBoolFromUserDefaultsWithKey(const std::string& key, bool defaultValue) {
  auto value = defaults().object(key);
  if (!value) return defaultValue;
  if (value->is_boolean()) return value->get<bool>();
  if (value->is_number()) return value->get<double>() != 0;
  return defaultValue;
}

void QBUserDefaultsUtilities::saveBoolToUserDefaultsWithKey(const std::string& key, bool value) {
  defaults().setBool(key, value);
}

std::optional<platform::Json> QBUserDefaultsUtilities::getObjectFromUserDefaultsWithKey(
    const std::string& key) {
  return defaults().object(key);
}

void QBUserDefaultsUtilities::saveObjectToUserDefaultsWithKey(const std::string& key,
                                                              platform::Json value) {
  defaults().setObject(key, std::move(value));
}

void QBUserDefaultsUtilities::removeObjectFromUserDefaultsWithKey(const std::string& key) {
  defaults().removeObject(key);
}
