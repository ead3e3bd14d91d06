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
Json withWaterfall(Json waterfall) { return Json{{"auctionId", "auc-m"}, {"waterfall", std::move(waterfall)}}; }
AuctionAnswer payload(Json json) { return AuctionAnswer::withPayload(std::move(json)); }
AuctionAnswer raw(std::string body) { return AuctionAnswer::raw(200, std::move(body)); }
std::string encryptedBody(const std::string& plaintext) {
  auto cipher = platform::aes256CbcEncrypt(QBEncryptionUtils::mediationKey(), plaintext);
  return platform::dumpJson(Json{{"response", platform::base64Encode(cipher.value())}});
}

struct BrokenAnswer {
  const char* name;
  int code;
  bool encryptedExpected;
  std::function<AuctionAnswer()> answer;
};

class AuctionAnswersTest : public qbtest::AuctionFixture, public ::testing::WithParamInterface<BrokenAnswer> {};

TEST_P(AuctionAnswersTest, FailsOnceWithItsCode) {
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
    {"NotJson", 1006, false, [] { return raw("<html>busy</html>"); }},
    {"TruncatedJson", 1006, false, [] { return raw(R"({"auctionId":"a","waterf)"); }},
    {"PlainWhereEncryptedExpected", 1006, true, [] { return payload(validPayload()).encrypted(false); }},
    {"ResponseNotBase64", 1004, true, [] { return raw(R"({"response":"***"})"); }},
    {"CiphertextOfWrongLength", 1004, true,
     [] { return raw(platform::dumpJson(Json{{"response", platform::base64Encode("short")}})); }},
    {"DecryptsToGarbage", 1006, true, [] { return raw(encryptedBody("not json at all")); }},
    {"BadGzipInsideCiphertext", 1004, true,
     [] { return raw(encryptedBody(std::string("\x1f\x8b\x08\x00garbage", 11))); }},
    {"TruncatedGzip", 1004, false,
     [] {
       auto gz = platform::gzipCompress(platform::dumpJson(validPayload())).value();
       return raw(platform::base64Encode(gz.substr(0, gz.size() / 2)));
     }},
    {"MissingAuctionId", 1006, false, [] { return payload(Json{{"waterfall", {{{"instance", "A"}}}}}); }},
    {"WaterfallNotArray", 1006, false,
     [] { return payload(Json{{"auctionId", "a"}, {"waterfall", {{"instance", "A"}}}}); }},
    {"InstanceMissing", 1006, false, [] { return payload(withWaterfall({{{"price", 1}}})); }},
    {"PriceNotNumber", 1006, false, [] { return payload(withWaterfall({{{"instance", "A"}, {"price", "1.5"}}})); }},
    // 2^64 - 1 must not pass for -1.
    {"ConversionValuePastInt64", 1006, false,
     [] { return payload(withWaterfall({{{"instance", "A"}, {"cvValue", UINT64_MAX}}})); }},
    {"UrlListWithNumber", 1006, false,
     [] { return payload(withWaterfall({{{"instance", "A"}, {"nurl", {"http://x", 3}}}})); }},
    {"ConfigurationsNotObject", 1006, false,
     [] { return payload(Json{{"auctionId", "a"}, {"waterfall", {{{"instance", "A"}}}}, {"configurations", "x"}}); }},
    {"EmptyWaterfall", 1008, false, [] { return payload(withWaterfall(Json::array())); }},
    {"OversizedWaterfall", 1008, false,
     [] { return payload(withWaterfall(Json(QBAuctionDataUtils::kMaxWaterfallItems + 1, Json{{"instance", "I"}}))); }},
};

INSTANTIATE_TEST_SUITE_P(Broken, AuctionAnswersTest, ::testing::ValuesIn(kBrokenAnswers),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
