#pragma once
// The page's store overlays ("SKOverlayAPI"): "createOverlay",
// "presentOverlay", "dismissOverlay" and "removeOverlay", with their
// arguments under "functionParams" (the escaped JSON text of an object).
// Made by the publisher, with its controller manager, from system 14.0.
//
// Replies, on the request's "success" / "fail" function without page
// callbacks, percent-encoded (the values are decoded already):
//  * "createOverlay" and "removeOverlay": "success" with the decoded
//    "functionParams";
//  * "presentOverlay" and "dismissOverlay": no success reply (the page
//    follows the overlay events of QBNOverlaysListener);
//  * failures: the decoded "functionParams" plus "errMsg" (texts in the .cc);
//    a missing function name or unreadable "functionParams" are answered with
//    the received parameters instead.
// "overlayId" counts only as a non-empty text: a missing or empty id names no
// overlay.
//
// Threading: replies go at once from the calling thread (the main queue,
// where the dispatcher calls). Presenting and dismissing need the main queue:
// called on another thread, they run on a later main-queue turn and reply
// from there.
#include <memory>
#include <optional>
#include <string>

#include "ownnetwork/interfaces/QBNControllerManagerP.h"
#include "ownnetwork/interfaces/QBNScriptHandlers.h"
#include "platform/json.h"
#include "platform/result.h"

class QBNOverlayJSInterfaceHandler : public QBNJSInterfaceHandlerP {
 public:
  explicit QBNOverlayJSInterfaceHandler(const std::shared_ptr<QBNControllerManagerP>& controllerManager)
      : controllerManager_(controllerManager) {}

  std::shared_ptr<QBNControllerManagerP> controllerManager() const { return controllerManager_.lock(); }

  void invokeAPIWithJSParams(const platform::Json& params) override;

  using Callback = std::optional<std::string>;
  void createOverlay(const platform::Json& params, const Callback& success, const Callback& fail);
  void presentOverlay(const platform::Json& params, const Callback& success, const Callback& fail);
  void dismissOverlays(const platform::Json& params, const Callback& success, const Callback& fail);
  void removeOverlay(const platform::Json& params, const Callback& success, const Callback& fail);

  // "overlayId" when it is a non-empty text, else none.
  static std::optional<std::string> extractOverlayIdFromParams(const platform::Json& params);
  // The decoded "functionParams" object: an empty object when it is missing
  // or empty; an error when it does not parse, or parses to no object.
  static platform::Result<platform::Json> extractFunctionParameters(const platform::Json& request);

  void sendSuccessCallbackToController(const platform::Json& params, const Callback& success);
  void sendFailureCallbackToController(const platform::Json& params, const std::string& message, const Callback& fail);

 private:
  static void replyFailure(const std::shared_ptr<QBNControllerManagerP>& manager, const platform::Json& params,
                           const std::string& message, const Callback& fail);

  std::weak_ptr<QBNControllerManagerP> controllerManager_;
};
