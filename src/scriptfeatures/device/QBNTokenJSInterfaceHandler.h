#pragma once
// "iabTokenAPI": the controller page feeds its data into the own network's
// bidding token ("updateToken") and reads the token back ("getToken").
//
// Main queue: the publisher calls it where the page's commands arrive; the
// replies go from there, at once, percent-encoded and never decoded first
// (token values holding "+" or "%" reach the page unchanged). A request
// without a sub-command ("functionName") is ignored.
#include <memory>
#include <optional>
#include <string>

#include "ownnetwork/interfaces/QBNScriptHandlers.h"
#include "ownnetwork/token/QBNNetworkGlobalDataWriter.h"
#include "platform/json.h"

class QBNPublisherAgent;

class QBNTokenJSInterfaceHandler : public QBNJSInterfaceHandlerP {
 public:
  explicit QBNTokenJSInterfaceHandler(std::weak_ptr<QBNPublisherAgent> publisherAgent);

  //  "updateToken": "functionParams" (escaped JSON of an object) extends the
  //    global data entry "ctgp" and the own network's token data; no reply on
  //    success, "fail" {"errMsg": why it does not read as an object} else.
  //  "getToken": "getTokenSuccess" with the mediation's token data when the
  //    controller configuration says "oneToken", else the own network's.
  //  anything else: "fail" {"errMsg": "unsupported API"}.
  void invokeAPIWithJSParams(const platform::Json& params) override;

  void updateTokenDataWithControllerData(const platform::Json& params);
  void getTokenData(const platform::Json& params);
  // Sends nothing without a function name; an empty object for no parameters.
  void sendCallbackToController(const std::optional<std::string>& function,
                                const std::optional<platform::Json>& params) const;
  static std::optional<std::string> methodNameFromParams(const platform::Json& params);

  std::shared_ptr<QBNPublisherAgent> publisherAgent() const { return publisherAgent_.lock(); }

 private:
  std::weak_ptr<QBNPublisherAgent> publisherAgent_;
  std::shared_ptr<QBNNetworkGlobalDataWriter> globalDataWriter_;
};
