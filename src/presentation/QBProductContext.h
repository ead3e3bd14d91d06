#pragma once
// Product names of the controller page and the error domains of the own
// network's presentation.
#include <cstdint>
#include <limits>
#include <optional>
#include <string>

#include "platform/result.h"

// Failures of presenting and dismissing products (code 0).
inline constexpr char kQBNPresentationErrorDomain[] = "PMAPresentationErrorDomain";
// Parameters of a controller command that cannot be read (code 0).
inline constexpr char kQBNControllerParamsErrorDomain[] = "PMAControllerParamsParsingErrorDomain";

class QBProductContext {
 public:
  // What a name that names no product converts to.
  static constexpr uint32_t kUnknownProductType = std::numeric_limits<uint32_t>::max();

  // "RewardedVideo" 0, "Interstitial" 1, "OfferWall" 2, "Banner" 4, compared
  // without regard to case. Any other name, or none: kUnknownProductType and
  // the error "failed to find product type" (controller-parameter domain).
  // Thread-safe.
  static uint32_t convertProductNameToProductType(const std::optional<std::string>& name, platform::Error* error);
};
