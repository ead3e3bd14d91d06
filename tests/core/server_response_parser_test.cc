#include "core/QBServerResponseParser.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <limits>
#include <string>
#include <thread>
#include <vector>

#include "core/QBConfigurations.h"
#include "core/QuillborneObjectPublisherDataHolder.h"
#include "foundation/QBLoggerManager.h"
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
  rv["adapterTimeOutInSeconds"] = "45";
  rv["expiredDurationInMinutes"] = true;
  rv["placements"][1] = {{"placementId", 7}};  // no name: skipped
  rv["placements"].push_back(42);
  c["configurations"]["interstitial"]["placements"] = Json::object();
  c["configurations"]["banner"] = "not an object";
  Json& auction = c["configurations"]["application"]["auction"];
  auction["maxTrials"] = "3";
  auction["disableLoadWhileShowSupportFor"] = {"Tulvo", 3, nullptr, "Other"};
  auction["encryptionVersion"] = 7;
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
  EXPECT_EQ(p->adapterTimeOutInSeconds(), 30);
  EXPECT_EQ(p->expiredDurationInMinutes(), -1);
  ASSERT_EQ(p->placements().size(), 1u);
  EXPECT_TRUE(snap->productSettings(kIs)->placements().empty());
  EXPECT_EQ(snap->productSettings(QBAdUnit::QB_AD_UNIT_BANNER()), nullptr);

  auto a = snap->auctionSettings();
  EXPECT_EQ(a->maxTrials(), 0);
  EXPECT_FALSE(a->isAuctionEnabled());
  EXPECT_EQ(a->disableLoadWhileShowSupportFor(), (std::vector<std::string>{"Tulvo", "Other"}));
  EXPECT_EQ(a->encryptionVersion(), QBAuctionSettings::kDefaultEncryptionVersion);

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

