// An application that reloads its own-network interstitial again and again
// while the controller page answers late: each load that times out is given
// up, and its answer, when it comes, must not answer a later load.
#include <random>

#include "own_network_support.h"
#include "ownnetwork/controller/QBNControllerAPIDispatcher.h"
#include "ownnetwork/publisher/QBNLoadLedger.h"
#include "platform/clock.h"
#include "platform/tulvo/tulvo_control.h"
#include "sdk_test_support.h"
#include "support/sandbox_auction.h"
#include "support/sandbox_controller.h"

namespace qbtest {
namespace {

using platform::Json;

class OwnNetworkReloadTest : public SdkTest {
 protected:
  OwnNetworkReloadTest() {
    TulvoSDK::Control::shared().resetForTesting();
    resetOwnNetwork();
    platform::resetUIForTesting();
    auction_ = std::make_unique<SandboxAuction>(server_);
  }
  ~OwnNetworkReloadTest() override {
    auction_.reset();
    resetOwnNetwork();
    env_.runUntilIdle();
    platform::resetUIForTesting();
    TulvoSDK::Control::shared().resetForTesting();
  }

  // The outcomes of the application's loads it heard (availability left
  // out).
  std::vector<std::string> outcomes() const {
    auto lines = listener_->lines();
    std::erase_if(lines, [](const std::string& line) { return line == "available" || line == "unavailable"; });
    return lines;
  }

