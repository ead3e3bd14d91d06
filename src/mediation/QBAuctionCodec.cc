// The auction wire format of QBAuctionDataUtils: request JSON, body encoding,
// answer decoding and parsing (docs/auction.md).
#include <algorithm>
#include <string_view>
#include <unordered_set>

#include "core/QBAuctionSettings.h"
#include "core/QBSegmentUtils.h"
#include "foundation/QBAuctionProvider.h"
#include "foundation/QBEncryptionUtils.h"
#include "foundation/QBLoggerManager.h"
#include "mediation/QBAuctionDataUtils.h"
#include "mediation/QBAuctionInstanceParts.h"
#include "platform/clock.h"
#include "platform/crypto.h"
#include "platform/zip.h"

namespace {

platform::Error auctionError(int code, std::string message) {
  return platform::Error{kQBAuctionErrorDomain, code, std::move(message)};
}

// Compressed payloads are told apart from JSON text by their first byte: gzip
// starts with 0x1f, zlib (default window) with 0x78; JSON text with neither.
bool looksCompressed(std::string_view bytes) {
  return !bytes.empty() && (static_cast<unsigned char>(bytes[0]) == 0x1f || bytes[0] == 0x78);
}

platform::Result<std::string> inflatePayload(std::string_view bytes) {
  auto inflated = platform::inflate(bytes, QBAuctionDataUtils::kMaxInflatedAnswerBytes);
  if (!inflated.ok()) {
    return auctionError(QBAuctionErrorCode::kUndecodableAnswer,
                        "answer does not decompress: " + inflated.error().message);
  }
  return std::move(inflated).value();
}

platform::Result<platform::Json> parsePayloadText(std::string_view text) {
  auto parsed = platform::parseJson(text);
  if (!parsed.ok()) {
    return auctionError(QBAuctionErrorCode::kMalformedAnswer, "answer is not JSON: " + parsed.error().message);
  }
  return std::move(parsed).value();
}

// Without JSON's whitespace at either end (space, tab, line feed, carriage
// return; not the C library's wider set, so a text the JSON reader refuses,
// such as one ending in a vertical tab, is refused here too).
std::string_view trimmed(std::string_view text) {
  const auto isJsonSpace = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; };
  while (!text.empty() && isJsonSpace(text.front())) text.remove_prefix(1);
  while (!text.empty() && isJsonSpace(text.back())) text.remove_suffix(1);
  return text;
}

// An optional object member: absent or null gives {}; another type is an
// error.
bool optionalObject(platform::Json& payload, const char* key, platform::Json& out) {
  auto it = payload.find(key);
  if (it == payload.end() || it->is_null()) {
    out = platform::Json::object();
    return true;
  }
  if (!it->is_object()) return false;
  out = std::move(*it);
  return true;
}

}  // namespace

std::string QBAuctionDataUtils::buildAuctionRequest(const QBAuctionRequestParams& params,
                                                    const QBAuctionRequestContext& context) const {
  using platform::dumpJson;
  using platform::Json;
  const QBAuctionInstanceParts* parts = params.instanceParts().get();
  std::string out;
  out.reserve(1024 + 48 * params.nonBidders().size());
  auto member = [&out](const char* key, const std::string& valueText) {
    out += out.empty() ? "{\"" : ",\"";
    out += key;
    out += "\":";
    out += valueText;
  };
  auto flag = [](bool value) { return std::string(value ? "true" : "false"); };
  member("adUnit", platform::quoteJson(params.adUnit()));
  member("sessionId", platform::quoteJson(context.sessionId));
  member("sessionDepth", std::to_string(params.sessionDepth()));
  member("isOneToken", flag(context.isOneToken));
  member("isEncryptedResponse", flag(context.isEncryptedResponse));
  member("compressResponse", flag(context.compressResponse));
  member("testSuiteLaunched", flag(params.testSuiteLaunched()));
  member("useTestAds", flag(params.useTestAds()));

  // Bidders first, in their order; a non-bidder also named as bidder appears
  // once, as bidder.
  out += ",\"instances\":[";
  bool first = true;
  auto next = [&] {
    if (!first) out += ',';
    first = false;
  };
  std::unordered_set<std::string_view> bidderNames;
  if (params.bidders().is_object()) {
    for (const auto& [name, token] : params.bidders().items()) {
      next();
      const std::string* quoted = parts ? parts->quotedName(name) : nullptr;
      out += "{\"instance\":";
      out += quoted ? *quoted : QBAuctionInstanceParts::quote(name);
      out += ",\"isBidder\":true,\"biddingData\":";
      out += dumpJson(token);
      out += '}';
      bidderNames.insert(name);
    }
  }
  for (const auto& name : params.nonBidders()) {
    if (bidderNames.count(name) != 0) continue;
    next();
    if (const std::string* entry = parts ? parts->nonBidderEntry(name) : nullptr) {
      out += *entry;
    } else {
      out += QBAuctionInstanceParts::makeNonBidderEntry(QBAuctionInstanceParts::quote(name));
    }
  }
  out += ']';

  out += ",\"auctionHistory\":";
  if (params.auctionHistory()) {
    params.auctionHistory()->appendJson(out, parts);
  } else {
    out += "{}";
  }
  if (params.segment() && !params.segment()->isEmpty()) {
    member("segment", dumpJson(QBSegmentUtils::getAsDictionary(*params.segment())));
  }
  member("clientParams", dumpJson(QBAuctionProvider::sharedInstance().getAuctionData()));
  member("clientTimestamp", std::to_string(platform::nowWallMs()));
  out += '}';
  return out;
}

