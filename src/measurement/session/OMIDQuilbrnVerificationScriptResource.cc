#include "measurement/session/OMIDQuilbrnVerificationScriptResource.h"

std::shared_ptr<OMIDQuilbrnVerificationScriptResource> OMIDQuilbrnVerificationScriptResource::initWithURL(
    const std::string& URL, const std::optional<std::string>& vendorKey, const std::optional<std::string>& parameters) {
  if (URL.empty() || !vendorKey || vendorKey->empty() || !parameters || parameters->empty()) return nullptr;
  return std::shared_ptr<OMIDQuilbrnVerificationScriptResource>(
      new OMIDQuilbrnVerificationScriptResource(URL, vendorKey, parameters));
}

std::shared_ptr<OMIDQuilbrnVerificationScriptResource> OMIDQuilbrnVerificationScriptResource::initWithURL(
    const std::string& URL) {
  if (URL.empty()) return nullptr;
  return std::shared_ptr<OMIDQuilbrnVerificationScriptResource>(
      new OMIDQuilbrnVerificationScriptResource(URL, std::nullopt, std::nullopt));
}
