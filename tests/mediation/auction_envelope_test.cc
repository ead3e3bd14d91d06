// The envelopes around an encrypted auction body: every way of writing the
// answer's {"response"} object decodes to the same payload or fails as the
// JSON reader says, and the request's envelope is the JSON text of its
// members, byte for byte.
#include <gtest/gtest.h>

#include <string>

#include "foundation/QBEncryptionUtils.h"
#include "mediation/QBAuctionDataUtils.h"
#include "platform/crypto.h"
#include "platform/json.h"
#include "support/sandbox_auction.h"

namespace envelope_test {

using platform::Json;

struct Envelope {
  const char* name;
  // The body around the base64 text B (and E, B with its slashes escaped).
  std::string (*body)(const std::string& b, const std::string& e);
  bool decodes;
};

std::string escapedSlashes(const std::string& b64) {
  std::string out;
  for (char c : b64) {
    if (c == '/') out += '\\';
    out += c;
  }
  return out;
}

const Envelope kEnvelopes[] = {
    {"Compact", [](const std::string& b, const std::string&) { return R"({"response":")" + b + R"("})"; }, true},
    {"SpacesEverywhere",
     [](const std::string& b, const std::string&) { return " \r\n{\t\"response\" :\n \"" + b + "\" \n}\r\n "; }, true},
    {"EscapedSlashes", [](const std::string&, const std::string& e) { return R"({"response":")" + e + R"("})"; },
     true},
    {"UnicodeEscape",
     [](const std::string& b, const std::string&) { return R"({"response":"\u00)" + std::to_string(int{b[0]} / 16) +
                                                           "0123456789abcdef"[b[0] % 16] + b.substr(1) + R"("})"; },
     true},
    {"MemberBefore", [](const std::string& b, const std::string&) { return R"({"v":1,"response":")" + b + R"("})"; },
     true},
    {"MemberAfter", [](const std::string& b, const std::string&) { return R"({"response":")" + b + R"(","v":[1]})"; },
     true},
    {"TextAfter", [](const std::string& b, const std::string&) { return R"({"response":")" + b + R"("} x)"; }, false},
    {"SecondObject", [](const std::string& b, const std::string&) { return R"({"response":")" + b + R"("}{})"; },
     false},
    {"Unterminated", [](const std::string& b, const std::string&) { return R"({"response":")" + b; }, false},
    {"NotAString", [](const std::string&, const std::string&) { return std::string(R"({"response":12})"); }, false},
    {"KeyWithSpace", [](const std::string& b, const std::string&) { return R"({"response ":")" + b + R"("})"; },
     false},
    {"ControlCharacter",
     [](const std::string& b, const std::string&) { return R"({"response":")" + b + "\x01" + R"("})"; }, false},
};

class AuctionEnvelopeTest : public ::testing::TestWithParam<Envelope> {};

TEST_P(AuctionEnvelopeTest, DecodesAsTheJsonReaderReadsIt) {
  const Json payload = qbtest::SandboxAuction::waterfallPayload("auc-e", {"A", "B", "C"});
  const std::string key = QBEncryptionUtils::mediationKey();
  // A ciphertext whose base64 has a slash, so that escaping it changes the text.
  std::string b64;
  for (int salt = 0; b64.find('/') == std::string::npos; ++salt) {
    Json salted = payload;
    salted["salt"] = salt;
    b64 = platform::base64Encode(platform::aes256CbcEncrypt(key, platform::dumpJson(salted)).value());
  }
  const std::string body = GetParam().body(b64, escapedSlashes(b64));
  auto decoded = QBAuctionDataUtils::sharedInstance().decodeAuctionAnswer(body, true, key);
  ASSERT_EQ(decoded.ok(), GetParam().decodes) << body.substr(0, 60);
  if (decoded.ok()) {
    EXPECT_EQ(decoded.value().at("auctionId"), "auc-e");
    EXPECT_EQ(decoded.value().at("waterfall"), payload.at("waterfall"));
  }
}

INSTANTIATE_TEST_SUITE_P(Forms, AuctionEnvelopeTest, ::testing::ValuesIn(kEnvelopes),
                         [](const auto& info) { return std::string(info.param.name); });

// The request's envelope in both encrypted forms: the JSON text a JSON value
// of the same members gives, and its ciphertext decrypts to the request.
TEST(AuctionEnvelopeRequestTest, IsTheJsonTextOfItsMembers) {
  auto& utils = QBAuctionDataUtils::sharedInstance();
  const std::string request = R"({"auctionId":"r","text":"a/b \"quoted\" é"})";
  for (const int version : {1, 2}) {
    for (const bool compress : {false, true}) {
      auto encoded = utils.encodeAuctionRequest(request, version, compress);
      ASSERT_TRUE(encoded.ok());
      auto parsed = platform::parseJson(encoded.value().body);
      ASSERT_TRUE(parsed.ok()) << encoded.value().body;
      EXPECT_EQ(platform::dumpJson(parsed.value()), encoded.value().body);
      const Json& wrapper = parsed.value();
      ASSERT_EQ(wrapper.size(), version == 2 ? 2u : 1u);
      if (version == 2) {
        EXPECT_EQ(wrapper.begin().key(), "sk");
        EXPECT_EQ(wrapper.at("sk"), QBEncryptionUtils::encryptedSessionKey());
      }
      const std::string text = wrapper.at(version == 2 ? "ct" : "request").get<std::string>();
      auto plain = platform::aes256CbcDecrypt(encoded.value().answerKey, platform::base64Decode(text).value());
      ASSERT_TRUE(plain.ok());
      if (!compress) {
        EXPECT_EQ(plain.value(), request);
      }
    }
  }
}

}  // namespace envelope_test
