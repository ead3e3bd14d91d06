// The platform codecs as round trips, on arbitrary bytes:
//  - base64: bytes encode and decode back; text that decodes is in canonical
//    form (encoding the bytes gives the text again);
//  - percent encoding: bytes encode (with and without kept characters) and
//    decode back; text that decodes re-encodes to text that decodes the same;
//  - gzip: bytes compress and inflate back; inflating the input never passes
//    the cap it is given;
//  - JSON: text that parses dumps to text that parses to the same value, and
//    that dump is stable.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/crypto.h"
#include "platform/json.h"
#include "platform/zip.h"
#include "support/fuzz_support.h"

namespace {

void base64RoundTrips(std::string_view bytes) {
  const std::string encoded = platform::base64Encode(bytes);
  QB_FUZZ_CHECK(encoded.size() % 4 == 0);
  auto decoded = platform::base64Decode(encoded);
  QB_FUZZ_CHECK(decoded.ok() && decoded.value() == bytes);

  auto asText = platform::base64Decode(bytes);
  if (asText.ok()) QB_FUZZ_CHECK(platform::base64Encode(asText.value()) == bytes);
}

void percentRoundTrips(std::string_view bytes) {
  const std::string encoded = platform::percentEncode(bytes);
  for (unsigned char c : encoded) {
    QB_FUZZ_CHECK(c > 0x20 && c < 0x7f);
  }
  auto decoded = platform::percentDecode(encoded);
  QB_FUZZ_CHECK(decoded.ok() && decoded.value() == bytes);
  // Kept characters stay as they are and still decode back ("%" kept would
  // make the text ambiguous, so it is never kept).
  const std::string kept = platform::percentEncode(bytes, "/:?&=+$,;@!*'()");
  auto keptDecoded = platform::percentDecode(kept);
  QB_FUZZ_CHECK(keptDecoded.ok() && keptDecoded.value() == bytes);

  auto asText = platform::percentDecode(bytes);
  if (asText.ok()) {
    auto again = platform::percentDecode(platform::percentEncode(asText.value()));
    QB_FUZZ_CHECK(again.ok() && again.value() == asText.value());
  }
}

void gzipRoundTrips(std::string_view bytes) {
  auto compressed = platform::gzipCompress(bytes);
  QB_FUZZ_CHECK(compressed.ok());
  auto inflated = platform::inflate(compressed.value());
  QB_FUZZ_CHECK(inflated.ok() && inflated.value() == bytes);
  if (!bytes.empty()) {
    auto capped = platform::inflate(compressed.value(), bytes.size() - 1);
    QB_FUZZ_CHECK(!capped.ok() && capped.error().code == static_cast<int>(platform::ZipErrc::TooLarge));
  }

  constexpr size_t kCap = 1 << 20;
  auto asStream = platform::inflate(bytes, kCap);
  if (asStream.ok()) QB_FUZZ_CHECK(asStream.value().size() <= kCap);
}

void jsonRoundTrips(std::string_view bytes) {
  // Any bytes as a string value: the quick quoting gives what the writer does.
  QB_FUZZ_CHECK(platform::quoteJson(bytes) == platform::dumpJson(platform::Json(std::string(bytes))));
  auto parsed = platform::parseJson(bytes);
  // The fast reader and nlohmann's agree on every text: the same verdict, the
  // same value.
  auto reference = platform::parseJsonByReferenceForTesting(bytes);
  QB_FUZZ_CHECK(parsed.ok() == reference.ok());
  if (!parsed.ok()) {
    QB_FUZZ_CHECK(parsed.error().code == reference.error().code);
    return;
  }
  QB_FUZZ_CHECK(parsed.value() == reference.value());
  QB_FUZZ_CHECK(platform::dumpJson(parsed.value()) == platform::dumpJson(reference.value()));
  const std::string dumped = platform::dumpJson(parsed.value());
  auto again = platform::parseJson(dumped);
  QB_FUZZ_CHECK(again.ok());
  QB_FUZZ_CHECK(platform::dumpJson(again.value()) == dumped);
  QB_FUZZ_CHECK(again.value() == parsed.value());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  base64RoundTrips(bytes);
  percentRoundTrips(bytes);
  gzipRoundTrips(bytes);
  jsonRoundTrips(bytes);
  return 0;
}