platform::Result<QBEncodedAuctionRequest> QBAuctionDataUtils::encodeAuctionRequest(const std::string& json,
                                                                                  int encryptionVersion,
                                                                                  bool compress) const {
  QBEncodedAuctionRequest out;
  out.compressed = compress;
  std::string payload;
  if (!compress) {
    payload = json;
  } else {
    // The fastest level: half the default level's time on the road, for a
    // few per cent more bytes on the wire.
    auto gz = platform::gzipCompress(json, platform::CompressionLevel::Fastest);
    if (!gz.ok()) {
      return auctionError(QBAuctionErrorCode::kRequestNotBuilt, "request does not compress: " + gz.error().message);
    }
    payload = std::move(gz).value();
  }

  if (encryptionVersion == QBAuctionSettings::kEncryptionNone) {
    out.encryptionVersion = QBAuctionSettings::kEncryptionNone;
    out.answerKey = QBEncryptionUtils::mediationKey();
    // Binary gzip travels as base64 text, as every compressed body of the
    // library does.
    out.body = compress ? platform::base64Encode(payload) : std::move(payload);
    return out;
  }

  std::string wrappedKey;
  if (encryptionVersion == QBAuctionSettings::kEncryptionSessionKey) {
    wrappedKey = QBEncryptionUtils::encryptedSessionKey();
    if (wrappedKey.empty()) {
      QB_LOG("session key could not be wrapped, sending the request under the mediation key", QBLogLevelError,
             QBLogTagNetwork);
    }
  }
  const bool sessionForm = !wrappedKey.empty();
  out.answerKey = sessionForm ? QBEncryptionUtils::sessionKey() : QBEncryptionUtils::mediationKey();
  auto cipher = platform::aes256CbcEncrypt(out.answerKey, payload);
  if (!cipher.ok()) {
    return auctionError(QBAuctionErrorCode::kRequestNotBuilt, "request does not encrypt: " + cipher.error().message);
  }
  const std::string text = platform::base64Encode(cipher.value());
  // {"sk": ..., "ct": ...} or {"request": ...}, written as text.
  if (sessionForm) {
    out.encryptionVersion = QBAuctionSettings::kEncryptionSessionKey;
    out.body = "{\"sk\":" + platform::quoteJson(wrappedKey) + ",\"ct\":" + platform::quoteJson(text) + "}";
  } else {
    out.encryptionVersion = QBAuctionSettings::kEncryptionMediationKey;
    out.body = "{\"request\":" + platform::quoteJson(text) + "}";
  }
  return out;
}

