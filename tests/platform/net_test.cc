// URLSession against the loopback sandbox: real sockets, real curl, queues
// driven by the TestEnvironment.
#include <gtest/gtest.h>

#include <cctype>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/dispatch.h"
#include "platform/net.h"
#include "platform/test_environment.h"
#include "platform/zip.h"
#include "support/sandbox_server.h"

using namespace platform;
using qbtest::RecordedRequest;
using qbtest::SandboxAnswer;
using qbtest::SandboxFault;

namespace {

constexpr int64_t kWaitMs = 10'000;

struct Outcome {
  int calls = 0;
  DataTaskResult result;
  std::string queueLabel;
  bool onMainThread = true;
};
using OutcomeRef = std::shared_ptr<Outcome>;

int errorCode(const DataTaskResult& r) { return r.error ? r.error->code : 0; }

class NetTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(server.start()); }

  OutcomeRef start(URLRequest request, QueueRef queue = nullptr, std::shared_ptr<DataTask>* taskOut = nullptr) {
    auto outcome = std::make_shared<Outcome>();
    auto task = session->dataTask(std::move(request), queue, [outcome](DataTaskResult r) {
      ++outcome->calls;
      outcome->result = std::move(r);
      outcome->queueLabel = currentQueueLabel();
      outcome->onMainThread = isMainThread();
    });
    task->resume();
    if (taskOut) *taskOut = task;
    return outcome;
  }

  bool awaitAll(const std::vector<OutcomeRef>& outcomes) {
    return env.runUntil([&] {
      for (const auto& o : outcomes) {
        if (o->calls == 0) return false;
      }
      return true;
    }, kWaitMs);
  }

  DataTaskResult fetch(URLRequest request) {
    auto outcome = start(std::move(request));
    EXPECT_TRUE(awaitAll({outcome}));
    return outcome->result;
  }

  URLRequest get(std::string_view path, double timeoutSeconds = 10) {
    return URLRequest{.url = server.url(path), .timeoutSeconds = timeoutSeconds};
  }

  // Destroys the session (joining its I/O thread) and runs what it posted, so
  // nothing can arrive later.
  void settle() {
    session.reset();
    env.runUntilIdle();
  }

  TestEnvironment env;
  qbtest::SandboxServer server;
  std::shared_ptr<URLSession> session = std::make_shared<URLSession>();
};

TEST_F(NetTest, AnyHttpStatusIsAnAnswerDeliveredOnTheRequestedQueue) {
  const std::string binary("hi\0there\xff", 9);
  server.route("GET", "/hello", [&](const RecordedRequest&) {
    return SandboxAnswer{200, binary, {{"Content-Type", "application/octet-stream"}, {"X-Custom", "yes"}}};
  });
  server.answer("/boom", 500, "boom", {{"Content-Type", "text/plain"}});
  URLRequest request = get("/hello?a=1&b=two%20words");
  request.headers = {{"X-Req", "1"}, {"User-Agent", "net-test"}};
  auto hello = start(request, createSerialQueue("com.quillborne.test.net"));
  auto boom = start(get("/boom"));
  ASSERT_TRUE(awaitAll({hello, boom}));
  const DataTaskResult missing = fetch(get("/missing"));

  const DataTaskResult& r = hello->result;
  ASSERT_FALSE(r.error) << r.error->message;
  ASSERT_TRUE(r.response);
  EXPECT_EQ(r.response->statusCode, 200);
  EXPECT_EQ(r.response->url, request.url);
  EXPECT_EQ(r.response->header("x-CUSTOM"), "yes");
  EXPECT_EQ(r.body, binary);
  EXPECT_EQ(hello->queueLabel, "com.quillborne.test.net");
  EXPECT_FALSE(hello->onMainThread);
  EXPECT_EQ(boom->queueLabel, globalQueue()->label()) << "no queue given: the default global queue";
  auto seen = server.requestsTo("/hello");
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].queryValue("b"), "two words");
  EXPECT_EQ(seen[0].header("User-Agent"), "net-test");

  ASSERT_FALSE(boom->result.error);
  EXPECT_EQ(boom->result.response->statusCode, 500);
  EXPECT_EQ(boom->result.body, "boom");
  ASSERT_FALSE(missing.error);
  EXPECT_EQ(missing.response->statusCode, 404);
  EXPECT_EQ(localizedStringForStatusCode(404), "not found");
  EXPECT_EQ(localizedStringForStatusCode(599), "server error");
}

