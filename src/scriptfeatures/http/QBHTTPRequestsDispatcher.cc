#include "scriptfeatures/http/QBHTTPRequestsDispatcher.h"

#include <algorithm>
#include <cctype>
#include <string_view>
#include <utility>

#include "ownnetwork/services/PlovermarkLogManager.h"
#include "platform/clock.h"
#include "platform/web/url.h"

namespace {

constexpr int kTagNetwork = 4;

void log(const std::string& message) { PlovermarkLogManager::sharedManager().log(message, 1, kTagNetwork); }

platform::DataTaskResult failure(platform::Error error) {
  platform::DataTaskResult result;
  result.error = std::move(error);
  return result;
}

// What a request the dispatcher refuses answers.
platform::DataTaskResult refused(std::string reason) {
  return failure(platform::Error{kQBHTTPRequestsDispatcherErrorDomain, 0, std::move(reason)});
}

platform::Error cancelled() { return platform::URLError(platform::URLErrorCode::Cancelled); }

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

// The fields that frame or route a request: the URL session writes them from
// the request itself (its URL, body and connection), never from the page.
constexpr std::string_view kFramingFields[] = {"Content-Length", "Transfer-Encoding", "Host", "Connection",
                                               "Upgrade",        "TE",                "Trailer", "Expect"};
constexpr std::string_view kProxyFieldsPrefix = "Proxy-";

bool framesOrRoutes(std::string_view name) {
  for (const auto field : kFramingFields) {
    if (equalsIgnoringCase(name, field)) return true;
  }
  return name.size() >= kProxyFieldsPrefix.size() &&
         equalsIgnoringCase(name.substr(0, kProxyFieldsPrefix.size()), kProxyFieldsPrefix);
}

}  // namespace

// One request of the page across its attempts.
struct QBHTTPRequestsDispatcher::Exchange {
  platform::URLRequest request;
  bool background = false;
  int64_t retriesLeft = 0;
  Completion completion;
  std::shared_ptr<platform::DataTask> task;     // the attempt on the wire
  std::shared_ptr<platform::Timer> retryTimer;  // the wait before the next attempt
  bool cancelled = false;
};

std::shared_ptr<QBHTTPRequestsDispatcher> QBHTTPRequestsDispatcher::create() {
  return std::shared_ptr<QBHTTPRequestsDispatcher>(new QBHTTPRequestsDispatcher(platform::URLSession::shared()));
}

QBHTTPRequestsDispatcher::QBHTTPRequestsDispatcher(std::shared_ptr<platform::URLSession> session)
    : httpSession_(std::move(session)) {}

QBHTTPRequestsDispatcher::~QBHTTPRequestsDispatcher() {
  for (const auto& exchange : exchanges_) {
    if (exchange->task) exchange->task->cancel();
    if (exchange->retryTimer) exchange->retryTimer->cancel();
  }
  if (backgroundTask_ != platform::Application::kBackgroundTaskInvalid) {
    platform::Application::shared().endBackgroundTask(backgroundTask_);
  }
}

bool QBHTTPRequestsDispatcher::isvValidRequestScheme(const platform::URLRequest& request) {
  if (platform::urlScheme(request.url).empty()) return false;  // no absolute URL
  const std::string scheme = request.url.substr(0, request.url.find(':'));
  return scheme == "http" || scheme == "https";
}

std::optional<std::string> QBHTTPRequestsDispatcher::refusedHeaderField(const platform::URLRequest& request) {
  for (const auto& [name, value] : request.headers) {
    if (!platform::isHTTPToken(name)) return "Invalid header field name: " + name;
    if (framesOrRoutes(name)) return "Reserved header field: " + name;
  }
  return std::nullopt;
}