platform::Result<platform::Json> QBAuctionDataUtils::decodeAuctionAnswer(std::string_view body, bool encrypted,
                                                                        std::string_view answerKey) const {
  if (encrypted) {
    auto outer = parsePayloadText(body);
    if (!outer.ok()) return outer;
    auto response = platform::getString(outer.value(), "response");
    if (!response) {
      return auctionError(QBAuctionErrorCode::kMalformedAnswer, "encrypted answer has no \"response\" string");
    }
    auto cipher = platform::base64Decode(*response);
    if (!cipher.ok()) {
      return auctionError(QBAuctionErrorCode::kUndecodableAnswer, "\"response\" is not base64");
    }
    auto plain = platform::aes256CbcDecrypt(answerKey, cipher.value());
    if (!plain.ok()) {
      return auctionError(QBAuctionErrorCode::kUndecodableAnswer, "answer does not decrypt: " + plain.error().message);
    }
    if (!looksCompressed(plain.value())) return parsePayloadText(plain.value());
    auto inflated = inflatePayload(plain.value());
    if (!inflated.ok()) return inflated.error();
    return parsePayloadText(inflated.value());
  }

  const std::string_view text = trimmed(body);
  if (!text.empty() && (text.front() == '{' || text.front() == '[')) return parsePayloadText(text);
  if (looksCompressed(body)) {
    auto inflated = inflatePayload(body);
    if (!inflated.ok()) return inflated.error();
    return parsePayloadText(inflated.value());
  }
  auto compressed = platform::base64Decode(text);
  if (!compressed.ok() || compressed.value().empty()) {
    return auctionError(QBAuctionErrorCode::kMalformedAnswer, "answer is not JSON");
  }
  auto inflated = inflatePayload(compressed.value());
  if (!inflated.ok()) return inflated.error();
  return parsePayloadText(inflated.value());
}

platform::Result<std::shared_ptr<QBAuctionResponseParams>> QBAuctionDataUtils::parseAuctionAnswer(
    platform::Json payload) const {
  auto malformed = [](const std::string& what) {
    return auctionError(QBAuctionErrorCode::kMalformedAnswer, "malformed auction answer - " + what);
  };
  if (!payload.is_object()) return malformed("not a JSON object");
  auto auctionId = platform::getString(payload, "auctionId");
  if (!auctionId || auctionId->empty()) return malformed("\"auctionId\" is missing or not a non-empty string");
  auto waterfallIt = payload.find("waterfall");
  if (waterfallIt == payload.end() || !waterfallIt->is_array()) {
    return malformed("\"waterfall\" is missing or not an array");
  }
  if (waterfallIt->empty()) return auctionError(QBAuctionErrorCode::kBadWaterfall, "auction waterfall is empty");
  if (waterfallIt->size() > kMaxWaterfallItems) {
    return auctionError(QBAuctionErrorCode::kBadWaterfall,
                        "auction waterfall has " + std::to_string(waterfallIt->size()) + " items, more than " +
                            std::to_string(kMaxWaterfallItems));
  }

  auto params = std::make_shared<QBAuctionResponseParams>();
  params->setIsSuccess(true);
  params->setAuctionId(*auctionId);
  QBAuctionResponseParams::Items items;
  items.reserve(waterfallIt->size());
  size_t index = 0;
  for (auto& entry : *waterfallIt) {
    auto item = QBAuctionResponseItem::fromJson(std::move(entry), *auctionId);
    if (!item.ok()) return malformed("waterfall[" + std::to_string(index) + "]: " + item.error().message);
    items.push_back(std::move(item).value());
    ++index;
  }
  params->setWaterfall(std::move(items));

  auto genericIt = payload.find("genericNotifications");
  if (genericIt != payload.end() && !genericIt->is_null()) {
    auto generic = QBAuctionResponseItem::fromJson(std::move(*genericIt), *auctionId, false);
    if (!generic.ok()) return malformed("genericNotifications: " + generic.error().message);
    params->setGenericNotifications(std::move(generic).value());
  }
  platform::Json object;
  if (!optionalObject(payload, "genericParams", object)) return malformed("\"genericParams\" is not an object");
  params->setGenericParams(std::move(object));
  if (!optionalObject(payload, "configurations", object)) return malformed("\"configurations\" is not an object");
  params->setConfigurations(std::move(object));
  if (!optionalObject(payload, "conversionValueParameters", object)) {
    return malformed("\"conversionValueParameters\" is not an object");
  }
  params->setConversionValueParameters(std::move(object));
  return params;
}
