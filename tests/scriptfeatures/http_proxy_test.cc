// The page's HTTP proxy ("sendHttpRequest") against the loopback sandbox on
// the test clock: requests built from what the page sends, the replies with
// their order and encoding, retries, the background task and its expiry next
// to a request of the SDK itself.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <string_view>
#include <thread>

#include "core/QBAuctionSettings.h"
#include "scriptfeatures_test_support.h"
#include "mediation/QBAuctionHandler.h"
#include "ownnetwork/services/PlovermarkLogManager.h"
#include "platform/test_environment.h"
#include "platform/ui/application.h"
#include "scriptfeatures/PMAJSInterfaceHandler.h"
#include "scriptfeatures/http/QBControllerAPIRequest.h"
#include "support/sandbox_auction.h"
#include "support/sandbox_server.h"

namespace httpproxy {

using sftest::Reply;
using platform::Json;
using qbtest::SandboxServer;

// Holds a route's answers until opened (server threads wait on it).
// Holds a server's answer until opened. A copy shares the gate, and the
// server's routes keep theirs: a handler thread still returning from wait()
// when the test ends never touches a gate that is gone.
class Gate {
 public:
  void open() const {
    {
      std::lock_guard lock(state_->mutex);
      state_->open = true;
    }
    state_->cv.notify_all();
  }
  void wait() const {
    std::unique_lock lock(state_->mutex);
    state_->cv.wait_for(lock, std::chrono::seconds(20), [this] { return state_->open; });
  }

 private:
  struct State {
    std::mutex mutex;
    std::condition_variable cv;
    bool open = false;
  };
  std::shared_ptr<State> state_ = std::make_shared<State>();
};

// Opens the gates when the test ends, whatever it asserted.
struct OpenAtEnd {
  std::vector<Gate> gates;
  ~OpenAtEnd() {
    for (const auto& gate : gates) gate.open();
  }
};

// A loopback server that keeps every request exactly as its bytes came over
// the wire (one text per connection), answers "200 ok" and closes. It reads a
// request up to the end of its header and then as much body as its
// Content-Length announces, waiting at most half a second for bytes that do
// not come.
class WireServer {
 public:
  ~WireServer() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    if (listener_ >= 0) close(listener_);
  }
  bool start() {
    listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (listener_ < 0 || bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(listener_, 16) != 0 || getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
      return false;
    }
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { serve(); });
    return true;
  }
  std::string url(const std::string& path) const { return "http://127.0.0.1:" + std::to_string(port_) + path; }
  std::string host() const { return "127.0.0.1:" + std::to_string(port_); }
  std::vector<std::string> requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
  }

 private:
  // Appends what arrives within 500 ms; false when nothing did.
  static bool readMore(int fd, std::string& into) {
    pollfd waiting{fd, POLLIN, 0};
    if (poll(&waiting, 1, 500) <= 0) return false;
    char buffer[4096];
    const ssize_t n = read(fd, buffer, sizeof buffer);
    if (n <= 0) return false;
    into.append(buffer, static_cast<size_t>(n));
    return true;
  }
  static std::string readRequest(int fd) {
    std::string bytes;
    while (bytes.find("\r\n\r\n") == std::string::npos) {
      if (!readMore(fd, bytes)) return bytes;
    }
    const size_t bodyStart = bytes.find("\r\n\r\n") + 4;
    const size_t at = bytes.find("\r\nContent-Length: ");
    const size_t announced = at < bodyStart ? std::strtoull(bytes.c_str() + at + 18, nullptr, 10) : 0;
    while (bytes.size() - bodyStart < announced && readMore(fd, bytes)) {
    }
    return bytes;
  }
  void serve() {
    while (!stop_) {
      pollfd waiting{listener_, POLLIN, 0};
      if (poll(&waiting, 1, 20) <= 0) continue;
      const int fd = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
      if (fd < 0) continue;
      std::string request = readRequest(fd);
      {
        std::lock_guard lock(mutex_);
        requests_.push_back(std::move(request));
      }
      constexpr std::string_view kAnswer = "HTTP/1.1 200 OK\r\nContent-Length: 2\r\nConnection: close\r\n\r\nok";
      [[maybe_unused]] const ssize_t written = write(fd, kAnswer.data(), kAnswer.size());
      close(fd);
    }
  }

  int listener_ = -1;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  std::thread thread_;
  mutable std::mutex mutex_;
  std::vector<std::string> requests_;
};

class HttpProxyTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    server_ = new SandboxServer();
    started_ = server_->start();
  }
  static void TearDownTestSuite() {
    delete server_;
    server_ = nullptr;
  }

  HttpProxyTest() {
    platform::Application::shared().resetForTesting();
    server().clearRequests();
    server().clearFaults();
    handler = std::dynamic_pointer_cast<PMAJSInterfaceHandler>(
        sftest::registeredFactories().jsInterfaceHandler(publisher));
  }
  ~HttpProxyTest() override {
    handler.reset();  // cancels what is left
    env.runUntilIdle();
    platform::Application::shared().resetForTesting();
    QBNScriptHandlerFactories::resetForTesting();
  }
  void SetUp() override {
    ASSERT_TRUE(started_) << "the sandbox did not start";
    ASSERT_TRUE(handler);
  }

  static SandboxServer& server() { return *server_; }
  std::shared_ptr<QBHTTPRequestsDispatcher> dispatcher() const { return handler->requestsDispatcher(); }

  // The page's "sendHttpRequest" with these values (plus "success" "ok" and
  // "fail" "ko").
  void send(Json params) {
    params["success"] = "ok";
    params["fail"] = "ko";
    handler->sendHTTPRequest(sftest::pageRequest(params));
  }
  bool awaitReplies(size_t n) {
    return env.runUntil([&] { return publisher->page->count() >= n; });
  }
  bool awaitRetryWaiting(size_t n) {
    return env.runUntil([&] { return dispatcher()->retriesWaitingCount() == n; });
  }

  static Reply started(const std::string& identifier) {
    return Reply{"ok", {{"identifier", identifier}, {"status", "requestStarted"}}, 1};
  }
  static Reply failed(const std::string& message, const std::optional<std::string>& identifier) {
    Json params{{"errMsg", message}, {"status", "requestError"}};
    if (identifier) params["identifier"] = *identifier;
    return Reply{"ko", params, 1};
  }

  static inline SandboxServer* server_ = nullptr;
  static inline bool started_ = false;

  platform::TestEnvironment env;
  platform::Application& app = platform::Application::shared();
  std::shared_ptr<sftest::OneTokenPublisher> publisher = std::make_shared<sftest::OneTokenPublisher>();
  std::shared_ptr<PMAJSInterfaceHandler> handler;
};

// ------------------------------------------------------------------ building

TEST_F(HttpProxyTest, RequestsAreBuiltFromWhatThePageSends) {
  const struct {
    const char* name;
    Json params;
    std::string method;
    bool ignoreLocalCache;
    double timeout;
    platform::HTTPHeaders headers;
    std::string body;
  } rows[] = {
      {"the least", {{"url", "http://h/a"}, {"identifier", "r1"}}, "GET", true, 60, {}, ""},
      {"everything",
       {{"url", "http://h/a?x=1+2"},
        {"identifier", "r1"},
        {"type", "post"},
        {"cache", "true"},
        {"timeout", "2.5"},
        {"headers", {{"X-Sig", "a+b="}, {"X-N", 5}, {"X-B", true}}},
        {"data", "a+b%2Fc"}},
       "POST", false, 2.5, {{"X-Sig", "a+b="}, {"X-N", "5"}, {"X-B", "1"}}, "a+b%2Fc"},
      {"cache no", {{"url", "http://h"}, {"identifier", "r1"}, {"cache", "no"}}, "GET", true, 60, {}, ""},
      {"cache YES", {{"url", "http://h"}, {"identifier", "r1"}, {"cache", "YES"}}, "GET", false, 60, {}, ""},
      {"timeout 0", {{"url", "http://h"}, {"identifier", "r1"}, {"timeout", "0"}}, "GET", true, 60, {}, ""},
      {"timeout negative", {{"url", "http://h"}, {"identifier", "r1"}, {"timeout", "-3"}}, "GET", true, 60, {}, ""},
      {"timeout words", {{"url", "http://h"}, {"identifier", "r1"}, {"timeout", "soon"}}, "GET", true, 60, {}, ""},
      {"timeout leading number", {{"url", "http://h"}, {"identifier", "r1"}, {"timeout", " 7.5s"}}, "GET", true, 7.5, {}, ""},
      {"timeout huge", {{"url", "http://h"}, {"identifier", "r1"}, {"timeout", "1e9"}}, "GET", true, 600, {}, ""},
      {"timeout past a double", {{"url", "http://h"}, {"identifier", "r1"}, {"timeout", "1e999"}}, "GET", true, 600, {}, ""},
      {"timeout nan", {{"url", "http://h"}, {"identifier", "r1"}, {"timeout", "nan"}}, "GET", true, 60, {}, ""},
      {"timeout tiny", {{"url", "http://h"}, {"identifier", "r1"}, {"timeout", "1e-999"}}, "GET", true, 60, {}, ""},
      {"empty type", {{"url", "http://h"}, {"identifier", "r1"}, {"type", ""}}, "GET", true, 60, {}, ""},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    const auto request = handler->requestFromControllerParams(sftest::pageRequest(row.params));
    ASSERT_TRUE(request);
    EXPECT_EQ(request->url, row.params["url"].get<std::string>());
    EXPECT_EQ(QBControllerAPIRequest::getQBuniqueIdentifier(*request), "r1");
    EXPECT_EQ(request->method, row.method);
    EXPECT_EQ(request->ignoreLocalCache, row.ignoreLocalCache);
    EXPECT_EQ(request->timeoutSeconds, row.timeout);
    EXPECT_EQ(request->headers, row.headers);
    EXPECT_EQ(request->body, row.body);
  }
}

