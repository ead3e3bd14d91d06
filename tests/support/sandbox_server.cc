#include "support/sandbox_server.h"

#include <dirent.h>
#include <httplib.h>
#include <netinet/in.h>
#include <pthread.h>
#include <sys/socket.h>
#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <climits>
#include <condition_variable>
#include <csignal>
#include <cstdlib>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace qbtest {

namespace {

// httplib inflates request bodies whose Content-Encoding it knows; the header
// is parked under this name before the body is read, so the log keeps the
// bytes as sent.
constexpr const char* kParkedEncoding = "X-Sandbox-Wire-Content-Encoding";
// Each open connection holds one server thread for as long as it stays open.
constexpr size_t kMaxServerThreads = 64;
// Answers shorter than this go out uncompressed whatever the client offers,
// as production servers leave short bodies alone: httplib would gzip even
// "{}" (into 22 bytes, behind a fresh 256 KiB deflate state per answer).
constexpr size_t kCompressAnswersFrom = 1024;

// httplib's task queue, growing with the connections: a thread starts only
// when more connections wait than threads are free, up to kMaxServerThreads,
// so one client with a handful of connections gets a handful of threads.
// Threads are named "sandbox-srv" and stay until shutdown().
class GrowingTaskQueue : public httplib::TaskQueue {
 public:
  void enqueue(std::function<void()> fn) override {
    std::lock_guard lock(m_);
    jobs_.push_back(std::move(fn));
    if (jobs_.size() > idle_ && threads_.size() < kMaxServerThreads) {
      ++idle_;
      threads_.emplace_back([this] { work(); });
    } else {
      cv_.notify_one();
    }
  }

  void shutdown() override {
    {
      std::lock_guard lock(m_);
      stopping_ = true;
    }
    cv_.notify_all();
    for (auto& t : threads_) t.join();  // no enqueue() runs any more
  }

 private:
  void work() {
    pthread_setname_np(pthread_self(), "sandbox-srv");
    std::unique_lock lock(m_);
    for (;;) {
      cv_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
      if (jobs_.empty()) return;  // stopping, and every connection served
      auto job = std::move(jobs_.front());
      jobs_.pop_front();
      --idle_;
      lock.unlock();
      job();
      job = nullptr;
      lock.lock();
      ++idle_;
    }
  }

  std::mutex m_;
  std::condition_variable cv_;
  std::deque<std::function<void()>> jobs_;
  std::vector<std::thread> threads_;
  size_t idle_ = 0;  // threads waiting for a connection, or started and not yet waiting
  bool stopping_ = false;
};

bool equalsIgnoreCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

std::optional<std::string> firstValue(const SandboxHeaders& list, std::string_view name) {
  for (const auto& [key, value] : list)
    if (equalsIgnoreCase(key, name)) return value;
  return std::nullopt;
}

// How well `pattern` matches `path`: exact > longer prefix > shorter prefix;
// -1 when it does not.
long matchScore(const std::string& pattern, const std::string& path) {
  if (pattern == path) return LONG_MAX;
  if (!pattern.empty() && pattern.back() == '*') {
    const std::string_view prefix(pattern.data(), pattern.size() - 1);
    if (std::string_view(path).substr(0, prefix.size()) == prefix) return static_cast<long>(prefix.size());
  }
  return -1;
}

int portOf(const sockaddr_storage& addr) {
  if (addr.ss_family == AF_INET) return ntohs(reinterpret_cast<const sockaddr_in&>(addr).sin_port);
  if (addr.ss_family == AF_INET6) return ntohs(reinterpret_cast<const sockaddr_in6&>(addr).sin6_port);
  return -1;
}

// Shuts down the server side of the accepted connections on `localPort`:
// the one from `peerPort`, or every one when `peerPort` is -1. httplib does
// not hand the socket to handlers, so connections are found by their address
// pair; other descriptors are only queried (non-sockets fail getsockname).
// - One connection: the descriptor acted on is owned by the calling handler
//   thread, so it cannot be closed or reused meanwhile; httplib closes it once
//   the handler returns.
// - Every connection: called after the listening socket is closed, so worker
//   threads waiting for a next request on an idle connection see its end at
//   once. No new connection can appear, and a descriptor httplib closes
//   meanwhile and hands to a new socket would have to carry this same local
//   port to be touched.
void dropConnections(int localPort, int peerPort) {
  DIR* dir = opendir("/proc/self/fd");
  if (!dir) return;
  while (dirent* entry = readdir(dir)) {
    char* end = nullptr;
    const long fd = std::strtol(entry->d_name, &end, 10);
    if (end == entry->d_name || *end != '\0') continue;
    sockaddr_storage local{}, peer{};
    socklen_t localLen = sizeof(local), peerLen = sizeof(peer);
    if (getsockname(static_cast<int>(fd), reinterpret_cast<sockaddr*>(&local), &localLen) != 0) continue;
    if (getpeername(static_cast<int>(fd), reinterpret_cast<sockaddr*>(&peer), &peerLen) != 0) continue;
    if (portOf(local) != localPort) continue;
    if (peerPort == -1) {
      shutdown(static_cast<int>(fd), SHUT_RDWR);
    } else if (portOf(peer) == peerPort) {
      shutdown(static_cast<int>(fd), SHUT_RDWR);
      break;
    }
  }
  closedir(dir);
}

const std::string& garbageBytes() {
  static const std::string bytes = std::string("\x1f\x00\xff\xfe<not-json>{\"a\":", 16) + std::string(48, '\x7f');
  return bytes;
}

}  // namespace

