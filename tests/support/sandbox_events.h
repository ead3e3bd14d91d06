#pragma once
// The events endpoint of the sandbox: answers event uploads on "/mediation"
// (and "/pixel") and turns the recorded uploads back into events; and the
// events an engine has backed up.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/json.h"
#include "support/sandbox_server.h"

namespace qbtest {

// Answers every request to "/mediation" and "/pixel" with 200 and an empty
// JSON object. Faults injected on those paths still apply.
void addEventsEndpoint(SandboxServer& server);

// The JSON of one upload body: plain JSON, or the base64 text of gzip'd JSON
// (the compressed form). None when it is neither.
std::optional<platform::Json> decodeEventsUpload(const std::string& body);

// The events of one decoded upload: the "events" array of the "outcome"
// format or the "data" array of the "marrowjet" format; empty otherwise.
std::vector<platform::Json> eventsOfUpload(const platform::Json& upload);

// Every event the server received on `path` (all formats), in arrival order.
std::vector<platform::Json> eventsReceived(const SandboxServer& server, const std::string& path = "/mediation");

// The events the engine with storage `identifier` ("events",
// "InterstitialEvents", "pixelEvents") has backed up, oldest first.
std::vector<platform::Json> eventsBackedUp(const std::string& identifier);

// The "eventId" of each event (-1 where it has none).
std::vector<int64_t> eventIds(const std::vector<platform::Json>& events);

}  // namespace qbtest