void QBHTTPRequestsDispatcher::sendHTTPRequest(const platform::URLRequest& request, bool isbackground,
                                               int64_t retries, Completion completion) {
  std::optional<std::string> refusal;
  if (!isvValidRequestScheme(request)) {
    refusal = "Unsupported Url Scheme";
  } else {
    refusal = refusedHeaderField(request);
  }
  if (refusal) {
    refuse(std::move(*refusal), std::move(completion));
    return;
  }
  if (isbackground && backgroundTask_ == platform::Application::kBackgroundTaskInvalid) beginBackgroundTask();
  auto exchange = std::make_shared<Exchange>();
  exchange->request = request;
  exchange->background = isbackground;
  exchange->retriesLeft = std::clamp<int64_t>(retries, 0, kMaxRetries);
  exchange->completion = std::move(completion);
  exchanges_.push_back(exchange);
  startAttempt(exchange);
}

void QBHTTPRequestsDispatcher::refuse(std::string reason, Completion completion) {
  if (auto line = notSentLine_.admit("QBHTTPRequestsDispatcher | not sent: " + reason)) log(*line);
  if (refusals_.size() >= kMaxWaitingRefusals) {
    if (auto line = unansweredLine_.admit("QBHTTPRequestsDispatcher | a refused request is not answered: " +
                                          std::to_string(kMaxWaitingRefusals) + " wait for their answer")) {
      log(*line);
    }
    return;
  }
  // Each refusal takes one turn of kRefusalIntervalMs; the page may be
  // kRefusalBurst turns ahead of the clock.
  const int64_t now = platform::nowMonotonicMs();
  refusalPaceAtMs_ = std::max(refusalPaceAtMs_, now) + kRefusalIntervalMs;
  const int64_t dueAt = std::max(now, refusalPaceAtMs_ - kRefusalBurst * kRefusalIntervalMs);
  if (dueAt <= now && refusals_.empty()) {
    platform::mainQueue()->async([completion = std::move(completion), reason = std::move(reason)]() mutable {
      if (completion) completion(refused(std::move(reason)));
    });
    return;
  }
  refusals_.push_back(Refusal{dueAt, std::move(reason), std::move(completion)});
  if (!refusalTimer_) armRefusalTimer();
}

void QBHTTPRequestsDispatcher::armRefusalTimer() {
  std::weak_ptr<QBHTTPRequestsDispatcher> weakSelf = weak_from_this();
  const int64_t waitMs = std::max<int64_t>(0, refusals_.front().dueAtMs - platform::nowMonotonicMs());
  refusalTimer_ = platform::Timer::once(platform::mainQueue(), static_cast<double>(waitMs), [weakSelf] {
    if (const auto self = weakSelf.lock()) self->answerRefusals();
  });
}

void QBHTTPRequestsDispatcher::answerRefusals() {
  refusalTimer_.reset();
  const int64_t now = platform::nowMonotonicMs();
  while (!refusals_.empty() && refusals_.front().dueAtMs <= now) {
    Refusal refusal = std::move(refusals_.front());
    refusals_.pop_front();
    if (refusal.completion) refusal.completion(refused(std::move(refusal.reason)));
  }
  if (!refusals_.empty() && !refusalTimer_) armRefusalTimer();
}

void QBHTTPRequestsDispatcher::startAttempt(const std::shared_ptr<Exchange>& exchange) {
  std::weak_ptr<QBHTTPRequestsDispatcher> weakSelf = weak_from_this();
  std::weak_ptr<Exchange> weakExchange = exchange;
  exchange->task = httpSession_->dataTask(exchange->request, platform::mainQueue(),
                                          [weakSelf, weakExchange](platform::DataTaskResult result) {
                                            const auto self = weakSelf.lock();
                                            const auto current = weakExchange.lock();
                                            if (self && current) self->attemptFinished(current, std::move(result));
                                          });
  exchange->task->resume();
}

