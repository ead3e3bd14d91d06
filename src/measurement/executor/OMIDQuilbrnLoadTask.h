#pragma once
// One download for a script context: a text (a verification script, a
// resource a script asks for) or a ping. GET through the shared URL session,
// with a number of attempts; the completion handler runs once, on the
// completion queue, after the last attempt.
//
// A text download is a failure unless the server answered with a status of
// 200-299 (URLError -1008, "resource unavailable", with the status in the
// message): an error page is never taken for the text. A ping takes any
// answer as sent: only a transport error fails it (it is fire-and-forget;
// docs/measurement.md).
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/dispatch.h"
#include "platform/net.h"

class OMIDQuilbrnLoadTask : public std::enable_shared_from_this<OMIDQuilbrnLoadTask> {
 public:
  // The text (or, for a ping, the body), or the error. A text that is not
  // UTF-8 comes as no result and no error.
  using CompletionHandler =
      std::function<void(const std::optional<std::string>& result, const std::optional<platform::Error>& error)>;
  using ResponseParser = std::function<std::optional<std::string>(const std::string& data)>;
  // How a task's request goes out: the shared URL session's data task, unless
  // a test replaces it (to answer errors the loopback cannot produce, such as
  // being offline).
  using Transport = std::function<void(platform::URLRequest request, platform::QueueRef completionQueue,
                                       platform::DataTaskCompletion completion)>;

  // A text download: the body decoded as UTF-8.
  static std::shared_ptr<OMIDQuilbrnLoadTask> taskToLoadStringFromURL(const std::string& url, unsigned attemptsCount,
                                                                     platform::QueueRef completionQueue,
                                                                     CompletionHandler completionHandler);
  // A ping: one attempt, the local cache ignored, any status is sent.
  static std::shared_ptr<OMIDQuilbrnLoadTask> taskToSendPingToURL(const std::string& url,
                                                                 platform::QueueRef completionQueue,
                                                                 CompletionHandler completionHandler);

  // Starts the first attempt. The task keeps itself until its handler ran.
  void start();

  const platform::URLRequest& request() const { return request_; }

  // nullptr: the shared URL session again.
  static void setTransportForTesting(Transport transport);

 private:
  OMIDQuilbrnLoadTask() = default;
  void handleResponseWithData(platform::DataTaskResult result);

  platform::URLRequest request_;
  unsigned attemptsCount_ = 1;
  unsigned attemptNumber_ = 0;
  bool requiresSuccessStatus_ = false;
  platform::QueueRef completionQueue_;
  ResponseParser responseParser_;
  CompletionHandler completionHandler_;
};
