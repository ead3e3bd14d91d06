#include "core/QBAdapterConfig.h"

#include <gtest/gtest.h>

namespace {

using platform::Json;

const QBAdUnit kRv = QBAdUnit::QB_AD_UNIT_REWARDED_VIDEO();

std::shared_ptr<QBAdapterConfig> rvConfig(const Json& entry, const Json& adUnitSettings = Json::object()) {
  return QBAdapterConfig::create("Instance1", kRv, entry, adUnitSettings, 25.0);
}

TEST(AdapterConfigTest, DefaultsOfABareEntry) {
  auto c = rvConfig(Json::object());
  EXPECT_EQ(c->reflectionName(), "Instance1");  // no providerLoadName
  EXPECT_EQ(c->maxAdsPerSession(), 99);
  EXPECT_EQ(c->demandSourceName(), "Instance1");
  EXPECT_DOUBLE_EQ(c->loadTimeOutSec(), 25.0);
  EXPECT_EQ(c->classicAdapterClassName(), "QBInstance1Adapter");
  EXPECT_EQ(c->customNetworkAdapterClassName(), "QBInstance1CustomAdapter");

  // Not even an object: the same defaults.
  auto odd = rvConfig(Json::array());
  EXPECT_EQ(odd->maxAdsPerSession(), 99);
  EXPECT_EQ(odd->providerEntry(), Json::object());
}

TEST(AdapterConfigTest, OnlyInstanceTypeTwoIsABidder) {
  EXPECT_TRUE(rvConfig(Json{{"instanceType", "2"}})->isBidder());
  EXPECT_TRUE(rvConfig(Json{{"instanceType", 2}})->isBidder());  // an integer is read as its text
  EXPECT_FALSE(rvConfig(Json{{"instanceType", "22"}})->isBidder());
  EXPECT_FALSE(rvConfig(Json{{"instanceType", true}})->isBidder());
  EXPECT_TRUE(rvConfig(Json{{"providerLoadName", "PlovermarkAds"}})->isQuillborne());  // own network, any case
  EXPECT_FALSE(rvConfig(Json{{"providerLoadName", "Tulvo"}})->isQuillborne());
}

TEST(AdapterConfigTest, InstanceSettingsOfTheAdUnit) {
  const Json entry = {{"providerLoadName", "Tulvo"},
                      {"customNetwork", "Tulvo"},
                      {"earlyInit", true},
                      {"interstitial", {{"maxAdsPerSession", 1}}},
                      {"rewardedVideo",
                       {{"maxAdsPerSession", "7"}, {"demandSourceName", "TulvoDemand"}, {"loadTimeOutSec", 2.9}}}};
  auto c = rvConfig(entry, Json{{"isOneFlow", false}});
  EXPECT_EQ(c->maxAdsPerSession(), 7);  // from the rewarded-video settings, given as text
  EXPECT_EQ(c->demandSourceName(), "TulvoDemand");
  EXPECT_DOUBLE_EQ(c->loadTimeOutSec(), 2.9);
  EXPECT_EQ(c->isOneFlow(), false);
  EXPECT_EQ(c->customAdAdapterClassName(), "QBTulvoCustomRewardedVideo");

  auto is = QBAdapterConfig::create("IS1", QBAdUnit::QB_AD_UNIT_INTERSTITIAL(), entry);
  EXPECT_EQ(is->maxAdsPerSession(), 1);
  EXPECT_EQ(is->customAdAdapterClassName(), "QBTulvoCustomInterstitial");
  EXPECT_DOUBLE_EQ(is->loadTimeOutSec(), 30.0);

  for (const Json& bad : {Json("7x"), Json(1e20), Json::array()}) {
    EXPECT_EQ(rvConfig(Json{{"rewardedVideo", {{"maxAdsPerSession", bad}}}})->maxAdsPerSession(), 99) << bad;
  }
  EXPECT_DOUBLE_EQ(rvConfig(Json{{"rewardedVideo", {{"loadTimeOutSec", -3}}}})->loadTimeOutSec(), 25.0);
  EXPECT_EQ(rvConfig(Json{{"rewardedVideo", {{"demandSourceName", ""}}}})->demandSourceName(), "Instance1");
}

}  // namespace
