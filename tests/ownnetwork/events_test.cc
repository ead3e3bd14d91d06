#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "foundation/PMEReachability.h"
#include "ownnetwork/api/QBNConfigurations.h"
#include "ownnetwork/ownnetwork_test_support.h"
#include "platform/crypto.h"
#include "support/sandbox_own_events.h"

namespace {

using platform::Json;

// One sandbox for the suite, answering the events.
class OwnNetworkEventsTest : public qbtest::WithOwnEventsSandbox<qbtest::OwnNetworkTest> {
 protected:
  OwnNetworkEventsTest() : server(*WithOwnEventsSandbox::server) {
    server.clearRequests();
    server.clearFaults();
    PMEReachabilityManager::resetForTesting();
    platform::ReachabilitySource::shared().setStatus(platform::kReachabilityViaWiFi);
    setDevice([](platform::DeviceFacts& f) {
      f.osVersion = "17.0";
      f.hardwareModel = "iPhone15,2";
    });
  }
  ~OwnNetworkEventsTest() override { PMEReachabilityManager::resetForTesting(); }

  QBNConfigurations configurations(const std::string& method, bool enabled = true) {
    QBNConfigurations c;
    c.applicationKey = "appkey1";
    c.userId = "user1";
    c.controllerURL = "https://controller.example/page.html";
    c.controllerConfig = Json{{"advId", "adv-1"},
                              {"networkConfig",
                               {{"events",
                                 {{"endpoint", server.url(qbtest::kOwnEventsPath)},
                                  {"enabled", enabled},
                                  {"httpMethod", method},
                                  {"headers", {{"X-Events-Key", "k1"}}}}}}}};
    c.extraParams = Json{{"sessionid", "sess-1"}};
    return c;
  }

  // What the own network does when it initialises: build the events
  // configuration, give it the formatter, install a sender with fresh base
  // data.
  void prepare(const QBNConfigurations& c) {
    auto configuration = QBNFeaturesManager::buildEventsConfigurationFromNetworkConfiguration(&c);
    ASSERT_NE(configuration, nullptr);
    configuration->formatter = std::make_shared<QBNEventsFormatter>();
    configuration->allowLogs = true;  // the answer's line tells the test the upload ended
    ASSERT_TRUE(QBNEventsTracker::sharedTracker().init(configuration, std::make_shared<QBNEventsBaseData>(&c)).ok());
  }

  // Waits until `n` uploads have been answered.
  std::vector<qbtest::RecordedRequest> awaitUploads(size_t n) {
    EXPECT_TRUE(env.runUntil([&] { return console.countContaining("QBEventsTracker ") >= n; }));
    env.runUntilIdle();
    return server.requestsTo(qbtest::kOwnEventsPath);
  }

  static std::string baseDataJson() {
    return R"("sdkversion":"7.3.1","bundleid":"com.example.host","connectiontype":"wifi","applicationkey":"appkey1",)"
           R"("deviceid":"adv-1","applicationuserid":"user1","deviceos":"ios","deviceosversion":"17.0",)"
           R"("deviceapilevel":17,"deviceoem":"Apple","devicemodel":"iPhone15,2","env":"prod",)"
           R"("sessionid":"sess-1","origin":"n")";
  }

  qbtest::SandboxServer& server;
};

TEST_F(OwnNetworkEventsTest, PostSendsDataAndTheBase64OfTheEnvelopeAsTheBody) {
  prepare(configurations("POST"));
  QBNEventsTracker::logEvent(QBNEvents::loadAd(),
                             Json{{"isbiddinginstance", true}, {"demandsourcename", "rv1"}, {"producttype", "RewardedVideo"}});

  const auto requests = awaitUploads(1);
  ASSERT_EQ(requests.size(), 1u);
  const std::string envelope =
      R"({"table":"plovermark.adunitanalytics.ad_unit_events","data":{"isbiddinginstance":true,)"
      R"("demandsourcename":"rv1","producttype":"RewardedVideo","eventid":2005,"eventname":"n_loadad",)" +
      baseDataJson() + "}}";
  EXPECT_EQ(requests[0].method, "POST");
  EXPECT_EQ(requests[0].target, "/ownevents");
  EXPECT_EQ(requests[0].body, "data=" + platform::base64Encode(envelope));
  EXPECT_EQ(requests[0].header("X-Events-Key"), "k1");
  EXPECT_TRUE(console.heard("QBEventsTracker Response Status Code 200"));
}

TEST_F(OwnNetworkEventsTest, GetPutsThePercentEscapedBase64IntoTheQuery) {
  prepare(configurations("GET"));
  QBNEventsTracker::logEvent(QBNEvents::controllerFailed(),
                             Json{{"callfailreason", "Mobile controller Failed initiating."}, {"n", ">>>???"}});

  const auto requests = awaitUploads(1);
  ASSERT_EQ(requests.size(), 1u);
  const std::string envelope =
      R"({"table":"plovermark.adunitanalytics.ad_unit_events","data":{"callfailreason":)"
      R"("Mobile%20controller%20Failed%20initiating.","n":">>>???","eventid":2013,"eventname":"n_controllerfailed",)" +
      baseDataJson() + "}}";
  const std::string base64 = platform::base64Encode(envelope);
  ASSERT_NE(base64.find_first_of("+/"), std::string::npos) << "the payload should hold characters a query misreads";
  EXPECT_EQ(requests[0].method, "GET");
  EXPECT_EQ(requests[0].target, "/ownevents?data=" + platform::percentEncode(base64));
  EXPECT_EQ(requests[0].body, "");
  // What the server's query decoding gives back is the payload itself.
  EXPECT_EQ(qbtest::ownNetworkEventEnvelope(requests[0]), Json::parse(envelope));
}

TEST_F(OwnNetworkEventsTest, EventsAreDroppedUnpreparedDisabledOrUnnamedAndALaterPreparationReplacesTheSender) {
  QBNEventsTracker::logEvent(QBNEvents::initSdk());  // nothing installed yet
  prepare(configurations("POST", /*enabled=*/false));
  QBNEventsTracker::logEvent(QBNEvents::initSdk());
  QBNConfigurations second = configurations("POST");
  second.applicationKey = "appkey2";
  prepare(second);
  QBNEventsTracker::logEvent(QBNEvent(2099, ""));
  QBNEventsTracker::logEvent(QBNEvents::controllerStageReady());

  const auto requests = awaitUploads(1);
  ASSERT_EQ(requests.size(), 1u);
  const auto events = qbtest::ownNetworkEventsReceived(server);
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0]["eventid"], 2004);
  EXPECT_EQ(events[0]["applicationkey"], "appkey2");
}

