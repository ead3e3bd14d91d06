// The waterfall half of the load road: the advanced-loading rule, the
// whole-waterfall failure, failures inside an instance's own load call,
// throttled manual failures, and results on two threads at once.
#include <thread>

#include "adunits_test_support.h"
#include "tulvo_adapter/QBTulvoAdapterRegistration.h"

namespace adunits_test {
namespace {

class ManagerLoadingTest : public AdUnitsTest {
 protected:
  static size_t noFills(const std::vector<std::string>& heard) {
    return static_cast<size_t>(std::count(heard.begin(), heard.end(), "loadFailed 509 Mediation No fill"));
  }
};

TEST_F(ManagerLoadingTest, AtMostTheLimitIsLoadingOrLoadedCountingFromTheTop) {
  addNetwork("Alpha");
  auto manager = makeRv({instance("A1", "Alpha"), instance("A2", "Alpha"), instance("A3", "Alpha")}, true);
  manager->loadAd();
  EXPECT_EQ(book->loads(), (Strings{"A1", "A2"}));
  ASSERT_TRUE(book->fail("A2"));
  EXPECT_EQ(book->loads(), (Strings{"A1", "A2", "A3"}));
  ASSERT_TRUE(book->succeed("A1"));
  ASSERT_TRUE(book->fail("A3"));  // while ready: the loaded one keeps its slot
  EXPECT_EQ(manager->state(), State::QB_MANAGER_STATE_READY_TO_SHOW);
  EXPECT_EQ(manager->waterfallPerformance(), (std::map<std::string, int>{{"A1", 2}, {"A2", 1}, {"A3", 1}}));
  EXPECT_EQ(rvHeard(), Strings{"loaded"});
}

// A bidder on top loads alone (the auction tests); one below a loading
// non-bidder waits for it.
TEST_F(ManagerLoadingTest, ABidderBelowALoadingNonBidderWaitsForItsTurn) {
  addNetwork("Alpha");
  addNetwork<FakeBiddingNetwork>("Beta");
  auto manager = makeRv({instance("A1", "Alpha"), instance("A2", "Alpha"), instance("B1", "Beta", true)}, true,
                        sandboxAuction(), product({{"maxNumOfAdaptersToLoadOnStart", 3}}));
  answer("auc-1", {"A1", "B1", "A2"});
  manager->loadAd();
  ASSERT_TRUE(waitWhile(manager, State::QB_MANAGER_STATE_AUCTION));
  EXPECT_EQ(book->loads(), Strings{"A1"});
  ASSERT_TRUE(book->fail("A1"));
  EXPECT_EQ(book->loads(), (Strings{"A1", "B1"}));
  ASSERT_TRUE(book->fail("B1"));
  EXPECT_EQ(book->loads(), (Strings{"A1", "B1", "A2"}));
  ASSERT_TRUE(book->succeed("A2"));
  EXPECT_EQ(manager->state(), State::QB_MANAGER_STATE_READY_TO_SHOW);
}

TEST_F(ManagerLoadingTest, AWaterfallThatFailsEntirelyEndsInExactlyOneNoFill) {
  addNetwork("Alpha");
  auto manager = makeRv({instance("A1", "Alpha"), instance("A2", "Alpha"), instance("A3", "Alpha")}, true);
  manager->loadAd();
  for (const char* name : {"A1", "A2", "A3"}) ASSERT_TRUE(book->fail(name));
  EXPECT_EQ(manager->state(), State::QB_MANAGER_STATE_READY_TO_LOAD);
  // A late duplicate report finds the manager idle.
  manager->onAdLoadFailed(manager->waterfallLifeCycleHolder()->getCurrentWaterfall().at(2),
                          QBError::createError(1, "late"), 0);
  EXPECT_EQ(noFills(rvHeard()), 1u);
  EXPECT_EQ(ofKind(K::LOAD_AD_FAILED_WITH_REASON).size(), 1u);
  EXPECT_EQ(ofKind(K::TS_UNEXPECTED_LOAD_FAILED).size(), 1u);
  EXPECT_EQ(last(K::LOAD_AD_FAILED_WITH_REASON)["errorCode"], 509);

  // Automatic modes: availability false, the troubleshooting event, a retry.
  auto automatic = makeRv({}, false);
  EXPECT_EQ(rvHeard().back(), "unavailable");
  EXPECT_EQ(last(K::TS_LOAD_FAILED)["errorCode"], 509);
  EXPECT_TRUE(automatic->loadingModeManager()->hasPendingTimer());
}

// Every auction stores the ad info of its winner; the ad infos of dropped
// waterfalls go with them, in every loading mode (a hundred loads in all).
TEST_F(ManagerLoadingTest, AHundredLoadsKeepABoundedNumberOfAdInfos) {
  addNetwork("Alpha");
  book->setAnswer("", Answer::Succeed);
  auction().setAnswerer([n = std::make_shared<std::atomic<int>>(0)](const qbtest::DecodedAuctionRequest&) {
    return AuctionAnswer::withPayload(SandboxAuction::waterfallPayload("auc-" + std::to_string(++*n), {"A1"}));
  });
  for (auto [manual, loadWhileShow] : {std::pair{true, false}, {false, false}, {false, true}}) {
    auto manager = makeRv({instance("A1", "Alpha")}, manual,
                          sandboxAuction({{"isLoadWhileShow", loadWhileShow},
                                          {"minTimeBeforeFirstRvAuctionMs", 0},
                                          {"timeToDeleteWaterfallAfterAuction", 1000}}));
    auto holder = manager->waterfallLifeCycleHolder();
    std::string previous = holder->currentWaterfallId();
    for (int i = 0; i < 34; ++i) {
      if (manual || i > 0) manager->loadAd();
      ASSERT_TRUE(env.runUntil([&] {
        return holder->currentWaterfallId() != previous && manager->state() == State::QB_MANAGER_STATE_READY_TO_SHOW;
      }));
      previous = holder->currentWaterfallId();
      env.advance(1000);  // the delayed drop of AUTOMATIC_LOAD_WHILE_SHOW
    }
    EXPECT_NE(holder->getAdInfoWithWaterfallId(previous), nullptr);
    EXPECT_LE(holder->adInfoMap().size(), 2u) << "manual " << manual << ", load while show " << loadWhileShow;
  }
}

enum class SyncFailure { InitAnswersFailure, InitThrows, TulvoWithoutPublisherId };

class SynchronousFailureTest : public ManagerLoadingTest, public ::testing::WithParamInterface<SyncFailure> {};

TEST_P(SynchronousFailureTest, AFailureInsideTheLoadCallNeverLoadsAnInstanceTwice) {
  std::shared_ptr<QBAdapterConfig> first = instance("A1", "Alpha");
  if (GetParam() == SyncFailure::TulvoWithoutPublisherId) {
    registerTulvoAdapterClasses();
    first = instance("A1", "Tulvo", false, rv, {{"token", "tok"}});
  } else {
    addNetwork("Alpha")->initAnswer = GetParam() == SyncFailure::InitThrows ? Answer::Throw : Answer::Fail;
  }
  addNetwork("Beta");
  addNetwork("Gamma");
  auto manager = makeRv({first, instance("B1", "Beta"), instance("C1", "Gamma")}, true);
  log.clear();
  manager->loadAd();
  // A1 failed while B1 was chosen but not started: the walk its failure ran
  // counted B1 as taken and chose C1; B1 then started, once.
  EXPECT_EQ(book->loads(), (Strings{"C1", "B1"}));
  EXPECT_EQ(log.countContaining("incorrect state while loading"), 0u);
  EXPECT_EQ(log.countContaining("no longer idle"), 0u);
  EXPECT_EQ(manager->waterfallPerformance().at("A1"), 1);
  ASSERT_TRUE(book->fail("B1"));
  ASSERT_TRUE(book->fail("C1"));
  EXPECT_EQ(noFills(rvHeard()), 1u);
}

INSTANTIATE_TEST_SUITE_P(Kinds, SynchronousFailureTest,
                         ::testing::Values(SyncFailure::InitAnswersFailure, SyncFailure::InitThrows,
                                           SyncFailure::TulvoWithoutPublisherId));

TEST_F(ManagerLoadingTest, ManualFailuresAreThrottledAndLoadsWaitForThePendingOne) {
  auto manager = makeIs({}, noAuction(), product({{"delayLoadFailureNotificationInSeconds", 2}}));
  manager->loadAd();
  manager->loadAd();  // fails again within the spacing: its callback waits
  EXPECT_EQ(isHeard(), Strings{"loadFailed 509 Mediation No fill"});
  manager->loadAd();  // refused while it waits
  EXPECT_EQ(log.countContaining("load cannot be invoked while load is already in progress"), 1u);
  EXPECT_EQ(ofKind(K::LOAD_AD, is).size(), 2u);
  env.advance(2000);
  EXPECT_EQ(isHeard().size(), 2u);

  manager->setState(State::QB_MANAGER_STATE_SHOWING);
  manager->loadAd();
  env.advance(2000);
  EXPECT_EQ(isHeard().back(), "loadFailed 1037 load cannot be invoked while showing an ad");

  // Automatic modes hear availability false, directly, each time.
  auto automatic = makeRv({}, false);
  automatic->setState(State::QB_MANAGER_STATE_SHOWING);
  rvHeard();
  rvListener->clear();
  automatic->loadAd();
  automatic->loadAd();
  EXPECT_EQ(rvHeard(), (Strings{"unavailable", "unavailable"}));
}

// Results on two adapter threads at once while a third thread reads the
// waterfall data (the thread sanitizer build watches this one).
TEST_F(ManagerLoadingTest, ResultsOnTwoThreadsAtOnceLeaveOneConsistentOutcome) {
  addNetwork("Alpha");
  addNetwork("Beta");
  for (int round = 0; round < 20; ++round) {
    const bool bothFail = round % 2 == 1;
    const std::string a = "A" + std::to_string(round);
    const std::string b = "B" + std::to_string(round);
    auto manager = makeRv({instance(a, "Alpha"), instance(b, "Beta")}, true);
    manager->loadAd();
    ASSERT_EQ(book->loads().size(), static_cast<size_t>(2 * round + 2));
    rvListener->clear();

    std::atomic<bool> go{false};
    auto start = [&](auto work) {
      return std::thread([&go, work] {
        while (!go) std::this_thread::yield();
        work();
      });
    };
    std::thread first = start([&] { book->fail(a); });
    std::thread second = start([&] { bothFail ? book->fail(b) : book->succeed(b); });
    std::thread reader = start([&] {
      for (int i = 0; i < 50; ++i) {
        (void)manager->waterfallPerformance();
        (void)manager->getEventsAdditionalDataDictionary(K::LOAD_AD_SUCCESS);
      }
    });
    go = true;
    first.join();
    second.join();
    reader.join();

    EXPECT_EQ(manager->waterfallPerformance(), (std::map<std::string, int>{{a, 1}, {b, bothFail ? 1 : 2}}));
    if (bothFail) {
      EXPECT_EQ(manager->state(), State::QB_MANAGER_STATE_READY_TO_LOAD);
      EXPECT_EQ(noFills(rvHeard()), 1u) << round;
    } else {
      EXPECT_EQ(manager->state(), State::QB_MANAGER_STATE_READY_TO_SHOW);
      EXPECT_EQ(rvHeard(), Strings{"loaded"}) << round;
    }
  }
}

}  // namespace
}  // namespace adunits_test
