#include "measurement/bridge/OMIDQuilbrnCommand.h"

#include "platform/script/script_literal.h"

std::string OMIDQuilbrnCommand::commandWithName(const std::string& name,
                                                const std::vector<std::optional<std::string>>& arguments) {
  std::vector<std::string> given;
  for (const auto& argument : arguments) {
    if (!argument) break;
    given.push_back(*argument);
  }
  return "(function(){if(this.omidBridge!==undefined){this.omidBridge." + name + "(" + stringFromArguments(given) +
         ")}})()";
}

std::string OMIDQuilbrnCommand::errorCommandWithType(OMIDQuilbrnErrorType type, const std::string& errorMessage) {
  return commandWithName("error", {stringWithQuotesFromString(getStringError(type)), escapedString(errorMessage)});
}

std::string OMIDQuilbrnCommand::stringWithQuotesFromString(const std::string& text) {
  return platform::scriptStringLiteral(text);
}

std::string OMIDQuilbrnCommand::escapedString(const std::string& text) { return platform::scriptStringLiteral(text); }

std::string OMIDQuilbrnCommand::stringFromArguments(const std::vector<std::string>& arguments) {
  std::string out;
  for (const auto& argument : arguments) {
    if (!out.empty()) out += ",";
    out += argument;
  }
  return out;
}

std::string OMIDQuilbrnCommand::getStringError(OMIDQuilbrnErrorType type) {
  return type == OMIDQuilbrnErrorTypeVideo ? "video" : "generic";
}