TEST_F(NetTest, PostedGzipBodyGoesOutCompressedAndInflatesOnTheServer) {
  server.route("POST", "/events", [](const RecordedRequest& req) {
    return SandboxAnswer{201, req.decodedBody().value_or("<bad gzip>"), {}};
  });
  const std::string json = R"({"events":[)" + std::string(5000, ' ') + R"({"id":1}]})";
  const std::string gz = gzipCompress(json).value();
  URLRequest request = get("/events");
  request.method = "POST";
  request.headers = {{"Content-Type", "application/json"}, {"Content-Encoding", "gzip"}};
  request.body = gz;
  auto r = fetch(request);

  ASSERT_FALSE(r.error) << r.error->message;
  EXPECT_EQ(r.response->statusCode, 201);
  EXPECT_EQ(r.body, json);  // echoed back, answer compressed by the server and decoded here
  // Only the codings zlib decodes are offered, so the server picks gzip.
  EXPECT_EQ(r.response->header("Content-Encoding"), "gzip");
  ASSERT_EQ(server.requestsTo("/events").size(), 1u);
  EXPECT_EQ(server.requestsTo("/events")[0].body, gz);
  EXPECT_EQ(server.requestsTo("/events")[0].header("Accept-Encoding"), "gzip, deflate");
}

TEST_F(NetTest, PostsCarryAContentTypeOnlyWithABody) {
  server.route("POST", "/typed/*", [](const RecordedRequest&) { return SandboxAnswer{204}; });
  struct Case {
    std::string path;
    std::string body;
    HTTPHeaders headers;
    std::optional<std::string> type;
  };
  const Case cases[] = {
      {"/typed/empty", "", {}, std::nullopt},
      {"/typed/form", "a=1", {}, "application/x-www-form-urlencoded"},
      {"/typed/own", "", {{"Content-Type", "text/plain"}}, "text/plain"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    URLRequest request = get(c.path);
    request.method = "POST";
    request.body = c.body;
    request.headers = c.headers;
    auto r = fetch(request);
    ASSERT_FALSE(r.error) << r.error->message;
    const auto seen = server.requestsTo(c.path);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].header("Content-Type"), c.type);
    EXPECT_EQ(seen[0].body, c.body);
  }
}

// One request at a time, so each reuses the handle of the one before: a
// method, a body or a redirect rule must never carry over to the next.
TEST_F(NetTest, EachRequestGoesOutAsItsOwnWhateverTheOneBeforeWas) {
  server.answer("/m", 200, "answer", {{"Content-Type", "text/plain"}});
  server.answer("/jump", 302, "", {{"Location", "/m"}});
  struct Case {
    std::string method;
    std::string body;
    bool follow = true;
    std::string path = "/m";
    int status = 200;
    std::string answer = "answer";
  };
  const Case cases[] = {
      {"HEAD", "", true, "/m", 200, ""},
      {"POST", "first=1"},
      {"GET", ""},
      {"PUT", "second=2"},
      {"DELETE", ""},
      {"HEAD", ""},
      {"POST", ""},
      {"", "", false, "/jump", 302, ""},
      {"get", ""},
      {"PATCH", "third=3"},
      {"GET", "", true, "/jump"},
  };
  uint64_t seen = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.method + " " + c.path);
    URLRequest request = get(c.path);
    request.method = c.method;
    request.body = c.body;
    request.followRedirects = c.follow;
    const DataTaskResult r = fetch(request);
    ASSERT_FALSE(r.error) << r.error->message;
    EXPECT_EQ(r.response->statusCode, c.status);
    EXPECT_EQ(r.body, c.method == "HEAD" ? "" : c.answer);
    const auto requests = server.requests();
    ASSERT_GT(requests.size(), seen);
    const RecordedRequest& last = requests[seen];
    seen = requests.size();
    std::string method = c.method.empty() ? "GET" : c.method;
    for (char& ch : method) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    EXPECT_EQ(last.method, method);
    EXPECT_EQ(last.body, c.body);
    EXPECT_EQ(last.header("Content-Type").has_value(), !c.body.empty());
  }
}

// curl's timer is left armed when a transfer no longer needs it; a stale
// expiry must re-arm it for the deadline curl has then, not drop it.
TEST_F(NetTest, ATimeOutStillFiresAfterAnEarlierRequestsTimerWasLeftBehind) {
  server.answer("/quick", 200, "ok");
  // Never answers within the test: only the time-out ends it.
  server.inject("/slow", SandboxFault::holding());
  const DataTaskResult quick = fetch(get("/quick", 0.2));
  ASSERT_FALSE(quick.error);
  // Its 0.2 s time-out expires while this one runs, before this one's own.
  const DataTaskResult slow = fetch(get("/slow", 0.8));
  EXPECT_EQ(errorCode(slow), URLErrorCode::TimedOut);
  EXPECT_FALSE(slow.response);
}

