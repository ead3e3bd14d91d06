#pragma once
// Sends the controller page's HTTP requests through the process's shared URL
// session: http and https only, a retry after 3 s for failed attempts, one
// background task held for all of them while they run.
//
// Main queue only: requests start from the main queue, every attempt's
// answer is delivered on the main queue (so the retry test reads the
// remaining background time there), retries are scheduled there, and each
// completion runs there exactly once, never inside the call that started or
// cancelled its request. The dispatcher tracks its own requests: cancelling
// touches only them, never other transfers of the shared session.
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/dispatch.h"
#include "platform/net.h"
#include "platform/repeated_line.h"
#include "platform/ui/application.h"

// Domain of the dispatcher's own errors (code 0).
inline constexpr char kQBHTTPRequestsDispatcherErrorDomain[] = "QBHTTPRequestsDispatcher";

class QBHTTPRequestsDispatcher : public std::enable_shared_from_this<QBHTTPRequestsDispatcher> {
 public:
  // The final outcome of a request: the response with its body, or an error.
  using Completion = std::function<void(platform::DataTaskResult)>;

  // More retries than this are not made (one every 3 s: 30 s at most).
  static constexpr int64_t kMaxRetries = 10;
  static constexpr int64_t kRetryDelayMs = 3000;

  // The requests it refuses count against the page that made them (a page
  // asking again each time it is refused would otherwise keep the main queue
  // and its own busy for nothing): kRefusalBurst refusals are answered at
  // once, then one every kRefusalIntervalMs, the allowance coming back at
  // that pace while nothing is refused; the others wait for their turn, in
  // order. At most kMaxWaitingRefusals wait: a request refused past them is
  // never answered.
  static constexpr int64_t kRefusalBurst = 20;
  static constexpr int64_t kRefusalIntervalMs = 100;
  static constexpr size_t kMaxWaitingRefusals = 1000;

  // Takes the shared session (platform::URLSession::shared()).
  static std::shared_ptr<QBHTTPRequestsDispatcher> create();
  // Cancels its requests; their completions are not called.
  ~QBHTTPRequestsDispatcher();

  std::shared_ptr<platform::URLSession> httpSession() const { return httpSession_; }
  // The background task held for the running requests, or kBackgroundTaskInvalid.
  platform::Application::BackgroundTaskIdentifier backgroundTaskIdentifier() const { return backgroundTask_; }
  // Requests not yet completed (on the wire or waiting for a retry).
  size_t requestCount() const { return exchanges_.size(); }
  // Of those, the ones waiting for their retry.
  size_t retriesWaitingCount() const;
  // Refused requests waiting for their answer.
  size_t refusalsWaitingCount() const { return refusals_.size(); }

  // Sends `request`. A scheme other than "http" or "https" (as written), or a
  // URL that does not parse, completes with "Unsupported Url Scheme" (this
  // domain, code 0) and sends nothing; so does a header field the page may
  // not set (refusedHeaderField), with "Reserved header field: <name>" or
  // "Invalid header field name: <name>", answered at the pace above and
  // logged as "not sent" at most once a second (the next line says how many
  // were held back). With `isbackground` a background task
  // is begun unless one is held; its expiry cancels the dispatcher's requests
  // and ends it. An attempt that ends in a transport error, without a
  // response, or with a status 400-599 is sent again after 3 s while retries
  // are left (`retries`, cut to 0..kMaxRetries) and the remaining background
  // time is above the request's timeout; otherwise the completion hears that
  // outcome. The background task ends when no request is left.
  void sendHTTPRequest(const platform::URLRequest& request, bool isbackground, int64_t retries, Completion completion);

  // Cancels every request of the dispatcher: one on the wire completes with
  // the session's cancellation error (-999), one waiting for its retry
  // completes with that error at once (posted); no further retry is made.
  // Refused requests keep their answer and their turn.
  void cancelRequests();
  // The same for the requests equal to `request`.
  void cancelRequest(const platform::URLRequest& request);

  static bool isvValidRequestScheme(const platform::URLRequest& request);
  // The reason a header field of `request` may not go, for the first such
  // field: its name is no HTTP token, or it frames or routes the request
  // ("Content-Length", "Transfer-Encoding", "Host", "Connection", "Upgrade",
  // "TE", "Trailer", "Expect", "Proxy-*"; names in any case), which the URL
  // session alone decides. None when every field may go.
  static std::optional<std::string> refusedHeaderField(const platform::URLRequest& request);

 private:
  struct Exchange;
  struct Refusal {
    int64_t dueAtMs;  // platform clock
    std::string reason;
    Completion completion;
  };
  explicit QBHTTPRequestsDispatcher(std::shared_ptr<platform::URLSession> session);

  // Answers `completion` with the refusal at the page's pace.
  void refuse(std::string reason, Completion completion);
  // Answers the refusals whose turn has come; waits for the next one.
  void answerRefusals();
  void armRefusalTimer();

  void startAttempt(const std::shared_ptr<Exchange>& exchange);
  void attemptFinished(const std::shared_ptr<Exchange>& exchange, platform::DataTaskResult result);
  void retry(const std::shared_ptr<Exchange>& exchange);
  // Takes the request out and ends the background task when it was the last.
  void remove(const std::shared_ptr<Exchange>& exchange);
  void cancel(const std::shared_ptr<Exchange>& exchange);
  void beginBackgroundTask();
  void endBackgroundTask();

  const std::shared_ptr<platform::URLSession> httpSession_;
  platform::Application::BackgroundTaskIdentifier backgroundTask_ = platform::Application::kBackgroundTaskInvalid;
  std::vector<std::shared_ptr<Exchange>> exchanges_;  // in the order they started
  std::deque<Refusal> refusals_;                      // in the order they were refused
  std::shared_ptr<platform::Timer> refusalTimer_;     // the wait for the first one's turn
  int64_t refusalPaceAtMs_ = 0;  // when the allowance is whole again, plus kRefusalBurst turns
  platform::RepeatedLine notSentLine_;
  platform::RepeatedLine unansweredLine_;
};
