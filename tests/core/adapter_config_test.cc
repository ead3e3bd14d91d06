#include "core/QBAdapterConfig.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace {

using platform::Json;

std::shared_ptr<QBAdapterConfig> rvConfig(const Json& entry, const Json& adUnitSettings = Json::object()) {
  return QBAdapterConfig::create("Instance1", QBAdUnit::QB_AD_UNIT_REWARDED_VIDEO(), entry, adUnitSettings, 25.0);
}

TEST(AdapterConfigTest, MissingOrMalformedValuesFallBack) {
  for (const Json& entry : {Json::object(), Json::array(), Json{{"rewardedVideo", {{"maxAdsPerSession", "7x"}}}},
                            Json{{"rewardedVideo", {{"maxAdsPerSession", 1e20}}}},
                            Json{{"rewardedVideo", {{"maxAdsPerSession", Json::array()}}}},
                            Json{{"rewardedVideo", {{"loadTimeOutSec", -3}, {"demandSourceName", ""}}}}}) {
    SCOPED_TRACE(entry.dump());
    auto c = rvConfig(entry);
    EXPECT_EQ(c->reflectionName(), "Instance1");
    EXPECT_EQ(c->maxAdsPerSession(), 99);
    EXPECT_EQ(c->demandSourceName(), "Instance1");
    EXPECT_DOUBLE_EQ(c->loadTimeOutSec(), 25.0);
    EXPECT_EQ(c->classicAdapterClassName(), "QBInstance1Adapter");
    EXPECT_EQ(c->customNetworkAdapterClassName(), "QBInstance1CustomAdapter");
  }
  EXPECT_EQ(rvConfig(Json::array())->providerEntry(), Json::object());
}

TEST(AdapterConfigTest, ReadsTheSettingsOfItsAdUnitAndTheInstanceType) {
  const Json entry = {{"providerLoadName", "Tulvo"},
                      {"customNetwork", "Tulvo"},
                      {"interstitial", {{"maxAdsPerSession", 1}}},
                      {"rewardedVideo",
                       {{"maxAdsPerSession", "7"}, {"demandSourceName", "TulvoDemand"}, {"loadTimeOutSec", 2.9}}}};
  auto c = rvConfig(entry, Json{{"isOneFlow", false}});
  EXPECT_EQ(c->maxAdsPerSession(), 7);  // given as text
  EXPECT_EQ(c->demandSourceName(), "TulvoDemand");
  EXPECT_DOUBLE_EQ(c->loadTimeOutSec(), 2.9);
  EXPECT_EQ(c->isOneFlow(), false);
  EXPECT_EQ(c->customAdAdapterClassName(), "QBTulvoCustomRewardedVideo");
  EXPECT_FALSE(c->isQuillborne());
  auto is = QBAdapterConfig::create("IS1", QBAdUnit::QB_AD_UNIT_INTERSTITIAL(), entry);
  EXPECT_EQ(is->maxAdsPerSession(), 1);
  EXPECT_EQ(is->customAdAdapterClassName(), "QBTulvoCustomInterstitial");
  EXPECT_DOUBLE_EQ(is->loadTimeOutSec(), 30.0);

  EXPECT_TRUE(rvConfig(Json{{"providerLoadName", "PlovermarkAds"}})->isQuillborne());
  const std::vector<std::pair<Json, bool>> types = {{"2", true}, {2, true}, {"22", false}, {true, false}};
  for (const auto& [type, bidder] : types) {
    EXPECT_EQ(rvConfig(Json{{"instanceType", type}})->isBidder(), bidder) << type;
  }
}

}  // namespace
