// The auction answer, from the bytes the server sends to the records the
// managers use. The input is the answer's payload text; the target checks:
//  - every wire form of one payload decodes to the same result: plain JSON,
//    base64 of its gzip, encrypted under the mediation or the session key,
//    and encrypted after gzip;
//  - the input itself as an encrypted body (arbitrary outer JSON, base64 and
//    ciphertext) never crashes the decoder;
//  - a payload that parses gives items whose numbers are the payload's own
//    (a price prints back to itself, a conversion value is the integer sent)
//    and whose notification URLs, impression data and server data can be
//    consumed as the handler does.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "foundation/QBEncryptionUtils.h"
#include "mediation/QBAuctionDataUtils.h"
#include "platform/crypto.h"
#include "platform/json.h"
#include "platform/zip.h"
#include "support/fuzz_support.h"

namespace {

using platform::Json;

// Same outcome: both fail, or both give the same JSON value.
bool sameOutcome(const platform::Result<Json>& a, const platform::Result<Json>& b) {
  if (a.ok() != b.ok()) return false;
  return !a.ok() || a.value() == b.value();
}

std::string encryptedBody(std::string_view key, std::string_view plaintext) {
  const std::string response = QBEncryptionUtils::encryptWithKey(key, plaintext);
  QB_FUZZ_CHECK(!response.empty());
  return platform::dumpJson(Json{{"response", response}});
}

std::string trimmed(std::string_view text) {
  const size_t first = text.find_first_not_of(" \t\r\n");
  if (first == std::string_view::npos) return {};
  const size_t last = text.find_last_not_of(" \t\r\n");
  return std::string(text.substr(first, last - first + 1));
}

void consumeItem(const QBAuctionResponseItem& item, const Json& entry) {
  auto& utils = QBAuctionDataUtils::sharedInstance();
  if (item.price()) {
    const std::string text = QBAuctionDataUtils::formatPrice(item.price());
    auto reread = platform::parseJson(text);
    QB_FUZZ_CHECK(reread.ok() && reread.value().is_number() && reread.value().get<double>() == *item.price());
  }
  // Compared as text: JSON's == takes 2^64-1 and -1 for the same number.
  if (item.cvValue()) QB_FUZZ_CHECK(std::to_string(*item.cvValue()) == platform::dumpJson(entry.at("cvValue")));

  QBAuctionMacroValues values;
  values.auctionPrice = QBAuctionDataUtils::formatPrice(item.price());
  values.instance = item.providerName();
  values.dynamicDemandSource = utils.getDynamicDemandSourceIdFromServerData(item.serverData()).value_or("");
  values.placementName = "Default Placement";
  for (const auto* urls : {&item.nurl(), &item.lurl(), &item.burl(), &item.impressionUrls()}) {
    for (const auto& url : *urls) {
      const std::string replaced = QBAuctionDataUtils::replaceMacros(url, values);
      if (url.find("${") == std::string::npos) QB_FUZZ_CHECK(replaced == url);
    }
  }
  (void)utils.getAdmFromServerData(item.serverData());
  QB_FUZZ_CHECK(utils.getAuctionResponseServerDataParams(item.serverData()).is_object());
  if (auto data = item.impressionDataWithPlacement("Default Placement")) {
    QB_FUZZ_CHECK(data->placement() == std::optional<std::string>("Default Placement"));
    auto text = platform::parseJson(data->allDataJsonText());
    QB_FUZZ_CHECK(text.ok() && text.value().is_object());
  }
  (void)item.description();
}

}  // namespace

QB_FUZZ_JSON_TARGET()

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view payload(reinterpret_cast<const char*>(data), size);
  auto& utils = QBAuctionDataUtils::sharedInstance();
  const std::string& mediationKey = QBEncryptionUtils::mediationKey();
  const std::string sessionKey = QBEncryptionUtils::sessionKey();

  // The input as it would arrive in each wire form.
  (void)utils.decodeAuctionAnswer(payload, true, mediationKey);
  const auto plain = utils.decodeAuctionAnswer(payload, false, mediationKey);
  auto gzipped = platform::gzipCompress(payload);
  QB_FUZZ_CHECK(gzipped.ok());
  const auto asJson = platform::parseJson(payload);
  const bool jsonText = !trimmed(payload).empty() && (trimmed(payload)[0] == '{' || trimmed(payload)[0] == '[');
  if (jsonText) QB_FUZZ_CHECK(sameOutcome(plain, asJson));
  QB_FUZZ_CHECK(sameOutcome(
      utils.decodeAuctionAnswer(platform::base64Encode(gzipped.value()), false, mediationKey), asJson));
  QB_FUZZ_CHECK(sameOutcome(
      utils.decodeAuctionAnswer(encryptedBody(mediationKey, gzipped.value()), true, mediationKey), asJson));
  const bool looksCompressed = !payload.empty() && (payload[0] == '\x1f' || payload[0] == '\x78');
  if (!looksCompressed) {
    QB_FUZZ_CHECK(sameOutcome(utils.decodeAuctionAnswer(encryptedBody(sessionKey, payload), true, sessionKey), asJson));
  }

  if (!asJson.ok()) return 0;
  auto parsed = utils.parseAuctionAnswer(asJson.value());
  if (!parsed.ok()) return 0;
  const auto& params = *parsed.value();
  const auto& waterfall = asJson.value().at("waterfall");
  QB_FUZZ_CHECK(params.waterfall().size() == waterfall.size());
  QB_FUZZ_CHECK(params.waterfall().size() <= QBAuctionDataUtils::kMaxWaterfallItems);
  for (size_t i = 0; i < params.waterfall().size(); ++i) consumeItem(*params.waterfall()[i], waterfall[i]);
  if (params.genericNotifications()) {
    consumeItem(*params.genericNotifications(), asJson.value().at("genericNotifications"));
  }
  return 0;
}
