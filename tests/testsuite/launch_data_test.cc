// The test suite's page data, its events and its view controller, with the
// SDK side played by a recording stand-in: the data's consent, coppa and
// metadata rules, the error events' extra keys, the presentation's refusal,
// the dismissal guard and the close in its order.
#include "adapters/QBAdapterRepository.h"
#include "core/QuillborneObjectPublisherDataHolder.h"
#include "events/QBBannerDelegateWrapper.h"
#include "suite_support.h"
#include "testsuite/QBTestSuiteEventsManager.h"
#include "testsuite/QBTestSuiteHandler.h"

namespace {

using platform::Json;
using Strings = std::vector<std::string>;

class NoBannerCallbacks : public TidewheelBannerDelegate {
 public:
  void didLoad(std::shared_ptr<QBBannerView>, const QBAdInfo&) override {}
  void didFailToLoadWithError(const QBError&) override {}
  void didClickWithAdInfo(const QBAdInfo&) override {}
  void didLeaveApplicationWithAdInfo(const QBAdInfo&) override {}
  void didPresentScreenWithAdInfo(const QBAdInfo&) override {}
  void didDismissScreenWithAdInfo(const QBAdInfo&) override {}
};

class TestSuiteDataTest : public qbtest::SuiteTest {};

TEST_F(TestSuiteDataTest, PageDataFollowsConsentCoppaAndMetadataRules) {
  struct Case {
    const char* name;
    int consent;
    std::optional<bool> gdpr;
  };
  for (const auto& c : {Case{"not set", 0, std::nullopt}, Case{"granted", 1, true}, Case{"denied", 2, false}}) {
    SCOPED_TRACE(c.name);
    const Json data = QBTestSuiteHandler::pageData("key1", Json{{"configurations", Json::object()}}, "7.3.1", c.consent, true);
    EXPECT_EQ(data.contains("gdprConsent"), c.gdpr.has_value());
    if (c.gdpr) {
      EXPECT_EQ(data["gdprConsent"], *c.gdpr);
    }
    EXPECT_EQ(data["deviceOS"], "iOS");
    EXPECT_EQ(data["isRvManual"], true);
    EXPECT_EQ(data["initResponse"], (Json{{"configurations", Json::object()}}));
    EXPECT_TRUE(data["skAdNetworksId"].is_array());
  }

  // "is_coppa" only with the token's "coppa".
  EXPECT_FALSE(QBTestSuiteHandler::generalProperties().contains("is_coppa"));
  QBGlobalDataWriter().extendData(Json{{"coppa", true}}, "tkgp");
  EXPECT_EQ(QBTestSuiteHandler::generalProperties()["is_coppa"], true);

  // Metadata: the registry's value wins over the mediation-only one.
  QuillborneObjectPublisherDataHolder::sharedInstance().setMediationMetaData("is_test_suite", {"true"});
  QuillborneObjectPublisherDataHolder::sharedInstance().setMediationMetaData("shared", {"mediation"});
  QBAdapterRepository::sharedRepository().setMetaData("shared", {"registry"});
  const Json data = QBTestSuiteHandler::pageData("key1", Json(), "7.3.1", 0, false);
  EXPECT_EQ(data["metaData"], (Json{{"is_test_suite", {"true"}}, {"shared", {"registry"}}}));
  EXPECT_FALSE(data.contains("initResponse"));
}

TEST_F(TestSuiteDataTest, EventsCarryTheProviderAndErrorsTheirCodeReasonAndTestSuiteFlag) {
  QBTestSuiteEventsManager::onTestSuiteLaunch();
  QBTestSuiteEventsManager::onTestSuiteLaunchFailed(1721);
  QuillborneObjectPublisherDataHolder::sharedInstance().setMediationMetaData("is_test_suite", {"true"});
  QBTestSuiteEventsManager::onTestSuiteLaunchedSuccessfully();
  QBTestSuiteEventsManager::onTestSuiteWebControllerOpened();
  QBTestSuiteEventsManager::onTestSuiteWebControllerFailedToLoad("no page");
  EXPECT_EQ(suiteEvents(), (std::vector<Json>{
                               {{"id", 70}, {"provider", "Mediation"}},
                               {{"id", 72}, {"provider", "Mediation"}, {"errorCode", 1721}},
                               {{"id", 71}, {"provider", "Mediation"}},
                               {{"id", 73}, {"provider", "Mediation"}},
                               {{"id", 74}, {"provider", "Mediation"}, {"errorCode", 1724}, {"reason", "no page"},
                                {"is_test_suite", {"true"}}},
                           }));
}

TEST_F(TestSuiteDataTest, APresentationThatIsRefusedUndoesTheLaunch) {
  auto suite = QBTestSuiteViewController::init();
  EXPECT_FALSE(suite->presentTestSuiteViewController(std::make_shared<platform::ViewController>(), pageUrl("ack=never"), Json()));
  EXPECT_FALSE(suite->presentTestSuiteViewController(nullptr, pageUrl("ack=never"), Json()));
  EXPECT_EQ(sdk->lines(), (Strings{"onTestSuiteClosed", "onTestSuiteClosed"}));
  const auto events = suiteEvents();
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[0]["errorCode"], 1723);
}

