// The auction half of the load road against the sandbox auction endpoint:
// success with notifications, capped, failure to the fallback, no candidates,
// answers that come too late, the first-auction wait, bidder tokens and the
// waterfall strings, and the test suite's filter.
#include "adunits_test_support.h"
#include "testsuite/QBTestSuiteLoadAdConfig.h"

namespace adunits_test {
namespace {

class ManagerAuctionTest : public AdUnitsTest {
 protected:
  // The instances of auction request `n` ("<name>" or "<name>:bidder").
  std::vector<std::string> requested(size_t n = 0) {
    std::vector<std::string> out;
    const Json request = *auction().requests().at(n).json;
    for (const auto& item : request["instances"]) {
      out.push_back(item["instance"].get<std::string>() + (item["isBidder"].get<bool>() ? ":bidder" : ""));
    }
    return out;
  }
  // Requests leave from the auction client's queue and are counted on the
  // sandbox's threads: pump, then wait in real time.
  bool requestsReach(size_t n) {
    env.runUntilIdle();
    return auction().waitForRequests(n);
  }
};

TEST_F(ManagerAuctionTest, AnAnswerBecomesTheWaterfallAndTheWinnerFiresItsNotifications) {
  addNetwork("Alpha");
  addNetwork<FakeBiddingNetwork>("Beta");
  auction();  // starts the sandbox
  qbtest::SandboxNotifications notices(*server_);
  auto manager = makeRv({instance("A1", "Alpha"), instance("B1", "Beta", true), instance("A2", "Alpha")}, true,
                        sandboxAuction({{"auctionSavedHistoryLimit", 3}}));
  Json payload = SandboxAuction::waterfallPayload("auc-1", {"B1", "A1", "A2"}, notices.url(""));
  payload["genericParams"] = Json{{"gp", 1}};
  auction().enqueueAnswer(AuctionAnswer::withPayload(payload));

  manager->loadAd();
  ASSERT_TRUE(waitWhile(manager, State::QB_MANAGER_STATE_AUCTION));
  EXPECT_EQ(requested(), (Strings{"B1:bidder", "A1", "A2"}));
  EXPECT_EQ((*auction().requests()[0].json)["instances"][0]["biddingData"], (Json{{"token", "tok-B1"}}));
  EXPECT_EQ(last(K::AUCTION_REQUEST_WATERFALL)["ext1"], "1A1,2B1,1A2,");
  EXPECT_EQ(last(K::AUCTION_RESPONSE_WATERFALL)["ext1"], "2B1,1A1,1A2");
  EXPECT_EQ(book->loads(), Strings{"B1"});  // the idle bidder on top loads alone

  ASSERT_TRUE(book->succeed("B1"));
  EXPECT_EQ(manager->state(), State::QB_MANAGER_STATE_READY_TO_SHOW);
  EXPECT_EQ(rvHeard(), Strings{"loaded"});
  const Json success = last(K::LOAD_AD_SUCCESS);
  EXPECT_EQ(success["auctionId"], "auc-1");
  EXPECT_EQ(success["auctionTrials"], 1);
  EXPECT_EQ(success["genericParams"], (Json{{"gp", 1}}));
  ASSERT_TRUE(env.runUntil([&] { return notices.count() >= 3; }));
  auto received = notices.received();
  std::sort(received.begin(), received.end());
  EXPECT_EQ(received, (Strings{"/notify/loss/A1?r=102&p=10&m=1.1111111111111112", "/notify/loss/A2?r=102&p=10&m=1.25",
                               "/notify/win/B1?p=10&i=B1"}));

  // The next accepted load hands this waterfall's codes to the history.
  manager->loadAd();
  ASSERT_TRUE(waitWhile(manager, State::QB_MANAGER_STATE_AUCTION));
  EXPECT_EQ((*auction().requests()[1].json)["auctionHistory"],
            (Json{{"A1", Json::array({0})}, {"B1", Json::array({2})}, {"A2", Json::array({0})}}));
}

TEST_F(ManagerAuctionTest, ACappedAnswerEndsTheLoadWith525AndNoLoadFailedEvent) {
  addNetwork("Alpha");
  auto manager = makeRv({instance("A1", "Alpha")}, true, sandboxAuction());
  Json payload = SandboxAuction::waterfallPayload("auc-cap", {"A1"});
  payload["configurations"] = Json{{"isAdUnitCapped", true}};
  auction().enqueueAnswer(AuctionAnswer::withPayload(payload));
  manager->loadAd();
  ASSERT_TRUE(waitWhile(manager, State::QB_MANAGER_STATE_AUCTION));
  EXPECT_EQ(manager->state(), State::QB_MANAGER_STATE_READY_TO_LOAD);
  EXPECT_EQ(rvHeard(), Strings{"loadFailed 525 Ad unit is capped"});
  EXPECT_EQ(last(K::AD_UNIT_CAPPED)["auctionId"], "auc-cap");
  EXPECT_EQ(ofKind(K::LOAD_AD_FAILED_WITH_REASON).size(), 0u);

  // The next accepted load clears the flag.
  answer("auc-2", {"A1"});
  manager->loadAd();
  ASSERT_TRUE(waitWhile(manager, State::QB_MANAGER_STATE_AUCTION));
  EXPECT_EQ(book->loads(), Strings{"A1"});
}

TEST_F(ManagerAuctionTest, AFailedAuctionFallsBackToTheUncappedNonBidders) {
  addNetwork("Alpha");
  addNetwork<FakeBiddingNetwork>("Beta");
  auto manager = makeRv({instance("B1", "Beta", true), instance("A1", "Alpha"),
                         instance("A2", "Alpha", false, rv, {{"maxAdsPerSession", 0}}), instance("A3", "Alpha")},
                        true, sandboxAuction());
  manager->loadAd();  // unscripted: the sandbox answers no fill
  ASSERT_TRUE(waitWhile(manager, State::QB_MANAGER_STATE_AUCTION));
  EXPECT_EQ(manager->state(), State::QB_MANAGER_STATE_LOADING);
  EXPECT_EQ(manager->waterfallLifeCycleHolder()->currentWaterfallId().rfind("fallback_", 0), 0u);
  EXPECT_EQ(book->loads(), (Strings{"A1", "A3"}));
  const Json failed = last(K::AUCTION_FAILED);
  EXPECT_EQ(failed["errorCode"], 1003);
  EXPECT_EQ(failed["auctionFallback"], "no_fill");
  EXPECT_EQ(log.countContaining("RV: Auction failed | moving to fallback waterfall (error 1003"), 1u);
}

// An instance leaves the auction once its shows reach its limit, and only
// then; instances without a limit are never counted.
TEST_F(ManagerAuctionTest, InstancesWhoseShowsReachedTheirLimitAreLeftOut) {
  addNetwork("Alpha");
  auto manager = makeRv({instance("A1", "Alpha"), instance("A2", "Alpha", false, rv, {{"maxAdsPerSession", 2}}),
                         instance("A3", "Alpha", false, rv, {{"maxAdsPerSession", 3}})},
                        true, sandboxAuction());
  auto& capping = *manager->sessionCappingManager();
  for (const char* shown : {"A1", "A2", "A2", "A3", "A3"}) {
    capping.increaseShowCounter(QBSessionCappingInstance::initWithInstanceName(shown, 0));
  }
  answer("auc-c", {"A1"});
  manager->loadAd();
  ASSERT_TRUE(waitWhile(manager, State::QB_MANAGER_STATE_AUCTION));
  EXPECT_EQ(requested(), (Strings{"A1", "A3"}));
  EXPECT_EQ(capping.showCount("A3"), 2);
  EXPECT_EQ(capping.showCount("A1"), std::nullopt);
}

class NoCandidatesTest : public ManagerAuctionTest, public ::testing::WithParamInterface<bool> {};

TEST_P(NoCandidatesTest, NoCandidatesFailTheLoadWithoutARequest) {
  const QBAdUnit adUnit = GetParam() ? is : rv;
  addNetwork("Alpha");
  auto capped = instance("A1", "Alpha", false, adUnit, {{"maxAdsPerSession", 0}});
  auto manager = GetParam() ? std::shared_ptr<QBBaseAdUnitManager>(makeIs({capped}, sandboxAuction()))
                            : makeRv({capped}, true, sandboxAuction());
  manager->loadAd();
  EXPECT_EQ(manager->state(), State::QB_MANAGER_STATE_READY_TO_LOAD);
  const int code = GetParam() ? 1035 : 1024;
  EXPECT_EQ(GetParam() ? isHeard() : rvHeard(),
            Strings{"loadFailed " + std::to_string(code) + " no auction candidates"});
  const auto sent = kinds(adUnit);
  const auto auctionFailed = std::find(sent.begin(), sent.end(), K::AUCTION_FAILED);
  EXPECT_NE(std::find(auctionFailed, sent.end(), K::LOAD_AD_FAILED_WITH_REASON), sent.end());
  EXPECT_EQ(last(K::AUCTION_FAILED, adUnit)["errorCode"], 1005);
  EXPECT_EQ(last(K::AUCTION_FAILED, adUnit)["reason"], "No candidates available for auctioning");
  EXPECT_EQ(last(K::LOAD_AD_FAILED_WITH_REASON, adUnit)["errorCode"], code);
  EXPECT_EQ(auction().requestCount(), 0u);
}

INSTANTIATE_TEST_SUITE_P(BothAdUnits, NoCandidatesTest, ::testing::Bool());

TEST_F(ManagerAuctionTest, ResultsOfAnOlderWaterfallAndASecondSuccessChangeNothing) {
  addNetwork("Alpha");
  answer("auc-1", {"A1"});
  answer("auc-2", {"A1"});
  // Load while show: construction loads, and a load is admitted while loading.
  auto manager = makeRv({instance("A1", "Alpha")}, false, sandboxAuction({{"isLoadWhileShow", true}}));
  ASSERT_TRUE(waitWhile(manager, State::QB_MANAGER_STATE_AUCTION));
  auto older = manager->waterfallLifeCycleHolder()->getCurrentWaterfall().at(0);
  manager->loadAd();
  ASSERT_TRUE(waitWhile(manager, State::QB_MANAGER_STATE_AUCTION));
  ASSERT_EQ(manager->waterfallLifeCycleHolder()->currentWaterfallId(), "auc-2");

  older->adDidLoad();
  EXPECT_EQ(manager->state(), State::QB_MANAGER_STATE_LOADING);
  EXPECT_EQ(last(K::TS_UNEXPECTED_LOAD_SUCCESS)["reason"],
            "onAdLoadSuccess was invoked with state 3 by A1 with auctionId: auc-1 while current one is: auc-2");

  ASSERT_TRUE(book->succeed("A1"));
  manager->onAdLoadSuccess(manager->waterfallLifeCycleHolder()->getCurrentWaterfall().at(0), 5);
  EXPECT_EQ(manager->state(), State::QB_MANAGER_STATE_READY_TO_SHOW);
  EXPECT_EQ(last(K::TS_UNEXPECTED_LOAD_SUCCESS)["reason"].get<std::string>().rfind(
                "unexpected load success for smash - A1 ", 0),
            0u);
  EXPECT_EQ(ofKind(K::LOAD_AD_SUCCESS).size(), 1u);
  EXPECT_EQ(rvHeard(), Strings{"available"});
}

// A large outgoing waterfall's items are freed off the load road, once the
// next waterfall is in place; a small one's at once.
TEST_F(ManagerAuctionTest, TheOutgoingWaterfallsItemsAreFreedOnceTheNextIsSet) {
  addNetwork("Alpha");
  std::vector<std::shared_ptr<QBAdapterConfig>> configs;
  Strings names;
  for (int i = 0; i < 12; ++i) {
    names.push_back("A" + std::to_string(i));
    configs.push_back(instance(names.back(), "Alpha"));
  }
  answer("auc-1", names);
  answer("auc-2", {"A0"});
  answer("auc-3", {"A1"});
  // Load while show: construction loads, and a load is admitted while loading.
  auto manager = makeRv(configs, false, sandboxAuction({{"isLoadWhileShow", true}}));
  auto itemsOf = [&] {
    std::vector<std::weak_ptr<QBAuctionResponseItem>> items;
    for (const auto& [name, item] : manager->waterfallServerData()) items.push_back(item);
    return items;
  };
  auto freed = [](const std::vector<std::weak_ptr<QBAuctionResponseItem>>& items) {
    return std::all_of(items.begin(), items.end(), [](const auto& item) { return item.expired(); });
  };
  ASSERT_TRUE(waitWhile(manager, State::QB_MANAGER_STATE_AUCTION));
  const auto large = itemsOf();
  ASSERT_EQ(large.size(), 12u);
  manager->loadAd();
  ASSERT_TRUE(waitWhile(manager, State::QB_MANAGER_STATE_AUCTION));
  ASSERT_EQ(manager->waterfallLifeCycleHolder()->currentWaterfallId(), "auc-2");
  env.runUntilIdle();
  EXPECT_TRUE(freed(large));
  const auto small = itemsOf();
  ASSERT_EQ(small.size(), 1u);
  manager->loadAd();
  ASSERT_TRUE(waitWhile(manager, State::QB_MANAGER_STATE_AUCTION));
  EXPECT_TRUE(freed(small));
}

TEST_F(ManagerAuctionTest, AnAuctionAnswerOutsideTheAuctionStateIsRefused) {
  addNetwork("Alpha");
  auto manager = makeRv({instance("A1", "Alpha")}, true, sandboxAuction());
  answer("auc-late", {"A1"});
  auction().holdAnswers(1);
  manager->loadAd();
  ASSERT_TRUE(requestsReach(1));
  manager->setState(State::QB_MANAGER_STATE_READY_TO_LOAD);
  auction().releaseAnswers();
  ASSERT_TRUE(env.runUntil([&] { return manager->auctionTrial() == 1; }));  // the answer arrived
  EXPECT_EQ(last(K::TS_UNEXPECTED_AUCTION_SUCCESS)["reason"], "unexpected auction success for auctionId - auc-late");
  EXPECT_EQ(manager->state(), State::QB_MANAGER_STATE_READY_TO_LOAD);
  EXPECT_TRUE(book->loads().empty());
}

TEST_F(ManagerAuctionTest, OnlyAuctionsWithinTheFirstWaitAfterCreationAreDelayed) {
  addNetwork("Alpha");
  const Json settings = sandboxAuction({{"minTimeBeforeFirstRvAuctionMs", 5000}});
  auto early = makeRv({instance("A1", "Alpha")}, true, settings);
  env.advance(2000);
  early->loadAd();
  EXPECT_EQ(early->state(), State::QB_MANAGER_STATE_AUCTION);
  env.advance(2999);
  EXPECT_EQ(ofKind(K::AUCTION_REQUEST).size(), 0u);
  env.advance(1);
  EXPECT_EQ(ofKind(K::AUCTION_REQUEST).size(), 1u);

  // Past the wait the difference is negative: the auction starts at once.
  auto late = makeRv({instance("A2", "Alpha")}, true, settings);
  env.advance(6000);
  late->loadAd();
  EXPECT_EQ(ofKind(K::AUCTION_REQUEST).size(), 2u);
  EXPECT_TRUE(requestsReach(2));
}

TEST_F(ManagerAuctionTest, SynchronousTokensLeaveOutBiddersWithoutOne) {
  addNetwork("Alpha");
  addNetwork("Plain");  // gives no tokens at all
  auto beta = addNetwork<FakeBiddingNetwork>("Beta");
  beta->missing = {"B2"};
  beta->throwing = {"B3"};
  auto manager = makeRv({instance("B1", "Beta", true), instance("B2", "Beta", true), instance("B3", "Beta", true),
                         instance("P1", "Plain", true), instance("A1", "Alpha")},
                        true, sandboxAuction());
  manager->loadAd();
  ASSERT_TRUE(waitWhile(manager, State::QB_MANAGER_STATE_AUCTION));
  EXPECT_EQ(requested(), (Strings{"B1:bidder", "A1"}));
  EXPECT_EQ(last(K::AUCTION_REQUEST_WATERFALL)["ext1"], "2B1,1A1,");
  const Json missing = last(K::TS_BIDDING_DATA_MISSING);
  EXPECT_EQ(missing["reason"], "Missing bidding data");
  EXPECT_EQ(missing["provider"], "B2");
  EXPECT_EQ(last(K::TS_INTERNAL_ERROR)["reason"],
            "Exception while calling network adapter getBiddingData from B3, exception = std::invalid_argument "
            "token exploded");
  EXPECT_EQ(last(K::TS_NETWORK_ADAPTER_NOT_AVAILABLE)["reason"],
            "network adapter does not implementing QBAdapterBidderProtocol");
}

TEST_F(ManagerAuctionTest, AsynchronousTokensSendTheTokenEventsAndJoinTheStringAsTheyCome) {
  addNetwork("Alpha");
  addNetwork<FakeBiddingNetwork>("Beta")->missing = {"B2"};
  auto manager = makeRv({instance("B1", "Beta", true), instance("A1", "Alpha"), instance("B2", "Beta", true)}, true,
                        sandboxAuction(), product({{"isBiddingDataAsyncEnabled", true}}));
  manager->loadAd();
  ASSERT_TRUE(waitWhile(manager, State::QB_MANAGER_STATE_AUCTION));
  EXPECT_EQ(requested(), (Strings{"B1:bidder", "A1"}));
  EXPECT_EQ(last(K::AUCTION_REQUEST_WATERFALL)["ext1"], "1A1,2B1,");
  std::vector<int> tokenKinds;
  for (int kind : kinds()) {
    if (kind >= K::COLLECT_TOKEN && kind <= K::INSTANCE_COLLECT_TOKEN_TIMED_OUT) tokenKinds.push_back(kind);
  }
  EXPECT_EQ(tokenKinds, (std::vector<int>{K::COLLECT_TOKEN, K::INSTANCE_COLLECT_TOKEN, K::INSTANCE_COLLECT_TOKEN,
                                          K::COLLECT_TOKEN_COMPLETED, K::INSTANCE_COLLECT_TOKEN_SUCCESS,
                                          K::INSTANCE_COLLECT_TOKEN_FAILED}));
  EXPECT_EQ(last(K::INSTANCE_COLLECT_TOKEN_SUCCESS)["provider"], "B1");
  EXPECT_EQ(last(K::INSTANCE_COLLECT_TOKEN_FAILED)["reason"], "Missing bidding data");
}

TEST_F(ManagerAuctionTest, TheTestSuiteChoiceFiltersTheAuctionAndTheFallbackAlike) {
  addNetwork("Alpha");
  addNetwork("Beta");
  addNetwork<FakeBiddingNetwork>("Gamma");
  auto suite = QBTestSuiteLoadAdConfig::initWithAdNetwork("Beta", false, true, false);
  auto manager =
      makeRv({instance("A1", "Alpha"), instance("B1", "Beta"), instance("G1", "Gamma", true)}, true, sandboxAuction());
  manager->setTestSuiteLoadAdConfig(suite);
  manager->loadAd();  // no fill: fallback
  ASSERT_TRUE(waitWhile(manager, State::QB_MANAGER_STATE_AUCTION));
  EXPECT_EQ(requested(), Strings{"B1"});
  EXPECT_EQ((*auction().requests()[0].json)["testSuiteLaunched"], true);
  EXPECT_EQ((*auction().requests()[0].json)["useTestAds"], true);
  EXPECT_EQ(book->loads(), Strings{"B1"});

  auto withoutAuction = makeRv({instance("A2", "Alpha"), instance("B2", "Beta")}, true);
  withoutAuction->setTestSuiteLoadAdConfig(suite);
  withoutAuction->loadAd();
  EXPECT_EQ(book->loads(), (Strings{"B1", "B2"}));
}

}  // namespace
}  // namespace adunits_test
