// The I/O side of URLSession: one curl multi handle per session in
// socket-action mode. Callers start their transfers themselves; one I/O thread
// waits on the sockets curl asks for (epoll) and on curl's timer, and finishes
// the transfers.
#include <curl/curl.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/timerfd.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <string_view>

#include "platform/net_internal.h"

namespace platform {

namespace {

constexpr long kMaxRedirects = 16;
constexpr double kDefaultTimeoutSeconds = 60;
constexpr size_t kMaxIdleEasyHandles = 16;
constexpr int kMaxEvents = 64;
constexpr const char* kAcceptedEncodings = "gzip, deflate";

std::once_flag g_curlInit;

std::string_view trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r' || s.back() == '\n'))
    s.remove_suffix(1);
  return s;
}

bool hasHeader(const HTTPHeaders& headers, std::string_view name) {
  for (const auto& [key, value] : headers)
    if (equalsIgnoreCase(key, name)) return true;
  return false;
}

bool validHeaderText(std::string_view s) {
  return s.find_first_of("\r\n", 0) == std::string_view::npos && s.find('\0') == std::string_view::npos;
}

// An HTTP method is a token (an empty method means GET). Anything else could
// rewrite the request line.
bool validMethod(std::string_view method) { return method.empty() || isHTTPToken(method); }

size_t onBody(char* data, size_t size, size_t count, void* userdata) {
  auto* core = static_cast<DataTaskCore*>(userdata);
  const size_t n = size * count;
  if (n > core->maxResponseBytes - core->body.size()) {
    // Refused before growing the buffer: a huge answer never gets allocated.
    core->bodyTooLarge = true;
    return 0;
  }
  core->body.append(data, n);
  return n;
}

size_t onHeader(char* data, size_t size, size_t count, void* userdata) {
  auto* core = static_cast<DataTaskCore*>(userdata);
  const size_t n = size * count;
  std::string_view line(data, n);
  if (startsWithIgnoreCase(line, "HTTP/")) {
    // A new status line: interim (1xx) and redirect answers are forgotten.
    core->responseHeaders.clear();
    return n;
  }
  if (!line.empty() && (line.front() == ' ' || line.front() == '\t')) {
    // Folded continuation of the previous header.
    if (!core->responseHeaders.empty()) {
      auto& value = core->responseHeaders.back().second;
      value += ' ';
      value += trim(line);
    }
    return n;
  }
  line = trim(line);
  const size_t colon = line.find(':');
  if (line.empty() || colon == std::string_view::npos || colon == 0) return n;
  core->responseHeaders.emplace_back(std::string(trim(line.substr(0, colon))),
                                     std::string(trim(line.substr(colon + 1))));
  return n;
}

Error errorFor(CURLcode rc, CURL* easy, const DataTaskCore& core) {
  using namespace URLErrorCode;
  const std::string_view detail(core.errorText.data());
  switch (rc) {
    case CURLE_OPERATION_TIMEDOUT: return URLError(TimedOut);
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY: return URLError(CannotFindHost);
    case CURLE_COULDNT_CONNECT: {
      long osErrno = 0;
      curl_easy_getinfo(easy, CURLINFO_OS_ERRNO, &osErrno);
      if (osErrno == ENETUNREACH || osErrno == ENETDOWN) return URLError(NotConnectedToInternet);
      return URLError(CannotConnectToHost);
    }
    case CURLE_RECV_ERROR:
    case CURLE_SEND_ERROR:
    case CURLE_GOT_NOTHING:
    case CURLE_PARTIAL_FILE:
    case CURLE_HTTP2:
    case CURLE_HTTP2_STREAM: return URLError(NetworkConnectionLost);
    case CURLE_UNSUPPORTED_PROTOCOL:
      // curl also reports a server that does not speak HTTP/1.x this way.
      if (detail.find("HTTP/0.9") != std::string_view::npos) return URLError(BadServerResponse);
      return URLError(UnsupportedURL);
    case CURLE_URL_MALFORMAT: return URLError(UnsupportedURL);
    case CURLE_FILESIZE_EXCEEDED: return URLError(DataLengthExceedsMaximum);
    case CURLE_WRITE_ERROR:
      if (core.bodyTooLarge) return URLError(DataLengthExceedsMaximum);
      return URLError(Unknown, std::string(curl_easy_strerror(rc)));
    case CURLE_TOO_MANY_REDIRECTS: return URLError(HTTPTooManyRedirects);
    case CURLE_WEIRD_SERVER_REPLY:
    case CURLE_BAD_CONTENT_ENCODING: return URLError(BadServerResponse);
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_ENGINE_NOTFOUND:
    case CURLE_SSL_ENGINE_SETFAILED:
    case CURLE_SSL_ENGINE_INITFAILED:
    case CURLE_SSL_SHUTDOWN_FAILED: return URLError(SecureConnectionFailed);
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_ISSUER_ERROR:
    case CURLE_SSL_PINNEDPUBKEYNOTMATCH: return URLError(ServerCertificateUntrusted);
    default: break;
  }
  std::string message = curl_easy_strerror(rc);
  if (!detail.empty()) message += ": " + std::string(detail);
  return URLError(Unknown, std::move(message));
}

// Builds the header list; false when a header could smuggle extra lines.
bool buildHeaderList(DataTaskCore& core) {
  for (const auto& [key, value] : core.request.headers) {
    if (key.empty() || key.find(':') != std::string::npos || !validHeaderText(key) || !validHeaderText(value))
      return false;
    // "Name;" is curl's way to send a header with an empty value.
    const std::string line = value.empty() ? key + ";" : key + ": " + value;
    core.headerList = curl_slist_append(core.headerList, line.c_str());
  }
  // No "Expect: 100-continue" round trip before large bodies.
  if (!hasHeader(core.request.headers, "Expect")) core.headerList = curl_slist_append(core.headerList, "Expect:");
  // curl types every POST as a form; a request without a body has no type.
  if (core.request.body.empty() && !hasHeader(core.request.headers, "Content-Type"))
    core.headerList = curl_slist_append(core.headerList, "Content-Type:");
  return true;
}

}  // namespace

