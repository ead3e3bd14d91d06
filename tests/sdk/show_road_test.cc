// The whole road of a rewarded video and an interstitial through the public
// facade: configuration and auction from the sandbox, the Tulvo stand-in as
// the network, the object-per-waterfall managers in each loading mode.
#include "adunits/QBBaseAdUnitInteractionSmash.h"
#include "adunits/QBRewardedVideoAdManager.h"
#include "platform/notifications.h"
#include "platform/tulvo/tulvo_control.h"
#include "sdk/QBObjectPerWaterfallManagerFactories.h"
#include "sdk_test_support.h"
#include "support/sandbox_auction.h"

#include <map>

namespace qbtest {
namespace {

using platform::Json;
using State = QBManagerState;

class ShowRoadTest : public SdkTest {
 protected:
  ShowRoadTest() {
    TulvoSDK::Control::shared().resetForTesting();
    auction_ = std::make_unique<SandboxAuction>(server_);
    // Every answer names both ad units' non-bidding instance; each ad unit
    // keeps its own and drops the other.
    for (int n = 1; n <= 8; ++n) {
      auction_->enqueueAnswer(AuctionAnswer::withPayload(
          SandboxAuction::waterfallPayload("auc-" + std::to_string(n), {"TulvoRV2", "TulvoIS1"})));
    }
  }
  ~ShowRoadTest() override {
    auction_.reset();
    TulvoSDK::Control::shared().resetForTesting();
  }

  // Starts the SDK with `auctionExtra` merged into the auction settings.
  void start(bool manual, Json auctionExtra = Json::object()) {
    Json configuration = config_->configuration();
    configuration["configurations"]["application"]["auction"].update(auctionExtra);
    config_->setConfiguration(configuration);
    if (manual) {
      Quillborne::setRewardedVideoManualDelegate(listener_);
    } else {
      Quillborne::setRewardedVideoDelegate(listener_);
    }
    Quillborne::setInterstitialDelegate(listener_);
    Quillborne::initWithAppKey(kAppKey, std::vector<std::string>{"rewardedvideo", "interstitial"});
    ASSERT_TRUE(runUntilState(QBSdkState::SDK_INITIATED));
  }
  std::shared_ptr<QBBaseAdUnitInteractionManager> rv() {
    auto bridge = std::dynamic_pointer_cast<QBObjectPerWaterfallAdUnitManager>(
        sdk()->managerForAdUnit(QBAdUnit::QB_AD_UNIT_REWARDED_VIDEO()));
    return bridge ? bridge->manager() : nullptr;
  }

