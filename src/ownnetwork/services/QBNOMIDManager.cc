#include "ownnetwork/services/QBNOMIDManager.h"

#include "measurement/sdk/OMIDQuilbrnSDK.h"

platform::Json QBNOMIDManager::getOmidLibInfo() {
  return platform::Json{{"omidVersion", OMIDQuilbrnSDK::versionString()},
                        {"omidPartnerName", kOMIDQuilbrnPartnerName},
                        {"omidPartnerVersion", kOMIDQuilbrnPartnerVersion}};
}
