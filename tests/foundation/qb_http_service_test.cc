#include "foundation/QBHttpService.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>

#include "platform/crypto.h"
#include "platform/test_environment.h"
#include "support/sandbox_server.h"

namespace {

using platform::DataTaskResult;
using platform::Json;

// One server for the suite: stopping a server waits for the session's idle
// keep-alive connection to time out.
class QBHttpServiceTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    shared = new qbtest::SandboxServer();
    sharedStarted = shared->start();
  }
  static void TearDownTestSuite() {
    delete shared;
    shared = nullptr;
  }
  QBHttpServiceTest() : server(*shared), started(sharedStarted) {
    server.clearRequests();
    server.clearFaults();
  }

  // A completion that records its one result.
  platform::DataTaskCompletion recorder() {
    return [results = results](DataTaskResult r) { results->push_back(std::move(r)); };
  }
  // Waits for the completion, then checks it ran exactly once.
  const DataTaskResult& awaitResult() {
    EXPECT_TRUE(env.runUntil([&] { return !results->empty(); }));
    env.runUntilIdle();
    EXPECT_EQ(results->size(), 1u);
    static const DataTaskResult none;
    return results->empty() ? none : results->front();
  }

  static inline qbtest::SandboxServer* shared = nullptr;
  static inline bool sharedStarted = false;

  platform::TestEnvironment env;
  qbtest::SandboxServer& server;
  bool started;
  std::shared_ptr<std::vector<DataTaskResult>> results = std::make_shared<std::vector<DataTaskResult>>();
};

TEST_F(QBHttpServiceTest, GzipPostSendsBase64OfGzipThatInflatesToTheJson) {
  ASSERT_TRUE(started);
  server.answer("/events", 200, "{\"ok\":true}");
  const Json body = {{"table", "plover.dwh.mediation_events"}, {"data", Json::array({{{"eventId", 14}}})}};

  QBHttpService::sendPostRequest(server.url("/events"), body, true, 5, recorder());
  EXPECT_TRUE(results->empty());
  const DataTaskResult& result = awaitResult();

  ASSERT_FALSE(result.error.has_value());
  EXPECT_EQ(result.body, "{\"ok\":true}");
  auto requests = server.requestsTo("/events");
  ASSERT_EQ(requests.size(), 1u);
  const auto& sent = requests[0];
  EXPECT_EQ(sent.header("Content-Type"), "application/json");
  EXPECT_EQ(sent.header("Content-Encoding"), std::nullopt);
  auto compressed = platform::base64Decode(sent.body);
  ASSERT_TRUE(compressed.ok()) << sent.body;
  auto inflated = qbtest::gunzipForTesting(compressed.value());
  ASSERT_TRUE(inflated.has_value());
  auto parsed = platform::parseJson(*inflated);
  ASSERT_TRUE(parsed.ok()) << *inflated;
  EXPECT_EQ(parsed.value(), body);
}

TEST_F(QBHttpServiceTest, PlainPostSendsTheBodyAndHandsAnyStatusOverUnchanged) {
  ASSERT_TRUE(started);
  server.answer("/aemData", 500, "broken");
  QBHttpService::sendPostRequest(server.url("/aemData"), std::string("{\"a\":1}"), false, 5, recorder());
  const DataTaskResult& result = awaitResult();

  ASSERT_FALSE(result.error.has_value());
  ASSERT_TRUE(result.response.has_value());
  EXPECT_EQ(result.response->statusCode, 500);
  EXPECT_EQ(result.body, "broken");
  auto requests = server.requestsTo("/aemData");
  ASSERT_EQ(requests.size(), 1u);  // no retry
  EXPECT_EQ(requests[0].body, "{\"a\":1}");
}

TEST_F(QBHttpServiceTest, GetAppendsPercentEncodedQueryInOrder) {
  ASSERT_TRUE(started);
  server.answer("/nurl", 204, "");
  QBHttpService::sendGetRequest(server.url("/nurl?x=1"), QBQueryParams{{"a b", "1&2=3"}, {"k", "\xC3\xA9"}}, 5,
                                recorder());
  const DataTaskResult& result = awaitResult();

  ASSERT_TRUE(result.response.has_value());
  auto requests = server.requestsTo("/nurl");
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].target, "/nurl?x=1&a%20b=1%262%3D3&k=%C3%A9");
}

TEST_F(QBHttpServiceTest, SlowServerTimesOutWithMinus1001) {
  ASSERT_TRUE(started);
  server.answer("/slow", 200, "late");
  server.inject("/slow", qbtest::SandboxFault::holding());
  QBHttpService::sendGetRequest(server.url("/slow"), QBQueryParams{}, 0.2, recorder());
  const DataTaskResult& result = awaitResult();

  ASSERT_TRUE(result.error.has_value());
  EXPECT_EQ(result.error->domain, platform::URLError::kDomain);
  EXPECT_EQ(result.error->code, platform::URLErrorCode::TimedOut);
  EXPECT_FALSE(result.response.has_value());
}

TEST_F(QBHttpServiceTest, RawSendPassesTheRequestThroughOnTheGivenQueue) {
  ASSERT_TRUE(started);
  server.route("PUT", "/raw", [](const qbtest::RecordedRequest& r) {
    return qbtest::SandboxAnswer{201, r.header("X-Probe").value_or("none") + ":" + r.body};
  });
  platform::URLRequest request;
  request.url = server.url("/raw");
  request.method = "PUT";
  request.headers = {{"X-Probe", "42"}};
  request.body = "payload";
  auto label = std::make_shared<std::string>();
  QBHttpService::send(request, [label, inner = recorder()](DataTaskResult r) {
    *label = platform::currentQueueLabel();
    inner(std::move(r));
  }, platform::createSerialQueue("qb.test.http"));
  EXPECT_EQ(awaitResult().body, "42:payload");
  EXPECT_EQ(*label, "qb.test.http");
}

TEST(QBHttpServiceUrlTest, QueryJoinsExistingQueryAndKeepsTheFragment) {
  EXPECT_EQ(QBHttpService::urlWithQuery("http://h/p", {}), "http://h/p");
  EXPECT_EQ(QBHttpService::urlWithQuery("http://h/p?", {{"a", "1"}}), "http://h/p?a=1");
  EXPECT_EQ(QBHttpService::urlWithQuery("http://h/p?x=1&", {{"a", "1"}}), "http://h/p?x=1&a=1");
  EXPECT_EQ(QBHttpService::urlWithQuery("http://h/p#top", {{"a", "1"}, {"b", ""}}), "http://h/p?a=1&b=#top");
}

}  // namespace
