// Banners through the public facade with the own network filling them: the
// configuration and auction from the sandbox, the sandbox's controller page
// answering the load with the banner's ad page in its container, the click
// from the ad page, the destroy; and the test suite's banner, which goes
// with the suite.
#include <limits>

#include "own_network_support.h"
#include "ownnetwork/publisher/QBNLoadLedger.h"
#include "ownnetwork/web/PMWVWKWebView.h"
#include "presentation/QBNAdViewsManager.h"
#include "sdk_test_support.h"
#include "support/sandbox_auction.h"
#include "support/sandbox_controller.h"
#include "testsuite/QBTestSuiteMediationSdkProxy.h"
#include "testsuite/QBTestSuiteViewController.h"

namespace qbtest {
namespace {

using platform::Json;
using Strings = std::vector<std::string>;

// What the suite's banner bridge hears (a stand-in for the suite's own).
class SuiteBannerBridge : public TidewheelBannerDelegate, public Lines {
 public:
  void didLoad(std::shared_ptr<QBBannerView> view, const QBAdInfo& info) override {
    banner = view;
    add("loaded " + info.instanceName().value_or("?"));
  }
  std::shared_ptr<QBBannerView> banner;  // main queue
  void didFailToLoadWithError(const QBError& e) override { add("loadFailed " + std::to_string(e.code())); }
  void didClickWithAdInfo(const QBAdInfo&) override { add("clicked"); }
  void didLeaveApplicationWithAdInfo(const QBAdInfo&) override { add("left"); }
  void didPresentScreenWithAdInfo(const QBAdInfo&) override {}
  void didDismissScreenWithAdInfo(const QBAdInfo&) override {}
};

class BannerRoadTest : public SdkTest {
 protected:
  BannerRoadTest() {
    resetOwnNetwork();
    platform::resetUIForTesting();
    window_ = std::make_shared<platform::Window>(platform::Rect::make(0, 0, 320, 480));
    window_->makeKeyAndVisible();
    window_->setRootViewController(vc_);
    auction_ = std::make_unique<SandboxAuction>(server_);
    addAdPage(server_);
    Quillborne::setBannerDelegate(listener_);
  }
  ~BannerRoadTest() override {
    auction_.reset();
    resetOwnNetwork();
    env_.runUntilIdle();
    platform::resetUIForTesting();
  }

