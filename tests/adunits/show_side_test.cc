// The show side of the object-per-waterfall managers: refusals and their
// codes, the choice walk, the open sequence, close and reward timing with the
// transaction id, and adapter shows that throw or fail late.
#include "adunits/QBBaseAdUnitInteractionSmash.h"
#include "adunits_test_support.h"
#include "mediation/QBPlacementCappingManager.h"
#include "platform/crypto.h"

namespace adunits_test {
namespace {

class ShowSideTest : public AdUnitsTest {
 protected:
  ShowSideTest() {
    QBPlacementCappingManager::sharedManager().resetForTesting();
    book->setAnswer("", Answer::Succeed);
  }
  // Placements "Default" (reward "coins" x 5) and "Off" (delivery off).
  static Json placements() {
    const Json defaultPlacement{{"placementId", 0}, {"placementName", "Default"}, {"isDefault", true},
                                {"rewardName", "coins"}, {"rewardAmount", 5}};
    const Json off{{"placementId", 1}, {"placementName", "Off"}, {"deliveryEnabled", false}};
    return product({{"placements", Json::array({defaultPlacement, off})}});
  }
  // The rewarded-video events of kind `kind` that instances sent.
  std::vector<Json> instanceEvents(int kind) {
    std::vector<Json> out;
    for (const auto& event : events(rv)) {
      if (kindOf(event, rv, kProvider) == kind &&
          event.value("provider", "") != "Mediation") {
        out.push_back(event);
      }
    }
    return out;
  }

