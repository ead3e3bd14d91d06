// Construction of the managers: mode and settings, the first automatic load
// after construction, early network starts and the common event data.
#include "adunits_test_support.h"

namespace adunits_test {
namespace {

using Mode = QBAdUnitLoadingMode;

using ManagerConstructionTest = AdUnitsTest;

TEST_F(ManagerConstructionTest, EachManagerTakesItsModeAndSettings) {
  const Json settings = product();
  const Json auctionJson{{"maxTrials", 0}, {"auctionRetryIntervalRvMs", 9000}};
  Json lws = auctionJson;
  lws["isLoadWhileShow"] = true;
  EXPECT_EQ(makeRv({}, true, lws, settings)->loadingMode(), Mode::MANUAL);
  EXPECT_EQ(makeRv({}, false, lws, settings)->loadingMode(), Mode::AUTOMATIC_LOAD_WHILE_SHOW);
  EXPECT_EQ(makeIs({}, lws, settings)->loadingMode(), Mode::MANUAL);
  auto rewarded = makeRv({}, false, auctionJson, settings);
  EXPECT_EQ(rewarded->loadingMode(), Mode::AUTOMATIC_LOAD_AFTER_CLOSE);
  // The other settings show in the load and expiry tests; the retry interval only here.
  EXPECT_EQ(rewarded->managerData()->loadingData()->retryInterval(), 9000);

  // Init events carry the managers' names and the mediation-level ids.
  const auto rvStarted = last(K::INIT_STARTED);
  EXPECT_EQ(rvStarted["eventId"], 81312);
  EXPECT_EQ(rvStarted["managerName"], "OPW_RV");
  EXPECT_EQ(rvStarted["loadingMode"], "AUTOMATIC_LOAD_AFTER_CLOSE");
  EXPECT_EQ(last(K::INIT_STARTED, is)["eventId"], 82312);
  EXPECT_EQ(last(K::INIT_STARTED, is)["managerName"], "OPW_IS");
}

TEST_F(ManagerConstructionTest, AutomaticRewardedVideoLoadsOnlyOnceConstructionHasEnded) {
  addNetwork("Alpha");
  auto automatic = makeRv({instance("A1", "Alpha")}, false);
  EXPECT_EQ(book->loads(), Strings{"A1"});
  EXPECT_EQ(automatic->state(), State::QB_MANAGER_STATE_LOADING);
  const auto sent = kinds();
  ASSERT_GE(sent.size(), 3u);
  EXPECT_EQ(std::vector<int>(sent.begin(), sent.begin() + 3),
            (std::vector<int>{K::INIT_STARTED, K::INIT_ENDED, K::LOAD_AD}));
  EXPECT_FALSE(last(K::LOAD_AD).contains("publisherLoad"));

  auto manual = makeRv({instance("M1", "Alpha")}, true);
  EXPECT_EQ(book->loadCount("M1"), 0u);
  manual->loadAd();
  EXPECT_EQ(book->loadCount("M1"), 1u);
  EXPECT_EQ(last(K::LOAD_AD)["publisherLoad"], true);  // the application's own rewarded-video load
}

TEST_F(ManagerConstructionTest, EarlyNetworkStartsHaveNoDelegateAndFailuresAreReported) {
  auto alpha = addNetwork<FakeBiddingNetwork>("Alpha");
  auto beta = addNetwork("Beta");
  auto gamma = addNetwork("Gamma");
  addNetwork("Delta")->initAnswer = Answer::Throw;
  auto manager = makeRv({instance("A1", "Alpha", true), instance("B1", "Beta", false, rv, {}, {{"earlyInit", true}}),
                         instance("G1", "Gamma"), instance("D1", "Delta", false, rv, {}, {{"earlyInit", true}}),
                         instance("X1", "Ghost", true)},
                        true);
  EXPECT_EQ(manager->state(), State::QB_MANAGER_STATE_READY_TO_LOAD);
  EXPECT_EQ(alpha->initsWithoutDelegate, 1);
  EXPECT_EQ(beta->initsWithoutDelegate, 1);
  EXPECT_EQ(gamma->initCalls, 0);  // neither bidder, own network nor early
  std::vector<std::string> reasons;
  for (const auto& event : ofKind(K::TS_NETWORK_ADAPTER_NOT_AVAILABLE)) reasons.push_back(event["reason"]);
  EXPECT_EQ(reasons,
            (Strings{"Exception while calling init network adapter", "initNetworks - could not load network adapter"}));

  manager->startAdapters();
  EXPECT_EQ(QBAdapterRepository::sharedRepository().networkAdapters().size(), 4u);
}

TEST_F(ManagerConstructionTest, CommonEventDataFollowsTheEventKind) {
  addNetwork("Alpha");
  book->setAnswer("A1", Answer::Succeed);
  Json noPlacements = product();
  noPlacements.erase("placements");
  auto manager = makeRv({instance("A1", "Alpha")}, true, noAuction(), noPlacements);
  manager->loadAd();
  ASSERT_EQ(manager->state(), State::QB_MANAGER_STATE_READY_TO_SHOW);
  const std::string waterfallId = manager->waterfallLifeCycleHolder()->currentWaterfallId();

  EXPECT_FALSE(manager->getEventsAdditionalDataDictionary(K::LOAD_AD).contains("auctionId"));
  EXPECT_EQ(manager->getEventsAdditionalDataDictionary(K::AD_UNIT_CAPPED)["auctionTrials"], 0);
  EXPECT_EQ(manager->getEventsAdditionalDataDictionary(K::AUCTION_RESPONSE_WATERFALL),
            (Json{{"provider", "Mediation"}, {"programmatic", 1}, {"auctionId", waterfallId}, {"sessionDepth", 1}}));
  EXPECT_EQ(last(K::LOAD_AD_SUCCESS)["auctionId"], waterfallId);
}

TEST_F(ManagerConstructionTest, InstancesAreMadeOnlyForAdaptersOfTheAdUnitsClass) {
  auto manager = makeRv({}, true);
  auto config = instance("A1", "Alpha");
  EXPECT_FALSE(
      manager->createSmashWithAdapterConfig(config, std::make_shared<FakeAd<QBBaseInterstitial>>(book), 1, "x"));
  EXPECT_EQ(log.countContaining("error creating adapter"), 1u);
  EXPECT_TRUE(
      manager->createSmashWithAdapterConfig(config, std::make_shared<FakeAd<QBBaseRewardedVideo>>(book), 3, "x"));
}

}  // namespace
}  // namespace adunits_test