TEST_F(NetTest, RedirectsAreFollowedUnlessTheRequestSaysNot) {
  server.answer("/target", 200, "landed");
  server.answer("/jump", 302, "", {{"Location", "/target"}});
  auto followed = fetch(get("/jump"));
  ASSERT_FALSE(followed.error);
  EXPECT_EQ(followed.response->statusCode, 200);
  EXPECT_EQ(followed.response->url, server.url("/target"));
  EXPECT_EQ(followed.response->header("Location"), std::nullopt);  // headers of the final answer only
  EXPECT_EQ(followed.body, "landed");

  URLRequest noFollow = get("/jump");
  noFollow.followRedirects = false;
  auto stopped = fetch(noFollow);
  EXPECT_EQ(stopped.response->statusCode, 302);
  EXPECT_EQ(stopped.response->header("location"), "/target");
}

TEST_F(NetTest, TransportFailuresMapToUrlErrorCodes) {
  server.inject("/slow", SandboxFault::holding());
  server.inject("/drop", SandboxFault::disconnecting());
  server.inject("/cut", SandboxFault::truncating());
  server.answer("/cut", 200, std::string(1000, 'c'));
  qbtest::SandboxServer closed;  // a port nobody listens on any more
  ASSERT_TRUE(closed.start());
  const std::string refusedUrl = closed.url("/x");
  closed.stop();

  struct Case {
    URLRequest request;
    int code;
  };
  for (const Case& c : std::vector<Case>{{get("/slow", 0.3), URLErrorCode::TimedOut},
                                         {URLRequest{.url = refusedUrl}, URLErrorCode::CannotConnectToHost},
                                         {get("/drop"), URLErrorCode::NetworkConnectionLost},
                                         {get("/cut"), URLErrorCode::NetworkConnectionLost},
                                         {URLRequest{.url = "ftp://127.0.0.1/file"}, URLErrorCode::UnsupportedURL},
                                         {URLRequest{.url = "not a url"}, URLErrorCode::UnsupportedURL}}) {
    SCOPED_TRACE(c.request.url);
    auto r = fetch(c.request);
    EXPECT_EQ(errorCode(r), c.code);
    EXPECT_FALSE(r.response);
    EXPECT_TRUE(r.body.empty());
    ASSERT_TRUE(r.error);
    EXPECT_EQ(r.error->domain, "NSURLErrorDomain");
    EXPECT_FALSE(r.error->message.empty());
    if (c.code == URLErrorCode::TimedOut) {
      EXPECT_EQ(r.error->message, "The request timed out.");
    }
  }
}

// The sandbox's held answers, on which the time-out tests rely: a held answer
// outlasts any time-out, goes out when the test releases it, and a stopping
// server drops it unanswered.
TEST_F(NetTest, AHeldAnswerWaitsForItsReleaseOrTheServersStop) {
  server.answer("/held/*", 200, "released");
  server.inject("/held/*", SandboxFault::holding());
  // Until the path's request has reached the server.
  auto arrived = [&](std::string_view path) {
    for (size_t n = server.requestCount() + 1; server.requestsTo(path).empty(); ++n) {
      if (!server.waitForRequests(n, kWaitMs)) return false;
    }
    return true;
  };
  auto released = start(get("/held/released"));
  ASSERT_TRUE(arrived("/held/released"));
  EXPECT_EQ(errorCode(fetch(get("/held/timed-out", 0.2))), URLErrorCode::TimedOut);
  EXPECT_EQ(released->calls, 0);
  server.releaseHeld();
  ASSERT_TRUE(awaitAll({released}));
  EXPECT_EQ(released->result.body, "released");

  auto dropped = start(get("/held/dropped"));
  ASSERT_TRUE(arrived("/held/dropped"));
  server.stop();
  ASSERT_TRUE(awaitAll({dropped}));
  // Dropped unanswered (curl may try a reused connection's request once more,
  // and find the port closed).
  EXPECT_TRUE(dropped->result.error);
  EXPECT_FALSE(dropped->result.response);
}

