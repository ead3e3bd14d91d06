#pragma once
// Typed access to the standard user defaults (platform::UserDefaults::
// standard() of the current data root), under the keys exactly as given.
//
// Reads give the default when the key is absent or holds another type; writes
// go through to the store's file at once. Synchronous, thread-safe, on the
// calling thread.
#include <cstdint>
#include <optional>
#include <string>

#include "platform/json.h"

class QBUserDefaultsUtilities {
 public:
  // A string value, else the default.
  static std::string getStringFromUserDefaultsWithKey(const std::string& key,
                                                      const std::string& defaultValue);
  static void saveStringToUserDefaultsWithKey(const std::string& key, const std::string& value);

  // A number (a floating one truncated toward zero), else the default.
  static int64_t getIntegerFromUserDefaultsWithKey(const std::string& key, int64_t defaultValue);
  static void saveIntegerToUserDefaultsWithKey(const std::string& key, int64_t value);

  // A boolean, or a number (true when non-zero), else the default.
  static bool getBoolFromUserDefaultsWithKey(const std::string& key, bool defaultValue);
  static void saveBoolToUserDefaultsWithKey(const std::string& key, bool value);

  // Any value; none when absent.
  static std::optional<platform::Json> getObjectFromUserDefaultsWithKey(const std::string& key);
  // A null value removes the key.
  static void saveObjectToUserDefaultsWithKey(const std::string& key, platform::Json value);
  static void removeObjectFromUserDefaultsWithKey(const std::string& key);
};
