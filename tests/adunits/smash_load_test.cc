// The load half of the waterfall instance: the state walk, every failure path,
// the timer, and exactly one report per accepted load.
#include "adunits_test_support.h"

namespace adunits_test {
namespace {

using namespace QBEventKind;
using S = QBSmashState;
using Reports = std::vector<std::string>;
using Kinds = std::vector<int>;

class SmashLoadTest : public AdUnitsTest {
 protected:
  void load(const std::string& serverData = "") {
    ASSERT_TRUE(smash->loadAdWithServerData(serverData, Json{{"adUnit", "rewardedVideo"}}));
    env.runUntilIdle();  // the timer start reaches the main queue
  }
  void initSucceeds() {
    network->delegate()->onInitDidSucceed();
    env.runUntilIdle();
  }
  QBAdapterAdDelegate& asAdDelegate() { return *smash; }

  std::shared_ptr<QBAdapterConfig> cfg = instance("Fake_1", "Fake", false, rv, Json{{"publisherId", "p-1"}, {"loadTimeOutSec", 2.9}});
  std::shared_ptr<FakeAdAdapter> ad = adAdapter(cfg);
  std::shared_ptr<QBBaseAdUnitSmash> smash = makeSmash(cfg, ad);
};

TEST_F(SmashLoadTest, WalksFromNoneToLoadedAndReportsOneSuccess) {
  load("{\"adm\":\"x\"}");
  EXPECT_TRUE(smash->isWaitingForInitResponse());
  auto adData = network->lastAdData;
  EXPECT_EQ(adData->serverData(), "{\"adm\":\"x\"}");
  EXPECT_EQ(adData->configuration(), cfg->settings());
  EXPECT_EQ(adData->adUnitData(), (Json{{"adUnit", "rewardedVideo"}, {"userId", "user-7"}}));

  env.advance(700);
  initSucceeds();
  EXPECT_EQ(smash->state(), S::QB_SMASH_STATE_LOADING);
  EXPECT_EQ(ad->lastAdData, adData);
  env.advance(500);
  ad->delegate()->adDidLoad();
  EXPECT_TRUE(smash->isLoaded());
  env.advance(10'000);  // the stopped timer stays silent
  EXPECT_EQ(manager->reports(), Reports{"success:1200"});
  auto events = sentEvents();
  EXPECT_EQ(kindsOf(events), (Kinds{LOAD_AD, LOAD_AD_SUCCESS}));
  EXPECT_EQ(firstOfKind(events, LOAD_AD_SUCCESS)["duration"], 1200);
}

// Each way the init phase can fail reaches the manager once, with its code;
// late answers change nothing.
TEST_F(SmashLoadTest, InitPhaseFailuresReportOnceWithTheirCodes) {
  struct Case {
    Answer answer;
    std::string network;
    QBAdUnit unit;
    std::string expected;  // "%s" stands for the instance signature
  };
  const std::vector<Case> cases = {
      {Answer::Fail, "Fake", rv, "failed:1000:init refused:0"},
      {Answer::FailAndThrow, "Fake", rv, "failed:1000:init refused:0"},
      {Answer::Throw, "Fake", rv, "failed:1040:loadAd - exception = std::runtime_error adapter exploded:0"},
      {Answer::Hold, "Ghost", rv, "failed:1040:loadAd - network adapter not available %s:0"},
      {Answer::Hold, "Ghost", is, "failed:1041:loadAd - network adapter not available %s:0"},
  };
  std::vector<std::shared_ptr<QBBaseAdUnitSmash>> alive;  // distinct addresses for reportsOf
  for (const auto& c : cases) {
    network->initAnswer = c.answer;
    auto cfg = instance(c.network + "_1", c.network, false, c.unit);
    auto s = alive.emplace_back(makeSmash(cfg, adAdapter(cfg)));
    EXPECT_TRUE(s->loadAdWithServerData("", Json::object()));
    std::string expected = c.expected;
    if (auto at = expected.find("%s"); at != std::string::npos) expected.replace(at, 2, s->getInstanceSignature());
    EXPECT_EQ(manager->reportsOf(s), Reports{expected});
    EXPECT_EQ(s->state(), S::QB_SMASH_STATE_FAILED);
    if (auto d = network->delegate(); d && c.network == "Fake") d->onInitDidSucceed();
  }
  env.advance(10'000);
  EXPECT_EQ(manager->count(), cases.size());
  EXPECT_EQ(kindsOf(sentEvents()), (Kinds{LOAD_AD, LOAD_AD, TS_INTERNAL_ERROR, LOAD_AD, TS_INTERNAL_ERROR, LOAD_AD,
                                          TS_NETWORK_ADAPTER_NOT_AVAILABLE}));
}

TEST_F(SmashLoadTest, AThrowingAdLoadReachesTheManagerAs510) {
  ad->answer = Answer::Throw;
  load();
  env.advance(100);
  initSucceeds();
  EXPECT_EQ(manager->reports(),
            Reports{"failed:510:unexpected error while calling adapter.loadAd() - std::runtime_error adapter exploded:100"});
  // An adapter that answered before throwing is heard once, with its answer.
  auto second = makeSmash(cfg, adAdapter(cfg));
  std::static_pointer_cast<FakeAdAdapter>(second->adapter())->answer = Answer::FailAndThrow;
  network->initAnswer = Answer::Succeed;
  second->loadAdWithServerData("", Json::object());
  EXPECT_EQ(manager->reportsOf(second), Reports{"failed:204:No fill:0"});
  env.advance(10'000);
  EXPECT_EQ(manager->count(), 2u);
  EXPECT_EQ(kindsOf(sentEvents()), (Kinds{LOAD_AD, TS_INTERNAL_ERROR, LOAD_AD_FAILED_WITH_REASON, LOAD_AD,
                                          LOAD_AD_NO_FILL, TS_INTERNAL_ERROR, LOAD_AD_FAILED_WITH_REASON}));
}

// Each phase gets the full fractional interval; an answer after the timeout
// only sends its event.
TEST_F(SmashLoadTest, TimeoutsUseTheFractionalIntervalPerPhaseAndDropLateAnswers) {
  load();
  env.advance(2899);
  EXPECT_EQ(manager->count(), 0u);
  env.advance(1);
  EXPECT_EQ(manager->reports(), Reports{"failed:510:time out:2900"});
  initSucceeds();  // too late: no load starts
  EXPECT_EQ(ad->loadCalls, 0);
  auto events = sentEvents();
  EXPECT_EQ(kindsOf(events), (Kinds{LOAD_AD, LOAD_AD_FAILED, LOAD_AD_FAILED_WITH_REASON}));
  EXPECT_EQ(firstOfKind(events, LOAD_AD_FAILED)["errorCode"], 1025);
  EXPECT_EQ(firstOfKind(events, LOAD_AD_FAILED_WITH_REASON)["reason"], "time out");

  auto second = makeSmash(cfg, ad);
  ASSERT_TRUE(second->loadAdWithServerData("", Json::object()));
  env.runUntilIdle();
  env.advance(2000);
  initSucceeds();
  env.advance(2899);
  EXPECT_EQ(manager->count(), 1u);
  env.advance(1);
  EXPECT_EQ(manager->reportsOf(second), Reports{"failed:510:time out:4900"});
  ad->delegate()->adDidFailToLoadWithErrorType(QBAdapterErrorTypeOther, 520, "late");
  ad->delegate()->adDidLoad();
  EXPECT_EQ(manager->count(), 2u);
  const auto all = kindsOf(sentEvents());
  EXPECT_EQ(Kinds(all.begin() + 3, all.end()),
            (Kinds{LOAD_AD, LOAD_AD_FAILED, LOAD_AD_FAILED_WITH_REASON, LOAD_AD_FAILED_WITH_REASON}));
}

// Callbacks the state does not expect are refused without stopping the
// running phase's timer.
TEST_F(SmashLoadTest, StrayCallbacksAreRefusedAndKeepTheTimeout) {
  load();
  asAdDelegate().adDidLoad();
  asAdDelegate().adDidFailToLoadWithErrorType(QBAdapterErrorTypeOther, 7, "stray");
  EXPECT_EQ(smash->state(), S::QB_SMASH_STATE_INIT_IN_PROGRESS);
  env.advance(2900);
  EXPECT_EQ(manager->reports(), Reports{"failed:510:time out:2900"});
  // A second init success finds the load running and starts nothing.
  network->initAnswer = Answer::Succeed;
  auto other = makeSmash(cfg, adAdapter(cfg));
  other->loadAdWithServerData("", Json::object());
  network->delegate()->onInitDidSucceed();
  EXPECT_EQ(std::static_pointer_cast<FakeAdAdapter>(other->adapter())->loadCalls, 1);
  auto events = sentEvents();
  EXPECT_EQ(kindsOf(events), (Kinds{LOAD_AD, TS_UNEXPECTED_LOAD_SUCCESS, TS_UNEXPECTED_LOAD_FAILED, LOAD_AD_FAILED,
                                    LOAD_AD_FAILED_WITH_REASON, LOAD_AD, TS_UNEXPECTED_INIT_SUCCESS}));
  EXPECT_EQ(firstOfKind(events, TS_UNEXPECTED_INIT_SUCCESS)["reason"],
            "unexpected init success for " + other->getInstanceSignature());
}

TEST_F(SmashLoadTest, ASecondLoadIsRefusedWithoutTouchingTheRunningLoad) {
  load("first");
  env.advance(500);
  EXPECT_FALSE(smash->loadAdWithServerData("second", Json::object()));
  EXPECT_EQ(smash->state(), S::QB_SMASH_STATE_INIT_IN_PROGRESS);
  EXPECT_EQ(network->initCalls, 1);
  env.advance(300);
  initSucceeds();
  ASSERT_TRUE(ad->lastAdData);
  EXPECT_EQ(ad->lastAdData->serverData(), "first");
  ad->delegate()->adDidLoad();
  EXPECT_EQ(manager->reports(), Reports{"success:800"});  // timed from the first call
  auto events = sentEvents();
  EXPECT_EQ(kindsOf(events), (Kinds{LOAD_AD, TS_INTERNAL_ERROR, LOAD_AD_SUCCESS}));
  EXPECT_EQ(firstOfKind(events, TS_INTERNAL_ERROR)["reason"], "loadAd - incorrect state while loading");
}

TEST_F(SmashLoadTest, AnExpiredNoticeKeepsALoadedAdAndFailsALoadingOne) {
  network->initAnswer = Answer::Succeed;
  load();
  asAdDelegate().adDidLoad();
  env.advance(4000);
  asAdDelegate().adDidFailToLoadWithErrorType(QBAdapterErrorTypeAdExpired, 77, "expired");
  EXPECT_TRUE(smash->isLoaded());
  EXPECT_EQ(smash->adExpirationTimestamp(), static_cast<uint32_t>(platform::nowWallMs() / 1000));

  auto other = makeSmash(cfg, adAdapter(cfg));
  other->loadAdWithServerData("", Json::object());
  static_cast<QBAdapterAdDelegate&>(*other).adDidFailToLoadWithErrorType(QBAdapterErrorTypeAdExpired, 77, "expired");
  EXPECT_EQ(manager->reports(), (Reports{"success:0", "failed:77:expired:0"}));
  EXPECT_FALSE(other->adExpirationTimestamp());
  auto events = sentEvents();
  EXPECT_EQ(kindsOf(events), (Kinds{LOAD_AD, LOAD_AD_SUCCESS, TS_AD_EXPIRED, LOAD_AD, LOAD_AD_FAILED_WITH_REASON}));
  EXPECT_EQ(firstOfKind(events, TS_AD_EXPIRED)["reason"], "ad expired for Fake_1");
}

TEST_F(SmashLoadTest, ReleaseStopsEverythingEvenWithTheTimerStartStillQueued) {
  ASSERT_TRUE(smash->loadAdWithServerData("", Json::object()));
  ad->throwOnRelease = true;
  smash->releaseMemory();
  smash->releaseMemory();
  EXPECT_EQ(ad->releaseCalls, 1);
  EXPECT_FALSE(smash->adapter());
  env.advance(60'000);
  EXPECT_EQ(manager->count(), 0u);
  asAdDelegate().adDidClick();  // reaches the manager, sends no event
  EXPECT_EQ(manager->reports(), Reports{"click"});
  auto events = sentEvents();
  EXPECT_EQ(kindsOf(events), (Kinds{LOAD_AD, TS_INTERNAL_ERROR}));
  EXPECT_EQ(firstOfKind(events, TS_INTERNAL_ERROR)["reason"],
            "Exception while calling adapter release memory, exception = std::runtime_error release exploded");
}

}  // namespace
}  // namespace adunits_test
