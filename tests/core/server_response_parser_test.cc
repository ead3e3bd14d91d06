#include "core/QBServerResponseParser.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "core/QBConfigurations.h"
#include "core/QuillborneObjectPublisherDataHolder.h"
#include "platform/json.h"
#include "platform/storage.h"

namespace {

using platform::Json;

const QBAdUnit kRv = QBAdUnit::QB_AD_UNIT_REWARDED_VIDEO();
const QBAdUnit kIs = QBAdUnit::QB_AD_UNIT_INTERSTITIAL();

std::string fixtureText() {
  auto text = platform::readFile(std::string(QB_FIXTURES_DIR) + "/configuration.json");
  EXPECT_TRUE(text.ok());
  return text.ok() ? text.value() : std::string();
}

Json fixtureJson() { return platform::parseJson(fixtureText()).valueOr(Json::object()); }

std::vector<std::string> names(const std::vector<std::shared_ptr<QBAdapterConfig>>& configs) {
  std::vector<std::string> out;
  for (const auto& c : configs) out.push_back(c->providerName());
  return out;
}

class ServerResponseParserTest : public ::testing::Test {
 protected:
  void SetUp() override {
    QBConfigurations::getConfigurations().resetForTesting();
    QuillborneObjectPublisherDataHolder::sharedInstance().resetForTesting();
  }
  void TearDown() override { SetUp(); }

