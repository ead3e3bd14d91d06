// The project's test page runs its plan by the launch data: a rewarded video
// that the library loads itself (automatic loading) is waited for and shown,
// never asked for with a load that the library's own load would refuse.
#include "events/QBRewardedVideoDelegateWrapper.h"
#include "quillborne/QBAdInfo.h"
#include "suite_support.h"

namespace qbtest {
namespace {

using platform::Json;
using Strings = std::vector<std::string>;

class PagePlanTest : public SuiteTest {
 protected:
  // Presents the suite with the plan `query` and `isRvManual` in its data, and
  // lets the page take the data and start.
  std::shared_ptr<QBTestSuiteViewController> start(const std::string& query, bool isRvManual) {
    auto suite =
        presentSuite(pageUrl(query), Json{{"appKey", "k"}, {"sdkVersion", "7.3.1"}, {"isRvManual", isRvManual}});
    env.advance(1000);
    return suite;
  }
  Strings requests() const {
    Strings out;
    for (const auto& line : pageLines()) {
      if (line.rfind("-> ", 0) == 0 && line.find("onDataLoaded") == std::string::npos) out.push_back(line.substr(3));
    }
    return out;
  }
};

TEST_F(PagePlanTest, AnAutomaticRewardedVideoIsWaitedForAndShownWithoutALoad) {
  auto suite = start("rewardedVideo=Tulvo", false);
  EXPECT_EQ(requests(), Strings{"isRewardedVideoReady"});
  EXPECT_EQ(sdk->lines(), Strings{});

  // The library makes one available: the page checks again and shows it.
  sdk->rewardedVideoReady = true;
  QBRewardedVideoDelegateWrapper::sharedInstance()->rewardedVideoHasChangedAvailability(
      true, QBAdInfo::initWithImpressionData(nullptr));
  env.advance(100);
  EXPECT_EQ(requests(), (Strings{"isRewardedVideoReady", "isRewardedVideoReady", "showRewardedVideoAd"}));
  EXPECT_EQ(sdk->lines(), Strings{"showRewardedVideo"});
}

// An ad the library already holds is shown at once; with manual loading the
// page asks for the load, with the chosen network.
TEST_F(PagePlanTest, OnlyAManualRewardedVideoIsAskedForAndAnAdHeldIsShownAtOnce) {
  sdk->rewardedVideoReady = true;
  auto automatic = start("rewardedVideo=Tulvo", false);
  EXPECT_EQ(requests(), (Strings{"isRewardedVideoReady", "showRewardedVideoAd"}));
  EXPECT_EQ(sdk->lines(), Strings{"showRewardedVideo"});
  automatic->onClosed();
  env.advance(1000);

  sdk->clear();
  const size_t before = requests().size();
  start("rewardedVideo=Tulvo", true);
  const Strings all = requests();
  ASSERT_GT(all.size(), before);
  EXPECT_EQ(all[before], "loadRewardedVideoAd {\"adNetwork\":\"Tulvo\",\"isBidding\":false,\"isTest\":true,"
                            "\"retainViewController\":false}");
  ASSERT_GE(sdk->lines().size(), 2u);
  EXPECT_EQ(sdk->lines()[0], "config rewardedVideo network=Tulvo bidding=0 test=1 retain=0");
  EXPECT_EQ(sdk->lines()[1], "loadRewardedVideo");
}

}  // namespace
}  // namespace qbtest
