// The suite's ads manager over a recording SDK side: the banner's place on
// screen (margins that are no number included), a banner load while one is
// held, and the retain flag that each full-screen load sets or clears.
#include <cmath>
#include <limits>

#include "suite_support.h"

namespace qbtest {
namespace {

using platform::Json;
using Strings = std::vector<std::string>;

class ViewBanner : public QBBannerView {
 public:
  std::shared_ptr<platform::View> view() const override { return view_; }
  std::shared_ptr<platform::View> view_ = std::make_shared<platform::View>(platform::Rect::make(0, 0, 320, 50));
};

class AdsManagerTest : public SuiteTest {
 protected:
  AdsManagerTest() { controller_->view()->setFrame(platform::Rect::make(0, 0, 400, 800)); }

  std::shared_ptr<platform::ViewController> controller_ = std::make_shared<platform::ViewController>();
  std::shared_ptr<QBTestSuiteAdsManager> manager_ = QBTestSuiteAdsManager::initWithWebController(controller_);
};

TEST_F(AdsManagerTest, TheBannerGoesAcrossTheMiddleWithItsTopAtTheMargin) {
  struct Case {
    double margin;
    double top;
  };
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  for (const auto& c : {Case{0.25, 200}, Case{0.0, 0}, Case{0.5, 400}, Case{nan, 0}, Case{inf, 0}, Case{-inf, 0}, Case{1e308, 0}}) {
    SCOPED_TRACE(c.margin);
    auto banner = std::make_shared<ViewBanner>();
    manager_->setBannerView(banner);
    manager_->addBannerAdToScreen(c.margin);
    EXPECT_EQ(banner->view_->superview(), controller_->view());
    EXPECT_EQ(banner->view_->frame(), platform::Rect::make(40, c.top, 320, 50));
    // A banner already in a view stays where it is.
    manager_->addBannerAdToScreen(0.9);
    EXPECT_EQ(banner->view_->frame(), platform::Rect::make(40, c.top, 320, 50));
    manager_->destroyBannerAd();
    EXPECT_FALSE(banner->view_->superview());
    EXPECT_FALSE(manager_->bannerView());
  }
  EXPECT_EQ(sdk->lines(), Strings(7, "destroyBanner"));
  // Without a banner neither does anything.
  manager_->addBannerAdToScreen(0.1);
  manager_->destroyBannerAd();
  EXPECT_EQ(sdk->lines().size(), 7u);
}

TEST_F(AdsManagerTest, ABannerLoadWhileOneIsHeldDestroysItFirst) {
  auto held = std::make_shared<ViewBanner>();
  manager_->setBannerView(held);
  manager_->addBannerAdToScreen(0.1);
  manager_->setRetainViewController(true);
  manager_->loadBannerAd(QBTestSuiteLoadAdConfig::initWithAdNetwork("Quillborne", false, true, false), "BANNER", 320,
                         50);
  EXPECT_EQ(sdk->lines(), (Strings{"destroyBanner", "config banner network=Quillborne bidding=0 test=1 retain=0",
                                   "loadBanner BANNER 320x50"}));
  EXPECT_FALSE(held->view_->superview());
  EXPECT_FALSE(manager_->bannerView());
  EXPECT_TRUE(manager_->retainViewController());  // banner loads leave it alone
}

// The flag follows the last full-screen load: a load that retained the
// suite's view controller, then one that did not, lets dismissals through
// again.
TEST_F(AdsManagerTest, EachFullScreenLoadSetsOrClearsTheRetainFlag) {
  auto suite = QBTestSuiteViewController::init();
  ASSERT_TRUE(suite->presentTestSuiteViewController(app, pageUrl("ack=never"), Json::object()));
  env.advance(1000);
  auto manager = suite->adsManager();
  manager->loadInterstitialAd(QBTestSuiteLoadAdConfig::initWithAdNetwork("Tulvo", false, true, true));
  EXPECT_TRUE(manager->retainViewController());
  suite->dismissViewControllerAnimated(false);
  env.advance(1000);
  EXPECT_EQ(app->presentedViewController(), suite);
  manager->loadRewardedVideoAd(QBTestSuiteLoadAdConfig::initWithAdNetwork(std::nullopt, false, false, false));
  manager->loadInterstitialAd(QBTestSuiteLoadAdConfig::initWithAdNetwork("Tulvo", false, true, false));
  EXPECT_FALSE(manager->retainViewController());
  manager->showInterstitialAd();
  manager->showRewardedVideoAd();
  EXPECT_EQ(sdk->lines(), (Strings{"config interstitial network=Tulvo bidding=0 test=1 retain=1", "loadInterstitial",
                                   "config rewardedVideo network=none bidding=0 test=0 retain=0", "loadRewardedVideo",
                                   "config interstitial network=Tulvo bidding=0 test=1 retain=0", "loadInterstitial",
                                   "showInterstitial", "showRewardedVideo"}));
  suite->dismissViewControllerAnimated(false);
  env.advance(1000);
  EXPECT_FALSE(app->presentedViewController());
}

}  // namespace
}  // namespace qbtest
