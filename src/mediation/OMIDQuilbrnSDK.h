#pragma once
// The measurement SDK's version, which the own network's token reports as
// "omidVersion". (The measurement SDK's sessions live elsewhere; this is the
// one value the mediation needs.)
#include <string>

class OMIDQuilbrnSDK {
 public:
  // "1.4.2-Quilbrn": the library version, a hyphen and the partner word. The
  // same text on every call.
  static const std::string& versionString();
};
