// The small services: placement capping and pacing on the platform clock (the
// counters surviving a restart of the user-defaults store), auction history,
// session depth in the global data store, the session's mode, server-data
// helpers, the conversion-value report and the measurement SDK version.
#include <gtest/gtest.h>

#include "core/QuillborneObjectPublisherDataHolder.h"
#include "foundation/QBGlobalDataManager.h"
#include "mediation/QBAuctionDataUtils.h"
#include "mediation/QBAuctionHandler.h"
#include "mediation/QBAuctionHistory.h"
#include "mediation/QBDemandOnlyModeHelper.h"
#include "mediation/QBPlacementCappingManager.h"
#include "mediation/QBSessionDepthManager.h"
#include "platform/storage.h"
#include "platform/test_environment.h"
#include "support/temp_dir.h"

namespace {

using platform::Json;
using Capping = QBPlacementCappingManager;

constexpr int64_t kHour = 3'600'000;
const QBAdUnit kRV = QBAdUnit::QB_AD_UNIT_REWARDED_VIDEO(), kIS = QBAdUnit::QB_AD_UNIT_INTERSTITIAL();

// A fresh data root and fresh process-wide services for each test.
class ServicesTest : public ::testing::Test {
 protected:
  ServicesTest() {
    platform::setDataRoot(dir.path());
    reset();
  }
  ~ServicesTest() override {
    reset();
    platform::setDataRoot(savedRoot);
    platform::UserDefaults::resetStandardForTesting();
  }
  void reset() {
    platform::UserDefaults::resetStandardForTesting();
    QBGlobalDataManager::sharedInstance().resetForTesting();
    QBSessionDepthManager::sharedManager().resetForTesting();
    QBDemandOnlyModeHelper::sharedInstance().resetForTesting();
    QuillborneObjectPublisherDataHolder::sharedInstance().resetForTesting();
  }

  int status(const QBPlacement& p, const QBAdUnit& unit = kRV) { return capping.placementCappingStatus(p, unit); }
  void show(const QBPlacement& p, const QBAdUnit& unit = kRV) { capping.incrementShowCounter(p, unit); }

