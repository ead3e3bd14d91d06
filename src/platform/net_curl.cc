// The I/O side of URLSession: one curl multi handle per session, driven by one
// thread that waits in curl_multi_poll and is woken by curl_multi_wakeup when
// work is handed to it.
#include <curl/curl.h>

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
constexpr int kIdlePollMs = 1000;

std::once_flag g_curlInit;

std::string_view trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r' || s.back() == '\n'))
    s.remove_suffix(1);
  return s;
}

bool startsWithIgnoreCase(std::string_view s, std::string_view prefix) {
  if (s.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(s[i])) != std::tolower(static_cast<unsigned char>(prefix[i])))
      return false;
  return true;
}

bool hasHeader(const HTTPHeaders& headers, std::string_view name) {
  for (const auto& [key, value] : headers)
    if (key.size() == name.size() && startsWithIgnoreCase(key, name)) return true;
  return false;
}

bool validHeaderText(std::string_view s) {
  return s.find_first_of("\r\n", 0) == std::string_view::npos && s.find('\0') == std::string_view::npos;
}

std::string upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

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
  userAgent_ = configuration.userAgent;
}

URLSessionEngine::~URLSessionEngine() {
  shutdown();
  curl_multi_cleanup(multi_);
}

bool URLSessionEngine::submit(const std::shared_ptr<DataTaskCore>& core) {
  std::lock_guard lock(m_);
  if (stopping_) return false;
  toStart_.push_back(core);
  if (!started_) {
    started_ = true;
    // The thread only runs while this engine exists: shutdown() joins it.
    thread_ = std::thread([this] { run(); });
  } else {
    curl_multi_wakeup(multi_);
  }
  return true;
}

void URLSessionEngine::cancel(const std::shared_ptr<DataTaskCore>& core) {
  std::lock_guard lock(m_);
  if (stopping_ || !started_) return;
  toDrop_.push_back(core);
  curl_multi_wakeup(multi_);
}

void URLSessionEngine::shutdown() {
  {
    std::lock_guard lock(m_);
    if (stopping_) return;
    stopping_ = true;
    if (started_) curl_multi_wakeup(multi_);
  }
  if (thread_.joinable()) {
    if (thread_.get_id() == std::this_thread::get_id())
      thread_.detach();
    else
      thread_.join();
  }
  // Tasks resumed before the thread ever started.
  std::vector<std::shared_ptr<DataTaskCore>> left;
  {
    std::lock_guard lock(m_);
    left.swap(toStart_);
  }
  for (auto& core : left) core->deliver(DataTaskResult{{}, {}, URLError(URLErrorCode::Cancelled)});
}

void URLSessionEngine::run() {
  for (;;) {
    std::vector<std::shared_ptr<DataTaskCore>> toStart, toDrop;
    bool stopping = false;
    {
      std::lock_guard lock(m_);
      toStart.swap(toStart_);
      toDrop.swap(toDrop_);
      stopping = stopping_;
    }
    for (auto& core : toDrop) {
      if (!core->easy) continue;  // not started yet, or already finished
      running_.erase(core->easy);
      releaseTransfer(*core);
    }
    if (stopping) {
      for (auto& core : toStart) core->deliver(DataTaskResult{{}, {}, URLError(URLErrorCode::Cancelled)});
      auto running = std::move(running_);
      running_.clear();
      for (auto& [easy, core] : running) {
        releaseTransfer(*core);
        core->deliver(DataTaskResult{{}, {}, URLError(URLErrorCode::Cancelled)});
      }
      return;
    }
    for (auto& core : toStart) startTransfer(core);

    int stillRunning = 0;
    curl_multi_perform(multi_, &stillRunning);
    finishTransfers();
    curl_multi_poll(multi_, nullptr, 0, kIdlePollMs, nullptr);
  }
}

void URLSessionEngine::startTransfer(const std::shared_ptr<DataTaskCore>& core) {
  if (core->finished.load()) return;  // cancelled before it reached this thread
  DataTaskCore& c = *core;
  if (!buildHeaderList(c)) {
    releaseTransfer(c);
    c.deliver(DataTaskResult{{}, {}, URLError(URLErrorCode::BadURL, "invalid HTTP header field")});
    return;
  }
  CURL* easy = curl_easy_init();
  if (!easy) {
    releaseTransfer(c);
    c.deliver(DataTaskResult{{}, {}, URLError(URLErrorCode::Unknown, "out of memory")});
    return;
  }
  c.easy = easy;
  c.errorText[0] = '\0';
  const URLRequest& r = c.request;
  const double timeout = r.timeoutSeconds > 0 ? r.timeoutSeconds : kDefaultTimeoutSeconds;
  const long timeoutMs = static_cast<long>(std::ceil(std::min(timeout, 1e6) * 1000));

  curl_easy_setopt(easy, CURLOPT_URL, r.url.c_str());
  curl_easy_setopt(easy, CURLOPT_PRIVATE, core.get());
  curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, c.errorText.data());
  curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, r.followRedirects ? 1L : 0L);
  curl_easy_setopt(easy, CURLOPT_MAXREDIRS, kMaxRedirects);
  curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS, timeoutMs);
  curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, timeoutMs);
  // Compressed answers are accepted and decoded, as the platform does; the
  // size cap applies to the decoded body.
  curl_easy_setopt(easy, CURLOPT_ACCEPT_ENCODING, "");
  curl_easy_setopt(easy, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(c.maxResponseBytes));
  curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &onBody);
  curl_easy_setopt(easy, CURLOPT_WRITEDATA, core.get());
  curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &onHeader);
  curl_easy_setopt(easy, CURLOPT_HEADERDATA, core.get());
  if (!userAgent_.empty()) curl_easy_setopt(easy, CURLOPT_USERAGENT, userAgent_.c_str());
  curl_easy_setopt(easy, CURLOPT_HTTPHEADER, c.headerList);

  const std::string method = upper(r.method.empty() ? std::string("GET") : r.method);
  if (method == "HEAD") {
    curl_easy_setopt(easy, CURLOPT_NOBODY, 1L);
  } else if (method == "POST" || !r.body.empty()) {
    curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(r.body.size()));
    curl_easy_setopt(easy, CURLOPT_POSTFIELDS, r.body.data());
    if (method != "POST") curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, r.method.c_str());
  } else if (method == "GET") {
    curl_easy_setopt(easy, CURLOPT_HTTPGET, 1L);
  } else {
    curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, r.method.c_str());
  }

  if (curl_multi_add_handle(multi_, easy) != CURLM_OK) {
    releaseTransfer(c);
    c.deliver(DataTaskResult{{}, {}, URLError(URLErrorCode::Unknown, "could not start the transfer")});
    return;
  }
  running_.emplace(easy, core);
}

void URLSessionEngine::finishTransfers() {
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
    releaseTransfer(*core);
    core->deliver(std::move(result));
  }
}

void URLSessionEngine::releaseTransfer(DataTaskCore& core) {
  if (core.easy) {
    curl_multi_remove_handle(multi_, core.easy);
    curl_easy_cleanup(core.easy);
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