std::shared_ptr<URLSessionEngine> URLSessionEngine::create(const URLSessionConfiguration& configuration) {
  return std::shared_ptr<URLSessionEngine>(new URLSessionEngine(configuration));
}

URLSessionEngine::URLSessionEngine(const URLSessionConfiguration& configuration) {
  std::call_once(g_curlInit, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
  multi_ = curl_multi_init();
  curl_multi_setopt(multi_, CURLMOPT_MAX_HOST_CONNECTIONS, configuration.maxConnectionsPerHost);
  curl_multi_setopt(multi_, CURLMOPT_SOCKETFUNCTION, &URLSessionEngine::onSocket);
  curl_multi_setopt(multi_, CURLMOPT_SOCKETDATA, this);
  curl_multi_setopt(multi_, CURLMOPT_TIMERFUNCTION, &URLSessionEngine::onTimer);
  curl_multi_setopt(multi_, CURLMOPT_TIMERDATA, this);
  epoll_ = epoll_create1(EPOLL_CLOEXEC);
  wakeFd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  timerFd_ = timerfd_create(CLOCK_MONOTONIC, TFD_CLOEXEC | TFD_NONBLOCK);
  for (int fd : {wakeFd_, timerFd_}) {
    if (epoll_ < 0 || fd < 0) continue;
    epoll_event ev{};
    ev.events = EPOLLIN;
    ev.data.fd = fd;
    epoll_ctl(epoll_, EPOLL_CTL_ADD, fd, &ev);
  }
  userAgent_ = configuration.userAgent;
}

URLSessionEngine::~URLSessionEngine() {
  shutdown();
  // Only when the last reference went away on the I/O thread itself (its
  // run() holds one), which shutdown() then could not join.
  if (thread_.joinable()) thread_.detach();
  for (void* easy : idleEasy_) curl_easy_cleanup(static_cast<CURL*>(easy));
  curl_multi_cleanup(multi_);
  if (epoll_ >= 0) close(epoll_);
  if (wakeFd_ >= 0) close(wakeFd_);
  if (timerFd_ >= 0) close(timerFd_);
}

int URLSessionEngine::onSocket(void*, int socket, int what, void* engine, void* socketData) {
  auto* self = static_cast<URLSessionEngine*>(engine);
  if (what == CURL_POLL_REMOVE) {
    // curl forgets the socket's mark itself.
    epoll_ctl(self->epoll_, EPOLL_CTL_DEL, socket, nullptr);
    return 0;
  }
  epoll_event ev{};
  ev.events = ((what & CURL_POLL_IN) ? EPOLLIN : 0u) | ((what & CURL_POLL_OUT) ? EPOLLOUT : 0u);
  ev.data.fd = socket;
  if (socketData) {
    epoll_ctl(self->epoll_, EPOLL_CTL_MOD, socket, &ev);
    return 0;
  }
  // A socket curl has not asked for before: added, and marked so that its
  // next changes are modifications.
  if (epoll_ctl(self->epoll_, EPOLL_CTL_ADD, socket, &ev) != 0 && errno == EEXIST) {
    epoll_ctl(self->epoll_, EPOLL_CTL_MOD, socket, &ev);
  }
  curl_multi_assign(static_cast<CURLM*>(self->multi_), socket, self);
  return 0;
}

int URLSessionEngine::onTimer(void*, long timeoutMs, void* engine) {
  auto* self = static_cast<URLSessionEngine*>(engine);
  // A new transfer asks for "now": start() does that itself, without waking
  // the I/O thread.
  if (timeoutMs == 0 && self->startingTransfer_) return 0;
  self->curlDueUs_ = timeoutMs < 0 ? kNever : monotonicNowUs() + int64_t{timeoutMs} * 1000;
  self->armTimer();
  return 0;
}

int64_t URLSessionEngine::monotonicNowUs() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return int64_t{now.tv_sec} * 1'000'000 + now.tv_nsec / 1000;
}

