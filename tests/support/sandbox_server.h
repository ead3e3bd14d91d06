#pragma once
// A loopback stand-in for the servers the library talks to.
//
// Listens on 127.0.0.1 on a free port, answers on its own threads, records
// every request it receives (bodies exactly as they came over the wire) and
// can be told to misbehave per path. Routes and faults may be changed while it
// runs; the endpoints of the configuration, auction and event services are
// added as routes by their own helpers.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace qbtest {

using SandboxHeaders = std::vector<std::pair<std::string, std::string>>;

struct RecordedRequest {
  uint64_t sequence = 0;  // arrival order, from 1
  std::string method;
  std::string path;    // decoded, without the query
  std::string target;  // as on the request line
  SandboxHeaders query;  // decoded query parameters (grouped by name)
  SandboxHeaders headers;
  std::string body;  // as sent: a gzip body stays compressed here

  // First value, name matched case-insensitively.
  std::optional<std::string> header(std::string_view name) const;
  std::optional<std::string> queryValue(std::string_view name) const;
  // The body inflated when it is gzip/zlib (Content-Encoding says so or the
  // bytes start like gzip), else as sent. None when it claims to be
  // compressed but does not inflate.
  std::optional<std::string> decodedBody() const;
};

// What a route answers. Without a Content-Type header the body goes out as
// application/json.
struct SandboxAnswer {
  int status = 200;
  std::string body = {};
  SandboxHeaders headers = {};
};

using SandboxHandler = std::function<SandboxAnswer(const RecordedRequest&)>;

// Misbehaviour for the requests to one path. hold or delayMs applies first;
// then the first of disconnect, truncate, garbage, status that is set.
//
// A request that must meet a real-time time-out of the client is held, never
// delayed: a held answer waits for the test's releaseHeld(), so the time-out
// wins on any machine, while a delay races it and loses on a loaded one.
struct SandboxFault {
  bool hold = false;  // the answer waits for releaseHeld() (or stop()); delayMs is then not used
  int delayMs = 0;    // real time
  bool disconnect = false;  // close the connection without any answer
  bool truncate = false;    // declare the full Content-Length, send half, close
  bool garbage = false;     // 200 with bytes that are no valid answer
  std::optional<int> status = std::nullopt;  // answer this status with `body`
  std::string body = {};
  int times = -1;  // requests it applies to before it lapses; -1: all

  static SandboxFault holding() { SandboxFault f; f.hold = true; return f; }
  static SandboxFault delay(int ms) { SandboxFault f; f.delayMs = ms; return f; }
  static SandboxFault disconnecting() { SandboxFault f; f.disconnect = true; return f; }
  static SandboxFault truncating() { SandboxFault f; f.truncate = true; return f; }
  static SandboxFault garbled() { SandboxFault f; f.garbage = true; return f; }
  static SandboxFault failing(int status, std::string body = {}) {
    SandboxFault f;
    f.status = status;
    f.body = std::move(body);
    return f;
  }
  // The same fault for the next n requests only.
  SandboxFault only(int n) && { times = n; return std::move(*this); }
};

class SandboxServer {
 public:
  SandboxServer();
  ~SandboxServer();  // stops
  SandboxServer(const SandboxServer&) = delete;
  SandboxServer& operator=(const SandboxServer&) = delete;

  // Binds 127.0.0.1 on a free port and starts answering. False when it could
  // not bind or was already started.
  bool start();
  // Stops listening, wakes delayed and held answers (their connections are
  // dropped unanswered) and waits for the threads.
  void stop();

  std::string baseUrl() const;  // "http://127.0.0.1:<port>"
  std::string url(std::string_view pathAndQuery) const;

  // Answers `method` ("*": any) requests to `path` (a trailing "*" matches by
  // prefix). An exact path beats a prefix, the longer prefix beats the
  // shorter. A route replaces an earlier one for the same method and path.
  // Requests no route answers get 404. Handlers run on server threads.
  void route(std::string method, std::string path, SandboxHandler handler);
  // A fixed answer for any method on `path`.
  void answer(std::string path, int status, std::string body, SandboxHeaders headers = {});
  void removeRoutes(std::string_view path);

  // Fault for `path` (same matching as routes); replaces an earlier one.
  void inject(std::string path, SandboxFault fault);
  // Removes every fault and releases the answers held now.
  void clearFaults();
  // The answers held now go on (to clients that may have given up on them);
  // a holding fault still in force holds the requests that come later.
  void releaseHeld();

  std::vector<RecordedRequest> requests() const;
  std::vector<RecordedRequest> requestsTo(std::string_view path) const;
  size_t requestCount() const;
  // Waits (real time) until at least n requests have arrived.
  bool waitForRequests(size_t n, int64_t realTimeoutMs) const;
  void clearRequests();

  struct Impl;

 private:
  std::shared_ptr<Impl> impl_;
};

// Inflates gzip or zlib data (told apart by its header); none when the data
// is damaged or would pass maxBytes.
std::optional<std::string> gunzipForTesting(std::string_view data, size_t maxBytes = size_t{64} << 20);

}  // namespace qbtest