std::optional<std::string> gunzipForTesting(std::string_view data, size_t maxBytes) {
  z_stream zs{};
  if (inflateInit2(&zs, 15 + 32) != Z_OK) return std::nullopt;  // +32: gzip or zlib header
  zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  zs.avail_in = static_cast<uInt>(data.size());
  std::string out;
  char chunk[16384];
  int rc = Z_OK;
  while (rc == Z_OK) {
    zs.next_out = reinterpret_cast<Bytef*>(chunk);
    zs.avail_out = sizeof(chunk);
    rc = inflate(&zs, Z_NO_FLUSH);
    const size_t produced = sizeof(chunk) - zs.avail_out;
    if (out.size() + produced > maxBytes) rc = Z_MEM_ERROR;
    else out.append(chunk, produced);
    if (rc == Z_BUF_ERROR && zs.avail_in == 0) break;  // input ended early
  }
  const bool complete = rc == Z_STREAM_END && zs.avail_in == 0;
  inflateEnd(&zs);
  if (!complete) return std::nullopt;
  return out;
}

std::optional<std::string> RecordedRequest::header(std::string_view name) const { return firstValue(headers, name); }

std::optional<std::string> RecordedRequest::queryValue(std::string_view name) const {
  for (const auto& [key, value] : query)
    if (key == name) return value;
  return std::nullopt;
}

std::optional<std::string> RecordedRequest::decodedBody() const {
  std::string encoding = header("Content-Encoding").value_or("");
  std::transform(encoding.begin(), encoding.end(), encoding.begin(), [](unsigned char c) { return std::tolower(c); });
  const bool declared = encoding.find("gzip") != std::string::npos || encoding.find("deflate") != std::string::npos;
  const bool looksGzip = body.size() >= 2 && static_cast<unsigned char>(body[0]) == 0x1f &&
                         static_cast<unsigned char>(body[1]) == 0x8b;
  if (declared || looksGzip) return gunzipForTesting(body);
  return body;
}

struct SandboxServer::Impl {
  struct Route {
    std::string method;
    std::string path;
    SandboxHandler handler;
  };

  httplib::Server server;
  std::thread listener;
  int port = -1;
  int listenFd = -1;
  std::atomic<bool> listenerDone{false};

