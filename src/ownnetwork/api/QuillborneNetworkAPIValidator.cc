#include "ownnetwork/api/QuillborneNetworkAPIValidator.h"

#include "ownnetwork/api/QBNConfigurations.h"

platform::Error QuillborneNetworkAPIError::initSDKErrorWithReason(const std::optional<std::string>& reason,
                                                                  int errorCode) {
  return platform::Error{kDomain, errorCode,
                         reason && !reason->empty() ? *reason : std::string("Quillborne SDK API Error")};
}

platform::Error QuillborneNetworkAPIError::sdkIsNotInitializedError() {
  return initSDKErrorWithReason("Call initSDK first", 101);
}

platform::Error QuillborneNetworkAPIError::adInstanceNotFoundError() {
  return initSDKErrorWithReason("No QuillborneAdInstance was found", 102);
}

platform::Error QuillborneNetworkAPIError::missingNetworkConfigurationsError() {
  return initSDKErrorWithReason("Missing required network configuration", 103);
}

void QuillborneNetworkAPIValidator::validateQBNConfigurations(const QBNConfigurations* configurations,
                                                              std::optional<platform::Error>& error) {
  if (!configurations || !configurations->applicationKey || !configurations->controllerURL ||
      !configurations->controllerConfig) {
    error = QuillborneNetworkAPIError::missingNetworkConfigurationsError();
  }
}

void QuillborneNetworkAPIValidator::validateAPIWithSDKInstance(const std::shared_ptr<PlovermarkAdsPublisher>& sdkInstance,
                                                               std::optional<platform::Error>& error) {
  if (!sdkInstance) error = QuillborneNetworkAPIError::sdkIsNotInitializedError();
}

void QuillborneNetworkAPIValidator::validateAPIWithSDKInstance(const std::shared_ptr<PlovermarkAdsPublisher>& sdkInstance,
                                                               const std::shared_ptr<QuillborneAdInstance>& adInstance,
                                                               std::optional<platform::Error>& error) {
  if (!adInstance) error = QuillborneNetworkAPIError::adInstanceNotFoundError();
  validateAPIWithSDKInstance(sdkInstance, error);
}
