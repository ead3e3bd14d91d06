#pragma once
// The own network's API errors and the checks that make them.
#include <memory>
#include <optional>
#include <string>

#include "platform/result.h"

struct QBNConfigurations;
class PlovermarkAdsPublisher;
class QuillborneAdInstance;

class QuillborneNetworkAPIError {
 public:
  static constexpr const char* kDomain = "com.quilbrn.erros";
  // The reason as the description; an absent or empty reason becomes
  // "Quillborne SDK API Error".
  static platform::Error initSDKErrorWithReason(const std::optional<std::string>& reason, int errorCode);
  static platform::Error sdkIsNotInitializedError();           // 101 "Call initSDK first"
  static platform::Error adInstanceNotFoundError();            // 102 "No QuillborneAdInstance was found"
  static platform::Error missingNetworkConfigurationsError();  // 103 "Missing required network configuration"
};

// Each check writes its error and leaves `error` untouched when it passes.
class QuillborneNetworkAPIValidator {
 public:
  // 103 when the configuration or its application key, controller URL or
  // controller configuration is absent (empty texts pass).
  static void validateQBNConfigurations(const QBNConfigurations* configurations, std::optional<platform::Error>& error);
  // 101 without an SDK instance.
  static void validateAPIWithSDKInstance(const std::shared_ptr<PlovermarkAdsPublisher>& sdkInstance,
                                         std::optional<platform::Error>& error);
  // 102 without an ad instance, then the SDK-instance check (101 wins).
  static void validateAPIWithSDKInstance(const std::shared_ptr<PlovermarkAdsPublisher>& sdkInstance,
                                         const std::shared_ptr<QuillborneAdInstance>& adInstance,
                                         std::optional<platform::Error>& error);
};