  mutable std::mutex m;
  mutable std::condition_variable cv;  // new requests, stop
  bool started = false;
  bool stopping = false;
  std::vector<RecordedRequest> log;
  uint64_t sequence = 0;
  std::vector<Route> routes;
  std::vector<std::pair<std::string, SandboxFault>> faults;
  uint64_t releases = 0;  // releaseHeld() calls: a held answer waits for the next

  RecordedRequest record(const httplib::Request& req) {
    RecordedRequest rec;
    rec.method = req.method;
    rec.path = req.path;
    rec.target = req.target;
    for (const auto& [key, value] : req.params) rec.query.emplace_back(key, value);
    for (const auto& [key, value] : req.headers) {
      if (key == "REMOTE_ADDR" || key == "REMOTE_PORT" || key == "LOCAL_ADDR" || key == "LOCAL_PORT") continue;
      rec.headers.emplace_back(equalsIgnoreCase(key, kParkedEncoding) ? "Content-Encoding" : key, value);
    }
    rec.body = req.body;
    {
      std::lock_guard lock(m);
      rec.sequence = ++sequence;
      log.push_back(rec);
    }
    cv.notify_all();
    return rec;
  }

  std::optional<SandboxFault> takeFault(const std::string& path) {
    std::lock_guard lock(m);
    auto best = faults.end();
    long bestScore = -1;
    for (auto it = faults.begin(); it != faults.end(); ++it) {
      const long score = matchScore(it->first, path);
      if (score >= 0 && score >= bestScore) best = it, bestScore = score;
    }
    if (best == faults.end()) return std::nullopt;
    SandboxFault fault = best->second;
    if (best->second.times > 0 && --best->second.times == 0) faults.erase(best);
    return fault;
  }

  std::optional<SandboxHandler> findRoute(const std::string& method, const std::string& path) const {
    std::lock_guard lock(m);
    const Route* best = nullptr;
    long bestScore = -1;
    for (const auto& r : routes) {
      const bool exactMethod = r.method == method;
      if (!exactMethod && r.method != "*") continue;
      const long score = matchScore(r.path, path);
      if (score < 0) continue;
      // Exact method beats "*" at the same path score; later beats earlier.
      const long ranked = score == LONG_MAX ? LONG_MAX - (exactMethod ? 0 : 1) : score * 2 + (exactMethod ? 1 : 0);
      if (ranked >= bestScore) best = &r, bestScore = ranked;
    }
    if (!best) return std::nullopt;
    return best->handler;
  }

  static void apply(const SandboxAnswer& answer, httplib::Response& res) {
    res.status = answer.status;
    std::string contentType = "application/json";
    for (const auto& [key, value] : answer.headers) {
      if (equalsIgnoreCase(key, "Content-Type")) contentType = value;
      else if (!equalsIgnoreCase(key, "Content-Length")) res.set_header(key, value);
    }
    if (answer.body.empty() || answer.body.size() >= kCompressAnswersFrom) {
      res.set_content(answer.body, contentType);
      return;
    }
    // httplib compresses a body it holds; one given by a provider of known
    // length goes out as it is.
    auto body = std::make_shared<std::string>(answer.body);
    res.set_content_provider(body->size(), contentType, [body](size_t offset, size_t length, httplib::DataSink& sink) {
      sink.write(body->data() + offset, std::min(length, body->size() - offset));
      return true;
    });
  }

  static void applyTruncated(const SandboxAnswer& answer, httplib::Response& res) {
    auto body = std::make_shared<std::string>(answer.body.size() >= 2 ? answer.body : std::string(64, 'x'));
    res.status = answer.status;
    std::string contentType = "application/json";
    for (const auto& [key, value] : answer.headers) {
      if (equalsIgnoreCase(key, "Content-Type")) contentType = value;
      else if (!equalsIgnoreCase(key, "Content-Length")) res.set_header(key, value);
    }
    // Refusing to go on after half makes httplib close the connection.
    res.set_content_provider(body->size(), contentType, [body](size_t offset, size_t, httplib::DataSink& sink) {
      if (offset == 0) sink.write(body->data(), body->size() / 2);
      return false;
    });
  }

