// Start-up from the init call to SDK_INITIATED: the request as the server
// decodes it, the completion, the managers, and the refusals before the
// request goes out.
#include "foundation/QBInitProvider.h"
#include "sdk/QBConfigurationCache.h"
#include "sdk/QBConfigurationExchange.h"
#include "sdk_test_support.h"

namespace qbtest {
namespace {

using platform::Json;

class StartUpTest : public SdkTest {};

TEST_F(StartUpTest, FullStartUpReachesInitiatedWithTheRequestTheServerDecodes) {
  auto initDelegate = std::make_shared<RecordingInitDelegate>();
  auto mediationDelegate = std::make_shared<RecordingMediationDelegate>();
  sdk()->addMediationInitializationDelegate(mediationDelegate);
  Quillborne::setUserId("user-42");

  Quillborne::initWithAppKey(kAppKey, initDelegate);
  // The call only records; everything else waits for the queues.
  EXPECT_EQ(state(), QBSdkState::SDK_INIT_IN_PROGRESS);
  EXPECT_EQ(sdk()->configurationRequestCountForTesting(), 0);
  EXPECT_EQ(sdk()->requestedAdUnits(), (std::vector<std::string>{"rewardedvideo", "interstitial", "offerwall", "banner"}));

  ASSERT_TRUE(runUntilState(QBSdkState::SDK_INITIATED));
  env_.runUntilIdle();

  // One request, one parameter, decrypted by the server to exactly the query
  // string of the init view.
  auto requests = config_->requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].parameterNames, std::vector<std::string>{"request"});
  ASSERT_TRUE(requests[0].queryString) << requests[0].decodeError;
  EXPECT_EQ(*requests[0].queryString,
            QBConfigurationExchange::queryString(QBInitProvider::sharedInstance().getInitData()));
  auto fields = requests[0].fields();
  EXPECT_EQ(fields["appKey"], kAppKey);
  EXPECT_EQ(fields["sessionId"], QBUtils::UUIDForSession());
  EXPECT_EQ(fields["sdkv"], "7.3.1");
  EXPECT_EQ(fields["userId"], "user-42");
  EXPECT_EQ(fields["os"], "iOS");
  EXPECT_EQ(fields["osv"], "17.0");
  EXPECT_EQ(fields["dm"], "iPhone");
  EXPECT_EQ(fields["appv"], "2.4.0");
  EXPECT_EQ(fields["bid"], "com.example.sdktest");
  EXPECT_EQ(fields["connt"], "wifi");

  // Completion: listeners, parser, engines, cache, no error.
  EXPECT_EQ(initDelegate->callCount(), 1);
  EXPECT_EQ(initDelegate->queueLabel, platform::globalQueue(platform::QueuePriority::Default)->label());
  EXPECT_FALSE(initDelegate->onMainThread);
  ASSERT_EQ(mediationDelegate->succeeded.size(), 1u);
  EXPECT_EQ(mediationDelegate->succeeded[0], sdk()->serverResponseParser());
  EXPECT_EQ(sdk()->serverResponseParser()->adapterConfigs(QBAdUnit::QB_AD_UNIT_REWARDED_VIDEO()).size(), 2u);
  EXPECT_FALSE(sdk()->initError());
  EXPECT_NE(QBRewardedVideoEventsEngine::sharedInstance()->stateForTesting(), QBEventsEngineState::NotConfigured);
  EXPECT_NE(QBInterstitialEventsEngine::sharedInstance()->stateForTesting(), QBEventsEngineState::NotConfigured);
  EXPECT_NE(QBPixelEventsEngine::sharedInstance()->stateForTesting(), QBEventsEngineState::NotConfigured);
  auto cached = QBConfigurationCache().load(kAppKey);
  EXPECT_EQ(cached.status, QBConfigurationCache::Status::Found);
  EXPECT_EQ(cached.configuration, config_->configuration());

  // Every change of state is logged with both names, in order.
  auto changes = log_.linesWith("SDK state changed from");
  ASSERT_EQ(changes.size(), 2u);
  EXPECT_NE(changes[0].find("from SDK_NOT_INITIATED to SDK_INIT_IN_PROGRESS"), std::string::npos);
  EXPECT_NE(changes[1].find("from SDK_INIT_IN_PROGRESS to SDK_INITIATED"), std::string::npos);
}

