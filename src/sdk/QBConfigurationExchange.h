#pragma once
// The wire format of the configuration exchange (docs/configuration-request.md):
// the request URL built from the init view of the global data store, and the
// checks and decryption of the answer.
//
// Pure functions: thread-safe, answering on the calling thread, never
// throwing. Failures are platform::Error values in kErrorDomain with a code
// of QBConfigurationExchange::Errc and a message saying what was wrong.
#include <string>
#include <string_view>

#include "platform/json.h"
#include "platform/net.h"
#include "platform/result.h"

namespace QBConfigurationExchange {

inline constexpr char kErrorDomain[] = "QBConfigurationExchange";

enum class Errc : int {
  Transport = 1,             // no HTTP answer (URL-loading error: offline, refused, timed out ...)
  HttpStatus = 2,            // an HTTP status other than 200
  Refused = 3,               // the answer's "code" is 400: the server refuses this request for good
  InvalidAnswer = 4,         // not a JSON object, or no usable "response" field
  Decryption = 5,            // "response" is not base64 of ciphertext under the mediation key
  InvalidConfiguration = 6,  // the decrypted text is not a JSON object
  Encryption = 7,            // the request could not be encrypted
};

inline constexpr char kRequestParameter[] = "request";
inline constexpr char kResponseField[] = "response";
inline constexpr char kCodeField[] = "code";
inline constexpr int kRefusedCode = 400;
// The "serr" flag of the answer's decryption: 1 (the default, the only value
// the SDK object uses) accepts only an encrypted "response"; 0 also accepts
// a "response" that is the configuration object itself, in clear.
inline constexpr int kDefaultSerr = 1;
// Cap on the answer body.
inline constexpr size_t kMaxAnswerBytes = size_t{8} << 20;

// "/sdk/v" + the SDK version: "/sdk/v7.3.1".
std::string requestPath();

// The init data as a query string: one name=value pair per member, in the
// object's order, joined by "&", both percent-encoded (unreserved characters
// kept). Texts go as they are, booleans as "true"/"false", numbers as JSON
// numbers, objects and arrays as compact JSON; null members are left out.
std::string queryString(const platform::Json& initData);

// The value of the "request" parameter before URL encoding: standard base64
// of the query string encrypted under the mediation key.
platform::Result<std::string> encryptedRequestParameter(const platform::Json& initData);

// baseUrl (trailing "/" dropped) + requestPath() + "?request=" + the
// percent-encoded parameter.
platform::Result<std::string> requestUrl(std::string_view baseUrl, const platform::Json& initData);

// The configuration object carried by an answer, or why there is none (in
// this order): a transport error; a JSON body whose "code" is 400 (at any
// HTTP status); a status other than 200; a body that is not a JSON object;
// no "response" field; with serr 0 a "response" that is an object is the
// configuration; a "response" that is not a non-empty text; text that does
// not decrypt (base64, AES with the mediation key); plaintext that is not a
// JSON object. The sections inside are checked by QBServerResponseParser.
platform::Result<platform::Json> decodeAnswer(const platform::DataTaskResult& answer, int serr = kDefaultSerr);

// The error value of `code` with `message`.
platform::Error makeError(Errc code, std::string message);

}  // namespace QBConfigurationExchange
