#pragma once
// The controller page's small request/answer commands about facts kept on
// the native side: orientation, device volume, a product's application info
// and demand-source state, per-product unique user ids and the page's own
// key/value user data in the standard user defaults, background colours and
// file access of the controller web view. The publisher owns one and routes
// the commands to it.
//
// Requests are the flat dictionaries of the commands' queries; "success" and
// "fail" name the page functions of the replies. Main queue; replies go
// through the publisher's controller manager.
//
// User defaults: the page's unique ids live under "userUniqueIdRV",
// "userUniqueIdIS" and "userUniqueIdOW". The page's free keys ("getUserData",
// "setUserData") live under kQBNPageUserDataPrefix + key, so that a page can
// never read or replace the application's own settings - except the own
// network's keys (kPMAUserDataKey, the unique ids and the product identity
// keys of the file handlers), which keep their plain names.
#include <memory>
#include <optional>
#include <string>

#include "platform/json.h"

class QBNPublisherAgent;
class QBNPublisherHandlerContext;

inline constexpr char kQBNPageUserDataPrefix[] = "com.plovermark.pageUserData.";

class QBNInfoHandlers {
 public:
  explicit QBNInfoHandlers(std::weak_ptr<QBNPublisherHandlerContext> publisher);

  // "getOrientation": "success" with {"orientation"}: "portrait" for the
  // status bar's unknown, portrait and upside-down orientations, "landscape"
  // for the two landscape ones (decoded first).
  void handleGetOrientation(const platform::Json& request);
  // "getAppOrientationData": "success" with the application's orientation
  // data, asked with the native session's app-delegate flag (decoded first).
  void handleGetAppOrientationData(const platform::Json& request);
  // "setWebviewBackgroundColor": the percent-decoded hexadecimal "color"
  // ("transparent" is "#00000000") becomes the background of the ad view of
  // "adViewId" (nothing when no such ad view is registered), or without one
  // of the controller web view. No reply.
  void handleSetBackgroundColor(const platform::Json& request);
  // "setUserUniqueId": stores "uniqueId" (none removes it) under the
  // product's unique-id key and answers "success" with {"productType"}
  // (decoded first). A product without a unique id ("Banner", unknown
  // names) answers "fail" with {"errMsg"} and stores nothing.
  void handleSetUserUniqueId(const platform::Json& request);
  // "getUserUniqueId": "success" with {"userUniqueId" ("" when none, or for
  // a product without one), "productType"} (decoded first).
  void handleGetUserUniqueId(const platform::Json& request);
  // "getDeviceVolume": "success" with {"deviceVolume"} (not decoded).
  void handleGetDeviceVolume(const platform::Json& request);
  // "setAllowFileAccessFromFileURLs": the controller web view's file access
  // by "allowFileAccess". No reply.
  void handleAllowFileAccessFromFileURLs(const platform::Json& request);
  // "getDemandSourceState": "success" with {"demandSourceName",
  // "demandSourceId", "productType", "state"}, or "fail" with {"errMsg"}:
  // "missing demand source name and demand source id", the product
  // conversion's error, "demand source is not exist" (not decoded).
  void handleGetDemandSourceState(const platform::Json& request);
  // "getApplicationInfo": "success" with "productType", the product's
  // "applicationKey" and "applicationUserId" (each when known) and, when
  // the request names a demand source, its "demandSourceName",
  // "demandSourceId" and extra parameters; for the offerwall its additional
  // parameters instead. An unconvertible product: "fail" with {"errMsg"}.
  // Not decoded.
  void handleGetApplicationInfo(const platform::Json& request);
  // "getUserData": "success" with {key: the stored value, or "{}"} (decoded
  // first); without "key", "fail" with {"errMsg": "missing key"}.
  void handleGetUserData(const platform::Json& request);
  // "setUserData": stores "value" under "key" and answers "success" with
  // {"key", "value"} (decoded first); without either, "fail" with no
  // parameters (not decoded).
  void handleSetUserDate(const platform::Json& request);

  // Calls `callbackName` with {"errMsg": message}, not decoded.
  static void sendFailCallbackToControllerWithErrorMsg(const std::shared_ptr<QBNPublisherAgent>& publisher,
                                                       const std::string& message,
                                                       const std::optional<std::string>& callbackName);

  // "userUniqueIdRV", "userUniqueIdIS", "userUniqueIdOW" for "RewardedVideo",
  // "Interstitial", "OfferWall"; none for any other product name.
  static std::optional<std::string> userUniqueIdKey(const std::optional<std::string>& productType);
  // The user-defaults key under which the page's key lives.
  static std::string userDefaultsKeyForPageKey(const std::string& key);

 private:
  std::weak_ptr<QBNPublisherHandlerContext> publisher_;
};
