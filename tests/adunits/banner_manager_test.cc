// The programmatic banner manager's road against the sandbox auction: the
// candidates and flags of the request, the waterfall in order under each
// instance's time-out, the one banner at a time, destroy during a load and
// the late answers after it, no candidates, a size the network refuses.
#include "adunits/QBProgBannerManager.h"
#include "adapters/QBBaseAdapter.h"
#include "adunits_test_support.h"
#include "events/QBBannerDelegateWrapper.h"
#include "testsuite/QBTestSuiteLoadAdConfig.h"

#include <condition_variable>

namespace adunits_test {
namespace {

// How a fake banner network answers a load.
enum class BannerAnswer { Hold, Load, Fail, Throw, StandardSizesOnly };

// A classic adapter with banners, one per network: records every call and
// answers each instance's load as told; the delegates of the loads are kept
// for the test to answer later (from any thread).
class FakeBannerNetwork : public QBBaseAdapter, public QBBannerAdapterProtocol {
 public:
  struct Load {
    std::string instance;
    Json adData;
    std::string serverData;
    std::string size;
    platform::ViewControllerRef viewController;
  };

  void initBannerForBiddingWithUserId(const std::string& userId, const QBAdapterConfigRef& config,
                                      std::weak_ptr<QBBannerAdapterDelegate>) override {
    std::lock_guard lock(m_);
    inits.push_back(config->providerName() + ":" + userId);
  }
  void loadBannerForBiddingWithAdapterConfig(const QBAdapterConfigRef& config, const Json& adData,
                                             const std::string& serverData,
                                             const platform::ViewControllerRef& viewController,
                                             const std::shared_ptr<QBBannerSize>& size,
                                             std::weak_ptr<QBBannerAdapterDelegate> delegate) override {
    const std::string name = config->providerName();
    BannerAnswer how;
    {
      std::lock_guard lock(m_);
      loads.push_back(Load{name, adData, serverData, size->sizeDescription(), viewController});
      delegates[name] = delegate;
      how = answers.count(name) ? answers[name] : BannerAnswer::Hold;
    }
    if (how == BannerAnswer::Throw) throw std::runtime_error("banner exploded");
    if (how == BannerAnswer::StandardSizesOnly && size->sizeDescription() == QBBannerSize::kCustom) {
      how = BannerAnswer::Fail;
      refusal = QBError::createError(616, std::string("unsupported banner size"));
    }
    if (how == BannerAnswer::Load) succeed(name);
    if (how == BannerAnswer::Fail) fail(name);
  }
  void destroyBannerWithAdapterConfig(const QBAdapterConfigRef& config) override {
    std::lock_guard lock(m_);
    destroys.push_back(config->providerName());
  }
  std::optional<Json> getBannerBiddingDataWithAdapterConfig(const QBAdapterConfigRef& config, const Json&) override {
    if (config->providerName() == noToken) return std::nullopt;
    return Json{{"token", "tok-" + config->providerName()}};
  }

  std::shared_ptr<QBBannerAdapterDelegate> delegate(const std::string& name) {
    std::lock_guard lock(m_);
    return delegates[name].lock();
  }
  // The newest load of `name` answers with a 320x50 view / a failure.
  bool succeed(const std::string& name) {
    auto d = delegate(name);
    if (d) d->adapterBannerDidLoad(std::make_shared<platform::View>(platform::Rect::make(7, 7, 320, 50)));
    return d != nullptr;
  }
  bool fail(const std::string& name) {
    auto d = delegate(name);
    if (d) d->adapterBannerDidFailToLoadWithError(refusal);
    return d != nullptr;
  }
  std::vector<std::string> loadedNames() {
    std::lock_guard lock(m_);
    std::vector<std::string> names;
    for (const auto& load : loads) names.push_back(load.instance);
    return names;
  }
  std::vector<std::string> destroyed() {
    std::lock_guard lock(m_);
    return destroys;
  }

