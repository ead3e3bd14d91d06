#include "platform/zip.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "platform_support.h"

using namespace platform;
using platformtest::code;
using platformtest::errc;

namespace {

// Deterministic text that compresses, but not to nothing.
std::string sample(size_t n) {
  std::string s;
  uint32_t x = 12345;
  while (s.size() < n) {
    x = x * 1103515245u + 12345u;
    s.push_back(static_cast<char>('a' + (x >> 16) % 20));
  }
  return s;
}

// zlib-format (RFC 1950) stream of data.
std::string zlibCompress(const std::string& data) {
  uLongf len = compressBound(data.size());
  std::string out(len, '\0');
  compress(reinterpret_cast<Bytef*>(out.data()), &len, reinterpret_cast<const Bytef*>(data.data()), data.size());
  out.resize(len);
  return out;
}

TEST(Zip, GzipRoundTripsAndInflatesZlibFormat) {
  for (size_t n : {size_t{0}, size_t{1}, size_t{1000}, size_t{3} << 20}) {
    const std::string data = sample(n);
    auto gz = gzipCompress(data);
    ASSERT_TRUE(gz.ok());
    ASSERT_GE(gz.value().size(), 18u);
    EXPECT_EQ(gz.value().substr(0, 2), "\x1f\x8b");
    EXPECT_EQ(inflate(gz.value()).valueOr("x"), data) << n;
    EXPECT_EQ(inflate(zlibCompress(data)).valueOr("x"), data) << n;
  }
}

// Both levels give one gzip member any inflater reads; one thread's reused
// stream switches between them in any order without carrying the other
// level's state (or a failed call's) into the next member.
TEST(Zip, BothLevelsRoundTripInAnyOrderOnOneStream) {
  // A request-like body: many similar entries.
  std::string json = "{\"instances\":[";
  uint32_t x = 12345;
  for (int i = 0; i < 600; ++i) {
    x = x * 1103515245u + 12345u;
    json += "{\"instance\":\"TulvoRV2x" + std::to_string(i) + "\",\"isBidder\":false,\"loads\":" +
            std::to_string((x >> 16) % 1000) + "},";
  }
  json += "{}]}";
  const CompressionLevel levels[] = {CompressionLevel::Fastest, CompressionLevel::Default, CompressionLevel::Default,
                                     CompressionLevel::Fastest, CompressionLevel::Fastest};
  size_t fastest = 0, standard = 0;
  for (CompressionLevel level : levels) {
    for (size_t n : {size_t{0}, size_t{1}, json.size(), size_t{3} << 20}) {
      const std::string data = n <= json.size() ? json.substr(0, n) : sample(n);
      auto gz = gzipCompress(data, level);
      ASSERT_TRUE(gz.ok());
      EXPECT_EQ(gz.value().substr(0, 2), "\x1f\x8b");
      EXPECT_EQ(inflate(gz.value()).valueOr("x"), data) << n;
      if (n == json.size()) (level == CompressionLevel::Fastest ? fastest : standard) = gz.value().size();
    }
  }
  // The levels really differ: the default level packs tighter.
  EXPECT_LT(standard, fastest);
  EXPECT_EQ(gzipCompress(json).value().size(), standard);
}

TEST(Zip, EveryTruncationAndCorruptionIsReported) {
  const std::string gz = gzipCompress(sample(5000)).value();
  const std::string zl = zlibCompress(sample(5000));
  for (const std::string* stream : {&gz, &zl}) {
    for (size_t len = 0; len < stream->size(); ++len) {
      EXPECT_EQ(errc(inflate(stream->substr(0, len))), code(ZipErrc::Truncated)) << len;
    }
  }
  EXPECT_EQ(inflate(gz.substr(0, 20)).error().domain, kZipErrorDomain);

  std::string badCrc = gz;
  badCrc[badCrc.size() - 5] ^= 0x01;  // CRC-32 in the gzip trailer
  std::string badHeader = gz;
  badHeader[2] = 0x07;  // compression method other than deflate
  const std::string raw = gz.substr(10, gz.size() - 18);  // headerless deflate data
  for (const std::string& bad : {badCrc, badHeader, raw, std::string("plain text, not compressed"),
                                 gz + "trailing", gz + gz}) {
    EXPECT_EQ(errc(inflate(bad)), code(ZipErrc::Corrupt)) << bad.size();
  }
}

TEST(Zip, OutputCapRefusesBombsAndAllowsExactFit) {
  // Zeros just past the default cap: a few dozen KiB on the wire.
  const std::string bomb = gzipCompress(std::string(kDefaultMaxInflateBytes + 1, '\0')).value();
  ASSERT_LT(bomb.size(), 200u * 1024);
  EXPECT_EQ(errc(inflate(bomb)), code(ZipErrc::TooLarge));

  const std::string data = sample(100000);
  const std::string gz = gzipCompress(data).value();
  EXPECT_EQ(inflate(gz, data.size()).valueOr({}), data);
  EXPECT_EQ(errc(inflate(gz, data.size() - 1)), code(ZipErrc::TooLarge));
  EXPECT_EQ(inflate(gzipCompress("").value(), 0).valueOr("x"), "");

  // Small inputs inflate into chunks that grow from a few KiB: the cap holds
  // exactly on either side of each chunk's end.
  for (size_t n : {1023u, 1024u, 1025u, 3071u, 3072u, 3073u, 7168u, 7169u, 70000u}) {
    const std::string zeros(n, '\0');
    const std::string packed = gzipCompress(zeros).value();
    EXPECT_EQ(inflate(packed, n).valueOr({}), zeros) << n;
    EXPECT_EQ(errc(inflate(packed, n - 1)), code(ZipErrc::TooLarge)) << n;
  }
}

// Streams are kept per thread and reused: whatever the last call left behind
// (a failure half-way, an early stop at the cap, a zlib header) must not leak
// into the next one, and threads must not share one.
TEST(Zip, ReusedStreamsStartCleanAfterEveryOutcomeAndOnEveryThread) {
  const std::string data = sample(20000);
  const std::string gz = gzipCompress(data).value();
  const std::string bad = gz.substr(0, 10) + std::string(50, '\x55');
  auto roundTrips = [&] {
    for (const std::string& before : {gz.substr(0, gz.size() / 2), bad, gz + "x", zlibCompress(data)}) {
      (void)inflate(before);
      (void)inflate(gz, 100);  // stopped at the cap
      if (inflate(gz).valueOr("x") != data) return false;
      if (inflate(gzipCompress(data).value()).valueOr("x") != data) return false;
    }
    return true;
  };
  EXPECT_TRUE(roundTrips());
  std::vector<std::thread> threads;
  std::atomic<int> good{0};
  for (int i = 0; i < 4; ++i) threads.emplace_back([&] { good += roundTrips() ? 1 : 0; });
  for (auto& t : threads) t.join();
  EXPECT_EQ(good.load(), 4);
}

}  // namespace
