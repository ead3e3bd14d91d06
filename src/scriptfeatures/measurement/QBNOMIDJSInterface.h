#pragma once
// The page's measurement command ("omidAPI"): "activate", "startSession",
// "impressionOccurred", "finishSession" and "getOmidData", with the
// sub-command under "omidFunction" and its parameters under "omidParams" (the
// escaped JSON text of one object). Made by the publisher on the first such
// command; the manager does the work.
//
// Replies, on the request's "success" / "fail" page function without page
// callbacks, each string value percent-encoded (texts the native side made or
// read decoded):
//  * "activate" and "getOmidData": success with the OMID data;
//  * "startSession", "impressionOccurred", "finishSession": success
//    {"adViewId"}, failure {"errMsg", "adViewId"} (the measurement SDK's error
//    texts unchanged);
//  * an unknown sub-command: failure {"errMsg", "adViewId" when given};
//  * no "omidFunction": nothing.
// Each request is answered on its own callbacks, also while another request
// of the same sub-command is under way. A missing or "" function name
// suppresses that answer; the operation still runs.
//
// Threading: requests come on the publisher's command thread; session work
// runs on the main queue, and its answers are sent from there.
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "ownnetwork/interfaces/QBNScriptHandlers.h"
#include "ownnetwork/services/QBNOMIDManager.h"
#include "platform/json.h"

class QBNPublisherAgent;

class QBNOMIDJSInterface : public QBNOMIDJSInterfaceP,
                           public QBNOMIDManagerDelegate,
                           public std::enable_shared_from_this<QBNOMIDJSInterface> {
 public:
  // Becomes the manager's delegate (the handler made last hears results that
  // no request carries).
  static std::shared_ptr<QBNOMIDJSInterface> initWithPublisherAgent(std::weak_ptr<QBNPublisherAgent> publisherAgent);

  void invokeAPIWithParams(const platform::Json& params) override;

  // "omidFunction", the decoded "omidParams" (an empty object when they are
  // missing or no JSON object) and its "adViewId".
  static std::optional<std::string> omidMethodNameFromParams(const platform::Json& params);
  static platform::Json omidMethodParamsFromParams(const platform::Json& params);
  static std::optional<std::string> getAdViewId(const platform::Json& omidParams);

  // The parameters of the latest request of a sub-command, if any.
  std::optional<platform::Json> controllerCallbacks(const std::string& methodName) const;

  // QBNOMIDManagerDelegate: answers on the latest request of the sub-command.
  void omidManagerActivated() override;
  void omidManagerStartedSession(const std::string& adViewId) override;
  void omidManagerFailedToStartSessionWithReason(const std::string& reason, const std::string& adViewId) override;
  void omidManagerImpressionOccurred(const std::string& adViewId) override;
  void omidManagerFailedImpressionOccurredWithReason(const std::string& reason,
                                                     const std::optional<std::string>& adViewId) override;
  void omidManagerFinishedSession(const std::string& adViewId) override;
  void omidManagerFailedToFinishSessionWithReason(const std::string& reason,
                                                  const std::optional<std::string>& adViewId) override;

 private:
  class Request;
  explicit QBNOMIDJSInterface(std::weak_ptr<QBNPublisherAgent> publisherAgent)
      : publisherAgent_(std::move(publisherAgent)) {}
  void startSession(const platform::Json& omidParams, const std::shared_ptr<Request>& request);
  std::shared_ptr<Request> latestRequest(const std::string& methodName) const;

  std::weak_ptr<QBNPublisherAgent> publisherAgent_;
  mutable std::mutex mutex_;
  std::map<std::string, platform::Json> controllerCallbacks_;
};
