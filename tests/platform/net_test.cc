// URLSession against the loopback sandbox: real sockets, real curl, queues
// driven by the TestEnvironment.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <memory>
#include <set>
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
  bool onQueue = false;
  bool onMainThread = true;
};

class NetTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(server.start()); }

  std::shared_ptr<Outcome> start(URLRequest request, QueueRef queue = nullptr,
                                 std::shared_ptr<DataTask>* taskOut = nullptr) {
    auto outcome = std::make_shared<Outcome>();
    auto task = session->dataTask(std::move(request), queue, [outcome, queue](DataTaskResult r) {
      ++outcome->calls;
      outcome->result = std::move(r);
      outcome->onQueue = queue && queue->isCurrent();
      outcome->onMainThread = isMainThread();
    });
    task->resume();
    if (taskOut) *taskOut = task;
    return outcome;
  }

  DataTaskResult fetch(URLRequest request) {
    auto outcome = start(std::move(request));
    EXPECT_TRUE(env.runUntil([&] { return outcome->calls > 0; }, kWaitMs));
    return outcome->result;
  }

  URLRequest get(std::string_view path, double timeoutSeconds = 10) {
    URLRequest r;
    r.url = server.url(path);
    r.timeoutSeconds = timeoutSeconds;
    return r;
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

int errorCode(const DataTaskResult& r) { return r.error ? r.error->code : 0; }

TEST_F(NetTest, GetDeliversStatusHeadersAndBodyAndSendsWhatWasAsked) {
  server.route("GET", "/hello", [](const RecordedRequest&) {
    return SandboxAnswer{200, "hi there", {{"Content-Type", "text/plain"}, {"X-Custom", "yes"}}};
  });
  URLRequest request = get("/hello?a=1&b=two%20words");
  request.headers = {{"X-Req", "1"}, {"User-Agent", "net-test"}};

  auto r = fetch(request);
  ASSERT_FALSE(r.error) << r.error->message;
  ASSERT_TRUE(r.response);
  EXPECT_EQ(r.response->statusCode, 200);
  EXPECT_EQ(r.response->url, request.url);
  EXPECT_EQ(r.response->header("x-CUSTOM"), "yes");
  EXPECT_EQ(r.body, "hi there");

  auto seen = server.requestsTo("/hello");
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].queryValue("b"), "two words");
  EXPECT_EQ(seen[0].header("User-Agent"), "net-test");
}

TEST_F(NetTest, PostedGzipBodyGoesOutCompressedAndInflatesOnTheServer) {
  server.route("POST", "/events", [](const RecordedRequest& req) {
    return SandboxAnswer{201, req.decodedBody().value_or("<bad gzip>"), {}};
  });
  const std::string json = R"({"events":[)" + std::string(5000, ' ') + R"({"id":1}]})";
  auto gz = gzipCompress(json);
  ASSERT_TRUE(gz.ok());

  URLRequest request = get("/events");
  request.method = "POST";
  request.headers = {{"Content-Type", "application/json"}, {"Content-Encoding", "gzip"}};
  request.body = gz.value();
  auto r = fetch(request);

  ASSERT_FALSE(r.error) << r.error->message;
  EXPECT_EQ(r.response->statusCode, 201);
  EXPECT_EQ(r.body, json);  // echoed back, answer compressed by the server and decoded here
  ASSERT_EQ(server.requestsTo("/events").size(), 1u);
  EXPECT_EQ(server.requestsTo("/events")[0].body, gz.value());
}

TEST_F(NetTest, HttpErrorStatusesAreAnswersNotErrors) {
  server.answer("/boom", 500, "boom", {{"Content-Type", "text/plain"}});
  auto missing = fetch(get("/missing"));
  auto boom = fetch(get("/boom"));

  ASSERT_FALSE(missing.error);
  ASSERT_FALSE(boom.error);
  EXPECT_EQ(boom.response->statusCode, 500);
  EXPECT_EQ(boom.body, "boom");

  // Scripted failures lapse after their count; garbage is still an answer.
  server.answer("/flaky", 200, "fine");
  server.inject("/flaky", SandboxFault::failing(503, "later").only(1));
  server.inject("/noise", SandboxFault::garbled());
  auto first = fetch(get("/flaky"));
  auto second = fetch(get("/flaky"));
  auto noise = fetch(get("/noise"));
  EXPECT_EQ(first.response->statusCode, 503);
  EXPECT_EQ(second.body, "fine");
  ASSERT_FALSE(noise.error);
  EXPECT_EQ(noise.response->statusCode, 200);
  EXPECT_FALSE(noise.body.empty());

  EXPECT_EQ(localizedStringForStatusCode(404), "not found");
  EXPECT_EQ(localizedStringForStatusCode(599), "server error");
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
  server.inject("/slow", SandboxFault::delay(5000));
  server.inject("/drop", SandboxFault::disconnecting());
  server.inject("/cut", SandboxFault::truncating());
  server.answer("/cut", 200, std::string(1000, 'c'));

  // A port nobody listens on: bind one, then let it go.
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  socklen_t len = sizeof addr;
  getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
  close(fd);
  URLRequest refused;
  refused.url = "http://127.0.0.1:" + std::to_string(ntohs(addr.sin_port)) + "/x";

  auto timedOut = fetch(get("/slow", 0.3));
  auto cannotConnect = fetch(refused);
  auto dropped = fetch(get("/drop"));
  auto truncated = fetch(get("/cut"));
  URLRequest ftp;
  ftp.url = "ftp://127.0.0.1/file";
  auto unsupported = fetch(ftp);
  URLRequest garbled;
  garbled.url = "not a url";
  auto malformed = fetch(garbled);

  EXPECT_EQ(errorCode(timedOut), URLErrorCode::TimedOut);
  EXPECT_EQ(errorCode(cannotConnect), URLErrorCode::CannotConnectToHost);
  EXPECT_EQ(errorCode(dropped), URLErrorCode::NetworkConnectionLost);
  EXPECT_EQ(errorCode(truncated), URLErrorCode::NetworkConnectionLost);
  EXPECT_EQ(errorCode(unsupported), URLErrorCode::UnsupportedURL);
  EXPECT_EQ(errorCode(malformed), URLErrorCode::UnsupportedURL);
  for (const auto* r : {&timedOut, &cannotConnect, &dropped, &truncated, &unsupported, &malformed}) {
    EXPECT_FALSE(r->response);
    EXPECT_TRUE(r->body.empty());
    ASSERT_TRUE(r->error);
    EXPECT_EQ(r->error->domain, "NSURLErrorDomain");
    EXPECT_FALSE(r->error->message.empty());
  }
  EXPECT_EQ(timedOut.error->message, "The request timed out.");
}

