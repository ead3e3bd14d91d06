#include "sdk/QBConfigurationExchange.h"

#include <utility>

#include "foundation/QBEncryptionUtils.h"
#include "foundation/QBHttpService.h"
#include "foundation/QBUtils.h"
#include "platform/crypto.h"
#include "sdk/QuillborneSdk.h"

namespace QBConfigurationExchange {

platform::Error makeError(Errc code, std::string message) {
  return platform::Error{kErrorDomain, static_cast<int>(code), std::move(message)};
}

std::string requestPath() { return std::string("/sdk/v") + QuillborneSdk::kSdkVersion; }

std::string queryString(const platform::Json& initData) {
  std::string out;
  if (!initData.is_object()) return out;
  for (auto it = initData.begin(); it != initData.end(); ++it) {
    const platform::Json& value = it.value();
    std::string text;
    if (value.is_null()) continue;
    if (value.is_string()) {
      text = value.get<std::string>();
    } else if (value.is_boolean()) {
      text = value.get<bool>() ? "true" : "false";
    } else {
      text = platform::dumpJson(value);
    }
    if (!out.empty()) out += '&';
    out += QBUtils::percentEncode(it.key());
    out += '=';
    out += QBUtils::percentEncode(text);
  }
  return out;
}

platform::Result<std::string> encryptedRequestParameter(const platform::Json& initData) {
  auto cipher = QBEncryptionUtils::encryptDataWithMediationKey(queryString(initData));
  if (!cipher) return makeError(Errc::Encryption, "the request could not be encrypted: " + cipher.error().message);
  return platform::base64Encode(cipher.value());
}

platform::Result<std::string> requestUrl(std::string_view baseUrl, const platform::Json& initData) {
  auto parameter = encryptedRequestParameter(initData);
  if (!parameter) return parameter.error();
  std::string base(baseUrl);
  while (!base.empty() && base.back() == '/') base.pop_back();
  return QBHttpService::urlWithQuery(base + requestPath(), {{kRequestParameter, parameter.value()}});
}

platform::Result<platform::Json> decodeAnswer(const platform::DataTaskResult& answer, int serr) {
  if (answer.error || !answer.response) {
    const platform::Error error = answer.error.value_or(platform::Error{"", 0, "no answer"});
    return makeError(Errc::Transport, "no answer from the server: " + error.domain + " " +
                                          std::to_string(error.code) + " " + error.message);
  }
  const int status = answer.response->statusCode;
  auto parsed = platform::parseJson(answer.body);
  if (parsed && platform::getInt(parsed.value(), kCodeField) == kRefusedCode) {
    std::string reason = platform::getString(parsed.value(), "reason").value_or("");
    return makeError(Errc::Refused, "the server refused the request (code 400)" +
                                        (reason.empty() ? std::string() : ": " + reason));
  }
  if (status != 200) {
    return makeError(Errc::HttpStatus,
                     "HTTP status " + std::to_string(status) + " " + platform::localizedStringForStatusCode(status));
  }
  if (!parsed || !parsed.value().is_object()) return makeError(Errc::InvalidAnswer, "the answer is not a JSON object");
  const platform::Json& body = parsed.value();
  auto field = body.find(kResponseField);
  if (field == body.end()) return makeError(Errc::InvalidAnswer, "the answer has no \"response\" field");
  if (serr == 0 && field->is_object()) return *field;
  if (!field->is_string() || field->get_ref<const std::string&>().empty()) {
    return makeError(Errc::InvalidAnswer, "\"response\" is not a non-empty text");
  }
  auto plaintext = QBEncryptionUtils::decryptWithMediationKey(field->get_ref<const std::string&>());
  if (!plaintext) {
    return makeError(Errc::Decryption, "\"response\" could not be decrypted: " + plaintext.error().message);
  }
  auto configuration = platform::parseJson(plaintext.value());
  if (!configuration || !configuration.value().is_object()) {
    return makeError(Errc::InvalidConfiguration, "the decrypted configuration is not a JSON object");
  }
  return std::move(configuration).value();
}

}  // namespace QBConfigurationExchange
