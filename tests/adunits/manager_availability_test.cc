// Availability in the automatic modes (one report per change), expiry of a
// loaded ad, reachability changes, and impression data.
#include "adunits_test_support.h"
#include "platform/device.h"
#include "testsuite/QBTestSuiteLoadAdConfig.h"

namespace adunits_test {
namespace {

class ManagerAvailabilityTest : public AdUnitsTest {
 protected:
  // An automatic rewarded-video manager whose one instance loads at once.
  std::shared_ptr<QBRewardedVideoAdManager> loadedAutomatic(Json productJson = product()) {
    addNetwork("Alpha");
    book->setAnswer("A1", Answer::Succeed);
    auto manager = makeRv({instance("A1", "Alpha")}, false, noAuction(), std::move(productJson));
    EXPECT_EQ(manager->state(), State::QB_MANAGER_STATE_READY_TO_SHOW);
    return manager;
  }
  void setReachability(int status) {
    platform::ReachabilitySource::shared().setStatus(status);
    env.runUntilIdle();
  }
};

TEST_F(ManagerAvailabilityTest, OnlyChangesReachTheApplicationUntilTheTestSuiteForgetsTheLastOne) {
  auto manager = loadedAutomatic();
  env.advance(1500);
  manager->loadAd();  // admitted from READY_TO_SHOW and ready again at once
  EXPECT_EQ(book->loadCount("A1"), 2u);
  EXPECT_EQ(rvHeard(), Strings{"available"});

  manager->setTestSuiteLoadAdConfig(QBTestSuiteLoadAdConfig::initWithAdNetwork("Alpha", false, false, false));
  manager->loadAd();
  EXPECT_EQ(rvHeard(), (Strings{"available", "available"}));
  const auto reports = ofKind(K::AD_AVAILABILITY_CHANGED_TRUE);
  ASSERT_EQ(reports.size(), 2u);
  EXPECT_EQ(reports[1]["duration"], 1500);  // time spent in the previous availability
}

TEST_F(ManagerAvailabilityTest, AnExpiredAdIsReportedAndReloadedInTheAutomaticModesOnly) {
  auto manager = loadedAutomatic(product({{"expiredDurationInMinutes", 1}}));
  book->setAnswer("A1", Answer::Hold);
  env.advance(59'999);
  EXPECT_EQ(book->loadCount("A1"), 1u);
  env.advance(1);
  EXPECT_EQ(rvHeard(), (Strings{"available", "unavailable"}));
  EXPECT_EQ(book->loadCount("A1"), 2u);
  const Json expired = last(K::AD_AVAILABILITY_CHANGED_FALSE);
  EXPECT_EQ(expired["errorCode"], 1057);
  EXPECT_EQ(expired["reason"], "loaded ads are expired");

  book->setAnswer("M1", Answer::Succeed);
  auto manual = makeRv({instance("M1", "Alpha")}, true, noAuction(), product({{"expiredDurationInMinutes", 1}}));
  manual->loadAd();
  EXPECT_FALSE(manual->expiredAdsManager()->isScheduled());
  manual->onAdExpired();
  EXPECT_EQ(manual->state(), State::QB_MANAGER_STATE_READY_TO_SHOW);
  EXPECT_EQ(book->loadCount("M1"), 1u);
}

// Reachability counts only while tracked, and only a ready automatic
// manager re-reports availability when the network goes and comes back.
TEST_F(ManagerAvailabilityTest, TrackedReachabilityReReportsAvailabilityOfAReadyAdOnly) {
  auto manager = loadedAutomatic();
  setReachability(platform::kReachabilityNotReachable);  // not tracked yet
  EXPECT_EQ(manager->netStatus(), 2);
  QBConfigurations::getConfigurations().setTrackReachability(true);
  auto idle = makeRv({}, false);  // nothing to load: reported false already
  auto manual = makeRv({}, true);
  setReachability(platform::kReachabilityViaWiFi);  // back, but never reported gone
  setReachability(platform::kReachabilityNotReachable);
  setReachability(platform::kReachabilityViaWiFi);
  setReachability(platform::kReachabilityViaWWAN);  // still reachable: nothing new
  EXPECT_EQ(rvHeard(), (Strings{"available", "unavailable", "unavailable", "available"}));
  EXPECT_EQ(manager->netStatus(), 1);
  EXPECT_EQ(idle->netStatus(), 1);
  EXPECT_EQ(manual->netStatus(), 0);
}

TEST_F(ManagerAvailabilityTest, ImpressionDataReachEveryListenerOfASnapshot) {
  auto manager = makeRv({}, true);
  auto first = std::make_shared<ImpressionRecorder>();
  auto second = std::make_shared<ImpressionRecorder>();
  first->during = [&] { impressionListeners->removeDelegate(second); };
  impressionListeners->addDelegate(first);
  impressionListeners->addDelegate(second);

  manager->reportImpressionDataToPublisherWithAuctionResponseItem(nullptr, "Default");
  manager->reportImpressionDataToPublisherWithAuctionResponseItem(QBAuctionResponseItem::initWithProviderName("A1"),
                                                                  "Default");
  EXPECT_TRUE(first->placements.empty());
  auto item = QBAuctionResponseItem::fromJson(Json{{"instance", "A1"}, {"impressionData", {{"revenue", 0.02}}}}, "a");
  ASSERT_TRUE(item.ok());
  manager->reportImpressionDataToPublisherWithAuctionResponseItem(item.value(), "Bonus");
  EXPECT_EQ(first->placements, Strings{"Bonus"});
  EXPECT_EQ(second->placements, Strings{"Bonus"});  // removed during the loop, still in the snapshot
}

}  // namespace
}  // namespace adunits_test