void QBHTTPRequestsDispatcher::attemptFinished(const std::shared_ptr<Exchange>& exchange,
                                               platform::DataTaskResult result) {
  exchange->task.reset();
  const int status = result.response ? result.response->statusCode : -1;
  const bool failed = status == -1 || (status >= 400 && status <= 599) || result.error.has_value();
  // Main queue: the remaining time is read where it changes.
  const bool timeLeft =
      platform::Application::shared().backgroundTimeRemaining() > exchange->request.timeoutSeconds;
  if (failed && !exchange->cancelled && exchange->retriesLeft >= 1 && timeLeft) {
    --exchange->retriesLeft;
    log("QBHTTPRequestsDispatcher | retrying in 3 s, retries left: " + std::to_string(exchange->retriesLeft) +
        " | url: " + exchange->request.url);
    std::weak_ptr<QBHTTPRequestsDispatcher> weakSelf = weak_from_this();
    std::weak_ptr<Exchange> weakExchange = exchange;
    exchange->retryTimer = platform::Timer::once(platform::mainQueue(), kRetryDelayMs, [weakSelf, weakExchange] {
      const auto self = weakSelf.lock();
      const auto current = weakExchange.lock();
      if (self && current) self->retry(current);
    });
    return;
  }
  remove(exchange);
  if (exchange->completion) exchange->completion(std::move(result));
}

void QBHTTPRequestsDispatcher::retry(const std::shared_ptr<Exchange>& exchange) {
  exchange->retryTimer.reset();
  if (exchange->cancelled) return;
  if (exchange->background && backgroundTask_ == platform::Application::kBackgroundTaskInvalid) beginBackgroundTask();
  startAttempt(exchange);
}

void QBHTTPRequestsDispatcher::remove(const std::shared_ptr<Exchange>& exchange) {
  exchanges_.erase(std::remove(exchanges_.begin(), exchanges_.end(), exchange), exchanges_.end());
  if (exchanges_.empty()) endBackgroundTask();
}

size_t QBHTTPRequestsDispatcher::retriesWaitingCount() const {
  return static_cast<size_t>(std::count_if(exchanges_.begin(), exchanges_.end(),
                                           [](const std::shared_ptr<Exchange>& e) { return e->retryTimer != nullptr; }));
}

void QBHTTPRequestsDispatcher::cancelRequests() {
  for (const auto& exchange : std::vector<std::shared_ptr<Exchange>>(exchanges_)) cancel(exchange);
}

void QBHTTPRequestsDispatcher::cancelRequest(const platform::URLRequest& request) {
  for (const auto& exchange : std::vector<std::shared_ptr<Exchange>>(exchanges_)) {
    if (exchange->request == request) cancel(exchange);
  }
}

void QBHTTPRequestsDispatcher::cancel(const std::shared_ptr<Exchange>& exchange) {
  if (exchange->cancelled) return;
  exchange->cancelled = true;
  if (exchange->task) {
    exchange->task->cancel();  // completes with -999 on the main queue
    return;
  }
  // Waiting for its retry: no attempt will answer, so it completes now.
  if (exchange->retryTimer) exchange->retryTimer->cancel();
  exchange->retryTimer.reset();
  remove(exchange);
  platform::mainQueue()->async([completion = std::move(exchange->completion)] {
    if (completion) completion(failure(cancelled()));
  });
}

void QBHTTPRequestsDispatcher::beginBackgroundTask() {
  std::weak_ptr<QBHTTPRequestsDispatcher> weakSelf = weak_from_this();
  backgroundTask_ = platform::Application::shared().beginBackgroundTask([weakSelf] {
    const auto self = weakSelf.lock();
    if (!self) return;
    log("QBHTTPRequestsDispatcher | background time expired, cancelling the proxied requests");
    self->cancelRequests();
    self->endBackgroundTask();
  });
}

void QBHTTPRequestsDispatcher::endBackgroundTask() {
  if (backgroundTask_ == platform::Application::kBackgroundTaskInvalid) return;
  platform::Application::shared().endBackgroundTask(std::exchange(backgroundTask_, platform::Application::kBackgroundTaskInvalid));
}
