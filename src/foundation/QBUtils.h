#pragma once
// Small process-wide utilities. A namespace rather than a class so that higher
// layers can add their own QBUtils functions (the ones that need the
// application key or the configured user id) without this layer knowing them.
//
// Every function is synchronous, thread-safe and answers on the calling
// thread; none throws.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace QBUtils {

// The session id: one upper-case UUID created on first use and kept for the
// life of the process.
std::string UUIDForSession();
// Forgets the session id; the next UUIDForSession() creates a new one.
void resetSessionIdForTesting();

// The platform clock's wall time in milliseconds since 1970, as decimal text.
std::string timeInMilliSeconds();

// Info.plist "CFBundleDisplayName" when it is a non-empty string; else none.
std::optional<std::string> getAppName();
// Info.plist "CFBundleShortVersionString" when it is a non-empty string; else
// none. (Unlike PMEApplicationContext::getAppVersion there is no fallback to
// "CFBundleVersion".)
std::optional<std::string> getAppVersion();

// The transaction id of a reward: lower-case hexadecimal SHA-256 (64 digits)
// of timestamp + appKey + instanceName concatenated with no separator, as
// UTF-8 bytes; "" when hashing fails.
std::string transIdFromParts(std::string_view timestamp, std::string_view appKey,
                             std::string_view instanceName);

// The user id to hand to networks: the configured one when non-empty, else
// none.
std::optional<std::string> userIdForNetworks(const std::optional<std::string>& configuredUserId);

// Percent-encodes every byte except the unreserved A-Z a-z 0-9 - . _ ~
// (upper-case hex digits), for query names and values.
std::string percentEncode(std::string_view text);
// Resolves every %XX escape; "+" stays "+". None when an escape is malformed.
std::optional<std::string> percentDecode(std::string_view text);

// Whether `pattern` (RE2 syntax, linear time) matches anywhere in `text`;
// anchor with ^ and $ to match the whole text. An invalid pattern matches
// nothing (and is logged).
bool matchesPattern(std::string_view text, std::string_view pattern);

// Free space of the device's disk in MiB (bytes shifted right by 20); 0 when
// it cannot be read.
uint64_t freeDiskSpace();

// Standard user-defaults reads with a default for an absent or mistyped value
// (see QBUserDefaultsUtilities).
std::string getStringFromUserDefaults(const std::string& key, const std::string& defaultValue);
int64_t getIntegerFromUserDefaults(const std::string& key, int64_t defaultValue);
bool getBoolFromUserDefaults(const std::string& key, bool defaultValue);

}  // namespace QBUtils
