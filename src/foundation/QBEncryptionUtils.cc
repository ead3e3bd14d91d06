#include "foundation/QBEncryptionUtils.h"

#include <array>
#include <cstdint>
#include <mutex>
#include <optional>
#include <random>

#include "foundation/QBLoggerManager.h"
#include "platform/crypto.h"

namespace {

// The mediation key is never stored as one piece of text: three scrambled
// pieces are put together on first use.
constexpr std::array<uint8_t, 12> kHead = {62, 121, 14, 107, 3, 121, 10, 9, 42, 29, 101, 19};  // ^ 0x5A
constexpr std::array<uint8_t, 10> kMiddle = {28, 109, 47, 72, 45, 80, 31, 99, 95, 82};        // - 7
constexpr std::array<uint8_t, 10> kTail = {18, 115, 78, 28, 104, 104, 71, 121, 115, 30};      // ^ 0x21, reversed

std::string assembleMediationKey() {
  std::string key;
  key.reserve(kHead.size() + kMiddle.size() + kTail.size());
  for (uint8_t b : kHead) key.push_back(static_cast<char>(b ^ 0x5A));
  for (uint8_t b : kMiddle) key.push_back(static_cast<char>(b + 7));
  for (auto it = kTail.rbegin(); it != kTail.rend(); ++it) key.push_back(static_cast<char>(*it ^ 0x21));
  return key;
}

// The public half of the key pair whose private half the servers keep.
constexpr char kPublicKeyPem[] =
    "-----BEGIN PUBLIC KEY-----\n"
    "MIIBIjANBgkqhkiG9w0BAQEFAAOCAQ8AMIIBCgKCAQEAorNRFD8k0AgSJ16oyrhE\n"
    "PqZ0AKfKqP6Cx377hh2ObRyALOeFzI6lfmI9v4V+M0R4kCD+kKKZfkz9A5g0Y8Fw\n"
    "QH7Z2+QhFhv05UGhJrs7yiGv4vtDuYqNC71n4vP7yxRBZKBOg5MjbCpsaPAl9k1h\n"
    "gL8pM/+XshBS6hlqBmPK22I5JLyLVcCAh/N+x/YvInQJblnnD6xEI2xLsf5gwfVr\n"
    "0GmsiyeBQYnfWNktTV8aHelt/s/sWTxh3RA/l1yMk6fQMa3hWqPf/xt2q6FUIcF/\n"
    "i/Zx+myAJcYOzbgOO0YIMH26rpoyI8WgdzxHkD3T7w/yK89/JFbC2odhSOAGSQea\n"
    "KQIDAQAB\n"
    "-----END PUBLIC KEY-----\n";

constexpr size_t kSessionKeyLength = 32;
constexpr char kSessionKeyAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
constexpr size_t kAlphabetSize = sizeof(kSessionKeyAlphabet) - 1;  // 62
// Bytes at or above this are dropped so every character is equally likely.
constexpr unsigned kAcceptBelow = 256 - 256 % kAlphabetSize;       // 248

struct SessionState {
  std::mutex mutex;
  std::optional<std::string> key;
  std::string wrapped;
};

SessionState& sessionState() {
  static SessionState* state = new SessionState();
  return *state;
}

// 32 characters of kSessionKeyAlphabet. Falls back to std::random_device
// only when the platform generator fails (usedFallback tells the caller).
std::string makeSessionKey(bool& usedFallback) {
  std::string key;
  usedFallback = false;
  for (int attempt = 0; attempt < 8 && key.size() < kSessionKeyLength; ++attempt) {
    auto bytes = platform::randomBytes(64);
    if (!bytes.ok()) break;
    for (unsigned char b : bytes.value()) {
      if (b >= kAcceptBelow) continue;
      key.push_back(kSessionKeyAlphabet[b % kAlphabetSize]);
      if (key.size() == kSessionKeyLength) break;
    }
  }
  if (key.size() < kSessionKeyLength) {
    usedFallback = true;
    std::random_device device;
    std::uniform_int_distribution<size_t> pick(0, kAlphabetSize - 1);
    while (key.size() < kSessionKeyLength) key.push_back(kSessionKeyAlphabet[pick(device)]);
  }
  return key;
}

}  // namespace

