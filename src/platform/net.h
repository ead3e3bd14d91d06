#pragma once
// URL loading: one session object per configuration, data tasks, and the
// errors of the URL-loading domain.
//
// A URLSession drives its transfers over one connection pool, so connections
// to the same host are reused: resume() starts the transfer on the calling
// thread (on a kept connection the request is sent before it returns), and
// one I/O thread of the session's own (started by the first resume()) waits
// for the answers and finishes the transfers. URLSession::shared() is the session the library
// uses; other instances exist for their own configuration (and for tests).
// The session makes no retries and keeps no local cache.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/dispatch.h"
#include "platform/result.h"

namespace platform {

using HTTPHeaders = std::vector<std::pair<std::string, std::string>>;

// What to fetch. Only http and https URLs are loaded.
struct URLRequest {
  std::string url = {};
  std::string method = "GET";
  // Sent as given, in order. A header the caller sets replaces the one the
  // session would add (User-Agent, Accept-Encoding, Content-Type).
  HTTPHeaders headers = {};
  // Sent when not empty; a POST always sends its body, even an empty one.
  // A body without a Content-Type header goes as
  // "application/x-www-form-urlencoded"; an empty one goes with no type.
  std::string body = {};
  // Limit on the whole transfer (connect, send, wait, receive), in seconds of
  // real time (the network does not follow a test clock). Zero or less: 60 s.
  double timeoutSeconds = 60;
  // The session keeps no local cache, so every request already goes to the
  // server; the flag is kept for callers that state it.
  bool ignoreLocalCache = false;
  // Follows up to 16 redirects; when false a 3xx answer is delivered as is.
  bool followRedirects = true;
  // Cap on the (decoded) response body; 0 means the session's default.
  size_t maxResponseBytes = 0;
  // The URL of the page this request loads for (a web view sets it on the
  // requests it offers to its navigation delegate); the session ignores it.
  std::string mainDocumentURL = {};
  // Values a caller attaches to the request for its own use (the URL-loading
  // system's request properties); they travel with every copy and the session
  // ignores them.
  std::map<std::string, std::string> properties = {};

  bool operator==(const URLRequest&) const = default;
};

// The HTTP answer of a finished task.
struct HTTPURLResponse {
  int statusCode = 0;
  // The URL that answered (after redirects).
  std::string url;
  // Headers of the final answer, in the order received.
  HTTPHeaders headers;

  // First value of the header, matched case-insensitively.
  std::optional<std::string> header(std::string_view name) const;
};

// Codes of errors in URLError::kDomain (the platform's URL-loading codes).
namespace URLErrorCode {
inline constexpr int Unknown = -1;
inline constexpr int Cancelled = -999;
inline constexpr int BadURL = -1000;
inline constexpr int TimedOut = -1001;
inline constexpr int UnsupportedURL = -1002;
inline constexpr int CannotFindHost = -1003;
inline constexpr int CannotConnectToHost = -1004;
inline constexpr int NetworkConnectionLost = -1005;
inline constexpr int HTTPTooManyRedirects = -1007;
inline constexpr int ResourceUnavailable = -1008;
inline constexpr int NotConnectedToInternet = -1009;
inline constexpr int BadServerResponse = -1011;
inline constexpr int FileDoesNotExist = -1100;
inline constexpr int FileIsDirectory = -1101;
inline constexpr int NoPermissionsToReadFile = -1102;
inline constexpr int DataLengthExceedsMaximum = -1103;
inline constexpr int SecureConnectionFailed = -1200;
inline constexpr int ServerCertificateUntrusted = -1202;
}  // namespace URLErrorCode

// An error of the URL-loading domain. Its message is the platform's
// description of the code unless the caller gives one.
struct URLError : Error {
  static constexpr const char* kDomain = "NSURLErrorDomain";

  explicit URLError(int code, std::string message = {});

