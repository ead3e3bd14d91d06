// The test suite's launch through the public facade: the refusals in order
// with nothing else happening, the launch steps in order, its events at the
// sandbox, the full-screen presentation, the dismissal guard and the close;
// and the three mends: a launch that shows nothing is undone, a second
// launch while one is open is refused, the suite's banner goes at the close.
#include "sdk_test_support.h"
#include "support/sandbox_events.h"
#include "testsuite/QBTestSuiteEventsManager.h"
#include "testsuite/QBTestSuiteLoadAdConfig.h"
#include "testsuite/QBTestSuiteMediationSdkProxy.h"
#include "testsuite/QBTestSuiteViewController.h"

namespace qbtest {
namespace {

using platform::Json;
using Strings = std::vector<std::string>;

// Managers that write what the launch and the close ask of them into one log.
class OrderedManager : public FakeManager {
 public:
  OrderedManager(QBAdUnitManagerParams p, std::shared_ptr<Lines> order) : FakeManager(std::move(p)), order_(std::move(order)) {}
  void startAdapters() override { order_->add(params.adUnit.value() + " startAdapters" + flag()); }
  void setTestSuiteLoadAdConfig(std::shared_ptr<QBTestSuiteLoadAdConfig> config) override {
    order_->add(params.adUnit.value() + (config ? " config" : " config cleared"));
  }

 protected:
  std::string flag() const { return QuillborneSdk::sharedInstance()->testSuiteLaunched() ? " (flag set)" : ""; }
  std::shared_ptr<Lines> order_;
};

class OrderedBannerManager : public QBBannerAdUnitManager {
 public:
  explicit OrderedBannerManager(std::shared_ptr<Lines> order) : order_(std::move(order)) {}
  void loadBanner(platform::ViewControllerRef, const QBBannerSize&) override { order_->add("banner load"); }
  void destroyBanner(const std::shared_ptr<QBBannerView>&) override { order_->add("banner destroy"); }
  void destroyCurrentBanner() override {
    const bool bridged = QBBannerDelegateWrapper::sharedInstance()->testSuiteTidewheelDelegate() != nullptr;
    order_->add(std::string("banner destroyCurrentBanner") + (bridged ? " (bridged)" : ""));
  }
  void onTestSuiteLaunched() override {
    order_->add(std::string("banner onTestSuiteLaunched") +
                (QuillborneSdk::sharedInstance()->testSuiteLaunched() ? " (flag set)" : ""));
  }
  void setTestSuiteLoadAdConfig(std::shared_ptr<QBTestSuiteLoadAdConfig> config) override {
    order_->add(config ? "banner config" : "banner config cleared");
  }

 private:
  std::shared_ptr<Lines> order_;
};

class OrderedFactory : public QBAdUnitManagerFactory {
 public:
  explicit OrderedFactory(std::shared_ptr<Lines> order) : order_(std::move(order)) {}
  std::shared_ptr<QBAdUnitManager> createManager(const QBAdUnitManagerParams& params) override {
    if (params.adUnit == QBAdUnit::QB_AD_UNIT_BANNER()) return std::make_shared<OrderedBannerManager>(order_);
    return std::make_shared<OrderedManager>(params, order_);
  }

 private:
  std::shared_ptr<Lines> order_;
};

// The banner bridge the suite installs while it is open (a stand-in).
class BannerBridge : public TidewheelBannerDelegate, public Lines {
 public:
  void didLoad(std::shared_ptr<QBBannerView>, const QBAdInfo&) override { add("loaded"); }
  void didFailToLoadWithError(const QBError& e) override { add("loadFailed " + std::to_string(e.code())); }
  void didClickWithAdInfo(const QBAdInfo&) override { add("clicked"); }
  void didLeaveApplicationWithAdInfo(const QBAdInfo&) override { add("left"); }
  void didPresentScreenWithAdInfo(const QBAdInfo&) override { add("presented"); }
  void didDismissScreenWithAdInfo(const QBAdInfo&) override { add("dismissed"); }
};

class TestSuiteLaunchTest : public SdkTest {
 protected:
  TestSuiteLaunchTest() {
    platform::resetUIForTesting();
    window_ = std::make_shared<platform::Window>(platform::Rect::make(0, 0, 320, 480));
    window_->makeKeyAndVisible();
    window_->setRootViewController(vc_);
    Quillborne::setBannerDelegate(listener_);
    // Every event is uploaded as it comes.
    Json configuration = config_->configuration();
    configuration["configurations"]["application"]["events"]["events"]["maxNumberOfEvents"] = 1;
    configuration["configurations"]["banner"] = Json{{"adapterTimeOutInSeconds", 10}};
    configuration["providerOrder"]["banner"] = Json::array({"TulvoRV1"});
    config_->setConfiguration(configuration);
  }
  ~TestSuiteLaunchTest() override {
    env_.runUntilIdle();
    platform::resetUIForTesting();
  }

