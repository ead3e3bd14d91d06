#include "platform/crypto.h"

#include <openssl/core_names.h>
#include <openssl/crypto.h>
#include <openssl/decoder.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/rand.h>
#include <openssl/rsa.h>

#include <climits>
#include <memory>
#include <random>

namespace platform {
namespace {

struct CipherCtxFree {
  void operator()(EVP_CIPHER_CTX* c) const { EVP_CIPHER_CTX_free(c); }
};
struct PkeyFree {
  void operator()(EVP_PKEY* k) const { EVP_PKEY_free(k); }
};
struct PkeyCtxFree {
  void operator()(EVP_PKEY_CTX* c) const { EVP_PKEY_CTX_free(c); }
};
struct DecoderCtxFree {
  void operator()(OSSL_DECODER_CTX* c) const { OSSL_DECODER_CTX_free(c); }
};
using CipherCtxPtr = std::unique_ptr<EVP_CIPHER_CTX, CipherCtxFree>;
using PkeyPtr = std::unique_ptr<EVP_PKEY, PkeyFree>;
using PkeyCtxPtr = std::unique_ptr<EVP_PKEY_CTX, PkeyCtxFree>;
using DecoderCtxPtr = std::unique_ptr<OSSL_DECODER_CTX, DecoderCtxFree>;

const unsigned char* bytes(std::string_view s) {
  return reinterpret_cast<const unsigned char*>(s.data());
}
unsigned char* bytes(std::string& s) { return reinterpret_cast<unsigned char*>(s.data()); }

Error cryptoError(CryptoErrc code, std::string message) {
  return Error{kCryptoErrorDomain, static_cast<int>(code), std::move(message)};
}

// Builds an error from OpenSSL's thread-local error queue and empties the
// queue, so a stale entry cannot be blamed on a later, unrelated call.
Error opensslError(CryptoErrc code, const std::string& what) {
  std::string message = what;
  unsigned long e = ERR_get_error();
  if (e != 0) {
    char buf[256];
    ERR_error_string_n(e, buf, sizeof buf);
    message += ": ";
    message += buf;
  }
  ERR_clear_error();
  return cryptoError(code, std::move(message));
}

// AES-256-CBC from the default provider, fetched once for the process: the
// built-in cipher object makes every init look its implementation up again.
// The fetched object is never freed (it lives as long as the provider).
const EVP_CIPHER* aes256Cbc() {
  static const EVP_CIPHER* const cipher = [] {
    const EVP_CIPHER* fetched = EVP_CIPHER_fetch(nullptr, "AES-256-CBC", nullptr);
    return fetched != nullptr ? fetched : EVP_aes_256_cbc();
  }();
  return cipher;
}

Result<std::string> aesCbc(std::string_view key, std::string_view input, bool encrypt) {
  if (key.size() != kAes256KeyBytes) {
    return cryptoError(CryptoErrc::InvalidKey,
                       "AES-256 key must be 32 bytes, got " + std::to_string(key.size()));
  }
  if (!encrypt && (input.empty() || input.size() % kAesBlockBytes != 0)) {
    return cryptoError(CryptoErrc::InvalidInput,
                       "ciphertext length " + std::to_string(input.size()) +
                           " is not a positive multiple of 16");
  }
  if (input.size() > static_cast<size_t>(INT_MAX) - kAesBlockBytes) {
    return cryptoError(CryptoErrc::InvalidInput, "input too large");
  }
  CipherCtxPtr ctx(EVP_CIPHER_CTX_new());
  if (!ctx) return opensslError(CryptoErrc::OpenSsl, "EVP_CIPHER_CTX_new");
  const unsigned char iv[kAesBlockBytes] = {};
  if (EVP_CipherInit_ex(ctx.get(), aes256Cbc(), nullptr, bytes(key), iv, encrypt ? 1 : 0) != 1) {
    return opensslError(CryptoErrc::OpenSsl, "AES init");
  }
  // Padding is on by default; PKCS#7 is OpenSSL's block padding.
  std::string out(input.size() + kAesBlockBytes, '\0');
  int n1 = 0;
  int n2 = 0;
  if (EVP_CipherUpdate(ctx.get(), bytes(out), &n1, bytes(input), static_cast<int>(input.size())) != 1) {
    return opensslError(CryptoErrc::OpenSsl, "AES update");
  }
  if (EVP_CipherFinal_ex(ctx.get(), bytes(out) + n1, &n2) != 1) {
    if (!encrypt) return opensslError(CryptoErrc::InvalidInput, "bad padding or wrong key");
    return opensslError(CryptoErrc::OpenSsl, "AES final");
  }
  out.resize(static_cast<size_t>(n1) + static_cast<size_t>(n2));
  return out;
}

// Reads an RSA key from PEM text. The decoder recognises the PEM label, so
// both the generic ("PUBLIC KEY", "PRIVATE KEY") and the PKCS#1
// ("RSA PUBLIC KEY", "RSA PRIVATE KEY") forms load.
Result<PkeyPtr> loadRsaKey(std::string_view pem, int selection) {
  EVP_PKEY* raw = nullptr;
  DecoderCtxPtr dctx(
      OSSL_DECODER_CTX_new_for_pkey(&raw, "PEM", nullptr, "RSA", selection, nullptr, nullptr));
  if (!dctx) return opensslError(CryptoErrc::OpenSsl, "no PEM decoder for RSA keys");
  const unsigned char* data = bytes(pem);
  size_t len = pem.size();
  if (pem.empty() || OSSL_DECODER_from_data(dctx.get(), &data, &len) != 1 || raw == nullptr) {
    EVP_PKEY_free(raw);
    return opensslError(CryptoErrc::InvalidKey, "cannot read RSA key from PEM");
  }
  PkeyPtr key(raw);
  if (!EVP_PKEY_is_a(key.get(), "RSA")) {
    return cryptoError(CryptoErrc::InvalidKey, "PEM key is not an RSA key");
  }
  return key;
}

Result<std::string> digest(const EVP_MD* md, std::string_view data) {
  unsigned char out[EVP_MAX_MD_SIZE];
  unsigned int len = 0;
  if (md == nullptr || EVP_Digest(data.data(), data.size(), out, &len, md, nullptr) != 1) {
    return opensslError(CryptoErrc::OpenSsl, "digest");
  }
  return std::string(reinterpret_cast<const char*>(out), len);
}

bool isBase64Char(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+' ||
         c == '/';
}

// The 6 bits of a base64 character (isBase64Char is true).
int base64Value(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  return c == '+' ? 62 : 63;
}

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool isUnreserved(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
         c == '.' || c == '_' || c == '~';
}

}  // namespace

void keepCryptoLibraryUntilExit() {
  // The first initialisation decides whether OpenSSL registers its exit-time
  // clean-up; a later call changes nothing (and does no harm).
  OPENSSL_init_crypto(OPENSSL_INIT_NO_ATEXIT, nullptr);
}

Result<std::string> aes256CbcEncrypt(std::string_view key, std::string_view plaintext) {
  return aesCbc(key, plaintext, true);
}

Result<std::string> aes256CbcDecrypt(std::string_view key, std::string_view ciphertext) {
  return aesCbc(key, ciphertext, false);
}

Result<std::string> rsaPublicEncryptPkcs1(std::string_view pemPublicKey, std::string_view data) {
  auto key = loadRsaKey(pemPublicKey, OSSL_KEYMGMT_SELECT_PUBLIC_KEY);
  if (!key) return key.error();
  const int modulusBytes = EVP_PKEY_get_size(key.value().get());
  if (modulusBytes <= 11 || data.size() > static_cast<size_t>(modulusBytes) - 11) {
    return cryptoError(CryptoErrc::InputTooLong,
                       "RSA PKCS#1 plaintext of " + std::to_string(data.size()) +
                           " bytes exceeds the key's limit");
  }
  PkeyCtxPtr ctx(EVP_PKEY_CTX_new_from_pkey(nullptr, key.value().get(), nullptr));
  if (!ctx || EVP_PKEY_encrypt_init(ctx.get()) != 1 ||
      EVP_PKEY_CTX_set_rsa_padding(ctx.get(), RSA_PKCS1_PADDING) != 1) {
    return opensslError(CryptoErrc::OpenSsl, "RSA encrypt init");
  }
  size_t outLen = 0;
  if (EVP_PKEY_encrypt(ctx.get(), nullptr, &outLen, bytes(data), data.size()) != 1) {
    return opensslError(CryptoErrc::OpenSsl, "RSA encrypt size");
  }
  std::string out(outLen, '\0');
  if (EVP_PKEY_encrypt(ctx.get(), bytes(out), &outLen, bytes(data), data.size()) != 1) {
    return opensslError(CryptoErrc::OpenSsl, "RSA encrypt");
  }
  out.resize(outLen);
  return out;
}

Result<std::string> rsaPrivateDecryptPkcs1(std::string_view pemPrivateKey, std::string_view data) {
  auto key = loadRsaKey(pemPrivateKey, OSSL_KEYMGMT_SELECT_KEYPAIR);
  if (!key) return key.error();
  const int modulusBytes = EVP_PKEY_get_size(key.value().get());
  if (modulusBytes <= 0 || data.size() != static_cast<size_t>(modulusBytes)) {
    return cryptoError(CryptoErrc::InvalidInput, "RSA ciphertext length does not match the key");
  }
  PkeyCtxPtr ctx(EVP_PKEY_CTX_new_from_pkey(nullptr, key.value().get(), nullptr));
  if (!ctx || EVP_PKEY_decrypt_init(ctx.get()) != 1 ||
      EVP_PKEY_CTX_set_rsa_padding(ctx.get(), RSA_PKCS1_PADDING) != 1) {
    return opensslError(CryptoErrc::OpenSsl, "RSA decrypt init");
  }
  size_t outLen = 0;
  if (EVP_PKEY_decrypt(ctx.get(), nullptr, &outLen, bytes(data), data.size()) != 1) {
    return opensslError(CryptoErrc::OpenSsl, "RSA decrypt size");
  }
  std::string out(outLen, '\0');
  if (EVP_PKEY_decrypt(ctx.get(), bytes(out), &outLen, bytes(data), data.size()) != 1) {
    return opensslError(CryptoErrc::InvalidInput, "RSA decrypt");
  }
  out.resize(outLen);
  return out;
}

std::string hexEncode(std::string_view data) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string out;
  out.reserve(data.size() * 2);
  for (unsigned char c : data) {
    out.push_back(kDigits[c >> 4]);
    out.push_back(kDigits[c & 0x0f]);
  }
  return out;
}