  std::shared_ptr<QBServerResponseParser> parser = QBServerResponseParser::create();
};

// Spot checks of values that differ from the defaults, so each proves its key
// is read; the wrong-type test below covers the fallbacks.
TEST_F(ServerResponseParserTest, FixtureFillsEveryRecord) {
  ASSERT_TRUE(parser->parse(fixtureText()).ok());
  auto snap = parser->snapshot();
  ASSERT_TRUE(snap->hasConfiguration());
  EXPECT_EQ(snap->originServerResponse(), fixtureJson());
  EXPECT_EQ(snap->configuredAdUnits(), (std::vector<QBAdUnit>{kRv, kIs}));
  EXPECT_EQ(snap->productSettings(QBAdUnit::QB_AD_UNIT_BANNER()), nullptr);

  auto rv = snap->productSettings(kRv);
  ASSERT_NE(rv, nullptr);
  ASSERT_EQ(rv->placements().size(), 2u);
  EXPECT_EQ(rv->placements()[0]->placementInfo(), QBPlacementInfo("DefaultRewardedVideo", "coins", 10));
  EXPECT_EQ(rv->placements()[1]->cappingType(), "h");
  EXPECT_TRUE(rv->isBiddingDataAsyncEnabled());
  EXPECT_EQ(snap->productSettings(kIs)->adapterTimeOutInSeconds(), 20);

  auto auction = snap->auctionSettings();
  EXPECT_TRUE(auction->isAuctionEnabled());
  EXPECT_EQ(auction->disableLoadWhileShowSupportFor(), std::vector<std::string>{"Tulvo"});
  EXPECT_EQ(auction->minTimeBeforeFirstRvAuctionMs(), 1000);
  EXPECT_TRUE(auction->isEncryptedAuctionResponse());
  EXPECT_TRUE(snap->tokenSettings()->compressToken());
  EXPECT_EQ(snap->applicationSettings()->crashReporterURL(), "http://127.0.0.1:0/crash");

  auto rvEvents = snap->eventsSettings("events");
  ASSERT_NE(rvEvents, nullptr);
  EXPECT_EQ(rvEvents->optOut(), (std::vector<int64_t>{1320, 1321}));
  EXPECT_TRUE(rvEvents->isTriggerEvent(1003));
  EXPECT_TRUE(rvEvents->isNonConnectivityEvent(1000));
  EXPECT_TRUE(snap->eventsSettings("InterstitialEvents")->isMarrowjetFormat());
  EXPECT_EQ(snap->eventsSettings("pixelEvents")->maxNumberOfEvents(), 1);
  EXPECT_EQ(snap->eventsSettings("unknownEngine"), nullptr);
  EXPECT_EQ(snap->testSuiteSettings()->controllerUrl(), "http://127.0.0.1:0/testsuite/index.html");

  // Process-wide copies follow the snapshot.
  EXPECT_EQ(QBConfigurations::getConfigurations().serverPublisherLogLevel(), 1);
  EXPECT_EQ(QuillborneObjectPublisherDataHolder::sharedInstance().getSKAdNetworkSettings(),
            snap->skAdNetworkSettings());

  auto rvConfigs = snap->adapterConfigs(kRv);
  ASSERT_EQ(names(rvConfigs), (std::vector<std::string>{"TulvoRV1", "TulvoRV2"}));
  EXPECT_TRUE(rvConfigs[0]->isBidder());
  EXPECT_FALSE(rvConfigs[1]->isBidder());
  EXPECT_EQ(rvConfigs[0]->settings().value("publisherId", ""), "tulvo-publisher-1");
  EXPECT_DOUBLE_EQ(rvConfigs[1]->loadTimeOutSec(), 2.9);
  auto isConfigs = snap->adapterConfigs(kIs);
  ASSERT_EQ(names(isConfigs), std::vector<std::string>{"TulvoIS1"});
  EXPECT_DOUBLE_EQ(isConfigs[0]->loadTimeOutSec(), 20.0);  // the ad unit's adapterTimeOutInSeconds
  EXPECT_EQ(snap->adapterConfig(kIs, "TulvoIS1"), isConfigs[0]);
  EXPECT_EQ(snap->adapterConfig(kIs, "TulvoRV1"), nullptr);
  EXPECT_TRUE(snap->adapterConfigs(QBAdUnit::QB_AD_UNIT_BANNER()).empty());
}

TEST_F(ServerResponseParserTest, EmptyAndMinimalSnapshotsAnswerWithDefaults) {
  auto empty = parser->snapshot();
  EXPECT_FALSE(parser->hasConfiguration());
  EXPECT_TRUE(empty->configuredAdUnits().empty());
  EXPECT_FALSE(empty->auctionSettings()->isAuctionEnabled());
  EXPECT_EQ(empty->eventsSettings("events")->serverEventsURL(), "https://events.quillborne.invalid/mediation?adUnit=3");
  EXPECT_FALSE(empty->eventsSettings("pixelEvents")->isEnabled());
  EXPECT_EQ(QBConfigurations::getConfigurations().serverConsoleLogLevel(), std::nullopt);

  ASSERT_TRUE(parser->parse(R"({"configurations": {"application": 3}, "providerOrder": {},
                                "providerSettings": {}})").ok());
  auto snap = parser->snapshot();
  EXPECT_TRUE(snap->hasConfiguration());
  EXPECT_TRUE(snap->configuredAdUnits().empty());
  EXPECT_EQ(snap->applicationSettings()->adMetricsURL(), "https://events.quillborne.invalid/aemData");
  EXPECT_EQ(snap->skAdNetworkSettings()->maxConversionValue(), 63);
}

TEST_F(ServerResponseParserTest, MalformedConfigurationFailsAndKeepsThePreviousSnapshot) {
  ASSERT_TRUE(parser->parse(fixtureText()).ok());
  const auto before = parser->snapshot();
  const std::string full = fixtureText();

  Json missingOrder = fixtureJson();
  missingOrder.erase("providerOrder");
  Json sectionNotObject = fixtureJson();
  sectionNotObject["providerSettings"] = Json::array();
  const std::string deep = std::string(600, '[') + std::string(600, ']');

  const std::vector<std::string> inputs = {
      "",
      full.substr(0, full.size() / 2),  // truncated
      "[1, 2]",
      deep,
      platform::dumpJson(missingOrder),
      platform::dumpJson(sectionNotObject),
  };
  QBConfigurations::getConfigurations().setServerLogLevels(std::nullopt, std::nullopt);
  for (const auto& input : inputs) {
    SCOPED_TRACE(input.substr(0, 60));
    auto status = parser->parse(input);
    ASSERT_FALSE(status.ok());
    EXPECT_EQ(status.error().code, 501);
    EXPECT_EQ(parser->snapshot(), before);
  }
  // A failed parse leaves the process-wide copies alone too.
  EXPECT_EQ(QBConfigurations::getConfigurations().serverConsoleLogLevel(), std::nullopt);
}

TEST_F(ServerResponseParserTest, WrongTypesAndRangesGiveDocumentedDefaults) {
  Json c = fixtureJson();
  Json& rv = c["configurations"]["rewardedVideo"];
  rv["maxNumOfAdaptersToLoadOnStart"] = 0;  // below 1
  rv["adapterTimeOutInSeconds"] = "45";
  rv["expiredDurationInMinutes"] = true;
  rv["biddingDataAsyncTimeout"] = 1e30;
  rv["placements"][1] = {{"placementId", 7}};  // no name: skipped
  rv["placements"].push_back(42);
  c["configurations"]["interstitial"]["placements"] = Json::object();
  c["configurations"]["banner"] = "not an object";
  Json& auction = c["configurations"]["application"]["auction"];
  auction["maxTrials"] = "3";
  auction["disableLoadWhileShowSupportFor"] = {"Tulvo", 3, nullptr, "Other"};
  auction["encryptionVersion"] = 7;
  auction["timeout"] = 0;
  c["configurations"]["application"]["events"]["events"] = Json::array();
  c["configurations"]["application"]["events"]["InterstitialEvents"]["serverEventsType"] = "xml";
  c["configurations"]["application"]["events"]["InterstitialEvents"]["optOut"] = {2000, "2001", 2002.0};
  c["configurations"]["application"]["loggers"] = {{"console", 9}, {"publisher", "3"}};
  c["configurations"]["application"]["crashReporter"] = {{"enabled", true}};
  c["configurations"]["testSuite"] = {{"controllerUrl", 7}};
  c["providerOrder"]["rewardedVideo"] = {"TulvoRV2", 12, "TulvoRV2", "Missing", "TulvoRV1"};
  c["providerOrder"]["interstitial"] = "TulvoIS1";
  c["providerSettings"]["TulvoRV1"] = Json::array();

  ASSERT_TRUE(parser->parseConfiguration(c).ok());
  auto snap = parser->snapshot();
  auto p = snap->productSettings(kRv);
  EXPECT_EQ(p->maxNumOfAdaptersToLoadOnStart(), QBProductSettings::kDefaultMaxNumOfAdaptersToLoadOnStart);
  EXPECT_EQ(p->adapterTimeOutInSeconds(), 30);
  EXPECT_EQ(p->expiredDurationInMinutes(), -1);
  EXPECT_EQ(p->biddingDataAsyncTimeout(), 5000);
  ASSERT_EQ(p->placements().size(), 1u);
  EXPECT_TRUE(snap->productSettings(kIs)->placements().empty());
  EXPECT_EQ(snap->productSettings(QBAdUnit::QB_AD_UNIT_BANNER()), nullptr);

  auto a = snap->auctionSettings();
  EXPECT_EQ(a->maxTrials(), 0);
  EXPECT_FALSE(a->isAuctionEnabled());
  EXPECT_EQ(a->disableLoadWhileShowSupportFor(), (std::vector<std::string>{"Tulvo", "Other"}));
  EXPECT_EQ(a->encryptionVersion(), QBAuctionSettings::kDefaultEncryptionVersion);
  EXPECT_EQ(a->timeout(), QBAuctionSettings::kDefaultTimeoutMs);

  EXPECT_EQ(snap->eventsSettings("events")->serverEventsURL(),
            QBEventsSettings::defaultServerEventsURL("events"));
  EXPECT_EQ(snap->eventsSettings("events")->maxNumberOfEvents(), QBEventsSettings::kDefaultMaxNumberOfEvents);
  EXPECT_EQ(snap->eventsSettings("InterstitialEvents")->serverEventsType(), "outcome");
  EXPECT_EQ(snap->eventsSettings("InterstitialEvents")->optOut(), (std::vector<int64_t>{2000, 2002}));
  EXPECT_EQ(snap->applicationSettings()->consoleLogLevel(), 0);
  EXPECT_EQ(snap->applicationSettings()->publisherLogLevel(), 1);
  EXPECT_FALSE(snap->applicationSettings()->isCrashReporterEnabled());  // enabled but no URL
  EXPECT_EQ(snap->testSuiteSettings()->controllerUrl(), std::nullopt);

  // Names without provider settings, repeats and non-strings are left out.
  EXPECT_EQ(names(snap->adapterConfigs(kRv)), std::vector<std::string>{"TulvoRV2"});
  EXPECT_TRUE(snap->adapterConfigs(kIs).empty());
}

// Readers always see a whole snapshot while writers swap configurations in.
TEST_F(ServerResponseParserTest, ConcurrentParsesAndReadsSeeWholeSnapshots) {
  Json a = fixtureJson();
  Json b = fixtureJson();
  b["configurations"]["application"]["auction"]["maxTrials"] = 5;
  b["configurations"]["rewardedVideo"]["adapterTimeOutInSeconds"] = 11;
  ASSERT_TRUE(parser->parseConfiguration(a).ok());

  std::atomic<bool> stop{false};
  std::atomic<int> mismatches{0};
  std::vector<std::thread> readers;
  for (int r = 0; r < 3; ++r) {
    readers.emplace_back([&] {
      while (!stop.load()) {
        auto snap = parser->snapshot();
        const bool isB = snap->auctionSettings()->maxTrials() == 5;
        const int64_t timeout = snap->productSettings(kRv)->adapterTimeOutInSeconds();
        if (timeout != (isB ? 11 : 30)) ++mismatches;
        if (snap->adapterConfigs(kRv).at(0)->loadTimeOutSec() != 30.0) ++mismatches;  // set per instance
      }
    });
  }
  std::vector<std::thread> writers;
  for (int w = 0; w < 2; ++w) {
    writers.emplace_back([&, w] {
      for (int i = 0; i < 50; ++i) EXPECT_TRUE(parser->parseConfiguration((i + w) % 2 ? a : b).ok());
    });
  }
  for (auto& t : writers) t.join();
  stop = true;
  for (auto& t : readers) t.join();
  EXPECT_EQ(mismatches.load(), 0);
}

}  // namespace
