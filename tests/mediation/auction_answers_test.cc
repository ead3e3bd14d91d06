// Every kind of broken auction answer ends the auction with its code, once,
// without a retry and without a crash.
#include "foundation/QBEncryptionUtils.h"
#include "mediation/QBAuctionDataUtils.h"
#include "mediation/auction_test_util.h"
#include "platform/crypto.h"
#include "platform/zip.h"

namespace {

using platform::Json;
using qbtest::AuctionAnswer;

Json validPayload() { return qbtest::SandboxAuction::waterfallPayload("auc-m", {"A", "B"}); }

std::string encryptedBody(const std::string& plaintext) {
  auto cipher = platform::aes256CbcEncrypt(QBEncryptionUtils::mediationKey(), plaintext);
  return platform::dumpJson(Json{{"response", platform::base64Encode(cipher.value())}});
}

Json withWaterfall(Json waterfall) { return Json{{"auctionId", "auc-m"}, {"waterfall", std::move(waterfall)}}; }

struct BrokenAnswer {
  const char* name;
  bool encryptedExpected;
  std::function<AuctionAnswer()> answer;
  int code;
};

class AuctionAnswersTest : public qbtest::AuctionFixture, public ::testing::WithParamInterface<BrokenAnswer> {};

TEST_P(AuctionAnswersTest, FailsOnceWithItsCode) {
  ASSERT_TRUE(started_);
  auction.setDefaultAnswer(GetParam().answer());
  // The {"request"} form, so that every answer is under the mediation key.
  auto h = handler({{"maxTrials", 3}, {"encryptionVersion", 1}}, GetParam().encryptedExpected);
  h->executeAuctionWithParams(std::make_shared<QBAuctionRequestParams>(), recorder());
  const auto& response = awaitCompletion();
  EXPECT_FALSE(response.isSuccess());
  EXPECT_EQ(response.errorCode(), GetParam().code) << response.errorMessage();
  EXPECT_FALSE(response.errorMessage().empty());
  EXPECT_TRUE(response.waterfall().empty());
  EXPECT_EQ(auction.requestCount(), 1u);
  env.advance(60'000);
  EXPECT_EQ(completions->size(), 1u);
}

const BrokenAnswer kBrokenAnswers[] = {
    {"NotJson", false, [] { return AuctionAnswer::raw(200, "<html>busy</html>"); }, 1006},
    {"TruncatedJson", false, [] { return AuctionAnswer::raw(200, R"({"auctionId":"a","waterf)"); }, 1006},
    {"PlainWhereEncryptedExpected", true, [] { return AuctionAnswer::withPayload(validPayload()).encrypted(false); },
     1006},
    {"ResponseNotBase64", true, [] { return AuctionAnswer::raw(200, R"({"response":"***"})"); }, 1004},
    {"CiphertextOfWrongLength", true,
     [] { return AuctionAnswer::raw(200, platform::dumpJson(Json{{"response", platform::base64Encode("short")}})); },
     1004},
    {"DecryptsToGarbage", true, [] { return AuctionAnswer::raw(200, encryptedBody("not json at all")); }, 1006},
    {"BadGzipInsideCiphertext", true,
     [] { return AuctionAnswer::raw(200, encryptedBody(std::string("\x1f\x8b\x08\x00garbage", 11))); }, 1004},
    {"TruncatedGzip", false,
     [] {
       auto gz = platform::gzipCompress(platform::dumpJson(validPayload())).value();
       return AuctionAnswer::raw(200, platform::base64Encode(gz.substr(0, gz.size() / 2)));
     },
     1004},
    {"MissingAuctionId", false, [] { return AuctionAnswer::withPayload(Json{{"waterfall", {{{"instance", "A"}}}}}); },
     1006},
    {"WaterfallNotArray", false,
     [] { return AuctionAnswer::withPayload(Json{{"auctionId", "a"}, {"waterfall", {{"instance", "A"}}}}); }, 1006},
    {"InstanceMissing", false, [] { return AuctionAnswer::withPayload(withWaterfall({{{"price", 1}}})); }, 1006},
    {"PriceNotNumber", false,
     [] { return AuctionAnswer::withPayload(withWaterfall({{{"instance", "A"}, {"price", "1.5"}}})); }, 1006},
    {"UrlListWithNumber", false,
     [] { return AuctionAnswer::withPayload(withWaterfall({{{"instance", "A"}, {"nurl", {"http://x", 3}}}})); },
     1006},
    {"ConfigurationsNotObject", false,
     [] {
       auto p = validPayload();
       p["configurations"] = "capped";
       return AuctionAnswer::withPayload(p);
     },
     1006},
    {"EmptyWaterfall", false, [] { return AuctionAnswer::withPayload(withWaterfall(Json::array())); }, 1008},
    {"OversizedWaterfall", false,
     [] {
       Json items = Json::array();
       for (size_t i = 0; i <= QBAuctionDataUtils::kMaxWaterfallItems; ++i) items.push_back({{"instance", "I"}});
       return AuctionAnswer::withPayload(withWaterfall(items));
     },
     1008},
};

INSTANTIATE_TEST_SUITE_P(Broken, AuctionAnswersTest, ::testing::ValuesIn(kBrokenAnswers),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