TEST_F(HttpProxyTest, ARequestThatCannotBeMadeAnswersOnlyTheFailureWithoutIdentifier) {
  const std::string url = server().url("/never");
  const struct {
    const char* name;
    Json params;
  } rows[] = {
      {"no identifier", {{"url", url}}},
      {"empty identifier", {{"url", url}, {"identifier", ""}}},
      {"no url", {{"identifier", "r1"}}},
      {"headers not JSON", {{"url", url}, {"identifier", "r1"}, {"headers", "{X-A: 1"}}},
      {"headers a list", {{"url", url}, {"identifier", "r1"}, {"headers", Json::array({"X-A", "1"})}}},
      {"header value an object", {{"url", url}, {"identifier", "r1"}, {"headers", {{"X-A", {{"b", 1}}}}}}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    send(row.params);
    env.runUntilIdle();
    EXPECT_EQ(publisher->page->take(), std::vector<Reply>{failed("unable to create request object", std::nullopt)});
  }
  EXPECT_EQ(server().requestCount(), 0u);
}

TEST_F(HttpProxyTest, AnUnsupportedSchemeAnswersStartedThenTheFailureAndSendsNothing) {
  const std::string hostAndPath = server().baseUrl().substr(std::string("http://").size()) + "/file";
  for (const std::string& url : std::vector<std::string>{"ftp://" + hostAndPath, "file:///etc/hosts", "HTTP://" + hostAndPath,
                                                        "//" + hostAndPath, "not a url", "javascript:alert(1)"}) {
    SCOPED_TRACE(url);
    send({{"url", url}, {"identifier", "r1"}});
    EXPECT_EQ(publisher->page->count(), 0u);  // posted, never inside the command
    env.runUntilIdle();
    EXPECT_EQ(publisher->page->take(),
              (std::vector<Reply>{started("r1"), failed("failed to send request, reason: Unsupported Url Scheme", "r1")}));
  }
  EXPECT_EQ(server().requestCount(), 0u);
}

TEST_F(HttpProxyTest, AMethodOrHeaderThatCouldRewriteTheRequestIsNeverSent) {
  const struct {
    const char* name;
    Json params;
    std::string reason;
  } rows[] = {
      {"method with a request line", {{"type", "GET /evil HTTP/1.1\r\nX-Injected: 1\r\n\r\nGET"}}, "invalid HTTP method"},
      {"method with a space", {{"type", "GET /evil"}}, "invalid HTTP method"},
      {"header value with a line", {{"headers", {{"X-A", "1\r\nX-Injected: 2"}}}}, "invalid HTTP header field"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    Json params = row.params;
    params["url"] = server().url("/never");
    params["identifier"] = "r1";
    send(params);
    ASSERT_TRUE(awaitReplies(2));
    EXPECT_EQ(publisher->page->take()[1], failed("failed to send request, reason: " + row.reason, "r1"));
  }
  EXPECT_EQ(server().requestCount(), 0u);
}

// The URL session alone frames and routes the request: a page's field that
// would decide its length, its encoding, its host, its connection or a proxy
// is refused whole, as is a field name that is no HTTP token, and nothing
// reaches the wire. The page's other fields go exactly as given.
TEST_F(HttpProxyTest, FieldsThatFrameOrRouteTheRequestNeverReachTheWire) {
  WireServer wire;
  ASSERT_TRUE(wire.start());
  const struct {
    const char* name;
    Json headers;
    std::string reason;
  } rows[] = {
      {"a longer length", {{"Content-Length", "5"}}, "Reserved header field: Content-Length"},
      {"chunked", {{"Transfer-Encoding", "chunked"}}, "Reserved header field: Transfer-Encoding"},
      {"another host", {{"Host", "evil.example"}}, "Reserved header field: Host"},
      {"lower case", {{"host", "evil.example"}}, "Reserved header field: host"},
      {"the connection", {{"Connection", "close"}}, "Reserved header field: Connection"},
      {"an upgrade", {{"Upgrade", "websocket"}}, "Reserved header field: Upgrade"},
      {"TE", {{"te", "trailers"}}, "Reserved header field: te"},
      {"a trailer", {{"Trailer", "X-Late"}}, "Reserved header field: Trailer"},
      {"expect", {{"EXPECT", "100-continue"}}, "Reserved header field: EXPECT"},
      {"a proxy's credentials", {{"Proxy-Authorization", "Basic eDp5"}}, "Reserved header field: Proxy-Authorization"},
      {"a proxy's connection", {{"proxy-connection", "keep-alive"}}, "Reserved header field: proxy-connection"},
      {"after a field that may go", {{"X-Fine", "1"}, {"Content-Length", "0"}}, "Reserved header field: Content-Length"},
      {"a name with a space", {{"X C", "1"}}, "Invalid header field name: X C"},
      {"a name with a bracket", {{"X(C)", "1"}}, "Invalid header field name: X(C)"},
      {"a name with a colon", {{"X:C", "1"}}, "Invalid header field name: X:C"},
      {"an empty name", {{"", "1"}}, "Invalid header field name: "},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    send({{"url", wire.url("/framed")}, {"identifier", "r1"}, {"type", "post"}, {"data", "abc"}, {"headers", row.headers}});
    ASSERT_TRUE(awaitReplies(2));
    EXPECT_EQ(publisher->page->take(),
              (std::vector<Reply>{started("r1"), failed("failed to send request, reason: " + row.reason, "r1")}));
  }
  EXPECT_EQ(wire.requests(), std::vector<std::string>{});

  send({{"url", wire.url("/framed")},
        {"identifier", "r2"},
        {"type", "post"},
        {"data", "abc"},
        {"headers", {{"X-Page", "a b"}, {"Content-Type", "text/plain"}}}});
  ASSERT_TRUE(awaitReplies(2));
  EXPECT_EQ(publisher->page->replies()[1].params["data"], "ok");
  const auto requests = wire.requests();
  ASSERT_EQ(requests.size(), 1u);
  const std::string& bytes = requests[0];
  EXPECT_EQ(bytes.rfind("POST /framed HTTP/1.1\r\n", 0), 0u) << bytes;
  EXPECT_NE(bytes.find("\r\nHost: " + wire.host() + "\r\n"), std::string::npos) << bytes;
  EXPECT_NE(bytes.find("\r\nX-Page: a b\r\n"), std::string::npos) << bytes;
  EXPECT_NE(bytes.find("\r\nContent-Type: text/plain\r\n"), std::string::npos) << bytes;
  EXPECT_NE(bytes.find("\r\nContent-Length: 3\r\n\r\nabc"), std::string::npos) << bytes;
  EXPECT_EQ(bytes.size(), bytes.find("\r\n\r\n") + 4 + 3) << bytes;
}

// Refused requests count against the page: of a burst of 50, 20 are answered
// at once and the others one every 100 ms, in order; 2 s without a refusal
// give the allowance back. The "not sent" line is written once, then at most
// once a second, saying how many were held back. 100 chains that ask again at
// each refusal get about 120 answers in 10 s, not one every turn of the
// queues.
TEST_F(HttpProxyTest, RefusedRequestsAreAnsweredAtThePagesPaceAndLoggedOnceASecond) {
  std::vector<std::string> lines;
  PlovermarkLogManager::sharedManager().setRequiredDebugMode(3);
  PlovermarkLogManager::setConsoleWriterForTesting([&lines](const std::string& line) {
    if (line.find("QBHTTPRequestsDispatcher | not sent") != std::string::npos) lines.push_back(line);
  });
  struct Restore {
    ~Restore() {
      PlovermarkLogManager::setConsoleWriterForTesting(nullptr);
      PlovermarkLogManager::sharedManager().resetForTesting();
    }
  } restore;
  const auto refusedIdentifiers = [this] {
    std::vector<std::string> out;
    for (const auto& reply : publisher->page->replies()) {
      if (reply.function != "ko") continue;
      EXPECT_EQ(reply.params["errMsg"], "failed to send request, reason: Unsupported Url Scheme");
      out.push_back(reply.params["identifier"].get<std::string>());
    }
    return out;
  };

  std::vector<std::string> burst;
  for (int i = 0; i < 50; ++i) {
    burst.push_back("r" + std::to_string(i));
    send({{"url", "ftp://h/f"}, {"identifier", burst.back()}});
  }
  env.runUntilIdle();
  EXPECT_EQ(refusedIdentifiers(), std::vector<std::string>(burst.begin(), burst.begin() + 20));
  env.advance(99);
  EXPECT_EQ(refusedIdentifiers().size(), 20u);
  env.advance(1);
  EXPECT_EQ(refusedIdentifiers().size(), 21u);
  env.advance(2900);
  EXPECT_EQ(refusedIdentifiers(), burst);
  EXPECT_EQ(dispatcher()->refusalsWaitingCount(), 0u);
  EXPECT_EQ(lines, std::vector<std::string>{"QBHTTPRequestsDispatcher | not sent: Unsupported Url Scheme"});
  publisher->page->take();

  env.advance(2000);
  for (int i = 0; i < 20; ++i) send({{"url", "ftp://h/f"}, {"identifier", "again"}});
  env.runUntilIdle();
  EXPECT_EQ(refusedIdentifiers().size(), 20u);
  EXPECT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines.back(), "QBHTTPRequestsDispatcher | not sent: Unsupported Url Scheme (49 more like it held back in "
                          "the last second)");
  publisher->page->take();

  env.advance(2000);
  lines.clear();
  for (int i = 0; i < 100; ++i) send({{"url", "ftp://h/f"}, {"identifier", "chain"}});
  size_t answered = 0;
  for (int step = 0; step < 1000; ++step) {
    env.advance(10);
    for (const auto& reply : publisher->page->take()) {
      if (reply.function != "ko") continue;
      ++answered;
      send({{"url", "ftp://h/f"}, {"identifier", "chain"}});
    }
  }
  EXPECT_GE(answered, 110u);
  EXPECT_LE(answered, 121u);
  EXPECT_EQ(dispatcher()->refusalsWaitingCount(), 100u);  // each chain's last request, none lost
  EXPECT_GE(lines.size(), 10u);
  EXPECT_LE(lines.size(), 11u);
}

// ------------------------------------------------------------------ answers

TEST_F(HttpProxyTest, APostWithPlusAndPercentReachesTheServerDecodedAndThePageUnchanged) {
  server().route("POST", "/collect", [](const qbtest::RecordedRequest& request) {
    return qbtest::SandboxAnswer{201, "echo " + request.body, {{"X-Time", "+02:00"}, {"Content-Type", "text/plain"}}};
  });
  send({{"url", server().url("/collect")},
        {"identifier", "id 1+2"},
        {"type", "post"},
        {"headers", {{"X-Sig", "a+b="}}},
        {"data", "a+b%2Fc"}});
  ASSERT_TRUE(awaitReplies(2));

  const auto requests = server().requestsTo("/collect");
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].method, "POST");
  EXPECT_EQ(requests[0].body, "a+b%2Fc");
  EXPECT_EQ(requests[0].header("X-Sig"), "a+b=");

  const auto replies = publisher->page->replies();
  EXPECT_EQ(replies[0], started("id 1+2"));
  EXPECT_EQ(replies[1].function, "ok");
  EXPECT_EQ(replies[1].option, 1);  // encoded, never decoded first: "+" stays "+"
  EXPECT_EQ(replies[1].params["identifier"], "id 1+2");
  EXPECT_EQ(replies[1].params["data"], "echo a+b%2Fc");
  EXPECT_EQ(replies[1].params["status"], "responseReceived");
  EXPECT_EQ(replies[1].params["responseParams"]["statusCode"], 201);
  EXPECT_EQ(replies[1].params["responseParams"]["headers"]["X-Time"], "+02:00");
}

