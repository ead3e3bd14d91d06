#include "support/sandbox_measurement.h"

#include "platform/storage.h"
#include "support/sandbox_files.h"

namespace qbtest {

namespace {

std::string readScript(const char* name) {
  auto text = platform::readFile(sandboxFile(std::string("support/measurement/") + name));
  return text ? text.value() : std::string();
}

void serveScript(SandboxServer& server, const std::string& path, const std::string& text) {
  server.route("GET", path, [text](const RecordedRequest&) {
    return SandboxAnswer{200, text, {{"Content-Type", "application/javascript; charset=utf-8"}}};
  });
}

}  // namespace

std::string measurementServiceScript() {
  static const std::string& text = *new std::string(readScript("omid_service.js"));
  return text;
}

std::string verificationScript() {
  static const std::string& text = *new std::string(readScript("verification.js"));
  return text;
}

void addMeasurementScripts(SandboxServer& server) {
  serveScript(server, kMeasurementServicePath, measurementServiceScript());
  serveScript(server, kVerificationScriptPath, verificationScript());
  // GET through a native session's ping, POST through a page's navigator.sendBeacon;
  // both carry the beacon in the query.
  for (const char* method : {"GET", "POST"})
    server.route(method, kMeasurementBeaconPath, [](const RecordedRequest&) { return SandboxAnswer{204}; });
}

std::string verificationParameters(const SandboxServer& server, const std::string& tag) {
  return platform::dumpJson(platform::Json{{"beaconUrl", server.url(kMeasurementBeaconPath)}, {"tag", tag}});
}

std::vector<MeasurementBeacon> measurementBeacons(const SandboxServer& server) {
  std::vector<MeasurementBeacon> out;
  for (const auto& request : server.requestsTo(kMeasurementBeaconPath)) {
    MeasurementBeacon beacon;
    beacon.arrival = request.sequence;
    beacon.seq = std::atoi(request.queryValue("seq").value_or("0").c_str());
    beacon.event = request.queryValue("event").value_or("");
    beacon.injectionId = request.queryValue("injectionId").value_or("");
    beacon.tag = request.queryValue("tag").value_or("");
    beacon.vendorKey = request.queryValue("vendor").value_or("");
    beacon.parameters = request.queryValue("parameters");
    if (auto data = request.queryValue("data")) {
      auto parsed = platform::parseJson(*data);
      if (parsed) beacon.data = std::move(parsed.value());
    }
    out.push_back(std::move(beacon));
  }
  return out;
}

}  // namespace qbtest