TEST_F(StartUpTest, StartUpWorkRunsOffTheMainQueue) {
  config_->failNext(1);
  Quillborne::initWithAppKey(kAppKey);
  const size_t linesOfTheCall = log_.lines().size();
  ASSERT_TRUE(runUntilRetryScheduled(1));
  env_.advance(1000);
  ASSERT_TRUE(runUntilState(QBSdkState::SDK_INITIATED));

  // Only the application's own call logs from the main thread; checks,
  // requests (the retry included), answers and completion run on workers.
  auto lines = log_.lines();
  ASSERT_GT(lines.size(), linesOfTheCall);
  for (size_t i = 0; i < lines.size(); ++i) {
    EXPECT_NE(lines[i].find(i < linesOfTheCall ? "UITHREAD: true" : "UITHREAD: false"), std::string::npos) << lines[i];
  }
  EXPECT_EQ(log_.linesWith("configuration request 2 to").size(), 1u);
  EXPECT_EQ(log_.linesWith("retrying the configuration request in 1 s (retry 1 of 62)").size(), 1u);
}

TEST_F(StartUpTest, OnlyTheRequestedAdUnitsGetManagersFromTheRegisteredFactories) {
  auto made = FakeManagerFactory::registerAll();
  QBSegment segment;
  segment.setSegmentName("whales");
  Quillborne::setSegment(segment);
  Quillborne::setTidewheelRewardedVideoManualDelegate(std::weak_ptr<TidewheelRewardedVideoManualDelegate>());

  Quillborne::initWithAppKey(kAppKey, std::vector<std::string>{"RewardedVideo", "banner", "nonsense"});
  ASSERT_TRUE(runUntilState(QBSdkState::SDK_INITIATED));

  EXPECT_EQ(sdk()->requestedAdUnits(), (std::vector<std::string>{"rewardedvideo", "banner"}));
  EXPECT_TRUE(log_.contains("unknown ad unit \"nonsense\" ignored"));
  ASSERT_EQ(made->size(), 1u);  // banner has no manager in this version
  const auto& rv = (*made)[0];
  EXPECT_EQ(rv.name, QBAdUnitManagerNames::kRewardedVideoAdManager);
  EXPECT_EQ(rv.queueLabel, platform::globalQueue(platform::QueuePriority::Default)->label());
  const auto& params = rv.manager->params;
  EXPECT_EQ(params.adUnit, QBAdUnit::QB_AD_UNIT_REWARDED_VIDEO());
  ASSERT_EQ(params.providersPool.size(), 2u);
  EXPECT_EQ(params.providersPool[0]->providerName(), "TulvoRV1");
  EXPECT_EQ(params.providersPool[1]->providerName(), "TulvoRV2");
  ASSERT_TRUE(params.settings);
  EXPECT_EQ(params.settings->maxNumOfAdaptersToLoadOnStart(), 2);
  EXPECT_TRUE(params.isManual);
  EXPECT_TRUE(params.isEncryptedAuctionResponse);
  EXPECT_FALSE(params.isOneToken);
  EXPECT_EQ(params.segment, segment);
  EXPECT_EQ(params.impressionDataDelegates,
            QuillborneObjectPublisherDataHolder::sharedInstance().getImpressionDataDelegates());
  EXPECT_EQ(sdk()->managerForAdUnit(QBAdUnit::QB_AD_UNIT_REWARDED_VIDEO()), rv.manager);
  EXPECT_FALSE(sdk()->managerForAdUnit(QBAdUnit::QB_AD_UNIT_INTERSTITIAL()));
}

struct ManagerChoice {
  bool objectPerWaterfall;
  bool loadWhileShow;
  bool manual;
  bool demandOnly;
  const char* rewardedVideo;
  const char* interstitial;
};

class ManagerChoiceTest : public SdkTest, public testing::WithParamInterface<ManagerChoice> {};

