// The own network through the public facade: the configuration and auction
// from the sandbox, the own network's adapter made by class name, the
// sandbox's controller page in a real web view answering the products.
#include "own_network_support.h"
#include "ownnetwork/controller/QBNControllerAPIDispatcher.h"
#include "ownnetwork/publisher/QBNLoadLedger.h"
#include "ownnetwork/web/PMWVWKWebView.h"
#include "platform/clock.h"
#include "platform/file_facts.h"
#include "platform/storekit/storekit_control.h"
#include "platform/system_sounds.h"
#include "platform/tulvo/tulvo_control.h"
#include "presentation/QBNProductViewController.h"
#include "sdk_test_support.h"
#include "support/sandbox_auction.h"
#include "support/sandbox_controller.h"

namespace qbtest {
namespace {

using platform::Json;

class OwnNetworkRoadTest : public SdkTest {
 protected:
  OwnNetworkRoadTest() {
    TulvoSDK::Control::shared().resetForTesting();
    resetOwnNetwork();
    platform::resetUIForTesting();
    window_ = std::make_shared<platform::Window>(platform::Rect::make(0, 0, 320, 480));
    window_->makeKeyAndVisible();
    auction_ = std::make_unique<SandboxAuction>(server_);
  }
  ~OwnNetworkRoadTest() override {
    auction_.reset();
    resetOwnNetwork();
    env_.runUntilIdle();
    platform::resetUIForTesting();
    TulvoSDK::Control::shared().resetForTesting();
  }

  // The page as `behaviour` says; the rewarded video's waterfall is
  // `rewardedOrder`; every auction answers `auctionOrder` (the waterfall the
  // auction sends back for bidders and non-bidders alike). `manual`: the
  // application loads; otherwise the manager does, in the loading mode the
  // configuration's auction settings choose.
  void start(const Json& behaviour, const std::vector<std::string>& rewardedOrder,
             const std::vector<std::string>& auctionOrder, bool manual = true) {
    addControllerPage(server_, behaviour);
    Json configuration = config_->configuration();
    configuration["providerOrder"]["rewardedVideo"] = rewardedOrder;
    config_->setConfiguration(configuration);
    for (int n = 1; n <= 4; ++n) {
      auction_->enqueueAnswer(AuctionAnswer::withPayload(SandboxAuction::waterfallPayload("auc-" + std::to_string(n), auctionOrder)));
    }
    if (manual) {
      Quillborne::setRewardedVideoManualDelegate(listener_);
    } else {
      Quillborne::setRewardedVideoDelegate(listener_);
    }
    Quillborne::initWithAppKey(kAppKey, std::vector<std::string>{"rewardedvideo"});
    ASSERT_TRUE(runUntilState(QBSdkState::SDK_INITIATED));
  }

  // The value of `expression` in the controller page (null when it fails).
  Json page(const std::string& expression) { return controllerPageValue(env_, expression); }
  std::string dump() const { return heardLines(*listener_); }

  // Rewarded ad instances travel as the page's interstitial product; the
  // page credits and closes after a successful show.
  static Json showThenRewardAndClose() {
    return Json{{"commands",
                 {{"showInterstitial",
                   {{"then", Json::array({Json::array({"adCredited", {{"credits", "10"}, {"productType", "Interstitial"}}}),
                                          Json::array({"onAdWindowsClosed", {{"productType", "Interstitial"}}})})}}}}}};
  }

