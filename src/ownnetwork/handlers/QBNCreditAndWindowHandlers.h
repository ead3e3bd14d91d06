#pragma once
// The controller page's commands around a shown ad: "adCredited" (a reward or
// offerwall credits), "onAdWindowsClosed", "setWebViewHidden" and
// "displayWebView". The publisher owns one and routes the commands to it.
//
// Requests are the flat dictionaries of the commands' queries (texts as they
// stood in the URL); "success" and "fail" name the page functions of the
// replies. Main queue; replies go through the publisher's controller manager.
#include <memory>
#include <optional>
#include <string>

#include "platform/json.h"

class QBNPublisherHandlerContext;

// The user-defaults key of the page's own user data: a percent-escaped JSON
// object keyed by application key, then by user id.
inline constexpr char kPMAUserDataKey[] = "pmaUserData";

class QBNCreditAndWindowHandlers {
 public:
  explicit QBNCreditAndWindowHandlers(std::weak_ptr<QBNPublisherHandlerContext> publisher);

  // "adCredited". Offerwall credits ("productType" "OfferWall") are verified
  // first: "signature" must be the MD5 text of the integer value of "total"
  // (as a 32-bit decimal), the offerwall's application key and its user id,
  // joined. A verified credit ("credits", "totalCredits" from "total",
  // "totalCreditsFlag") goes to the offerwall delegate; when it accepts it,
  // the credit's "timestamp" is written into the page's user data and the
  // page is told (sendAdCreditedVerificationSuccess). Any other signature, or
  // an offerwall without application key or user id, answers "fail" with
  // {"errorMsg": "Signature mismatch"} (decoded first). Other products: a
  // rewarded demand source (by its ad instance, or "productType"
  // "RewardedVideo") hears of {"credits"} through the responder; an
  // unconvertible product answers "fail" with {"errMsg"} (decoded first).
  void handleAdCredited(const platform::Json& request);
  // Sets "timestamp" in the user entry of the offerwall's application key and
  // user id inside "pmaUserData", keeping every other member, and calls
  // `success` with no parameters; calls `fail` with {"errorMsg": the parse
  // error, or "missing entry in userDefaults"} when there is no such entry
  // (or nothing stored), or with "missing timestamp" without a time stamp.
  // Decoded first.
  void sendAdCreditedVerificationSuccess(const std::optional<std::string>& success,
                                         const std::optional<std::string>& fail,
                                         const std::optional<std::string>& timeStamp);
  // "onAdWindowsClosed": the offerwall delegate's pmaOfferWallDidClose, or
  // the closed callback of the interstitial or rewarded-video demand source;
  // nothing for a banner. An unconvertible product answers "fail" with
  // {"errMsg"} (not decoded).
  void handleAdWindowsClosed(const platform::Json& request);
  // "setWebViewHidden": hides or shows the controller web view by "hidden".
  void handleSetWebViewHidden(const platform::Json& request);
  // "displayWebView": the application-orientation override first, then the
  // hybrid split view ("hybridView" true: shown for "display" true, hidden for
  // false; both need "productType" and "display") or the product presenter's
  // visibility handling, which answers the page itself.
  void handleDisplayWebViewWithparameters(const platform::Json& request);

  // The publisher's closing of the secondary web view (`isSecondaryWebview`:
  // it moves to the front and tells the page it closes) or of the hybrid
  // split view (when the request's "hybridView" is true).
  void closeWebViewIsSecondaryWebview(bool isSecondaryWebview, const platform::Json& request);

 private:
  void handleOfferWallCredit(const platform::Json& request);

  std::weak_ptr<QBNPublisherHandlerContext> publisher_;
};