  // Starts the SDK with the ordered managers for `adUnits`.
  void start(const Strings& adUnits = {"rewardedvideo", "interstitial", "banner"}) {
    auto factory = std::make_shared<OrderedFactory>(order_);
    namespace names = QBAdUnitManagerNames;
    for (const char* name : {names::kRewardedVideoAdManager, names::kInterstitialAdManager, names::kProgBannerManager}) {
      QBAdUnitManagerFactories::sharedInstance().registerFactory(name, factory);
    }
    Quillborne::initWithAppKey(kAppKey, adUnits);
    ASSERT_TRUE(runUntilState(QBSdkState::SDK_INITIATED));
  }
  std::shared_ptr<QBTestSuiteViewController> suite() const {
    return std::dynamic_pointer_cast<QBTestSuiteViewController>(vc_->presentedViewController());
  }
  // The test-suite events the sandbox received: "<id>" or "<id>:<errorCode>".
  Strings suiteEventsReceived() {
    Strings out;
    for (const auto& event : eventsReceived(server_)) {
      const int64_t id = event.value("eventId", int64_t{0});
      if (id < 70 || id > 74) continue;
      std::string line = std::to_string(id);
      const Json data = event.contains("data") ? event["data"] : event;
      if (data.contains("errorCode")) line += ":" + data["errorCode"].dump();
      out.push_back(line);
    }
    return out;
  }
  bool driveUntilEvents(size_t n) {
    return drive([&] { return suiteEventsReceived().size() >= n; }, 5);
  }