  std::unique_ptr<SandboxAuction> auction_;
  std::shared_ptr<platform::Window> window_;
};

// The own network's instance on top of the waterfall, and as the winning
// bidder, fills the rewarded video through the page.
class OwnNetworkFillTest : public OwnNetworkRoadTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(OwnNetworkFillTest, RewardedVideoLoadsShowsRewardsAndCloses) {
  start(showThenRewardAndClose(), {GetParam(), "TulvoRV2"}, {GetParam(), "TulvoRV2"});
  Quillborne::loadRewardedVideo();
  ASSERT_TRUE(driveUntilHeard("loaded", 50)) << dump();
  EXPECT_TRUE(Quillborne::hasRewardedVideo());
  Quillborne::showRewardedVideoWithViewController(vc_, "DefaultRewardedVideo");
  ASSERT_TRUE(driveUntilHeard("closed", 50)) << dump();
  EXPECT_EQ(listener_->lines(), (std::vector<std::string>{"loaded", "opened", "reward DefaultRewardedVideo 10", "closed"}));
  EXPECT_EQ(TulvoSDK::Control::shared().loadCount(TulvoSDK::AdKind::Rewarded), 0);  // the own network filled
}

INSTANTIATE_TEST_SUITE_P(WaterfallAndBidder, OwnNetworkFillTest, ::testing::Values("QuillborneRV1", "QuillborneRV2"));

TEST_F(OwnNetworkRoadTest, APresentedAdRunsItsPageOverTheApplicationAndHandsTheScreenBack) {
  // The page presents the show: the ad page in the product view controller,
  // a click after 1 s, its close 1 s later; then the credit and the close.
  addAdPage(server_);
  const std::string adPage = server_.url(kAdPagePath);
  Json behaviour = showThenRewardAndClose();
  behaviour["commands"]["showInterstitial"]["present"] = {
      {"url", adPage}, {"actions", Json::array({Json::array({"click", 1000}), Json::array({"close", 1000})})}};
  window_->setRootViewController(vc_);
  start(behaviour, {"QuillborneRV1", "TulvoRV2"}, {"QuillborneRV1", "TulvoRV2"});
  Quillborne::loadRewardedVideo();
  ASSERT_TRUE(driveUntilHeard("loaded", 50)) << dump();
  Quillborne::showRewardedVideoWithViewController(vc_, "DefaultRewardedVideo");

  // On screen: the product view controller over the application's, its web
  // view running the ad page's script.
  std::shared_ptr<platform::WebView> adView;
  ASSERT_TRUE(drive([&] {
    auto shown = std::dynamic_pointer_cast<QBNProductViewController>(vc_->presentedViewController());
    adView = shown ? webViewIn(shown->view()) : nullptr;
    return adView && adView->url() == adPage && !adView->isLoading();
  }, 50)) << dump();
  std::optional<Json> script;
  adView->evaluateJavaScript("typeof window.pma.onMessageReceived",
                             [&](const platform::ScriptEvaluation& e) { script = e.ok() ? e.value : Json("error"); });
  ASSERT_TRUE(env_.runUntil([&] { return script.has_value(); }));
  EXPECT_EQ(*script, Json("function"));
  EXPECT_EQ(listener_->lines(), (std::vector<std::string>{"loaded", "opened"}));

  // The ad page's click and close reach the application in order, and the
  // application's controller is the top one again.
  ASSERT_TRUE(driveUntilHeard("closed", 50)) << dump();
  EXPECT_EQ(listener_->lines(), (std::vector<std::string>{"loaded", "opened", "clicked DefaultRewardedVideo",
                                                          "reward DefaultRewardedVideo 10", "closed"}));
  EXPECT_EQ(vc_->presentedViewController(), nullptr);
  EXPECT_EQ(window_->rootViewController(), vc_);
  EXPECT_FALSE(adView->window());
}

TEST_F(OwnNetworkRoadTest, AShownAdReportsItsImpressionAndShowsAStoreOverlay) {
  // The page starts the ad's impression once the ad is displayed and ends it
  // when the ad goes; meanwhile it creates, presents, dismisses and removes a
  // store overlay in the application's window scene.
  addAdPage(server_);
  Json behaviour = showThenRewardAndClose();
  behaviour["commands"]["showInterstitial"]["present"] = {
      {"url", server_.url(kAdPagePath)}, {"actions", Json::array({Json::array({"close", 2000})})}};
  behaviour["impression"] = {{"adNetworkId", "net.example.skadnetwork"},
                             {"adNetworkNonce", "68483ef6-0678-41b1-a2b3-3a2e4b2f5c1d"},
                             {"id", 1460000001},
                             {"adNetworkAttributionSignature", "MEUCIQ+sig/=="}};
  behaviour["overlay"] = {{"overlayId", "ov 1"}, {"advertisedAppId", "1460000001"}, {"userDismissible", true}};
  auto& store = platform::StoreKitControl::shared();
  store.resetForTesting();
  auto scene = platform::WindowScene::create("main");
  platform::Application::shared().connectScene(scene);
  scene->activate();
  window_->setWindowScene(scene);
  window_->setRootViewController(vc_);
  start(behaviour, {"QuillborneRV1", "TulvoRV2"}, {"QuillborneRV1", "TulvoRV2"});
  Quillborne::loadRewardedVideo();
  ASSERT_TRUE(driveUntilHeard("loaded", 50)) << dump();
  Quillborne::showRewardedVideoWithViewController(vc_, "DefaultRewardedVideo");
  ASSERT_TRUE(driveUntilHeard("closed", 50)) << dump();
  ASSERT_TRUE(drive([&] { return store.impressionCalls().size() == 2; }, 50));

  // The store stand-in's record.
  const auto calls = store.impressionCalls();
  EXPECT_EQ(calls[0].method, "startImpression");
  EXPECT_EQ(calls[0].properties, (Json{{"advertisedAppStoreItemIdentifier", 1460000001},
                                       {"adNetworkIdentifier", "net.example.skadnetwork"},
                                       {"signature", "MEUCIQ+sig/=="},
                                       {"adImpressionIdentifier", "68483ef6-0678-41b1-a2b3-3a2e4b2f5c1d"}}));
  EXPECT_EQ(calls[1].method, "endImpression");
  EXPECT_EQ(calls[1].impression, calls[0].impression);
  EXPECT_FALSE(calls[1].error);
  std::vector<std::string> steps;
  for (const auto& record : store.overlayRecords()) {
    EXPECT_EQ(record.scene.lock(), scene);
    steps.push_back(std::string(platform::overlayStepName(record.step)) + " " + record.appIdentifier);
  }
  EXPECT_EQ(steps, (std::vector<std::string>{"present asked 1460000001", "will present 1460000001",
                                             "presented 1460000001", "dismiss asked 1460000001",
                                             "will dismiss 1460000001", "dismissed 1460000001"}));

  // The page's record: each answer and event, the overlay's and the
  // impression's each in their order.
  const Json record = page("PMA_CORE.storeKit");
  ASSERT_TRUE(record.is_array());
  std::vector<std::string> overlay, impression;
  for (const auto& step : record) {
    const std::string name = step["step"];
    std::string line = name;
    if (step.contains("ok")) line += step["ok"].get<bool>() ? " ok" : " failed " + step.value("errMsg", "");
    if (step.contains("overlayId")) line += " " + platform::dumpJson(step["overlayId"]);
    (name.find("Impression") != std::string::npos ? impression : overlay).push_back(line);
  }
  EXPECT_EQ(impression, (std::vector<std::string>{"startImpression ok", "endImpression ok"}));
  EXPECT_EQ(overlay, (std::vector<std::string>{"createOverlay ok", R"(overlayWillStartPresentation "ov 1")",
                                               R"(overlayDidFinishPresentation "ov 1")",
                                               R"(overlayWillStartDismissal "ov 1")",
                                               R"(overlayDidFinishDismissal "ov 1")", "removeOverlay ok"}));
  store.resetForTesting();
}

TEST_F(OwnNetworkRoadTest, BeforeALoadThePageProxiesARequestAndReadsTheDeviceAndTheToken) {
  // The page's own server: it takes the page's POST and answers with text
  // holding "+" and "%", as bodies, base64 and times do.
  server_.route("POST", "/page-server/collect", [](const RecordedRequest& request) {
    return SandboxAnswer{201, "seen " + request.body, {{"X-Time", "+02:00"}, {"Content-Type", "text/plain"}}};
  });
  Json behaviour = showThenRewardAndClose();
  behaviour["proxy"] = {{"url", server_.url("/page-server/collect")},
                        {"type", "post"},
                        {"headers", {{"X-Sig", "a+b="}}},
                        {"data", "a+b%2Fc"}};
  start(behaviour, {"QuillborneRV1", "TulvoRV2"}, {"QuillborneRV1", "TulvoRV2"});
  Quillborne::loadRewardedVideo();
  ASSERT_TRUE(driveUntilHeard("loaded", 50)) << dump();
  EXPECT_EQ(TulvoSDK::Control::shared().loadCount(TulvoSDK::AdKind::Rewarded), 0);  // the own network filled

  const auto requests = server_.requestsTo("/page-server/collect");
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].body, "a+b%2Fc");
  EXPECT_EQ(requests[0].header("X-Sig"), "a+b=");

