// The facade as an application drives it: answers before and after start-up,
// forwarding to managers, settings, metadata and the unsupported calls.
#include "foundation/QBGlobalDataManager.h"
#include "sdk_test_support.h"

namespace qbtest {
namespace {

using platform::Json;

class FacadeTest : public SdkTest {
 protected:
  FacadeTest() {
    Quillborne::setRewardedVideoManualDelegate(listener_);
    Quillborne::setInterstitialDelegate(listener_);
    Quillborne::setBannerDelegate(listener_);
  }

  // Drives every ad call once and returns what the listener heard.
  std::vector<std::string> driveAdCalls() {
    const size_t before = listener_->lines().size();
    Quillborne::loadRewardedVideo();
    Quillborne::showRewardedVideoWithViewController(vc_, "BonusRewardedVideo");
    Quillborne::loadInterstitial();
    Quillborne::showInterstitialWithViewController(vc_);
    Quillborne::loadBannerWithViewController(vc_, QBBannerSize::BANNER());
    env_.runUntilIdle();
    auto all = listener_->lines();
    return std::vector<std::string>(all.begin() + static_cast<long>(before), all.end());
  }
};

// Also the calls this version does not support, and the test suite's refusals.
TEST_F(FacadeTest, AdCallsAreAnsweredWith508UntilAManagerExistsAndOtherCallsAreRefused) {
  EXPECT_EQ(Quillborne::sdkVersion(), "7.3.1");
  EXPECT_EQ(driveAdCalls(), (std::vector<std::string>{"loadFailed 508 SDK not initialized",
                                                      "showFailed 508 SDK not initialized",
                                                      "is loadFailed 508 SDK not initialized",
                                                      "is showFailed 508 SDK not initialized",
                                                      "banner loadFailed 508 SDK not initialized"}));
  EXPECT_FALSE(Quillborne::hasRewardedVideo());
  EXPECT_FALSE(Quillborne::hasInterstitial());
  Quillborne::showOfferwall();
  EXPECT_TRUE(log_.contains("showOfferwall - SDK not initialized"));
  Quillborne::launchTestSuite(vc_);
  EXPECT_EQ(sdk()->launchTestSuite(vc_)->code(), 1721);
  EXPECT_TRUE(log_.contains("TestSuite cannot be launched, SDK not initialized"));

  // Initialised with factories that make nothing: still no managers.
  FakeManagerFactory::registerAll(/*makeNone=*/true);
  Quillborne::initWithAppKey(kAppKey);
  ASSERT_TRUE(runUntilState(QBSdkState::SDK_INITIATED));
  EXPECT_TRUE(log_.contains("QBRewardedVideoAdManager could not be made"));
  EXPECT_EQ(driveAdCalls(), (std::vector<std::string>{"loadFailed 508 rewardedVideo ad unit is not initialized",
                                                      "showFailed 508 rewardedVideo ad unit is not initialized",
                                                      "is loadFailed 508 interstitial ad unit is not initialized",
                                                      "is showFailed 508 interstitial ad unit is not initialized",
                                                      "banner loadFailed 508 banner ad unit is not initialized"}));
  Quillborne::showOfferwall();
  EXPECT_FALSE(Quillborne::hasOfferwall());
  EXPECT_TRUE(log_.contains("showOfferwall - showOfferwall is not supported in this version"));
  platform::ReachabilitySource::shared().setStatus(platform::kReachabilityNotReachable);
  EXPECT_EQ(sdk()->launchTestSuite(vc_)->code(), 1725);
  EXPECT_TRUE(log_.contains("TestSuite cannot be launched, No network connectivity"));
  platform::ReachabilitySource::shared().setStatus(platform::kReachabilityViaWiFi);
  // Accepted, but the view controller is in no window: the launch is undone.
  EXPECT_FALSE(sdk()->launchTestSuite(std::make_shared<platform::ViewController>()).has_value());
  env_.runUntilIdle();
  EXPECT_FALSE(sdk()->testSuiteLaunched());
}

// What an application learns of a refused key (docs/host.md, how start-up
// ended): one error line to its log delegate, which carries a long key cut
// and says the message's length; no init callback; and 508 for its ad calls,
// as while start-up still runs.
TEST_F(FacadeTest, ARefusedKeyReachesTheApplicationAsOneCutLogDelegateLineAndAdCallsAnswer508) {
  struct ErrorLines : QBLogDelegate {
    void sendLog(const std::string& log, int level, int tag) override {
      if (level >= QBLogLevelError) lines.add(std::to_string(level) + " " + std::to_string(tag) + " " + log);
    }
    Lines lines;
  };
  auto errors = std::make_shared<ErrorLines>();
  auto init = std::make_shared<InitRecorder>();
  Quillborne::setLogDelegate(errors);
  const std::string key = std::string(1 << 20, 'k') + "!";
  Quillborne::initWithAppKey(key, init);
  env_.runUntilIdle();
  EXPECT_EQ(state(), QBSdkState::SDK_INIT_FAILED);

  const auto lines = errors->lines.lines();
  ASSERT_EQ(lines.size(), 1u);
  const std::string head = "3 0 failStartUp - Init Fail - Invalid appKey (appKey \"kkkk";
  EXPECT_EQ(lines[0].substr(0, head.size()), head);
  // "failStartUp - ", the error's 26 bytes, " (appKey \"", the key, "\" does
  // not match ", the 14-byte pattern and ")".
  const size_t messageBytes = 14 + 26 + 10 + key.size() + 17 + 14 + 1;
  EXPECT_NE(lines[0].find(" ... [" + std::to_string(messageBytes) + " bytes in all, "), std::string::npos);
  EXPECT_LT(lines[0].size(), 1400u);
  EXPECT_EQ(init->callCount(), 0);

  EXPECT_EQ(driveAdCalls(), (std::vector<std::string>{"loadFailed 508 SDK not initialized",
                                                      "showFailed 508 SDK not initialized",
                                                      "is loadFailed 508 SDK not initialized",
                                                      "is showFailed 508 SDK not initialized",
                                                      "banner loadFailed 508 SDK not initialized"}));
  EXPECT_EQ(init->callCount(), 0);
}

// Only the requested ad units get managers, made on the default-priority
// queue from the registered factories; the ad calls and the segment reach them.
TEST_F(FacadeTest, RequestedAdUnitsGetManagersThatTheAdCallsReach) {
  auto made = FakeManagerFactory::registerAll();
  QBSegment segment;
  segment.setSegmentName("whales");
  Quillborne::setSegment(segment);
  Quillborne::initWithAppKey(kAppKey, std::vector<std::string>{"RewardedVideo", "banner", "nonsense"});
  ASSERT_TRUE(runUntilState(QBSdkState::SDK_INITIATED));

  EXPECT_EQ(sdk()->requestedAdUnits(), (std::vector<std::string>{"rewardedvideo", "banner"}));
  EXPECT_TRUE(log_.contains("unknown ad unit \"nonsense\" ignored"));
  ASSERT_EQ(made->size(), 1u);  // banner has no manager in this version
  EXPECT_EQ((*made)[0].name, QBAdUnitManagerNames::kRewardedVideoAdManager);
  EXPECT_EQ((*made)[0].queueLabel, platform::globalQueue(platform::QueuePriority::Default)->label());
  auto rv = (*made)[0].manager;
  const auto& params = rv->params;
  EXPECT_EQ(params.adUnit, QBAdUnit::QB_AD_UNIT_REWARDED_VIDEO());
  ASSERT_EQ(params.providersPool.size(), 2u);
  EXPECT_EQ(params.providersPool[0]->providerName(), "TulvoRV1");
  EXPECT_EQ(params.providersPool[1]->providerName(), "TulvoRV2");
  ASSERT_TRUE(params.settings);
  EXPECT_EQ(params.settings->maxNumOfAdaptersToLoadOnStart(), 2);
  EXPECT_TRUE(params.isManual);
  EXPECT_TRUE(params.isEncryptedAuctionResponse);
  EXPECT_EQ(params.segment, segment);
  EXPECT_EQ(params.impressionDataDelegates,
            QuillborneObjectPublisherDataHolder::sharedInstance().getImpressionDataDelegates());
  EXPECT_EQ(sdk()->managerForAdUnit(QBAdUnit::QB_AD_UNIT_REWARDED_VIDEO()), rv);

  rv->ready = true;
  EXPECT_EQ(driveAdCalls(), (std::vector<std::string>{"is loadFailed 508 interstitial ad unit is not initialized",
                                                      "is showFailed 508 interstitial ad unit is not initialized",
                                                      "banner loadFailed 508 banner ad unit is not initialized"}));
  EXPECT_EQ(rv->loads.load(), 1);
  EXPECT_EQ(rv->shownFrom, vc_);
  EXPECT_EQ(rv->shownPlacements, (std::vector<std::optional<std::string>>{"BonusRewardedVideo"}));
  EXPECT_TRUE(Quillborne::hasRewardedVideo());
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
  EXPECT_EQ(listener_->lines().back(),
            "loadFailed 508 rewardedVideo is initialized in demand-only mode; use the demand-only calls");
  EXPECT_EQ((*made)[0].manager->loads.load(), 0);
  Quillborne::loadQBDemandOnlyRewardedVideo("1001");
  EXPECT_FALSE(Quillborne::hasQBDemandOnlyRewardedVideo("1001"));
  EXPECT_TRUE(log_.contains("loadQBDemandOnlyRewardedVideo(1001) is not supported in this version"));
}

TEST_F(FacadeTest, SettingsReachTheGlobalDataTheRegistryAndTheConfiguration) {
  auto& store = QBGlobalDataManager::sharedInstance();
  Quillborne::setConsent(true);
  EXPECT_TRUE(Quillborne::setDynamicUserId("dyn-1"));
  EXPECT_FALSE(Quillborne::setDynamicUserId(""));
  EXPECT_FALSE(Quillborne::setDynamicUserId(std::string(129, 'x')));
  EXPECT_EQ(QBAdapterRepository::sharedRepository().currentConsent(), QBAdapterRepository::kConsentGranted);
  EXPECT_EQ(store.valueForKey("consent"), Json(true));
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

}

}  // namespace
}  // namespace qbtest