  std::map<std::string, BannerAnswer> answers;  // set before the loads
  std::string noToken;
  QBError refusal = QBError::createError(606, std::string("No fill"));
  std::mutex m_;
  std::vector<std::string> inits;
  std::vector<Load> loads;
  std::vector<std::string> destroys;
  std::map<std::string, std::weak_ptr<QBBannerAdapterDelegate>> delegates;
};

class BannerManagerTest : public AdUnitsTest {
 protected:
  BannerManagerTest() {
    QBBannerDelegateWrapper::sharedInstance()->setDelegate(listener);
    bannerNet = addBannerNetwork("BnNet");
    otherNet = addBannerNetwork("OtherNet");
  }
  ~BannerManagerTest() override {
    banners.clear();
    env.runUntilIdle();
  }

  std::shared_ptr<FakeBannerNetwork> addBannerNetwork(const std::string& name) {
    auto added = std::make_shared<FakeBannerNetwork>();
    platform::ClassRegistry::shared().registerClass<QBBaseAdapter>("QB" + name + "Adapter", [added] { return added; });
    return added;
  }
  static std::shared_ptr<QBAdapterConfig> bannerInstance(const std::string& provider, const std::string& network,
                                                         bool bidder = false, double timeOutSec = 30) {
    return instance(provider, network, bidder, QBAdUnit::QB_AD_UNIT_BANNER(), Json{{"loadTimeOutSec", timeOutSec}});
  }
  std::shared_ptr<QBProgBannerManager> make(std::vector<std::shared_ptr<QBAdapterConfig>> configs,
                                            Json auctionJson, Json productJson = product()) {
    auto made = QBProgBannerManager::initWithProvidersPool(
        std::move(configs), QBProductSettings::fromJson(QBAdUnit::QB_AD_UNIT_BANNER(), productJson),
        QBAuctionSettings::fromJson(auctionJson), false, impressionListeners, std::nullopt, false);
    banners.push_back(made);
    return made;
  }
  // The default: BN1 bidder and BN2 of BnNet, OT1 of OtherNet, TV1 of a
  // network without banners; every auction answers `waterfall`.
  std::shared_ptr<QBProgBannerManager> makeDefault(const std::vector<std::string>& waterfall = {"BN1", "BN2", "OT1"}) {
    for (int n = 1; n <= 3; ++n) answer("auc-" + std::to_string(n), waterfall);
    return make({bannerInstance("BN1", "BnNet", true), bannerInstance("BN2", "BnNet"), bannerInstance("OT1", "OtherNet"),
                 bannerInstance("TV1", "Fake")},
                sandboxAuction());
  }
  bool waitFor(const std::shared_ptr<QBProgBannerManager>& m, QBProgBannerManagerState state) {
    return env.runUntil([&] { return m->state() == state; });
  }
  std::vector<std::string> heard() {
    env.runUntilIdle();
    return listener->lines();
  }
  static std::vector<std::string> instancesOf(const Json& request) {
    std::vector<std::string> names;
    for (const auto& entry : request["instances"]) {
      names.push_back(entry["instance"].get<std::string>() + (entry["isBidder"].get<bool>() ? "(bid)" : ""));
    }
    return names;
  }