  void handle(const httplib::Request& req, httplib::Response& res) {
    const RecordedRequest rec = record(req);
    const std::optional<SandboxFault> fault = takeFault(rec.path);
    if (fault && (fault->hold || fault->delayMs > 0)) {
      std::unique_lock lock(m);
      if (fault->hold) {
        const uint64_t release = releases;
        cv.wait(lock, [&] { return stopping || releases != release; });
      } else {
        cv.wait_for(lock, std::chrono::milliseconds(fault->delayMs), [this] { return stopping; });
      }
      if (stopping) {
        lock.unlock();
        dropConnections(req.local_port, req.remote_port);
        return;
      }
    }
    if (fault && fault->disconnect) {
      dropConnections(req.local_port, req.remote_port);
      return;
    }
    SandboxAnswer answer;
    if (fault && fault->garbage && !fault->truncate) {
      apply(SandboxAnswer{200, garbageBytes(), {{"Content-Type", "application/octet-stream"}}}, res);
      return;
    }
    if (fault && fault->status && !fault->truncate) {
      apply(SandboxAnswer{*fault->status, fault->body, {{"Content-Type", "text/plain"}}}, res);
      return;
    }
    if (auto handler = findRoute(rec.method, rec.path)) {
      answer = (*handler)(rec);  // called without the lock
    } else {
      answer = SandboxAnswer{404, "", {{"Content-Type", "text/plain"}}};
    }
    if (fault && fault->truncate) applyTruncated(answer, res);
    else apply(answer, res);
  }
};

SandboxServer::SandboxServer() : impl_(std::make_shared<Impl>()) {
  Impl* impl = impl_.get();
  auto& s = impl->server;
  s.new_task_queue = [] { return new GrowingTaskQueue(); };
  // httplib waits this long for every request of a connection, the first one
  // included. It must be far longer than a loaded machine may take between
  // connecting and sending: closing a fresh connection before its request
  // arrives is an answer of nothing, which the client rightly reports as a
  // lost connection. stop() ends idle connections itself, so it does not wait
  // for this.
  s.set_keep_alive_timeout(1);
  s.set_keep_alive_max_count(1000);
  // Answers go out in several writes; without this, Nagle's algorithm and
  // delayed acknowledgements add tens of milliseconds to each exchange.
  s.set_tcp_nodelay(true);
  s.set_socket_options([impl](int fd) {
    int yes = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof(yes));
    if (impl->listenFd < 0) impl->listenFd = fd;
  });
  s.set_pre_routing_handler([](const httplib::Request& req, httplib::Response&) {
    // The request object is not const where httplib owns it; renaming the
    // header here keeps httplib from inflating the body before we log it.
    auto& headers = const_cast<httplib::Request&>(req).headers;
    auto range = headers.equal_range("Content-Encoding");
    std::vector<std::string> values;
    for (auto it = range.first; it != range.second; ++it) values.push_back(it->second);
    headers.erase(range.first, range.second);
    for (auto& v : values) headers.emplace(kParkedEncoding, std::move(v));
    return httplib::Server::HandlerResponse::Unhandled;
  });
  auto handler = [impl](const httplib::Request& req, httplib::Response& res) { impl->handle(req, res); };
  s.Get(".*", handler);
  s.Post(".*", handler);
  s.Put(".*", handler);
  s.Patch(".*", handler);
  s.Delete(".*", handler);
  s.Options(".*", handler);
}

SandboxServer::~SandboxServer() { stop(); }

