#include "presentation/QBAppStoreUtils.h"

#include <charconv>
#include <cstdint>

#include "ownnetwork/services/PMAHelperMethods.h"
#include "ownnetwork/services/PlovermarkLogManager.h"
#include "platform/ui/ui_device.h"
#include "presentation/QBAppStoreErrors.h"

namespace {

using platform::kSKStoreProductParameterAdNetworkNonce;
using platform::kSKStoreProductParameterITunesItemIdentifier;

constexpr char kStoreKitLoadParams[] = "storeKitLoadParams";

// A plain integer: an optional sign, then decimal digits to the end.
std::optional<int64_t> plainInteger(const std::string& text) {
  std::string_view digits = text;
  bool negative = false;
  if (!digits.empty() && (digits.front() == '+' || digits.front() == '-')) {
    negative = digits.front() == '-';
    digits.remove_prefix(1);
  }
  if (digits.empty() || digits.front() < '0' || digits.front() > '9') return std::nullopt;
  uint64_t magnitude = 0;
  const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), magnitude);
  if (ec != std::errc() || end != digits.data() + digits.size()) return std::nullopt;
  if (negative) {
    if (magnitude > uint64_t{INT64_MAX} + 1) return std::nullopt;
    return magnitude == uint64_t{INT64_MAX} + 1 ? INT64_MIN : -static_cast<int64_t>(magnitude);
  }
  if (magnitude > uint64_t{INT64_MAX}) return std::nullopt;
  return static_cast<int64_t>(magnitude);
}

bool nonceVersion() { return platform::Device::current().isSystemVersionAtLeast("11.3"); }

}  // namespace

platform::StoreProductParameters& QBAppStoreUtils::convertApplicationIdFromStringToNSNumber(
    platform::StoreProductParameters& params) {
  const auto* value = params.find(kSKStoreProductParameterITunesItemIdentifier);
  const auto* json = value ? std::get_if<platform::Json>(value) : nullptr;
  if (json && json->is_number()) return params;
  std::optional<int64_t> number;
  if (json && json->is_string()) number = plainInteger(json->get<std::string>());
  params.set(kSKStoreProductParameterITunesItemIdentifier, number ? platform::Json(*number) : platform::Json("-1"));
  return params;
}

platform::StoreProductParameters& QBAppStoreUtils::convertSKAdNetworkNonceToUUID(
    platform::StoreProductParameters& params) {
  if (!nonceVersion()) return params;
  const auto* value = params.find(kSKStoreProductParameterAdNetworkNonce);
  if (!value || std::holds_alternative<platform::Uuid>(*value)) return params;
  const auto& json = std::get<platform::Json>(*value);
  auto uuid = json.is_string() ? platform::Uuid::fromString(json.get<std::string>()) : std::nullopt;
  if (uuid) {
    params.set(kSKStoreProductParameterAdNetworkNonce, *uuid);
  } else {
    params.erase(kSKStoreProductParameterAdNetworkNonce);
  }
  return params;
}

platform::Json QBAppStoreUtils::convertSKAdNetworkNonceToUUIDString(const platform::Json& report) {
  platform::Json result = report;
  if (!result.is_object()) return result;
  auto it = result.find(kStoreKitLoadParams);
  if (it == result.end() || !it->is_string()) return result;
  platform::Error error;
  auto parsed = PMAHelperMethods::dictionaryFromJsonString(
      PMAHelperMethods::decodeFromPercentEscapeString(it->get<std::string>()), &error);
  if (!parsed || !parsed->is_object()) {
    PlovermarkLogManager::sharedManager().log(
        "QBAppUtils converting storekitload parameters to JSON Error " +
            (parsed ? std::string("JSON text is no dictionary") : PMAHelperMethods::errorDescription(error)),
        3, 5);
    *it = platform::Json::object();
    return result;
  }
  *it = std::move(*parsed);
  return result;
}

platform::Result<platform::StoreProductParameters> QBAppStoreUtils::validateAppStoreParams(
    const platform::StoreProductParameters& params) {
  const auto* value = params.find(kSKStoreProductParameterITunesItemIdentifier);
  if (!value) return QBAppStoreErrors::error(QBAppStoreErrors::kNilAppId);
  const auto* json = std::get_if<platform::Json>(value);
  if (json && json->is_string()) return QBAppStoreErrors::error(QBAppStoreErrors::kStringAppId);
  return params;
}

std::optional<platform::Json> QBAppStoreUtils::storeKitDataToController(const std::optional<platform::Json>& report) {
  if (!report || !report->is_object()) return std::nullopt;
  platform::Json copy = *report;
  for (const char* key : {"storeAppId", "viewUniqueId"}) {
    auto it = copy.find(key);
    if (it == copy.end() || it->is_null()) copy[key] = "-1";
  }
  return convertSKAdNetworkNonceToUUIDString(copy);
}
