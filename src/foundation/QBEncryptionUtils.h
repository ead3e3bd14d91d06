#pragma once
// The library's keys and its AES-256 helpers.
//
// Two symmetric keys, each 32 printable characters used as the 32 key bytes
// of AES-256 in CBC mode with PKCS#7 padding and an all-zero IV:
// - the mediation key: fixed, shared with the servers, assembled at run time;
// - the session key: random, made once per process on first use.
// The session key travels to the servers wrapped with the library's embedded
// RSA public key (PKCS#1 v1.5), base64-encoded: encryptedSessionKey().
//
// Every call is synchronous, thread-safe and answers on the calling thread.
// Failures are values: the text encryptors give "" and the decryptors an error
// (platform::kCryptoErrorDomain; InvalidInput for malformed base64, a
// ciphertext of the wrong size or bad padding). Nothing throws.
#include <string>
#include <string_view>

#include "platform/result.h"

class QBEncryptionUtils {
 public:
  // The mediation key (32 printable characters).
  static const std::string& mediationKey();
  // The session key (32 printable characters), made from the platform's
  // secure random generator on first use and kept for the process.
  static std::string sessionKey();
  // base64 of the session key encrypted with the embedded public key; made
  // once with the session key. "" when the encryption fails (retried on the
  // next call).
  static std::string encryptedSessionKey();
  // The embedded RSA public key (PEM, SubjectPublicKeyInfo).
  static std::string_view publicKeyPem();

  // Text helpers: AES-256 with the key, then base64; and the reverse.
  static std::string encryptWithMediationKey(std::string_view plaintext);
  static platform::Result<std::string> decryptWithMediationKey(std::string_view base64Ciphertext);
  static std::string encryptWithSessionKey(std::string_view plaintext);
  static platform::Result<std::string> decryptWithSessionKey(std::string_view base64Ciphertext);

  // Raw-bytes helpers: ciphertext bytes in and out, no base64.
  static platform::Result<std::string> encryptDataWithMediationKey(std::string_view plaintext);
  static platform::Result<std::string> decryptDataWithMediationKey(std::string_view ciphertext);
  static platform::Result<std::string> encryptDataWithSessionKey(std::string_view plaintext);
  static platform::Result<std::string> decryptDataWithSessionKey(std::string_view ciphertext);

  // With any 32-byte key: base64 text, "" on failure; and the reverse.
  static std::string encryptWithKey(std::string_view key, std::string_view plaintext);
  static platform::Result<std::string> decryptWithKey(std::string_view key, std::string_view base64Ciphertext);

  // Forgets the session key and its wrapped form; the next use makes new ones.
  static void resetSessionKeyForTesting();
};
