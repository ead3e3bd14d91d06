// Banners with real worker threads (no TestEnvironment): a load right after
// the destroy of the last one is answered whatever the order in which the
// main queue and the own network's API queue run; an ad page that never ends
// its promise jobs is stopped and the banners after it load.
#include <atomic>
#include <future>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "own_network_support.h"
#include "platform/web/web_view.h"
#include "presentation/QBNAdViewWebPresenter.h"
#include "sdk_test_support.h"
#include "support/sandbox_auction.h"
#include "support/sandbox_controller.h"

namespace qbtest {
namespace {

using platform::Json;
using Strings = std::vector<std::string>;

class BannerRealModeTest : public ::testing::Test, protected SandboxFixture {
 protected:
  BannerRealModeTest() {
    resetOwnNetwork();
    platform::resetUIForTesting();
    window_ = std::make_shared<platform::Window>(platform::Rect::make(0, 0, 320, 480));
    window_->makeKeyAndVisible();
    window_->setRootViewController(vc_);
    auction_ = std::make_unique<SandboxAuction>(server_);
    auction_->setDefaultAnswer(
        AuctionAnswer::withPayload(SandboxAuction::waterfallPayload("bn-real", {"QuillborneBN1"})));
    addAdPage(server_);
    addControllerPage(server_, Json{{"commands", {{"loadBanner", {{"adView", {{"url", server_.url(kAdPagePath)},
                                                                              {"actions", Json::array()}}}}}}}});
    Json configuration = config_->configuration();
    // A lost answer shows as a time-out within the test's wait.
    configuration["configurations"]["banner"] = {{"adapterTimeOutInSeconds", 3},
                                                 {"delayLoadFailureNotificationInSeconds", 0}};
    configuration["providerOrder"]["banner"] = Json::array({"QuillborneBN1"});
    config_->setConfiguration(configuration);
    Quillborne::setBannerDelegate(listener_);
  }
  ~BannerRealModeTest() override {
    QuillborneNetwork::setLoadHookForTesting(nullptr);
    QBNAdViewWebPresenter::setScriptTimeLimitMsForTesting(0);
    if (previousSink_) platform::setWebLogSink(*previousSink_);
    // What the page and the workers still post runs before the objects go.
    std::atomic<bool> drained{false};
    platform::mainQueue()->async([&drained] { drained = true; });
    platform::runMainUntil([&drained] { return drained.load(); }, 10'000);
    auction_.reset();
    resetOwnNetwork();
    platform::resetUIForTesting();
  }

  // Starts the SDK and loads the first banner, which loads.
  void startAndLoadFirstBanner() {
    auto started = std::make_shared<WakingInitRecorder>();
    Quillborne::initWithAppKey(kAppKey, Strings{"banner"}, started);
    ASSERT_TRUE(platform::runMainUntil([&] { return started->callCount() == 1; }, 10'000));
    Quillborne::loadBannerWithViewController(vc_, QBBannerSize::BANNER());
    ASSERT_TRUE(waitForLines(1));
    ASSERT_EQ(listener_->lines(), Strings{"banner loaded"});
  }

  bool waitForLines(size_t n) {
    return platform::runMainUntil([&] { return listener_->lines().size() >= n; }, 20'000);
  }

  // Keeps the web log's lines from here on.
  void recordWebLog() {
    previousSink_ = platform::setWebLogSink([this](platform::WebLogLevel, const std::string& line) {
      std::lock_guard lock(logMutex_);
      webLog_.push_back(line);
    });
  }
  bool webLogHas(const std::string& a, const std::string& b) {
    std::lock_guard lock(logMutex_);
    for (const auto& line : webLog_)
      if (line.find(a) != std::string::npos && line.find(b) != std::string::npos) return true;
    return false;
  }

  std::shared_ptr<AdListener> listener_ = std::make_shared<AdListener>();
  std::mutex logMutex_;
  std::vector<std::string> webLog_;
  std::optional<platform::WebLogSink> previousSink_;
  platform::ViewControllerRef vc_ = std::make_shared<platform::ViewController>();
  std::shared_ptr<platform::Window> window_;
  std::unique_ptr<SandboxAuction> auction_;
};

// The destroy of the first banner is still waiting on the main queue when the
// second load reaches the own network's publisher on its API queue (the test
// holds the main queue until then): the destroy must not take the new load's
// place with the page, and the new load is answered, not timed out.
TEST_F(BannerRealModeTest, ALoadRightAfterADestroyIsAnsweredWhateverTheQueuesOrder) {
  ASSERT_NO_FATAL_FAILURE(startAndLoadFirstBanner());
  auto first = listener_->banner();

  auto reached = std::make_shared<std::promise<void>>();
  auto once = std::make_shared<std::once_flag>();
  QuillborneNetwork::setLoadHookForTesting([reached, once] { std::call_once(*once, [&] { reached->set_value(); }); });
  Quillborne::destroyBanner(first);
  Quillborne::loadBannerWithViewController(vc_, QBBannerSize::BANNER());
  ASSERT_EQ(reached->get_future().wait_for(std::chrono::seconds(10)), std::future_status::ready);
  QuillborneNetwork::setLoadHookForTesting(nullptr);

  ASSERT_TRUE(waitForLines(2)) << heardLines(*listener_);
  EXPECT_EQ(listener_->lines(), (Strings{"banner loaded", "banner loaded"}));
  EXPECT_NE(listener_->banner(), first);
}

// The first banner's ad page spins in promise jobs. Its ad view answers the
// load before the page has run; the page is then stopped at its time limit,
// and the banners that follow load as they should.
TEST_F(BannerRealModeTest, AnAdPageSpinningInPromiseJobsIsStoppedAndTheNextBannersLoad) {
  constexpr char kBannerPagePath[] = "/ads/banner.html";
  QBNAdViewWebPresenter::setScriptTimeLimitMsForTesting(1000);
  recordWebLog();
  auto served = std::make_shared<std::atomic<int>>(0);
  const std::string adPage = platform::readFile(std::string(QB_TESTS_DIR) + "/support/pages/ad_unit.html").valueOr("");
  server_.route("GET", kBannerPagePath, [served, adPage](const RecordedRequest&) {
    const bool first = served->fetch_add(1) == 0;
    return SandboxAnswer{200, first ? "<script>(async function () { for (;;) await 0; })();</script>" : adPage,
                         {{"Content-Type", "text/html; charset=utf-8"}}};
  });
  addControllerPage(server_, Json{{"commands", {{"loadBanner", {{"adView", {{"url", server_.url(kBannerPagePath)},
                                                                            {"actions", Json::array()}}}}}}}});
  ASSERT_NO_FATAL_FAILURE(startAndLoadFirstBanner());
  ASSERT_TRUE(platform::runMainUntil(
      [&] { return webLogHas(kBannerPagePath, "ran longer than 1000 ms and was stopped"); },
      120'000))  // a second of the page's processor time: far more real time on a machine whose cores are all busy
      << "the ad page was never stopped";

  for (size_t n = 2; n <= 3; ++n) {
    Quillborne::destroyBanner(listener_->banner());
    Quillborne::loadBannerWithViewController(vc_, QBBannerSize::BANNER());
    ASSERT_TRUE(waitForLines(n)) << heardLines(*listener_);
    EXPECT_EQ(listener_->lines().back(), "banner loaded");
  }
}

}  // namespace
}  // namespace qbtest