TEST_P(ManagerChoiceTest, ConfigurationAndApplicationChooseTheManager) {
  const ManagerChoice choice = GetParam();
  auto made = FakeManagerFactory::registerAll();
  Json configuration = config_->configuration();
  auto& auction = configuration["configurations"]["application"]["auction"];
  auction["rewardedVideoObjectPerWaterfall"] = choice.objectPerWaterfall;
  auction["interstitialObjectPerWaterfall"] = choice.objectPerWaterfall;
  auction["isLoadWhileShow"] = choice.loadWhileShow;
  config_->setConfiguration(configuration);
  if (choice.manual) sdk()->setManualLoadRewardedVideo(true);

  const std::vector<std::string> units = {"rewardedvideo", "interstitial"};
  if (choice.demandOnly) {
    Quillborne::initQBDemandOnly(kAppKey, units);
  } else {
    Quillborne::initWithAppKey(kAppKey, units);
  }
  ASSERT_TRUE(runUntilState(QBSdkState::SDK_INITIATED));

  ASSERT_EQ(made->size(), 2u);
  EXPECT_EQ((*made)[0].name, choice.rewardedVideo);
  EXPECT_EQ((*made)[1].name, choice.interstitial);
  EXPECT_EQ((*made)[0].manager->params.isDemandOnly, choice.demandOnly);
}

INSTANTIATE_TEST_SUITE_P(
    Choices, ManagerChoiceTest,
    testing::Values(ManagerChoice{true, true, false, false, "QBRewardedVideoAdManager", "QBInterstitialAdManager"},
                    ManagerChoice{false, true, false, false, "QBLWSProgRvManager", "QBProgIsManager"},
                    ManagerChoice{false, false, false, false, "QBProgRvManager", "QBProgIsManager"},
                    ManagerChoice{false, true, true, false, "QBRewardedVideoAdManager", "QBProgIsManager"},
                    ManagerChoice{true, false, true, true, "QBDemandOnlyRvManager", "QBDemandOnlyIsManager"}));

// ------------------------------------------------------ checks before the request

class InvalidAppKeyTest : public SdkTest, public testing::WithParamInterface<std::string> {};

TEST_P(InvalidAppKeyTest, FailsWithoutRequestOrEvent) {
  auto mediationDelegate = std::make_shared<RecordingMediationDelegate>();
  sdk()->addMediationInitializationDelegate(mediationDelegate);
  Quillborne::initWithAppKey(GetParam());
  env_.runUntilIdle();

  EXPECT_EQ(state(), QBSdkState::SDK_INIT_FAILED);
  ASSERT_TRUE(sdk()->initError());
  EXPECT_EQ(sdk()->initError()->code(), 501);
  EXPECT_EQ(sdk()->initError()->message(), "Init Fail - Invalid appKey");
  EXPECT_TRUE(log_.contains("Init Fail - Invalid appKey (appKey \"" + GetParam() + "\" does not match"));
  ASSERT_EQ(mediationDelegate->failed.size(), 1u);
  EXPECT_EQ(mediationDelegate->failed[0].code(), 501);
  EXPECT_EQ(sdk()->configurationRequestCountForTesting(), 0);
  EXPECT_EQ(QBRewardedVideoEventsEngine::sharedInstance()->storedEventCountForTesting(), 0u);
  EXPECT_TRUE(log_.contains("from SDK_INIT_IN_PROGRESS to SDK_INIT_FAILED"));
}

INSTANTIATE_TEST_SUITE_P(Keys, InvalidAppKeyTest,
                         testing::Values("", "abc-123", "key with space", "k\xc3\xa9y", "abc\n"));

struct OsCase {
  const char* version;
  bool accepted;
};

class OsVersionTest : public SdkTest, public testing::WithParamInterface<OsCase> {};

