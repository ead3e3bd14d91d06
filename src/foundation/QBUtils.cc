#include "foundation/QBUtils.h"

#include <mutex>

#include <re2/re2.h>

#include "foundation/QBLoggerManager.h"
#include "foundation/QBUserDefaultsUtilities.h"
#include "platform/clock.h"
#include "platform/crypto.h"
#include "platform/device.h"
#include "platform/storage.h"

namespace QBUtils {
namespace {

struct SessionId {
  std::mutex mutex;
  std::string value;
};

SessionId& sessionId() {
  static SessionId* id = new SessionId();
  return *id;
}

std::optional<std::string> nonEmptyPlistString(const char* key) {
  auto value = platform::appInfoValue(key);
  if (!value || !value->is_string()) return std::nullopt;
  auto text = value->get<std::string>();
  if (text.empty()) return std::nullopt;
  return text;
}

}  // namespace

std::string UUIDForSession() {
  SessionId& id = sessionId();
  std::lock_guard lock(id.mutex);
  if (id.value.empty()) id.value = platform::uuidV4();
  return id.value;
}

void resetSessionIdForTesting() {
  SessionId& id = sessionId();
  std::lock_guard lock(id.mutex);
  id.value.clear();
}

std::string timeInMilliSeconds() { return std::to_string(platform::clock().wallMs()); }

std::optional<std::string> getAppName() { return nonEmptyPlistString("CFBundleDisplayName"); }

std::optional<std::string> getAppVersion() { return nonEmptyPlistString("CFBundleShortVersionString"); }

std::string transIdFromParts(std::string_view timestamp, std::string_view appKey,
                             std::string_view instanceName) {
  std::string joined;
  joined.reserve(timestamp.size() + appKey.size() + instanceName.size());
  joined.append(timestamp).append(appKey).append(instanceName);
  return platform::sha256Hex(joined);  // "" when the digest fails
}

std::optional<std::string> userIdForNetworks(const std::optional<std::string>& configuredUserId) {
  if (!configuredUserId || configuredUserId->empty()) return std::nullopt;
  return configuredUserId;
}

std::string percentEncode(std::string_view text) { return platform::percentEncode(text); }

std::optional<std::string> percentDecode(std::string_view text) {
  auto decoded = platform::percentDecode(text);
  if (!decoded) return std::nullopt;
  return std::move(decoded).value();
}

bool matchesPattern(std::string_view text, std::string_view pattern) {
  RE2::Options options;
  options.set_log_errors(false);
  RE2 re(re2::StringPiece(pattern.data(), pattern.size()), options);
  if (!re.ok()) {
    QB_LOG("invalid pattern: " + re.error(), 3, 6);
    return false;
  }
  return RE2::PartialMatch(re2::StringPiece(text.data(), text.size()), re);
}

uint64_t freeDiskSpace() { return platform::deviceFacts().facts().freeDiskBytes >> 20; }

std::string getStringFromUserDefaults(const std::string& key, const std::string& defaultValue) {
  return QBUserDefaultsUtilities::getStringFromUserDefaultsWithKey(key, defaultValue);
}

int64_t getIntegerFromUserDefaults(const std::string& key, int64_t defaultValue) {
  return QBUserDefaultsUtilities::getIntegerFromUserDefaultsWithKey(key, defaultValue);
}

bool getBoolFromUserDefaults(const std::string& key, bool defaultValue) {
  return QBUserDefaultsUtilities::getBoolFromUserDefaultsWithKey(key, defaultValue);
}

}  // namespace QBUtils
