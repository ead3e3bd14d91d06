#include "measurement/sdk/OMIDQuilbrnSDK.h"

#include "platform/storage.h"

namespace {
constexpr const char* kLibraryVersion = "1.4.2";
}  // namespace

const std::string& OMIDQuilbrnSDK::versionString() {
  static const std::string& version = *new std::string(std::string(kLibraryVersion) + "-" + kOMIDQuilbrnPartnerName);
  return version;
}

const std::shared_ptr<OMIDQuilbrnSDK>& OMIDQuilbrnSDK::sharedInstance() {
  static const std::shared_ptr<OMIDQuilbrnSDK>& sdk = *new std::shared_ptr<OMIDQuilbrnSDK>(new OMIDQuilbrnSDK);
  return sdk;
}

bool OMIDQuilbrnSDK::activate() {
  active_.store(true);
  return true;
}

platform::Json OMIDQuilbrnSDK::appInfo() const {
  return platform::Json{{"appId", platform::bundleIdentifier()}, {"libraryVersion", versionString()}};
}