// Every time value and count of the configuration against the values that
// used to overflow further on: the largest integer, the largest doubles,
// negative, zero and fractional. Columns: INT64_MAX, 1e308, -5, 0, 7.9.
TEST_F(ServerResponseParserTest, TimeValuesAndCountsStayInTheirDocumentedRanges) {
  using Read = double (*)(const QBConfigurationSnapshot&);
  struct Row {
    const char* pointer;
    Read read;
    std::array<double, 5> expected;
  };
  constexpr double kCount = 2147483647.0;
  constexpr double kDayMs = 86'400'000.0;
  const Row rows[] = {
      {"/configurations/rewardedVideo/maxNumOfAdaptersToLoadOnStart",
       [](const QBConfigurationSnapshot& s) { return double(s.productSettings(kRv)->maxNumOfAdaptersToLoadOnStart()); },
       {kCount, kCount, 2, 2, 7}},
      {"/configurations/rewardedVideo/adapterTimeOutInSeconds",
       [](const QBConfigurationSnapshot& s) { return double(s.productSettings(kRv)->adapterTimeOutInSeconds()); },
       {3600, 3600, 30, 30, 7}},
      {"/configurations/rewardedVideo/delayLoadFailureNotificationInSeconds",
       [](const QBConfigurationSnapshot& s) {
         return double(s.productSettings(kRv)->delayLoadFailureNotificationInSeconds());
       },
       {3600, 3600, 3, 0, 7}},
      {"/configurations/rewardedVideo/expiredDurationInMinutes",
       [](const QBConfigurationSnapshot& s) { return double(s.productSettings(kRv)->expiredDurationInMinutes()); },
       {43200, 43200, -5, 0, 7}},
      {"/configurations/rewardedVideo/biddingDataAsyncTimeout",
       [](const QBConfigurationSnapshot& s) { return double(s.productSettings(kRv)->biddingDataAsyncTimeout()); },
       {3'600'000, 3'600'000, 5000, 5000, 7}},
      {"/configurations/rewardedVideo/placements/1/capping/maxImpressions",
       [](const QBConfigurationSnapshot& s) { return double(s.productSettings(kRv)->placements()[1]->cappingValue()); },
       {kCount, kCount, 0, 0, 7}},
      {"/configurations/rewardedVideo/placements/1/pacing/seconds",
       [](const QBConfigurationSnapshot& s) { return double(s.productSettings(kRv)->placements()[1]->pacingValue()); },
       {2'592'000, 2'592'000, 0, 0, 7}},
      {"/configurations/application/auction/maxTrials",
       [](const QBConfigurationSnapshot& s) { return double(s.auctionSettings()->maxTrials()); },
       {100, 100, -5, 0, 7}},
      {"/configurations/application/auction/timeout",
       [](const QBConfigurationSnapshot& s) { return double(s.auctionSettings()->timeout()); },
       {3'600'000, 3'600'000, 10000, 10000, 7}},
      {"/configurations/application/auction/auctionSavedHistoryLimit",
       [](const QBConfigurationSnapshot& s) { return double(s.auctionSettings()->auctionSavedHistoryLimit()); },
       {kCount, kCount, 0, 0, 7}},
      {"/configurations/application/auction/timeToDeleteWaterfallAfterAuction",
       [](const QBConfigurationSnapshot& s) { return double(s.auctionSettings()->timeToDeleteWaterfallAfterAuction()); },
       {kDayMs, kDayMs, 30000, 0, 7}},
      {"/configurations/application/auction/minTimeBeforeFirstIsAuctionMs",
       [](const QBConfigurationSnapshot& s) { return double(s.auctionSettings()->minTimeBeforeFirstIsAuctionMs()); },
       {kDayMs, kDayMs, 0, 0, 7}},
      {"/configurations/application/auction/minTimeBeforeFirstRvAuctionMs",
       [](const QBConfigurationSnapshot& s) { return double(s.auctionSettings()->minTimeBeforeFirstRvAuctionMs()); },
       {kDayMs, kDayMs, 0, 0, 7}},
      {"/configurations/application/auction/minTimeBeforeFirstBannerAuctionMs",
       [](const QBConfigurationSnapshot& s) { return double(s.auctionSettings()->minTimeBeforeFirstBannerAuctionMs()); },
       {kDayMs, kDayMs, 0, 0, 7}},
      {"/configurations/application/auction/minTimeBeforeRvAuctionMs",
       [](const QBConfigurationSnapshot& s) { return double(s.auctionSettings()->minTimeBeforeRvAuctionMs()); },
       {kDayMs, kDayMs, 0, 0, 7}},
      {"/configurations/application/auction/auctionRetryIntervalRvMs",
       [](const QBConfigurationSnapshot& s) { return double(s.auctionSettings()->auctionRetryIntervalRvMs()); },
       {kDayMs, kDayMs, 30000, 0, 7}},
      {"/configurations/application/events/events/maxNumberOfEvents",
       [](const QBConfigurationSnapshot& s) { return double(s.eventsSettings("events")->maxNumberOfEvents()); },
       {kCount, kCount, 100, 100, 7}},
      {"/configurations/application/events/events/maxEventsPerBatch",
       [](const QBConfigurationSnapshot& s) { return double(s.eventsSettings("events")->maxEventsPerBatch()); },
       {kCount, kCount, 5000, 5000, 7}},
      {"/configurations/application/events/events/maxNumberOfEventsToBackup",
       [](const QBConfigurationSnapshot& s) { return double(s.eventsSettings("events")->maxNumberOfEventsToBackup()); },
       {kCount, kCount, 5000, 0, 7}},
      // Falls back to the ad unit's adapterTimeOutInSeconds (30 in the fixture).
      {"/providerSettings/TulvoRV1/rewardedVideo/loadTimeOutSec",
       [](const QBConfigurationSnapshot& s) { return s.adapterConfig(kRv, "TulvoRV1")->loadTimeOutSec(); },
       {3600, 3600, 30, 30, 7.9}},
  };
  const Json values[] = {std::numeric_limits<int64_t>::max(), 1e308, -5, 0, 7.9};

  std::vector<std::string> warnings;
  QBLoggerManager::sharedInstance().setConsoleWriterForTesting(
      [&](const std::string& line) { warnings.push_back(line); });
  for (const Row& row : rows) {
    for (size_t i = 0; i < std::size(values); ++i) {
      SCOPED_TRACE(std::string(row.pointer) + " = " + values[i].dump());
      Json c = fixtureJson();
      c[Json::json_pointer(row.pointer)] = values[i];
      ASSERT_TRUE(parser->parseConfiguration(c).ok());
      EXPECT_EQ(row.read(*parser->snapshot()), row.expected[i]);
    }
  }
  QBLoggerManager::sharedInstance().setConsoleWriterForTesting(nullptr);

  // A value put back into its range says so, with its key.
  const auto clamped = std::count_if(warnings.begin(), warnings.end(), [](const std::string& line) {
    return line.find(" timeout = 1e+308 is above its range, using 3600000") != std::string::npos;
  });
  EXPECT_EQ(clamped, 1);
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
