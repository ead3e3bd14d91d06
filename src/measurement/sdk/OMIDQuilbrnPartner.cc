#include "measurement/sdk/OMIDQuilbrnPartner.h"

std::shared_ptr<OMIDQuilbrnPartner> OMIDQuilbrnPartner::initWithName(const std::optional<std::string>& name,
                                                                     const std::optional<std::string>& versionString) {
  if (!name || name->empty() || !versionString || versionString->empty()) return nullptr;
  return std::shared_ptr<OMIDQuilbrnPartner>(new OMIDQuilbrnPartner(*name, *versionString));
}

platform::Json OMIDQuilbrnPartner::toJSON() const {
  return platform::Json{{"partnerName", name_}, {"partnerVersion", versionString_}};
}
