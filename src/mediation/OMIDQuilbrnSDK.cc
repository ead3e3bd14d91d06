#include "mediation/OMIDQuilbrnSDK.h"

namespace {
constexpr const char* kLibraryVersion = "1.4.2";
}  // namespace

const std::string& OMIDQuilbrnSDK::versionString() {
  static const std::string& version = *new std::string(std::string(kLibraryVersion) + "-" + kOMIDQuilbrnPartnerName);
  return version;
}