  std::shared_ptr<Lines> order_ = std::make_shared<Lines>();
  std::shared_ptr<platform::Window> window_;
};

// Each refusal: event 70, then 72 with its code and its log line, and nothing
// else (no manager asked, nothing presented, no flag).
TEST_F(TestSuiteLaunchTest, RefusalsComeInOrderAndDoNothingElse) {
  struct Case {
    const char* name;
    std::function<void()> arrange;
    std::function<platform::ViewControllerRef()> controller;
    int code;
    std::string log;
  };
  const Json original = config_->configuration();
  const std::vector<Case> cases = {
      {"before init", [] {}, [&] { return vc_; }, 1721, "TestSuite cannot be launched, SDK not initialized"},
      {"no test page",
       [&] {
         Json configuration = original;
         configuration["configurations"].erase("testSuite");
         config_->setConfiguration(configuration);
         start();
       },
       [&] { return vc_; }, 1722, "TestSuite cannot be launched, Please contact your account manager to enable it"},
      {"no network",
       [&] {
         start();
         platform::ReachabilitySource::shared().setStatus(platform::kReachabilityNotReachable);
       },
       [&] { return vc_; }, 1725, "TestSuite cannot be launched, No network connectivity"},
      {"no view controller", [&] { start(); }, [] { return nullptr; }, 1723,
       "TestSuite cannot be launched, no view controller to present it from"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    c.arrange();
    const auto refusal = sdk()->launchTestSuite(c.controller());
    platform::ReachabilitySource::shared().setStatus(platform::kReachabilityViaWiFi);
    ASSERT_TRUE(refusal);
    EXPECT_EQ(refusal->code(), c.code);
    EXPECT_EQ(refusal->message(), c.log);
    EXPECT_TRUE(log_.contains("API: UITHREAD: true launchTestSuite - " + c.log)) << c.log;
    env_.runUntilIdle();
    EXPECT_FALSE(vc_->presentedViewController());
    EXPECT_FALSE(sdk()->testSuiteLaunched());
    EXPECT_EQ(order_->lines(), Strings{});
    // The events go out once the configuration has arrived (for the first
    // case, with the next case's start-up).
    if (c.code != 1721) {
      const std::string refused = "72:" + std::to_string(c.code);
      ASSERT_TRUE(drive([&] { return !suiteEventsReceived().empty() && suiteEventsReceived().back() == refused; }, 5));
      const Strings got = suiteEventsReceived();
      EXPECT_EQ(Strings(got.end() - 2, got.end()), (Strings{"70", "72:" + std::to_string(c.code)}));
    }
    // A fresh SDK object for the next case.
    newSdk();
    server_.clearRequests();
    order_->clear();
    config_->setConfiguration(original);
  }
}

TEST_F(TestSuiteLaunchTest, ALaunchRunsItsStepsInOrderAndPresentsTheSuiteFullScreen) {
  start();
  EXPECT_FALSE(sdk()->launchTestSuite(vc_));
  EXPECT_TRUE(sdk()->testSuiteLaunched());
  // The managers are asked before the flag is set; event 71 follows it.
  EXPECT_EQ(order_->lines(),
            (Strings{"interstitial startAdapters", "rewardedVideo startAdapters", "banner onTestSuiteLaunched"}));
  ASSERT_TRUE(driveUntilEvents(2));
  EXPECT_EQ(suiteEventsReceived(), (Strings{"70", "71"}));
  const auto uploaded = eventsReceived(server_);
  auto launched = std::find_if(uploaded.begin(), uploaded.end(), [](const Json& e) { return e.value("eventId", 0) == 71; });
  ASSERT_NE(launched, uploaded.end());
  EXPECT_EQ(launched->value("provider", ""), "Mediation");
  EXPECT_FALSE(launched->contains("errorCode"));

  // Presented on the main queue, full screen and animated, from the
  // application's view controller, with the page's address and data.
  ASSERT_TRUE(env_.runUntil([&] { return suite() != nullptr; }));
  auto shown = suite();
  EXPECT_EQ(shown->modalPresentationStyle(), platform::ModalPresentationStyle::FullScreen);
  EXPECT_TRUE(shown->lastPresentationAnimatedForTesting());
  EXPECT_FALSE(shown->shouldAutorotate());
  EXPECT_EQ(shown->preferredInterfaceOrientationForPresentation(), platform::InterfaceOrientation::Portrait);
  ASSERT_TRUE(shown->webViewWrapper());
  EXPECT_EQ(shown->webViewWrapper()->controllerUrl(), server_.url("/testsuite/index.html"));
  EXPECT_TRUE(shown->webViewWrapper()->isSetUp());
  const Json& data = shown->webViewWrapper()->data();
  EXPECT_EQ(data["appKey"], kAppKey);
  EXPECT_EQ(data["sdkVersion"], "7.3.1");
  EXPECT_EQ(data["bundleId"], "com.example.sdktest");
  EXPECT_EQ(data["isRvManual"], false);
  EXPECT_EQ(data["initResponse"], sdk()->serverResponseParser()->originServerResponse());

  // Load requests reach the three managers only while the suite is open; an
  // offerwall request is ignored.
  auto request = QBTestSuiteLoadAdConfig::initWithAdNetwork("Tulvo", false, true, true);
  for (const auto& unit : {QBAdUnit::QB_AD_UNIT_INTERSTITIAL(), QBAdUnit::QB_AD_UNIT_REWARDED_VIDEO(),
                           QBAdUnit::QB_AD_UNIT_BANNER(), QBAdUnit::QB_AD_UNIT_OFFERWALL()}) {
    QBTestSuiteMediationSdkProxy::setTestSuiteAdLoadConfig(request, unit);
  }
  // The dismissal guard, then the close in its order.
  shown->adsManager()->setRetainViewController(true);
  bool completed = false;
  shown->dismissViewControllerAnimated(true, [&] { completed = true; });
  env_.advance(1000);
  EXPECT_EQ(suite(), shown);
  EXPECT_FALSE(completed);
  order_->clear();
  shown->onClosed();
  EXPECT_TRUE(sdk()->testSuiteLaunched()) << "the close runs on the main queue";
  env_.runUntilIdle();
  env_.advance(1000);
  EXPECT_FALSE(vc_->presentedViewController());
  EXPECT_FALSE(shown->adsManager()->retainViewController());
  EXPECT_FALSE(sdk()->testSuiteLaunched());
  EXPECT_FALSE(shown->webViewWrapper());
  Strings cleared = order_->lines();
  ASSERT_FALSE(cleared.empty());
  // The suite's banner goes while its bridge still hears it.
  EXPECT_EQ(cleared.front(), "banner destroyCurrentBanner (bridged)");
  std::sort(cleared.begin() + 1, cleared.end());
  EXPECT_EQ(cleared, (Strings{"banner destroyCurrentBanner (bridged)", "banner config cleared",
                              "interstitial config cleared", "rewardedVideo config cleared"}));
  // Closed: requests are ignored again, and a new launch is accepted.
  order_->clear();
  QBTestSuiteMediationSdkProxy::setTestSuiteAdLoadConfig(request, QBAdUnit::QB_AD_UNIT_BANNER());
  EXPECT_EQ(order_->lines(), Strings{});
  shown->onClosed();
  env_.runUntilIdle();
  EXPECT_EQ(order_->lines(), Strings{});
  EXPECT_FALSE(sdk()->launchTestSuite(vc_));
}

TEST_F(TestSuiteLaunchTest, LoadRequestsAreIgnoredWithoutTheSuiteAndForMissingManagers) {
  start({"rewardedvideo"});
  auto request = QBTestSuiteLoadAdConfig::initWithAdNetwork("Tulvo", false, false, false);
  sdk()->setTestSuiteAdLoadConfig(request, QBAdUnit::QB_AD_UNIT_REWARDED_VIDEO());
  EXPECT_EQ(order_->lines(), Strings{});
  ASSERT_FALSE(sdk()->launchTestSuite(vc_));
  EXPECT_EQ(order_->lines(), Strings{"rewardedVideo startAdapters"});  // only the manager that exists
  order_->clear();
  sdk()->setTestSuiteAdLoadConfig(request, QBAdUnit::QB_AD_UNIT_INTERSTITIAL());
  sdk()->setTestSuiteAdLoadConfig(request, QBAdUnit::QB_AD_UNIT_BANNER());
  sdk()->setTestSuiteAdLoadConfig(request, QBAdUnit::QB_AD_UNIT_OFFERWALL());
  EXPECT_EQ(order_->lines(), Strings{});
  sdk()->setTestSuiteAdLoadConfig(request, QBAdUnit::QB_AD_UNIT_REWARDED_VIDEO());
  EXPECT_EQ(order_->lines(), Strings{"rewardedVideo config"});
}

// Mend: a launch whose presentation is refused must not leave the suite
// counted as open (flag, load requests); it reports 72 with 1723.
TEST_F(TestSuiteLaunchTest, ALaunchThatShowsNothingIsUndone) {
  start();
  auto elsewhere = std::make_shared<platform::ViewController>();  // in no window
  EXPECT_FALSE(sdk()->launchTestSuite(elsewhere));
  EXPECT_TRUE(sdk()->testSuiteLaunched());
  env_.runUntilIdle();
  EXPECT_FALSE(elsewhere->presentedViewController());
  EXPECT_FALSE(sdk()->testSuiteLaunched());
  EXPECT_TRUE(log_.contains("TestSuite cannot be launched, the view controller cannot present it"));
  ASSERT_TRUE(driveUntilEvents(3));
  EXPECT_EQ(suiteEventsReceived(), (Strings{"70", "71", "72:1723"}));
  order_->clear();
  sdk()->setTestSuiteAdLoadConfig(QBTestSuiteLoadAdConfig::initWithAdNetwork("Tulvo", false, false, false),
                                  QBAdUnit::QB_AD_UNIT_BANNER());
  EXPECT_EQ(order_->lines(), Strings{});
  // The application can launch it properly now.
  EXPECT_FALSE(sdk()->launchTestSuite(vc_));
  ASSERT_TRUE(env_.runUntil([&] { return suite() != nullptr; }));
}

// Mend: while a suite is open a second launch is refused (1726) and does
// nothing else, so the first suite's close cannot strip the second of its
// filter.
TEST_F(TestSuiteLaunchTest, ASecondLaunchWhileOneIsOpenIsRefused) {
  start();
  ASSERT_FALSE(sdk()->launchTestSuite(vc_));
  ASSERT_TRUE(env_.runUntil([&] { return suite() != nullptr; }));
  auto first = suite();
  order_->clear();
  const auto refusal = sdk()->launchTestSuite(vc_);
  ASSERT_TRUE(refusal);
  EXPECT_EQ(refusal->code(), 1726);
  EXPECT_TRUE(log_.contains("TestSuite cannot be launched, a test suite is already open"));
  env_.runUntilIdle();
  EXPECT_EQ(order_->lines(), Strings{});
  EXPECT_EQ(suite(), first);
  ASSERT_TRUE(driveUntilEvents(4));
  EXPECT_EQ(suiteEventsReceived(), (Strings{"70", "71", "70", "72:1726"}));
}

// Mend: the close destroys the suite's banner while the suite's banner
// bridge is still installed, before the bridges go.
TEST_F(TestSuiteLaunchTest, TheCloseDestroysTheSuitesBannerBeforeTheBridgesGo) {
  start();
  ASSERT_FALSE(sdk()->launchTestSuite(vc_));
  ASSERT_TRUE(env_.runUntil([&] { return suite() != nullptr; }));
  env_.advance(1000);  // the presentation ends
  QBBannerDelegateWrapper::sharedInstance()->setTestSuiteTidewheelDelegate(std::make_shared<BannerBridge>());
  order_->clear();
  suite()->onClosed();
  env_.runUntilIdle();
  env_.advance(1000);  // the dismissal ends
  ASSERT_FALSE(order_->lines().empty());
  EXPECT_EQ(order_->lines().front(), "banner destroyCurrentBanner (bridged)");
  EXPECT_FALSE(QBBannerDelegateWrapper::sharedInstance()->testSuiteTidewheelDelegate());
}

// Mend: the refusal of a second launch holds while the suite is on screen,
// not for the rest of the process: a suite the application dismissed itself
// (not through the page) is forgotten once it has left, its bridges give the
// application its callbacks back, and a new launch goes through.
TEST_F(TestSuiteLaunchTest, ASuiteDismissedByTheApplicationCanBeLaunchedAgain) {
  start();
  ASSERT_FALSE(sdk()->launchTestSuite(vc_));
  ASSERT_TRUE(env_.runUntil([&] { return suite() != nullptr; }));
  auto first = suite();
  env_.advance(1000);
  ASSERT_TRUE(QBInterstitialDelegateWrapper::sharedInstance()->testSuiteTidewheelDelegate());
  vc_->dismissViewControllerAnimated(true);
  ASSERT_TRUE(sdk()->launchTestSuite(vc_)) << "refused while it is still on screen";
  env_.advance(1000);
  EXPECT_FALSE(vc_->presentedViewController());
  EXPECT_FALSE(sdk()->testSuiteLaunched());
  EXPECT_FALSE(QBInterstitialDelegateWrapper::sharedInstance()->testSuiteTidewheelDelegate());
  EXPECT_FALSE(QBBannerDelegateWrapper::sharedInstance()->testSuiteTidewheelDelegate());

  EXPECT_FALSE(sdk()->launchTestSuite(vc_));
  ASSERT_TRUE(env_.runUntil([&] { return suite() != nullptr; }));
  EXPECT_NE(suite(), first);
  EXPECT_TRUE(sdk()->testSuiteLaunched());
  ASSERT_TRUE(driveUntilEvents(6));
  EXPECT_EQ(suiteEventsReceived(), (Strings{"70", "71", "70", "72:1726", "70", "71"}));
}

// A controller that covers the full screen tells the one it covers that it
// disappeared, as the platform does for its full-screen style (this UI layer
// does not: docs/ui-layer.md).
class FullScreenCover : public platform::ViewController {
 public:
  void viewDidAppear(bool animated) override {
    platform::ViewController::viewDidAppear(animated);
    if (auto covered = presentingViewController()) {
      covered->viewWillDisappear(animated);
      covered->viewDidDisappear(animated);
    }
  }
};

// An ad shown full screen from the suite covers it: the suite hears that it
// disappeared, but it is still presented, so it stays open (bridges, load
// requests, the refusal of a second launch); it closes once it has really
// gone.
TEST_F(TestSuiteLaunchTest, ASuiteCoveredFullScreenStaysOpen) {
  start();
  ASSERT_FALSE(sdk()->launchTestSuite(vc_));
  ASSERT_TRUE(env_.runUntil([&] { return suite() != nullptr; }));
  env_.advance(1000);
  auto shown = suite();
  auto cover = std::make_shared<FullScreenCover>();
  ASSERT_TRUE(shown->presentViewController(cover, true));
  env_.advance(1000);
  ASSERT_EQ(shown->presentedViewController(), cover);
  EXPECT_TRUE(sdk()->testSuiteLaunched());
  EXPECT_TRUE(QBInterstitialDelegateWrapper::sharedInstance()->testSuiteTidewheelDelegate());
  const auto refusal = sdk()->launchTestSuite(vc_);
  ASSERT_TRUE(refusal);
  EXPECT_EQ(refusal->code(), 1726);

  vc_->dismissViewControllerAnimated(true);
  env_.advance(1000);
  EXPECT_FALSE(sdk()->testSuiteLaunched());
  EXPECT_FALSE(QBInterstitialDelegateWrapper::sharedInstance()->testSuiteTidewheelDelegate());
}

}  // namespace
}  // namespace qbtest