bool SandboxServer::start() {
  {
    std::lock_guard lock(impl_->m);
    if (impl_->started) return false;
    impl_->started = true;
  }
  // A client that hangs up mid-answer must not kill the test process.
  std::signal(SIGPIPE, SIG_IGN);
  impl_->port = impl_->server.bind_to_any_port("127.0.0.1");
  if (impl_->port <= 0) return false;
  // httplib listens with a backlog of 5: a burst of new connections (a pool
  // refilling after cancels) overflows it and the kernel drops SYNs, which
  // costs the client a one-second retransmission. Listening again on the
  // same socket only enlarges the queue.
  if (impl_->listenFd >= 0) listen(impl_->listenFd, 512);
  Impl* impl = impl_.get();
  impl_->listener = std::thread([impl] {
    pthread_setname_np(pthread_self(), "sandbox-listen");
    impl->server.listen_after_bind();
    impl->listenerDone.store(true);
  });
  // stop() only takes effect once the accept loop runs.
  while (!impl_->server.is_running() && !impl_->listenerDone.load()) std::this_thread::yield();
  return !impl_->listenerDone.load();
}

void SandboxServer::stop() {
  {
    std::lock_guard lock(impl_->m);
    if (!impl_->started || impl_->stopping) return;
    impl_->stopping = true;
  }
  impl_->cv.notify_all();
  impl_->server.stop();
  // The listener joins the worker threads; those on idle connections would
  // otherwise wait out the keep-alive time.
  dropConnections(impl_->port, -1);
  if (impl_->listener.joinable()) impl_->listener.join();
}


std::string SandboxServer::baseUrl() const { return "http://127.0.0.1:" + std::to_string(impl_->port); }

std::string SandboxServer::url(std::string_view pathAndQuery) const { return baseUrl() + std::string(pathAndQuery); }

void SandboxServer::route(std::string method, std::string path, SandboxHandler handler) {
  // One step under the lock: a page being replaced is never missing for a
  // request in flight.
  std::lock_guard lock(impl_->m);
  std::erase_if(impl_->routes, [&](const Impl::Route& r) { return r.method == method && r.path == path; });
  impl_->routes.push_back(Impl::Route{std::move(method), std::move(path), std::move(handler)});
}

void SandboxServer::answer(std::string path, int status, std::string body, SandboxHeaders headers) {
  route("*", std::move(path), [a = SandboxAnswer{status, std::move(body), std::move(headers)}](const RecordedRequest&) {
    return a;
  });
}

void SandboxServer::removeRoutes(std::string_view path) {
  std::lock_guard lock(impl_->m);
  std::erase_if(impl_->routes, [&](const Impl::Route& r) { return r.path == path; });
}

void SandboxServer::inject(std::string path, SandboxFault fault) {
  std::lock_guard lock(impl_->m);
  std::erase_if(impl_->faults, [&](const auto& f) { return f.first == path; });
  if (fault.times != 0) impl_->faults.emplace_back(std::move(path), std::move(fault));
}

void SandboxServer::clearFaults() {
  {
    std::lock_guard lock(impl_->m);
    impl_->faults.clear();
  }
  releaseHeld();
}

void SandboxServer::releaseHeld() {
  {
    std::lock_guard lock(impl_->m);
    ++impl_->releases;
  }
  impl_->cv.notify_all();
}

std::vector<RecordedRequest> SandboxServer::requests() const {
  std::lock_guard lock(impl_->m);
  return impl_->log;
}

std::vector<RecordedRequest> SandboxServer::requestsTo(std::string_view path) const {
  std::lock_guard lock(impl_->m);
  std::vector<RecordedRequest> out;
  for (const auto& r : impl_->log)
    if (r.path == path) out.push_back(r);
  return out;
}

size_t SandboxServer::requestCount() const {
  std::lock_guard lock(impl_->m);
  return impl_->log.size();
}

bool SandboxServer::waitForRequests(size_t n, int64_t realTimeoutMs) const {
  std::unique_lock lock(impl_->m);
  return impl_->cv.wait_for(lock, std::chrono::milliseconds(realTimeoutMs), [&] { return impl_->log.size() >= n; });
}

void SandboxServer::clearRequests() {
  std::lock_guard lock(impl_->m);
  impl_->log.clear();
}

}  // namespace qbtest
