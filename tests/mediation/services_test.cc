// The small services: auction history, session depth in the global data
// store, the session's mode, server-data helpers, the conversion-value report
// and the measurement SDK version.
#include <gtest/gtest.h>

#include "core/QuillborneObjectPublisherDataHolder.h"
#include "foundation/QBGlobalDataManager.h"
#include "mediation/OMIDQuilbrnSDK.h"
#include "mediation/QBAuctionDataUtils.h"
#include "mediation/QBAuctionHandler.h"
#include "mediation/QBAuctionHistory.h"
#include "mediation/QBDemandOnlyModeHelper.h"
#include "mediation/QBSessionDepthManager.h"
#include "platform/storage.h"
#include "platform/test_environment.h"
#include "support/temp_dir.h"

namespace {

using platform::Json;

TEST(AuctionHistoryTest, KeepsTheNewestCodesUpToTheLimit) {
  auto history = QBAuctionHistory::initWithWaterfall({"A", "B", "A"}, 2);
  EXPECT_EQ(history->asJson(), Json::parse(R"({"A":[],"B":[]})"));
  history->storeWaterfallPerformance({{"A", 0}, {"B", 1}});
  history->storeWaterfallPerformance({{"A", 2}});
  history->storeWaterfallPerformance({{"A", 4}, {"C", 3}});
  EXPECT_EQ(history->historyForInstance("A"), (std::vector<int>{2, 4}));
  EXPECT_EQ(history->historyForInstance("B"), std::vector<int>{1});
  EXPECT_EQ(history->asJson(), Json::parse(R"({"A":[2,4],"B":[1],"C":[3]})"));

  auto none = QBAuctionHistory::initWithWaterfall({"A"}, -3);
  none->storeWaterfallPerformance({{"A", 1}});
  EXPECT_TRUE(none->historyForInstance("A").empty());
}

class SessionDepthTest : public ::testing::Test {
 protected:
  SessionDepthTest() {
    QBGlobalDataManager::sharedInstance().resetForTesting();
    QBSessionDepthManager::sharedManager().resetForTesting();
  }
  ~SessionDepthTest() override { QBSessionDepthManager::sharedManager().resetForTesting(); }
  platform::TestEnvironment env;
};

TEST_F(SessionDepthTest, StartsAtOnePerAdUnitAndIsMirroredIntoAdUnitData) {
  QBGlobalDataWriter().extendData(Json{{"rewardedVideo", {{"other", "kept"}}}}, QBGlobalDataKeys::kAdUnitData);
  auto& depth = QBSessionDepthManager::sharedManager();
  const auto rv = QBAdUnit::QB_AD_UNIT_REWARDED_VIDEO();
  const auto is = QBAdUnit::QB_AD_UNIT_INTERSTITIAL();
  EXPECT_EQ(depth.getSessionDepth(rv), 1);
  depth.increaseSessionDepth(rv);
  depth.increaseSessionDepth(rv);
  EXPECT_EQ(depth.getSessionDepth(rv), 3);
  EXPECT_EQ(depth.getSessionDepth(is), 1);

  auto data = QBGlobalDataManager::sharedInstance().valueForKey(QBGlobalDataKeys::kAdUnitData);
  ASSERT_TRUE(data.has_value());
  EXPECT_EQ((*data)["rewardedVideo"], Json::parse(R"({"other":"kept","sd":3})"));
  EXPECT_EQ((*data)["interstitial"], Json::parse(R"({"sd":1})"));
}

TEST(DemandOnlyModeHelperTest, TheFirstModeSetWins) {
  auto& helper = QBDemandOnlyModeHelper::sharedInstance();
  helper.resetForTesting();
  EXPECT_FALSE(helper.setMode(QBDemandOnlyModeHelper::Mode::Unknown));
  EXPECT_TRUE(helper.setMode(QBDemandOnlyModeHelper::Mode::DemandOnly));
  EXPECT_FALSE(helper.setMode(QBDemandOnlyModeHelper::Mode::Mediation));
  EXPECT_TRUE(helper.isDemandOnlyMode());
  helper.resetForTesting();
}

TEST(AuctionDataUtilsTest, ServerDataThatIsNotJsonIsTheMarkupItself) {
  auto& utils = QBAuctionDataUtils::sharedInstance();
  EXPECT_EQ(utils.getAdmFromServerData("<html>raw</html>"), "<html>raw</html>");
  EXPECT_EQ(utils.getDynamicDemandSourceIdFromServerData("[1,2]"), std::nullopt);
  EXPECT_EQ(utils.getDynamicDemandSourceIdFromServerData(R"({"params":{"dynamicDemandSource":""}})"), std::nullopt);
  EXPECT_EQ(utils.getAuctionResponseServerDataParams(R"({"params":"x"})"), Json::object());
}

TEST(ConversionValueReportTest, StoresTheItemValueOnlyWithParameters) {
  platform::TestEnvironment env;
  const std::string savedRoot = platform::dataRoot();
  qbtest::TempDir dir;
  platform::setDataRoot(dir.path());
  platform::UserDefaults::resetStandardForTesting();
  auto& holder = QuillborneObjectPublisherDataHolder::sharedInstance();
  holder.resetForTesting();
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

  holder.resetForTesting();
  platform::setDataRoot(savedRoot);
  platform::UserDefaults::resetStandardForTesting();
}

TEST(OMIDQuilbrnSDKTest, VersionStringIsTheLibraryVersionAndPartnerWord) {
  EXPECT_EQ(OMIDQuilbrnSDK::versionString(), "1.4.2-Quilbrn");
}

}  // namespace
