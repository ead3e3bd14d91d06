#pragma once
// What the own network reports of the measurement library it carries.
#include "platform/json.h"

class QBNOMIDManager {
 public:
  // {"omidVersion": OMIDQuilbrnSDK::versionString(), "omidPartnerName":
  // "Quilbrn", "omidPartnerVersion": "7"}. Any thread.
  static platform::Json getOmidLibInfo();
};
