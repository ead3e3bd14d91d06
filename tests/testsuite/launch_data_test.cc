// The test suite's page data, its events and its view controller, with the
// SDK side played by a recording stand-in: the data's consent, coppa and
// metadata rules, the error events' extra keys, the presentation's refusal,
// the dismissal guard and the close in its order.
#include <gtest/gtest.h>

#include "adapters/QBAdapterRepository.h"
#include "core/QuillborneObjectPublisherDataHolder.h"
#include "events/QBBannerDelegateWrapper.h"
#include "foundation/QBGlobalDataManager.h"
#include "platform/notifications.h"
#include "platform/storage.h"
#include "platform/test_environment.h"
#include "platform/ui.h"
#include "support/lines.h"
#include "support/process_reset.h"
#include "support/sandbox_events.h"
#include "support/temp_dir.h"
#include "testsuite/QBTestSuiteEventsManager.h"
#include "testsuite/QBTestSuiteHandler.h"
#include "testsuite/QBTestSuiteMediationSdkProxy.h"
#include "testsuite/QBTestSuiteViewController.h"

namespace {

using platform::Json;
using Strings = std::vector<std::string>;

// The SDK side: records what the suite asks, and what the suite's state is
// then.
class RecordingSdk : public QBTestSuiteMediationSdk, public qbtest::Lines {
 public:
  void onTestSuiteClosed() override { add("onTestSuiteClosed" + bridged()); }
  void destroyTestSuiteBanner() override { add("destroyTestSuiteBanner" + bridged()); }
  void setTestSuiteAdLoadConfig(std::shared_ptr<QBTestSuiteLoadAdConfig>, const QBAdUnit& adUnit) override {
    add("config " + adUnit.value());
  }
  void loadInterstitial() override { add("loadInterstitial"); }
  bool hasInterstitial() override { return true; }
  void showInterstitialWithViewController(platform::ViewControllerRef) override { add("showInterstitial"); }
  void loadRewardedVideo() override { add("loadRewardedVideo"); }
  bool hasRewardedVideo() override { return false; }
  void showRewardedVideoWithViewController(platform::ViewControllerRef) override { add("showRewardedVideo"); }
  void loadBannerWithViewController(platform::ViewControllerRef, const QBBannerSize& size) override {
    add("loadBanner " + size.sizeDescription());
  }
  void destroyBanner(std::shared_ptr<QBBannerView>) override { add("destroyBanner"); }

 private:
  static std::string bridged() {
    return QBBannerDelegateWrapper::sharedInstance()->testSuiteTidewheelDelegate() ? " (bridged)" : "";
  }
};

class NoBannerCallbacks : public TidewheelBannerDelegate {
 public:
  void didLoad(std::shared_ptr<QBBannerView>, const QBAdInfo&) override {}
  void didFailToLoadWithError(const QBError&) override {}
  void didClickWithAdInfo(const QBAdInfo&) override {}
  void didLeaveApplicationWithAdInfo(const QBAdInfo&) override {}
  void didPresentScreenWithAdInfo(const QBAdInfo&) override {}
  void didDismissScreenWithAdInfo(const QBAdInfo&) override {}
};

class TestSuiteDataTest : public ::testing::Test {
 protected:
  TestSuiteDataTest() {
    platform::setDataRoot(dir.path());
    platform::UserDefaults::resetStandardForTesting();
    qbtest::resetProcessWide();
    QBGlobalDataManager::sharedInstance().resetForTesting();
    QBTestSuiteMediationSdkProxy::setMediationSdk(sdk);
    platform::resetUIForTesting();
  }
  ~TestSuiteDataTest() override {
    env.runUntilIdle();
    qbtest::resetProcessWide();
    platform::resetUIForTesting();
  }
  // The events the rewarded-video engine backed up, as "<id>" plus their
  // data besides the common keys.
  std::vector<Json> suiteEvents() {
    env.runUntilIdle();
    platform::NotificationCenter::defaultCenter().post(platform::kUIApplicationWillTerminateNotification);
    env.runUntilIdle();
    std::vector<Json> out;
    for (const auto& event : qbtest::eventsBackedUp("events")) {
      const int64_t id = event.value("eventId", int64_t{0});
      if (id < 70 || id > 74) continue;
      Json own = {{"id", id}};
      for (const char* key : {"provider", "errorCode", "reason", "is_test_suite"}) {
        if (event.contains(key)) own[key] = event[key];
      }
      out.push_back(own);
    }
    return out;
  }

  platform::TestEnvironment env;
  qbtest::TempDir dir;
  std::shared_ptr<RecordingSdk> sdk = std::make_shared<RecordingSdk>();
};

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
  EXPECT_FALSE(suite->presentTestSuiteViewController(std::make_shared<platform::ViewController>(), "https://t/", Json()));
  EXPECT_FALSE(suite->presentTestSuiteViewController(nullptr, "https://t/", Json()));
  EXPECT_EQ(sdk->lines(), (Strings{"onTestSuiteClosed", "onTestSuiteClosed"}));
  const auto events = suiteEvents();
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[0]["errorCode"], 1723);
}

TEST_F(TestSuiteDataTest, TheGuardHoldsDismissalsAndTheCloseRunsInOrder) {
  auto window = std::make_shared<platform::Window>(platform::Rect::make(0, 0, 320, 480));
  window->makeKeyAndVisible();
  auto app = std::make_shared<platform::ViewController>();
  window->setRootViewController(app);
  auto suite = QBTestSuiteViewController::init();
  ASSERT_TRUE(suite->presentTestSuiteViewController(app, "https://t/", Json{{"appKey", "k"}}));
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

}  // namespace
