#pragma once
// The controller page's older "bannerViewAPI", answered only as deprecated;
// as an ad view's delegate it relays the ad view's messages to the page
// unencoded. Made once by the publisher; main queue only. Its replies and
// relays are posted to the main queue.
#include <memory>
#include <optional>
#include <string>

#include "ownnetwork/interfaces/QBNPublisherAgent.h"
#include "ownnetwork/interfaces/QBNScriptHandlers.h"
#include "presentation/QBNAdViewDelegate.h"

class QBNAdViewJSInterfaceHandler : public QBNJSInterfaceHandlerP,
                                    public QBNAdViewDelegate,
                                    public std::enable_shared_from_this<QBNAdViewJSInterfaceHandler> {
 public:
  static std::shared_ptr<QBNAdViewJSInterfaceHandler> create(std::weak_ptr<QBNPublisherAgent> publisherAgent);

  std::shared_ptr<QBNPublisherAgent> publisherAgent() const { return publisherAgent_.lock(); }

  // Whatever the parameters: {"errMsg": "Deprecated"} to the command's "fail"
  // name (decodeFirst YES); nothing without one.
  void invokeAPIWithJSParams(const platform::Json& params) override;

  // "functionName"; the decoded "functionParams" (an empty object when it
  // does not decode).
  static std::optional<std::string> methodNameFromParams(const platform::Json& params);
  static platform::Json methodParamsFromParams(const platform::Json& params);

  // QBNAdViewDelegate: the message under its own name with its parameters
  // as they are and the callbacks they name (decodeFirst NO).
  void didReceiveMessageFromAdView(const std::string& message, const platform::Json& params) override;
  void didReceiveMessageFromAdViewWithArray(const std::string&, const platform::Json&) override {}

 private:
  explicit QBNAdViewJSInterfaceHandler(std::weak_ptr<QBNPublisherAgent> publisherAgent)
      : publisherAgent_(std::move(publisherAgent)) {}
  // Runs on the main queue, later, while the handler lives.
  void sendLater(std::string function, platform::Json parameters, std::optional<std::string> success,
                 std::optional<std::string> fail, bool decodeFirst);

  std::weak_ptr<QBNPublisherAgent> publisherAgent_;
};