  // The platform's description of a URL-loading code.
  static std::string describe(int code);
};

// The standard reason phrase of an HTTP status, lower-case as the platform
// gives it ("no error" for 200, "not found" for 404). Unknown codes get their
// class's phrase ("client error" for 4xx, "server error" for 5xx and others).
std::string localizedStringForStatusCode(int statusCode);

// Whether `text` is an HTTP token: one or more letters, digits and
// !#$%&'*+-.^_`|~, what a method and a header field name must be. Anything
// else could end the field or the request line early.
bool isHTTPToken(std::string_view text);

// What a data task delivers: either a response (any HTTP status, 404 and 500
// included) with its body, or an error (response absent, body empty).
struct DataTaskResult {
  std::optional<HTTPURLResponse> response = std::nullopt;
  std::string body = {};
  std::optional<Error> error = std::nullopt;
};

using DataTaskCompletion = std::function<void(DataTaskResult)>;

enum class URLSessionTaskState { Suspended, Running, Canceling, Completed };
const char* name(URLSessionTaskState state);

class URLSession;
struct DataTaskCore;

// One HTTP exchange, created suspended by URLSession::dataTask().
//
// Contract:
//  * The completion runs exactly once: on success, on any HTTP status, on a
//    transport error, on timeout (-1001), on cancel (-999), when the body
//    would pass the response cap (-1103), and when the session goes away
//    first (-999).
//  * It never runs inside resume() or cancel(); it runs as a block of the
//    completion queue given to dataTask(), delivered once from where the
//    transfer ended. For a global queue, and for a light serial queue
//    (createLightSerialQueue) that is idle then, that may be the session's
//    I/O thread itself (neither promises a particular thread), so such a
//    completion must not wait for another task of the same session.
//  * cancel() may be called from any thread, any number of times, before or
//    after resume(). If the task has not completed yet, it completes with
//    -999 and nothing of the transfer is delivered; afterwards it does nothing.
//  * resume() starts a suspended task; later calls do nothing. A task that is
//    never resumed nor cancelled never completes.
//  * Dropping the DataTask does not cancel it: the session keeps a started
//    task until it completes.
class DataTask {
 public:
  ~DataTask();
  DataTask(const DataTask&) = delete;
  DataTask& operator=(const DataTask&) = delete;

  void resume();
  void cancel();

  // Unique within the session, from 1 up.
  int64_t taskIdentifier() const;
  URLSessionTaskState state() const;
  const URLRequest& originalRequest() const;

 private:
  friend class URLSession;
  explicit DataTask(std::shared_ptr<DataTaskCore> core) : core_(std::move(core)) {}
  std::shared_ptr<DataTaskCore> core_;
};

struct URLSessionConfiguration {
  // Cap on a response body when the request sets none.
  size_t maxResponseBytes = size_t{16} * 1024 * 1024;
  // Connections kept open to one host at once; more tasks wait their turn.
  long maxConnectionsPerHost = 6;
  // Sent as User-Agent unless the request sets one; empty sends none.
  std::string userAgent = {};
};

class URLSessionEngine;

class URLSession {
 public:
  // The process-wide session (default configuration), never destroyed.
  static std::shared_ptr<URLSession> shared();
  // Makes shared() return the given session until called again with nullptr.
  static void setSharedForTesting(std::shared_ptr<URLSession> session);

  explicit URLSession(URLSessionConfiguration configuration = {});
  // Cancels the tasks still running (each completes with -999, posted as
  // usual) and joins the I/O thread. Tasks resumed later complete with -999.
  ~URLSession();
  URLSession(const URLSession&) = delete;
  URLSession& operator=(const URLSession&) = delete;

  // Creates a suspended task; resume() starts it. The completion is posted to
  // completionQueue (nullptr: the default global queue). See DataTask.
  std::shared_ptr<DataTask> dataTask(URLRequest request, QueueRef completionQueue,
                                     DataTaskCompletion completion);

  const URLSessionConfiguration& configuration() const { return configuration_; }

 private:
  // Exit step of the process-wide session: ends its transfers and joins its
  // I/O thread before OpenSSL's exit handler runs (see dispatch.h).
  static void stopSharedAtExit();

  URLSessionConfiguration configuration_;
  std::atomic<int64_t> nextTaskId_{1};
  std::shared_ptr<URLSessionEngine> engine_;
};

}  // namespace platform
