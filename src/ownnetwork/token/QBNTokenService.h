#pragma once
// The own network's bidding token: one flat dictionary of device,
// application and configuration facts, which the mediation's auction carries
// in base64 form and the controller page reads and extends.
//
//   permanent entries   gathered once, when the service is made
//   mutable entries     refreshed at every read (getRawToken, token)
//   debug entries       the user-defaults dictionary "SDK5DebugParams", at
//                       every read
//   configuration       the controller and network configurations, metadata
//                       ("metadata_" + key), consent, the page's own data
//
// Entries are only added or replaced, never removed. docs/own-network.md
// lists every key.
//
// Thread-safe: every merge and every read of the dictionary happens under
// one lock, and readers get copies, so the page's thread, start-up and the
// main queue may use the service at once. Device facts are gathered outside
// the lock. Nothing throws: an exception while gathering facts is caught and
// logged, keeping what was merged before it.
//
// Every update and read logs through PlovermarkLogManager at level 1, tag 6.
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/json.h"

struct QBNConfigurations;

class QBNTokenService {
 public:
  // The process-wide service, made (with its permanent entries) on first use.
  static QBNTokenService& sharedService();

  // Merges the object's members (a later value replaces an earlier one under
  // the same key). Nothing, or a value that is no object, changes nothing.
  void updateTokenWithData(const std::optional<platform::Json>& data);
  // The relevantKeysInConfig members of the controller configuration's JSON
  // text; an absent, empty or unparsable text (or one that is no object)
  // changes nothing.
  void updateTokenWithControllerConfigData(const std::optional<std::string>& controllerConfig);
  // "applicationKey" (when set), "applicationUserId" (when not empty), then
  // the relevantKeysInConfig members of extraParams.
  void updateTokenWithNetworkConfigData(const QBNConfigurations* configurations);
  // Each member under "metadata_" + its key.
  void updateTokenWithMetadata(const std::optional<platform::Json>& metadata);
  // "consent": whether the consent data's "gdprConsentStatus" is the text
  // "true"; consent data without "gdprConsentStatus" changes nothing.
  void updateTokenWithConsentData(const platform::Json& consentData);

  void updateTokenWithPermanentData();
  void updateTokenWithMutableData();
  void updateTokenWithDebugData();
  platform::Json permanentDataForToken() const;
  platform::Json mutableDataForToken() const;

  // Refreshes the mutable and debug entries, logs the whole dictionary and
  // answers a copy of it.
  platform::Json getRawToken();
  // getRawToken, encoded as encodedToken encodes.
  std::optional<std::string> token();
  // Compact JSON text of the dictionary as it stands (no refresh); none when
  // it cannot be serialised (a number that is not finite), which is logged.
  std::optional<std::string> getTokenAsString();
  // Standard base64 (no line breaks) of getTokenAsString's UTF-8 bytes.
  std::optional<std::string> encodedToken();

  bool shouldAppendDataFromConfigWithKey(const std::string& key) const;
  // "chinaCDN", "applicationUserGender", "applicationUserAgeGroup",
  // "SDKPluginType".
  const std::vector<std::string>& relevantKeysInConfig() const { return relevantKeysInConfig_; }

  // An empty dictionary, then the permanent entries gathered again from the
  // facts in force now.
  void resetForTesting();

 private:
  QBNTokenService();
  void merge(const platform::Json& entries);
  platform::Json snapshot() const;

  const std::vector<std::string> relevantKeysInConfig_;
  mutable std::mutex mutex_;
  platform::Json tokenData_;
};
