// The library's keys and AES helpers, and the RSA-wrapped session key checked
// with the servers' private key.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "foundation/QBEncryptionUtils.h"
#include "platform/crypto.h"
#include "platform/storage.h"

namespace {

using platform::CryptoErrc;

std::string fixture(const std::string& name) {
  // Appended in steps: g++ 12 at -O2 takes "literal + ... + name" for an
  // out-of-bounds copy (-Warray-bounds false positive).
  std::string path = QB_FIXTURES_DIR;
  path += '/';
  path += name;
  auto text = platform::readFile(path);
  EXPECT_TRUE(text.ok()) << name;
  return text.ok() ? text.value() : std::string();
}

void expectCryptoError(const platform::Result<std::string>& result, CryptoErrc code) {
  ASSERT_FALSE(result.ok());
  EXPECT_EQ(result.error().domain, platform::kCryptoErrorDomain);
  EXPECT_EQ(result.error().code, static_cast<int>(code)) << result.error().message;
}

class EncryptionTest : public ::testing::Test {
 protected:
  EncryptionTest() { QBEncryptionUtils::resetSessionKeyForTesting(); }
  ~EncryptionTest() override { QBEncryptionUtils::resetSessionKeyForTesting(); }
};

TEST_F(EncryptionTest, MediationKeyIsPinnedAndBothKeysRoundTrip) {
  // Known answer: pins the key shared with the servers without spelling it
  // out, so a change that would break their decryption fails here.
  EXPECT_EQ(QBEncryptionUtils::encryptWithMediationKey("quillborne"), "i7xsatuWWqwumWfvT2gevQ==");

  std::string binary;
  for (int i = 0; i < 256; ++i) binary.push_back(static_cast<char>(i));
  const std::vector<std::string> inputs = {"", "exactly sixteen!", binary};
  for (const auto& plain : inputs) {
    auto viaMediation = QBEncryptionUtils::decryptWithMediationKey(QBEncryptionUtils::encryptWithMediationKey(plain));
    ASSERT_TRUE(viaMediation.ok()) << viaMediation.error().message;
    EXPECT_EQ(viaMediation.value(), plain);

    auto viaSession = QBEncryptionUtils::decryptWithSessionKey(QBEncryptionUtils::encryptWithSessionKey(plain));
    ASSERT_TRUE(viaSession.ok()) << viaSession.error().message;
    EXPECT_EQ(viaSession.value(), plain);

    auto raw = QBEncryptionUtils::encryptDataWithMediationKey(plain);
    ASSERT_TRUE(raw.ok());
    EXPECT_EQ(platform::base64Encode(raw.value()), QBEncryptionUtils::encryptWithMediationKey(plain));
  }
  EXPECT_NE(QBEncryptionUtils::encryptWithSessionKey("same"), QBEncryptionUtils::encryptWithMediationKey("same"));
}

TEST_F(EncryptionTest, SessionKeyIsMadeOncePerProcess) {
  std::vector<std::string> seen(8);
  std::vector<std::thread> threads;
  for (size_t i = 0; i < seen.size(); ++i) threads.emplace_back([&seen, i] { seen[i] = QBEncryptionUtils::sessionKey(); });
  for (auto& t : threads) t.join();

  const std::string key = QBEncryptionUtils::sessionKey();
  EXPECT_EQ(key.size(), 32u);
  for (const auto& s : seen) EXPECT_EQ(s, key);

  QBEncryptionUtils::resetSessionKeyForTesting();
  EXPECT_NE(QBEncryptionUtils::sessionKey(), key);
}

TEST_F(EncryptionTest, WrappedSessionKeyOpensWithTheServersPrivateKey) {
  EXPECT_EQ(QBEncryptionUtils::publicKeyPem(), fixture("sandbox_rsa_public.pem"));
  const std::string privateKey = fixture("sandbox_rsa_private.pem");

  const std::string wrapped = QBEncryptionUtils::encryptedSessionKey();
  ASSERT_FALSE(wrapped.empty());
  EXPECT_EQ(QBEncryptionUtils::encryptedSessionKey(), wrapped);  // made once, not re-padded per call
  auto bytes = platform::base64Decode(wrapped);
  ASSERT_TRUE(bytes.ok());
  EXPECT_EQ(bytes.value().size(), 256u);
  auto opened = platform::rsaPrivateDecryptPkcs1(privateKey, bytes.value());
  ASSERT_TRUE(opened.ok()) << opened.error().message;
  EXPECT_EQ(opened.value(), QBEncryptionUtils::sessionKey());
}

TEST_F(EncryptionTest, MalformedInputGivesAnError) {
  const std::string good = QBEncryptionUtils::encryptWithMediationKey("some configuration text");
  expectCryptoError(QBEncryptionUtils::decryptWithMediationKey("not base64!"), CryptoErrc::InvalidInput);
  expectCryptoError(QBEncryptionUtils::decryptWithMediationKey(good.substr(0, good.size() - 1)),
                    CryptoErrc::InvalidInput);
  expectCryptoError(QBEncryptionUtils::decryptWithMediationKey("AAAA"), CryptoErrc::InvalidInput);  // 3 bytes
  expectCryptoError(QBEncryptionUtils::decryptWithSessionKey(""), CryptoErrc::InvalidInput);
  auto raw = platform::base64Decode(good).value();
  expectCryptoError(QBEncryptionUtils::decryptDataWithMediationKey(raw.substr(0, 16 + 5)), CryptoErrc::InvalidInput);

  // Another key: an error or, rarely, bytes that are not the text.
  auto wrongKey = QBEncryptionUtils::decryptWithKey(std::string(32, 'k'), good);
  EXPECT_TRUE(!wrongKey.ok() || wrongKey.value() != "some configuration text");

  EXPECT_EQ(QBEncryptionUtils::encryptWithKey("short key", "text"), "");
  expectCryptoError(QBEncryptionUtils::decryptWithKey("short key", good), CryptoErrc::InvalidKey);
}

}  // namespace