  Json features = page("PMA_CORE.features");
  const Json& replies = features["replies"];
  ASSERT_EQ(replies.size(), 2u) << platform::dumpJson(features);
  EXPECT_EQ(replies[0]["status"], "requestStarted");
  EXPECT_EQ(replies[1]["status"], "responseReceived");
  EXPECT_EQ(replies[1]["identifier"], replies[0]["identifier"]);
  EXPECT_EQ(replies[1]["data"], "seen a+b%2Fc");
  EXPECT_EQ(replies[1]["responseParams"]["statusCode"], 201);
  EXPECT_EQ(replies[1]["responseParams"]["headers"]["X-Time"], "+02:00");
  EXPECT_EQ(features["deviceData"], Json({{"cellularNetworkType", "wifi"}}));
  EXPECT_TRUE(features["token"].is_object() && !features["token"].empty()) << platform::dumpJson(features);
}

// The page keeps the ad's creative in its file store ("fileSystemAPI") from
// the load to the close, and listens to the silent switch while the ad is
// on screen ("ringerSwitchAPI").
TEST_F(OwnNetworkRoadTest, ThePageStoresItsCreativeAndListensToTheSilentSwitchWhileTheAdIsShown) {
  addAdPage(server_);
  const std::string adPage = server_.url(kAdPagePath);
  Json behaviour = showThenRewardAndClose();
  behaviour["creative"] = adPage;
  behaviour["creativeStore"] = "fileSystemAPI";
  behaviour["ringer"] = true;
  behaviour["commands"]["showInterstitial"]["present"] = {
      {"url", adPage}, {"actions", Json::array({Json::array({"click", 1000}), Json::array({"close", 2000})})}};
  platform::SystemSounds::shared().setSilentSwitchOn(true);
  window_->setRootViewController(vc_);
  start(behaviour, {"QuillborneRV1", "TulvoRV2"}, {"QuillborneRV1", "TulvoRV2"});
  // Before the load answers: saved, listed and marked with its ad.
  Quillborne::loadRewardedVideo();
  ASSERT_TRUE(driveUntilHeard("loaded", 50)) << dump();
  const Json saved = page("PMA_CORE.store.saved");
  const std::string path = saved.value("path", "");
  const std::string root = dir_.path() + "/Library/Caches/PMACache/PMAPublisher/";
  ASSERT_EQ(path.rfind(root + "Interstitial/", 0), 0u) << saved;
  EXPECT_EQ(platform::readFile(path).valueOr(""), platform::readFile(std::string(QB_TESTS_DIR) + "/support/pages/ad_unit.html").valueOr("?"));
  EXPECT_EQ(saved["size"], platform::fileFacts(path).value().size);
  const std::string folder = path.substr(root.size(), path.rfind('/') - root.size());
  const Json marked = page("PMA_CORE.store.listed")["ad_unit.html"];
  EXPECT_EQ(marked["product"], "Interstitial") << marked;
  EXPECT_EQ(folder, "Interstitial/" + marked.value("adId", "?"));
  EXPECT_EQ(marked["lastReferencedTime"], saved["lastModified"]);
  EXPECT_FALSE(page("PMA_CORE.store.updated").contains("adId"));  // the record before the mark

  // On screen: the listener starts; its first report comes half a second
  // later; the close stops it and deletes the creative.
  Quillborne::showRewardedVideoWithViewController(vc_, "DefaultRewardedVideo");
  ASSERT_TRUE(drive([&] { return !page("PMA_CORE.ringer.heard").empty(); }, 50)) << dump();
  EXPECT_EQ(page("PMA_CORE.ringer.heard"), Json::array({true}));
  ASSERT_TRUE(driveUntilHeard("closed", 50)) << dump();
  ASSERT_TRUE(drive([&] { return page("PMA_CORE.ringer.answers").size() == 2; }, 50));
  EXPECT_EQ(page("PMA_CORE.ringer.answers"), Json::array({"started", "stopped"}));
  ASSERT_TRUE(drive([&] { return !page("PMA_CORE.store.deleted").empty(); }, 50));
  EXPECT_EQ(page("PMA_CORE.store.deleted"), Json::array({folder + "/ad_unit.html"}));
  EXPECT_FALSE(platform::fileExists(path));
  const size_t plays = platform::SystemSounds::shared().playCount();
  env_.advance(5000);
  EXPECT_EQ(platform::SystemSounds::shared().playCount(), plays);
  EXPECT_EQ(page("PMA_CORE.ringer.heard"), Json::array({true}));
}

