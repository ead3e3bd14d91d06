// The show side of the object-per-waterfall managers: refusals and their
// codes, the choice walk, the open sequence, close and reward timing with the
// transaction id, and adapter shows that throw or fail late.
#include <openssl/evp.h>

#include <cstdio>

#include "adunits/QBBaseAdUnitInteractionSmash.h"
#include "core/QBPlacement.h"
#include "manager_test_support.h"
#include "mediation/QBPlacementCappingManager.h"

namespace mgr_test {
namespace {

namespace K = QBEventKind;

enum class Show { Hold, Throw, FailInline, FailAndThrow };

// What the fake ad adapters of one test do, and the delegates they were given.
struct Script {
  std::mutex m;
  Show how = Show::Hold;
  std::map<std::string, bool> unavailable;
  std::map<std::string, std::weak_ptr<QBAdapterAdDelegate>> loaded;
  std::map<std::string, std::weak_ptr<QBAdapterAdInteractionDelegate>> shown;
  int shows = 0;

  template <class D>
  std::shared_ptr<D> delegateOf(const std::string& provider) {
    std::lock_guard lock(m);
    return std::dynamic_pointer_cast<D>(shown[provider].lock());
  }
};

template <class Base>
class ShowAd : public Base {
 public:
  explicit ShowAd(std::shared_ptr<Script> script) : script_(std::move(script)) {}
  void loadAdWithAdData(const std::shared_ptr<QBAdData>& adData, std::weak_ptr<QBAdapterAdDelegate> d) override {
    {
      std::lock_guard lock(script_->m);
      script_->loaded[adData->adapterConfig()->providerName()] = d;
    }
    if (auto delegate = d.lock()) delegate->adDidLoad();
  }
  bool isAdAvailableWithAdData(const std::shared_ptr<QBAdData>& adData) override {
    std::lock_guard lock(script_->m);
    return !script_->unavailable[adData->adapterConfig()->providerName()];
  }
  void showAdWithViewController(const QBViewController&, const std::shared_ptr<QBAdData>& adData,
                                std::weak_ptr<QBAdapterAdInteractionDelegate> d) override {
    Show how;
    {
      std::lock_guard lock(script_->m);
      ++script_->shows;
      script_->shown[adData->adapterConfig()->providerName()] = d;
      how = script_->how;
    }
    if (how == Show::FailInline || how == Show::FailAndThrow) {
      if (auto delegate = d.lock()) delegate->adDidFailToShowWithErrorCode(2, "Ad is not loaded");
    }
    if (how == Show::Throw || how == Show::FailAndThrow) throw std::runtime_error("show exploded");
  }

