// The page's ad impressions: the handler made by the registered factory,
// driven with requests as the dispatcher parses them, against the store
// stand-in's network, whose record shows what was started and ended.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

#include "ownnetwork/interfaces/QBNScriptHandlerFactories.h"
#include "platform/test_environment.h"
#include "scriptfeatures/QBScriptFeaturesRegistration.h"
#include "scriptfeatures/storekit/QBNAdImpressionJSInterfaceHandler.h"
#include "scriptfeatures/storekit_support.h"

namespace {

using platform::Json;
using platform::StoreKitControl;
using storekittest::escaped;
using storekittest::request;

std::string impressionQuery(const std::string& functionName, const std::optional<Json>& data) {
  std::string query = "functionName=" + functionName + "&success=ok&fail=ko";
  if (data) query += "&impressionData=" + escaped(*data);
  return query;
}
std::string startQuery(const Json& data) { return impressionQuery("startImpression", data); }
std::string endQuery() { return impressionQuery("endImpression", Json::object()); }

const Json kImpressionData = {{"adNetworkSourceAppStoreIdentifier", 0},
                    {"id", 1460000001},
                    {"sourceIdentifier", 4711},
                    {"adNetworkId", "net.example.skadnetwork"},
                    {"adNetworkPayloadVersion", "4.0"},
                    {"adNetworkImpressionTimestamp", 1700000000000},
                    {"adNetworkAttributionSignature", "MEUCIQ+sig/=="},
                    {"adNetworkNonce", "68483ef6-0678-41b1-a2b3-3a2e4b2f5c1d"},
                    {"adNetworkCampaignId", 42},
                    {"adType", "interstitial"},
                    {"adDescription", "A 100% fun game"},
                    {"adPurchaserName", "Pinewood Games"}};

// "<method> <properties>" of each network call.
std::vector<std::string> impressionNetworkCalls() {
  std::vector<std::string> out;
  for (const auto& call : StoreKitControl::shared().impressionCalls()) {
    out.push_back(call.method + " " + platform::dumpJson(call.properties));
  }
  return out;
}

class AdImpressionTest : public ::testing::Test {
 protected:
  AdImpressionTest() {
    storekittest::resetStoreFeatures();
    QBNScriptHandlerFactories::resetForTesting();
    qb::scriptfeatures::registerWithOwnNetwork();
    handler = std::dynamic_pointer_cast<QBNAdImpressionJSInterfaceHandler>(
        QBNScriptHandlerFactories::current().adImpressionHandler(page));
  }
  ~AdImpressionTest() override {
    handler.reset();
    env.runUntilIdle();
    QBNScriptHandlerFactories::resetForTesting();
    storekittest::resetStoreFeatures();
  }

  void send(const std::string& query) { handler->invokeAPIWithJSParams(request(query)); }

