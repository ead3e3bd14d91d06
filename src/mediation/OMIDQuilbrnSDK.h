#pragma once
// The measurement SDK's version, which the own network's token reports as
// "omidVersion". (The measurement SDK's sessions live elsewhere; this is the
// one value the mediation needs.)
#include <string>

// The measurement partner's name and version, as the own network reports them
// beside the version string.
inline constexpr char kOMIDQuilbrnPartnerName[] = "Quilbrn";
inline constexpr char kOMIDQuilbrnPartnerVersion[] = "7";

class OMIDQuilbrnSDK {
 public:
  // "1.4.2-Quilbrn": the library version, a hyphen and the partner name. The
  // same text on every call.
  static const std::string& versionString();
};
