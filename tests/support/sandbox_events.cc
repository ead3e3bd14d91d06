#include "support/sandbox_events.h"

#include "events/QBEventsEngine.h"
#include "foundation/QBKeyValueStorageProvider.h"
#include "platform/crypto.h"
#include "platform/zip.h"

namespace qbtest {

void addEventsEndpoint(SandboxServer& server) {
  for (const char* path : {"/mediation", "/pixel"}) {
    server.route("POST", path, [](const RecordedRequest&) { return SandboxAnswer{200, "{}", {}}; });
  }
}

std::optional<platform::Json> decodeEventsUpload(const std::string& body) {
  if (auto json = platform::parseJson(body)) return json.value();
  auto compressed = platform::base64Decode(body);
  if (!compressed) return std::nullopt;
  auto inflated = platform::inflate(compressed.value());
  if (!inflated) return std::nullopt;
  auto json = platform::parseJson(inflated.value());
  if (!json) return std::nullopt;
  return json.value();
}

std::vector<platform::Json> eventsOfUpload(const platform::Json& upload) {
  std::vector<platform::Json> events;
  if (!upload.is_object()) return events;
  const char* key = upload.contains("table") ? "data" : "events";
  auto it = upload.find(key);
  if (it == upload.end() || !it->is_array()) return events;
  for (const auto& event : *it) events.push_back(event);
  return events;
}

std::vector<platform::Json> eventsReceived(const SandboxServer& server, const std::string& path) {
  std::vector<platform::Json> events;
  for (const auto& request : server.requestsTo(path)) {
    auto upload = decodeEventsUpload(request.body);
    if (!upload) continue;
    for (auto& event : eventsOfUpload(*upload)) events.push_back(std::move(event));
  }
  return events;
}

std::vector<platform::Json> eventsBackedUp(const std::string& identifier) {
  auto value = QBKeyValueStorageProvider::storageWithIdentifier(identifier)->getValue(QBEventsEngine::kBackupKey);
  return value && value->is_array() ? value->get<std::vector<platform::Json>>() : std::vector<platform::Json>();
}

std::vector<int64_t> eventIds(const std::vector<platform::Json>& events) {
  std::vector<int64_t> ids;
  for (const auto& event : events) ids.push_back(event.value("eventId", int64_t{-1}));
  return ids;
}

}  // namespace qbtest
