#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ownnetwork/data/QBNDataManager.h"
#include "ownnetwork/ownnetwork_test_support.h"
#include "support/sandbox_own_events.h"

namespace {

using platform::Json;
using qbtest::SandboxFault;

// A request's real-time time-out; a held answer (SandboxFault::holding) comes
// only when the test releases it, so the time-out always comes first.
constexpr double kShortTimeoutSeconds = 0.2;

struct Answer {
  int calls = 0;
  platform::DataTaskResult result;
  std::string queueLabel;
};

// Runs every case against both data managers, on one sandbox for the suite.
class DataManagerTest : public qbtest::WithOwnEventsSandbox<qbtest::OwnNetworkStorageTest>,
                        public ::testing::WithParamInterface<bool> {
 protected:
  DataManagerTest() : server(*WithOwnEventsSandbox::server) {
    server.clearRequests();
    server.clearFaults();
    server.answer("/data", 200, "payload");
  }
  // The suite's server outlives the test: the answers it still holds go.
  ~DataManagerTest() override { server.releaseHeld(); }

  std::shared_ptr<QBNDataManagerProtocol> makeManager(int32_t retryNumber = 2, int32_t retryDelay = 0) {
    QBNDataManagerConfiguration configuration;
    configuration.shouldUseURLSession = GetParam();
    configuration.retryNumber = retryNumber;
    configuration.retryDelay = retryDelay;
    return QBNDataManagerFactory::createDataManagerWithConfiguration(configuration);
  }

  platform::URLRequest request(const std::string& path, double timeoutSeconds = 5) {
    return platform::URLRequest{.url = server.url(path), .timeoutSeconds = timeoutSeconds};
  }

  std::shared_ptr<Answer> send(QBNDataManagerProtocol& manager, platform::URLRequest r,
                               platform::QueueRef queue = nullptr) {
    auto answer = std::make_shared<Answer>();
    manager.sendDataRequest(std::move(r), std::move(queue), [answer](platform::DataTaskResult result) {
      ++answer->calls;
      answer->result = std::move(result);
      answer->queueLabel = platform::currentQueueLabel();
    });
    return answer;
  }

  // Waits for the answer, then for anything late.
  void await(const std::shared_ptr<Answer>& answer) {
    ASSERT_TRUE(env.runUntil([&] { return answer->calls > 0; }));
    env.runUntilIdle();
  }

  static int errorCode(const Answer& answer) { return answer.result.error ? answer.result.error->code : 0; }

  qbtest::SandboxServer& server;
};

INSTANTIATE_TEST_SUITE_P(BothManagers, DataManagerTest, ::testing::Values(true, false),
                         [](const auto& info) { return info.param ? "QBNDataManager" : "PMADataManager"; });

TEST_P(DataManagerTest, OnlyTimeOutsAreRetriedWithinTheAttemptsBudget) {
  struct Case {
    const char* name;
    int32_t retryNumber;
    SandboxFault fault;
    size_t attempts;
    int code;  // 0: success
  };
  const std::vector<Case> cases = {
      {"two time-outs", 2, SandboxFault::holding(), 2, platform::URLErrorCode::TimedOut},
      {"time-out then success", 2, SandboxFault::holding().only(1), 2, 0},
      {"two time-outs then success with three attempts", 3, SandboxFault::holding().only(2), 3, 0},
      {"one attempt", 1, SandboxFault::holding(), 1, platform::URLErrorCode::TimedOut},
      {"no budget still sends once", 0, SandboxFault::holding(), 1, platform::URLErrorCode::TimedOut},
      {"another error", 2, SandboxFault::disconnecting(), 1, platform::URLErrorCode::NetworkConnectionLost},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    server.clearRequests();
    server.releaseHeld();
    server.inject("/data", c.fault);
    auto manager = makeManager(c.retryNumber);
    auto answer = send(*manager, request("/data", kShortTimeoutSeconds));
    await(answer);
    EXPECT_EQ(answer->calls, 1);
    EXPECT_EQ(server.requestsTo("/data").size(), c.attempts);
    EXPECT_EQ(errorCode(*answer), c.code);
    if (c.code == 0) {
      EXPECT_EQ(answer->result.body, "payload");
    }
  }
}

TEST_P(DataManagerTest, StatusesOutside200To399BecomeHttpErrors) {
  struct Case {
    int status;
    std::optional<std::string> message;  // none: no error
  };
  for (const Case& c : std::vector<Case>{{200, std::nullopt},
                                         {304, std::nullopt},
                                         {399, std::nullopt},
                                         {400, "bad request"},
                                         {404, "not found"},
                                         {503, "service unavailable"}}) {
    SCOPED_TRACE(c.status);
    // A 304 carries no body (one would be read as the start of the next answer).
    const std::string body = c.status == 304 ? "" : "body " + std::to_string(c.status);
    server.answer("/status", c.status, body);
    auto r = request("/status");
    r.followRedirects = false;
    auto answer = send(*makeManager(), r);
    await(answer);
    ASSERT_TRUE(answer->result.response);
    EXPECT_EQ(answer->result.response->statusCode, c.status);
    EXPECT_EQ(answer->result.body, body);
    if (!c.message) {
      EXPECT_FALSE(answer->result.error);
    } else {
      ASSERT_TRUE(answer->result.error);
      EXPECT_EQ(*answer->result.error, (platform::Error{"PMAHTTPErrorDomain", c.status, *c.message}));
    }
  }
  // Below 200: an interim status HTTP never delivers as an answer, so the
  // rule is checked by itself.
  platform::DataTaskResult informational;
  informational.response = platform::HTTPURLResponse{199, "", {}};
  EXPECT_EQ(QBNDataManagerBase::answerFor(informational).error,
            (platform::Error{"PMAHTTPErrorDomain", 199, "informational"}));
}

TEST_P(DataManagerTest, AnswersOnTheGivenQueueElseOnTheDeliveryThread) {
  auto manager = makeManager();
  auto queue = platform::createSerialQueue("test.data.answers");
  auto onQueue = send(*manager, request("/data"), queue);
  auto withoutQueue = send(*manager, request("/data"));
  await(onQueue);
  await(withoutQueue);
  EXPECT_EQ(onQueue->queueLabel, "test.data.answers");
  EXPECT_EQ(withoutQueue->queueLabel, platform::globalQueue()->label());
  EXPECT_EQ(onQueue->calls, 1);
  EXPECT_EQ(withoutQueue->calls, 1);

  // No completion: the request still goes out.
  manager->sendDataRequest(request("/data"), queue, nullptr);
  ASSERT_TRUE(env.runUntil([&] { return server.requestsTo("/data").size() == 3; }));
}

TEST_P(DataManagerTest, DelayedRetryWaitsForTheClockOnTheMainQueue) {
  server.inject("/data", SandboxFault::holding().only(1));
  auto manager = makeManager(2, 2);
  auto answer = send(*manager, request("/data", kShortTimeoutSeconds));
  ASSERT_TRUE(env.runUntil([&] { return env.delayedCount() == 1; }));
  env.advance(1999);
  EXPECT_EQ(server.requestsTo("/data").size(), 1u);
  EXPECT_EQ(answer->calls, 0);
  env.advance(1);
  await(answer);
  EXPECT_EQ(server.requestsTo("/data").size(), 2u);
  EXPECT_EQ(errorCode(*answer), 0);
}

TEST_P(DataManagerTest, PendingRetryOfAReleasedManager) {
  server.inject("/data", SandboxFault::holding().only(1));
  auto manager = makeManager(2, 2);
  auto answer = send(*manager, request("/data", kShortTimeoutSeconds));
  ASSERT_TRUE(env.runUntil([&] { return env.delayedCount() == 1; }));
  manager.reset();
  env.advance(2000);
  await(answer);
  EXPECT_EQ(answer->calls, 1);
  if (GetParam()) {
    // QBNDataManager drops the retry and answers with the time-out.
    EXPECT_EQ(server.requestsTo("/data").size(), 1u);
    EXPECT_EQ(errorCode(*answer), platform::URLErrorCode::TimedOut);
  } else {
    // PMADataManager stays alive until its retry has run.
    EXPECT_EQ(server.requestsTo("/data").size(), 2u);
    EXPECT_EQ(errorCode(*answer), 0);
  }
}

TEST(DataManagerConfigurationTest, DefaultsThenNetworkSettingsThenTheGivenDictionary) {
  qbtest::resetOwnNetworkState();
  struct Case {
    const char* network;  // the controller configuration's "dataManager"
    const char* given;
    bool urlSession;
    int32_t retryNumber, retryDelay;
  };
  for (const Case& c : std::vector<Case>{
           {"null", "{}", true, 2, 0},
           {R"({"retryNumber":4,"retryDelay":"3"})", "{}", true, 4, 3},
           {R"({"retryNumber":4,"shouldUseURLSession":false})", R"({"retryNumber":1})", false, 1, 0},
           {"null", R"({"retryDelay":null,"shouldUseURLSession":"no","retryNumber":1e12})", false, 2147483647, 0}}) {
    QBNFeaturesManager::sharedManager().updateSupplyConfigurations(
        Json{{"networkConfig", Json{{"dataManager", Json::parse(c.network)}}}});
    const auto configuration = QBNDataManagerConfiguration::initWithDictionary(Json::parse(c.given));
    EXPECT_EQ(configuration.shouldUseURLSession, c.urlSession) << c.network << c.given;
    EXPECT_EQ(configuration.retryNumber, c.retryNumber) << c.network << c.given;
    EXPECT_EQ(configuration.retryDelay, c.retryDelay) << c.network << c.given;
  }
  EXPECT_EQ(QBNDataManagerConfiguration().description(),
            R"(DataManager configuration: {"shouldUseURLSession":"true","retryNumber":"2","retryDelay":"0"})");
  qbtest::resetOwnNetworkState();
}

}  // namespace