  std::shared_ptr<FakeBannerNetwork> bannerNet, otherNet;
  std::shared_ptr<qbtest::AdListener> listener = std::make_shared<qbtest::AdListener>();
  std::vector<std::shared_ptr<QBProgBannerManager>> banners;
  platform::ViewControllerRef vc = std::make_shared<platform::ViewController>();
};

TEST_F(BannerManagerTest, TheAuctionCarriesTheAllowedInstancesAndBothTestSuiteFlags) {
  struct Case {
    const char* name;
    std::shared_ptr<QBTestSuiteLoadAdConfig> request;
    Strings instances;
    bool testAds;
  };
  const std::vector<Case> cases = {
      {"no test suite", nullptr, {"BN1(bid)", "BN2", "OT1"}, false},
      {"BnNet non-bidders, test ads", QBTestSuiteLoadAdConfig::initWithAdNetwork("BnNet", false, true, false), {"BN2"},
       true},
      {"BnNet bidders", QBTestSuiteLoadAdConfig::initWithAdNetwork("BnNet", true, false, false), {"BN1(bid)"}, false},
  };
  for (size_t i = 0; i < cases.size(); ++i) {
    SCOPED_TRACE(cases[i].name);
    auto manager = makeDefault();
    manager->setTestSuiteLoadAdConfig(cases[i].request);
    EXPECT_EQ(manager->testSuiteLaunched(), cases[i].request != nullptr);
    manager->loadBanner(vc, QBBannerSize::BANNER());
    ASSERT_TRUE(env.runUntil([&] { return auction().requestCount() == i + 1; }));
    const Json request = *auction().lastRequest()->json;
    EXPECT_EQ(request["adUnit"], "banner");
    EXPECT_EQ(instancesOf(request), cases[i].instances);
    EXPECT_EQ(request["testSuiteLaunched"], cases[i].request != nullptr);
    EXPECT_EQ(request["useTestAds"], cases[i].testAds);
    if (cases[i].instances.front() == "BN1(bid)") {
      EXPECT_EQ(request["instances"][0]["biddingData"], (Json{{"token", "tok-BN1"}}));
    }
    ASSERT_TRUE(env.runUntil([&] { return manager->state() == QBProgBannerManagerState::BANNER_LOADING; }));
    manager->destroyCurrentBanner();
  }
  EXPECT_TRUE(log.contains("TV1 - the network has no banner adapter; left out"));
}

// The answer's order, each instance under its own time-out; the first success
// is the banner, its URLs and impression go out once.
TEST_F(BannerManagerTest, TheWaterfallLoadsInOrderEachUnderItsTimeOut) {
  auction();
  qbtest::SandboxNotifications notify(*server_);
  auction().enqueueAnswer(AuctionAnswer::withPayload(
      SandboxAuction::waterfallPayload("auc-w", {"OT1", "BN2", "BN1"}, notify.url(""))));
  auto recorder = std::make_shared<ImpressionRecorder>();
  impressionListeners->addDelegate(recorder);
  bannerNet->answers["BN2"] = BannerAnswer::Fail;
  auto manager = make({bannerInstance("BN1", "BnNet", true), bannerInstance("BN2", "BnNet"),
                       bannerInstance("OT1", "OtherNet", false, 2.5)},
                      sandboxAuction());
  manager->loadBanner(vc, QBBannerSize::LARGE());
  ASSERT_TRUE(waitFor(manager, QBProgBannerManagerState::BANNER_LOADING));
  EXPECT_EQ(otherNet->loadedNames(), Strings{"OT1"});
  EXPECT_TRUE(bannerNet->loadedNames().empty());

  // OT1 holds: its 2.5 s pass, it is given up at its network, BN2 fails at
  // once, BN1 loads.
  env.advance(2499);
  EXPECT_TRUE(bannerNet->loadedNames().empty());
  env.advance(1);
  EXPECT_EQ(otherNet->destroyed(), Strings{"OT1"});
  EXPECT_EQ(bannerNet->loadedNames(), (Strings{"BN2", "BN1"}));
  ASSERT_TRUE(bannerNet->succeed("BN1"));
  EXPECT_EQ(manager->state(), QBProgBannerManagerState::BANNER_LOADED);
  EXPECT_EQ(heard(), Strings{"banner loaded"});
  EXPECT_TRUE(otherNet->succeed("OT1"));  // the given-up instance's late answer

  // What the networks were handed, and the banner's view.
  const auto& load = bannerNet->loads.back();
  EXPECT_EQ(load.size, "LARGE");
  EXPECT_EQ(load.viewController, vc);
  EXPECT_EQ(load.adData["adUnit"], "banner");
  EXPECT_EQ(load.adData["bannerSize"], (Json{{"description", "LARGE"}, {"width", 320}, {"height", 90}, {"isAdaptive", false}}));
  EXPECT_NE(load.serverData.find("<ad BN1>"), std::string::npos);
  auto view = listener->banner()->view();
  ASSERT_TRUE(view);
  EXPECT_EQ(view->frame(), platform::Rect::make(0, 0, 320, 50));
  ASSERT_EQ(view->subviews().size(), 1u);
  EXPECT_EQ(view->subviews()[0]->frame(), platform::Rect::make(0, 0, 320, 50));
  EXPECT_EQ(manager->currentBanner(), listener->banner());
  EXPECT_EQ(heard(), Strings{"banner loaded"});

  // Win, both losses (they stood above the winner) and the bill, once each.
  ASSERT_TRUE(env.runUntil([&] { return notify.count() >= 4; }));
  env.runUntil([&] { return notify.count() > 4; }, 50);
  auto got = notify.received();
  std::sort(got.begin(), got.end());
  ASSERT_EQ(got.size(), 4u);
  EXPECT_EQ(got[0], "/notify/bill/BN1?pl=Default");
  EXPECT_EQ(got[1].rfind("/notify/loss/BN2?r=103", 0), 0u) << got[1];
  EXPECT_EQ(got[2].rfind("/notify/loss/OT1?r=103", 0), 0u) << got[2];
  EXPECT_EQ(got[3], "/notify/win/BN1?p=8&i=BN1");
  EXPECT_EQ(recorder->placements, Strings{"Default"});
  EXPECT_EQ(recorder->auctionIds, Strings{"auc-w"});
}

TEST_F(BannerManagerTest, OneBannerAtATime) {
  auto manager = makeDefault();
  bannerNet->answers["BN1"] = BannerAnswer::Load;
  manager->loadBanner(vc, QBBannerSize::BANNER());
  manager->loadBanner(vc, QBBannerSize::BANNER());  // during the auction
  ASSERT_TRUE(waitFor(manager, QBProgBannerManagerState::BANNER_LOADED));
  manager->loadBanner(vc, QBBannerSize::BANNER());  // while loaded
  EXPECT_EQ(heard(), (Strings{"banner loadFailed 510 banner load cannot be invoked while a banner is loading",
                              "banner loaded",
                              "banner loadFailed 510 banner load cannot be invoked while a banner is loaded; destroy it first"}));
  EXPECT_EQ(auction().requestCount(), 1u);
  EXPECT_EQ(bannerNet->loadedNames(), Strings{"BN1"});

  // Only the banner it handed out is destroyed; then the next load may start.
  auto banner = listener->banner();
  manager->destroyBanner(std::make_shared<QBBannerView>());
  EXPECT_EQ(manager->state(), QBProgBannerManagerState::BANNER_LOADED);
  auto parent = std::make_shared<platform::View>();
  parent->addSubview(banner->view());
  manager->destroyBanner(banner);
  EXPECT_EQ(manager->state(), QBProgBannerManagerState::BANNER_READY_TO_LOAD);
  EXPECT_EQ(bannerNet->destroyed(), Strings{"BN1"});
  env.runUntilIdle();
  EXPECT_FALSE(banner->view()->superview());
  EXPECT_TRUE(banner->view()->subviews().empty());
  manager->destroyBanner(banner);  // twice: nothing more
  EXPECT_EQ(bannerNet->destroyed(), Strings{"BN1"});
  manager->loadBanner(vc, QBBannerSize::BANNER());
  ASSERT_TRUE(waitFor(manager, QBProgBannerManagerState::BANNER_LOADED));
  EXPECT_EQ(auction().requestCount(), 2u);
}

// Destroyed during each phase of a load: nothing of that load reaches the
// application afterwards, and its network lets the banner go.
TEST_F(BannerManagerTest, DestroyDuringALoadDropsEveryLateAnswer) {
  for (const auto phase : {QBProgBannerManagerState::BANNER_AUCTION, QBProgBannerManagerState::BANNER_LOADING}) {
    SCOPED_TRACE(QBProgBannerManagerStateName(phase));
    listener->clear();
    auto manager = makeDefault({"BN1"});
    const size_t sent = auction().requestCount();
    if (phase == QBProgBannerManagerState::BANNER_AUCTION) auction().holdAnswers(1);
    manager->loadBanner(vc, QBBannerSize::BANNER());
    if (phase == QBProgBannerManagerState::BANNER_AUCTION) {
      env.runUntilIdle();  // the request is built and handed to the transfer thread
      ASSERT_TRUE(auction().waitForRequests(sent + 1));
    } else {
      ASSERT_TRUE(waitFor(manager, phase));
    }
    EXPECT_EQ(manager->state(), phase);
    manager->destroyCurrentBanner();
    EXPECT_EQ(manager->state(), QBProgBannerManagerState::BANNER_READY_TO_LOAD);
    auction().releaseAnswers();
    env.runUntil([] { return false; }, 50);  // whatever the server still sends back
    bannerNet->succeed("BN1");  // the late answer of the load
    auto delegate = bannerNet->delegate("BN1");
    if (delegate) delegate->adapterBannerDidClick();
    env.advance(31'000);
    EXPECT_EQ(manager->state(), QBProgBannerManagerState::BANNER_READY_TO_LOAD);
    EXPECT_EQ(heard(), Strings{});
    if (phase == QBProgBannerManagerState::BANNER_LOADING) {
      EXPECT_EQ(bannerNet->destroyed(), Strings{"BN1"});
    }
  }
}

TEST_F(BannerManagerTest, NoCandidatesAndRefusedSizesEndInALoadFailure) {
  struct Case {
    const char* name;
    std::function<std::shared_ptr<QBProgBannerManager>()> make;
    QBBannerSize size;
    std::string heard;
  };
  const std::vector<Case> cases = {
      {"only a network without banners", [&] { return make({bannerInstance("TV1", "Fake")}, sandboxAuction()); },
       QBBannerSize::BANNER(), "banner loadFailed 510 no auction candidates"},
      {"a bidder without its token",
       [&] {
         bannerNet->noToken = "BN1";
         return make({bannerInstance("BN1", "BnNet", true)}, sandboxAuction());
       },
       QBBannerSize::BANNER(), "banner loadFailed 510 no auction candidates"},
      {"every network refuses the size",
       [&] {
         bannerNet->answers["BN2"] = BannerAnswer::StandardSizesOnly;
         otherNet->answers["OT1"] = BannerAnswer::StandardSizesOnly;
         return make({bannerInstance("BN2", "BnNet"), bannerInstance("OT1", "OtherNet")}, noAuction());
       },
       QBBannerSize::initWithWidth(250, 250), "banner loadFailed 616 unsupported banner size"},
      {"the adapter throws", [&] {
         bannerNet->answers["BN2"] = BannerAnswer::Throw;
         return make({bannerInstance("BN2", "BnNet")}, noAuction());
       },
       QBBannerSize::BANNER(), "banner loadFailed 509 Mediation No fill"},
      // A size of no area never reaches a network (nor the auction).
      {"a width of zero", [&] { return make({bannerInstance("BN1", "BnNet")}, sandboxAuction()); },
       QBBannerSize::initWithWidth(0, 50), "banner loadFailed 616 banner size must have a positive width and height"},
      {"a negative height", [&] { return make({bannerInstance("BN1", "BnNet")}, sandboxAuction()); },
       QBBannerSize::initWithDescription("CUSTOM", 320, -50),
       "banner loadFailed 616 banner size must have a positive width and height"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    listener->clear();
    auto manager = c.make();
    manager->loadBanner(vc, c.size);
    ASSERT_TRUE(env.runUntil([&] { return !listener->lines().empty(); }));
    EXPECT_EQ(heard(), Strings{c.heard});
    EXPECT_EQ(manager->state(), QBProgBannerManagerState::BANNER_READY_TO_LOAD);
  }
  EXPECT_EQ(auction().requestCount(), 0u);
  EXPECT_TRUE(log.contains("loadBanner - exception = "));
}

// A size that every instance refused is heard as that refusal (616 with the
// network's reason); any other failure in the waterfall keeps the no-fill.
TEST_F(BannerManagerTest, ASizeEveryInstanceRefusesIsHeardAsTheRefusal) {
  struct Case {
    const char* name;
    BannerAnswer other;
    std::string heard;
  };
  const std::vector<Case> cases = {
      {"both refuse it", BannerAnswer::StandardSizesOnly, "banner loadFailed 616 unsupported banner size"},
      {"the other has no fill", BannerAnswer::Fail, "banner loadFailed 509 Mediation No fill"},
      {"the other throws", BannerAnswer::Throw, "banner loadFailed 509 Mediation No fill"},
      {"the other times out", BannerAnswer::Hold, "banner loadFailed 509 Mediation No fill"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    listener->clear();
    bannerNet->answers["BN2"] = BannerAnswer::StandardSizesOnly;
    otherNet->answers["OT1"] = c.other;
    otherNet->refusal = QBError::createError(606, std::string("No fill"));
    auto manager = make({bannerInstance("BN2", "BnNet"), bannerInstance("OT1", "OtherNet", false, 1)}, noAuction());
    manager->loadBanner(vc, QBBannerSize::initWithDescription("CUSTOM", 320, 1'000'000'000));
    env.advance(1000);
    ASSERT_TRUE(env.runUntil([&] { return !listener->lines().empty(); }));
    EXPECT_EQ(heard(), Strings{c.heard});
    EXPECT_EQ(manager->state(), QBProgBannerManagerState::BANNER_READY_TO_LOAD);
  }
}

// A fallback waterfall after a failed auction; clicks and screens of the
// loaded banner reach the application, an instance that is not the banner is
// not heard.
TEST_F(BannerManagerTest, AFailedAuctionFallsBackAndTheLoadedBannerReportsItsInteractions) {
  auction().enqueueAnswer(AuctionAnswer::noFill());
  otherNet->answers["OT1"] = BannerAnswer::Load;
  auto manager = make({bannerInstance("BN1", "BnNet", true), bannerInstance("BN2", "BnNet"),
                       bannerInstance("OT1", "OtherNet")},
                      sandboxAuction());
  bannerNet->answers["BN2"] = BannerAnswer::Fail;
  manager->loadBanner(vc, QBBannerSize::BANNER());
  ASSERT_TRUE(waitFor(manager, QBProgBannerManagerState::BANNER_LOADED));
  EXPECT_EQ(bannerNet->loadedNames(), Strings{"BN2"});  // the bidder is not in the fallback
  auto banner = otherNet->delegate("OT1");
  banner->adapterBannerDidClick();
  banner->adapterBannerWillPresentScreen();
  banner->adapterBannerDidDismissScreen();
  banner->adapterBannerWillLeaveApplication();
  bannerNet->delegate("BN2")->adapterBannerDidClick();
  EXPECT_EQ(heard(), (Strings{"banner loaded", "banner clicked", "banner presented", "banner dismissed",
                              "banner left"}));
}

// An instance answers on its network's thread while the application destroys
// the load: the answer has passed the instance and not yet reached the
// manager (the hook holds it there until the destroy is done). Nothing of the
// destroyed load is heard and the network lets its banner go once.
TEST_F(BannerManagerTest, AnAnswerFromAnotherThreadRacingDestroyIsDropped) {
  auto manager = make({bannerInstance("BN2", "BnNet")}, noAuction());
  std::mutex m;
  std::condition_variable cv;
  bool answered = false, destroyed = false;
  manager->setLoadSuccessHookForTesting([&] {
    std::unique_lock lock(m);
    answered = true;
    cv.notify_all();
    cv.wait(lock, [&] { return destroyed; });
  });
  for (int round = 0; round < 20; ++round) {
    listener->clear();
    {
      std::lock_guard lock(m);
      answered = destroyed = false;
    }
    manager->loadBanner(vc, QBBannerSize::BANNER());
    ASSERT_TRUE(bannerNet->delegate("BN2"));
    std::thread network([&] { bannerNet->succeed("BN2"); });
    {
      std::unique_lock lock(m);
      cv.wait(lock, [&] { return answered; });
    }
    manager->destroyCurrentBanner();
    {
      std::lock_guard lock(m);
      destroyed = true;
    }
    cv.notify_all();
    network.join();
    env.runUntilIdle();
    manager->destroyCurrentBanner();
    EXPECT_EQ(manager->state(), QBProgBannerManagerState::BANNER_READY_TO_LOAD);
    EXPECT_EQ(listener->lines(), Strings{});
    EXPECT_EQ(bannerNet->destroyed().size(), static_cast<size_t>(round + 1));
  }
}

}  // namespace
}  // namespace adunits_test
