#pragma once
// "deviceDataAPI": the kind of network connection, for the controller page.
//
// Main queue; the reply goes at once, percent-encoded and never decoded
// first. The sub-command is the request's "deviceDataFunction"; a request
// without one (one naming "functionName" instead, for instance) is ignored.
#include <memory>
#include <optional>
#include <string>

#include "ownnetwork/interfaces/QBNScriptHandlers.h"
#include "platform/json.h"

class QBNPublisherAgent;

class QBNDeviceDataJSInterfaceHandler : public QBNJSInterfaceHandlerP {
 public:
  explicit QBNDeviceDataJSInterfaceHandler(std::weak_ptr<QBNPublisherAgent> publisherAgent)
      : publisherAgent_(std::move(publisherAgent)) {}

  //  "getDeviceData": "success" {"cellularNetworkType": "wifi", the radio
  //    access technology's name on cellular, or "notReachable"}.
  //  anything else: "fail" {"errMsg": "unsupported API"}.
  void invokeAPIWithJSParams(const platform::Json& params) override;

  void getDeviceData(const platform::Json& params);
  // Sends nothing without a function name; an empty object for no parameters.
  void sendCallbackToController(const std::optional<std::string>& function,
                                const std::optional<platform::Json>& params) const;
  static std::optional<std::string> methodNameFromParams(const platform::Json& params);

 private:
  std::weak_ptr<QBNPublisherAgent> publisherAgent_;
};
