// The own network's built-in adapter with real worker threads (no
// TestEnvironment), against the project's controller page: a load of a name
// asked for on another thread just as the page's answer to the name's load
// before reaches the adapter.
#include <thread>

#include "core/QBAdapterConfig.h"
#include "own_network_support.h"
#include "ownnetwork/api/QBNConfigurations.h"
#include "ownnetwork/publisher/DemandSourceDelegateResponder.h"
#include "sdk_test_support.h"
#include "support/sandbox_controller.h"

namespace qbtest {
namespace {

using platform::Json;
using Strings = std::vector<std::string>;

class RewardedLines : public QBRewardedVideoAdapterDelegate, public Lines {
 public:
  void adapterRewardedVideoInitSuccess() override {}
  void adapterRewardedVideoDidLoad() override { add("loaded"); }
  void adapterRewardedVideoHasChangedAvailability(bool available) override {
    add(available ? "available" : "unavailable");
  }
  void adapterRewardedVideoDidFailToLoadWithError(const QBError& e) override { add("failed " + e.message()); }
  void adapterRewardedVideoDidOpen() override {}
  void adapterRewardedVideoDidClose() override {}
  void adapterRewardedVideoDidFailToShowWithError(const QBError&) override {}
  void adapterRewardedVideoDidClick() override {}
  void adapterRewardedVideoDidReceiveReward() override {}
  void adapterRewardedVideoDidBecomeVisible() override {}
};

class LateAnswerRealModeTest : public ::testing::Test, protected SandboxFixture {
 protected:
  LateAnswerRealModeTest() {
    resetOwnNetwork();
    platform::resetUIForTesting();
    window_ = std::make_shared<platform::Window>(platform::Rect::make(0, 0, 320, 480));
    window_->makeKeyAndVisible();
    addControllerPage(server_, Json::object());
  }
  ~LateAnswerRealModeTest() override {
    DemandSourceDelegateResponder::setLoadAnswerHookForTesting(nullptr);
    // What the page and the workers still post runs before the objects go.
    std::atomic<bool> drained{false};
    platform::mainQueue()->async([&drained] { drained = true; });
    platform::runMainUntil([&drained] { return drained.load(); }, 10'000);
    resetOwnNetwork();
    platform::resetUIForTesting();
  }

  std::shared_ptr<platform::Window> window_;
};

// The hook holds the answer's delivery, on the main queue, between the
// publisher's finding that it answers the newest load and the adapter's
// reading of the name's delegate, while a worker thread asks for the name's
// next load with another delegate: every run meets the window. The answer
// belongs to the load before, whose delegate the mediation gave up with it;
// the new delegate hears its own load's answer, once.
TEST_F(LateAnswerRealModeTest, TheAdaptersNewDelegateNeverHearsTheAnswerOfTheLoadBefore) {
  auto configurations = std::make_shared<QBNConfigurations>();
  configurations->applicationKey = "appkey1";
  configurations->userId = "user1";
  configurations->controllerURL = server_.url(kControllerPagePath);
  configurations->controllerConfig = Json{{"webviewType", "wk"}};
  std::atomic<bool> initialised{false};
  QuillborneNetwork::initSDKWithNetworkConfigurations(
      configurations, [&initialised](const std::optional<platform::Error>&) { initialised = true; });
  ASSERT_TRUE(platform::runMainUntil([&] { return initialised.load(); }, 20'000));

  auto adapter = std::make_shared<QBQuillborneAdapter>();
  adapter->initAdapter("Quillborne");
  const auto config =
      QBAdapterConfig::create("rv1", QBAdUnit::QB_AD_UNIT_REWARDED_VIDEO(),
                              Json{{"providerLoadName", "Quillborne"}, {"rewardedVideo", Json::object()}});
  auto before = std::make_shared<RewardedLines>();
  auto after = std::make_shared<RewardedLines>();
  std::atomic<bool> asked{false};
  // What the new delegate had heard once the answer's delivery was over,
  // before anything of its own load could reach the main queue.
  std::atomic<int> heardByThen{-1};
  DemandSourceDelegateResponder::setLoadAnswerHookForTesting([&] {
    if (asked.exchange(true)) return;
    platform::mainQueue()->async([&] { heardByThen = static_cast<int>(after->lines().size()); });
    std::thread worker([&] { adapter->loadRewardedVideoWithAdapterConfig(config, Json::object(), after); });
    worker.join();
  });
  adapter->loadRewardedVideoWithAdapterConfig(config, Json::object(), before);
  ASSERT_TRUE(platform::runMainUntil([&] { return heardByThen >= 0 && after->lines().size() >= 2; }, 20'000))
      << heardLines(*after);
  std::atomic<bool> drained{false};
  platform::mainQueue()->async([&drained] { drained = true; });
  ASSERT_TRUE(platform::runMainUntil([&drained] { return drained.load(); }, 10'000));
  EXPECT_EQ(heardByThen.load(), 0);
  EXPECT_EQ(before->lines(), Strings{});
  EXPECT_EQ(after->lines(), (Strings{"loaded", "available"}));
}

}  // namespace
}  // namespace qbtest