  platform::ViewControllerRef vc = std::make_shared<platform::ViewController>();
};

TEST_F(ShowSideTest, RefusalsComeInOrderWithTheirCodes) {
  addNetwork("Alpha");
  auto manager = makeRv({instance("A1", "Alpha")}, true, noAuction(), placements());
  manager->showAd(vc, "Default");  // not loaded
  manager->loadAd();
  ASSERT_EQ(manager->state(), State::QB_MANAGER_STATE_READY_TO_SHOW);
  manager->showAd(vc, "Off");  // capped before any instance is asked
  EXPECT_EQ(book->shows(), 0);
  manager->showAd(vc, "no such placement");  // the default placement
  EXPECT_EQ(manager->state(), State::QB_MANAGER_STATE_SHOWING);
  manager->showAd(vc, "Default");  // during the show: the showing ad is left alone
  EXPECT_EQ(manager->state(), State::QB_MANAGER_STATE_SHOWING);
  EXPECT_EQ(book->shows(), 1);
  EXPECT_EQ(rvHeard(), (Strings{"showFailed 509 show called while no ads are available", "loaded",
                                "showFailed 524 placement Off is capped",
                                "showFailed 1022 can't show ad while an ad is already showing"}));
  const auto failed = ofKind(K::SHOW_AD_FAILED);
  ASSERT_EQ(failed.size(), 3u);
  EXPECT_EQ(failed[1]["errorCode"], 524);
  EXPECT_EQ(ofKind(K::SHOW_AD)[2]["placement"], "Default");

  // Interstitial without placements.
  auto interstitial =
      makeIs({instance("A2", "Alpha", false, is)}, noAuction(), product({{"placements", Json::array()}}));
  interstitial->loadAd();
  interstitial->showAd(vc, "");
  interstitial->showAd(vc, "");
  EXPECT_EQ(isHeard(), (Strings{"loaded", "showFailed 1020 show called with empty default placement",
                                "showFailed 1020 show called with empty default placement"}));
}

TEST_F(ShowSideTest, NoReadyInstanceGives509WithTheExpiredListAndStaysReady) {
  addNetwork("Alpha");
  auto manager = makeRv({instance("A1", "Alpha"), instance("A2", "Alpha")}, true, noAuction(), placements());
  manager->loadAd();
  ASSERT_EQ(manager->state(), State::QB_MANAGER_STATE_READY_TO_SHOW);
  env.advance(5000);
  const auto expiredAt = std::to_string(platform::nowWallMs() / 1000);
  book->loadDelegate("A1")->adDidFailToLoadWithErrorType(QBAdapterErrorTypeAdExpired, 1, "expired");
  book->setUnavailable("A1");
  book->setUnavailable("A2");
  EXPECT_FALSE(manager->isAdReady());

  manager->showAd(vc, "Default");
  EXPECT_EQ(manager->state(), State::QB_MANAGER_STATE_READY_TO_SHOW);
  EXPECT_EQ(rvHeard().back(), "showFailed 509 rewardedVideo Show Fail - No ads to show");
  EXPECT_EQ(last(K::SHOW_AD_FAILED)["ext1"], "A1:" + expiredAt + ",");
  const auto chances = instanceEvents(K::SHOW_AD_CHANCE);
  ASSERT_EQ(chances.size(), 2u);
  EXPECT_EQ(chances[0]["status"], "false");
  EXPECT_EQ(chances[1]["status"], "false");
  EXPECT_EQ(book->shows(), 0);
}

TEST_F(ShowSideTest, OpenRunsCappingDepthImpressionAndAdInfo) {
  addNetwork("Alpha");
  auto config = instance("A1", "Alpha", false, rv, Json{{"maxAdsPerSession", 1}});
  Json withCap = placements();
  withCap["placements"][0]["capping"] = Json{{"enabled", true}, {"maxImpressions", 1}, {"unit", "h"}};
  auto manager = makeRv({config}, true, sandboxAuction(), withCap);
  auto impressions = std::make_shared<ImpressionRecorder>();
  impressionListeners->addDelegate(impressions);
  Json payload = SandboxAuction::waterfallPayload("auc-1", {"A1"});
  payload["waterfall"][0]["impressionData"] = Json{{"instanceName", "A1"}, {"revenue", 0.01}};
  payload["waterfall"][0]["cvValue"] = 3;
  payload["conversionValueParameters"] = Json{{"cv", 1}};
  auction().enqueueAnswer(AuctionAnswer::withPayload(payload));
  manager->loadAd();
  ASSERT_TRUE(waitWhile(manager, State::QB_MANAGER_STATE_AUCTION));
  ASSERT_EQ(manager->state(), State::QB_MANAGER_STATE_READY_TO_SHOW);
  EXPECT_EQ(QBSessionDepthManager::sharedManager().getSessionDepth(rv), 1);

  manager->showAd(vc, "Default");
  book->showDelegate("A1")->adDidOpen();
  EXPECT_EQ(QBSessionDepthManager::sharedManager().getSessionDepth(rv), 2);
  EXPECT_EQ(manager->waterfallPerformance()["A1"], 4);
  EXPECT_EQ(manager->waterfallLifeCycleHolder()->lastActiveSmash()->getInstanceName(), "A1");
  ASSERT_NE(manager->waterfallLifeCycleHolder()->getAdInfoWithWaterfallId("auc-1"), nullptr);
  EXPECT_EQ(impressions->placements, Strings{"Default"});
  // The conversion value goes out with the depth read before the increment.
  Json conversion;
  for (const auto& event : events(rv)) {
    if (event.contains("conversionValue")) conversion = event;
  }
  EXPECT_EQ(conversion["sessionDepth"], 1);
  EXPECT_EQ(conversion["auctionId"], "auc-1");
  EXPECT_EQ(ofKind(K::PLACEMENT_CAPPED).size(), 1u);
  EXPECT_EQ(instanceEvents(K::SESSION_CAPPED).size(), 1u);
  EXPECT_EQ(rvHeard().back(), "opened");
}

TEST_F(ShowSideTest, RewardCarriesTimeAfterCloseAndTheTransactionId) {
  addNetwork("Alpha");
  QBConfigurations::getConfigurations().setAppKey("appKey42");
  QBConfigurations::getConfigurations().setRvServerParams(Json{{"level", "7"}});
  auto manager = makeRv({instance("A1", "Alpha")}, true, noAuction(), placements());
  for (int round = 0; round < 2; ++round) {
    manager->loadAd();
    manager->showAd(vc, "Default");
    auto shown = book->showDelegate<QBBaseAdUnitRewardSmash>("A1");
    ASSERT_NE(shown, nullptr);
    shown->adDidOpen();
    if (round == 0) shown->adRewarded();  // before the close
    shown->adDidClose();
    EXPECT_EQ(manager->state(), State::QB_MANAGER_STATE_READY_TO_LOAD);
    env.advance(1500);
    if (round == 1) shown->adRewarded();  // 1.5 s after the close
  }
  const auto rewards = instanceEvents(K::AD_REWARDED);
  ASSERT_EQ(rewards.size(), 2u);
  EXPECT_EQ(rewards[0]["timeAfterClosed"], 0);
  EXPECT_EQ(rewards[1]["timeAfterClosed"], 1500);
  for (const auto& reward : rewards) {
    const std::string timestamp = reward["transTimestamp"].get<std::string>();
    EXPECT_EQ(reward["transId"], platform::sha256Hex(timestamp + "appKey42" + "A1"));
    EXPECT_EQ(reward["custom_level"], "7");
    EXPECT_EQ(reward["rewardName"], "coins");
  }
  // The close data while the manager is SHOWING counts no other instance.
  EXPECT_EQ(instanceEvents(K::AD_CLOSED)[0]["ext1"], "otherInstanceAvailable = false");
  rvHeard();
  EXPECT_EQ(rvListener->countContaining("reward Default 5"), 2u);
  // A close without a show only tells the troubleshooting event.
  book->showDelegate<QBBaseAdUnitRewardSmash>("A1")->adDidClose();
  EXPECT_EQ(instanceEvents(K::TS_UNEXPECTED_CLOSED).size(), 1u);
  EXPECT_EQ(rvListener->countContaining("closed"), 2u);
}

TEST_F(ShowSideTest, AThrowingShowReportsOneFailureAndLeavesShowing) {
  addNetwork("Alpha");
  auto manager = makeRv({instance("A1", "Alpha")}, true, noAuction(), placements());
  for (Answer how : {Answer::Throw, Answer::FailAndThrow, Answer::Fail}) {
    book->setShowAnswer(how);
    manager->loadAd();
    ASSERT_EQ(manager->state(), State::QB_MANAGER_STATE_READY_TO_SHOW);
    manager->showAd(vc, "Default");
    EXPECT_EQ(manager->state(), State::QB_MANAGER_STATE_READY_TO_LOAD);
    EXPECT_EQ(manager->waterfallPerformance()["A1"], 3);
  }
  Strings failures;
  for (const auto& line : rvHeard()) {
    if (line.rfind("showFailed", 0) == 0) failures.push_back(line);
  }
  EXPECT_EQ(failures, (Strings{"showFailed 1038 showAd - exception = std::runtime_error adapter exploded",
                               "showFailed 2 Ad is not loaded", "showFailed 2 Ad is not loaded"}));
}

TEST_F(ShowSideTest, ALateShowFailureLeavesANewerWaterfallAlone) {
  addNetwork("Alpha")->loadWhileShowSupport = 1;
  auto manager =
      makeRv({instance("A1", "Alpha")}, false,
             sandboxAuction({{"isLoadWhileShow", true}, {"minTimeBeforeFirstRvAuctionMs", 0}}), placements());
  answer("auc-1", {"A1"});
  ASSERT_TRUE(env.runUntil([&] { return manager->state() == State::QB_MANAGER_STATE_READY_TO_SHOW; }));
  manager->showAd(vc, "Default");
  auto old = book->showDelegate("A1");
  book->setAnswer("", Answer::Hold);
  answer("auc-2", {"A1"});
  manager->loadAd();  // a newer waterfall loads while the ad shows
  ASSERT_TRUE(env.runUntil([&] { return manager->waterfallLifeCycleHolder()->currentWaterfallId() == "auc-2"; }));
  ASSERT_EQ(manager->state(), State::QB_MANAGER_STATE_LOADING);
  old->adDidFailToShowWithErrorCode(7, "late");
  EXPECT_EQ(manager->state(), State::QB_MANAGER_STATE_LOADING);
}

// In AUTOMATIC_LOAD_WHILE_SHOW a second, refused show reloads at once, and
// that load installs and loads a newer waterfall before the first ad opens.
// The ad on screen keeps its instance (open, reward and close still arrive),
// its own waterfall's item and the placement of its accepted show; the newer
// ad stays available without another reload.
TEST_F(ShowSideTest, AWaterfallInstalledBetweenShowAndOpenLeavesTheShowToItsOwn) {
  addNetwork("Alpha")->loadWhileShowSupport = 1;
  auto manager =
      makeRv({instance("A1", "Alpha")}, false,
             sandboxAuction({{"isLoadWhileShow", true}, {"minTimeBeforeFirstRvAuctionMs", 0}}), placements());
  auto impressions = std::make_shared<ImpressionRecorder>();
  impressionListeners->addDelegate(impressions);
  auto holder = manager->waterfallLifeCycleHolder();
  answer("auc-1", {"A1"});
  ASSERT_TRUE(env.runUntil([&] { return manager->state() == State::QB_MANAGER_STATE_READY_TO_SHOW; }));
  manager->showAd(vc, "Default");
  auto shown = book->showDelegate<QBBaseAdUnitRewardSmash>("A1");
  ASSERT_NE(shown, nullptr);
  answer("auc-2", {"A1"});
  manager->showAd(vc, "Off");  // refused while showing; its showError reloads
  env.advance(0);
  ASSERT_TRUE(env.runUntil([&] {
    return holder->currentWaterfallId() == "auc-2" && manager->state() == State::QB_MANAGER_STATE_READY_TO_SHOW;
  }));
  EXPECT_EQ(last(K::SHOW_AD_FAILED)["placement"], "Off");

  const auto newer = holder->getAdInfoWithWaterfallId("auc-2");
  shown->adDidOpen();
  EXPECT_EQ(holder->getAdInfoWithWaterfallId("auc-2"), newer);
  // The newer ad is still the one the application heard of.
  Strings availability;
  for (const auto& line : rvHeard()) {
    if (line == "available" || line == "unavailable") availability.push_back(line);
  }
  EXPECT_EQ(availability.back(), "available");
  shown->adRewarded();
  static_cast<QBAdapterAdDelegate&>(*shown).adDidClick();
  shown->adDidClose();
  env.advance(0);  // no reload throws the newer ad away
  EXPECT_EQ(manager->state(), State::QB_MANAGER_STATE_READY_TO_SHOW);
  EXPECT_TRUE(manager->isAdReady());
  EXPECT_EQ(impressions->auctionIds, Strings{"auc-1"});
  EXPECT_EQ(impressions->placements, Strings{"Default"});
  EXPECT_EQ(holder->getAdInfoWithWaterfallId("auc-1")->auctionId(), "auc-1");
  EXPECT_EQ(instanceEvents(K::AD_OPENED).size(), 1u);
  EXPECT_EQ(instanceEvents(K::AD_CLOSED).size(), 1u);
  EXPECT_EQ(rvListener->countContaining("reward Default 5"), 1u);
  EXPECT_EQ(rvListener->countContaining("clicked Default"), 1u);
  EXPECT_EQ(auction().requestCount(), 2u);
}

}  // namespace
}  // namespace adunits_test