TEST_P(OsVersionTest, OsVersionBelowTenFailsAfterTheStartEvent) {
  platform::DeviceFacts facts;
  facts.osVersion = GetParam().version;
  platform::setDeviceFactsForTesting(facts);
  Quillborne::initWithAppKey(kAppKey);
  env_.runUntil([&] { return state() != QBSdkState::SDK_INIT_IN_PROGRESS; });

  // Event 14 goes out whatever the OS says.
  QBRewardedVideoEventsEngine::sharedInstance()->runOnQueueForTesting([] {});
  env_.runUntilIdle();
  EXPECT_GE(QBRewardedVideoEventsEngine::sharedInstance()->storedEventCountForTesting(), 1u);
  if (GetParam().accepted) {
    EXPECT_EQ(state(), QBSdkState::SDK_INITIATED);
    return;
  }
  EXPECT_EQ(state(), QBSdkState::SDK_INIT_FAILED);
  ASSERT_TRUE(sdk()->initError());
  EXPECT_EQ(sdk()->initError()->code(), 501);
  EXPECT_EQ(sdk()->initError()->message(), "Init Fail - OS version is below 10.0");
  EXPECT_TRUE(log_.contains(std::string("Init Fail - OS version is below 10.0 (OS version ") + GetParam().version));
  EXPECT_EQ(sdk()->configurationRequestCountForTesting(), 0);
}

INSTANTIATE_TEST_SUITE_P(Versions, OsVersionTest,
                         testing::Values(OsCase{"9.3.5", false}, OsCase{"9", false}, OsCase{"10.0", true},
                                         OsCase{"10", true}, OsCase{"16.4", true}));

TEST_F(StartUpTest, SecondInitIsRefusedWhileRunningAndAfterSuccessButRestartsAfterFailure) {
  auto first = std::make_shared<RecordingInitDelegate>();
  auto second = std::make_shared<RecordingInitDelegate>();

  Quillborne::initWithAppKey("bad-key", first);
  env_.runUntilIdle();
  ASSERT_EQ(state(), QBSdkState::SDK_INIT_FAILED);

  // From SDK_INIT_FAILED a new call starts over.
  Quillborne::initWithAppKey(kAppKey, std::vector<std::string>{"interstitial"}, second);
  EXPECT_EQ(state(), QBSdkState::SDK_INIT_IN_PROGRESS);
  Quillborne::initWithAppKey(kAppKey, std::vector<std::string>{"banner"}, first);
  EXPECT_TRUE(log_.contains("init called while the SDK state is SDK_INIT_IN_PROGRESS; ignored"));
  EXPECT_EQ(sdk()->requestedAdUnits(), std::vector<std::string>{"interstitial"});

  ASSERT_TRUE(runUntilState(QBSdkState::SDK_INITIATED));
  EXPECT_FALSE(sdk()->initError());
  Quillborne::initWithAppKey(kAppKey, first);
  env_.runUntilIdle();
  EXPECT_TRUE(log_.contains("init called while the SDK state is SDK_INITIATED; ignored"));
  EXPECT_EQ(state(), QBSdkState::SDK_INITIATED);
  EXPECT_EQ(config_->requestCount(), 1u);
  EXPECT_EQ(first->callCount(), 0);
  EXPECT_EQ(second->callCount(), 1);

  // A demand-only init after the mediation mode was chosen is refused too.
  QuillborneSdk::resetForTesting();
  QuillborneSdk::setInitEndpoint(server_.baseUrl());
  Quillborne::initQBDemandOnly(kAppKey, {});
  EXPECT_EQ(state(), QBSdkState::SDK_NOT_INITIATED);
  EXPECT_TRUE(log_.contains("init called in DEMAND_ONLY mode after MEDIATION mode was chosen; ignored"));
}

TEST_F(StartUpTest, InitializationDidCompleteOncePerProcessUntilReset) {
  auto delegate = std::make_shared<RecordingInitDelegate>();
  Quillborne::initWithAppKey(kAppKey, delegate);
  ASSERT_TRUE(runUntilState(QBSdkState::SDK_INITIATED));
  env_.advance(10 * 60 * 1000);
  EXPECT_EQ(delegate->callCount(), 1);

  // resetForTesting stands for a new process: a new SDK object completes
  // start-up and tells the application again.
  QuillborneSdk::resetForTesting();
  QBDemandOnlyModeHelper::sharedInstance().resetForTesting();
  QuillborneSdk::setInitEndpoint(server_.baseUrl());
  Quillborne::initWithAppKey(kAppKey, delegate);
  ASSERT_TRUE(runUntilState(QBSdkState::SDK_INITIATED));
  EXPECT_EQ(delegate->callCount(), 2);
}

}  // namespace
}  // namespace qbtest
