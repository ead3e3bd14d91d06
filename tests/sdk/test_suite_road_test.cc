// The test console end to end through the public facade: the sandbox serves
// the configuration, the auctions, the own network's pages and the project's
// test page; the page takes its data, runs its plan (a rewarded video and an
// interstitial of Tulvo's non-bidding instances, a banner of the own
// network's placed at a quarter of the height) and closes the suite; the
// application hears nothing of it and everything afterwards.
#include "own_network_support.h"
#include "platform/tulvo/tulvo_control.h"
#include "sdk_test_support.h"
#include "support/sandbox_auction.h"
#include "support/sandbox_controller.h"
#include "support/sandbox_test_suite.h"
#include "testsuite/QBTestSuiteViewController.h"

namespace qbtest {
namespace {

using platform::Json;
using Strings = std::vector<std::string>;

class TestSuiteRoadTest : public SdkTest {
 protected:
  TestSuiteRoadTest() {
    resetOwnNetwork();
    platform::resetUIForTesting();
    previousSink_ = platform::setWebLogSink([this](platform::WebLogLevel, const std::string& line) {
      static constexpr char kPrefix[] = "testsuite: ";
      if (line.rfind(kPrefix, 0) == 0) page_.add(line.substr(sizeof kPrefix - 1));
    });
    window_ = std::make_shared<platform::Window>(platform::Rect::make(0, 0, 320, 480));
    window_->makeKeyAndVisible();
    window_->setRootViewController(vc_);
    auction_ = std::make_unique<SandboxAuction>(server_);
    addTestSuitePage(server_);
    addAdPage(server_);
    addControllerPage(server_, Json{{"commands", {{"loadBanner", {{"adView", {{"url", server_.url(kAdPagePath)},
                                                                              {"actions", Json::array()}}}}}}}});
    for (int n = 1; n <= 6; ++n) {
      auction_->enqueueAnswer(AuctionAnswer::withPayload(SandboxAuction::waterfallPayload(
          "auc-" + std::to_string(n), {"TulvoRV2", "TulvoIS1", "QuillborneBN1"})));
    }
    Json configuration = config_->configuration();
    configuration["configurations"]["application"]["events"]["events"]["maxNumberOfEvents"] = 1;
    configuration["configurations"]["banner"] = {
        {"adapterTimeOutInSeconds", 10},
        {"placements", Json::array({Json{{"placementId", 0}, {"placementName", "DefaultBanner"}, {"isDefault", true}}})}};
    configuration["providerOrder"]["banner"] = Json::array({"QuillborneBN1"});
    configuration["configurations"]["testSuite"]["controllerUrl"] =
        server_.url(kTestSuitePagePath) +
        "?rewardedVideo=Tulvo&interstitial=Tulvo&banner=Quillborne&margin=0.25&hold=1000&close=1";
    config_->setConfiguration(configuration);
    Quillborne::setRewardedVideoManualDelegate(listener_);
    Quillborne::setInterstitialDelegate(listener_);
    Quillborne::setBannerDelegate(listener_);
  }
  ~TestSuiteRoadTest() override {
    auction_.reset();
    resetOwnNetwork();
    env_.runUntilIdle();
    platform::resetUIForTesting();
    platform::setWebLogSink(previousSink_);
  }

  std::shared_ptr<QBTestSuiteViewController> suite() const {
    return std::dynamic_pointer_cast<QBTestSuiteViewController>(vc_->presentedViewController());
  }
  bool pageSaid(const std::string& line) { return page_.heard(line); }
  // The auction request of `adUnit`: its instances' names, and its two
  // test-suite flags.
  std::optional<Json> auctionOf(const std::string& adUnit) const {
    for (const auto& request : auction_->requests()) {
      if (request.json && (*request.json)["adUnit"] == adUnit) return *request.json;
    }
    return std::nullopt;
  }
  static Strings instanceNames(const Json& request) {
    Strings names;
    for (const auto& instance : request["instances"]) names.push_back(instance["instance"].get<std::string>());
    return names;
  }
  Strings suiteEventsReceived() {
    Strings out;
    for (const auto& event : eventsReceived(server_)) {
      const int64_t id = event.value("eventId", int64_t{0});
      if (id >= 70 && id <= 74) out.push_back(std::to_string(id));
    }
    return out;
  }