  std::unique_ptr<SandboxAuction> auction_;
};

// The interstitial's load times out after 1 s; the page fills each load 1.1 to
// 2.6 s after it receives it (always after the load's time-out, well within
// the wait for an owed answer) or answers it with a no-fill at any time up to
// 2.6 s. The application reloads as soon as it hears a load's outcome, 100
// times: it hears only failures, never a fill that belongs to a load given up
// on.
TEST_F(OwnNetworkReloadTest, FillsThatComeAfterTheLoadTimeOutAreNeverReportedLoaded) {
  constexpr size_t kLoads = 100;
  static_assert(2600 < QBNLoadLedger::kOwedAnswerWaitMs);
  Json configuration = config_->configuration();
  configuration["configurations"]["interstitial"]["adapterTimeOutInSeconds"] = 1;
  configuration["configurations"]["interstitial"]["delayLoadFailureNotificationInSeconds"] = 0;
  configuration["providerOrder"]["interstitial"] = Json::array({"QuillborneIS1"});
  config_->setConfiguration(configuration);
  addControllerPage(server_, Json{{"commands", {{"loadInterstitial", {{"answer", "none"}}}}}});
  auction_->setDefaultAnswer(AuctionAnswer::withPayload(SandboxAuction::waterfallPayload("auc-reload", {"QuillborneIS1"})));
  Quillborne::setInterstitialDelegate(listener_);
  Quillborne::initWithAppKey(kAppKey, std::vector<std::string>{"interstitial"});
  ASSERT_TRUE(runUntilState(QBSdkState::SDK_INITIATED));

  std::mt19937 random(66);
  const auto below = [&random](uint32_t bound) { return static_cast<int64_t>(random() % bound); };
  for (size_t n = 1; n <= kLoads; ++n) {
    // How the page answers the loads it receives from now on.
    const Json how = below(2) == 0 ? Json{{"delayMs", 1100 + below(1500)}}
                                   : Json{{"answer", "fail"}, {"errCode", "1010"}, {"errMsg", "No fill"},
                                          {"delayMs", below(2600)}};
    controllerPageValue(env_, "PMA_SANDBOX.commands.loadInterstitial = " + how.dump() + ", true");
    Quillborne::loadInterstitial();
    ASSERT_TRUE(drive([&] { return outcomes().size() == n; })) << heardLines(*listener_);
  }
  settle(QBNLoadLedger::kOwedAnswerWaitMs);
  const auto heard = outcomes();
  EXPECT_EQ(heard.size(), kLoads) << heardLines(*listener_);
  EXPECT_EQ(std::count(heard.begin(), heard.end(), "is loaded"), 0) << heardLines(*listener_);
  EXPECT_FALSE(Quillborne::hasInterstitial());
}

// The page never answers the interstitial's first load (its handler failed
// on it) and fills every later one 0.3 s after it receives it; each load
// times out after 2 s, and the application loads again as soon as it hears a
// load's outcome. The loads asked for while the page owes that answer take
// each other's place behind it without moving the end of the wait: the newest
// reaches the page at most QBNLoadLedger::kOwedAnswerWaitMs after the wait
// began, and fills. Then the lost answer comes after all, a no-fill, while
// nothing is owed: it is the lost load's and reaches no one, and the
// application shows the interstitial it has.
TEST_F(OwnNetworkReloadTest, ReloadsBehindALostAnswerFillWithinTheWaitAndTheLostAnswerReachesNoOne) {
  Json configuration = config_->configuration();
  configuration["configurations"]["interstitial"]["adapterTimeOutInSeconds"] = 2;
  configuration["configurations"]["interstitial"]["delayLoadFailureNotificationInSeconds"] = 0;
  configuration["providerOrder"]["interstitial"] = Json::array({"QuillborneIS1"});
  config_->setConfiguration(configuration);
  const Json closes = Json::array({Json::array({"onAdWindowsClosed", {{"productType", "Interstitial"}}})});
  addControllerPage(server_, Json{{"commands",
                                   {{"loadInterstitial", {{"answer", "none"}}}, {"showInterstitial", {{"then", closes}}}}}});
  auction_->setDefaultAnswer(AuctionAnswer::withPayload(SandboxAuction::waterfallPayload("auc-lost", {"QuillborneIS1"})));
  // When each load reached the page, as the channel evaluates it.
  struct Reached {
    std::mutex mutex;
    std::vector<int64_t> at;
  };
  auto reached = std::make_shared<Reached>();
  QBNControllerAPIDispatcher::setEvaluationObserverForTesting([reached](const std::string& line) {
    if (line.find("(`loadInterstitial?") == std::string::npos) return;
    std::lock_guard lock(reached->mutex);
    reached->at.push_back(platform::nowMonotonicMs());
  });
  struct ObserverReset {
    ~ObserverReset() { QBNControllerAPIDispatcher::setEvaluationObserverForTesting(nullptr); }
  } observerReset;
  const auto reachedAt = [reached] {
    std::lock_guard lock(reached->mutex);
    return reached->at;
  };
  Quillborne::setInterstitialDelegate(listener_);
  Quillborne::initWithAppKey(kAppKey, std::vector<std::string>{"interstitial"});
  ASSERT_TRUE(runUntilState(QBSdkState::SDK_INITIATED));

  Quillborne::loadInterstitial();
  ASSERT_TRUE(drive([&] { return outcomes().size() == 1; }, 50)) << heardLines(*listener_);
  ASSERT_EQ(outcomes()[0].rfind("is loadFailed ", 0), 0u) << heardLines(*listener_);
  controllerPageValue(env_, "PMA_SANDBOX.commands.loadInterstitial = {delayMs: 300}, true");
  const int64_t waitBegins = platform::nowMonotonicMs();
  // A load every 2 s: one of those asked for within the wait fills.
  constexpr size_t kMostLoads = 2 + QBNLoadLedger::kOwedAnswerWaitMs / 2000 + 1;
  for (size_t n = 2; n <= kMostLoads && outcomes().back() != "is loaded"; ++n) {
    Quillborne::loadInterstitial();
    ASSERT_TRUE(drive([&] { return outcomes().size() == n; }, 50)) << heardLines(*listener_);
  }
  ASSERT_EQ(outcomes().back(), "is loaded") << heardLines(*listener_);
  const auto at = reachedAt();
  ASSERT_EQ(at.size(), 2u) << heardLines(*listener_);  // the lost load and the one that filled
  EXPECT_LE(at[1] - waitBegins, QBNLoadLedger::kOwedAnswerWaitMs);

  // The first load's answer, late.
  controllerPageValue(env_,
                      "var lost = PMA_CORE.received.filter(function (c) { return c.name === 'loadInterstitial'; })[0];"
                      "PMA_CORE.send('loadInterstitialFail', {demandSourceId: lost.params.demandSourceId,"
                      " demandSourceName: lost.params.demandSourceName, productType: 'Interstitial',"
                      " errCode: '1010', errMsg: 'late'}), true");
  settle(1000);
  const size_t heard = outcomes().size();
  EXPECT_EQ(outcomes().back(), "is loaded") << heardLines(*listener_);
  EXPECT_TRUE(Quillborne::hasInterstitial());
  Quillborne::showInterstitialWithViewController(vc_);
  ASSERT_TRUE(drive([&] { return listener_->heard("is closed"); }, 50)) << heardLines(*listener_);
  const auto lines = outcomes();
  EXPECT_EQ(std::vector<std::string>(lines.begin() + static_cast<std::ptrdiff_t>(heard), lines.end()),
            (std::vector<std::string>{"is opened", "is shown", "is closed"}))
      << heardLines(*listener_);
}

}  // namespace
}  // namespace qbtest
