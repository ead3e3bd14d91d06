// The facade as an application drives it: answers before and after start-up,
// forwarding to managers, settings, metadata and the unsupported calls.
#include "foundation/QBGlobalDataManager.h"
#include "sdk_test_support.h"

namespace qbtest {
namespace {

using platform::Json;

// Records every error callback as "<callback> <code> <message>".
class Recorder {
 public:
  void add(std::string line) {
    std::lock_guard lock(mutex_);
    lines_.push_back(std::move(line));
  }
  std::vector<std::string> lines() const {
    std::lock_guard lock(mutex_);
    return lines_;
  }

 private:
  mutable std::mutex mutex_;
  std::vector<std::string> lines_;
};

std::string describe(const char* callback, const QBError& error) {
  return std::string(callback) + " " + std::to_string(error.code()) + " " + error.message();
}

class RvDelegate : public QBRewardedVideoManualDelegate {
 public:
  explicit RvDelegate(Recorder& r) : r_(r) {}
  void rewardedVideoHasChangedAvailability(bool) override {}
  void didReceiveRewardForPlacement(const QBPlacementInfo&) override {}
  void rewardedVideoDidFailToShowWithError(const QBError& e) override { r_.add(describe("rvShowFailed", e)); }
  void rewardedVideoDidOpen() override {}
  void rewardedVideoDidClose() override {}
  void rewardedVideoDidStart() override {}
  void rewardedVideoDidEnd() override {}
  void didClickRewardedVideo(const QBPlacementInfo&) override {}
  void rewardedVideoDidLoad() override {}
  void rewardedVideoDidFailToLoadWithError(const QBError& e) override { r_.add(describe("rvLoadFailed", e)); }

 private:
  Recorder& r_;
};

class IsDelegate : public QBInterstitialDelegate {
 public:
  explicit IsDelegate(Recorder& r) : r_(r) {}
  void interstitialDidLoad() override {}
  void interstitialDidFailToLoadWithError(const QBError& e) override { r_.add(describe("isLoadFailed", e)); }
  void interstitialDidOpen() override {}
  void interstitialDidClose() override {}
  void interstitialDidShow() override {}
  void interstitialDidFailToShowWithError(const QBError& e) override { r_.add(describe("isShowFailed", e)); }
  void didClickInterstitial() override {}

 private:
  Recorder& r_;
};

class BnDelegate : public QBBannerDelegate {
 public:
  explicit BnDelegate(Recorder& r) : r_(r) {}
  void bannerDidLoad(std::shared_ptr<QBBannerView>) override {}
  void bannerDidFailToLoadWithError(const QBError& e) override { r_.add(describe("bannerLoadFailed", e)); }
  void didClickBanner() override {}
  void bannerWillLeaveApplication() override {}
  void bannerWillPresentScreen() override {}
  void bannerDidDismissScreen() override {}

 private:
  Recorder& r_;
};

class FacadeTest : public SdkTest {
 protected:
  FacadeTest() {
    Quillborne::setRewardedVideoManualDelegate(rv_);
    Quillborne::setInterstitialDelegate(is_);
    Quillborne::setBannerDelegate(bn_);
  }

  // Drives every ad call once and returns what the delegates heard.
  std::vector<std::string> driveAdCalls() {
    const size_t before = recorder_.lines().size();
    Quillborne::loadRewardedVideo();
    Quillborne::showRewardedVideoWithViewController(vc_, "BonusRewardedVideo");
    Quillborne::loadInterstitial();
    Quillborne::showInterstitialWithViewController(vc_);
    Quillborne::loadBannerWithViewController(vc_, QBBannerSize::BANNER());
    env_.runUntilIdle();
    auto all = recorder_.lines();
    return std::vector<std::string>(all.begin() + static_cast<long>(before), all.end());
  }

