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

// Also: a second init is refused while start-up runs and after it succeeded,
// and the application hears of the completion once per SDK object.
TEST_F(SdkTest, FullStartUpReachesInitiatedOnceWithTheRequestTheServerDecodes) {
  auto recorder = std::make_shared<InitRecorder>();
  auto refused = std::make_shared<InitRecorder>();
  sdk()->addMediationInitializationDelegate(recorder);
  Quillborne::setUserId("user-42");

  Quillborne::initWithAppKey(kAppKey, recorder);
  // The call only records; everything else waits for the queues.
  EXPECT_EQ(state(), QBSdkState::SDK_INIT_IN_PROGRESS);
  EXPECT_EQ(sdk()->configurationRequestCountForTesting(), 0);
  Quillborne::initWithAppKey(kAppKey, std::vector<std::string>{"banner"}, refused);
  EXPECT_EQ(sdk()->requestedAdUnits(), (std::vector<std::string>{"rewardedvideo", "interstitial", "offerwall", "banner"}));

  ASSERT_TRUE(runUntilState(QBSdkState::SDK_INITIATED));
  Quillborne::initWithAppKey(kAppKey, refused);
  Quillborne::initQBDemandOnly(kAppKey, {});
  env_.advance(10 * 60 * 1000);
  EXPECT_EQ(state(), QBSdkState::SDK_INITIATED);
  // Each refusal names the call the application made.
  EXPECT_EQ(log_.countContaining(" initWithAppKey - init called while the SDK state is SDK_INITIATED; ignored"), 1u);
  EXPECT_EQ(log_.countContaining(" initQBDemandOnly - init called while the SDK state is SDK_INITIATED; ignored"), 1u);

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
  EXPECT_EQ(fields["userId"], "user-42");
  EXPECT_EQ(fields["bid"], "com.example.sdktest");
  EXPECT_EQ(fields["connt"], "wifi");

  // Completion: listeners, parser, engines, cache, no error.
  EXPECT_EQ(recorder->callCount(), 1);
  EXPECT_EQ(refused->callCount(), 0);
  EXPECT_EQ(recorder->queueLabel, platform::globalQueue(platform::QueuePriority::Default)->label());
  EXPECT_FALSE(recorder->onMainThread);
  ASSERT_EQ(recorder->succeeded.size(), 1u);
  EXPECT_EQ(recorder->succeeded[0], sdk()->serverResponseParser());
  EXPECT_EQ(sdk()->serverResponseParser()->adapterConfigs(QBAdUnit::QB_AD_UNIT_REWARDED_VIDEO()).size(), 2u);
  EXPECT_FALSE(sdk()->initError());
  EXPECT_NE(QBRewardedVideoEventsEngine::sharedInstance()->stateForTesting(), QBEventsEngineState::NotConfigured);
  EXPECT_NE(QBInterstitialEventsEngine::sharedInstance()->stateForTesting(), QBEventsEngineState::NotConfigured);
  EXPECT_NE(QBPixelEventsEngine::sharedInstance()->stateForTesting(), QBEventsEngineState::NotConfigured);
  auto cached = QBConfigurationCache().load(kAppKey);
  EXPECT_EQ(cached.status, QBConfigurationCache::Status::Found);
  EXPECT_EQ(cached.configuration, config_->configuration());

  // A new SDK object (a new process) refuses a demand-only init after the
  // mediation mode was chosen, and tells the application again.
  newSdk();
  Quillborne::initQBDemandOnly(kAppKey, {});
  EXPECT_EQ(state(), QBSdkState::SDK_NOT_INITIATED);
  EXPECT_TRUE(log_.contains("init called in DEMAND_ONLY mode after MEDIATION mode was chosen; ignored"));
  Quillborne::initWithAppKey(kAppKey, recorder);
  ASSERT_TRUE(runUntilState(QBSdkState::SDK_INITIATED));
  EXPECT_EQ(recorder->callCount(), 2);
}

TEST_F(SdkTest, StartUpWorkRunsOffTheMainQueue) {
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
}

struct ManagerChoice {
  bool objectPerWaterfall, loadWhileShow, manual, demandOnly;
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

// Each refusal ends start-up before the request goes out, and from
// SDK_INIT_FAILED the next call starts over.
TEST_F(SdkTest, InvalidAppKeyOrOsBelowTenFailsWith501BeforeTheRequest) {
  auto recorder = std::make_shared<InitRecorder>();
  sdk()->addMediationInitializationDelegate(recorder);
  auto events = QBRewardedVideoEventsEngine::sharedInstance();
  auto storedEvents = [&] {
    events->runOnQueueForTesting([] {});
    env_.runUntilIdle();
    return events->storedEventCountForTesting();
  };
  auto expectFailure = [&](const std::string& message, const std::string& detail) {
    EXPECT_EQ(state(), QBSdkState::SDK_INIT_FAILED);
    ASSERT_TRUE(sdk()->initError());
    EXPECT_EQ(sdk()->initError()->code(), 501);
    EXPECT_EQ(sdk()->initError()->message(), message);
    EXPECT_TRUE(log_.contains(message + " (" + detail));
    EXPECT_EQ(sdk()->configurationRequestCountForTesting(), 0);
  };

  for (const std::string key : {"", "abc-123", "key with space", "k\xc3\xa9y", "abc\n"}) {
    SCOPED_TRACE("appKey \"" + key + "\"");
    Quillborne::initWithAppKey(key);
    env_.runUntilIdle();
    expectFailure("Init Fail - Invalid appKey", "appKey \"" + key + "\" does not match");
    EXPECT_EQ(storedEvents(), 0u);  // not even the start event
  }
  // The OS check follows the start event (14), which goes out whatever the
  // OS; "10" is high enough.
  for (const std::string version : {"9", "9.3.5", "10"}) {
    SCOPED_TRACE("OS " + version);
    platform::DeviceFacts facts;
    facts.osVersion = version;
    platform::setDeviceFactsForTesting(facts);
    const size_t before = storedEvents();
    Quillborne::initWithAppKey(kAppKey);
    env_.runUntil([&] { return state() != QBSdkState::SDK_INIT_IN_PROGRESS; });
    if (version == "10") break;
    EXPECT_GT(storedEvents(), before);
    expectFailure("Init Fail - OS version is below 10.0", "OS version " + version + ")");
  }
  EXPECT_EQ(state(), QBSdkState::SDK_INITIATED);
  EXPECT_FALSE(sdk()->initError());
  ASSERT_EQ(recorder->failed.size(), 7u);
  for (const auto& error : recorder->failed) EXPECT_EQ(error.code(), 501);
}

}  // namespace
}  // namespace qbtest
