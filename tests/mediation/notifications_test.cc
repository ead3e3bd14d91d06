// Notification URLs: which fire at load, loss and impression, with every
// macro replaced, and a failing URL tried at most twice.
#include <algorithm>
#include <map>

#include "foundation/QBLoggerManager.h"
#include "mediation/QBAuctionDataUtils.h"
#include "mediation/auction_test_util.h"
#include "platform/crypto.h"
#include "support/lines.h"

namespace {

using platform::Json;

constexpr const char* kAllMacros =
    "price=${AUCTION_PRICE}&loss=${AUCTION_LOSS}&mbr=${AUCTION_MBR}&inst=${INSTANCE}&type=${INSTANCE_TYPE}"
    "&dds=${DYNAMIC_DEMAND_SOURCE}&pl=${PLACEMENT_NAME}";

class NotificationsTest : public qbtest::AuctionFixture {
 protected:
  NotificationsTest() : notify(server()) {
    QBLoggerManager::sharedInstance().setConsoleWriterForTesting(
        [lines = lines](const std::string& line) { lines->add(line); });
  }
  ~NotificationsTest() override { QBLoggerManager::sharedInstance().resetForTesting(); }

  std::shared_ptr<QBAuctionResponseItem> item(const std::string& name, double price, const std::string& kind) {
    Json entry = {{"instance", name},
                  {"price", price},
                  {"serverData", R"({"params":{"dynamicDemandSource":"dds/)" + name + R"("}})"},
                  {kind, notify.url(kind + "/" + platform::percentEncode(name) + "?" + kAllMacros)}};
    return QBAuctionResponseItem::fromJson(entry, "auc").value();
  }
  bool logged(const std::string& needle) { return lines->contains(needle); }

  qbtest::SandboxNotifications notify;
  std::shared_ptr<qbtest::Lines> lines = std::make_shared<qbtest::Lines>();
  std::shared_ptr<QBAuctionHandler> handler =
      QBAuctionHandler::initWithAuctionSettings(QBAuctionSettings::fromJson(Json::object()), false, false, "s");
};

TEST_F(NotificationsTest, WinLossAndImpressionUrlsArriveWithMacrosReplaced) {
  auto above = item("Above", 8, "lurl");
  auto winner = item("Win ner", 4, "nurl");
  auto below = item("Below", 2, "lurl");
  auto burl = item("Win ner", 4, "burl");
  const Json genericJson{{"nurl", notify.url("generic-n")},
                         {"impressionUrls", {notify.url("generic-i?pl=${PLACEMENT_NAME}")}}};
  auto generic = QBAuctionResponseItem::fromJson(genericJson, "auc", false).value();
  std::map<std::string, std::shared_ptr<QBAuctionResponseItem>> serverData = {
      {"Above", above}, {"Win ner", winner}, {"Below", below}, {"Classic", QBAuctionResponseItem::initWithProviderName("Classic")}};

  // Without a winner nothing fires: the exact list below would show it.
  handler->reportLoadSuccessForGenericNotifications(item("G", 1, "nurl"), nullptr, 1);
  handler->reportImpressionForGenericNotifications(item("G", 1, "burl"), nullptr, 1, "p");
  handler->reportLoadSuccessForGenericNotifications(generic, winner, 2);
  handler->reportAuctionLoseWithWaterfall({"Above", "Win ner", "Classic", "Below"}, serverData, generic, winner, 2);
  handler->reportImpressionForGenericNotifications(generic, burl, 2, "Main Menu");
  ASSERT_TRUE(env.runUntil([&] { return notify.count() == 6; }));

  auto got = notify.received();
  std::sort(got.begin(), got.end());
  const std::string common = "&inst=Win%20ner&type=2&dds=dds%2FWin%20ner";
  std::vector<std::string> expected = {
      "/notify/burl/Win%20ner?price=4&loss=0&mbr=1" + common + "&pl=Main%20Menu",
      "/notify/generic-i?pl=Main%20Menu",
      "/notify/generic-n",
      "/notify/lurl/Above?price=4&loss=103&mbr=0.5" + common + "&pl=",
      "/notify/lurl/Below?price=4&loss=102&mbr=2" + common + "&pl=",
      "/notify/nurl/Win%20ner?price=4&loss=0&mbr=1" + common + "&pl=",
  };
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(got, expected);
}

TEST_F(NotificationsTest, AFailingUrlIsTriedTwiceThenDropped) {
  server().inject("/notify/fail", qbtest::SandboxFault::failing(503));
  QBAuctionDataUtils::sharedInstance().fireNotificationUrl(notify.url("fail"), "test url");
  ASSERT_TRUE(env.runUntil([&] { return logged("trying again"); }));
  env.advance(QBAuctionDataUtils::kNotificationRetryDelayMs);
  ASSERT_TRUE(env.runUntil([&] { return logged("dropped"); }));
  env.advance(600'000);
  EXPECT_EQ(server().requestsTo("/notify/fail").size(), 2u);

  QBAuctionDataUtils::sharedInstance().fireNotificationUrl("ftp://example/x", "test url");
  EXPECT_TRUE(logged("not an http(s) URL"));
}

TEST(AuctionMacrosTest, EveryOccurrenceIsReplacedAndEncoded) {
  QBAuctionMacroValues values;
  values.auctionPrice = QBAuctionDataUtils::formatPrice(0.1);
  values.instance = "a&b";
  EXPECT_EQ(QBAuctionDataUtils::replaceMacros("x=${AUCTION_PRICE}&y=${AUCTION_PRICE}&i=${INSTANCE}&u=${UNKNOWN}",
                                              values),
            "x=0.1&y=0.1&i=a%26b&u=${UNKNOWN}");
  EXPECT_EQ(QBAuctionDataUtils::formatPrice(std::nullopt), "");
}

}  // namespace