TEST_F(HttpProxyTest, BodiesAreAnsweredAsTextOnlyWhenTheyAreUtf8) {
  server().answer("/bytes", 200, std::string("\xff\xfe\x00", 3));
  server().answer("/empty", 200, "");
  server().answer("/missing", 404, "gone");
  send({{"url", server().url("/bytes")}, {"identifier", "bytes"}});
  ASSERT_TRUE(awaitReplies(2));
  EXPECT_EQ(publisher->page->take()[1], failed("unable to create response object", "bytes"));

  for (const char* path : {"/empty", "/missing"}) {
    SCOPED_TRACE(path);
    send({{"url", server().url(path)}, {"identifier", "r"}});
    ASSERT_TRUE(awaitReplies(2));
    const auto replies = publisher->page->take();
    EXPECT_EQ(replies[1].params["status"], "responseReceived");
    EXPECT_EQ(replies[1].params["data"], std::string(path) == "/empty" ? "" : "gone");
    EXPECT_EQ(replies[1].params["responseParams"]["statusCode"], std::string(path) == "/empty" ? 200 : 404);
  }
}

TEST_F(HttpProxyTest, FiftyRequestsInFlightEachAnswerStartedBeforeTheirOutcome) {
  server().route("GET", "/echo", [](const qbtest::RecordedRequest& request) {
    return qbtest::SandboxAnswer{200, request.queryValue("n").value_or("?"), {}};
  });
  for (int n = 0; n < 50; ++n) {
    send({{"url", server().url("/echo?n=" + std::to_string(n))}, {"identifier", "r" + std::to_string(n)}});
  }
  ASSERT_TRUE(awaitReplies(100));
  const auto replies = publisher->page->replies();
  for (int n = 0; n < 50; ++n) {
    const std::string id = "r" + std::to_string(n);
    SCOPED_TRACE(id);
    std::vector<size_t> at;
    for (size_t i = 0; i < replies.size(); ++i) {
      if (replies[i].params.value("identifier", "") == id) at.push_back(i);
    }
    ASSERT_EQ(at.size(), 2u);
    EXPECT_EQ(replies[at[0]], started(id));
    EXPECT_EQ(replies[at[1]].params["status"], "responseReceived");
    EXPECT_EQ(replies[at[1]].params["data"], std::to_string(n));
  }
}