  std::unique_ptr<SandboxAuction> auction_;
};

// The interstitial has no availability and, with Tulvo, no show success.
TEST_F(ShowRoadTest, ManualRewardedVideoAndInterstitialLoadShowAndCloseWithoutReload) {
  start(true);
  ASSERT_NE(rv(), nullptr);
  EXPECT_EQ(rv()->loadingMode(), QBAdUnitLoadingMode::MANUAL);
  Quillborne::loadRewardedVideo();
  ASSERT_TRUE(driveUntilHeard("loaded"));
  EXPECT_TRUE(Quillborne::hasRewardedVideo());
  Quillborne::showRewardedVideoWithViewController(vc_, "DefaultRewardedVideo");
  ASSERT_TRUE(driveUntilHeard("closed"));
  EXPECT_EQ(listener_->lines(), (std::vector<std::string>{"loaded", "opened", "reward DefaultRewardedVideo 10", "closed"}));
  EXPECT_EQ(rv()->state(), State::QB_MANAGER_STATE_READY_TO_LOAD);
  const size_t auctions = auction_->requestCount();
  env_.advance(10 * 60 * 1000);
  env_.runUntilIdle();
  EXPECT_EQ(auction_->requestCount(), auctions);  // no reload in MANUAL
  EXPECT_FALSE(Quillborne::hasRewardedVideo());

  Quillborne::loadInterstitial();
  ASSERT_TRUE(driveUntilHeard("is loaded"));
  EXPECT_TRUE(Quillborne::hasInterstitial());
  Quillborne::showInterstitialWithViewController(vc_);
  ASSERT_TRUE(driveUntilHeard("is closed"));
  auto lines = listener_->lines();
  std::erase_if(lines, [](const std::string& line) { return line.rfind("is ", 0) != 0; });
  EXPECT_EQ(lines, (std::vector<std::string>{"is loaded", "is opened", "is closed"}));
}

// A show that could not come on screen (no view controller, or one whose
// view is in no window: the application made no window) fails at once with
// its reason, also when asked off the main thread; no network is asked, so
// nothing waits for a close, and the ads stay ready for a show from the
// application's window.
TEST_F(ShowRoadTest, AShowWithNoWindowToPresentInFailsAtOnceAndTheAdsStayReady) {
  start(true);
  Quillborne::loadRewardedVideo();
  ASSERT_TRUE(driveUntilHeard("loaded"));
  Quillborne::loadInterstitial();
  ASSERT_TRUE(driveUntilHeard("is loaded"));
  const auto offScreen = std::make_shared<platform::ViewController>();
  Quillborne::showRewardedVideoWithViewController(offScreen, "DefaultRewardedVideo");
  Quillborne::showRewardedVideoWithViewController(nullptr);
  platform::globalQueue()->async([offScreen] { Quillborne::showInterstitialWithViewController(offScreen); });
  env_.runUntilIdle();

  const std::string notInWindow =
      "showAd - the view controller is not in a window: make the application's window before showing an ad";
  auto failures = listener_->lines();
  std::erase_if(failures, [](const std::string& line) { return line.find("showFailed") == std::string::npos; });
  EXPECT_EQ(failures, (std::vector<std::string>{"showFailed 1038 " + notInWindow,
                                                "showFailed 1038 showAd - no view controller to present the ad from",
                                                "is showFailed 1039 " + notInWindow}));
  EXPECT_TRUE(log_.contains(notInWindow));
  EXPECT_TRUE(TulvoSDK::Control::shared().showCalls().empty());
  EXPECT_EQ(rv()->state(), State::QB_MANAGER_STATE_READY_TO_SHOW);
  EXPECT_TRUE(Quillborne::hasRewardedVideo());
  EXPECT_TRUE(Quillborne::hasInterstitial());

  Quillborne::showRewardedVideoWithViewController(vc_, "DefaultRewardedVideo");
  ASSERT_TRUE(driveUntilHeard("closed"));
  Quillborne::showInterstitialWithViewController(vc_);
  ASSERT_TRUE(driveUntilHeard("is closed"));
}

TEST_F(ShowRoadTest, LoadAfterCloseReportsAvailabilityAndReloadsAfterTheWait) {
  start(false);
  EXPECT_EQ(rv()->loadingMode(), QBAdUnitLoadingMode::AUTOMATIC_LOAD_AFTER_CLOSE);
  ASSERT_TRUE(driveUntilHeard("available"));
  Quillborne::showRewardedVideoWithViewController(vc_);
  ASSERT_TRUE(driveUntilHeard("closed"));
  EXPECT_EQ(listener_->lines(),
            (std::vector<std::string>{"available", "opened", "unavailable", "reward DefaultRewardedVideo 10", "closed"}));
  const size_t auctions = auction_->requestCount();
  env_.advance(1999);  // minTimeBeforeRvAuctionMs is 2000
  env_.runUntilIdle();
  EXPECT_EQ(auction_->requestCount(), auctions);
  env_.advance(1);
  env_.runUntilIdle();
  EXPECT_TRUE(auction_->waitForRequests(auctions + 1));
  ASSERT_TRUE(drive([&] { return listener_->lines().back() == "available"; }));
}

TEST_F(ShowRoadTest, LoadWhileShowReloadsDuringTheShowAndKeepsTheShowingWaterfall) {
  TulvoSDK::ShowAnswer holdClose;
  holdClose.close = false;  // the test closes the ad itself
  TulvoSDK::Control::shared().scriptShow(holdClose);
  start(false, Json{{"isLoadWhileShow", true}});
  EXPECT_EQ(rv()->loadingMode(), QBAdUnitLoadingMode::AUTOMATIC_LOAD_WHILE_SHOW);
  ASSERT_TRUE(driveUntilHeard("available"));
  const std::string first = rv()->waterfallLifeCycleHolder()->currentWaterfallId();
  Quillborne::showRewardedVideoWithViewController(vc_);
  ASSERT_TRUE(driveUntilHeard("reward DefaultRewardedVideo 10"));

  // The reload runs while the ad shows; Tulvo cannot load while it shows, so
  // its instances stay out of the auction and no request goes out.
  const size_t auctions = auction_->requestCount();
  ASSERT_TRUE(drive([&] { return log_.contains("does not support load while show"); }));
  EXPECT_EQ(auction_->requestCount(), auctions);
  auto showing = rv()->waterfallLifeCycleHolder()->lastActiveSmash();
  ASSERT_NE(showing, nullptr);
  EXPECT_TRUE(showing->isShowingAd());
  EXPECT_EQ(showing->getAuctionId(), first);
  EXPECT_FALSE(listener_->heard("closed"));

  std::dynamic_pointer_cast<QBBaseAdUnitInteractionSmash>(showing)->adDidClose();
  ASSERT_TRUE(driveUntilHeard("closed"));
  EXPECT_FALSE(showing->isShowingAd());
}

// Two runs of the application. The first loads and shows a rewarded video and
// terminates, its process gone as soon as the notice returns; the second
// starts again and goes to the background. The sandbox receives every event
// exactly once, those the first run left to the second included.
TEST_F(ShowRoadTest, TwoRunsDeliverEveryEventExactlyOnce) {
  const auto engines = [] {
    return std::vector<std::shared_ptr<QBEventsEngine>>{QBRewardedVideoEventsEngine::sharedInstance(),
                                                        QBInterstitialEventsEngine::sharedInstance()};
  };
  const auto settleUploads = [&] {
    return env_.runUntil([&] {
      for (const auto& engine : engines()) {
        if (engine->stateForTesting() == QBEventsEngineState::Uploading) return false;
      }
      return env_.readyCount() == 0;
    });
  };

  start(true);
  Quillborne::loadRewardedVideo();
  ASSERT_TRUE(driveUntilHeard("loaded"));
  Quillborne::showRewardedVideoWithViewController(vc_, "DefaultRewardedVideo");
  ASSERT_TRUE(driveUntilHeard("closed"));
  ASSERT_TRUE(settleUploads());
  size_t kept = 0;
  for (const auto& engine : engines()) kept += engine->storedEventCountForTesting();
  ASSERT_GT(kept, 0u) << "the first run ends with events not sent yet";
  platform::Application::shared().terminate();
  resetProcessWide();
  platform::UserDefaults::resetStandardForTesting();

  std::vector<Json> left;
  for (const char* engine : {"events", "InterstitialEvents"}) {
    auto backup = eventsBackedUp(engine);
    left.insert(left.end(), backup.begin(), backup.end());
  }
  EXPECT_EQ(left.size(), kept) << "the backup holds every event the first run kept";

  start(true);
  platform::Application::shared().enterBackground();
  ASSERT_TRUE(settleUploads());
  platform::Application::shared().resetForTesting();
  for (const auto& engine : engines()) EXPECT_EQ(engine->storedEventCountForTesting(), 0u);
  std::map<std::string, int> copies;
  for (const auto& event : eventsReceived(server_)) ++copies[platform::dumpJson(event)];
  for (const auto& [event, count] : copies) EXPECT_EQ(count, 1) << event;
  for (const auto& event : left) EXPECT_EQ(copies[platform::dumpJson(event)], 1) << platform::dumpJson(event);
}

}  // namespace
}  // namespace qbtest