  platform::TestEnvironment env;
  std::shared_ptr<storekittest::RecordingPage> page = std::make_shared<storekittest::RecordingPage>();
  std::shared_ptr<QBNAdImpressionJSInterfaceHandler> handler;
};

struct ImpressionCase {
  const char* label;
  std::function<void()> arrange;
  std::vector<std::string> queries;
  std::vector<std::string> replies;
  std::vector<std::string> network;  // methods only
};

TEST_F(AdImpressionTest, EveryFailureAndSilence) {
  const std::string ok = "ok option 2";
  const auto ko = [](const std::string& message, int code) {
    return "ko option 1 errMsg=" + message + " errCode=" + std::to_string(code);
  };
  const platform::Error networkError{platform::kSKANErrorDomain, platform::SKANError::Unknown, "the network is down"};
  const ImpressionCase cases[] = {
      {"an end before any start", nullptr, {endQuery()},
       {ko("missing SKAdImpression instance for endImpression", 98)}, {}},
      {"an end without data", nullptr, {startQuery(kImpressionData), impressionQuery("endImpression", std::nullopt)},
       {ok, ko("missing impressionData", 98)}, {"startImpression"}},
      {"data that is an array", nullptr, {startQuery(Json::array({1}))},
       {ko("impressionData is not a JSON object", 98)}, {}},
      {"no function name", nullptr, {"impressionData=%7B%7D&success=ok&fail=ko"}, {}, {}},
      {"an unknown function", nullptr, {impressionQuery("pauseImpression", kImpressionData)}, {}, {}},
      {"an unknown function without data", nullptr, {impressionQuery("pauseImpression", std::nullopt)},
       {ko("missing impressionData", 98)}, {}},
      {"the network's error", [&] { StoreKitControl::shared().failNextImpressionCall(networkError); },
       {startQuery(kImpressionData)},
       {ko("the network is down", 10)}, {"startImpression"}},
      {"the network's error without text",
       [] { StoreKitControl::shared().failNextImpressionCall(platform::Error{platform::kSKANErrorDomain, 5, ""}); },
       {startQuery(kImpressionData)}, {ko("SKAdImpression - missing error message", 5)}, {"startImpression"}},
      // The start failed, so the network knows no impression to end.
      {"an end of an impression the network does not know",
       [] { StoreKitControl::shared().failNextImpressionCall(platform::Error{"x", 1, "lost"}); },
       {startQuery(kImpressionData), endQuery()},
       {ko("lost", 1), ko("The operation couldn\u2019t be completed. (SKANErrorDomain error 4.)", 4)},
       {"startImpression", "endImpression"}},
      {"a start that throws", [] { StoreKitControl::shared().throwOnNextImpressionCall("bad impression"); },
       {startQuery(kImpressionData)}, {ko("std::invalid_argument: bad impression", 98)}, {}},
      {"an end that throws without reason", nullptr, {startQuery(kImpressionData), "throw", endQuery()},
       {ok, ko("std::invalid_argument: exception while endImpression", 98)}, {"startImpression"}},
      {"no impression class", [] { platform::ClassRegistry::shared().unregisterClass("SKAdImpression"); },
       {startQuery(kImpressionData)}, {ko("failed to instantiate SKAdImpression", 98)}, {}},
      {"no network class", [] { platform::ClassRegistry::shared().unregisterClass("SKAdNetwork"); },
       {startQuery(kImpressionData)}, {}, {}},
      {"a network without impressions", [] { storekittest::setSystemVersion("14.4"); },
       {startQuery(kImpressionData)}, {}, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    storekittest::resetStoreFeatures();
    handler = std::make_shared<QBNAdImpressionJSInterfaceHandler>(page);
    if (c.arrange) c.arrange();
    for (const auto& query : c.queries) {
      if (query == "throw") {
        env.runUntilIdle();
        StoreKitControl::shared().throwOnNextImpressionCall("");
        continue;
      }
      send(query);
      env.runUntilIdle();  // each command answered before the next
    }
    EXPECT_EQ(page->takeLines(), c.replies);
    std::vector<std::string> methods;
    for (const auto& call : StoreKitControl::shared().impressionCalls()) methods.push_back(call.method);
    EXPECT_EQ(methods, c.network);
  }
}

TEST_F(AdImpressionTest, DataThatIsNoJsonAnswersTheParsersText) {
  send("functionName=startImpression&impressionData=%7Bnot%20json&success=ok&fail=ko");
  env.runUntilIdle();
  const auto sent = page->take();
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].params["errCode"], 98);
  const std::string message = sent[0].params["errMsg"];
  EXPECT_NE(message.find("parse error"), std::string::npos) << message;
}

TEST_F(AdImpressionTest, AStartSetsTheValuesOfTheirTypeAndEchoesTheRequest) {
  struct {
    const char* system;
    Json data;
    Json properties;
  } cases[] = {
      {"17.0", kImpressionData,
       {{"sourceAppStoreItemIdentifier", 0},
        {"advertisedAppStoreItemIdentifier", 1460000001},
        {"sourceIdentifier", 4711},
        {"adNetworkIdentifier", "net.example.skadnetwork"},
        {"version", "4.0"},
        {"timestamp", 1700000000000},
        {"signature", "MEUCIQ+sig/=="},
        {"adImpressionIdentifier", "68483ef6-0678-41b1-a2b3-3a2e4b2f5c1d"},
        {"adCampaignIdentifier", 42},
        {"adType", "interstitial"},
        {"adDescription", "A 100% fun game"},
        {"adPurchaserName", "Pinewood Games"}}},
      // Below 16.1 the impression has no source identifier.
      {"16.0", {{"sourceIdentifier", 4711}, {"adType", "banner"}}, {{"adType", "banner"}}},
      // Values of the wrong type are skipped; the impression still starts.
      {"17.0",
       {{"id", "1460000001"}, {"adNetworkId", 7}, {"adNetworkCampaignId", 2.5}, {"adType", nullptr}},
       {{"adCampaignIdentifier", 2.5}}},
      {"17.0", Json::object(), Json::object()},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(platform::dumpJson(c.data));
    storekittest::resetStoreFeatures();
    storekittest::setSystemVersion(c.system);
    handler = std::make_shared<QBNAdImpressionJSInterfaceHandler>(page);
    const std::string query = startQuery(c.data);
    send(query);
    env.runUntilIdle();
    const auto sent = page->take();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].function, "ok");
    EXPECT_EQ(sent[0].option, 2);
    EXPECT_EQ(sent[0].params, request(query)) << "the request as received, the data still escaped";
    EXPECT_EQ(impressionNetworkCalls(),
              std::vector<std::string>{"startImpression " + platform::dumpJson(c.properties)});
  }
}

