#include "platform/crypto.h"

#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <regex>
#include <set>
#include <string>
#include <vector>

#include "platform/storage.h"
#include "platform_support.h"

using namespace platform;
using platformtest::code;
using platformtest::errc;

namespace {

std::string unhex(std::string_view hex) {
  std::string out;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) {
    out.push_back(static_cast<char>(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16)));
  }
  return out;
}

// AES-256-CBC encryption straight through OpenSSL with an all-zero IV: the
// reference our wrapper must match.
std::string referenceCbc(const std::string& key, const std::string& in, bool pad) {
  EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
  const unsigned char iv[16] = {};
  EVP_EncryptInit_ex(ctx, EVP_aes_256_cbc(), nullptr, reinterpret_cast<const unsigned char*>(key.data()), iv);
  EVP_CIPHER_CTX_set_padding(ctx, pad ? 1 : 0);
  std::string out(in.size() + 16, '\0');
  int n1 = 0, n2 = 0;
  EVP_EncryptUpdate(ctx, reinterpret_cast<unsigned char*>(out.data()), &n1,
                    reinterpret_cast<const unsigned char*>(in.data()), static_cast<int>(in.size()));
  EVP_EncryptFinal_ex(ctx, reinterpret_cast<unsigned char*>(out.data()) + n1, &n2);
  EVP_CIPHER_CTX_free(ctx);
  out.resize(static_cast<size_t>(n1 + n2));
  return out;
}

std::string allBytes() {
  std::string all;
  for (int i = 0; i < 256; ++i) all.push_back(static_cast<char>(i));
  return all;
}

std::string fixture(const std::string& name) {
  // Appended in steps: g++ 12 at -O2 takes "literal + ... + name" for an
  // out-of-bounds copy (-Warray-bounds false positive).
  std::string path = QB_FIXTURES_DIR;
  path += '/';
  path += name;
  auto text = readFile(path);
  EXPECT_TRUE(text.ok()) << name;
  return text.valueOr({});
}

const std::string kKey = unhex("603deb1015ca71be2b73aef0857d77811f352c073b6108d72d9810a30914dff4");

TEST(CryptoAes, MatchesPublishedBlockAndOpenSslWithZeroIv) {
  // With a zero IV the first CBC block is the plain block cipher: NIST SP
  // 800-38A F.1.5 (ECB-AES256) gives its value.
  auto ct = aes256CbcEncrypt(kKey, unhex("6bc1bee22e409f96e93d7e117393172a"));
  ASSERT_TRUE(ct.ok());
  EXPECT_EQ(hexEncode(ct.value().substr(0, 16)), "f3eed1bdb5d2a03c064b5a7e3db181f8");

  for (size_t len : {0u, 1u, 15u, 16u, 17u, 31u, 32u, 1000u}) {
    const std::string plain(len, static_cast<char>('a' + len % 26));
    auto enc = aes256CbcEncrypt(kKey, plain);
    ASSERT_TRUE(enc.ok());
    EXPECT_EQ(enc.value().size(), (len / 16 + 1) * 16) << "PKCS#7 always adds 1..16 bytes";
    EXPECT_EQ(enc.value(), referenceCbc(kKey, plain, true)) << len;
    EXPECT_EQ(aes256CbcDecrypt(kKey, enc.value()).valueOr("x"), plain) << len;
  }
}

TEST(CryptoAes, RejectsBadKeysLengthsAndPadding) {
  for (size_t keyLen : {0u, 16u, 31u, 33u}) {
    EXPECT_EQ(errc(aes256CbcEncrypt(std::string(keyLen, 'k'), "x")), code(CryptoErrc::InvalidKey)) << keyLen;
    EXPECT_FALSE(aes256CbcDecrypt(std::string(keyLen, 'k'), std::string(16, 'x')).ok());
  }
  // A block whose plaintext ends in 0x00 can never carry valid PKCS#7 padding.
  const std::string badPadding = referenceCbc(kKey, std::string(16, '\0'), false);
  for (const std::string& bad : {std::string(), std::string(1, 'c'), std::string(15, 'c'), std::string(17, 'c'),
                                 badPadding}) {
    EXPECT_EQ(errc(aes256CbcDecrypt(kKey, bad)), code(CryptoErrc::InvalidInput)) << bad.size();
  }
  EXPECT_NE(aes256CbcDecrypt(kKey, badPadding).error().message.find("padding"), std::string::npos);
}

