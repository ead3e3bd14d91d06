#pragma once
// The controller page's "adViewAPI": creates, loads, messages, pauses and
// resumes, measures and removes ad-unit web views (QBNAdViewsManager), and
// relays what they report to the page. Made once by the publisher; main
// queue only.
//
// Replies go to the command's "success" name with {"adViewId"} or to its
// "fail" name with {"errMsg", "adViewId" ("" when unknown)}, decodeFirst YES.
// Ad-view messages go to the page under their own names with their
// parameters percent-encoded (encoding option 1), with the callbacks named by
// their "successMethodName" and "failMethodName".
#include <memory>
#include <optional>
#include <string>

#include "ownnetwork/interfaces/QBNPublisherAgent.h"
#include "ownnetwork/interfaces/QBNScriptHandlers.h"
#include "presentation/QBNAdViewDelegate.h"

class QBNAdUnitWebViewJSInterfaceHandler : public QBNJSInterfaceHandlerP,
                                           public QBNAdViewDelegate,
                                           public std::enable_shared_from_this<QBNAdUnitWebViewJSInterfaceHandler> {
 public:
  // initWithPublisherAgent: the publisher is held weakly.
  static std::shared_ptr<QBNAdUnitWebViewJSInterfaceHandler> create(std::weak_ptr<QBNPublisherAgent> publisherAgent);

  std::shared_ptr<QBNPublisherAgent> publisherAgent() const { return publisherAgent_.lock(); }

  // "functionName": "loadWithUrl", "sendMessage", "removeAdView",
  // "webviewAction", "handleGetViewVisibility"; anything else fails with
  // "unsupported API".
  void invokeAPIWithJSParams(const platform::Json& params) override;

  void loadUrlWithParams(const platform::Json& params);
  void sendMessageWithParams(const platform::Json& params);
  void removeAdViewWithParams(const platform::Json& params);
  void performWebViewActionWithParams(const platform::Json& params);
  void handleGetViewVisibilityWithParam(const platform::Json& params);

  // The sub-command's parameters: "functionParams" percent-decoded and parsed
  // as a JSON object; none when it is missing or does not parse to one.
  static std::optional<platform::Json> getMethodParamsDictionaryFromJsParams(const platform::Json& params);

  // QBNAdViewDelegate
  void didReceiveMessageFromAdView(const std::string& message, const platform::Json& params) override;
  void didReceiveMessageFromAdViewWithArray(const std::string&, const platform::Json&) override {}

 private:
  explicit QBNAdUnitWebViewJSInterfaceHandler(std::weak_ptr<QBNPublisherAgent> publisherAgent)
      : publisherAgent_(std::move(publisherAgent)) {}
  void sendSuccessCallbackToController(const platform::Json& params, const std::string& adViewId) const;
  void sendFailureCallbackToController(const platform::Json& params, const std::optional<std::string>& message,
                                       const std::optional<std::string>& adViewId) const;
  // The completion of a registry call: failure with the error's description,
  // else success, each with the id; `log` names the call in the log lines.
  QBNAdViewCompletion replyWith(const platform::Json& params, const std::string& adViewId, const char* log) const;

  std::weak_ptr<QBNPublisherAgent> publisherAgent_;
};