  Lines page_;
  platform::WebLogSink previousSink_;
  std::unique_ptr<SandboxAuction> auction_;
  std::shared_ptr<platform::Window> window_;
};

TEST_F(TestSuiteRoadTest, ThePageLoadsAndShowsTheChosenNetworksAdsAndClosesTheSuite) {
  Quillborne::initWithAppKey(kAppKey, Strings{"rewardedvideo", "interstitial", "banner"});
  ASSERT_TRUE(runUntilState(QBSdkState::SDK_INITIATED));
  Quillborne::launchTestSuite(vc_);
  ASSERT_TRUE(drive([&] { return pageSaid("data appKey123 7.3.1"); }, 50)) << platform::dumpJson(page_.lines());

  // The banner stays on screen for a second of the page's clock: it sits
  // across the middle of the suite's view with its top at a quarter of its
  // height.
  ASSERT_TRUE(drive([&] { return pageSaid("banner on screen"); }, 50)) << platform::dumpJson(page_.lines());
  auto shown = suite();
  ASSERT_TRUE(shown);
  auto banner = shown->adsManager()->bannerView();
  ASSERT_TRUE(banner && banner->view());
  EXPECT_EQ(banner->view()->superview(), shown->view());
  EXPECT_EQ(banner->view()->frame(), platform::Rect::make(0, 120, 320, 50));

  ASSERT_TRUE(drive([&] { return pageSaid("plan done") && !vc_->presentedViewController(); }, 50))
      << platform::dumpJson(page_.lines());
  const Strings said = page_.lines();
  auto saidInOrder = [&](const Strings& wanted) {
    size_t at = 0;
    for (const auto& line : said) {
      if (at < wanted.size() && line.rfind(wanted[at], 0) == 0) ++at;
    }
    return at == wanted.size();
  };
  EXPECT_TRUE(saidInOrder({"-> onDataLoaded", "-> loadRewardedVideoAd", "rewardedVideo onAdReady",
                           "rewardedVideo isRewardedVideoReady [1]", "-> showRewardedVideoAd",
                           "rewardedVideo onAdOpened", "rewardedVideo onAdRewarded [\"DefaultRewardedVideo\"",
                           "rewardedVideo onAdClosed", "-> loadInterstitialAd", "interstitial onAdReady",
                           "interstitial isInterstitialReady [1]", "-> showInterstitialAd", "interstitial onAdOpened",
                           "interstitial onAdClosed", "-> loadBannerAd", "banner onAdLoaded",
                           "-> addBannerAdToScreen {\"marginPercentageFromTop\":0.25}", "-> destroyBannerAd",
                           "plan done", "-> closeTestSuite"}))
      << platform::dumpJson(said);
  EXPECT_NE(std::find_if(said.begin(), said.end(),
                         [](const std::string& l) {
                           return l.rfind("interstitial onAdReady", 0) == 0 &&
                                  l.find("TulvoIS1") != std::string::npos;
                         }),
            said.end());

  // Each auction held only the chosen network's non-bidding instance, and
  // asked for test ads while the suite ran.
  for (const auto& [adUnit, instance] : std::vector<std::pair<std::string, std::string>>{
           {"rewardedVideo", "TulvoRV2"}, {"interstitial", "TulvoIS1"}, {"banner", "QuillborneBN1"}}) {
    SCOPED_TRACE(adUnit);
    auto request = auctionOf(adUnit);
    ASSERT_TRUE(request);
    EXPECT_EQ(instanceNames(*request), Strings{instance});
    EXPECT_EQ((*request)["testSuiteLaunched"], true);
    EXPECT_EQ((*request)["useTestAds"], true);
  }
  // The banner was destroyed; the application heard nothing of the suite.
  EXPECT_FALSE(banner->view()->superview());
  EXPECT_EQ(listener_->lines(), Strings{});
  EXPECT_FALSE(sdk()->testSuiteLaunched());

  // Closed: the application hears the next load again, with no filter.
  const size_t auctions = auction_->requestCount();
  Quillborne::loadInterstitial();
  ASSERT_TRUE(driveUntilHeard("is loaded", 50)) << platform::dumpJson(listener_->lines());
  ASSERT_GT(auction_->requestCount(), auctions);
  const auto after = auction_->lastRequest();
  ASSERT_TRUE(after && after->json);
  EXPECT_EQ((*after->json)["testSuiteLaunched"], false);
  EXPECT_EQ(page_.countContaining("is loaded"), 0u);

  ASSERT_TRUE(drive([&] { return suiteEventsReceived().size() >= 3; }, 5));
  EXPECT_EQ(suiteEventsReceived(), (Strings{"70", "71", "73"}));
}

// A banner size of no area from the page is the banner manager's to refuse:
// the page hears the load failure, and the plan goes on to the close.
TEST_F(TestSuiteRoadTest, ABannerSizeOfNoAreaReachesThePageAsALoadFailure) {
  Json configuration = config_->configuration();
  configuration["configurations"]["testSuite"]["controllerUrl"] =
      server_.url(kTestSuitePagePath) + "?banner=Quillborne&size=CUSTOM:320x-50&close=1";
  config_->setConfiguration(configuration);
  Quillborne::initWithAppKey(kAppKey, Strings{"banner"});
  ASSERT_TRUE(runUntilState(QBSdkState::SDK_INITIATED));
  Quillborne::launchTestSuite(vc_);
  ASSERT_TRUE(drive([&] { return pageSaid("plan done") && !vc_->presentedViewController(); }, 50))
      << platform::dumpJson(page_.lines());
  EXPECT_TRUE(page_.contains("-> loadBannerAd {\"adNetwork\":\"Quillborne\",\"isBidding\":false,\"isTest\":true,"
                             "\"retainViewController\":false,\"description\":\"CUSTOM\",\"width\":320,\"height\":-50}"))
      << platform::dumpJson(page_.lines());
  EXPECT_TRUE(page_.contains("banner onAdLoadFailed [\"Error Domain= Code=616 \\\"banner size must have a positive width "
                             "and height\\\"\"]"))
      << platform::dumpJson(page_.lines());
  EXPECT_FALSE(auctionOf("banner"));
  EXPECT_EQ(listener_->lines(), Strings{});
}

}  // namespace
}  // namespace qbtest
