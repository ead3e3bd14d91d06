#pragma once
// Conversions of store parameters and of the store session's reports, shared
// by the session, the publisher's report path and the store overlay. Main
// queue (the version checks read the device).
#include <optional>

#include "platform/json.h"
#include "platform/result.h"
#include "platform/storekit/store_product_parameters.h"

class QBAppStoreUtils {
 public:
  // The item identifier (the app id) as a number: a text that is a plain
  // integer (an optional sign and decimal digits, nothing else, within 64
  // bits) becomes that number; a number stays; anything else, or no item
  // identifier, becomes the text "-1". Returns `params`.
  static platform::StoreProductParameters& convertApplicationIdFromStringToNSNumber(
      platform::StoreProductParameters& params);

  // On systems from 11.3 the ad-network nonce becomes a UUID object; a nonce
  // that is no UUID text is removed. Below 11.3 nothing changes. Returns
  // `params`.
  static platform::StoreProductParameters& convertSKAdNetworkNonceToUUID(platform::StoreProductParameters& params);

  // The report with its "storeKitLoadParams" as a dictionary: a text is
  // percent-decoded and parsed as a JSON object; a text that does not parse
  // to one becomes an empty dictionary (logged), the rest of the report kept.
  // Reports show a nonce UUID as its text already.
  static platform::Json convertSKAdNetworkNonceToUUIDString(const platform::Json& report);

  // `params` when their item identifier is a number; else an error (domain
  // QBAppStoreErrors::kDomain, code 0): none gives "Trying to load store
  // with nil app Id", a text "Trying to load store with unsupported app Id
  // object - string" (any other value passes).
  static platform::Result<platform::StoreProductParameters> validateAppStoreParams(
      const platform::StoreProductParameters& params);

  // The report as the controller page receives it: a missing (or null)
  // "storeAppId" or "viewUniqueId" is added as "-1" (a present one is kept),
  // then convertSKAdNetworkNonceToUUIDString. None for none or for a value
  // that is no dictionary.
  static std::optional<platform::Json> storeKitDataToController(const std::optional<platform::Json>& report);
};
