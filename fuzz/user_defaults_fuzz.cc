// A user-defaults file of arbitrary bytes given to the store's loader.
//  - A file that is a JSON object is the store's contents, key for key;
//    anything else opens as an empty store marked corrupt, never a crash.
//  - Every typed read of every key answers (numbers of any size included).
//  - A change is written back and a new store of the same file reads the
//    same contents.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/json.h"
#include "platform/storage.h"
#include "support/fuzz_support.h"

QB_FUZZ_JSON_TARGET()

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const std::string folder = qbfuzz::scratchDir() + "/defaults";
  (void)platform::removeItem(folder);
  QB_FUZZ_CHECK(platform::createDirectories(folder).ok());
  const std::string path = folder + "/store.json";
  QB_FUZZ_CHECK(platform::writeFileAtomically(path, bytes).ok());

  const auto asJson = platform::parseJson(bytes);
  const bool isObject = asJson.ok() && asJson.value().is_object();
  platform::Json contents;
  {
    platform::UserDefaults store(path);
    QB_FUZZ_CHECK(store.wasCorruptOnOpen() == !isObject);
    contents = store.dictionaryRepresentation();
    QB_FUZZ_CHECK(contents.is_object());
    QB_FUZZ_CHECK(isObject ? contents == asJson.value() : contents.empty());
    for (const auto& [key, value] : contents.items()) {
      QB_FUZZ_CHECK(store.object(key) == std::optional<platform::Json>(value));
      (void)store.string(key);
      (void)store.integer(key);
      (void)store.boolean(key);
      (void)store.doubleValue(key);
    }
    store.setInteger("fuzz.written", 1);
    contents["fuzz.written"] = 1;
    QB_FUZZ_CHECK(store.synchronize().ok());
  }
  platform::UserDefaults reopened(path);
  QB_FUZZ_CHECK(!reopened.wasCorruptOnOpen());
  QB_FUZZ_CHECK(reopened.dictionaryRepresentation() == contents);
  return 0;
}
