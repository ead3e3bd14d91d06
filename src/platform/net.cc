// Parts of the URL-loading layer that do not touch curl: errors, reason
// phrases, response lookups, the shared session and the task front end.
#include <algorithm>
#include <cctype>
#include <mutex>

#include "platform/net.h"
#include "platform/dispatch_backend.h"
#include "platform/net_internal.h"
#include "platform/net_testing.h"

namespace platform {

std::optional<std::string> HTTPURLResponse::header(std::string_view name) const {
  for (const auto& [key, value] : headers)
    if (equalsIgnoreCase(key, name)) return value;
  return std::nullopt;
}

URLError::URLError(int errorCode, std::string errorMessage)
    : Error{kDomain, errorCode, errorMessage.empty() ? describe(errorCode) : std::move(errorMessage)} {}

std::string URLError::describe(int code) {
  switch (code) {
    case URLErrorCode::Cancelled: return "cancelled";
    case URLErrorCode::BadURL: return "bad URL";
    case URLErrorCode::TimedOut: return "The request timed out.";
    case URLErrorCode::UnsupportedURL: return "unsupported URL";
    case URLErrorCode::CannotFindHost: return "A server with that hostname could not be found.";
    case URLErrorCode::CannotConnectToHost: return "Could not connect to the server.";
    case URLErrorCode::NetworkConnectionLost: return "The network connection was lost.";
    case URLErrorCode::HTTPTooManyRedirects: return "too many HTTP redirects";
    case URLErrorCode::ResourceUnavailable: return "resource unavailable";
    case URLErrorCode::NotConnectedToInternet: return "The Internet connection appears to be offline.";
    case URLErrorCode::BadServerResponse: return "bad server response";
    case URLErrorCode::FileDoesNotExist: return "file does not exist";
    case URLErrorCode::FileIsDirectory: return "file is directory";
    case URLErrorCode::NoPermissionsToReadFile: return "no permission to read file";
    case URLErrorCode::DataLengthExceedsMaximum: return "resource exceeds maximum size";
    case URLErrorCode::SecureConnectionFailed:
      return "An SSL error has occurred and a secure connection to the server cannot be made.";
    case URLErrorCode::ServerCertificateUntrusted: return "The certificate for this server is invalid.";
    default: return "unknown error";
  }
}

bool isHTTPToken(std::string_view text) {
  return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || std::string_view("!#$%&'*+-.^_`|~").find(c) != std::string_view::npos;
  });
}

std::string localizedStringForStatusCode(int statusCode) {
  switch (statusCode) {
    case 100: return "continue";
    case 101: return "switching protocols";
    case 200: return "no error";
    case 201: return "created";
    case 202: return "accepted";
    case 203: return "non-authoritative information";
    case 204: return "no content";
    case 205: return "reset content";
    case 206: return "partial content";
    case 300: return "multiple choices";
    case 301: return "moved permanently";
    case 302: return "found";
    case 303: return "see other";
    case 304: return "not modified";
    case 305: return "needs proxy";
    case 307: return "temporarily redirected";
    case 308: return "permanently redirected";
    case 400: return "bad request";
    case 401: return "unauthorized";
    case 402: return "payment required";
    case 403: return "forbidden";
    case 404: return "not found";
    case 405: return "method not allowed";
    case 406: return "unacceptable";
    case 407: return "proxy authentication required";
    case 408: return "request timed out";
    case 409: return "conflict";
    case 410: return "no longer exists";
    case 411: return "length required";
    case 412: return "precondition failed";
    case 413: return "request too large";
    case 414: return "requested URL too long";
    case 415: return "unsupported media type";
    case 416: return "requested range not satisfiable";
    case 417: return "expectation failed";
    case 429: return "too many requests";
    case 500: return "internal server error";
    case 501: return "unimplemented";
    case 502: return "bad gateway";
    case 503: return "service unavailable";
    case 504: return "gateway timed out";
    case 505: return "unsupported version";
    default: break;
  }
  if (statusCode >= 100 && statusCode < 200) return "informational";
  if (statusCode >= 200 && statusCode < 300) return "success";
  if (statusCode >= 300 && statusCode < 400) return "redirected";
  if (statusCode >= 400 && statusCode < 500) return "client error";
  return "server error";
}

const char* name(URLSessionTaskState state) {
  switch (state) {
    case URLSessionTaskState::Suspended: return "Suspended";
    case URLSessionTaskState::Running: return "Running";
    case URLSessionTaskState::Canceling: return "Canceling";
    case URLSessionTaskState::Completed: return "Completed";
  }
  return "?";
}

