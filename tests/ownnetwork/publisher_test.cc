// The publisher against the sandbox's controller page in a real web view:
// creation, the page's URLs, the product road from a load to the listener.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <thread>

#include "ownnetwork/api/QuillborneAdInstance.h"
#include "ownnetwork/controller/QBNNativeController.h"
#include "ownnetwork/publisher_test_support.h"
#include "ownnetwork/services/QBNProductType.h"

namespace qbtest {
namespace {

using handlertest::RecordingAdListener;
using handlertest::RecordingProductListener;
using platform::Json;

// Index of the first `name`; names.size() when none.
size_t indexOf(const std::vector<std::string>& names, const std::string& name) {
  return static_cast<size_t>(std::find(names.begin(), names.end(), name) - names.begin());
}

TEST_F(PublisherTest, EightThreadsRacingCreationMakeOnePublisherAndOneController) {
  addControllerPage(server);
  PlovermarkAdsPublisher::setControllerURL(server.url(kControllerPagePath));
  std::vector<std::shared_ptr<PlovermarkAdsPublisher>> made(8);
  std::vector<std::thread> threads;
  for (size_t i = 0; i < made.size(); ++i) {
    threads.emplace_back([&made, i] {
      made[i] = PlovermarkAdsPublisher::sharedInstanceWithApplicationKey("key" + std::to_string(i), "user", std::nullopt);
    });
  }
  for (auto& t : threads) t.join();
  publisher = made[0];
  for (const auto& p : made) EXPECT_EQ(p, publisher);
  ASSERT_TRUE(env.runUntil([this] { return state() == QBNControllerState::Ready; }));
  EXPECT_EQ(server.requestsTo(kControllerPagePath).size(), 1u);
  EXPECT_EQ(PlovermarkAdsPublisher::sharedInstanceWithApplicationKey("other", "other", std::nullopt), publisher);
  EXPECT_TRUE(publisher->getApplicationKey()->rfind("key", 0) == 0);
}

// The same race without a page (no script engine runs), for the
// thread-sanitizer build.
TEST_F(PublisherTest, EightThreadsRacingCreationWithoutAPage) {
  PlovermarkAdsPublisher::setControllerConfig(R"({"minOSVersionSupport":"99.0"})");
  std::vector<std::shared_ptr<PlovermarkAdsPublisher>> made(8);
  std::vector<std::thread> threads;
  for (size_t i = 0; i < made.size(); ++i) {
    threads.emplace_back([&made, i] { made[i] = PlovermarkAdsPublisher::sharedInstance(); });
  }
  for (auto& t : threads) t.join();
  publisher = made[0];
  for (const auto& p : made) EXPECT_EQ(p, publisher);
  env.runUntilIdle();
  EXPECT_TRUE(std::dynamic_pointer_cast<QBNNativeController>(publisher->concreteControllerManager()->controller()));
}

TEST_F(PublisherTest, CreationMakesTheHiddenWebViewOnMainAndCountsExternalAdViews) {
  start();
  auto webView = publisher->webViewController();
  ASSERT_TRUE(webView);
  EXPECT_EQ(webView->messageHandlerName(), "plovermarkMainMsgHandler");
  EXPECT_FALSE(webView->view()->isOpaque());
  EXPECT_EQ(webView->view()->autoresizingMask(), 63u);
  EXPECT_EQ(webView->view()->frame().size.width, platform::Screen::main().bounds().size.width);
  publisher->setExternalAdViewDemandSourceName("ext");
  EXPECT_EQ(publisher->getExternalAdViewIdAndIncreaseAdViewCounter(), "ext_0");
  EXPECT_EQ(publisher->getExternalAdViewIdAndIncreaseAdViewCounter(), "ext_1");
  EXPECT_FALSE(publisher->isOneToken());
  PlovermarkAdsPublisher::setControllerConfig("not json");
  EXPECT_FALSE(publisher->isOneToken());
  PlovermarkAdsPublisher::setControllerConfig(R"({"oneToken":true})");
  EXPECT_TRUE(publisher->isOneToken());
}

TEST_F(PublisherTest, UnsupportedOSStillCreatesTheControllerButObservesNothing) {
  PlovermarkAdsPublisher::setControllerConfig(R"({"minOSVersionSupport":"99.0"})");
  publisher = PlovermarkAdsPublisher::sharedInstance();
  env.runUntilIdle();
  EXPECT_FALSE(publisher->isFullyCreated());
  EXPECT_FALSE(publisher->webViewController());
  EXPECT_TRUE(std::dynamic_pointer_cast<QBNNativeController>(publisher->concreteControllerManager()->controller()));
  EXPECT_EQ(PMEReachabilityManager::sharedManager()->delegateCountForTesting(), 0u);
  EXPECT_FALSE(publisher->getApplicationKey());
}

// ------------------------------------------------------------------ URLs

TEST_F(PublisherTest, CommandIsAcknowledgedBeforeItIsDispatched) {
  start();
  const size_t before = lines().size();
  EXPECT_FALSE(message("plovermarkads://setNativeConfiguration?acknowledgeWith=ack&success=s"));
  env.runUntilIdle();
  const auto all = lines();
  const std::vector<std::string> sent(all.begin() + static_cast<std::ptrdiff_t>(before), all.end());
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_EQ(sent[0],
            "PMA_CORE.SDKController.runFunction(`ack?parameters={\"message\":\"setNativeConfiguration%3F"
            "acknowledgeWith%3Dack%26success%3Ds\"}`)");
  EXPECT_EQ(sent[1], "PMA_CORE.SDKController.runFunction(`s`)");
  // Without a function to receive it no acknowledgement goes out.
  EXPECT_FALSE(message("plovermarkads://setNativeConfiguration?success=t"));
  env.runUntilIdle();
  EXPECT_EQ(lines().size(), before + 3);
}

TEST_F(PublisherTest, ControllerPageRuleAndOtherForms) {
  start();
  platform::URLRequest nav;
  nav.url = "https://elsewhere.example/x";
  // Ready: links (0), forms (1) and main-frame loads are refused; a sub-frame
  // reload (3) and script messages (-1) are not.
  for (int type : {0, 1}) EXPECT_FALSE(publisher->handleControllerCallback(nav, type)) << type;
  EXPECT_TRUE(publisher->handleControllerCallback(nav, 3));
  nav.mainDocumentURL = nav.url;
  EXPECT_FALSE(publisher->handleControllerCallback(nav, 3));
  publisher->concreteControllerManager()->setControllerState(QBNControllerState::Loaded);
  EXPECT_TRUE(publisher->handleControllerCallback(nav, 0));
  publisher->concreteControllerManager()->setControllerState(QBNControllerState::Ready);

  const size_t openedBefore = platform::Application::shared().openURLRequests().size();
  EXPECT_FALSE(message("TEL:+4930123"));
  EXPECT_FALSE(message("safarihttps://x.com/a?u=https://y.com"));
  EXPECT_FALSE(message("SafariHttp://Host.example/P"));
  EXPECT_FALSE(message("mailto:Someone@Example.com"));
  EXPECT_TRUE(message("https://plain.example/"));
  env.runUntilIdle();
  std::vector<std::string> opened;
  const auto requests = platform::Application::shared().openURLRequests();
  for (size_t i = openedBefore; i < requests.size(); ++i) opened.push_back(requests[i].url);
  EXPECT_EQ(opened, (std::vector<std::string>{"tel:+4930123", "https://x.com/a?u=https://y.com",
                                               "Http://Host.example/P", "mailto:Someone@Example.com"}));
}

// For each address the page asks to open outside the application, the page
// hears its kind through PMA_CORE.Msg.Ios.endMessage, in order; an ordinary
// load tells it nothing.
TEST_F(PublisherTest, ThePageHearsTheKindOfEachAddressOpenedOutside) {
  start();
  for (const char* url : {"TEL:+4930123", "safarihttps://x.com/a?u=https://y.com", "SafariHttp://Host.example/P",
                          "mailto:Someone@Example.com", "https://plain.example/"}) {
    message(url);
  }
  env.runUntilIdle();
  EXPECT_EQ(page("PMA_CORE.Msg.Ios.ended"), Json::array({"tel", "safarihttps", "safarihttp", "mailto"}));
}

TEST_F(PublisherTest, CheckInstalledAppsAnswersOnlyAListOfTexts) {
  start();
  struct Case {
    std::string query;
    std::string answer;
  };
  const Case cases[] = {
      {"appIds=%5B%22a%22%5D&success=ok&fail=no", "no?parameters={\"errorMsg\":\"requestId%20is%20null%20or%20empty"},
      {"requestId=r1&success=ok&fail=no", "no?parameters={\"errorMsg\":\"appIds%20is%20null%20or%20empty"},
      {"requestId=r1&appIds=%7B&success=ok&fail=no", "failed%20to%20parse%20application%20url%20schemes%3A%0A%5B"},
      {"requestId=r1&appIds=%22a%22&success=ok&fail=no", "schemes%3A%0Athe%20application%20list%20is%20not%20an"},
      {"requestId=r1&appIds=%5B1%2C2%5D&success=ok&fail=no", "schemes%3A%0Athe%20application%20list%20is%20not%20an"},
      {"requestId=r1&appIds=%5B%22a%22%2C%22b%22%5D&success=ok&fail=no",
       R"(ok?parameters={"result":{"a":{"isInstalled":false},"b":{"isInstalled":false}},"requestId":"r1"})"},
  };
  for (const auto& c : cases) {
    const size_t before = lines().size();
    publisher->handlePlovermarkCallbackWithCommand("checkInstalledApps", c.query, std::nullopt);
    env.runUntilIdle();
    ASSERT_EQ(lines().size(), before + 1) << c.query;
    EXPECT_NE(lines().back().find(c.answer), std::string::npos) << lines().back();
  }
}

// ------------------------------------------------------------------ the product road

struct Road {
  std::shared_ptr<RecordingAdListener> listener = std::make_shared<RecordingAdListener>();
  std::shared_ptr<QuillborneAdInstance> instance;
};

Road interstitial(const std::string& name, bool rewarded = false) {
  Road road;
  road.instance = QuillborneAdInstanceBuilder(name, road.listener).setRewarded(rewarded).build();
  return road;
}

TEST_F(PublisherTest, FirstLoadInitialisesThenLoadsAndTheListenerHearsOnMain) {
  start();
  auto road = interstitial("is1", true);
  publisher->loadAdWithAdInstance(road.instance, Json{{"isOneFlow", true}});
  ASSERT_TRUE(env.runUntil([&] { return !road.listener->lines.empty(); }));
  env.runUntilIdle();
  const auto received = pageReceived();
  EXPECT_LT(indexOf(received, "initInterstitial"), indexOf(received, "loadInterstitial"));
  EXPECT_LT(indexOf(received, "loadInterstitial"), received.size());
  ASSERT_EQ(road.listener->lines.size(), 1u);
  EXPECT_EQ(road.listener->lines[0].rfind("loaded ", 0), 0u);
  EXPECT_TRUE(road.listener->onMain[0]);
  EXPECT_TRUE(road.instance->isInitialized());
  EXPECT_TRUE(publisher->isAdAvailableForAdInstance(road.instance));

  publisher->showAdWithAdInstance(road.instance, nullptr, Json::object());
  ASSERT_TRUE(env.runUntil([&] { return road.listener->lines.size() >= 3; }));
  env.runUntilIdle();
  EXPECT_EQ(road.listener->lines[1].rfind("opened ", 0), 0u);
  EXPECT_EQ(road.listener->lines[2].rfind("showSuccess ", 0), 0u);
  EXPECT_FALSE(publisher->isAdAvailableForAdInstance(road.instance));

  // A second load goes straight to the page.
  const size_t inits = pageReceived().size();
  publisher->loadAdWithAdInstance(road.instance, Json::object());
  ASSERT_TRUE(env.runUntil([&] { return road.listener->lines.size() >= 4; }));
  env.runUntilIdle();
  const auto after = pageReceived();
  EXPECT_EQ(std::count(after.begin() + static_cast<std::ptrdiff_t>(inits), after.end(), "initInterstitial"), 0);
}

TEST_F(PublisherTest, NoFillReachesTheListenerDecoded) {
  start(Json{{"commands", {{"loadInterstitial", {{"answer", "fail"}, {"errCode", "1010"}, {"errMsg", "No fill"}}}}}});
  PlovermarkLogManager::sharedManager().setRequiredDebugMode(3);
  auto road = interstitial("is2");
  publisher->loadAdWithAdInstance(road.instance, Json::object());
  ASSERT_TRUE(env.runUntil([&] { return !road.listener->lines.empty(); }));
  EXPECT_EQ(road.listener->lines[0].rfind("failedToLoad No fill ", 0), 0u) << road.listener->lines[0];
  EXPECT_TRUE(console.contains("No fill: Error in Load Interstitial"));
  EXPECT_FALSE(publisher->isAdAvailableForAdInstance(road.instance));
}

TEST_F(PublisherTest, PageReportsRewardAndCloseAfterTheShow) {
  QBNPresentationServicesP::registerSharedInstance(std::make_shared<handlertest::FakeServices>());
  start(Json{{"commands",
              {{"showInterstitial",
                {{"then", Json::array({Json::array({"adCredited", {{"credits", "5"}, {"productType", "Interstitial"}}}),
                                       Json::array({"onAdWindowsClosed", {{"productType", "Interstitial"}}})})}}}}}});
  auto road = interstitial("rv1", true);
  publisher->loadAdWithAdInstance(road.instance, Json::object());
  ASSERT_TRUE(env.runUntil([&] { return !road.listener->lines.empty(); }));
  publisher->showAdWithAdInstance(road.instance, nullptr, Json::object());
  ASSERT_TRUE(env.runUntil([&] { return road.listener->lines.size() >= 5; }));
  env.runUntilIdle();
  QBNPresentationServicesP::registerSharedInstance(nullptr);
  ASSERT_EQ(road.listener->lines.size(), 5u);
  EXPECT_EQ(road.listener->lines[3].rfind("rewarded ", 0), 0u) << road.listener->lines[3];
  EXPECT_EQ(road.listener->lines[4].rfind("closed ", 0), 0u) << road.listener->lines[4];
}

TEST_F(PublisherTest, ShowOfAnInstanceNeverLoadedReportsAFailure) {
  start();
  auto road = interstitial("is3");
  const size_t before = pageReceived().size();
  publisher->showAdWithAdInstance(road.instance, nullptr, Json::object());
  env.runUntilIdle();
  ASSERT_EQ(road.listener->lines.size(), 1u);
  EXPECT_EQ(road.listener->lines[0].rfind("failedToShow ", 0), 0u);
  EXPECT_EQ(pageReceived().size(), before);
}

TEST_F(PublisherTest, PageDyingMidLoadLeavesNoListenerWaiting) {
  start(Json{{"commands", {{"loadInterstitial", {{"answer", "none"}}}}}});
  QBNFeaturesManager::sharedManager().updateSupplyConfigurations(
      Json{{"networkConfig", {{"handleWebViewTerminated", true}}}});
  auto road = interstitial("is4");
  publisher->loadAdWithAdInstance(road.instance, Json::object());
  env.runUntilIdle();
  EXPECT_TRUE(road.listener->lines.empty());
  publisher->concreteControllerManager()->handleWebViewTerminated();
  // The fallback answers what comes from now on.
  publisher->loadAdWithAdInstance(road.instance, Json::object());
  ASSERT_TRUE(env.runUntil([&] { return !road.listener->lines.empty(); }));
  EXPECT_NE(road.listener->lines.back().find("failedToLoad"), std::string::npos);
}

TEST_F(PublisherTest, DestroyedBannerLeavesTheCollection) {
  start(Json{{"commands", {{"loadBanner", {{"answer", "none"}}}}}});
  auto listener = std::make_shared<RecordingAdListener>();
  auto banner = QuillborneAdInstanceBuilder("bn", listener).setSize(std::make_shared<QBNAdSize>("BANNER", 320, 50)).build();
  publisher->loadAdWithAdInstance(banner, Json::object());
  env.runUntilIdle();
  auto& banners = PMADemandSourcesCollection::sharedInstance().bannerDemandSources();
  EXPECT_EQ(banners.count(), 1u);
  publisher->destroyAdWithAdInstance(banner);
  env.runUntilIdle();
  EXPECT_EQ(banners.count(), 0u);
  const auto names = pageReceived();
  EXPECT_NE(std::find(names.begin(), names.end(), "destroyBanner"), names.end());
}

TEST_F(PublisherTest, BannerLoadAnswerWithoutItsContainerIsALoadFailure) {
  start();  // no ad view is registered under the page's "adViewId"
  auto listener = std::make_shared<RecordingAdListener>();
  auto banner = QuillborneAdInstanceBuilder("bn2", listener).setSize(std::make_shared<QBNAdSize>("BANNER", 320, 50)).build();
  publisher->loadAdWithAdInstance(banner, Json::object());
  ASSERT_TRUE(env.runUntil([&] { return !listener->lines.empty(); }));
  EXPECT_EQ(listener->lines[0].rfind("failedToLoad loaded banner has no ad container ", 0), 0u) << listener->lines[0];
  EXPECT_FALSE(publisher->isAdAvailableForAdInstance(banner));
}

size_t countOf(const std::vector<std::string>& names, const std::string& name) {
  return static_cast<size_t>(std::count(names.begin(), names.end(), name));
}

TEST_F(PublisherTest, NoticesReachThePageOnlyWhenItCanHearThem) {
  start();
  const auto before = pageReceived();
  auto& center = platform::NotificationCenter::defaultCenter();
  center.post(platform::kUIApplicationDidBecomeActiveNotification);
  center.post(platform::kUIApplicationWillResignActiveNotification);
  center.post(platform::kAVAudioSessionRouteChangeNotification, Json{{"AVAudioSessionRouteChangeReasonKey", 2}});
  env.runUntilIdle();
  const auto after = pageReceived();
  // Nothing is on screen: becoming active sends no "viewableChange".
  EXPECT_EQ(countOf(after, "enterForeground") - countOf(before, "enterForeground"), 2u);
  EXPECT_EQ(countOf(after, "viewableChange") - countOf(before, "viewableChange"), 1u);
  EXPECT_EQ(page("PMA_CORE.received[PMA_CORE.received.length - 1].params"), (Json{{"earphonesConnected", "false"}}));
  // A network change while the page is not ready is not sent, nor later.
  publisher->concreteControllerManager()->setControllerState(QBNControllerState::Loaded);
  publisher->reachabilityChanged(PMEReachabilityManager::sharedManager()->getReachabilityObject());
  publisher->concreteControllerManager()->setControllerState(QBNControllerState::Ready);
  env.runUntilIdle();
  EXPECT_EQ(countOf(pageReceived(), "deviceStatusChanged"), countOf(after, "deviceStatusChanged"));
}

TEST_F(PublisherTest, ProductInitValidation) {
  start();
  auto listener = std::make_shared<RecordingProductListener>();
  struct Case {
    std::optional<std::string> key;
    bool withListener;
    const char* heard;
  };
  const Case cases[] = {
      {"appkey1", true, nullptr},
      {"", true, "rvInitFailed Missing credentials and/or delegate, Please provide an ApplicationID, a UserID and a delegate"},
      {std::nullopt, true, "rvInitFailed Missing credentials"},
      {"appkey1", false, nullptr},  // nobody to tell
  };
  for (const auto& c : cases) {
    listener->lines.clear();
    std::weak_ptr<QBNProductDelegate> delegate;
    if (c.withListener) delegate = listener;
    publisher->initRewardedVideoWithApplicationKey(c.key, "user1", "rv", delegate, std::nullopt);
    env.runUntilIdle();
    if (c.heard) {
      ASSERT_FALSE(listener->lines.empty());
      EXPECT_EQ(listener->lines[0].rfind(c.heard, 0), 0u) << listener->lines[0];
    } else if (c.withListener) {
      // The page answers init and then "adUnitsReady".
      ASSERT_TRUE(env.runUntil([&] { return !listener->lines.empty(); }));
      EXPECT_EQ(listener->lines[0].rfind("rvUpdateAdUnits", 0), 0u) << listener->lines[0];
    }
  }
}

TEST_F(PublisherTest, FailedControllerLeavesTheInstanceUninitialisedUntilItsInitGoesOut) {
  start();
  auto listener = std::make_shared<RecordingAdListener>();
  auto instance = QuillborneAdInstanceBuilder("is9", listener).build();
  publisher->concreteControllerManager()->setControllerState(QBNControllerState::Failed);
  publisher->loadAdWithAdInstance(instance, Json::object());
  EXPECT_FALSE(instance->isInitialized());
  EXPECT_EQ(PMADemandSourcesCollection::sharedInstance().demandSourceForProductType(1, instance->identifier())->initState(),
            PMADemandSourceInitState::InitFailed);
  // The page comes back: what waited goes out.
  publisher->handlePlovermarkCallbackWithCommand("initController", "stage=ready", std::nullopt);
  env.runUntilIdle();
  listener->lines.clear();
  const size_t before = countOf(pageReceived(), "initInterstitial");
  publisher->loadAdWithAdInstance(instance, Json::object());
  ASSERT_TRUE(env.runUntil([&] { return !listener->lines.empty(); }));
  env.runUntilIdle();
  EXPECT_TRUE(instance->isInitialized());
  EXPECT_EQ(countOf(pageReceived(), "initInterstitial"), before + 1);
}

}  // namespace
}  // namespace qbtest
