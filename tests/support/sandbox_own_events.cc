#include "support/sandbox_own_events.h"

#include "ownnetwork/services/QBNEventsTracker.h"
#include "platform/crypto.h"

namespace qbtest {

void addOwnNetworkEventsEndpoint(SandboxServer& server, const std::string& path) {
  server.route("*", path, [](const RecordedRequest&) { return SandboxAnswer{200, "", {{"Content-Type", "text/plain"}}}; });
}

bool sendOwnNetworkEventsTo(const SandboxServer& server, const std::string& path) {
  auto configuration = std::make_shared<QBEventsConfiguration>();
  configuration->endpoint = server.url(path);
  configuration->areEventsEnabled = true;
  configuration->formatter = std::make_shared<QBNEventsFormatter>();
  return QBNEventsTracker::sharedTracker().init(configuration, nullptr).ok();
}

std::optional<platform::Json> ownNetworkEventEnvelope(const RecordedRequest& request) {
  std::optional<std::string> payload;
  if (request.method == "GET") {
    payload = request.queryValue("data");
  } else if (request.body.rfind("data=", 0) == 0) {
    payload = request.body.substr(5);
  }
  if (!payload) return std::nullopt;
  auto bytes = platform::base64Decode(*payload);
  if (!bytes) return std::nullopt;
  auto json = platform::parseJson(bytes.value());
  if (!json || !json.value().is_object()) return std::nullopt;
  return json.value();
}

std::vector<platform::Json> ownNetworkEventsReceived(const SandboxServer& server, const std::string& path) {
  std::vector<platform::Json> events;
  for (const auto& request : server.requestsTo(path)) {
    auto envelope = ownNetworkEventEnvelope(request);
    if (envelope && envelope->contains("data")) events.push_back((*envelope)["data"]);
  }
  return events;
}

}  // namespace qbtest
