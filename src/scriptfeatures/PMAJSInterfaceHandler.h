#pragma once
// The generic controller-API handler: the page's configuration request
// ("getControllerConfig"), its click and leave-application notices
// ("adClicked", "adLeaveApplication") and its ad-event notices
// ("postAdEventNotification"). Made once by the publisher, which it holds
// weakly and replies through.
//
// Main queue: the dispatcher calls it where the page's messages arrive, and
// its replies are sent from there, at once (the HTTP proxy's are posted to
// the main queue). Nothing it does throws towards
// the dispatcher; a failure is a reply on the request's "fail" function, or
// silence where noted.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "ownnetwork/interfaces/QBNPublisherAgent.h"
#include "ownnetwork/interfaces/QBNScriptHandlers.h"
#include "platform/json.h"
#include "platform/net.h"
#include "scriptfeatures/http/QBHTTPRequestsDispatcher.h"

class PMADemandSource;

class PMAJSInterfaceHandler : public PMAJSInterfaceHandlerP {
 public:
  explicit PMAJSInterfaceHandler(std::weak_ptr<QBNPublisherAgent> publisherAgent);

  std::shared_ptr<QBNPublisherAgent> publisherAgent() const { return publisherAgent_.lock(); }

  // Answers "success" with the configuration object (`configuration`: its
  // JSON text), "forceCommand" = true, the tester keys of a valid user group
  // and "nativeFeatures"; or "fail" with {"errMsg": "handleGetControllerConfig
  // - no config was set"} for an empty text, or {"errorMsg":
  // "handleGetControllerConfig - failed to parse string controller config"}
  // for a text that is no JSON object. Every answer holds "forceCommand" =
  // true (it reaches a page that is not ready yet) and goes unencoded.
  void getControllerConfig(const platform::Json& params, const std::string& configuration) override;

  // Tells the demand source of "productType" and "demandSourceId" (else
  // "demandSourceName") of the click or the leave-application, with the
  // product's name. No reply, except "fail" for an unknown product name.
  void adClicked(const platform::Json& params) override;
  void adLeaveApplication(const platform::Json& params) override;

  // The HTTP proxy ("sendHttpRequest"; http/PMAJSInterfaceHandlerHTTP.cc):
  // builds the request from the page's values (each percent-decoded, as the
  // page escapes them all), answers "success" {"identifier", "status":
  // "requestStarted"}, sends it through the dispatcher and answers the
  // outcome: "success" with "responseParams", "data" and "status":
  // "responseReceived", or "fail" with "errMsg" and "status": "requestError".
  // Every reply is posted to the main queue and goes percent-encoded, never
  // decoded first (a body holding "+" or "%" reaches the page unchanged).
  void sendHTTPRequest(const platform::Json& params) override;
  // The request, or none when it cannot be made ("url" or "identifier"
  // missing or empty, "headers" no JSON object of texts, numbers or booleans).
  std::optional<platform::URLRequest> requestFromControllerParams(const platform::Json& params) const;
  // Post `params` (or {"errMsg": reason, "status": "requestError",
  // "identifier" when given}) to the main queue, which sends it to `callback`.
  void sendSuccessCallbackWithParams(const platform::Json& params, const std::optional<std::string>& callback) const;
  void sendErrorCallbackWithReason(const std::string& reason, const std::optional<std::string>& callback,
                                   const std::optional<std::string>& requestIdentifier) const;
  // The "responseReceived" reply: "identifier", "responseParams", "data"
  // ("" when none) and "status".
  static platform::Json responseDictionaryFromSerializedResponse(const platform::Json& response,
                                                                 const std::optional<std::string>& data,
                                                                 const std::optional<std::string>& requestIdentifier);
  // The body as text, or none when it is not valid UTF-8.
  static std::optional<std::string> serializeData(const std::string& data);
  // 1 "requestStarted", 2 "responseReceived", 3 "requestError", else "requestUnknown".
  static std::string convertToString(int status);

  std::shared_ptr<QBHTTPRequestsDispatcher> requestsDispatcher() const { return dispatcher_; }

  // Tells the demand source (rewarded video, interstitial, banner) or the
  // offerwall's listener of "eventName" with the "extData" object, then
  // answers "success" with "productType", "eventName" and, when the demand
  // source was found, its "demandSourceName" and "demandSourceId" (decodeFirst
  // YES); failures go to "fail" under "errMsg" (decodeFirst NO).
  void handleAdEventNotification(const platform::Json& params) override;

  // The demand source that the request names for the product `productName`;
  // none when there is none. An unknown product name is answered on the
  // request's "fail" (decodeFirst NO) and logged with `functionName`.
  std::shared_ptr<PMADemandSource> getDemandSourceWithName(const std::optional<std::string>& productName,
                                                           const platform::Json& params,
                                                           const std::string& functionName);

  // A user group counts when it is not empty and holds no "-1".
  static bool isUserGroupValid(const std::string& userGroup);
  // The configuration with "testerABGroup" and "testFriendlyName" of the
  // user group (JSON text of an object) when both are non-empty texts; the
  // configuration unchanged otherwise (logged).
  static platform::Json addUserGroupToConfig(const platform::Json& config, const std::string& userGroup);

 private:
  enum class Notice { Clicked, LeaveApplication };
  void notifyDemandSource(const platform::Json& params, Notice notice, const char* functionName);

  std::weak_ptr<QBNPublisherAgent> publisherAgent_;
  std::shared_ptr<QBHTTPRequestsDispatcher> dispatcher_;
};
