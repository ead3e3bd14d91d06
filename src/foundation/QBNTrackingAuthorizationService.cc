#include "foundation/QBNTrackingAuthorizationService.h"

#include "platform/device.h"

QBNTrackingAuthorizationService& QBNTrackingAuthorizationService::sharedService() {
  static QBNTrackingAuthorizationService* service = new QBNTrackingAuthorizationService();
  return *service;
}

std::optional<unsigned> QBNTrackingAuthorizationService::getAuthorizationStatus() const {
  return platform::deviceFacts().facts().trackingAuthorizationStatus;
}