TEST_F(OwnNetworkRoadTest, APageThatNeverAnswersTheLoadTimesOutAndTheNextNetworkFills) {
  start(Json{{"commands", {{"loadInterstitial", {{"answer", "none"}}}}}}, {"QuillborneRV1", "TulvoRV2"},
        {"QuillborneRV1", "TulvoRV2"});
  Quillborne::loadRewardedVideo();
  ASSERT_TRUE(driveUntilHeard("loaded", 50)) << dump();
  EXPECT_GE(TulvoSDK::Control::shared().loadCount(TulvoSDK::AdKind::Rewarded), 1);
  Quillborne::showRewardedVideoWithViewController(vc_, "DefaultRewardedVideo");
  ASSERT_TRUE(driveUntilHeard("closed", 50)) << dump();
}

// A page whose handler fails on one rewarded video's load (it throws, and
// answers nothing) and answers every later one. That load times out; the
// application's next load waits for the lost answer at most
// QBNLoadLedger::kOwedAnswerWaitMs, well within its own time-out, and the
// page fills it; after the show, the load after it goes at once.
TEST_F(OwnNetworkRoadTest, ALoadThePageNeverAnswersCostsTheRewardedVideoOnlyThatLoad) {
  Json configuration = config_->configuration();
  configuration["configurations"]["rewardedVideo"]["adapterTimeOutInSeconds"] = 10;
  configuration["configurations"]["rewardedVideo"]["delayLoadFailureNotificationInSeconds"] = 0;
  configuration["configurations"]["application"]["auction"]["minTimeBeforeFirstRvAuctionMs"] = 0;
  configuration["configurations"]["application"]["auction"]["minTimeBeforeRvAuctionMs"] = 0;
  configuration["providerOrder"]["rewardedVideo"] = Json::array({"QuillborneRV1"});
  config_->setConfiguration(configuration);
  Json behaviour = showThenRewardAndClose();
  behaviour["commands"]["loadInterstitial"] = {{"answer", "throw"}, {"errMsg", "the handler failed"}};
  addControllerPage(server_, behaviour);
  auction_->setDefaultAnswer(AuctionAnswer::withPayload(SandboxAuction::waterfallPayload("auc-lost", {"QuillborneRV1"})));
  // The loads that go to the page, as the channel evaluates them.
  auto sent = std::make_shared<std::atomic<int>>(0);
  QBNControllerAPIDispatcher::setEvaluationObserverForTesting([sent](const std::string& line) {
    if (line.find("(`loadInterstitial?") != std::string::npos) ++*sent;
  });
  struct ObserverReset {
    ~ObserverReset() { QBNControllerAPIDispatcher::setEvaluationObserverForTesting(nullptr); }
  } observerReset;
  Quillborne::setRewardedVideoManualDelegate(listener_);
  Quillborne::initWithAppKey(kAppKey, std::vector<std::string>{"rewardedvideo"});
  ASSERT_TRUE(runUntilState(QBSdkState::SDK_INITIATED));
  const auto outcomes = [this] {
    auto lines = listener_->lines();
    std::erase_if(lines, [](const std::string& line) { return line == "available" || line == "unavailable"; });
    return lines;
  };

  Quillborne::loadRewardedVideo();
  ASSERT_TRUE(drive([&] { return outcomes().size() == 1; }, 50)) << dump();
  ASSERT_EQ(outcomes()[0].rfind("loadFailed ", 0), 0u) << dump();
  ASSERT_EQ(sent->load(), 1);
  page("PMA_SANDBOX.commands.loadInterstitial = {}, true");

  // The next load reaches the page once its wait is over; with the clock
  // held from then on, the page fills it.
  const int64_t asked = platform::nowMonotonicMs();
  Quillborne::loadRewardedVideo();
  ASSERT_TRUE(drive([&] { return sent->load() == 2; })) << dump();
  EXPECT_LE(platform::nowMonotonicMs() - asked, QBNLoadLedger::kOwedAnswerWaitMs);
  ASSERT_TRUE(env_.runUntil([&] { return outcomes().size() == 2; })) << dump();
  EXPECT_EQ(outcomes()[1], "loaded") << dump();

  Quillborne::showRewardedVideoWithViewController(vc_, "DefaultRewardedVideo");
  ASSERT_TRUE(driveUntilHeard("closed", 50)) << dump();
  Quillborne::loadRewardedVideo();
  ASSERT_TRUE(drive([&] { return sent->load() == 3; })) << dump();
  ASSERT_TRUE(env_.runUntil([&] { return outcomes().size() == 6; })) << dump();
  const auto heard = outcomes();
  EXPECT_EQ(std::vector<std::string>(heard.begin() + 1, heard.end()),
            (std::vector<std::string>{"loaded", "opened", "reward DefaultRewardedVideo 10", "closed", "loaded"}))
      << dump();
}