void URLSessionEngine::armTimer() {
  // The descriptor only ever moves earlier: a timer curl no longer wants, or
  // wants later, is left to expire, and the I/O thread then arms it for
  // curl's deadline of that moment. Each transfer asks for its time-out at
  // its start and drops it at its end; this saves both changes.
  if (curlDueUs_ >= timerArmedUs_) return;
  timerArmedUs_ = curlDueUs_;
  // The I/O thread waits on the timer descriptor, so arming it from any
  // thread needs no wake-up; an expired timer wakes it.
  itimerspec due{};
  const int64_t at = std::max<int64_t>(curlDueUs_, 1);
  due.it_value.tv_sec = at / 1'000'000;
  due.it_value.tv_nsec = (at % 1'000'000) * 1000;
  timerfd_settime(timerFd_, TFD_TIMER_ABSTIME, &due, nullptr);
}

bool URLSessionEngine::start(const std::shared_ptr<DataTaskCore>& core) {
  std::vector<Finished> finished;
  {
    std::lock_guard lock(m_);
    if (stopping_ || epoll_ < 0 || wakeFd_ < 0 || timerFd_ < 0) return false;
    if (!started_) {
      started_ = true;
      // The thread keeps the engine alive while it runs; shutdown() ends it.
      thread_ = std::thread([self = shared_from_this()] { self->run(); });
    }
    startTransfer(core, finished);
  }
  // Posted, never run here: this is the caller's resume().
  for (auto& f : finished) f.core->deliver(std::move(f.result));
  return true;
}

void URLSessionEngine::cancel(const std::shared_ptr<DataTaskCore>& core) {
  std::lock_guard lock(m_);
  if (!core->easy) return;  // not started, or already finished
  running_.erase(core->easy);
  releaseTransfer(*core);
}

void URLSessionEngine::shutdown() {
  {
    std::lock_guard lock(m_);
    if (stopping_) return;
    stopping_ = true;
    if (started_) {
      const uint64_t one = 1;
      [[maybe_unused]] auto written = write(wakeFd_, &one, sizeof(one));
    }
  }
  if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) thread_.join();
  // A session released by a completion running on the I/O thread: run()
  // sees stopping_ when that completion returns and ends the transfers.
}

