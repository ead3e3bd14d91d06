#pragma once
// What the publisher's page-command handlers share: reading the request,
// replying to the page, product names and the handlers' log lines.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/json.h"
#include "platform/result.h"

class QBNPublisherAgent;

namespace qbnhandlers {

// Log tags of the handlers' lines.
inline constexpr int kTagNative = 5;
inline constexpr int kTagLogic = 9;

// The text member `key` of a request; none when absent or not text.
std::optional<std::string> text(const platform::Json& request, const std::string& key);
// Whether the request has a member `key` (of any value).
bool has(const platform::Json& request, const std::string& key);

// Calls the page function `name` with `parameters` through the publisher's
// controller manager, with no callbacks of its own. A missing name is sent
// as "" (the controller manager decides what that means); without a
// publisher or controller manager nothing is sent. It answers the page
// (QBNControllerAPIData::setAnswersPage).
void reply(const std::shared_ptr<QBNPublisherAgent>& publisher, const std::optional<std::string>& name,
           const platform::Json& parameters, bool decodeFirst);

// The request's "demandSourceId", else its "demandSourceName".
std::optional<std::string> extractDemandSourceIdFromDictionary(const platform::Json& request);

// "RewardedVideo" 0, "Interstitial" 1, "OfferWall" 2, "Banner" 4, as the
// presentation library converts product names; without one registered every
// name fails with "failed to find product type".
platform::Result<uint32_t> convertProductNameToProductType(const std::optional<std::string>& name);

// `publisherOperation` as the publisher's log lines name it:
// "-[PlovermarkAdsPublisher <operation>]".
std::string publisherMethod(const std::string& operation);

void log(const std::string& message, uint64_t level, int tag);

}  // namespace qbnhandlers