// A rewarded video or an interstitial whose own-network load timed out, and
// which the page answers late, meets the application's next load at once.
// The page's answers name only the demand source: the next load waits until
// the page has answered the load it owes, whose answer is dropped, and then
// hears its own answer, the other way.
struct LateLoadCase {
  const char* name;
  bool interstitial;
  bool lateSuccess;  // the late answer: a fill (else a no-fill)
};

class OwnNetworkLateAnswerTest : public OwnNetworkRoadTest, public ::testing::WithParamInterface<LateLoadCase> {
 protected:
  static Json answer(bool success, int delayMs) {
    Json how{{"delayMs", delayMs}};
    if (!success) how.update(Json{{"answer", "fail"}, {"errCode", "1010"}, {"errMsg", "No fill"}});
    return how;
  }
  // The outcomes the application heard (availability left out).
  std::vector<std::string> outcomes() const {
    auto lines = listener_->lines();
    std::erase_if(lines, [](const std::string& line) { return line == "available" || line == "unavailable"; });
    return lines;
  }
  bool isFailure(const std::string& line) const {
    return line.rfind(GetParam().interstitial ? "is loadFailed " : "loadFailed ", 0) == 0;
  }
  static void load(bool interstitial) {
    if (interstitial) {
      Quillborne::loadInterstitial();
    } else {
      Quillborne::loadRewardedVideo();
    }
  }
};