TEST_F(NetTest, BodiesOverTheCapAreRefusedEvenWhenCompressedOnTheWire) {
  session = std::make_shared<URLSession>(URLSessionConfiguration{.maxResponseBytes = 1000});
  server.answer("/exact", 200, std::string(1000, 'e'), {{"Content-Type", "application/octet-stream"}});
  server.answer("/big", 200, std::string(1001, 'b'), {{"Content-Type", "application/octet-stream"}});
  // application/json is gzip-compressed by the server: small on the wire.
  server.answer("/bomb", 200, "[\"" + std::string(1 << 20, 'z') + "\"]");

  auto exact = fetch(get("/exact"));
  ASSERT_FALSE(exact.error);
  EXPECT_EQ(exact.body.size(), 1000u);
  URLRequest capped = get("/exact");
  capped.maxResponseBytes = 999;  // per-request cap below the session's
  for (const URLRequest& over : {get("/big"), get("/bomb"), capped}) {
    auto r = fetch(over);
    EXPECT_EQ(errorCode(r), URLErrorCode::DataLengthExceedsMaximum) << over.url;
    EXPECT_TRUE(r.body.empty());
  }
}

TEST_F(NetTest, CancelCompletesOnceWithMinus999AndNeverInline) {
  server.inject("/hang", SandboxFault::holding());
  std::shared_ptr<DataTask> running;
  auto inFlight = start(get("/hang"), nullptr, &running);
  ASSERT_TRUE(server.waitForRequests(1, kWaitMs));
  EXPECT_EQ(running->state(), URLSessionTaskState::Running);
  running->cancel();
  running->cancel();
  EXPECT_EQ(inFlight->calls, 0);  // posted, not run inside cancel()

  // Cancelled before it ever started: completes anyway, and resume() is moot.
  int idleCalls = 0;
  auto idle = session->dataTask(get("/hang"), nullptr, [&](DataTaskResult r) {
    ++idleCalls;
    EXPECT_EQ(errorCode(r), URLErrorCode::Cancelled);
  });
  idle->cancel();
  idle->resume();
  EXPECT_EQ(idleCalls, 0);

  ASSERT_TRUE(env.runUntil([&] { return inFlight->calls == 1 && idleCalls == 1; }, kWaitMs));
  EXPECT_EQ(errorCode(inFlight->result), URLErrorCode::Cancelled);
  EXPECT_EQ(inFlight->result.error->message, "cancelled");
  EXPECT_EQ(running->state(), URLSessionTaskState::Completed);
  EXPECT_NE(running->taskIdentifier(), idle->taskIdentifier());

  // A finished task ignores cancel().
  server.answer("/quick", 200, "ok");
  std::shared_ptr<DataTask> quickTask;
  auto quick = start(get("/quick"), nullptr, &quickTask);
  ASSERT_TRUE(awaitAll({quick}));
  quickTask->cancel();

  settle();
  EXPECT_EQ(inFlight->calls, 1);
  EXPECT_EQ(idleCalls, 1);
  EXPECT_EQ(quick->calls, 1);
  EXPECT_EQ(quick->result.body, "ok");
  EXPECT_EQ(server.requestsTo("/hang").size(), 1u);
}

TEST_F(NetTest, DestroyingTheSessionCancelsWhatIsStillRunning) {
  server.inject("/hang", SandboxFault::holding());
  auto outcome = start(get("/hang"));
  auto never = session->dataTask(get("/hang"), nullptr, [](DataTaskResult) {});
  ASSERT_TRUE(server.waitForRequests(1, kWaitMs));
  settle();
  EXPECT_EQ(outcome->calls, 1);
  EXPECT_EQ(errorCode(outcome->result), URLErrorCode::Cancelled);

  int lateCalls = 0;  // resumed after its session is gone
  auto gone = std::make_shared<URLSession>();
  auto orphan = gone->dataTask(get("/hang"), nullptr, [&](DataTaskResult r) {
    ++lateCalls;
    EXPECT_EQ(errorCode(r), URLErrorCode::Cancelled);
  });
  gone.reset();
  orphan->resume();
  env.runUntilIdle();
  EXPECT_EQ(lateCalls, 1);
}

TEST_F(NetTest, CancelFromAnotherThreadRacingCompletionStillCompletesOnce) {
  server.answer("/r", 200, "r");
  constexpr int kCount = 40;
  std::vector<std::shared_ptr<DataTask>> tasks(kCount);
  std::vector<OutcomeRef> outcomes;
  for (int i = 0; i < kCount; ++i) outcomes.push_back(start(get("/r"), nullptr, &tasks[i]));
  std::thread([&] {
    for (int i = 0; i < kCount; i += 2) tasks[i]->cancel();
  }).join();
  ASSERT_TRUE(awaitAll(outcomes));
  settle();
  for (int i = 0; i < kCount; ++i) {
    EXPECT_EQ(outcomes[i]->calls, 1) << i;
    const auto& r = outcomes[i]->result;
    EXPECT_TRUE(errorCode(r) == URLErrorCode::Cancelled || (r.response && r.body == "r")) << i;
    if (i % 2) {
      EXPECT_FALSE(r.error) << i;
    }
  }
}

}  // namespace
