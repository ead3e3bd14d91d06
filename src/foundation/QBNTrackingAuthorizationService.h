#pragma once
// The tracking-transparency authorization status of the device.
#include <optional>

class QBNTrackingAuthorizationService {
 public:
  // The process-wide service (stateless; never destroyed).
  static QBNTrackingAuthorizationService& sharedService();

  // 0 not determined, 1 restricted, 2 denied, 3 authorized, as the device
  // facts give it; none when the device has no tracking-transparency support.
  // Synchronous, on the calling thread.
  std::optional<unsigned> getAuthorizationStatus() const;

 private:
  QBNTrackingAuthorizationService() = default;
};