TEST_P(OwnNetworkLateAnswerTest, TheNextLoadHearsItsOwnAnswer) {
  const LateLoadCase c = GetParam();
  const std::string unit = c.interstitial ? "interstitial" : "rewardedVideo";
  const std::string instance = c.interstitial ? "QuillborneIS1" : "QuillborneRV1";
  // The instance's load times out after 1 s; the page answers it at 1.3 s.
  Json configuration = config_->configuration();
  configuration["configurations"][unit]["adapterTimeOutInSeconds"] = 1;
  configuration["configurations"][unit]["delayLoadFailureNotificationInSeconds"] = 0;
  configuration["configurations"]["application"]["auction"]["minTimeBeforeFirstRvAuctionMs"] = 0;
  configuration["configurations"]["application"]["auction"]["minTimeBeforeRvAuctionMs"] = 0;
  configuration["providerOrder"][unit] = Json::array({instance});
  config_->setConfiguration(configuration);
  addControllerPage(server_, Json{{"commands", {{"loadInterstitial", answer(c.lateSuccess, 1300)}}}});
  auction_->setDefaultAnswer(AuctionAnswer::withPayload(SandboxAuction::waterfallPayload("auc-late", {instance})));
  if (c.interstitial) {
    Quillborne::setInterstitialDelegate(listener_);
  } else {
    Quillborne::setRewardedVideoManualDelegate(listener_);
  }
  Quillborne::initWithAppKey(kAppKey, std::vector<std::string>{c.interstitial ? "interstitial" : "rewardedvideo"});
  ASSERT_TRUE(runUntilState(QBSdkState::SDK_INITIATED));

  load(c.interstitial);
  ASSERT_TRUE(drive([&] { return outcomes().size() == 1; }, 50)) << dump();
  ASSERT_TRUE(isFailure(outcomes()[0])) << dump();

  // At once, the next load; the page answers it the other way 0.3 s after it
  // receives it.
  page("PMA_SANDBOX.commands.loadInterstitial = " + answer(!c.lateSuccess, 300).dump() + ", true");
  load(c.interstitial);
  ASSERT_TRUE(drive([&] { return outcomes().size() == 2; }, 50)) << dump();
  settle(2000);
  ASSERT_EQ(outcomes().size(), 2u) << dump();
  if (c.lateSuccess) {
    EXPECT_TRUE(isFailure(outcomes()[1])) << dump();
  } else {
    EXPECT_EQ(outcomes()[1], c.interstitial ? "is loaded" : "loaded") << dump();
  }
  // Two loads reached the page, the second only after the page had answered
  // the first.
  const Json loads = page("PMA_CORE.received.filter(function (c) { return c.name === 'loadInterstitial'; }).length");
  EXPECT_EQ(loads, Json(2));
}

