#pragma once
// The configuration endpoint of the sandbox: "/sdk/v7.3.1" on a SandboxServer.
//
// Every request is decoded as the real server would: the one "request" query
// parameter is URL-decoded, base64-decoded and decrypted with the mediation
// key; the decoded query string (or why decoding failed) is recorded. The
// answer is {"response": base64(AES(configuration JSON))} with the fixture
// tests/fixtures/configuration.json, every "http://127.0.0.1:0" in it replaced
// by the server's base URL, unless the endpoint is told otherwise. Thread-safe:
// the handler runs on server threads.
#include <cstddef>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/json.h"
#include "support/sandbox_server.h"

namespace qbtest {

// One request as the endpoint decoded it.
struct ConfigRequest {
  std::string target;                      // as on the request line
  std::vector<std::string> parameterNames;  // query parameter names, in order
  std::optional<std::string> queryString;  // decrypted; none when decoding failed
  std::string decodeError;                 // why it failed
  // The decoded query string's pairs (names and values percent-decoded).
  std::map<std::string, std::string> fields() const;
};

class SandboxConfigEndpoint {
 public:
  enum class Mode {
    Configuration,     // the configuration, encrypted
    Refusal,           // {"code": 400, "reason": ...} with the given HTTP status
    Garbage,           // 200 with a body that is not JSON
    NoResponseField,   // 200 {"status": "ok"}
    WrongCiphertext,   // "response" encrypted with another key
    PlainResponse,     // "response" is the configuration object, unencrypted
    NotJsonInside,     // "response" decrypts to text that is not JSON
    MissingSection,    // "response" decrypts to JSON without "providerSettings"
    ServerError,       // 500 with an empty body
  };

  static constexpr const char* kPath = "/sdk/v7.3.1";

  // Installs the route on `server`, which must already run (its base URL goes
  // into the configuration).
  explicit SandboxConfigEndpoint(SandboxServer& server);
  ~SandboxConfigEndpoint();
  SandboxConfigEndpoint(const SandboxConfigEndpoint&) = delete;
  SandboxConfigEndpoint& operator=(const SandboxConfigEndpoint&) = delete;

  // What later requests get (refusalStatus: the HTTP status of a refusal).
  void setMode(Mode mode, int refusalStatus = 400);
  // The next n requests get 500 whatever the mode.
  void failNext(int n);
  // The configuration to serve instead of the fixture.
  void setConfiguration(platform::Json configuration);
  // The configuration served now (the fixture with the base URL in it).
  platform::Json configuration() const;

  std::vector<ConfigRequest> requests() const;
  size_t requestCount() const;

 private:
  struct State;
  std::shared_ptr<State> state_;
};

// tests/fixtures/configuration.json with "http://127.0.0.1:0" replaced by
// baseUrl.
platform::Json fixtureConfiguration(const std::string& baseUrl);

// {"response": base64(AES(configuration JSON, mediation key))} as text.
std::string encryptedConfigurationAnswer(const platform::Json& configuration);

}  // namespace qbtest
