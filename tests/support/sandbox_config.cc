#include "support/sandbox_config.h"

#include <mutex>
#include <utility>

#include "foundation/QBEncryptionUtils.h"
#include "platform/crypto.h"
#include "platform/storage.h"
#include "support/sandbox_files.h"

namespace qbtest {

namespace {

constexpr char kFixtureBase[] = "http://127.0.0.1:0";

std::vector<std::string> split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find(separator, start);
    if (end == std::string::npos) end = text.size();
    parts.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return parts;
}

std::string encryptWith(const std::string& key, const std::string& text) {
  auto cipher = platform::aes256CbcEncrypt(key, text);
  return cipher ? platform::base64Encode(cipher.value()) : std::string();
}

ConfigRequest decode(const RecordedRequest& request) {
  ConfigRequest decoded;
  decoded.target = request.target;
  const size_t question = request.target.find('?');
  std::optional<std::string> parameter;
  if (question != std::string::npos) {
    for (const auto& pair : split(request.target.substr(question + 1), '&')) {
      const size_t equals = pair.find('=');
      const std::string name = pair.substr(0, equals);
      decoded.parameterNames.push_back(name);
      if (name == "request" && equals != std::string::npos) parameter = pair.substr(equals + 1);
    }
  }
  if (!parameter) {
    decoded.decodeError = "no request parameter";
    return decoded;
  }
  auto unescaped = platform::percentDecode(*parameter);
  if (!unescaped) {
    decoded.decodeError = "bad URL encoding";
    return decoded;
  }
  auto cipher = platform::base64Decode(unescaped.value());
  if (!cipher) {
    decoded.decodeError = "bad base64: " + cipher.error().message;
    return decoded;
  }
  auto plain = platform::aes256CbcDecrypt(QBEncryptionUtils::mediationKey(), cipher.value());
  if (!plain) {
    decoded.decodeError = "does not decrypt: " + plain.error().message;
    return decoded;
  }
  decoded.queryString = plain.value();
  return decoded;
}

}  // namespace

std::map<std::string, std::string> ConfigRequest::fields() const {
  std::map<std::string, std::string> out;
  if (!queryString || queryString->empty()) return out;
  for (const auto& pair : split(*queryString, '&')) {
    const size_t equals = pair.find('=');
    auto name = platform::percentDecode(pair.substr(0, equals));
    auto value = platform::percentDecode(equals == std::string::npos ? "" : pair.substr(equals + 1));
    if (name && value) out[name.value()] = value.value();
  }
  return out;
}

platform::Json fixtureConfiguration(const std::string& baseUrl) {
  auto text = platform::readFile(sandboxFile("fixtures/configuration.json"));
  if (!text) return platform::Json::object();
  std::string replaced = text.value();
  for (size_t at = replaced.find(kFixtureBase); at != std::string::npos; at = replaced.find(kFixtureBase, at)) {
    replaced.replace(at, sizeof(kFixtureBase) - 1, baseUrl);
    at += baseUrl.size();
  }
  auto json = platform::parseJson(replaced);
  return json ? json.value() : platform::Json::object();
}

std::string encryptedConfigurationAnswer(const platform::Json& configuration) {
  return platform::dumpJson(
      platform::Json{{"response", encryptWith(QBEncryptionUtils::mediationKey(), platform::dumpJson(configuration))}});
}

struct SandboxConfigEndpoint::State {
  mutable std::mutex mutex;
  Mode mode = Mode::Configuration;
  int refusalStatus = 400;
  int failuresLeft = 0;
  platform::Json configuration;
  std::vector<ConfigRequest> requests;

  SandboxAnswer answer(const RecordedRequest& request) {
    std::lock_guard lock(mutex);
    requests.push_back(decode(request));
    if (failuresLeft > 0) {
      --failuresLeft;
      return SandboxAnswer{500, "", {}};
    }
    switch (mode) {
      case Mode::Configuration:
        return SandboxAnswer{200, encryptedConfigurationAnswer(configuration), {}};
      case Mode::Refusal:
        return SandboxAnswer{refusalStatus, R"({"code":400,"reason":"invalid application key"})", {}};
      case Mode::Garbage:
        return SandboxAnswer{200, "<html>not a configuration", {}};
      case Mode::NoResponseField:
        return SandboxAnswer{200, R"({"status":"ok"})", {}};
      case Mode::WrongCiphertext:
        return SandboxAnswer{
            200,
            platform::dumpJson(platform::Json{
                {"response", encryptWith("0123456789abcdef0123456789ABCDEF", platform::dumpJson(configuration))}}),
            {}};
      case Mode::PlainResponse:
        return SandboxAnswer{200, platform::dumpJson(platform::Json{{"response", configuration}}), {}};
      case Mode::NotJsonInside:
        return SandboxAnswer{
            200,
            platform::dumpJson(platform::Json{{"response", encryptWith(QBEncryptionUtils::mediationKey(), "{{{")}}),
            {}};
      case Mode::MissingSection: {
        platform::Json partial = configuration;
        partial.erase("providerSettings");
        return SandboxAnswer{200, encryptedConfigurationAnswer(partial), {}};
      }
      case Mode::ServerError:
        return SandboxAnswer{500, "", {}};
    }
    return SandboxAnswer{500, "", {}};
  }
};

SandboxConfigEndpoint::SandboxConfigEndpoint(SandboxServer& server) : state_(std::make_shared<State>()) {
  state_->configuration = fixtureConfiguration(server.baseUrl());
  std::shared_ptr<State> state = state_;
  server.route("GET", kPath, [state](const RecordedRequest& request) { return state->answer(request); });
}

SandboxConfigEndpoint::~SandboxConfigEndpoint() = default;

void SandboxConfigEndpoint::setMode(Mode mode, int refusalStatus) {
  std::lock_guard lock(state_->mutex);
  state_->mode = mode;
  state_->refusalStatus = refusalStatus;
}

void SandboxConfigEndpoint::failNext(int n) {
  std::lock_guard lock(state_->mutex);
  state_->failuresLeft = n;
}

void SandboxConfigEndpoint::setConfiguration(platform::Json configuration) {
  std::lock_guard lock(state_->mutex);
  state_->configuration = std::move(configuration);
}

platform::Json SandboxConfigEndpoint::configuration() const {
  std::lock_guard lock(state_->mutex);
  return state_->configuration;
}

std::vector<ConfigRequest> SandboxConfigEndpoint::requests() const {
  std::lock_guard lock(state_->mutex);
  return state_->requests;
}

size_t SandboxConfigEndpoint::requestCount() const {
  std::lock_guard lock(state_->mutex);
  return state_->requests.size();
}

}  // namespace qbtest