INSTANTIATE_TEST_SUITE_P(RewardedVideoAndInterstitial, OwnNetworkLateAnswerTest,
                         ::testing::Values(LateLoadCase{"RewardedVideoLateFailure", false, false},
                                           LateLoadCase{"RewardedVideoLateSuccess", false, true},
                                           LateLoadCase{"InterstitialLateFailure", true, false},
                                           LateLoadCase{"InterstitialLateSuccess", true, true}),
                         [](const ::testing::TestParamInfo<LateLoadCase>& info) { return info.param.name; });

// Load while show with an own-network ad on screen. The auction request
// leaves the own network's instances out while one of its ads shows, but a
// server need not honour that (a cached waterfall, a second own instance):
// the next ad then loads through the own network during the show, the same
// instance as the one on screen or another one.
struct LoadWhileShowCase {
  const char* answered;   // what the server answers while the own network shows
  bool answerAfterClose;  // the page answers that load only once the shown ad closed
};

class OwnNetworkLoadWhileShowTest : public OwnNetworkRoadTest,
                                    public ::testing::WithParamInterface<LoadWhileShowCase> {
 protected:
  size_t heard(const std::string& line) const {
    const auto lines = listener_->lines();
    return static_cast<size_t>(std::count(lines.begin(), lines.end(), line));
  }
  // The ad page of the shown ad on screen, loaded.
  bool adOnScreen(const std::string& adPage) const {
    auto shown = std::dynamic_pointer_cast<QBNProductViewController>(vc_->presentedViewController());
    auto adView = shown ? webViewIn(shown->view()) : nullptr;
    return adView && adView->url() == adPage && !adView->isLoading();
  }
  // The page's last call named `name` ({name, params, success, fail}).
  Json lastCall(const std::string& name) {
    return page("PMA_CORE.received.filter(function (c) { return c.name === '" + name + "'; }).pop() || null");
  }
  size_t pageLoads() {
    return page("PMA_CORE.received.filter(function (c) { return c.name === 'loadInterstitial'; }).length").get<size_t>();
  }
  void tellShownAd(const std::string& action) { page("PMA_CORE.tellShownAd('" + action + "'), true"); }
};

