#pragma once
// The store's attribution of ad impressions: an impression's description
// (SKAdImpression) and the network calls that start and end it (SKAdNetwork).
// Both classes are found by name in the class registry, which holds them (and
// "SKOverlay") from start-up; a host or test removes a name to stand for a
// system without the class. What the calls answer, after how long and on
// which thread is set through StoreKitControl (storekit_control.h), which also
// records every call.
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/json.h"
#include "platform/result.h"

namespace platform {

class ClassRegistry;

// Errors the network reports (SKANError), with the platform's codes.
inline constexpr char kSKANErrorDomain[] = "SKANErrorDomain";
namespace SKANError {
constexpr int ImpressionMissingRequiredValue = 0;
constexpr int Unsupported = 1;
constexpr int AdNetworkIdMissing = 2;
constexpr int MismatchedSourceAppId = 3;
constexpr int ImpressionNotFound = 4;
constexpr int InvalidCampaignId = 5;
constexpr int Unknown = 10;
}  // namespace SKANError

// The description of one impression. Numbers are JSON numbers (integer or
// floating), texts are texts. Any thread, one at a time.
class SKAdImpression {
 public:
  SKAdImpression() = default;
  virtual ~SKAdImpression() = default;

  std::optional<Json> sourceAppStoreItemIdentifier() const { return value("sourceAppStoreItemIdentifier"); }
  std::optional<Json> advertisedAppStoreItemIdentifier() const { return value("advertisedAppStoreItemIdentifier"); }
  std::optional<Json> sourceIdentifier() const { return value("sourceIdentifier"); }
  std::optional<Json> adCampaignIdentifier() const { return value("adCampaignIdentifier"); }
  std::optional<Json> timestamp() const { return value("timestamp"); }
  std::optional<std::string> adNetworkIdentifier() const { return text("adNetworkIdentifier"); }
  std::optional<std::string> version() const { return text("version"); }
  std::optional<std::string> signature() const { return text("signature"); }
  std::optional<std::string> adImpressionIdentifier() const { return text("adImpressionIdentifier"); }
  std::optional<std::string> adType() const { return text("adType"); }
  std::optional<std::string> adDescription() const { return text("adDescription"); }
  std::optional<std::string> adPurchaserName() const { return text("adPurchaserName"); }

  // The setters, by selector name ("setSourceAppStoreItemIdentifier:"), as
  // run-time lookup reaches them. Whether the object answers a selector on
  // the running system: every setter of a property, except
  // "setSourceIdentifier:" below system 16.1.
  virtual bool respondsToSelector(const std::string& selector) const;
  // Sets the property of a setter the object answers, when the value has the
  // property's type (a number or a text); false otherwise, nothing changed.
  bool performSetter(const std::string& selector, const Json& value);

  // The properties set, in the order of their first setting.
  const Json& properties() const { return properties_; }
  // "<SKAdImpression: {...}>" with the properties as JSON.
  std::string description() const;

 private:
  std::optional<Json> value(const char* property) const;
  std::optional<std::string> text(const char* property) const;

  Json properties_ = Json::object();
};

// Called once with the network's error, or none on success.
using SKAdNetworkCompletion = std::function<void(std::optional<Error> error)>;

// The network's impression calls (class operations).
class SKAdNetwork {
 public:
  // Whether the class answers "startImpression:completionHandler:" and
  // "endImpression:completionHandler:": from system 14.5.
  static bool respondsToSelector(const std::string& selector);

  // Any thread. The call is recorded at once; the completion runs exactly
  // once, later, as StoreKitControl's impression answer says (by default at
  // once on a global queue, without error), never inline unless the answer
  // asks for it. Ending an impression that was not started, or was ended
  // already, fails with SKANError::ImpressionNotFound. A control set to throw
  // makes the next call throw std::invalid_argument instead (nothing
  // recorded). A StoreKitControl reset drops unanswered completions.
  static void startImpression(const std::shared_ptr<SKAdImpression>& impression, SKAdNetworkCompletion completion);
  static void endImpression(const std::shared_ptr<SKAdImpression>& impression, SKAdNetworkCompletion completion);
};

// Registers "SKAdImpression", "SKAdNetwork" and "SKOverlay" in `registry`:
// what the system offers at start-up (the registry does it when first used
// and after each reset).
void registerStoreKitClasses(ClassRegistry& registry);

}  // namespace platform