// ------------------------------------------------------------------ retries

TEST_F(HttpProxyTest, A500WithTwoRetriesIsAskedThreeTimesThreeSecondsApartThenAnswered) {
  server().answer("/flaky", 500, "busy");
  send({{"url", server().url("/flaky")}, {"identifier", "r1"}, {"retries", "2"}});
  for (size_t asked = 1; asked <= 2; ++asked) {
    SCOPED_TRACE(asked);
    ASSERT_TRUE(awaitRetryWaiting(1));
    EXPECT_EQ(server().requestsTo("/flaky").size(), asked);
    env.advance(QBHTTPRequestsDispatcher::kRetryDelayMs - 1);
    EXPECT_EQ(dispatcher()->retriesWaitingCount(), 1u);
    EXPECT_EQ(server().requestsTo("/flaky").size(), asked);
    env.advance(1);
  }
  ASSERT_TRUE(awaitReplies(2));
  EXPECT_EQ(server().requestsTo("/flaky").size(), 3u);
  const auto replies = publisher->page->replies();
  ASSERT_EQ(replies.size(), 2u);
  EXPECT_EQ(replies[1].params["status"], "responseReceived");
  EXPECT_EQ(replies[1].params["responseParams"]["statusCode"], 500);
  EXPECT_EQ(replies[1].params["data"], "busy");
}