TEST(CryptoDigest, PublishedVectors) {
  EXPECT_EQ(sha256Hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  EXPECT_EQ(sha256Hex(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  EXPECT_EQ(sha256("abc"), unhex(sha256Hex("abc")));
  EXPECT_EQ(md5Hex("abc"), "900150983cd24fb0d6963f7d28e17f72");  // RFC 1321 A.5
}

TEST(CryptoBase64, Rfc4648VectorsRoundTripsAndStrictDecoding) {
  for (const auto& [plain, encoded] : std::vector<std::pair<std::string, std::string>>{
           {"", ""}, {"f", "Zg=="}, {"fo", "Zm8="}, {"foobar", "Zm9vYmFy"}}) {
    EXPECT_EQ(base64Encode(plain), encoded);
    EXPECT_EQ(base64Decode(encoded).valueOr("x"), plain) << encoded;
  }
  EXPECT_EQ(base64Decode(base64Encode(allBytes())).valueOr("x"), allBytes());
  // Larger than one internal chunk in both directions.
  const std::string big = randomBytes(5 * 1024 * 1024 + 1).value();
  const std::string enc = base64Encode(big);
  EXPECT_EQ(enc.find('\n'), std::string::npos);
  EXPECT_EQ(base64Decode(enc).valueOr({}), big);

  // Non-zero bits after the data ("Zh==", "Zm9=") would let two texts stand
  // for the same bytes.
  for (const std::string& bad : std::vector<std::string>{"Zg", "Z===", "Zm9v\n", " Zm9v", "Zm9-", "=Zm9", "Zg==Zg==",
                                                        std::string("Zm\0v", 4), std::string("Zg=\0", 4), "Zh==",
                                                        "Zm9="}) {
    EXPECT_EQ(errc(base64Decode(bad)), code(CryptoErrc::InvalidInput)) << bad;
  }
  EXPECT_EQ(base64Decode("Zg").error().domain, kCryptoErrorDomain);
}

TEST(CryptoPercent, EncodesAllButUnreservedAndDecodesStrictly) {
  EXPECT_EQ(percentEncode("AZaz09-._~ &/+%\xC3\xA9"), "AZaz09-._~%20%26%2F%2B%25%C3%A9");
  EXPECT_EQ(percentEncode("a/b c", "/"), "a/b%20c");
  EXPECT_EQ(percentDecode("%C3%a9+x%20").valueOr({}), "\xC3\xA9+x ");
  EXPECT_EQ(percentDecode(percentEncode(allBytes())).valueOr({}), allBytes());
  for (const char* bad : {"%", "%4", "%G0", "100%!"}) {
    EXPECT_EQ(errc(percentDecode(bad)), code(CryptoErrc::InvalidInput)) << bad;
  }
}

TEST(CryptoRsa, RoundTripWithBothPublicKeyForms) {
  const std::string priv = fixture("sandbox_rsa_private.pem");
  const std::string sessionKey = "0123456789abcdefghijklmnopqrstuv";
  for (const char* pub : {"sandbox_rsa_public.pem", "sandbox_rsa_public_pkcs1.pem"}) {
    const std::string pem = fixture(pub);
    auto a = rsaPublicEncryptPkcs1(pem, sessionKey);
    ASSERT_TRUE(a.ok()) << pub << ": " << a.error().message;
    EXPECT_EQ(a.value().size(), 256u);
    EXPECT_NE(a.value(), rsaPublicEncryptPkcs1(pem, sessionKey).valueOr({})) << "PKCS#1 v1.5 padding is random";
    EXPECT_EQ(rsaPrivateDecryptPkcs1(priv, a.value()).valueOr({}), sessionKey);

    // 2048-bit key: at most 256 - 11 bytes of plaintext.
    const std::string longest(245, 'x');
    EXPECT_EQ(rsaPrivateDecryptPkcs1(priv, rsaPublicEncryptPkcs1(pem, longest).valueOr({})).valueOr({}), longest);
    EXPECT_EQ(errc(rsaPublicEncryptPkcs1(pem, longest + "x")), code(CryptoErrc::InputTooLong));
  }
}

TEST(CryptoRsa, BadKeysAndCiphertextsAreErrors) {
  const std::string pub = fixture("sandbox_rsa_public.pem");
  const std::string priv = fixture("sandbox_rsa_private.pem");
  // The first base64 character holds the outer DER tag; changing it breaks the
  // structure (a change inside the modulus would still be a well-formed key).
  std::string damaged = pub;
  damaged[damaged.find('\n') + 1] = 'A';
  for (const std::string& bad : {std::string(), std::string("not a key"), pub.substr(0, pub.size() / 2), damaged}) {
    EXPECT_EQ(errc(rsaPublicEncryptPkcs1(bad, "x")), code(CryptoErrc::InvalidKey)) << bad;
  }
  EXPECT_EQ(errc(rsaPrivateDecryptPkcs1(pub, std::string(256, 'x'))), code(CryptoErrc::InvalidKey));
  for (size_t len : {0u, 255u, 257u}) {
    EXPECT_EQ(errc(rsaPrivateDecryptPkcs1(priv, std::string(len, 'x'))), code(CryptoErrc::InvalidInput)) << len;
  }
}

TEST(CryptoRandom, BytesAndUuids) {
  const std::string a = randomBytes(32).valueOr({});
  EXPECT_EQ(a.size(), 32u);
  EXPECT_NE(a, randomBytes(32).valueOr({}));

  // Upper-case hex, version 4, variant 8..B.
  const std::regex uuid("[0-9A-F]{8}-[0-9A-F]{4}-4[0-9A-F]{3}-[89AB][0-9A-F]{3}-[0-9A-F]{12}");
  std::set<std::string> seen;
  for (int i = 0; i < 200; ++i) {
    const std::string id = uuidV4();
    ASSERT_TRUE(std::regex_match(id, uuid)) << id;
    seen.insert(id);
  }
  EXPECT_EQ(seen.size(), 200u);
}

}  // namespace
