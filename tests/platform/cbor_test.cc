// Binary JSON: what dumpCbor writes reads back as the same value; input that
// is no CBOR of a JSON value, or nests too deep, is refused without a crash.
#include <gtest/gtest.h>

#include <string>

#include "platform/json.h"
#include "platform_support.h"

namespace {

using platform::Json;
using platformtest::code;
using platformtest::errc;

TEST(CborTest, ValuesSurviveARoundTrip) {
  const Json value = Json::parse(
      R"({"a/x.png":{"lastReferencedTime":1760000000123,"tags":["r+1","%20"],"ratio":0.5,"on":true,"none":null},)"
      R"("b":{},"é":{"n":-3}})");
  const std::string bytes = platform::dumpCbor(value);
  EXPECT_EQ(static_cast<unsigned char>(bytes.at(0)), 0xa3);  // a CBOR map of three, not JSON text
  auto back = platform::parseCbor(bytes);
  ASSERT_TRUE(back);
  EXPECT_EQ(back.value(), value);
  EXPECT_EQ(back.value().begin().key(), "a/x.png");  // members keep their order
}

TEST(CborTest, InputThatIsNoJsonValueIsRefused) {
  const struct {
    const char* name;
    std::string bytes;
    platform::JsonErrc error;
  } rows[] = {
      {"empty", "", platform::JsonErrc::Malformed},
      {"JSON text", R"({"a":1})", platform::JsonErrc::Malformed},
      {"a byte string", "\x42\x01\x02", platform::JsonErrc::Malformed},
      {"a tag", "\xc1\x01", platform::JsonErrc::Malformed},
      {"a map key that is a number", "\xa1\x01\x02", platform::JsonErrc::Malformed},
      {"bytes after the value", std::string("\xa0\x00", 2), platform::JsonErrc::Malformed},
      {"an array longer than the input", "\x9b\xff\xff\xff\xff\xff\xff\xff\xff", platform::JsonErrc::Malformed},
      {"a text longer than the input", "\x7b\x7f\xff\xff\xff\xff\xff\xff\xff", platform::JsonErrc::Malformed},
      {"deep arrays", std::string(100'000, '\x81') + "\x00", platform::JsonErrc::TooDeep},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(errc(platform::parseCbor(row.bytes)), code(row.error));
  }
  EXPECT_TRUE(platform::parseCbor(std::string(platform::kMaxJsonDepth, '\x81') + std::string(1, '\0')));
}

}  // namespace