TEST_F(HttpProxyTest, RetriesStopAtTen) {
  server().answer("/down", 503, "");
  send({{"url", server().url("/down")}, {"identifier", "r1"}, {"retries", "1000000"}});
  for (int i = 0; i < 20 && publisher->page->count() < 2; ++i) {
    ASSERT_TRUE(env.runUntil([&] { return publisher->page->count() == 2 || dispatcher()->retriesWaitingCount() == 1; }));
    env.advance(QBHTTPRequestsDispatcher::kRetryDelayMs);
  }
  ASSERT_TRUE(awaitReplies(2));
  EXPECT_EQ(server().requestsTo("/down").size(), 1u + QBHTTPRequestsDispatcher::kMaxRetries);
  EXPECT_EQ(publisher->page->replies()[1].params["responseParams"]["statusCode"], 503);
}

TEST_F(HttpProxyTest, InTheBackgroundARetryNeedsMoreTimeLeftThanTheRequestsTimeout) {
  server().answer("/flaky", 500, "busy");
  app.setBackgroundTimeBudget(30);
  app.enterBackground();
  // 30 s left: a 60 s request is answered at once, a 5 s one waits to retry.
  send({{"url", server().url("/flaky")}, {"identifier", "long"}, {"retries", "2"}, {"timeout", "60"}});
  ASSERT_TRUE(awaitReplies(2));
  EXPECT_EQ(publisher->page->take()[1].params["responseParams"]["statusCode"], 500);
  send({{"url", server().url("/flaky")}, {"identifier", "short"}, {"retries", "2"}, {"timeout", "5"}});
  ASSERT_TRUE(awaitRetryWaiting(1));
  EXPECT_EQ(server().requestsTo("/flaky").size(), 2u);
}

