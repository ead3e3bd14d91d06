#pragma once
// The entry of the measurement SDK (one per process): its version, its
// activation and the application facts it gives the measurement scripts.
// Ad sessions, the state watcher and the tree walker join it as they are
// built (docs/measurement.md).
#include <atomic>
#include <memory>
#include <string>

#include "platform/json.h"

// The measurement partner's name and version, as the own network reports them
// beside the version string.
inline constexpr char kOMIDQuilbrnPartnerName[] = "Quilbrn";
inline constexpr char kOMIDQuilbrnPartnerVersion[] = "7";

class OMIDQuilbrnSDK {
 public:
  // "1.4.2-Quilbrn": the library version, a hyphen and the partner name. The
  // same text on every call.
  static const std::string& versionString();

  // The one SDK object, made on first use; it lives for the process.
  static const std::shared_ptr<OMIDQuilbrnSDK>& sharedInstance();

  // Activates the SDK; always true. Safe from any thread. Activation is never
  // undone (except by resetForTesting).
  bool activate();
  bool isActive() const { return active_.load(); }

  // {"appId": the main bundle's identifier, "libraryVersion": versionString()}.
  platform::Json appInfo() const;

  // Back to not activated.
  void resetForTesting() { active_.store(false); }

 private:
  std::atomic<bool> active_{false};
};
