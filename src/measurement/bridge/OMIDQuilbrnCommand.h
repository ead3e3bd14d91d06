#pragma once
// The command scripts sent to the measurement script: each calls one method of
// the script-side object `omidBridge` and does nothing while that object is
// not defined:
//   (function(){if(this.omidBridge!==undefined){this.omidBridge.NAME(ARGS)}})()
// ARGS are already encoded texts, joined by "," (see the encoders below).
#include <optional>
#include <string>
#include <vector>

#include "measurement/session/OMIDQuilbrnTypes.h"

class OMIDQuilbrnCommand {
 public:
  // The command script; the argument list ends at the first missing argument.
  static std::string commandWithName(const std::string& name,
                                     const std::vector<std::optional<std::string>>& arguments = {});
  // "error" with the quoted error type text and the escaped message.
  static std::string errorCommandWithType(OMIDQuilbrnErrorType type, const std::string& errorMessage);

  // 'text': the single-quoted script string literal of the text
  // (platform::scriptStringLiteral), for identifiers, fixed words and event
  // names. They are written as they stand; anything else in them (a quote, a
  // line break) is escaped, so no text ever ends the literal early.
  static std::string stringWithQuotesFromString(const std::string& text);
  // The same literal, for any text (error messages): backslash, both quotes,
  // line feed, carriage return and the other control characters escaped.
  static std::string escapedString(const std::string& text);
  // The arguments joined by ","; the "," only after a non-empty text.
  static std::string stringFromArguments(const std::vector<std::string>& arguments);
  // "video" for 2, "generic" for any other type.
  static std::string getStringError(OMIDQuilbrnErrorType type);
};