// ------------------------------------------------------------------ background

TEST_F(HttpProxyTest, OneBackgroundTaskCoversTwoRequestsAndEndsAfterTheLast) {
  Gate first, second;
  OpenAtEnd opener{{first, second}};
  server().route("GET", "/held/1", [first](const qbtest::RecordedRequest&) {
    first.wait();
    return qbtest::SandboxAnswer{200, "1", {}};
  });
  server().route("GET", "/held/2", [second](const qbtest::RecordedRequest&) {
    second.wait();
    return qbtest::SandboxAnswer{200, "2", {}};
  });
  send({{"url", server().url("/held/1")}, {"identifier", "r1"}, {"background", "true"}});
  send({{"url", server().url("/held/2")}, {"identifier", "r2"}, {"background", "1"}});
  env.runUntilIdle();
  EXPECT_EQ(app.backgroundTaskCount(), 1u);
  EXPECT_NE(dispatcher()->backgroundTaskIdentifier(), platform::Application::kBackgroundTaskInvalid);

  first.open();
  ASSERT_TRUE(awaitReplies(3));
  EXPECT_EQ(app.backgroundTaskCount(), 1u);
  second.open();
  ASSERT_TRUE(awaitReplies(4));
  EXPECT_EQ(app.backgroundTaskCount(), 0u);
  EXPECT_EQ(dispatcher()->backgroundTaskIdentifier(), platform::Application::kBackgroundTaskInvalid);
}