TEST_F(NetTest, BodiesOverTheCapAreRefusedEvenWhenCompressedOnTheWire) {
  URLSessionConfiguration config;
  config.maxResponseBytes = 1000;
  session = std::make_shared<URLSession>(config);
  server.answer("/exact", 200, std::string(1000, 'e'), {{"Content-Type", "application/octet-stream"}});
  server.answer("/big", 200, std::string(1001, 'b'), {{"Content-Type", "application/octet-stream"}});
  // application/json is gzip-compressed by the server: small on the wire.
  server.answer("/bomb", 200, "[\"" + std::string(1 << 20, 'z') + "\"]");

  auto exact = fetch(get("/exact"));
  auto big = fetch(get("/big"));
  auto bomb = fetch(get("/bomb"));
  URLRequest capped = get("/exact");
  capped.maxResponseBytes = 999;  // per-request cap below the session's
  auto small = fetch(capped);

  ASSERT_FALSE(exact.error);
  EXPECT_EQ(exact.body.size(), 1000u);
  EXPECT_EQ(errorCode(big), URLErrorCode::DataLengthExceedsMaximum);
  EXPECT_EQ(errorCode(bomb), URLErrorCode::DataLengthExceedsMaximum);
  EXPECT_EQ(errorCode(small), URLErrorCode::DataLengthExceedsMaximum);
  EXPECT_TRUE(bomb.body.empty());
}

TEST_F(NetTest, CancelCompletesOnceWithMinus999AndNeverInline) {
  server.inject("/hang", SandboxFault::delay(5000));
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
  ASSERT_TRUE(env.runUntil([&] { return quick->calls == 1; }, kWaitMs));
  quickTask->cancel();

  settle();
  EXPECT_EQ(inFlight->calls, 1);
  EXPECT_EQ(idleCalls, 1);
  EXPECT_EQ(quick->calls, 1);
  EXPECT_EQ(quick->result.body, "ok");
  EXPECT_EQ(server.requestsTo("/hang").size(), 1u);
}

TEST_F(NetTest, CompletionRunsOnTheRequestedQueueOrAGlobalOne) {
  server.answer("/q", 200, "q");
  auto queue = createSerialQueue("com.quillborne.test.net");
  auto onSerial = start(get("/q"), queue);
  auto onDefault = std::make_shared<std::string>();
  session->dataTask(get("/q"), nullptr, [onDefault](DataTaskResult) { *onDefault = currentQueueLabel(); })->resume();

  ASSERT_TRUE(env.runUntil([&] { return onSerial->calls == 1 && !onDefault->empty(); }, kWaitMs));
  EXPECT_TRUE(onSerial->onQueue);
  EXPECT_FALSE(onSerial->onMainThread);
  EXPECT_EQ(*onDefault, globalQueue()->label());
}

TEST_F(NetTest, DestroyingTheSessionCancelsWhatIsStillRunning) {
  server.inject("/hang", SandboxFault::delay(5000));
  auto outcome = start(get("/hang"));
  auto never = session->dataTask(get("/hang"), nullptr, [](DataTaskResult) {});
  ASSERT_TRUE(server.waitForRequests(1, kWaitMs));
  settle();
  EXPECT_EQ(outcome->calls, 1);
  EXPECT_EQ(errorCode(outcome->result), URLErrorCode::Cancelled);

  int lateCalls = 0;  // resumed after its session is gone
  std::shared_ptr<URLSession> gone = std::make_shared<URLSession>();
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
  std::vector<std::shared_ptr<Outcome>> outcomes;
  for (int i = 0; i < kCount; ++i) outcomes.push_back(start(get("/r"), nullptr, &tasks[i]));
  std::thread canceller([&] {
    for (int i = 0; i < kCount; i += 2) tasks[i]->cancel();
  });
  canceller.join();
  ASSERT_TRUE(env.runUntil([&] {
    for (auto& o : outcomes)
      if (o->calls == 0) return false;
    return true;
  }, kWaitMs));
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