TEST_F(OwnNetworkEventsTest, BaseDataWinsAndOnlyTheTwoMessageKeysAreEscaped) {
  platform::ReachabilitySource::shared().setStatus(platform::kReachabilityViaWWAN);
  QBNConfigurations c = configurations("POST");
  c.userId.reset();
  c.controllerConfig->erase("advId");
  c.extraParams = Json{{"other", 1}};
  prepare(c);
  platform::ReachabilitySource::shared().setStatus(platform::kReachabilityViaWiFi);  // after the snapshot
  QBNEventsTracker::logEvent(QBNEvents::createControllerWeb(), Json{{"eventname", "spoof"},
                                                                    {"sdkversion", "0"},
                                                                    {"eventid", 1},
                                                                    {"generalmessage", "true & false"},
                                                                    {"note", "true & false"}});
  QBNEventsTracker::logEvent(QBNEvents::webViewTerminated(), Json{{"bad", std::nan("")}});

  const auto requests = awaitUploads(2);
  ASSERT_EQ(requests.size(), 2u);
  const auto events = qbtest::ownNetworkEventsReceived(server);
  ASSERT_EQ(events.size(), 1u);  // the second could not be serialised: sent empty
  const Json& event = events[0];
  EXPECT_EQ(event["eventname"], "n_createcontrollerweb");
  EXPECT_EQ(event["eventid"], 2002);
  EXPECT_EQ(event["sdkversion"], "7.3.1");
  EXPECT_EQ(event["generalmessage"], "true%20%26%20false");
  EXPECT_EQ(event["note"], "true & false");
  EXPECT_EQ(event["connectiontype"], "3G");
  EXPECT_EQ(event["sessionid"], "");
  EXPECT_FALSE(event.contains("deviceid"));
  EXPECT_FALSE(event.contains("applicationuserid"));
  const bool emptyBodySent = requests[0].body.empty() || requests[1].body.empty();
  EXPECT_TRUE(emptyBodySent);
}

TEST_F(OwnNetworkEventsTest, UploadAnswersAndFailuresArePrintedWhenAllowed) {
  server.inject(qbtest::kOwnEventsPath, qbtest::SandboxFault::failing(503));
  prepare(configurations("POST"));
  QBNEventsTracker::logEvent(QBNEvents::initSdk());
  EXPECT_TRUE(env.runUntil([&] { return console.heard("QBEventsTracker Response Status Code 503"); }));

  QBNConfigurations unreachable = configurations("POST");
  (*unreachable.controllerConfig)["networkConfig"]["events"]["endpoint"] = "http://127.0.0.1:1/ownevents";
  prepare(unreachable);
  QBNEventsTracker::logEvent(QBNEvents::initSdk());
  EXPECT_TRUE(env.runUntil([&] { return console.contains("QBEventsTracker Request Error "); }));

}

TEST_F(OwnNetworkEventsTest, ASenderNeedsAConfigurationAndItsFormatter) {
  prepare(configurations("POST"));
  auto installed = QBNEventsTracker::sharedTracker().tracker();

  auto status = QBNEventsTracker::sharedTracker().init(nullptr, nullptr);
  ASSERT_FALSE(status.ok());
  EXPECT_EQ(status.error(), (platform::Error{"EventsConfigurationIsNil", 0, "Nil configuration not supported"}));
  status = QBNEventsTracker::sharedTracker().init(std::make_shared<QBEventsConfiguration>(), nullptr);
  ASSERT_FALSE(status.ok());
  EXPECT_EQ(status.error(), (platform::Error{"EventsFormatterIsNil", 0, "Nil formatter is not supported"}));
  EXPECT_EQ(QBNEventsTracker::sharedTracker().tracker(), installed);
}

}  // namespace