void URLSessionEngine::run() {
  setCurrentThreadName("qb-net-io");
  std::array<epoll_event, kMaxEvents> events{};
  for (;;) {
    const int n = epoll_wait(epoll_, events.data(), kMaxEvents, -1);
    std::vector<Finished> finished;
    {
      std::lock_guard lock(m_);
      if (stopping_) break;
      int stillRunning = 0;
      bool timerDue = false;
      for (int i = 0; i < n; ++i) {
        const int fd = events[i].data.fd;
        if (fd == wakeFd_ || fd == timerFd_) {
          uint64_t count = 0;
          [[maybe_unused]] auto got = read(fd, &count, sizeof(count));
          timerDue = timerDue || fd == timerFd_;
          continue;
        }
        // An event may name a socket curl closed meanwhile (or a new one with
        // its number): curl ignores or retries what it does not expect.
        int mask = 0;
        if (events[i].events & (EPOLLIN | EPOLLHUP)) mask |= CURL_CSELECT_IN;
        if (events[i].events & EPOLLOUT) mask |= CURL_CSELECT_OUT;
        if (events[i].events & EPOLLERR) mask |= CURL_CSELECT_ERR;
        curl_multi_socket_action(multi_, fd, mask, &stillRunning);
      }
      if (timerDue) {
        timerArmedUs_ = kNever;
        if (curlDueUs_ <= monotonicNowUs()) {
          curl_multi_socket_action(multi_, CURL_SOCKET_TIMEOUT, 0, &stillRunning);
          // curl calls back only when its next deadline changed; asked here,
          // the descriptor never stays unarmed under a deadline it still has.
          long nextMs = -1;
          curl_multi_timeout(multi_, &nextMs);
          curlDueUs_ = nextMs < 0 ? kNever : monotonicNowUs() + int64_t{nextMs} * 1000;
        }
        armTimer();
      }
      collectFinished(finished, /*release=*/false);
    }
    if (finished.empty()) continue;
    for (auto& f : finished) f.core->deliver(std::move(f.result), /*mayRunHere=*/true);
    // The finished handles are taken out of the multi handle and reset after
    // their completions were handed on, not before: that work is no part of
    // the answer's way to its caller.
    std::lock_guard lock(m_);
    for (auto& f : finished) releaseTransfer(*f.core);
  }
  std::vector<std::shared_ptr<DataTaskCore>> left;
  {
    std::lock_guard lock(m_);
    for (auto& [easy, core] : running_) {
      releaseTransfer(*core);
      left.push_back(std::move(core));
    }
    running_.clear();
  }
  for (auto& core : left) core->deliver(DataTaskResult{{}, {}, URLError(URLErrorCode::Cancelled)});
}

void URLSessionEngine::startTransfer(const std::shared_ptr<DataTaskCore>& core, std::vector<Finished>& finished) {
  if (core->finished.load()) return;  // cancelled before it started
  DataTaskCore& c = *core;
  if (!validMethod(c.request.method)) {
    finished.push_back({core, DataTaskResult{{}, {}, URLError(URLErrorCode::BadURL, "invalid HTTP method")}});
    return;
  }
  if (!buildHeaderList(c)) {
    releaseTransfer(c);
    finished.push_back({core, DataTaskResult{{}, {}, URLError(URLErrorCode::BadURL, "invalid HTTP header field")}});
    return;
  }
  CURL* easy = takeEasyHandle();
  if (!easy) {
    releaseTransfer(c);
    finished.push_back({core, DataTaskResult{{}, {}, URLError(URLErrorCode::Unknown, "out of memory")}});
    return;
  }
  c.easy = easy;
  c.errorText[0] = '\0';
  c.bodyTooLarge = false;
  const URLRequest& r = c.request;
  const double timeout = r.timeoutSeconds > 0 ? r.timeoutSeconds : kDefaultTimeoutSeconds;
  const long timeoutMs = static_cast<long>(std::ceil(std::min(timeout, 1e6) * 1000));

  // What every transfer sets; the rest was set when the handle was made.
  curl_easy_setopt(easy, CURLOPT_URL, r.url.c_str());
  curl_easy_setopt(easy, CURLOPT_PRIVATE, core.get());
  curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, c.errorText.data());
  curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, r.followRedirects ? 1L : 0L);
  curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS, timeoutMs);
  curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, timeoutMs);
  curl_easy_setopt(easy, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(c.maxResponseBytes));
  curl_easy_setopt(easy, CURLOPT_WRITEDATA, core.get());
  curl_easy_setopt(easy, CURLOPT_HEADERDATA, core.get());
  curl_easy_setopt(easy, CURLOPT_HTTPHEADER, c.headerList);

  // The method, set whole each time: a kept handle still holds the last
  // transfer's.
  const std::string_view method = r.method.empty() ? std::string_view("GET") : std::string_view(r.method);
  curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, nullptr);
  if (equalsIgnoreCase(method, "HEAD")) {
    curl_easy_setopt(easy, CURLOPT_NOBODY, 1L);
  } else if (equalsIgnoreCase(method, "POST") || !r.body.empty()) {
    curl_easy_setopt(easy, CURLOPT_NOBODY, 0L);
    curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(r.body.size()));
    curl_easy_setopt(easy, CURLOPT_POSTFIELDS, r.body.data());
    if (!equalsIgnoreCase(method, "POST")) curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, r.method.c_str());
  } else {
    // GET also ends a previous transfer's POST or HEAD.
    curl_easy_setopt(easy, CURLOPT_HTTPGET, 1L);
    if (!equalsIgnoreCase(method, "GET")) curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, r.method.c_str());
  }

  startingTransfer_ = true;
  const CURLMcode added = curl_multi_add_handle(multi_, easy);
  startingTransfer_ = false;
  if (added != CURLM_OK) {
    releaseTransfer(c);
    finished.push_back({core, DataTaskResult{{}, {}, URLError(URLErrorCode::Unknown, "could not start the transfer")}});
    return;
  }
  running_.emplace(easy, core);
  // Drives what is due now, this transfer included: on a kept connection the
  // request is sent from here.
  int stillRunning = 0;
  curl_multi_socket_action(multi_, CURL_SOCKET_TIMEOUT, 0, &stillRunning);
  collectFinished(finished);
}