TEST_F(HttpProxyTest, BackgroundExpiryCancelsOnlyTheProxiedRequestsAndTheSdksAuctionCompletes) {
  Gate gate;
  OpenAtEnd opener{{gate}};
  server().route("GET", "/held/proxy", [gate](const qbtest::RecordedRequest&) {
    gate.wait();
    return qbtest::SandboxAnswer{200, "late", {}};
  });
  qbtest::SandboxAuction auction(server(), "/auction/expiry");
  auction.setAnswerer([gate](const qbtest::DecodedAuctionRequest&) {
    gate.wait();
    return qbtest::AuctionAnswer::withPayload(qbtest::SandboxAuction::waterfallPayload("auc-1", {"A"}));
  });
  const auto auctionHandler = QBAuctionHandler::initWithAuctionSettings(
      QBAuctionSettings::fromJson(Json{{"auctioneerURL", auction.url()},
                                       {"maxTrials", 1},
                                       {"timeout", 600'000},
                                       {"encryptionVersion", 0},
                                       {"compressAuctionRequest", false}}),
      false, false, "session-1");
  auto params = std::make_shared<QBAuctionRequestParams>();
  params->setAdUnit("rewardedVideo");
  std::shared_ptr<QBAuctionResponseParams> auctionAnswer;
  auctionHandler->executeAuctionWithParams(
      params, [&](std::shared_ptr<QBAuctionResponseParams> response) { auctionAnswer = std::move(response); });
  send({{"url", server().url("/held/proxy")}, {"identifier", "r1"}, {"background", "true"}, {"retries", "3"}});
  env.runUntilIdle();
  ASSERT_TRUE(server().waitForRequests(2, 10'000));

  app.setBackgroundTimeBudget(10);
  app.enterBackground();
  env.advance(10'000);
  ASSERT_TRUE(awaitReplies(2));
  EXPECT_EQ(publisher->page->replies()[1], failed("failed to send request, reason: cancelled", "r1"));
  EXPECT_EQ(app.backgroundTaskCount(), 0u);

  gate.open();
  ASSERT_TRUE(env.runUntil([&] { return auctionAnswer != nullptr; }));
  EXPECT_TRUE(auctionAnswer->isSuccess());
  EXPECT_EQ(auctionAnswer->auctionId(), "auc-1");
  EXPECT_EQ(server().requestsTo("/held/proxy").size(), 1u);  // no retry after the expiry
}

TEST_F(HttpProxyTest, CancellingTouchesOnlyTheNamedRequestsAndAnsweredRetriesOnce) {
  Gate gate;
  OpenAtEnd opener{{gate}};
  server().route("GET", "/held/*", [gate](const qbtest::RecordedRequest&) {
    gate.wait();
    return qbtest::SandboxAnswer{200, "ok", {}};
  });
  server().answer("/flaky", 500, "");
  struct Outcome {
    std::string name;
    platform::DataTaskResult result;
  };
  std::vector<Outcome> outcomes;
  const auto record = [&](std::string name) {
    return [&outcomes, name](platform::DataTaskResult result) { outcomes.push_back({name, std::move(result)}); };
  };
  const auto a = QBControllerAPIRequest::requestWithUrlString(server().url("/held/a"), "a");
  const auto b = QBControllerAPIRequest::requestWithUrlString(server().url("/held/b"), "b");
  const auto flaky = QBControllerAPIRequest::requestWithUrlString(server().url("/flaky"), "f");
  dispatcher()->sendHTTPRequest(*a, false, 0, record("a"));
  dispatcher()->sendHTTPRequest(*b, false, 0, record("b"));
  dispatcher()->sendHTTPRequest(*flaky, false, 5, record("flaky"));
  ASSERT_TRUE(awaitRetryWaiting(1));
  ASSERT_TRUE(server().waitForRequests(3, 10'000));

  dispatcher()->cancelRequest(*a);
  dispatcher()->cancelRequest(*flaky);
  EXPECT_TRUE(outcomes.empty());  // never inside the call
  ASSERT_TRUE(env.runUntil([&] { return outcomes.size() == 2; }));
  for (const auto& outcome : outcomes) {
    SCOPED_TRACE(outcome.name);
    EXPECT_NE(outcome.name, "b");
    ASSERT_TRUE(outcome.result.error);
    EXPECT_EQ(outcome.result.error->code, platform::URLErrorCode::Cancelled);
  }
  gate.open();
  ASSERT_TRUE(env.runUntil([&] { return outcomes.size() == 3; }));
  EXPECT_EQ(outcomes[2].name, "b");
  EXPECT_EQ(outcomes[2].result.body, "ok");
  env.advance(QBHTTPRequestsDispatcher::kRetryDelayMs * 2);
  EXPECT_EQ(server().requestsTo("/flaky").size(), 1u);
  EXPECT_EQ(outcomes.size(), 3u);
}

}  // namespace httpproxy