std::string md5Hex(std::string_view data) {
  auto d = digest(EVP_md5(), data);
  return d ? hexEncode(d.value()) : std::string();
}

std::string sha256Hex(std::string_view data) { return hexEncode(sha256(data)); }

std::string sha256(std::string_view data) { return digest(EVP_sha256(), data).valueOr({}); }

std::string base64Encode(std::string_view data) {
  if (data.empty()) return {};
  std::string out;
  // EVP_EncodeBlock takes an int length; encode in chunks of whole 3-byte
  // groups so arbitrarily large inputs work.
  constexpr size_t kChunk = 3 * 1024 * 1024;
  out.reserve((data.size() + 2) / 3 * 4);
  for (size_t pos = 0; pos < data.size(); pos += kChunk) {
    const std::string_view slice = data.substr(pos, kChunk);
    const size_t start = out.size();
    out.resize(start + (slice.size() + 2) / 3 * 4 + 1);  // +1: EVP writes a NUL
    const int n = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(out.data() + start), bytes(slice),
                                  static_cast<int>(slice.size()));
    out.resize(start + static_cast<size_t>(n));
  }
  return out;
}

Result<std::string> base64Decode(std::string_view text) {
  if (text.empty()) return std::string();
  if (text.size() % 4 != 0) {
    return cryptoError(CryptoErrc::InvalidInput, "base64 length is not a multiple of 4");
  }
  // EVP_DecodeBlock accepts "=" anywhere and strips surrounding whitespace, so
  // the canonical form is checked here first; it also never reports padding,
  // which is taken off its output below.
  size_t padding = 0;
  if (text.back() == '=') padding = (text[text.size() - 2] == '=') ? 2 : 1;
  for (size_t i = 0; i < text.size() - padding; ++i) {
    if (!isBase64Char(text[i])) {
      return cryptoError(CryptoErrc::InvalidInput,
                         "invalid base64 character at offset " + std::to_string(i));
    }
  }
  // Before padding the last character carries bits past the end of the data
  // (4 with "==", 2 with "="); they must be zero, or two texts would decode to
  // the same bytes.
  if (padding > 0) {
    const int unusedBits = base64Value(text[text.size() - padding - 1]) & (padding == 2 ? 0x0f : 0x03);
    if (unusedBits != 0) return cryptoError(CryptoErrc::InvalidInput, "base64 padding bits are not zero");
  }
  std::string out;
  out.reserve(text.size() / 4 * 3);
  constexpr size_t kChunk = 4 * 1024 * 1024;  // whole 4-character groups
  for (size_t pos = 0; pos < text.size(); pos += kChunk) {
    const std::string_view slice = text.substr(pos, kChunk);
    const size_t start = out.size();
    out.resize(start + slice.size() / 4 * 3);
    const int n = EVP_DecodeBlock(bytes(out) + start, bytes(slice), static_cast<int>(slice.size()));
    if (n < 0 || static_cast<size_t>(n) != slice.size() / 4 * 3) {
      ERR_clear_error();
      return cryptoError(CryptoErrc::InvalidInput, "malformed base64");
    }
  }
  out.resize(out.size() - padding);
  return out;
}

