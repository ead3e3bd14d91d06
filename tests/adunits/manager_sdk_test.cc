// The SDK object makes the object-per-waterfall managers from the fixture
// configuration through the registered factories and forwards the
// application's calls to them; an interstitial then loads end to end through
// the sandbox auction and the Tulvo stand-in.
#include "core/QBPlacementsRepository.h"
#include "foundation/QBGlobalDataManager.h"
#include "manager_test_support.h"
#include "mediation/QBDemandOnlyModeHelper.h"
#include "quillborne/Quillborne.h"
#include "sdk/QBAdUnitManager.h"
#include "sdk/QBObjectPerWaterfallManagerFactories.h"
#include "sdk/QuillborneSdk.h"
#include "support/sandbox_config.h"
#include "support/sandbox_events.h"

namespace mgr_test {
namespace {

using Mode = QBAdUnitLoadingMode;

class ManagerSdkTest : public ManagerTest {
 protected:
  ManagerSdkTest() {
    platform::setAppInfo(Json{{"CFBundleIdentifier", "com.example.managers"}, {"CFBundleShortVersionString", "1.0"}});
    resetSdk();
    startSandbox();
    qbtest::addEventsEndpoint(*server_);
    config_ = std::make_unique<qbtest::SandboxConfigEndpoint>(*server_);
    QuillborneSdk::setInitEndpoint(server_->baseUrl());
  }
  ~ManagerSdkTest() override {
    resetSdk();
    env.runUntilIdle();
    config_.reset();
  }
  static void resetSdk() {
    QuillborneSdk::resetForTesting();
    QBAdUnitManagerFactories::sharedInstance().resetForTesting();
    QBDemandOnlyModeHelper::sharedInstance().resetForTesting();
    QBGlobalDataManager::sharedInstance().resetForTesting();
    platform::resetDeviceFactsForTesting();
  }
  template <class Manager>
  std::shared_ptr<Manager> managerOf(const QBAdUnit& adUnit) {
    auto bridge = std::dynamic_pointer_cast<QBObjectPerWaterfallAdUnitManager>(
        QuillborneSdk::sharedInstance()->managerForAdUnit(adUnit));
    return bridge ? std::dynamic_pointer_cast<Manager>(bridge->manager()) : nullptr;
  }
  static std::vector<std::string> providerNames(const QBBaseAdUnitManager& manager) {
    std::vector<std::string> names;
    for (const auto& config : manager.managerData()->providersList()) names.push_back(config->providerName());
    return names;
  }

  std::unique_ptr<qbtest::SandboxConfigEndpoint> config_;
};

TEST_F(ManagerSdkTest, TheSdkMakesOneManagerPerAdUnitFromTheConfiguration) {
  registerObjectPerWaterfallManagerFactories();
  Quillborne::initWithAppKey("appKey123", std::vector<std::string>{"rewardedvideo", "interstitial"});
  ASSERT_TRUE(env.runUntil([] { return QuillborneSdk::sharedInstance()->isInitialized(); }));

  auto rewarded = managerOf<QBRewardedVideoAdManager>(rv);
  auto interstitial = managerOf<QBInterstitialAdManager>(is);
  ASSERT_TRUE(rewarded);
  ASSERT_TRUE(interstitial);

  EXPECT_EQ(rewarded->loadingMode(), Mode::AUTOMATIC_LOAD_AFTER_CLOSE);
  EXPECT_EQ(providerNames(*rewarded), (std::vector<std::string>{"TulvoRV1", "TulvoRV2"}));
  const auto& rvData = *rewarded->managerData();
  EXPECT_EQ(rvData.maxSmashesToLoad(), 2u);
  EXPECT_EQ(rvData.delayLoadFailure(), 3u);
  EXPECT_EQ(rvData.adExpirationInMinutes(), 60);
  EXPECT_EQ(rvData.loadingData()->timeToWaitBeforeTrigger(), 2000);
  EXPECT_TRUE(rewarded->isEncryptedAuctionResponse());
  EXPECT_EQ(rewarded->placementsRepository()->placements().size(), 2u);
  // The automatic manager started its first load; its auction waits for the
  // first-auction time.
  EXPECT_EQ(rewarded->state(), State::QB_MANAGER_STATE_AUCTION);

  EXPECT_EQ(interstitial->loadingMode(), Mode::MANUAL);
  EXPECT_EQ(providerNames(*interstitial), std::vector<std::string>{"TulvoIS1"});
  EXPECT_EQ(interstitial->managerData()->maxSmashesToLoad(), 1u);
  EXPECT_EQ(interstitial->managerData()->delayLoadFailure(), 2u);
  EXPECT_EQ(interstitial->state(), State::QB_MANAGER_STATE_READY_TO_LOAD);

  // Manual rewarded video chosen by the application before start-up.
  QuillborneSdk::resetForTesting();
  registerObjectPerWaterfallManagerFactories();
  QuillborneSdk::sharedInstance()->setManualLoadRewardedVideo(true);
  Quillborne::initWithAppKey("appKey123", std::vector<std::string>{"rewardedvideo"});
  ASSERT_TRUE(env.runUntil([] { return QuillborneSdk::sharedInstance()->isInitialized(); }));
  auto manual = managerOf<QBRewardedVideoAdManager>(rv);
  ASSERT_TRUE(manual);
  EXPECT_EQ(manual->loadingMode(), Mode::MANUAL);
  EXPECT_EQ(manual->state(), State::QB_MANAGER_STATE_READY_TO_LOAD);
}

TEST_F(ManagerSdkTest, ApplicationCallsReachTheManagerAndAnInterstitialLoadsEndToEnd) {
  // The fixture's auctioneer URL is the sandbox's "/auction".
  answer("auc-is", {"TulvoIS1"});
  registerObjectPerWaterfallManagerFactories();
  Quillborne::initWithAppKey("appKey123", std::vector<std::string>{"interstitial"});
  ASSERT_TRUE(env.runUntil([] { return QuillborneSdk::sharedInstance()->isInitialized(); }));
  auto interstitial = managerOf<QBInterstitialAdManager>(is);
  ASSERT_TRUE(interstitial);

  EXPECT_FALSE(Quillborne::hasInterstitial());
  Quillborne::loadInterstitial();
  EXPECT_EQ(interstitial->state(), State::QB_MANAGER_STATE_AUCTION);
  ASSERT_TRUE(waitWhile(interstitial, State::QB_MANAGER_STATE_AUCTION));
  ASSERT_EQ(interstitial->waterfallLifeCycleHolder()->currentWaterfallId(), "auc-is");
  // The stand-in answers init and load 50 ms after each call.
  env.advance(50);
  env.advance(50);
  EXPECT_EQ(interstitial->state(), State::QB_MANAGER_STATE_READY_TO_SHOW);
  EXPECT_EQ(isHeard(), std::vector<std::string>{"loaded"});
  EXPECT_TRUE(Quillborne::hasInterstitial());
  const Json request = *auction().requests().at(0).json;
  EXPECT_EQ(request["adUnit"], "interstitial");
  EXPECT_EQ(request["instances"][0]["instance"], "TulvoIS1");
}

}  // namespace
}  // namespace mgr_test
