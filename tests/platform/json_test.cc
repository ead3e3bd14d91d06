#include "platform/json.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

using namespace platform;

namespace {

TEST(Json, MalformedAndTruncatedTextIsAnError) {
  for (const char* bad : {"", "{\"a\":}", "{\"a\":1}x", "[1,]", "{'a':1}", "01", "NaN",
                          "\"\\uZZZZ\"", "\"\xff\"", "{\"a\":\"\\ud800\"}"}) {
    auto r = parseJson(bad);
    ASSERT_FALSE(r.ok()) << bad;
    EXPECT_EQ(r.error().domain, kJsonErrorDomain);
    EXPECT_EQ(r.error().code, static_cast<int>(JsonErrc::Malformed)) << bad;
    EXPECT_FALSE(r.error().message.empty());
  }
  const std::string full = R"({"configurations":{"a":[1,2,{"b":"c"}]},"n":-1.5e3})";
  ASSERT_TRUE(parseJson(full).ok());
  for (size_t len = 0; len < full.size(); ++len) {
    EXPECT_FALSE(parseJson(full.substr(0, len)).ok()) << len;
  }
  EXPECT_FALSE(parseJson(std::string("{}\0", 3)).ok());
}

TEST(Json, DeepNestingIsRefusedWithoutCrashing) {
  const auto nested = [](int depth) {
    return std::string(static_cast<size_t>(depth), '[') + std::string(static_cast<size_t>(depth), ']');
  };
  auto atLimit = parseJson(nested(kMaxJsonDepth));
  ASSERT_TRUE(atLimit.ok());
  EXPECT_EQ(dumpJson(atLimit.value()), nested(kMaxJsonDepth));
  for (int depth : {kMaxJsonDepth + 1, 1'000'000}) {
    auto r = parseJson(nested(depth));
    ASSERT_FALSE(r.ok());
    EXPECT_EQ(r.error().code, static_cast<int>(JsonErrc::TooDeep));
  }
  // Unbalanced openers only (a truncated deep document) are refused as well.
  EXPECT_FALSE(parseJson(std::string(1'000'000, '{')).ok());
  // Brackets inside strings are text, not nesting.
  auto inString = parseJson("[\"" + std::string(10000, '[') + "\\\"\"]");
  ASSERT_TRUE(inString.ok());
  EXPECT_EQ(inString.value()[0].get<std::string>().size(), 10001u);
  // An even run of backslashes before a quote ends the string; an odd one
  // escapes the quote.
  const std::string deep = nested(kMaxJsonDepth + 1);
  auto afterEvenRun = parseJson("[\"a\\\\\\\\\"," + deep + "]");
  ASSERT_FALSE(afterEvenRun.ok());
  EXPECT_EQ(afterEvenRun.error().code, static_cast<int>(JsonErrc::TooDeep));
  auto afterOddRun = parseJson("[\"a\\\\\\\"" + deep + "\"]");
  ASSERT_TRUE(afterOddRun.ok()) << afterOddRun.error().message;
  EXPECT_EQ(afterOddRun.value()[0].get<std::string>(), "a\\\"" + deep);
}

// parseJson reads with simdjson and hands what it refuses to nlohmann's
// parser; either way the verdict and the value are the reference reader's,
// numbers of the same kind included.
TEST(Json, TheFastReaderReadsWhatTheReferenceReaderReads) {
  const auto kind = [](const Json& v) {
    return std::string(v.type_name()) + (v.is_number_unsigned() ? "/u" : v.is_number_integer() ? "/i" : "");
  };
  std::string big = "[";
  for (int i = 0; i < 20'000; ++i) big += R"({"instance":"n)" + std::to_string(i) + R"(","price":)" + std::to_string(i) + ".5},";
  big += "null]";
  ASSERT_GT(big.size(), 64u * 1024);  // past what a worker's reader keeps
  // Objects of many members, which the reader fills without searching when
  // no name repeats: one without a repeated name, one with a name repeated
  // far apart (first place, last value), one with names of equal length that
  // differ in their last character only, and one nested in another.
  std::string wide = "{", repeated = "{", similar = "{";
  for (int i = 0; i < 40; ++i) {
    const std::string n = std::to_string(i);
    wide += (i ? "," : "") + std::string(R"("k)") + n + R"(":)" + n;
    repeated += (i ? "," : "") + std::string(R"("k)") + std::to_string(i % 37) + R"(":)" + n;
    similar += (i ? "," : "") + std::string(R"("instance10)") + std::to_string(10 + i) + R"(":)" + n;
  }
  wide += "}";
  repeated += "}";
  similar += "}";
  const std::string nested = R"({"outer":)" + repeated + R"(,"list":[)" + wide + "," + similar + "]}";
  const std::vector<std::string> texts = {
      R"({"b":1,"a":[true,false,null],"b":{"x":-2},"c":"\u00e9\ud83d\ude00\n"})",
      "0", "-0", "7", "-7", "1.0", "-0.0", "1e2", "1E-400", "1e400",
      "9223372036854775807", "9223372036854775808", "18446744073709551615", "18446744073709551616",
      "-9223372036854775808", "-9223372036854775809", "123456789012345678901234567890",
      "\xef\xbb\xbf{\"bom\":1}", "  [1 , 2]\n", R"("a\u0000b")", R"("\ud800")", R"("\udc00x")",
      "\"tab\there\"", "{\"a\":1}{}", "[1] 2", "\"\xc3\"", big, big.substr(0, big.size() - 1),
      wide, repeated, similar, nested,
      // After the large text, a worker's kept reader still reads small ones.
      R"({"a":"x"})"};
  for (const std::string& text : texts) {
    auto fast = parseJson(text);
    auto reference = parseJsonByReferenceForTesting(text);
    ASSERT_EQ(fast.ok(), reference.ok()) << text.substr(0, 80);
    if (!fast.ok()) {
      EXPECT_EQ(fast.error().code, reference.error().code) << text.substr(0, 80);
      continue;
    }
    EXPECT_EQ(dumpJson(fast.value()), dumpJson(reference.value())) << text.substr(0, 80);
    // "-0" is a signed zero to nlohmann and a plain one to simdjson: equal.
    if (!fast.value().is_structured() && text != "-0") {
      EXPECT_EQ(kind(fast.value()), kind(reference.value())) << text;
    }
  }
  // Kinds inside containers, and a repeated name: first place, last value.
  auto doc = parseJson(R"({"u":5,"i":-5,"f":5.0,"b":1,"b":2})");
  ASSERT_TRUE(doc.ok());
  EXPECT_TRUE(doc.value()["u"].is_number_unsigned());
  EXPECT_TRUE(doc.value()["i"].is_number_integer() && !doc.value()["i"].is_number_unsigned());
  EXPECT_TRUE(doc.value()["f"].is_number_float());
  EXPECT_EQ(dumpJson(doc.value()), R"({"u":5,"i":-5,"f":5.0,"b":2})");
  auto many = parseJson(repeated);
  ASSERT_TRUE(many.ok());
  EXPECT_EQ(many.value().size(), 37u);
  EXPECT_EQ(many.value()["k0"], 37);
  EXPECT_EQ(many.value().begin().key(), "k0");
}

// A thread's own objects may read JSON while the thread ends, after the
// reader the thread kept has gone: that read gets a reader of its own.
TEST(Json, TextsReadWhileAThreadEndsAreRead) {
  struct ReadsAtThreadEnd {
    bool* read;
    ~ReadsAtThreadEnd() { *read = parseJson(R"({"a":[1,2]})").ok(); }
  };
  bool read = false;
  std::thread([&read] {
    // Made before the thread's first read, so it ends after the kept reader.
    thread_local ReadsAtThreadEnd atEnd{nullptr};
    atEnd.read = &read;
    ASSERT_TRUE(parseJson("[1]").ok());
  }).join();
  EXPECT_TRUE(read);
}

TEST(Json, DumpIsCompactOrderedAndSurvivesInvalidUtf8) {
  auto v = parseJson(R"( { "z" : 1, "a" : [ true, null, "x" ], "m" : { } } )");
  ASSERT_TRUE(v.ok());
  EXPECT_EQ(dumpJson(v.value()), R"({"z":1,"a":[true,null,"x"],"m":{}})");
  const Json bad = {{"k", std::string("ok\xff\xfe")}};
  EXPECT_EQ(dumpJson(bad), "{\"k\":\"ok\xEF\xBF\xBD\xEF\xBF\xBD\"}");
}

TEST(Json, QuotedTextIsWhatTheWriterGivesForTheString) {
  using platform::Json;
  const std::string cases[] = {"",
                               "TulvoRV2",
                               "aGVsbG8gd29ybGQ=/+",
                               "say \"hi\"",
                               "back\\slash",
                               std::string("nul\0byte", 8),
                               "tab\tline\nend\x1f",
                               "del\x7f",
                               "caf\xc3\xa9",
                               "bad \xff\xfe utf-8",
                               "\xe2\x82"};
  for (const std::string& text : cases) {
    SCOPED_TRACE(text);
    EXPECT_EQ(platform::quoteJson(text), platform::dumpJson(Json(text)));
  }
  EXPECT_EQ(platform::quoteJson("plain"), "\"plain\"");
}

TEST(Json, TypedGettersConvertOnlyWhatTheyPromise) {
  const Json j = parseJson(R"({"s": "text", "i": 42, "big": 18446744073709551615, "f": 3.9, "nf": -3.9,
    "huge": 1e300, "zero": 0, "two": 2, "onef": 1.0, "o": {"x": 1}, "a": [1], "numstr": "12"})").value();
  EXPECT_EQ(getString(j, "i"), std::nullopt);
  EXPECT_EQ(getInt(j, "f"), 3);
  EXPECT_EQ(getInt(j, "nf"), -3);
  EXPECT_EQ(getInt(j, "big"), std::nullopt);
  EXPECT_EQ(getInt(j, "huge"), std::nullopt);
  EXPECT_EQ(getInt(j, "numstr"), std::nullopt);
  EXPECT_EQ(getDouble(j, "i"), 42.0);
  EXPECT_EQ(getDouble(j, "s"), std::nullopt);
  EXPECT_EQ(getBool(j, "onef"), true);
  EXPECT_EQ(getBool(j, "zero"), false);
  EXPECT_EQ(getBool(j, "two"), std::nullopt);
  EXPECT_EQ(getObject(j, "a"), std::nullopt);
  EXPECT_EQ(getArray(j, "o"), std::nullopt);
  for (const Json& notObject : {Json(nullptr), Json::array({1}), Json("s"), Json(5)}) {
    EXPECT_EQ(getString(notObject, "s"), std::nullopt);
    EXPECT_EQ(getObject(notObject, "o"), std::nullopt);
  }
}

}  // namespace
