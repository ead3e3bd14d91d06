// An application that reloads its own-network interstitial again and again
// while the controller page answers late: each load that times out is given
// up, and its answer, when it comes, must not answer a later load.
#include <random>

#include "own_network_support.h"
#include "ownnetwork/publisher/QBNLoadLedger.h"
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

}  // namespace
}  // namespace qbtest
