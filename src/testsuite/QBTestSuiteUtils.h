#pragma once
// The script text of the values the test suite hands to its page as call
// arguments. Every value becomes a literal the page's script reads back as the
// same value: texts are single-quoted script strings with every quote,
// backslash, control character and line separator escaped (a text can never
// end its literal early and inject script into the page), numbers are JSON
// numbers, booleans are 1 or 0, null is null, dictionaries and arrays inside
// an array are JSON.
//
// Class operations only; pure; any thread.
#include <string>

#include "platform/json.h"

class QBTestSuiteUtils {
 public:
  QBTestSuiteUtils() = delete;

  // The top-level arguments in order, separated by ",": a dictionary through
  // stringifyDict, an array through stringifyArray, anything else through
  // stringifyObject. "" for no arguments (or a value that is not an array).
  static std::string stringifyMethodArgs(const platform::Json& args);
  // The dictionary as JSON text (texts that are not UTF-8 have their bad
  // bytes replaced; line separators escaped).
  static std::string stringifyDict(const platform::Json& dict);
  // "[" + each element through stringifyObject, separated by "," + "]".
  static std::string stringifyArray(const platform::Json& array);
  // One value as a script literal (see above).
  static std::string stringifyObject(const platform::Json& value);
  // `text` without one trailing ",".
  static std::string removeCommaSuffix(std::string text);
};
