#include "foundation/PMEApplicationContext.h"

#include "platform/storage.h"

namespace {

std::optional<std::string> nonEmptyString(const char* key) {
  auto value = platform::appInfoValue(key);
  if (!value || !value->is_string()) return std::nullopt;
  auto text = value->get<std::string>();
  if (text.empty()) return std::nullopt;
  return text;
}

std::optional<platform::Json> atsValue(const char* key) {
  auto ats = platform::appInfoValue("NSAppTransportSecurity");
  if (!ats || !ats->is_object()) return std::nullopt;
  auto it = ats->find(key);
  if (it == ats->end()) return std::nullopt;
  return *it;
}

}  // namespace

std::optional<std::string> PMEApplicationContext::getAppVersion() {
  if (auto shortVersion = nonEmptyString("CFBundleShortVersionString")) return shortVersion;
  return nonEmptyString("CFBundleVersion");
}

std::optional<platform::Json> PMEApplicationContext::getAllowsArbitraryLoadsFlagInATS() {
  return atsValue("NSAllowsArbitraryLoads");
}

std::optional<platform::Json> PMEApplicationContext::getAllowsArbitraryLoadsInWebContentFlagInATS() {
  return atsValue("NSAllowsArbitraryLoadsInWebContent");
}
