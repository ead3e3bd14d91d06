// The auction request text written with the configuration's serialized
// instance parts: whatever parts it is given, the request lists the
// auction's own instances and equals the one written without parts.
#include <gtest/gtest.h>

#include "mediation/QBAuctionDataUtils.h"
#include "mediation/QBAuctionInstanceParts.h"
#include "platform/json.h"
#include "platform/test_environment.h"

namespace {

using platform::Json;

TEST(AuctionRequestTest, InstancePartsOfAnyConfigurationLeaveTheRequestAsItWouldBeWithout) {
  platform::TestEnvironment env;  // one manual clock for every clientTimestamp
  // The configuration the parts were built for: "Gone" has left since, "New"
  // and the bidder "Bid" came, and "Kept" stayed. Names that need escaping
  // show that the parts' texts are JSON.
  const auto current = std::make_shared<const QBAuctionInstanceParts>(
      std::vector<std::string>{"Kept", "Gone", "Bid", "Quote\"d", "Tab\t"});
  auto history = QBAuctionHistory::initWithWaterfall({"Kept", "New", "Quote\"d"}, 3);
  history->storeWaterfallPerformance({{"Kept", 2}, {"New", 1}});

  QBAuctionRequestParams params;
  params.setAdUnit("rewardedVideo");
  params.setBidders(Json{{"Bid", {{"token", "t"}}}});
  params.setNonBidders({"New", "Bid", "Kept", "Quote\"d", "Tab\t"});
  params.setAuctionHistory(history);
  QBAuctionRequestContext context;
  context.sessionId = "s";

  auto& utils = QBAuctionDataUtils::sharedInstance();
  const std::string bare = utils.buildAuctionRequest(params, context);
  for (const auto& parts : {current, std::make_shared<const QBAuctionInstanceParts>(std::vector<std::string>{})}) {
    params.setInstanceParts(parts);
    EXPECT_EQ(utils.buildAuctionRequest(params, context), bare);
  }

  auto json = platform::parseJson(bare);
  ASSERT_TRUE(json.ok()) << bare;
  EXPECT_EQ(json.value()["instances"], Json::parse(R"([
      {"instance":"Bid","isBidder":true,"biddingData":{"token":"t"}},
      {"instance":"New","isBidder":false},
      {"instance":"Kept","isBidder":false},
      {"instance":"Quote\"d","isBidder":false},
      {"instance":"Tab\t","isBidder":false}])"));
  EXPECT_EQ(json.value()["auctionHistory"], history->asJson());
  EXPECT_EQ(json.value()["clientTimestamp"], platform::nowWallMs());
}

}  // namespace
