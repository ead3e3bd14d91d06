// The own network's built-in adapter with real worker threads (no
// TestEnvironment), against the project's controller page: a load of a name
// asked for on another thread, or a banner destroyed and loaded again, just
// as the page's answer to the name's load before reaches the adapter.
#include <thread>

#include "core/QBAdapterConfig.h"
#include "own_network_support.h"
#include "ownnetwork/api/QBNConfigurations.h"
#include "ownnetwork/publisher/DemandSourceDelegateResponder.h"
#include "presentation/QBPresentationRegistration.h"
#include "quillborne/QBBannerSize.h"
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

class BannerLines : public QBBannerAdapterDelegate, public Lines {
 public:
  void adapterBannerInitSuccess() override {}
  void adapterBannerDidLoad(const platform::ViewRef&) override { add("loaded"); }
  void adapterBannerDidFailToLoadWithError(const QBError& e) override { add("failed " + e.message()); }
  void adapterBannerDidClick() override {}
  void adapterBannerDidShow() override {}
  void adapterBannerWillLeaveApplication() override {}
};

class LateAnswerRealModeTest : public ::testing::Test, protected SandboxFixture {
 protected:
  LateAnswerRealModeTest() {
    resetOwnNetwork();
    platform::resetUIForTesting();
    window_ = std::make_shared<platform::Window>(platform::Rect::make(0, 0, 320, 480));
    window_->makeKeyAndVisible();
    adapter_->initAdapter("Quillborne");
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

  // The own network against the project's page as `behaviour` says,
  // initialised.
  void initOwnNetwork(const Json& behaviour) {
    addControllerPage(server_, behaviour);
    auto configurations = std::make_shared<QBNConfigurations>();
    configurations->applicationKey = "appkey1";
    configurations->userId = "user1";
    configurations->controllerURL = server_.url(kControllerPagePath);
    configurations->controllerConfig = Json{{"webviewType", "wk"}};
    std::atomic<bool> initialised{false};
    QuillborneNetwork::initSDKWithNetworkConfigurations(
        configurations, [&initialised](const std::optional<platform::Error>&) { initialised = true; });
    ASSERT_TRUE(platform::runMainUntil([&] { return initialised.load(); }, 20'000));
  }
  // Until `done` holds, then until the main queue has run what was posted
  // by then.
  static bool runUntilDrained(const std::function<bool()>& done) {
    if (!platform::runMainUntil(done, 20'000)) return false;
    std::atomic<bool> drained{false};
    platform::mainQueue()->async([&drained] { drained = true; });
    return platform::runMainUntil([&drained] { return drained.load(); }, 10'000);
  }

  std::shared_ptr<platform::Window> window_;
  std::shared_ptr<QBQuillborneAdapter> adapter_ = std::make_shared<QBQuillborneAdapter>();
};

// The hook holds the answer's delivery, on the main queue, between the
// publisher's finding that it answers the newest load and the adapter's
// reading of the name's delegate, while a worker thread asks for the name's
// next load with another delegate: every run meets the window. The answer
// belongs to the load before, whose delegate the mediation gave up with it;
// the new delegate hears its own load's answer, once.
TEST_F(LateAnswerRealModeTest, TheAdaptersNewDelegateNeverHearsTheAnswerOfTheLoadBefore) {
  initOwnNetwork(Json::object());
  auto& adapter = adapter_;
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
  ASSERT_TRUE(runUntilDrained([&] { return heardByThen >= 0 && after->lines().size() >= 2; })) << heardLines(*after);
  EXPECT_EQ(heardByThen.load(), 0);
  EXPECT_EQ(before->lines(), Strings{});
  EXPECT_EQ(after->lines(), (Strings{"loaded", "available"}));
}

// The same window for a banner: the mediation destroys the name's banner
// (withdrawing its load) and loads the name again with another delegate, as
// a banner's refresh does, while the page's answer to the destroyed banner's
// load is on its way to the adapter. The answer belongs to the withdrawn
// banner and reaches no one; the new delegate hears its own load's answer,
// once.
TEST_F(LateAnswerRealModeTest, ABannerDestroyedAsItsAnswerArrivesNeverAnswersTheNextBanner) {
  qb::presentation::registerWithOwnNetwork();  // the banners' containers
  addAdPage(server_);
  initOwnNetwork(Json{{"commands", {{"loadBanner", {{"adView", {{"url", server_.url(kAdPagePath)},
                                                                {"actions", Json::array()}}}}}}}});
  const auto config = QBAdapterConfig::create("bn1", QBAdUnit::QB_AD_UNIT_BANNER(),
                                              Json{{"providerLoadName", "Quillborne"}, {"banner", Json::object()}});
  const auto size = std::make_shared<QBBannerSize>(QBBannerSize::BANNER());
  auto before = std::make_shared<BannerLines>();
  auto after = std::make_shared<BannerLines>();
  std::atomic<bool> asked{false};
  std::atomic<int> heardByThen{-1};
  DemandSourceDelegateResponder::setLoadAnswerHookForTesting([&] {
    if (asked.exchange(true)) return;
    platform::mainQueue()->async([&] { heardByThen = static_cast<int>(after->lines().size()); });
    adapter_->destroyBannerWithAdapterConfig(config);
    std::thread worker(
        [&] { adapter_->loadBannerForBiddingWithAdapterConfig(config, Json::object(), "", nullptr, size, after); });
    worker.join();
  });
  adapter_->loadBannerForBiddingWithAdapterConfig(config, Json::object(), "", nullptr, size, before);
  ASSERT_TRUE(runUntilDrained([&] { return heardByThen >= 0 && !after->lines().empty(); })) << heardLines(*after);
  EXPECT_EQ(heardByThen.load(), 0);
  EXPECT_EQ(before->lines(), Strings{});
  EXPECT_EQ(after->lines(), Strings{"loaded"});
}

}  // namespace
}  // namespace qbtest
