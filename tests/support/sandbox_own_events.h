#pragma once
// The own network's events endpoint of the sandbox: answers each event
// request (GET with the payload in the query, or any other method with the
// payload as the body) and turns the recorded requests back into events.
#include <optional>
#include <string>
#include <vector>

#include "platform/json.h"
#include "support/sandbox_server.h"

namespace qbtest {

inline constexpr char kOwnEventsPath[] = "/ownevents";

// Answers every request to `path` with 200 and an empty body.
void addOwnNetworkEventsEndpoint(SandboxServer& server, const std::string& path = kOwnEventsPath);

// The envelope {"table": ..., "data": {...}} one request carries: the "data"
// query parameter (as the server decodes it) of a GET, the body after "data="
// otherwise, read as base64 of JSON. None when the request carries no such
// payload.
std::optional<platform::Json> ownNetworkEventEnvelope(const RecordedRequest& request);

// The "data" object of every envelope received on `path`, in arrival order.
std::vector<platform::Json> ownNetworkEventsReceived(const SandboxServer& server,
                                                     const std::string& path = kOwnEventsPath);

// Points the own network's events tracker at `server`'s endpoint, events on,
// with the network's own formatter. False when the tracker refuses.
bool sendOwnNetworkEventsTo(const SandboxServer& server, const std::string& path = kOwnEventsPath);

// One sandbox for a whole test suite, answering the own network's events
// (stopping a server waits for the session's idle keep-alive connection to
// time out, so a suite starts one): `class MyTest : public
// qbtest::WithOwnEventsSandbox<MyFixture> {};`. A fixture that names it
// `server` by reference binds `*WithOwnEventsSandbox::server`.
template <class Fixture>
class WithOwnEventsSandbox : public Fixture {
 protected:
  static void SetUpTestSuite() {
    server = new SandboxServer();
    server->start();
    addOwnNetworkEventsEndpoint(*server);
  }
  static void TearDownTestSuite() {
    delete server;
    server = nullptr;
  }
  static inline SandboxServer* server = nullptr;
};

}  // namespace qbtest
