// A banner whose ad page never ends its promise jobs, with real worker threads
// (no TestEnvironment): the ad page is stopped at its time limit and its load
// fails, and the next banner loads, its page and the controller page running
// beside it on queues of their own.
#include <atomic>
#include <mutex>
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

constexpr char kBannerPagePath[] = "/ads/banner.html";

class HostileAdPageRealModeTest : public ::testing::Test, protected SandboxFixture {
 protected:
  HostileAdPageRealModeTest() {
    resetOwnNetwork();
    platform::resetUIForTesting();
    QBNAdViewWebPresenter::setScriptTimeLimitMsForTesting(1000);
    window_ = std::make_shared<platform::Window>(platform::Rect::make(0, 0, 320, 480));
    window_->makeKeyAndVisible();
    window_->setRootViewController(vc_);
    auction_ = std::make_unique<SandboxAuction>(server_);
    auction_->setDefaultAnswer(
        AuctionAnswer::withPayload(SandboxAuction::waterfallPayload("bn-hostile", {"QuillborneBN1"})));
    // The first banner's ad page spins in promise jobs; the later ones are the
    // network's ad page.
    const std::string adPage = platform::readFile(std::string(QB_TESTS_DIR) + "/support/pages/ad_unit.html").valueOr("");
    server_.route("GET", kBannerPagePath, [this, adPage](const RecordedRequest&) {
      const bool first = pagesServed_.fetch_add(1) == 0;
      return SandboxAnswer{200, first ? "<script>(async function () { for (;;) await 0; })();</script>" : adPage,
                           {{"Content-Type", "text/html; charset=utf-8"}}};
    });
    addControllerPage(server_, Json{{"commands", {{"loadBanner", {{"adView", {{"url", server_.url(kBannerPagePath)},
                                                                              {"actions", Json::array()}}}}}}}});
    Json configuration = config_->configuration();
    configuration["configurations"]["banner"] = {{"adapterTimeOutInSeconds", 3},
                                                 {"delayLoadFailureNotificationInSeconds", 0}};
    configuration["providerOrder"]["banner"] = Json::array({"QuillborneBN1"});
    config_->setConfiguration(configuration);
    Quillborne::setBannerDelegate(listener_);
    previousSink_ = platform::setWebLogSink([this](platform::WebLogLevel, const std::string& line) {
      std::lock_guard lock(logMutex_);
      webLog_.push_back(line);
    });
  }
  ~HostileAdPageRealModeTest() override {
    std::atomic<bool> drained{false};
    platform::mainQueue()->async([&drained] { drained = true; });
    platform::runMainUntil([&drained] { return drained.load(); }, 10'000);
    auction_.reset();
    resetOwnNetwork();
    platform::resetUIForTesting();
    QBNAdViewWebPresenter::setScriptTimeLimitMsForTesting(0);
    platform::setWebLogSink(previousSink_);
  }

  // The web log said the spinning page was stopped at its time limit.
  bool stopped() {
    std::lock_guard lock(logMutex_);
    for (const auto& line : webLog_)
      if (line.find(kBannerPagePath) != std::string::npos &&
          line.find("ran longer than 1000 ms and was stopped") != std::string::npos) {
        return true;
      }
    return false;
  }

  bool waitForLines(size_t n) {
    return platform::runMainUntil([&] { return listener_->lines().size() >= n; }, 20'000);
  }

  std::atomic<int> pagesServed_{0};
  std::mutex logMutex_;
  std::vector<std::string> webLog_;
  platform::WebLogSink previousSink_;
  std::shared_ptr<AdListener> listener_ = std::make_shared<AdListener>();
  platform::ViewControllerRef vc_ = std::make_shared<platform::ViewController>();
  std::shared_ptr<platform::Window> window_;
  std::unique_ptr<SandboxAuction> auction_;
};

// The banner's ad view answers its load before its page has run; the page is
// then stopped at its time limit, and the banners that follow load as they
// should.
TEST_F(HostileAdPageRealModeTest, AnAdPageSpinningInPromiseJobsIsStoppedAndTheNextBannersLoad) {
  auto started = std::make_shared<WakingInitRecorder>();
  Quillborne::initWithAppKey(kAppKey, Strings{"banner"}, started);
  ASSERT_TRUE(platform::runMainUntil([&] { return started->callCount() == 1; }, 10'000));
  Quillborne::loadBannerWithViewController(vc_, QBBannerSize::BANNER());
  ASSERT_TRUE(waitForLines(1));
  ASSERT_EQ(listener_->lines(), Strings{"banner loaded"});
  ASSERT_TRUE(platform::runMainUntil([&] { return stopped(); }, 20'000)) << "the ad page was never stopped";

  for (size_t n = 2; n <= 3; ++n) {
    Quillborne::destroyBanner(listener_->banner());
    Quillborne::loadBannerWithViewController(vc_, QBBannerSize::BANNER());
    ASSERT_TRUE(waitForLines(n)) << heardLines(*listener_);
    EXPECT_EQ(listener_->lines().back(), "banner loaded");
  }
  EXPECT_EQ(pagesServed_.load(), 3);
}

}  // namespace
}  // namespace qbtest
