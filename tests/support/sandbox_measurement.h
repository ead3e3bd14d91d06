#pragma once
// The measurement scripts of the sandbox: the project's service script and
// verification script (tests/support/measurement/), and the beacon endpoint
// the verification script reports to. docs/measurement.md describes both
// scripts.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/json.h"
#include "support/sandbox_server.h"

namespace qbtest {

inline constexpr char kMeasurementServicePath[] = "/measurement/omid-service.js";
inline constexpr char kVerificationScriptPath[] = "/measurement/verification.js";
inline constexpr char kMeasurementBeaconPath[] = "/measurement/beacon";

// The scripts' texts.
std::string measurementServiceScript();
std::string verificationScript();

// Answers GET requests for both scripts (application/javascript) and every
// beacon (GET or POST) with 204, replacing earlier routes of those paths.
void addMeasurementScripts(SandboxServer& server);

// Verification parameters that send the verification script's beacons to the
// server, marked with `tag`.
std::string verificationParameters(const SandboxServer& server, const std::string& tag);

// One beacon as the sandbox received it.
struct MeasurementBeacon {
  uint64_t arrival = 0;  // the request's arrival order
  int seq = 0;           // the verification script's own count
  std::string event;
  std::string injectionId;
  std::string tag;
  platform::Json data;   // null when the script left it out
  std::string vendorKey;                  // the script's vendor
  std::optional<std::string> parameters;  // the session start's: the script's own verification parameters
};

// The beacons received so far, in arrival order.
std::vector<MeasurementBeacon> measurementBeacons(const SandboxServer& server);

}  // namespace qbtest