std::string percentEncode(std::string_view text, std::string_view alsoKeep) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(text.size());
  for (unsigned char c : text) {
    if (isUnreserved(c) || alsoKeep.find(static_cast<char>(c)) != std::string_view::npos) {
      out.push_back(static_cast<char>(c));
    } else {
      out.push_back('%');
      out.push_back(kDigits[c >> 4]);
      out.push_back(kDigits[c & 0x0f]);
    }
  }
  return out;
}

Result<std::string> percentDecode(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      out.push_back(text[i]);
      continue;
    }
    const int hi = i + 2 < text.size() ? hexValue(text[i + 1]) : -1;
    const int lo = i + 2 < text.size() ? hexValue(text[i + 2]) : -1;
    if (hi < 0 || lo < 0) {
      return cryptoError(CryptoErrc::InvalidInput,
                         "invalid percent escape at offset " + std::to_string(i));
    }
    out.push_back(static_cast<char>(hi * 16 + lo));
    i += 2;
  }
  return out;
}

Result<std::string> randomBytes(size_t n) {
  std::string out(n, '\0');
  if (n > static_cast<size_t>(INT_MAX)) {
    return cryptoError(CryptoErrc::Random, "too many random bytes requested");
  }
  if (n > 0 && RAND_bytes(bytes(out), static_cast<int>(n)) != 1) {
    return opensslError(CryptoErrc::Random, "RAND_bytes");
  }
  return out;
}

std::string uuidV4() {
  std::string raw = randomBytes(16).valueOr({});
  if (raw.size() != 16) {
    // Should OpenSSL's generator be unavailable an id is still needed; the
    // operating system's generator stands in.
    std::random_device rd;
    raw.resize(16);
    for (char& c : raw) c = static_cast<char>(rd() & 0xff);
  }
  raw[6] = static_cast<char>((raw[6] & 0x0f) | 0x40);  // version 4
  raw[8] = static_cast<char>((raw[8] & 0x3f) | 0x80);  // RFC 4122 variant
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(36);
  for (size_t i = 0; i < 16; ++i) {
    if (i == 4 || i == 6 || i == 8 || i == 10) out.push_back('-');
    const auto c = static_cast<unsigned char>(raw[i]);
    out.push_back(kDigits[c >> 4]);
    out.push_back(kDigits[c & 0x0f]);
  }
  return out;
}

}  // namespace platform
