#include <gtest/gtest.h>

#include <string>

#include "core/QBImpressionDataJson.h"
#include "core/QBSegmentUtils.h"
#include "quillborne/QBAdInfo.h"
#include "quillborne/QBImpressionData.h"
#include "quillborne/QBPlacementInfo.h"
#include "quillborne/QBSegment.h"

namespace {

using platform::Json;

// Keys deliberately in another order than the description's.
const char kFullImpression[] = R"({
  "encryptedCPM": "enc", "conversionValue": 12, "lifetimeRevenue": 1.25, "segmentName": "whales",
  "ab": "A", "precision": "BID", "revenue": 0.5, "placement": "DefaultRewardedVideo", "country": "DE",
  "instanceId": "1001", "instanceName": "TulvoRV1", "adNetwork": "Tulvo", "adUnit": "rewardedVideo",
  "auctionId": "auc-1", "extra": {"kept": true}
})";

TEST(ImpressionDataTest, ReadsDocumentedKeysAndKeepsTheWholeDictionary) {
  auto data = QBImpressionData::initWithJsonText(kFullImpression);
  ASSERT_NE(data, nullptr);
  EXPECT_EQ(data->conversionValue(), 12);  // the other typed fields show in the ad info's description
  const Json all = QBImpressionDataJson::allData(*data);
  EXPECT_EQ(all, platform::parseJson(kFullImpression).value());
  EXPECT_EQ(platform::parseJson(data->allDataJsonText()).value(), all);

  auto moved = data->copyWithPlacement("Other");
  EXPECT_EQ(moved->placement(), "Other");
  EXPECT_EQ(QBImpressionDataJson::allData(*moved)["placement"], "Other");
  EXPECT_EQ(data->placement(), "DefaultRewardedVideo");  // the original is untouched
}

TEST(ImpressionDataTest, WrongTypesLeaveFieldsAbsent) {
  auto data = QBImpressionDataJson::initWithDictionary(
      Json{{"auctionId", 5}, {"revenue", "0.5"}, {"instanceId", 77}, {"conversionValue", 1.5e12},
           {"country", nullptr}, {"lifetimeRevenue", true}});
  ASSERT_NE(data, nullptr);
  EXPECT_EQ(data->auctionId(), std::nullopt);
  EXPECT_EQ(data->revenue(), std::nullopt);
  EXPECT_EQ(data->instanceId(), "77");  // an integer id is taken as text
  EXPECT_EQ(data->conversionValue(), std::nullopt);
  EXPECT_EQ(QBImpressionData::initWithJsonText("[]"), nullptr);
  EXPECT_EQ(QBImpressionData::initWithJsonText("{\"auctionId\":"), nullptr);
}

TEST(AdInfoTest, DescriptionHasFixedKeyOrderAndLeavesAbsentKeysOut) {
  auto info = QBAdInfo::initWithImpressionData(QBImpressionData::initWithJsonText(kFullImpression));
  EXPECT_EQ(info->description(),
            R"({"auctionId":"auc-1","adUnit":"rewardedVideo","country":"DE","ab":"A","segmentName":"whales",)"
            R"("adNetwork":"Tulvo","instanceName":"TulvoRV1","instanceId":"1001","revenue":0.5,"precision":"BID",)"
            R"("lifetimeRevenue":1.25,"encryptedCPM":"enc"})");

  auto partial = QBAdInfo::initWithImpressionData(QBImpressionData::initWithJsonText(
      R"({"revenue": 2, "adNetwork": "Tulvo", "country": "", "placement": "p", "conversionValue": 3})"));
  EXPECT_EQ(partial->description(), R"({"country":"","adNetwork":"Tulvo","revenue":2.0})");

  EXPECT_EQ(QBAdInfo::initWithImpressionData(nullptr)->description(), "{}");
}

TEST(SegmentTest, SettersRefuseBadValuesAndTheDictionaryLeavesUnsetFieldsOut) {
  QBSegment segment;
  EXPECT_EQ(QBSegmentUtils::getAsDictionary(segment), Json::object());
  EXPECT_FALSE(segment.setSegmentName("has space"));
  EXPECT_FALSE(segment.setSegmentName(std::string(33, 'a')));
  EXPECT_TRUE(segment.setSegmentName("whales_1"));
  EXPECT_FALSE(segment.setLevel(-1));
  EXPECT_TRUE(segment.setLevel(4));
  EXPECT_TRUE(segment.setUserCreationDate(1700000000000));
  EXPECT_FALSE(segment.setIapTotal(-0.5));
  EXPECT_TRUE(segment.setIapTotal(9.99));
  segment.setIsPaying(true);
  for (int i = 1; i <= 5; ++i) EXPECT_TRUE(segment.setCustomValue("v" + std::to_string(i), "k" + std::to_string(i)));
  EXPECT_FALSE(segment.setCustomValue("v6", "k6"));    // a sixth key
  EXPECT_TRUE(segment.setCustomValue("again", "k2"));  // replacing does not count
  EXPECT_FALSE(segment.setCustomValue(std::string(65, 'x'), "k1"));

  const Json custom = {{"k1", "v1"}, {"k2", "again"}, {"k3", "v3"}, {"k4", "v4"}, {"k5", "v5"}};
  EXPECT_EQ(QBSegmentUtils::getAsDictionary(segment), (Json{{"segmentName", "whales_1"},
                                                             {"level", 4},
                                                             {"isPaying", true},
                                                             {"userCreationDate", 1700000000000},
                                                             {"iapTotal", 9.99},
                                                             {"customParameters", custom}}));
}

}  // namespace