  // The page answers banner loads with the ad page in an ad view, whose
  // actions follow; the banner's waterfall is the own network's instance.
  void start(const Json& bannerActions) {
    start(Json{{"adView", {{"url", server_.url(kAdPagePath)}, {"actions", bannerActions}}}}, 10);
  }
  // The page answers banner loads as `loadBanner` says; an instance's load
  // times out after `timeOutSeconds`.
  void start(const Json& loadBanner, int timeOutSeconds) {
    addControllerPage(server_, Json{{"commands", {{"loadBanner", loadBanner}}}});
    Json configuration = config_->configuration();
    configuration["configurations"]["banner"] = {
        {"adapterTimeOutInSeconds", timeOutSeconds},
        {"delayLoadFailureNotificationInSeconds", 0},
        {"placements", Json::array({Json{{"placementId", 0}, {"placementName", "DefaultBanner"}, {"isDefault", true}}})}};
    configuration["providerOrder"]["banner"] = Json::array({"QuillborneBN1"});
    config_->setConfiguration(configuration);
    for (int n = 1; n <= 3; ++n) {
      auction_->enqueueAnswer(
          AuctionAnswer::withPayload(SandboxAuction::waterfallPayload("bn-" + std::to_string(n), {"QuillborneBN1"})));
    }
    Quillborne::initWithAppKey(kAppKey, Strings{"banner"});
    ASSERT_TRUE(runUntilState(QBSdkState::SDK_INITIATED));
  }
  // The names of the calls the controller page received.
  Strings pageReceived() {
    auto publisher = PlovermarkAdsPublisher::sharedInstance();
    auto page = publisher ? publisher->webViewController() : nullptr;
    if (!page) return {};
    std::optional<Json> result;
    static_cast<platform::WebView&>(*page).evaluateJavaScript("PMA_CORE.received.map(function (r) { return r.name; })",
                                        [&](const platform::ScriptEvaluation& e) { result = e.ok() ? e.value : Json(); });
    if (!env_.runUntil([&] { return result.has_value(); })) return {};
    Strings names;
    if (result->is_array()) {
      for (const auto& name : *result) names.push_back(name.get<std::string>());
    }
    return names;
  }
  bool pageHasReceived(const std::string& name) {
    const auto names = pageReceived();
    return std::find(names.begin(), names.end(), name) != names.end();
  }
  // Waits in real time, without moving the clock, while the page and the
  // auction answer: a moved clock would let the load's time-out win over a
  // slow page.
  bool loaded(const std::function<bool()>& pred) { return env_.runUntil(pred, 20'000); }
  // Launches the test suite over the application's view controller and has
  // it load a banner, whose calls `bridge` hears.
  void launchSuiteAndLoadItsBanner(std::shared_ptr<QBTestSuiteViewController>& suite,
                                   const std::shared_ptr<SuiteBannerBridge>& bridge) {
    ASSERT_FALSE(sdk()->launchTestSuite(vc_));
    ASSERT_TRUE(env_.runUntil([&] {
      suite = std::dynamic_pointer_cast<QBTestSuiteViewController>(vc_->presentedViewController());
      return suite != nullptr;
    }));
    QBBannerDelegateWrapper::sharedInstance()->setTestSuiteTidewheelDelegate(bridge);
    QBTestSuiteMediationSdkProxy::loadBannerWithViewController(suite, QBBannerSize::BANNER());
  }
  std::string dump() const {
    std::string out;
    for (const auto& line : listener_->lines()) out += line + "; ";
    return out;
  }

  std::unique_ptr<SandboxAuction> auction_;
  std::shared_ptr<platform::Window> window_;
};

TEST_F(BannerRoadTest, AnOwnNetworkBannerLoadsShowsIsClickedAndIsDestroyed) {
  start(Json::array({Json::array({"click", 1000})}));
  Quillborne::loadBannerWithViewController(vc_, QBBannerSize::BANNER());
  ASSERT_TRUE(loaded([&] { return listener_->heard("banner loaded"); })) << dump();
  const auto request = auction_->lastRequest();
  ASSERT_TRUE(request && request->json);
  EXPECT_EQ((*request->json)["adUnit"], "banner");

  // The banner's view holds the own network's container running the ad page;
  // the application puts it on screen.
  auto banner = listener_->banner();
  ASSERT_TRUE(banner && banner->view());
  auto view = banner->view();
  EXPECT_EQ(view->frame().size, (platform::Size{320, 50}));
  ASSERT_EQ(view->subviews().size(), 1u);
  auto adView = webViewIn(view);
  ASSERT_TRUE(adView);
  EXPECT_EQ(adView->url(), server_.url(kAdPagePath));
  vc_->view()->addSubview(view);
  EXPECT_EQ(view->window(), window_);
  ASSERT_TRUE(env_.runUntil([&] { return !adView->isLoading(); }));

  // The ad page's click, a second after the load, reaches the application.
  env_.advance(1000);
  ASSERT_TRUE(env_.runUntil([&] { return listener_->heard("banner clicked"); })) << dump();
  EXPECT_EQ(listener_->lines(), (Strings{"banner loaded", "banner clicked"}));

  // Destroyed: the network hears of it, the banner leaves the screen.
  Quillborne::destroyBanner(banner);
  ASSERT_TRUE(env_.runUntil([&] { return pageHasReceived("destroyBanner"); }));
  env_.runUntilIdle();
  EXPECT_FALSE(view->superview());
  EXPECT_TRUE(view->subviews().empty());
  Quillborne::destroyBanner(banner);
  EXPECT_TRUE(log_.contains("not the banner this manager holds; ignored"));

  // The next banner loads.
  Quillborne::loadBannerWithViewController(vc_, QBBannerSize::BANNER());
  ASSERT_TRUE(loaded([&] { return listener_->lines().size() == 3; })) << dump();
  EXPECT_EQ(listener_->lines().back(), "banner loaded");
  EXPECT_NE(listener_->banner(), banner);
}

// The test suite's banner reports to the suite while it is open and is
// destroyed at the close: its ad page's later click reaches no one, least of
// all the application, which never asked for it.
TEST_F(BannerRoadTest, TheSuitesBannerGoesWithTheSuite) {
  start(Json::array({Json::array({"click", 5000})}));
  std::shared_ptr<QBTestSuiteViewController> suite;
  auto bridge = std::make_shared<SuiteBannerBridge>();
  ASSERT_NO_FATAL_FAILURE(launchSuiteAndLoadItsBanner(suite, bridge));
  ASSERT_TRUE(loaded([&] { return bridge->heard("loaded QuillborneBN1"); }));
  auto adView = webViewIn(bridge->banner->view());
  ASSERT_TRUE(adView);
  ASSERT_TRUE(env_.runUntil([&] { return !adView->isLoading(); }));

  suite->onClosed();
  env_.runUntilIdle();
  // Time for the ad page's click (due 5 s after the load) to come, if it can.
  env_.advance(6000);
  env_.runUntil([&] { return listener_->heard("banner clicked"); }, 500);
  EXPECT_EQ(listener_->lines(), Strings{});
  EXPECT_TRUE(pageHasReceived("destroyBanner"));
  EXPECT_EQ(bridge->lines(), Strings{"loaded QuillborneBN1"});
  EXPECT_FALSE(sdk()->testSuiteLaunched());
}

// A load the mediation gave up on, answered late by the page, meets the next
// load of the same banner: the page's answers name only the demand source, so
// without care the late answer would answer the new load. The mediation
// withdraws the load it gave up on ("destroyBanner"), and the page answers it
// no more; what the application hears is its new load's own answer, and no
// ad view stays behind.
struct LateBannerAnswer {
  const char* name;
  bool lateSuccess;  // the late answer: a banner (else a failure)
};

class BannerLateAnswerTest : public BannerRoadTest, public ::testing::WithParamInterface<LateBannerAnswer> {
 protected:
  // How the page answers a load: after `delayMs`, with a banner or a failure.
  // The banner's ad view is described either way: the page reads it when it
  // makes a banner, which may be after the test has changed the answer for
  // the next load.
  Json answer(bool success, int delayMs) {
    Json how{{"delayMs", delayMs}, {"adView", {{"url", server_.url(kAdPagePath)}, {"actions", Json::array()}}}};
    if (!success) how.update(Json{{"answer", "fail"}, {"errCode", "1010"}, {"errMsg", "No fill"}});
    return how;
  }
  static size_t adViews() { return QBNAdViewsManager::sharedManager().adViews().size(); }
  static bool isFailure(const std::string& line) { return line.rfind("banner loadFailed 509 ", 0) == 0; }
  // The application's line `n` is the load's own answer (a failure where the
  // late answer was a success, and the other way round); once a banner it had
  // is destroyed, the ad views are back to `before`.
  void expectOwnAnswerThenNoAdViewLeft(size_t n, bool lateSuccess, size_t before) {
    if (lateSuccess) {
      EXPECT_TRUE(isFailure(listener_->lines()[n])) << dump();
    } else {
      EXPECT_EQ(listener_->lines()[n], "banner loaded");
      Quillborne::destroyBanner(listener_->banner());
      ASSERT_TRUE(env_.runUntil([&] { return adViews() == before; })) << adViews();
      env_.runUntilIdle();
    }
    EXPECT_EQ(adViews(), before);
  }
};

TEST_P(BannerLateAnswerTest, TheNextLoadHearsItsOwnAnswer) {
  const bool lateSuccess = GetParam().lateSuccess;
  // The first load times out after 1 s; the page answers it at 1.3 s.
  start(answer(lateSuccess, 1300), 1);
  const size_t before = adViews();
  Quillborne::loadBannerWithViewController(vc_, QBBannerSize::BANNER());
  ASSERT_TRUE(drive([&] { return listener_->lines().size() == 1; })) << dump();
  ASSERT_TRUE(isFailure(listener_->lines()[0])) << dump();

  // At once, the next load, which the page answers the other way 0.3 s later.
  controllerPageValue(env_, "PMA_SANDBOX.commands.loadBanner = " + answer(!lateSuccess, 300).dump() + ", true");
  Quillborne::loadBannerWithViewController(vc_, QBBannerSize::BANNER());
  ASSERT_TRUE(drive([&] { return listener_->lines().size() == 2; })) << dump();
  // Past the late answer's time and more: nothing else arrives.
  settle(2000);
  ASSERT_EQ(listener_->lines().size(), 2u) << dump();
  ASSERT_NO_FATAL_FAILURE(expectOwnAnswerThenNoAdViewLeft(1, lateSuccess, before));
  // The load given up on was withdrawn at the page.
  EXPECT_TRUE(pageHasReceived("destroyBanner"));
}

// The same through the test suite: the suite closes while its banner still
// loads (the page answers it 1.5 s after the load), and a second later the
// application loads its own banner, which the page answers the other way
// 0.8 s later. The application hears its own answer, never the suite's, and
// the suite hears nothing more.
TEST_P(BannerLateAnswerTest, AfterTheSuiteClosesTheApplicationsBannerHearsItsOwnAnswer) {
  const bool lateSuccess = GetParam().lateSuccess;
  start(answer(lateSuccess, 1500), 10);
  const size_t before = adViews();
  std::shared_ptr<QBTestSuiteViewController> suite;
  auto bridge = std::make_shared<SuiteBannerBridge>();
  ASSERT_NO_FATAL_FAILURE(launchSuiteAndLoadItsBanner(suite, bridge));
  ASSERT_TRUE(env_.runUntil([&] { return pageHasReceived("loadBanner"); }));
  suite->onClosed();
  env_.runUntilIdle();
  ASSERT_FALSE(sdk()->testSuiteLaunched());

  env_.advance(1000);
  controllerPageValue(env_, "PMA_SANDBOX.commands.loadBanner = " + answer(!lateSuccess, 800).dump() + ", true");
  Quillborne::loadBannerWithViewController(vc_, QBBannerSize::BANNER());
  ASSERT_TRUE(drive([&] { return listener_->lines().size() == 1; })) << dump();
  settle(2000);
  ASSERT_EQ(listener_->lines().size(), 1u) << dump();
  EXPECT_EQ(bridge->lines(), Strings{});
  ASSERT_NO_FATAL_FAILURE(expectOwnAnswerThenNoAdViewLeft(0, lateSuccess, before));
}

INSTANTIATE_TEST_SUITE_P(LateFailureAndLateSuccess, BannerLateAnswerTest,
                         ::testing::Values(LateBannerAnswer{"LateFailure", false},
                                           LateBannerAnswer{"LateSuccess", true}),
                         [](const ::testing::TestParamInfo<LateBannerAnswer>& info) { return info.param.name; });

// The banner's waterfall has two instances of the own network's one demand
// source. The page never answers the first one's load, which times out; the
// second one's load, asked for then, waits behind the answer the page owes,
// and the first one's destroy withdraws both loads at the page: the one that
// waits is given up and never goes. The application's next banner loads the
// demand source again, and its load reaches the page at once: by the time
// its instance has asked for it and the queues have run what they hold, the
// clock not moved. The page holds its answer until the test moves the clock
// (it answers 1 ms later), then fills it; the application hears that fill,
// its own.
TEST_F(BannerRoadTest, AWithdrawalGivesUpTheLoadThatWaitsBehindTheOwedAnswer) {
  addControllerPage(server_, Json{{"commands", {{"loadBanner", {{"answer", "none"}}}}}});
  Json configuration = config_->configuration();
  configuration["configurations"]["banner"] = {
      {"adapterTimeOutInSeconds", 1},
      {"delayLoadFailureNotificationInSeconds", 0},
      {"placements", Json::array({Json{{"placementId", 0}, {"placementName", "DefaultBanner"}, {"isDefault", true}}})}};
  Json second = configuration["providerSettings"]["QuillborneBN1"];
  second["instanceId"] = "3005";
  second["banner"]["demandSourceName"] = "QuillborneBN1";
  configuration["providerSettings"]["QuillborneBN2"] = second;
  configuration["providerOrder"]["banner"] = Json::array({"QuillborneBN1", "QuillborneBN2"});
  config_->setConfiguration(configuration);
  auction_->setDefaultAnswer(
      AuctionAnswer::withPayload(SandboxAuction::waterfallPayload("bn-same", {"QuillborneBN1", "QuillborneBN2"})));
  Quillborne::initWithAppKey(kAppKey, Strings{"banner"});
  ASSERT_TRUE(runUntilState(QBSdkState::SDK_INITIATED));
  const auto loadsAtThePage = [this] {
    const auto names = pageReceived();
    return std::count(names.begin(), names.end(), "loadBanner");
  };

  Quillborne::loadBannerWithViewController(vc_, QBBannerSize::BANNER());
  ASSERT_TRUE(drive([&] { return listener_->lines().size() == 1; })) << dump();
  EXPECT_EQ(listener_->lines()[0].rfind("banner loadFailed 509 ", 0), 0u) << dump();
  EXPECT_EQ(loadsAtThePage(), 1);

  controllerPageValue(env_, "PMA_SANDBOX.commands.loadBanner = " +
                                Json{{"adView", {{"url", server_.url(kAdPagePath)}, {"actions", Json::array()}}},
                                     {"delayMs", 1}}
                                    .dump() +
                                ", true");
  const auto instanceLoads = [this] { return log_.countContaining("loadBanner - banner QuillborneBN1 - loading"); };
  Quillborne::loadBannerWithViewController(vc_, QBBannerSize::BANNER());
  ASSERT_TRUE(env_.runUntil([&] { return instanceLoads() == 2; })) << dump();
  env_.runUntilIdle();
  ASSERT_EQ(loadsAtThePage(), 2) << "the load waits behind the answer of a withdrawn load";
  EXPECT_EQ(listener_->lines().size(), 1u) << dump();
  env_.advance(1);
  ASSERT_TRUE(loaded([&] { return listener_->lines().size() == 2; })) << dump();
  EXPECT_EQ(listener_->lines()[1], "banner loaded") << dump();
  // Past the end of the wait the given-up load began: it never goes.
  settle(QBNLoadLedger::kOwedAnswerWaitMs);
  EXPECT_EQ(listener_->lines().size(), 2u) << dump();
  EXPECT_EQ(loadsAtThePage(), 2);
}

// Sizes the own network refuses reach the application's failure callback as
// its refusal, not as a no-fill: a height of 1e9, a width past the 32-bit
// range (read as the largest one), a description with a line break.
TEST_F(BannerRoadTest, SizesTheOwnNetworkRefusesReachTheApplicationAsItsRefusal) {
  start(Json::array());
  const std::vector<QBBannerSize> sizes = {
      QBBannerSize::initWithDescription("CUSTOM", 320, 1'000'000'000),
      QBBannerSize::initWithDescription("CUSTOM", std::numeric_limits<int>::max(), 250),
      QBBannerSize::initWithDescription("BANNER\n", 320, 50)};
  for (size_t n = 0; n < sizes.size(); ++n) {
    SCOPED_TRACE(sizes[n].sizeDescription());
    Quillborne::loadBannerWithViewController(vc_, sizes[n]);
    ASSERT_TRUE(loaded([&] { return listener_->lines().size() == n + 1; })) << dump();
    EXPECT_EQ(listener_->lines().back(), "banner loadFailed 616 quillborne unsupported banner size");
  }
  EXPECT_EQ(auction_->requestCount(), sizes.size());
}

}  // namespace
}  // namespace qbtest