// --- task front end ---------------------------------------------------------

namespace {
std::atomic<size_t> tasksInFlight{0};
}  // namespace

size_t urlTasksInFlightForTesting() { return tasksInFlight.load(); }

bool DataTaskCore::deliver(DataTaskResult result, bool mayRunHere) {
  bool expected = false;
  if (!finished.compare_exchange_strong(expected, true)) return false;
  if (counted.exchange(false)) tasksInFlight.fetch_sub(1);
  // Only the winner of the exchange above touches the completion.
  DataTaskCompletion callback = std::move(completion);
  completion = nullptr;
  state.store(URLSessionTaskState::Completed);
  Block block = [callback = std::move(callback), result = std::move(result)]() mutable {
    if (callback) callback(std::move(result));
  };
  if (mayRunHere && runBlockHereIfFree(queue.get(), block)) return true;
  queue->async(std::move(block));
  return true;
}

DataTask::~DataTask() = default;

void DataTask::resume() {
  auto expected = URLSessionTaskState::Suspended;
  if (!core_->state.compare_exchange_strong(expected, URLSessionTaskState::Running)) return;
  // Counted before the transfer can finish; whichever of deliver() and this
  // sees the other's mark uncounts it, once.
  tasksInFlight.fetch_add(1);
  core_->counted.store(true);
  if (core_->finished.load() && core_->counted.exchange(false)) tasksInFlight.fetch_sub(1);
  auto engine = core_->engine.lock();
  if (!engine || !engine->start(core_)) core_->deliver(DataTaskResult{{}, {}, URLError(URLErrorCode::Cancelled)});
}

void DataTask::cancel() {
  if (core_->finished.load()) return;
  auto previous = core_->state.load();
  if (previous == URLSessionTaskState::Completed) return;
  core_->state.compare_exchange_strong(previous, URLSessionTaskState::Canceling);
  if (!core_->deliver(DataTaskResult{{}, {}, URLError(URLErrorCode::Cancelled)})) return;
  if (auto engine = core_->engine.lock()) engine->cancel(core_);
}

int64_t DataTask::taskIdentifier() const { return core_->identifier; }

URLSessionTaskState DataTask::state() const { return core_->state.load(); }

const URLRequest& DataTask::originalRequest() const { return core_->request; }

// --- session ------------------------------------------------------------------

namespace {
// Never destroyed: requests are started and completed on worker threads and
// the I/O thread, also while static destruction runs at exit.
struct SharedSessions {
  std::mutex m;
  std::shared_ptr<URLSession> process;   // made on first use; guarded by m
  std::shared_ptr<URLSession> override;  // guarded by m
};
SharedSessions& sharedSessions() {
  static SharedSessions& s = *new SharedSessions();
  return s;
}
}  // namespace

std::shared_ptr<URLSession> URLSession::shared() {
  auto& s = sharedSessions();
  std::lock_guard lock(s.m);
  if (s.override) return s.override;
  if (!s.process) {
    s.process = std::make_shared<URLSession>();
    addExitStep(&URLSession::stopSharedAtExit);
  }
  return s.process;
}

void URLSession::stopSharedAtExit() {
  std::shared_ptr<URLSession> session;
  {
    auto& s = sharedSessions();
    std::lock_guard lock(s.m);
    session = s.process;
  }
  // The completions it posts are kept by the stopped workers and never run.
  if (session) session->engine_->shutdown();
}

void URLSession::setSharedForTesting(std::shared_ptr<URLSession> session) {
  std::shared_ptr<URLSession> previous;
  {
    auto& s = sharedSessions();
    std::lock_guard lock(s.m);
    previous = std::exchange(s.override, std::move(session));
  }
  // `previous` may be the last reference; it is released outside the lock.
}

URLSession::URLSession(URLSessionConfiguration configuration)
    : configuration_(std::move(configuration)), engine_(URLSessionEngine::create(configuration_)) {}

URLSession::~URLSession() { engine_->shutdown(); }

std::shared_ptr<DataTask> URLSession::dataTask(URLRequest request, QueueRef completionQueue,
                                               DataTaskCompletion completion) {
  auto core = std::make_shared<DataTaskCore>();
  core->identifier = nextTaskId_.fetch_add(1);
  core->maxResponseBytes = request.maxResponseBytes ? request.maxResponseBytes : configuration_.maxResponseBytes;
  core->request = std::move(request);
  core->queue = completionQueue ? std::move(completionQueue) : globalQueue();
  core->completion = std::move(completion);
  core->engine = engine_;
  return std::shared_ptr<DataTask>(new DataTask(std::move(core)));
}

}  // namespace platform
