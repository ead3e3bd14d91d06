#include "presentation/QBProductContext.h"

#include <strings.h>

#include "ownnetwork/services/PMAHelperMethods.h"
#include "presentation/QBNPresentationStrategyP.h"

uint32_t QBProductContext::convertProductNameToProductType(const std::optional<std::string>& name,
                                                           platform::Error* error) {
  static constexpr struct {
    const char* name;
    uint32_t type;
  } kProducts[] = {{"RewardedVideo", 0}, {"Interstitial", 1}, {"OfferWall", 2}, {"Banner", 4}};
  if (name) {
    for (const auto& product : kProducts) {
      if (strcasecmp(name->c_str(), product.name) == 0 && name->find('\0') == std::string::npos) return product.type;
    }
  }
  if (error) {
    *error = PMAHelperMethods::errorWithReason("failed to find product type", 0, kQBNControllerParamsErrorDomain);
  }
  return kUnknownProductType;
}

platform::Error QBNPresentationError(const char* reason) {
  return PMAHelperMethods::errorWithReason(reason, 0, kQBNPresentationErrorDomain);
}
