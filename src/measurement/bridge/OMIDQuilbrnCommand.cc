#include "measurement/bridge/OMIDQuilbrnCommand.h"

#include <string_view>

namespace {

void replaceAll(std::string& text, std::string_view from, std::string_view to) {
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
}

}  // namespace

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

std::string OMIDQuilbrnCommand::stringWithQuotesFromString(const std::string& text) { return "'" + text + "'"; }

std::string OMIDQuilbrnCommand::escapedString(const std::string& text) {
  std::string out = text;
  replaceAll(out, "\\", "\\\\");
  replaceAll(out, "\"", "\\\"");
  replaceAll(out, "'", "\\'");
  replaceAll(out, "\n", "\\n");
  replaceAll(out, "\r", "\\r");
  return "'" + out + "'";
}

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