TEST_P(OwnNetworkLoadWhileShowTest, TheShownAdClosesOnceAndTheNextAdShows) {
  const LoadWhileShowCase c = GetParam();
  addAdPage(server_);
  const std::string adPage = server_.url(kAdPagePath);
  Json behaviour = showThenRewardAndClose();
  // The ad page stays on screen until the test has it click and close.
  behaviour["commands"]["showInterstitial"]["present"] = {{"url", adPage}, {"actions", Json::array()}};
  Json configuration = config_->configuration();
  configuration["configurations"]["application"]["auction"]["isLoadWhileShow"] = true;
  config_->setConfiguration(configuration);
  // The server answers QuillborneRV1 while the request offers it, and
  // `answered` once the request leaves the own network out.
  auto auctions = std::make_shared<std::atomic<int>>(0);
  const std::string answered = c.answered;
  auction_->setAnswerer([auctions, answered](const DecodedAuctionRequest& request) {
    bool offered = false;
    for (const auto& instance : request.json ? request.json->value("instances", Json::array()) : Json::array()) {
      offered = offered || instance.value("instance", "") == "QuillborneRV1";
    }
    const std::string id = "auc-" + std::to_string(++*auctions);
    return AuctionAnswer::withPayload(SandboxAuction::waterfallPayload(id, {offered ? "QuillborneRV1" : answered}));
  });
  window_->setRootViewController(vc_);
  start(behaviour, {"QuillborneRV1", "QuillborneRV2", "TulvoRV2"}, {}, false);
  ASSERT_TRUE(driveUntilHeard("available", 50)) << dump();
  if (c.answerAfterClose) page("PMA_SANDBOX.commands.loadInterstitial = {answer: 'none'}, true");

  // The show; the manager's reload reaches the page while the ad is on
  // screen, from an auction that offered no own instance.
  Quillborne::showRewardedVideoWithViewController(vc_, "DefaultRewardedVideo");
  ASSERT_TRUE(drive([&] { return adOnScreen(adPage); }, 50)) << dump();
  ASSERT_TRUE(drive([&] { return pageLoads() == 2; }, 50)) << dump();
  ASSERT_EQ(auction_->requestCount(), 2u);
  const Json offered = auction_->requests()[1].json.value_or(Json())["instances"];
  ASSERT_EQ(offered.size(), 1u) << offered;
  EXPECT_EQ(offered[0]["instance"], "TulvoRV2");
  EXPECT_EQ(lastCall("loadInterstitial")["params"]["demandSourceName"], answered);
  if (!c.answerAfterClose) {
    ASSERT_TRUE(drive([&] { return heard("available") == 2; }, 50)) << dump();
  }

  // The shown ad's click, credit and close reach the application once each,
  // for the shown ad's placement.
  tellShownAd("click");
  ASSERT_TRUE(driveUntilHeard("clicked DefaultRewardedVideo", 50)) << dump();
  tellShownAd("close");
  ASSERT_TRUE(driveUntilHeard("closed", 50)) << dump();
  if (c.answerAfterClose) {
    page("(function () {"
         "  var load = PMA_CORE.received.filter(function (c) { return c.name === 'loadInterstitial'; }).pop();"
         "  PMA_CORE.send(load.success, {demandSourceName: load.params.demandSourceName,"
         "                               demandSourceId: load.params.demandSourceId,"
         "                               productType: load.params.productType});"
         "  PMA_SANDBOX.commands.loadInterstitial = {};"
         "  return true;"
         "})()");
    ASSERT_TRUE(drive([&] { return heard("available") == 2; }, 50)) << dump();
  }
  env_.runUntilIdle();
  const std::vector<std::string> during{"available", "opened", "unavailable", "available",
                                        "clicked DefaultRewardedVideo", "reward DefaultRewardedVideo 10", "closed"};
  const std::vector<std::string> afterClose{"available", "opened", "unavailable", "clicked DefaultRewardedVideo",
                                            "reward DefaultRewardedVideo 10", "closed", "available"};
  EXPECT_EQ(listener_->lines(), c.answerAfterClose ? afterClose : during) << dump();
  EXPECT_EQ(vc_->presentedViewController(), nullptr);
  EXPECT_TRUE(Quillborne::hasRewardedVideo());

  // The next ad is the instance the server answered with; it shows, credits
  // and closes as well.
  const size_t before = listener_->lines().size();
  Quillborne::showRewardedVideoWithViewController(vc_, "DefaultRewardedVideo");
  ASSERT_TRUE(drive([&] { return adOnScreen(adPage); }, 50)) << dump();
  EXPECT_EQ(lastCall("showInterstitial")["params"]["demandSourceName"], answered);
  tellShownAd("close");
  ASSERT_TRUE(drive([&] { return heard("closed") == 2; }, 50)) << dump();
  env_.runUntilIdle();
  const auto lines = listener_->lines();
  std::vector<std::string> next(lines.begin() + static_cast<std::ptrdiff_t>(before), lines.end());
  std::erase_if(next, [](const std::string& line) { return line == "available" || line == "unavailable"; });
  EXPECT_EQ(next, (std::vector<std::string>{"opened", "reward DefaultRewardedVideo 10", "closed"})) << dump();
  EXPECT_EQ(vc_->presentedViewController(), nullptr);
}

INSTANTIATE_TEST_SUITE_P(SameAndOtherInstance, OwnNetworkLoadWhileShowTest,
                         ::testing::Values(LoadWhileShowCase{"QuillborneRV1", false},
                                           LoadWhileShowCase{"QuillborneRV1", true},
                                           LoadWhileShowCase{"QuillborneRV2", false},
                                           LoadWhileShowCase{"QuillborneRV2", true}),
                         [](const ::testing::TestParamInfo<LoadWhileShowCase>& info) {
                           return std::string(info.param.answered == std::string("QuillborneRV1") ? "Same" : "Other") +
                                  (info.param.answerAfterClose ? "AnsweredAfterTheClose" : "AnsweredDuringTheShow");
                         });

}  // namespace
}  // namespace qbtest