TEST_F(TestSuiteDataTest, TheGuardHoldsDismissalsAndTheCloseRunsInOrder) {
  auto suite = QBTestSuiteViewController::init();
  ASSERT_TRUE(suite->presentTestSuiteViewController(app, pageUrl("ack=never"), Json{{"appKey", "k"}}));
  EXPECT_TRUE(suite->webViewWrapper()->isSetUp());  // the view loaded
  env.advance(1000);
  QBBannerDelegateWrapper::sharedInstance()->setTestSuiteTidewheelDelegate(std::make_shared<NoBannerCallbacks>());

  // While retained, a dismissal from anyone (an ad's code) is dropped.
  suite->adsManager()->setRetainViewController(true);
  bool completed = false;
  suite->dismissViewControllerAnimated(true, [&] { completed = true; });
  env.advance(1000);
  EXPECT_EQ(app->presentedViewController(), suite);
  EXPECT_FALSE(completed);

  auto wrapper = suite->webViewWrapper();
  suite->onClosed();
  suite->onClosed();
  env.runUntilIdle();
  env.advance(1000);
  EXPECT_TRUE(wrapper->isCleanedUp());
  EXPECT_EQ(sdk->lines(), (Strings{"destroyTestSuiteBanner (bridged)", "onTestSuiteClosed"}));
  EXPECT_FALSE(QBBannerDelegateWrapper::sharedInstance()->testSuiteTidewheelDelegate());
  EXPECT_FALSE(suite->adsManager()->retainViewController());
  EXPECT_FALSE(app->presentedViewController());
  EXPECT_TRUE(suite->lastDismissalAnimatedForTesting());
}

// A suite dismissed by someone else than its page (the application here,
// past the guard) is cleaned up as at the close once it has left the screen;
// an ad over it that comes and goes is not its leaving.
TEST_F(TestSuiteDataTest, ASuiteThatLeftTheScreenOtherwiseIsCleanedUpAsAtTheClose) {
  auto suite = QBTestSuiteViewController::init();
  ASSERT_TRUE(suite->presentTestSuiteViewController(app, pageUrl("ack=never"), Json{{"appKey", "k"}}));
  env.advance(1000);
  QBBannerDelegateWrapper::sharedInstance()->setTestSuiteTidewheelDelegate(std::make_shared<NoBannerCallbacks>());
  auto ad = std::make_shared<platform::ViewController>();
  ASSERT_TRUE(suite->presentViewController(ad, true));
  env.advance(1000);
  ad->dismissViewControllerAnimated(true);
  env.advance(1000);
  EXPECT_EQ(sdk->lines(), Strings{});
  ASSERT_TRUE(suite->webViewWrapper());

  suite->adsManager()->setRetainViewController(true);
  auto wrapper = suite->webViewWrapper();
  app->dismissViewControllerAnimated(true);
  EXPECT_EQ(sdk->lines(), Strings{}) << "on screen while it leaves";
  env.advance(1000);
  EXPECT_FALSE(app->presentedViewController());
  EXPECT_TRUE(wrapper->isCleanedUp());
  EXPECT_FALSE(suite->webViewWrapper());
  EXPECT_EQ(sdk->lines(), (Strings{"destroyTestSuiteBanner (bridged)", "onTestSuiteClosed"}));
  EXPECT_FALSE(QBBannerDelegateWrapper::sharedInstance()->testSuiteTidewheelDelegate());
  EXPECT_FALSE(suite->adsManager()->retainViewController());
  // The page's close afterwards finds nothing left to do.
  suite->onClosed();
  env.advance(1000);
  EXPECT_EQ(sdk->lines().size(), 2u);
}

// Mend: the page's close takes the suite off screen together with an ad
// presented over it, not the ad alone.
TEST_F(TestSuiteDataTest, TheCloseTakesTheSuiteOffScreenWithTheAdOverIt) {
  auto suite = QBTestSuiteViewController::init();
  ASSERT_TRUE(suite->presentTestSuiteViewController(app, pageUrl("ack=never"), Json{{"appKey", "k"}}));
  env.advance(1000);
  auto ad = std::make_shared<platform::ViewController>();
  ASSERT_TRUE(suite->presentViewController(ad, true));
  env.advance(1000);
  suite->onClosed();
  env.runUntilIdle();
  env.advance(1000);
  EXPECT_FALSE(app->presentedViewController());
  EXPECT_FALSE(suite->presentedViewController());
  EXPECT_FALSE(suite->view()->window());
  EXPECT_FALSE(ad->view()->window());
  EXPECT_EQ(window->subviews(), std::vector<std::shared_ptr<platform::View>>{app->view()});
  EXPECT_EQ(sdk->lines(), (Strings{"destroyTestSuiteBanner (bridged)", "onTestSuiteClosed"}));
}

}  // namespace
