#include "mediation/OMIDQuilbrnSDK.h"

namespace {
constexpr const char* kLibraryVersion = "1.4.2";
constexpr const char* kPartnerWord = "Quilbrn";
}  // namespace

const std::string& OMIDQuilbrnSDK::versionString() {
  static const std::string version = std::string(kLibraryVersion) + "-" + kPartnerWord;
  return version;
}
