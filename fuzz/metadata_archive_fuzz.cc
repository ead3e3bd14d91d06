// The file store's metadata archive read from arbitrary bytes (what a
// damaged or foreign "metadata.json" holds), and CBOR in general.
//  - Reading never fails or crashes: the archive is a map of file keys to
//    metadata objects, empty when the bytes are no such map.
//  - What the archive writes back reads as the same map.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/json.h"
#include "scriptfeatures/files/QBNFilePersistencyService.h"
#include "support/fuzz_support.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  qbfuzz::setUpProcess();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const platform::Json contents = QBNFilePersistencyService::contentsFromArchive(bytes);
  QB_FUZZ_CHECK(contents.is_object());
  for (const auto& entry : contents) QB_FUZZ_CHECK(entry.is_object());
  auto again = platform::parseCbor(platform::dumpCbor(contents));
  QB_FUZZ_CHECK(again.ok());
  // NaN never equals itself: compare the texts, which write it as null.
  QB_FUZZ_CHECK(platform::dumpJson(again.value()) == platform::dumpJson(contents));

  auto parsed = platform::parseCbor(bytes);
  if (parsed) (void)platform::dumpJson(parsed.value());
  return 0;
}