TEST_F(AdImpressionTest, AnEndEndsTheImpressionStartedLast) {
  for (const auto& query : {startQuery({{"adNetworkNonce", "first"}}), startQuery({{"adNetworkNonce", "second"}}),
                            endQuery(), endQuery()}) {
    send(query);
    env.runUntilIdle();
  }
  EXPECT_EQ(page->takeLines(), (std::vector<std::string>{"ok option 2", "ok option 2", "ok option 2",
                                                         "ko option 1 errMsg=missing SKAdImpression instance for "
                                                         "endImpression errCode=98"}));
  EXPECT_EQ(impressionNetworkCalls(), (std::vector<std::string>{R"(startImpression {"adImpressionIdentifier":"first"})",
                                                      R"(startImpression {"adImpressionIdentifier":"second"})",
                                                      R"(endImpression {"adImpressionIdentifier":"second"})"}));
  EXPECT_EQ(handler->adImpressionService()->adImpressionInstance(), nullptr);
}

TEST_F(AdImpressionTest, ALateAnswerToAnEndKeepsTheImpressionOfALaterStart) {
  // The network answers on the main queue 100 ms after each call: the end of
  // the first impression answers after the second has started.
  StoreKitControl::shared().setImpressionAnswer({std::nullopt, 100, platform::StoreLoadThread::MainQueue});
  send(startQuery({{"adNetworkNonce", "first"}}));
  send(endQuery());
  send(startQuery({{"adNetworkNonce", "second"}}));
  env.runUntilIdle();
  EXPECT_EQ(page->count(), 0u) << "nothing answers before the network";
  env.advance(100);
  env.runUntilIdle();
  EXPECT_EQ(page->takeLines(), (std::vector<std::string>(3, "ok option 2")));
  send(endQuery());
  env.advance(100);
  env.runUntilIdle();
  EXPECT_EQ(page->takeLines(), (std::vector<std::string>{"ok option 2"}));
  EXPECT_EQ(impressionNetworkCalls().back(), R"(endImpression {"adImpressionIdentifier":"second"})");
}

TEST_F(AdImpressionTest, CommandsRunOnTheServicesQueueNotOnTheCaller) {
  send(startQuery(kImpressionData));
  EXPECT_TRUE(StoreKitControl::shared().impressionCalls().empty()) << "nothing runs inside the call";
  env.runUntilIdle();
  const auto calls = StoreKitControl::shared().impressionCalls();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].queueLabel, handler->adImpressionService()->queue()->label());
}

// Real mode: pages of 8 threads send 100 start/end pairs each. Every end ends
// the impression of the start received just before it, although each start
// lingers on its way to the network.
TEST(AdImpressionRealModeTest, StartsAndEndsRunInTheOrderReceived) {
  storekittest::resetStoreFeatures();
  auto page = std::make_shared<storekittest::RecordingPage>();
  auto handler = std::make_shared<QBNAdImpressionJSInterfaceHandler>(page);
  handler->setBeforeStartForTesting([] { std::this_thread::sleep_for(std::chrono::microseconds(200)); });
  constexpr int kThreads = 8;
  constexpr int kPairs = 100;
  std::mutex wire;  // the order in which the commands are received
  std::vector<std::string> received;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < kPairs; ++i) {
        const std::string nonce = std::to_string(t) + "-" + std::to_string(i);
        std::lock_guard lock(wire);
        received.push_back(nonce);
        handler->invokeAPIWithJSParams(request(startQuery({{"adNetworkNonce", nonce}})));
        handler->invokeAPIWithJSParams(request(endQuery()));
      }
    });
  }
  for (auto& thread : threads) thread.join();
  ASSERT_TRUE(page->waitFor(2 * kThreads * kPairs, std::chrono::seconds(60)));
  const auto lines = page->takeLines();
  EXPECT_EQ(lines, std::vector<std::string>(2 * kThreads * kPairs, "ok option 2"));
  const auto calls = StoreKitControl::shared().impressionCalls();
  ASSERT_EQ(calls.size(), received.size() * 2);
  for (size_t i = 0; i < received.size(); ++i) {
    const Json expected = {{"adImpressionIdentifier", received[i]}};
    ASSERT_EQ(calls[2 * i].method, "startImpression") << i;
    ASSERT_EQ(calls[2 * i].properties, expected) << i;
    ASSERT_EQ(calls[2 * i + 1].method, "endImpression") << i;
    ASSERT_EQ(calls[2 * i + 1].impression, calls[2 * i].impression) << i;
  }
  handler.reset();
  storekittest::resetStoreFeatures();
}

}  // namespace
