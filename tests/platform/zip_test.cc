#include "platform/zip.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <string>

using namespace platform;

namespace {

int code(ZipErrc c) { return static_cast<int>(c); }

// Deterministic text that compresses, but not to nothing.
std::string sample(size_t n) {
  std::string s;
  s.reserve(n);
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
  compress(reinterpret_cast<Bytef*>(out.data()), &len, reinterpret_cast<const Bytef*>(data.data()),
           data.size());
  out.resize(len);
  return out;
}

// gzip stream of `total` zero bytes, compressed in slices so the test never
// holds the expanded data.
std::string gzipOfZeros(size_t total) {
  z_stream zs{};
  deflateInit2(&zs, Z_BEST_COMPRESSION, Z_DEFLATED, 31, 9, Z_DEFAULT_STRATEGY);
  const std::string zeros(1 << 20, '\0');
  std::string out;
  char buf[1 << 16];
  size_t left = total;
  int rc = Z_OK;
  do {
    if (zs.avail_in == 0 && left > 0) {
      const size_t n = std::min(left, zeros.size());
      zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(zeros.data()));
      zs.avail_in = static_cast<uInt>(n);
      left -= n;
    }
    zs.next_out = reinterpret_cast<Bytef*>(buf);
    zs.avail_out = sizeof buf;
    rc = deflate(&zs, left == 0 ? Z_FINISH : Z_NO_FLUSH);
    out.append(buf, sizeof buf - zs.avail_out);
  } while (rc != Z_STREAM_END);
  deflateEnd(&zs);
  return out;
}

TEST(Zip, GzipRoundTripsAndInflatesZlibFormat) {
  for (size_t n : {size_t{0}, size_t{1}, size_t{1000}, size_t{3} << 20}) {
    const std::string data = sample(n);
    auto gz = gzipCompress(data);
    ASSERT_TRUE(gz.ok());
    ASSERT_GE(gz.value().size(), 18u);
    EXPECT_EQ(static_cast<unsigned char>(gz.value()[0]), 0x1f);
    EXPECT_EQ(static_cast<unsigned char>(gz.value()[1]), 0x8b);
    auto back = inflate(gz.value());
    ASSERT_TRUE(back.ok()) << n << ": " << back.error().message;
    EXPECT_EQ(back.value(), data);

    auto fromZlib = inflate(zlibCompress(data));
    ASSERT_TRUE(fromZlib.ok());
    EXPECT_EQ(fromZlib.value(), data);
  }
}

TEST(Zip, EveryTruncationIsReported) {
  const std::string gz = gzipCompress(sample(5000)).value();
  const std::string zl = zlibCompress(sample(5000));
  for (const std::string* stream : {&gz, &zl}) {
    for (size_t len = 0; len < stream->size(); ++len) {
      auto r = inflate(stream->substr(0, len));
      ASSERT_FALSE(r.ok()) << len;
      EXPECT_EQ(r.error().domain, kZipErrorDomain);
      EXPECT_EQ(r.error().code, code(ZipErrc::Truncated)) << len << ": " << r.error().message;
    }
  }
}

TEST(Zip, CorruptStreamsAreReported) {
  const std::string gz = gzipCompress(sample(5000)).value();
  std::string badCrc = gz;
  badCrc[badCrc.size() - 5] ^= 0x01;  // CRC-32 in the gzip trailer
  std::string badHeader = gz;
  badHeader[2] = 0x07;  // compression method other than deflate
  const std::string raw = gz.substr(10, gz.size() - 18);  // headerless deflate data
  for (const std::string& bad : {badCrc, badHeader, raw, std::string("plain text, not compressed"),
                                 gz + "trailing", gz + gz}) {
    auto r = inflate(bad);
    ASSERT_FALSE(r.ok());
    EXPECT_EQ(r.error().code, code(ZipErrc::Corrupt)) << r.error().message;
  }
}

TEST(Zip, OutputCapRefusesBombsAndAllowsExactFit) {
  const std::string bomb = gzipOfZeros(size_t{100} << 20);
  ASSERT_LT(bomb.size(), 200u * 1024);
  auto r = inflate(bomb);
  ASSERT_FALSE(r.ok());
  EXPECT_EQ(r.error().code, code(ZipErrc::TooLarge));

  const std::string data = sample(100000);
  const std::string gz = gzipCompress(data).value();
  EXPECT_EQ(inflate(gz, data.size()).valueOr({}), data);
  auto over = inflate(gz, data.size() - 1);
  ASSERT_FALSE(over.ok());
  EXPECT_EQ(over.error().code, code(ZipErrc::TooLarge));
  EXPECT_EQ(inflate(gzipCompress("").value(), 0).valueOr("x"), "");
}

}  // namespace