void URLSessionEngine::collectFinished(std::vector<Finished>& finished, bool release) {
  int left = 0;
  while (CURLMsg* msg = curl_multi_info_read(multi_, &left)) {
    if (msg->msg != CURLMSG_DONE) continue;
    CURL* easy = msg->easy_handle;
    const CURLcode rc = msg->data.result;
    auto it = running_.find(easy);
    if (it == running_.end()) continue;
    std::shared_ptr<DataTaskCore> core = std::move(it->second);
    running_.erase(it);

    DataTaskResult result;
    long status = 0;
    curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status);
    if (rc == CURLE_OK && status > 0) {
      HTTPURLResponse response;
      response.statusCode = static_cast<int>(status);
      char* effective = nullptr;
      curl_easy_getinfo(easy, CURLINFO_EFFECTIVE_URL, &effective);
      response.url = effective ? effective : core->request.url;
      response.headers = std::move(core->responseHeaders);
      result.response = std::move(response);
      result.body = std::move(core->body);
    } else if (rc == CURLE_OK) {
      result.error = URLError(URLErrorCode::BadServerResponse);
    } else {
      result.error = errorFor(rc, easy, *core);
    }
    if (release) releaseTransfer(*core);
    finished.push_back({std::move(core), std::move(result)});
  }
}

void* URLSessionEngine::takeEasyHandle() {
  if (!idleEasy_.empty()) {
    void* easy = idleEasy_.back();
    idleEasy_.pop_back();
    return easy;
  }
  CURL* easy = curl_easy_init();
  if (!easy) return nullptr;
  // The options that are the same for every transfer of this session, set
  // once: a handle is kept with them for the next transfer (never reset).
  curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(easy, CURLOPT_MAXREDIRS, kMaxRedirects);
  // Compressed answers are accepted and decoded, as the platform does; the
  // size cap applies to the decoded body. Only gzip and deflate are offered
  // (zlib, which the library links anyway): the library's own protocols
  // compress their bodies themselves, and every further coding curl knows
  // would only add work on both sides.
  curl_easy_setopt(easy, CURLOPT_ACCEPT_ENCODING, kAcceptedEncodings);
  curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &onBody);
  curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &onHeader);
  if (!userAgent_.empty()) curl_easy_setopt(easy, CURLOPT_USERAGENT, userAgent_.c_str());
  return easy;
}

void URLSessionEngine::releaseTransfer(DataTaskCore& core) {
  if (core.easy) {
    CURL* easy = static_cast<CURL*>(core.easy);
    curl_multi_remove_handle(multi_, easy);
    if (idleEasy_.size() < kMaxIdleEasyHandles) {
      // Kept with its buffers and its per-session options; nothing of the
      // task stays pointed at (its next transfer sets these anew).
      curl_easy_setopt(easy, CURLOPT_PRIVATE, nullptr);
      curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, nullptr);
      curl_easy_setopt(easy, CURLOPT_WRITEDATA, nullptr);
      curl_easy_setopt(easy, CURLOPT_HEADERDATA, nullptr);
      curl_easy_setopt(easy, CURLOPT_HTTPHEADER, nullptr);
      curl_easy_setopt(easy, CURLOPT_POSTFIELDS, nullptr);
      idleEasy_.push_back(easy);
    } else {
      curl_easy_cleanup(easy);
    }
    core.easy = nullptr;
  }
  if (core.headerList) {
    curl_slist_free_all(core.headerList);
    core.headerList = nullptr;
  }
  core.responseHeaders.clear();
  core.body.clear();
  core.body.shrink_to_fit();
}

}  // namespace platform
