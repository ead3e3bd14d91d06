#pragma once
// Encryption, hashing, encodings and random values, over OpenSSL 3.
//
// Every call is synchronous, thread-safe and answers on the calling thread.
// Byte strings travel as std::string (any bytes, not only text). Calls that
// take outside bytes return an error in kCryptoErrorDomain for malformed,
// truncated or mis-sized input; nothing throws.
#include <cstddef>
#include <string>
#include <string_view>

#include "platform/result.h"

namespace platform {

inline constexpr char kCryptoErrorDomain[] = "platform.crypto";

// Codes of errors in kCryptoErrorDomain.
enum class CryptoErrc : int {
  InvalidKey = 1,    // AES key not 32 bytes, or a PEM text that holds no usable RSA key
  InvalidInput = 2,  // ciphertext of a wrong length, bad padding, malformed base64 / escapes
  InputTooLong = 3,  // RSA plaintext longer than the key allows (modulus bytes - 11)
  OpenSsl = 4,       // OpenSSL refused the operation (message carries its reason)
  Random = 5,        // the random generator could not produce bytes
};

// Asks OpenSSL not to tear its state down from an exit handler of its own.
// When OpenSSL was already initialised (a shared library may do so while it
// loads) its handler is registered already; then it was registered before
// anything the caller registers next, and so runs after it. The dispatch layer
// calls this before registering its exit step, which stops the threads that
// use OpenSSL (see dispatch.h, "Process exit").
void keepCryptoLibraryUntilExit();

inline constexpr size_t kAes256KeyBytes = 32;
inline constexpr size_t kAesBlockBytes = 16;

// AES-256 in CBC mode with PKCS#7 padding and an all-zero IV.
// The key must be exactly 32 bytes (InvalidKey otherwise). The ciphertext is
// always a non-empty multiple of 16 bytes.
Result<std::string> aes256CbcEncrypt(std::string_view key, std::string_view plaintext);
// Reverse of aes256CbcEncrypt. InvalidKey for a key that is not 32 bytes;
// InvalidInput for a ciphertext that is empty, not a multiple of 16 bytes, or
// whose padding does not check out (which includes most wrong keys).
Result<std::string> aes256CbcDecrypt(std::string_view key, std::string_view ciphertext);

// RSA encryption with PKCS#1 v1.5 padding. The key is PEM text, either
// "BEGIN PUBLIC KEY" (SubjectPublicKeyInfo) or "BEGIN RSA PUBLIC KEY" (PKCS#1).
// InvalidKey when no RSA public key can be read; InputTooLong when data exceeds
// the modulus size minus 11 bytes. The output is random-padded, so two calls
// give different ciphertexts.
Result<std::string> rsaPublicEncryptPkcs1(std::string_view pemPublicKey, std::string_view data);
// RSA decryption with PKCS#1 v1.5 padding; the key is PEM text ("BEGIN PRIVATE
// KEY" or "BEGIN RSA PRIVATE KEY", unencrypted). Used by the test sandbox.
// InvalidKey for an unreadable key; InvalidInput for a ciphertext whose length
// is not the modulus size. (OpenSSL may answer a forged ciphertext of the right
// length with random bytes instead of an error, by design.)
Result<std::string> rsaPrivateDecryptPkcs1(std::string_view pemPrivateKey, std::string_view data);

// Digests. Lower-case hexadecimal text (32 and 64 digits), or raw bytes (32).
// OpenSSL's default provider always has these; should it ever fail the answer
// is an empty string.
std::string md5Hex(std::string_view data);
std::string sha256Hex(std::string_view data);
std::string sha256(std::string_view data);

// Lower-case hexadecimal text of arbitrary bytes.
std::string hexEncode(std::string_view bytes);

// Standard base64 (RFC 4648 section 4: alphabet A-Z a-z 0-9 + /, "=" padding,
// no line breaks).
std::string base64Encode(std::string_view data);
// Strict decoding: the input must be padded base64 - a multiple of 4
// characters from the standard alphabet, with "=" only as the last one or two
// characters. Missing padding, whitespace, line breaks and URL-safe characters
// ("-", "_") are InvalidInput. The empty text decodes to empty bytes.
Result<std::string> base64Decode(std::string_view text);

// Percent-encoding for URLs: the RFC 3986 unreserved characters
// (A-Z a-z 0-9 - . _ ~) and any byte listed in alsoKeep stay as they are;
// every other byte becomes %XX with upper-case hex digits.
std::string percentEncode(std::string_view text, std::string_view alsoKeep = {});
// Resolves every %XX escape (either hex case). "+" is left as "+" (callers
// that read "+" as a space replace it first). A "%" not followed by two hex
// digits is InvalidInput. The result is bytes; it is not checked to be UTF-8.
Result<std::string> percentDecode(std::string_view text);

// n bytes from OpenSSL's cryptographically secure generator (Random on
// failure).
Result<std::string> randomBytes(size_t n);

// A random (version 4) UUID in the platform's text form: upper-case hex,
// "XXXXXXXX-XXXX-4XXX-YXXX-XXXXXXXXXXXX" with Y one of 8, 9, A, B.
std::string uuidV4();

}  // namespace platform