 private:
  std::shared_ptr<Script> script_;
};

class LwsNetwork : public FakeNetwork {
 public:
  int getLoadWhileShowSupportedStateWithAdapterConfig(const std::shared_ptr<QBAdapterConfig>&) override {
    return supportState;
  }
  int supportState = 0;
};

// The application's show callbacks on top of the load ones.
class ShowListener : public Listener {
 public:
  void rewardedVideoDidFailToShowWithError(const QBError& e) override {
    lines.add("showFailed:" + std::to_string(e.code()) + ":" + e.message());
  }
  void interstitialDidFailToShowWithError(const QBError& e) override {
    lines.add("showFailed:" + std::to_string(e.code()) + ":" + e.message());
  }
  void rewardedVideoDidOpen() override { lines.add("opened"); }
  void interstitialDidOpen() override { lines.add("opened"); }
  void interstitialDidShow() override { lines.add("shown"); }
  void rewardedVideoDidClose() override { lines.add("closed"); }
  void interstitialDidClose() override { lines.add("closed"); }
  void didReceiveRewardForPlacement(const QBPlacementInfo& info) override {
    lines.add("reward:" + info.placementName() + ":" + std::to_string(info.rewardAmount()));
  }
};

class ImpressionListener : public QBImpressionDataDelegate {
 public:
  void impressionDataDidSucceed(std::shared_ptr<QBImpressionData> data) override {
    placements.push_back(data->placement().value_or(""));
  }
  std::vector<std::string> placements;
};

std::string sha256Hex(const std::string& text) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int size = 0;
  EVP_Digest(text.data(), text.size(), digest, &size, EVP_sha256(), nullptr);
  std::string hex;
  char byte[3];
  for (unsigned int i = 0; i < size; ++i) {
    std::snprintf(byte, sizeof byte, "%02x", digest[i]);
    hex += byte;
  }
  return hex;
}

class ShowSideTest : public ManagerTest {
 protected:
  ShowSideTest() {
    QBRewardedVideoDelegateWrapper::sharedInstance()->setDelegate(rvShow);
    QBInterstitialDelegateWrapper::sharedInstance()->setDelegate(isShow);
    QBPlacementCappingManager::sharedManager().resetForTesting();
  }
  // loadWhileShow: the network's load-while-show support state.
  void addShowNetwork(const std::string& name, int loadWhileShow = 0) {
    auto& registry = platform::ClassRegistry::shared();
    registry.registerClass<QBBaseNetworkAdapter>("QB" + name + "CustomAdapter", [loadWhileShow] {
      auto network = std::make_shared<LwsNetwork>();
      network->supportState = loadWhileShow;
      return network;
    });
    registry.registerClass<QBBaseAdAdapter>(
        "QB" + name + "CustomRewardedVideo", [s = script] { return std::make_shared<ShowAd<QBBaseRewardedVideo>>(s); });
    registry.registerClass<QBBaseAdAdapter>(
        "QB" + name + "CustomInterstitial", [s = script] { return std::make_shared<ShowAd<QBBaseInterstitial>>(s); });
  }
  // Placements "Default" (reward "coins" x 5) and "Off" (delivery off).
  static Json placements(Json extra = Json::object()) {
    Json section = product(
        {{"placements", Json::array({Json{{"placementId", 0}, {"placementName", "Default"}, {"isDefault", true},
                                          {"rewardName", "coins"}, {"rewardAmount", 5}},
                                     Json{{"placementId", 1}, {"placementName", "Off"}, {"deliveryEnabled", false}}})}});
    section.update(extra);
    return section;
  }
  std::vector<std::string> heard() {
    env.runUntilIdle();
    return rvShow->lines.all();
  }
  // Instance-level kind of an event; -1 for others.
  static int providerKind(const Json& event, const QBAdUnit& adUnit) {
    const int64_t id = event.value("eventId", int64_t{-1}) % QBEventsEngine::kOfflineEventIdOffset;
    for (int kind = 0; kind < K::kKindCount; ++kind) {
      if (QBAdUnitEventsTables::eventId(adUnit, QBAdUnitEventsTables::kLevelProvider, kind) == id) return kind;
    }
    return -1;
  }
  std::vector<Json> instanceEvents(int kind) {
    std::vector<Json> out;
    for (const auto& event : events(rv)) {
      if (providerKind(event, rv) == kind && event.value("provider", "") != "Mediation") out.push_back(event);
    }
    return out;
  }

