#pragma once
// The page's ad impressions ("SKAdImpressionAPI"): "startImpression" and
// "endImpression" with the impression's attribution data under
// "impressionData" (the escaped JSON text of an object). Made by the
// publisher, with its controller manager, only from system 14.5 and when the
// class "SKAdImpression" exists.
//
// Replies, on the request's "success" / "fail" function without page
// callbacks:
//  * success: the received parameters as they came (decoded, then encoded);
//  * failure: the received parameters plus "errMsg" (the error's text, or
//    "SKAdImpression - missing error message") and "errCode" (98 for the
//    feature's own errors, the network's code for its errors); the page's
//    values go decoded, the whole percent-encoded, so native texts arrive as
//    they are.
// Silence for a missing "functionName", an unknown sub-command and a system
// whose network lacks the impression calls.
//
// Threading: invokeAPIWithJSParams may be called on any thread and returns at
// once; the command runs on the service's serial queue, after every command
// received before it, and replies from there.
#include <functional>
#include <memory>
#include <optional>

#include "ownnetwork/interfaces/QBNControllerManagerP.h"
#include "ownnetwork/interfaces/QBNScriptHandlers.h"
#include "platform/json.h"
#include "platform/result.h"
#include "scriptfeatures/storekit/QBNAdImpressionService.h"

class QBNAdImpressionJSInterfaceHandler : public QBNJSInterfaceHandlerP,
                                          public std::enable_shared_from_this<QBNAdImpressionJSInterfaceHandler> {
 public:
  // Keeps the controller manager weakly and makes the service.
  explicit QBNAdImpressionJSInterfaceHandler(const std::shared_ptr<QBNControllerManagerP>& controllerManager);

  std::shared_ptr<QBNControllerManagerP> controllerManager() const { return controllerManager_.lock(); }
  const std::shared_ptr<QBNAdImpressionService>& adImpressionService() const { return adImpressionService_; }

  void invokeAPIWithJSParams(const platform::Json& params) override;

  // The decoded "impressionData" object; none after replying the failure
  // ("missing impressionData", the parse error's text or "unable to parse
  // imperssionData dictionary", "impressionData is not a JSON object").
  std::optional<platform::Json> extractImpressionData(const platform::Json& params);
  // The service's start / end, with anything they throw turned into the
  // feature's error ("<type>: <reason>").
  void startImpressionWithImpressionData(const platform::Json& data, QBNAdImpressionService::Completion completion);
  void endImpressionWithImpressionData(const platform::Json& data, QBNAdImpressionService::Completion completion);
  void handleImpressionCompletionWithJSParams(const platform::Json& params,
                                              const std::optional<platform::Error>& error);
  void sendSuccessCallbackToController(const platform::Json& params);
  void sendFailureCallbackToController(const platform::Json& params, const platform::Error& error);

  // Runs on the service's queue right before each start's work; widens the
  // window in which a start and a later end could overlap.
  void setBeforeStartForTesting(std::function<void()> hook) { beforeStartForTesting_ = std::move(hook); }

 private:
  void run(const platform::Json& params);

  std::weak_ptr<QBNControllerManagerP> controllerManager_;
  std::shared_ptr<QBNAdImpressionService> adImpressionService_;
  std::function<void()> beforeStartForTesting_;
};