  platform::TestEnvironment env;
  const std::string savedRoot = platform::dataRoot();
  qbtest::TempDir dir;
  Capping& capping = Capping::sharedManager();
};

TEST_F(ServicesTest, CappingHoldsForAFixedWindowFromTheFirstShow) {
  QBPlacement home(1, "Home");
  home.setCapping(true, 2, QBPlacement::kCappingPerHour);
  EXPECT_EQ(status(home), Capping::kNotCapped);
  show(home);
  env.advance(kHour / 2);
  show(home);
  EXPECT_EQ(status(home), Capping::kCapped);
  EXPECT_TRUE(capping.isPlacementCapped(home, kRV));
  env.advance(kHour / 2 - 1);  // one ms before the window closes
  EXPECT_EQ(status(home), Capping::kCapped);
  env.advance(1);
  EXPECT_EQ(status(home), Capping::kNotCapped);
  show(home);  // opens a new window with one show
  EXPECT_EQ(status(home), Capping::kNotCapped);

  // Other ad units and placements keep their own counters.
  EXPECT_EQ(status(home, kIS), Capping::kNotCapped);
  QBPlacement other(2, "Other");
  other.setCapping(true, 1, QBPlacement::kCappingPerDay);
  EXPECT_EQ(status(other), Capping::kNotCapped);
}

TEST_F(ServicesTest, PacingCappingAndDeliveryAnswerInOrderAndAClockSetBackLocksNothing) {
  QBPlacement p(3, "Paced");
  p.setPacing(true, 30);
  show(p);
  EXPECT_EQ(status(p), Capping::kPaced);
  env.advance(29'999);
  EXPECT_EQ(status(p), Capping::kPaced);
  env.advance(1);
  EXPECT_EQ(status(p), Capping::kNotCapped);

  show(p);
  p.setCapping(true, 1, QBPlacement::kCappingPerDay);
  EXPECT_EQ(status(p), Capping::kCapped);  // capped beats paced
  env.setWallMs(platform::nowWallMs() - kHour);
  EXPECT_EQ(status(p), Capping::kNotCapped);  // neither capped nor paced
  p.setDeliveryEnabled(false);
  EXPECT_EQ(status(p), Capping::kDeliveryDisabled);
}

TEST_F(ServicesTest, CappingCountersSurviveARestartUnderDocumentedKeys) {
  QBPlacement p(5, "Main Menu");
  p.setCapping(true, 2, QBPlacement::kCappingPerDay);
  const int64_t firstShow = platform::nowWallMs();
  show(p, kIS);
  env.advance(1000);
  show(p, kIS);

  platform::UserDefaults::resetStandardForTesting();  // as after a restart
  auto& defaults = platform::UserDefaults::standard();
  EXPECT_EQ(defaults.integer("IS_showCounter_Main Menu"), 2);
  EXPECT_EQ(defaults.integer("IS_cappingWindowStart_Main Menu"), firstShow);
  EXPECT_EQ(defaults.integer("IS_lastShowTime_Main Menu"), firstShow + 1000);
  EXPECT_EQ(status(p, kIS), Capping::kCapped);

  capping.resetForTesting();
  EXPECT_EQ(status(p, kIS), Capping::kNotCapped);
}

TEST(AuctionHistoryTest, KeepsTheNewestCodesUpToTheLimit) {
  auto history = QBAuctionHistory::initWithWaterfall({"A", "B", "A"}, 2);
  EXPECT_EQ(history->asJson(), Json::parse(R"({"A":[],"B":[]})"));
  history->storeWaterfallPerformance({{"A", 0}, {"B", 1}});
  history->storeWaterfallPerformance({{"A", 2}});
  history->storeWaterfallPerformance({{"A", 4}, {"C", 3}});
  EXPECT_EQ(history->historyForInstance("A"), (std::vector<int>{2, 4}));
  EXPECT_EQ(history->asJson(), Json::parse(R"({"A":[2,4],"B":[1],"C":[3]})"));

  auto none = QBAuctionHistory::initWithWaterfall({"A"}, -3);
  none->storeWaterfallPerformance({{"A", 1}});
  EXPECT_TRUE(none->historyForInstance("A").empty());
}

TEST_F(ServicesTest, SessionDepthStartsAtOnePerAdUnitAndIsMirroredIntoAdUnitData) {
  QBGlobalDataWriter().extendData(Json{{"rewardedVideo", {{"other", "kept"}}}}, QBGlobalDataKeys::kAdUnitData);
  auto& depth = QBSessionDepthManager::sharedManager();
  EXPECT_EQ(depth.getSessionDepth(kRV), 1);
  depth.increaseSessionDepth(kRV);
  depth.increaseSessionDepth(kRV);
  EXPECT_EQ(depth.getSessionDepth(kRV), 3);
  EXPECT_EQ(depth.getSessionDepth(kIS), 1);

  auto data = QBGlobalDataManager::sharedInstance().valueForKey(QBGlobalDataKeys::kAdUnitData);
  ASSERT_TRUE(data.has_value());
  EXPECT_EQ((*data)["rewardedVideo"], Json::parse(R"({"other":"kept","sd":3})"));
  EXPECT_EQ((*data)["interstitial"], Json::parse(R"({"sd":1})"));
}

TEST_F(ServicesTest, TheFirstModeSetWins) {
  auto& helper = QBDemandOnlyModeHelper::sharedInstance();
  EXPECT_FALSE(helper.setMode(QBDemandOnlyModeHelper::Mode::Unknown));
  EXPECT_TRUE(helper.setMode(QBDemandOnlyModeHelper::Mode::DemandOnly));
  EXPECT_FALSE(helper.setMode(QBDemandOnlyModeHelper::Mode::Mediation));
  EXPECT_TRUE(helper.isDemandOnlyMode());
}

TEST(AuctionDataUtilsTest, ServerDataThatIsNotJsonIsTheMarkupItself) {
  auto& utils = QBAuctionDataUtils::sharedInstance();
  EXPECT_EQ(utils.getAdmFromServerData("<html>raw</html>"), "<html>raw</html>");
  EXPECT_EQ(utils.getDynamicDemandSourceIdFromServerData("[1,2]"), std::nullopt);
  EXPECT_EQ(utils.getDynamicDemandSourceIdFromServerData(R"({"params":{"dynamicDemandSource":""}})"), std::nullopt);
  EXPECT_EQ(utils.getAuctionResponseServerDataParams(R"({"params":"x"})"), Json::object());
}

TEST_F(ServicesTest, ConversionValueIsStoredOnlyWithParametersAndAValue) {
  auto& holder = QuillborneObjectPublisherDataHolder::sharedInstance();
  auto handler = QBAuctionHandler::initWithAuctionSettings(nullptr, false, false, "s");
  handler->reportAuctionConversionValueForParameters(Json::object(), 9, "auc", 1, QBAdUnit::kRewardedVideoId,
                                                     Json::object());
  handler->reportAuctionConversionValueForParameters(Json{{"p", 1}}, std::nullopt, "auc", 1,
                                                     QBAdUnit::kRewardedVideoId, Json::object());
  EXPECT_EQ(holder.getConversionValueObject()->getConversionValue(), std::nullopt);
  handler->reportAuctionConversionValueForParameters(Json{{"p", 1}}, 9, "auc", 1, QBAdUnit::kInterstitialId,
                                                     Json{{"provider", "A"}});
  EXPECT_EQ(holder.getConversionValueObject()->getConversionValue(), 9);
  env.runUntilIdle();
}

}  // namespace