  std::shared_ptr<Script> script = std::make_shared<Script>();
  std::shared_ptr<ShowListener> rvShow = std::make_shared<ShowListener>();
  std::shared_ptr<ShowListener> isShow = std::make_shared<ShowListener>();
  platform::ViewControllerRef vc = std::make_shared<platform::ViewController>();
};

TEST_F(ShowSideTest, RefusalsComeInOrderWithTheirCodes) {
  addShowNetwork("Alpha");
  auto manager = makeRv({instance("A1", "Alpha")}, true, noAuction(), placements());
  manager->showAd(vc, "Default");  // not loaded
  manager->loadAd();
  ASSERT_EQ(manager->state(), State::QB_MANAGER_STATE_READY_TO_SHOW);
  manager->showAd(vc, "Off");  // capped before any instance is asked
  EXPECT_EQ(script->shows, 0);
  manager->showAd(vc, "no such placement");  // the default placement
  EXPECT_EQ(manager->state(), State::QB_MANAGER_STATE_SHOWING);
  manager->showAd(vc, "Default");  // during the show: the showing ad is left alone
  EXPECT_EQ(manager->state(), State::QB_MANAGER_STATE_SHOWING);
  EXPECT_EQ(script->shows, 1);
  EXPECT_EQ(heard(), (std::vector<std::string>{"showFailed:509:show called while no ads are available", "loaded",
                                               "showFailed:524:placement Off is capped",
                                               "showFailed:1022:can't show ad while an ad is already showing"}));
  const auto failed = ofKind(K::SHOW_AD_FAILED);
  ASSERT_EQ(failed.size(), 3u);
  EXPECT_EQ(failed[1]["errorCode"], 524);
  EXPECT_EQ(ofKind(K::SHOW_AD)[2]["placement"], "Default");

  // Interstitial without placements.
  auto interstitial = makeIs({instance("A2", "Alpha", false, is)}, noAuction(), product({{"placements", Json::array()}}));
  interstitial->loadAd();
  interstitial->showAd(vc, "");
  interstitial->showAd(vc, "");
  env.runUntilIdle();
  EXPECT_EQ(isShow->lines.all(), (std::vector<std::string>{"loaded", "showFailed:1020:show called with empty default placement",
                                                           "showFailed:1020:show called with empty default placement"}));
}

TEST_F(ShowSideTest, NoReadyInstanceGives509WithTheExpiredListAndStaysReady) {
  addShowNetwork("Alpha");
  auto manager = makeRv({instance("A1", "Alpha"), instance("A2", "Alpha")}, true, noAuction(), placements());
  manager->loadAd();
  ASSERT_EQ(manager->state(), State::QB_MANAGER_STATE_READY_TO_SHOW);
  env.advance(5000);
  const auto expiredAt = std::to_string(platform::nowWallMs() / 1000);
  script->loaded["A1"].lock()->adDidFailToLoadWithErrorType(QBAdapterErrorTypeAdExpired, 1, "expired");
  script->unavailable["A1"] = script->unavailable["A2"] = true;
  EXPECT_FALSE(manager->isAdReady());

  manager->showAd(vc, "Default");
  EXPECT_EQ(manager->state(), State::QB_MANAGER_STATE_READY_TO_SHOW);
  EXPECT_EQ(heard().back(), "showFailed:509:rewardedVideo Show Fail - No ads to show");
  EXPECT_EQ(last(K::SHOW_AD_FAILED)["ext1"], "A1:" + expiredAt + ",");
  const auto chances = instanceEvents(K::SHOW_AD_CHANCE);
  ASSERT_EQ(chances.size(), 2u);
  EXPECT_EQ(chances[0]["status"], "false");
  EXPECT_EQ(chances[1]["status"], "false");
  EXPECT_EQ(script->shows, 0);
}

TEST_F(ShowSideTest, OpenRunsCappingDepthImpressionAndAdInfoInOrder) {
  addShowNetwork("Alpha");
  auto config = instance("A1", "Alpha", false, rv, Json{{"maxAdsPerSession", 1}});
  Json withCap = placements();
  withCap["placements"][0]["capping"] = Json{{"enabled", true}, {"maxImpressions", 1}, {"unit", "h"}};
  auto manager = makeRv({config}, true, sandboxAuction(), withCap);
  auto impressions = std::make_shared<ImpressionListener>();
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
  log.clear();
  script->delegateOf<QBAdapterAdInteractionDelegate>("A1")->adDidOpen();
  EXPECT_EQ(QBSessionDepthManager::sharedManager().getSessionDepth(rv), 2);
  EXPECT_EQ(manager->waterfallPerformance()["A1"], 4);
  EXPECT_EQ(manager->waterfallLifeCycleHolder()->lastActiveSmash()->getInstanceName(), "A1");
  ASSERT_NE(manager->waterfallLifeCycleHolder()->getAdInfoWithWaterfallId("auc-1"), nullptr);
  // Order of the steps as the log shows them.
  std::vector<std::string> steps;
  for (const auto& line : log.all()) {
    if (line.find("automation_log") != std::string::npos) continue;
    for (const char* step : {"A1 was session capped", "placement Default is capped", "onImpressionSuccess"}) {
      if (line.find(step) != std::string::npos) steps.push_back(step);
    }
  }
  EXPECT_EQ(steps, (std::vector<std::string>{"A1 was session capped", "placement Default is capped",
                                             "onImpressionSuccess"}));
  EXPECT_EQ(impressions->placements, std::vector<std::string>{"Default"});
  // The conversion value goes out with the depth read before the increment.
  Json conversion;
  for (const auto& event : events(rv)) {
    if (event.contains("conversionValue")) conversion = event;
  }
  EXPECT_EQ(conversion["sessionDepth"], 1);
  EXPECT_EQ(conversion["auctionId"], "auc-1");
  EXPECT_EQ(count(kinds(), K::PLACEMENT_CAPPED), 1u);
  EXPECT_EQ(instanceEvents(K::SESSION_CAPPED).size(), 1u);
  EXPECT_EQ(heard().back(), "opened");
}

TEST_F(ShowSideTest, RewardCarriesTimeAfterCloseAndTheTransactionId) {
  addShowNetwork("Alpha");
  QBConfigurations::getConfigurations().setAppKey("appKey42");
  QBConfigurations::getConfigurations().setRvServerParams(Json{{"level", "7"}});
  auto manager = makeRv({instance("A1", "Alpha")}, true, noAuction(), placements());
  for (int round = 0; round < 2; ++round) {
    manager->loadAd();
    manager->showAd(vc, "Default");
    auto shown = script->delegateOf<QBBaseAdUnitRewardSmash>("A1");
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
    EXPECT_EQ(reward["transId"], sha256Hex(timestamp + "appKey42" + "A1"));
    EXPECT_EQ(reward["custom_level"], "7");
    EXPECT_EQ(reward["rewardName"], "coins");
  }
  // The close data while the manager is SHOWING counts no other instance.
  EXPECT_EQ(instanceEvents(K::AD_CLOSED)[0]["ext1"], "otherInstanceAvailable = false");
  heard();
  EXPECT_EQ(rvShow->lines.countContaining("reward:Default:5"), 2u);
  // A close without a show only tells the troubleshooting event.
  script->delegateOf<QBBaseAdUnitRewardSmash>("A1")->adDidClose();
  EXPECT_EQ(instanceEvents(K::TS_UNEXPECTED_CLOSED).size(), 1u);
  EXPECT_EQ(rvShow->lines.countContaining("closed"), 2u);
}

TEST_F(ShowSideTest, AThrowingShowReportsOneFailureAndLeavesShowing) {
  addShowNetwork("Alpha");
  auto manager = makeRv({instance("A1", "Alpha")}, true, noAuction(), placements());
  for (Show how : {Show::Throw, Show::FailAndThrow, Show::FailInline}) {
    script->how = how;
    manager->loadAd();
    ASSERT_EQ(manager->state(), State::QB_MANAGER_STATE_READY_TO_SHOW);
    manager->showAd(vc, "Default");
    EXPECT_EQ(manager->state(), State::QB_MANAGER_STATE_READY_TO_LOAD);
    EXPECT_EQ(manager->waterfallPerformance()["A1"], 3);
  }
  const auto lines = heard();
  std::vector<std::string> failures;
  for (const auto& line : lines) {
    if (line.rfind("showFailed", 0) == 0) failures.push_back(line);
  }
  ASSERT_EQ(failures.size(), 3u);
  EXPECT_EQ(failures[0], "showFailed:1038:showAd - exception = std::runtime_error show exploded");
  EXPECT_EQ(failures[1], "showFailed:2:Ad is not loaded");
  EXPECT_EQ(failures[2], "showFailed:2:Ad is not loaded");
}

TEST_F(ShowSideTest, ALateShowFailureLeavesANewerWaterfallAlone) {
  addShowNetwork("Alpha", 1);
  auto manager = makeRv({instance("A1", "Alpha")}, false,
                        sandboxAuction({{"isLoadWhileShow", true}, {"minTimeBeforeFirstRvAuctionMs", 0}}), placements());
  ASSERT_EQ(manager->loadingMode(), QBAdUnitLoadingMode::AUTOMATIC_LOAD_WHILE_SHOW);
  auto answerWithImpression = [&](const std::string& id) {
    Json payload = SandboxAuction::waterfallPayload(id, {"A1"});
    payload["waterfall"][0]["impressionData"] = Json{{"instanceName", "A1"}, {"auctionId", id}};
    auction().enqueueAnswer(AuctionAnswer::withPayload(payload));
  };
  answerWithImpression("auc-1");
  ASSERT_TRUE(env.runUntil([&] { return manager->state() == State::QB_MANAGER_STATE_READY_TO_SHOW; }));
  manager->showAd(vc, "Default");
  auto old = script->delegateOf<QBAdapterAdInteractionDelegate>("A1");

  // A newer waterfall loads while the ad shows (the instance supports it).
  answerWithImpression("auc-2");
  manager->loadAd();
  ASSERT_TRUE(env.runUntil([&] { return manager->waterfallLifeCycleHolder()->currentWaterfallId() == "auc-2"; }));
  auto holder = manager->waterfallLifeCycleHolder();
  const auto installed = holder->getAdInfoWithWaterfallId("auc-2");
  const auto loaded = holder->getAdInfoWithWaterfallId("auc-1");
  old->adDidOpen();  // the open stores ad info under its own waterfall only
  EXPECT_NE(holder->getAdInfoWithWaterfallId("auc-1"), loaded);
  EXPECT_EQ(holder->getAdInfoWithWaterfallId("auc-2"), installed);
  const State before = manager->state();
  old->adDidFailToShowWithErrorCode(7, "late");
  EXPECT_EQ(manager->state(), before);
  EXPECT_NE(before, State::QB_MANAGER_STATE_READY_TO_LOAD);
}

}  // namespace
}  // namespace mgr_test