const std::string& QBEncryptionUtils::mediationKey() {
  static const std::string* key = new std::string(assembleMediationKey());
  return *key;
}

std::string_view QBEncryptionUtils::publicKeyPem() { return kPublicKeyPem; }

std::string QBEncryptionUtils::sessionKey() {
  bool usedFallback = false;
  std::string key;
  {
    auto& state = sessionState();
    std::lock_guard<std::mutex> lock(state.mutex);
    if (!state.key) state.key = makeSessionKey(usedFallback);
    key = *state.key;
  }
  if (usedFallback) QB_LOG("secure random generator failed; session key made from the fallback source", 3, 6);
  return key;
}

std::string QBEncryptionUtils::encryptedSessionKey() {
  bool usedFallback = false;
  std::optional<platform::Error> failure;
  std::string wrapped;
  {
    auto& state = sessionState();
    std::lock_guard<std::mutex> lock(state.mutex);
    if (!state.key) state.key = makeSessionKey(usedFallback);
    if (state.wrapped.empty()) {
      auto encrypted = platform::rsaPublicEncryptPkcs1(kPublicKeyPem, *state.key);
      if (encrypted.ok()) {
        state.wrapped = platform::base64Encode(encrypted.value());
      } else {
        failure = encrypted.error();
      }
    }
    wrapped = state.wrapped;
  }
  if (usedFallback) QB_LOG("secure random generator failed; session key made from the fallback source", 3, 6);
  if (failure) QB_LOG("session key encryption failed: " + failure->message, 3, 6);
  return wrapped;
}

void QBEncryptionUtils::resetSessionKeyForTesting() {
  auto& state = sessionState();
  std::lock_guard<std::mutex> lock(state.mutex);
  state.key.reset();
  state.wrapped.clear();
}

std::string QBEncryptionUtils::encryptWithKey(std::string_view key, std::string_view plaintext) {
  auto encrypted = platform::aes256CbcEncrypt(key, plaintext);
  if (!encrypted.ok()) {
    QB_LOG("encryption failed: " + encrypted.error().message, 3, 6);
    return {};
  }
  return platform::base64Encode(encrypted.value());
}

platform::Result<std::string> QBEncryptionUtils::decryptWithKey(std::string_view key,
                                                                 std::string_view base64Ciphertext) {
  auto bytes = platform::base64Decode(base64Ciphertext);
  if (!bytes.ok()) return bytes.error();
  return platform::aes256CbcDecrypt(key, bytes.value());
}

std::string QBEncryptionUtils::encryptWithMediationKey(std::string_view plaintext) {
  return encryptWithKey(mediationKey(), plaintext);
}

platform::Result<std::string> QBEncryptionUtils::decryptWithMediationKey(std::string_view base64Ciphertext) {
  return decryptWithKey(mediationKey(), base64Ciphertext);
}

std::string QBEncryptionUtils::encryptWithSessionKey(std::string_view plaintext) {
  return encryptWithKey(sessionKey(), plaintext);
}

platform::Result<std::string> QBEncryptionUtils::decryptWithSessionKey(std::string_view base64Ciphertext) {
  return decryptWithKey(sessionKey(), base64Ciphertext);
}

platform::Result<std::string> QBEncryptionUtils::encryptDataWithMediationKey(std::string_view plaintext) {
  return platform::aes256CbcEncrypt(mediationKey(), plaintext);
}

platform::Result<std::string> QBEncryptionUtils::decryptDataWithMediationKey(std::string_view ciphertext) {
  return platform::aes256CbcDecrypt(mediationKey(), ciphertext);
}

platform::Result<std::string> QBEncryptionUtils::encryptDataWithSessionKey(std::string_view plaintext) {
  return platform::aes256CbcEncrypt(sessionKey(), plaintext);
}

platform::Result<std::string> QBEncryptionUtils::decryptDataWithSessionKey(std::string_view ciphertext) {
  return platform::aes256CbcDecrypt(sessionKey(), ciphertext);
}