  Recorder recorder_;
  std::shared_ptr<RvDelegate> rv_ = std::make_shared<RvDelegate>(recorder_);
  std::shared_ptr<IsDelegate> is_ = std::make_shared<IsDelegate>(recorder_);
  std::shared_ptr<BnDelegate> bn_ = std::make_shared<BnDelegate>(recorder_);
  platform::ViewControllerRef vc_ = std::make_shared<platform::ViewController>();
};

TEST_F(FacadeTest, AdCallsAreAnsweredWith508UntilAManagerExists) {
  EXPECT_EQ(Quillborne::sdkVersion(), "7.3.1");
  EXPECT_EQ(driveAdCalls(), (std::vector<std::string>{"rvLoadFailed 508 SDK not initialized",
                                                      "rvShowFailed 508 SDK not initialized",
                                                      "isLoadFailed 508 SDK not initialized",
                                                      "isShowFailed 508 SDK not initialized",
                                                      "bannerLoadFailed 508 SDK not initialized"}));
  EXPECT_FALSE(Quillborne::hasRewardedVideo());
  EXPECT_FALSE(Quillborne::hasInterstitial());

  // Initialised with factories that make nothing: still no managers.
  NullManagerFactory::registerAll();
  Quillborne::initWithAppKey(kAppKey);
  ASSERT_TRUE(runUntilState(QBSdkState::SDK_INITIATED));
  EXPECT_TRUE(log_.contains("QBRewardedVideoAdManager could not be made"));
  EXPECT_EQ(driveAdCalls(), (std::vector<std::string>{"rvLoadFailed 508 rewardedVideo ad unit is not initialized",
                                                      "rvShowFailed 508 rewardedVideo ad unit is not initialized",
                                                      "isLoadFailed 508 interstitial ad unit is not initialized",
                                                      "isShowFailed 508 interstitial ad unit is not initialized",
                                                      "bannerLoadFailed 508 banner ad unit is not initialized"}));
}

TEST_F(FacadeTest, AdCallsReachTheManagersOnceStartUpCompleted) {
  auto made = FakeManagerFactory::registerAll();
  Quillborne::initWithAppKey(kAppKey, std::vector<std::string>{"rewardedvideo", "interstitial"});
  ASSERT_TRUE(runUntilState(QBSdkState::SDK_INITIATED));
  ASSERT_EQ(made->size(), 2u);
  auto rv = (*made)[0].manager;
  auto is = (*made)[1].manager;
  rv->ready = true;

  // Only the banner (no manager in this version) reaches a delegate.
  EXPECT_EQ(driveAdCalls(), std::vector<std::string>{"bannerLoadFailed 508 banner ad unit is not initialized"});
  EXPECT_EQ(rv->loads.load(), 1);
  EXPECT_EQ(is->loads.load(), 1);
  EXPECT_EQ(rv->shownFrom, vc_);
  EXPECT_EQ(rv->shownPlacements, (std::vector<std::optional<std::string>>{"BonusRewardedVideo"}));
  EXPECT_EQ(is->shownPlacements, (std::vector<std::optional<std::string>>{std::nullopt}));
  EXPECT_TRUE(Quillborne::hasRewardedVideo());
  EXPECT_FALSE(Quillborne::hasInterstitial());

  QBSegment segment;
  segment.setLevel(7);
  Quillborne::setSegment(segment);
  EXPECT_EQ(rv->segment, segment);
  EXPECT_EQ(QBConfigurations::getConfigurations().segment(), segment);
}

TEST_F(FacadeTest, DemandOnlyModeRefusesTheMediationCallsAndTheInstanceCalls) {
  auto made = FakeManagerFactory::registerAll();
  Quillborne::initQBDemandOnly(kAppKey, {});
  EXPECT_EQ(sdk()->requestedAdUnits(), (std::vector<std::string>{"rewardedvideo", "interstitial", "banner"}));
  ASSERT_TRUE(runUntilState(QBSdkState::SDK_INITIATED));
  EXPECT_TRUE(QBDemandOnlyModeHelper::sharedInstance().isDemandOnlyMode());

  Quillborne::loadRewardedVideo();
  env_.runUntilIdle();
  EXPECT_EQ(recorder_.lines().back(),
            "rvLoadFailed 508 rewardedVideo is initialized in demand-only mode; use the demand-only calls");
  EXPECT_EQ((*made)[0].manager->loads.load(), 0);
  Quillborne::loadQBDemandOnlyRewardedVideo("1001");
  EXPECT_FALSE(Quillborne::hasQBDemandOnlyRewardedVideo("1001"));
  EXPECT_TRUE(log_.contains("loadQBDemandOnlyRewardedVideo(1001) is not supported in this version"));
}

TEST_F(FacadeTest, UnsupportedCallsAreRefusedWithALogLine) {
  Quillborne::showOfferwall();
  EXPECT_TRUE(log_.contains("showOfferwall - SDK not initialized"));
  Quillborne::initWithAppKey(kAppKey);
  ASSERT_TRUE(runUntilState(QBSdkState::SDK_INITIATED));
  Quillborne::showOfferwall();
  Quillborne::getOfferwallCredits();
  Quillborne::destroyQBDemandOnlyBanner("7");
  EXPECT_FALSE(Quillborne::hasOfferwall());
  EXPECT_TRUE(log_.contains("showOfferwall - showOfferwall is not supported in this version"));
  EXPECT_TRUE(log_.contains("getOfferwallCredits is not supported in this version"));
  EXPECT_TRUE(log_.contains("destroyQBDemandOnlyBanner(7) is not supported in this version"));
}

TEST_F(FacadeTest, TestSuiteLaunchIsRefusedWithTheDocumentedReason) {
  Quillborne::launchTestSuite(vc_);
  EXPECT_EQ(sdk()->launchTestSuite(vc_).code(), 1721);
  EXPECT_TRUE(log_.contains("TestSuite cannot be launched, SDK not initialized"));

  Quillborne::initWithAppKey(kAppKey);
  ASSERT_TRUE(runUntilState(QBSdkState::SDK_INITIATED));
  platform::ReachabilitySource::shared().setStatus(platform::kReachabilityNotReachable);
  EXPECT_EQ(sdk()->launchTestSuite(vc_).code(), 1725);
  EXPECT_TRUE(log_.contains("TestSuite cannot be launched, No network connectivity"));
  platform::ReachabilitySource::shared().setStatus(platform::kReachabilityViaWiFi);
  EXPECT_EQ(sdk()->launchTestSuite(vc_).code(), 510);
  EXPECT_FALSE(sdk()->testSuiteLaunched());
}

TEST_F(FacadeTest, SettingsReachTheGlobalDataTheRegistryAndTheConfiguration) {
  auto& store = QBGlobalDataManager::sharedInstance();
  Quillborne::setConsent(true);
  Quillborne::setMediationType("unity");
  EXPECT_TRUE(Quillborne::setDynamicUserId("dyn-1"));
  EXPECT_FALSE(Quillborne::setDynamicUserId(""));
  EXPECT_FALSE(Quillborne::setDynamicUserId(std::string(129, 'x')));
  Quillborne::setAdaptersDebug(true);
  EXPECT_EQ(QBAdapterRepository::sharedRepository().currentConsent(), QBAdapterRepository::kConsentGranted);
  EXPECT_TRUE(QBAdapterRepository::sharedRepository().adaptersDebug());
  EXPECT_EQ(store.valueForKey("consent"), Json(true));
  EXPECT_EQ(store.valueForKey("mt"), Json("unity"));
  EXPECT_EQ(store.valueForKey("duid"), Json("dyn-1"));
  EXPECT_EQ(QBConfigurations::getConfigurations().dynamicUserId(), "dyn-1");
  Quillborne::setUserId("u1");
  Quillborne::setUserId("");
  EXPECT_FALSE(store.valueForKey("userId"));
  EXPECT_FALSE(QBConfigurations::getConfigurations().userId());

  // Metadata: ordinary and CCPA keys go to the networks, mediation-only keys
  // stay in the mediation, bad input changes nothing.
  Quillborne::setMetaDataWithKey("custom_key", std::vector<std::string>{"a", "b"});
  Quillborne::setMetaDataWithKey("DO_NOT_SELL", "YES");
  Quillborne::setMetaDataWithKey("do_not_sell", "perhaps");
  Quillborne::setMetaDataWithKey("is_child_directed", "true");
  Quillborne::setMetaDataWithKey("bad key", "v");
  Quillborne::setMetaDataWithKey("empty", "");
  EXPECT_EQ(QBAdapterRepository::sharedRepository().metaData(),
            (Json{{"custom_key", {"a", "b"}}, {"DO_NOT_SELL", {"YES"}}}));
  EXPECT_EQ(store.valueForKey("ccpa"), Json(true));
  EXPECT_EQ(store.valueForKey("tkgp"), (Json{{"coppa", true}}));
  EXPECT_EQ(QuillborneObjectPublisherDataHolder::sharedInstance().getMediationMetaData(),
            (QuillborneObjectPublisherDataHolder::MetaData{{"is_child_directed", {"true"}}}));
  EXPECT_TRUE(log_.contains("metadata \"do_not_sell\" needs true/false/yes/no; ignored"));
  EXPECT_TRUE(log_.contains("metadata key \"bad key\" is invalid; ignored"));
  EXPECT_TRUE(log_.contains("metadata of \"empty\" needs non-empty values; ignored"));

  class Listener : public QBImpressionDataDelegate {
    void impressionDataDidSucceed(std::shared_ptr<QBImpressionData>) override {}
  };
  auto listener = std::make_shared<Listener>();
  auto delegates = QuillborneObjectPublisherDataHolder::sharedInstance().getImpressionDataDelegates();
  Quillborne::addImpressionDataDelegate(listener);
  EXPECT_EQ(delegates->count(), 1u);
  Quillborne::removeImpressionDataDelegate(listener);
  EXPECT_EQ(delegates->count(), 0u);
}

}  // namespace
}  // namespace qbtest
