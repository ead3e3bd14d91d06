#include "platform/zip.h"

#include <zlib.h>

#include <algorithm>
#include <climits>

namespace platform {
namespace {

// deflateInit2/inflateInit2 window bits: 15 (32 KiB window) + 16 for a gzip
// wrapper, + 32 for automatic zlib/gzip header detection.
constexpr int kGzipWindowBits = 15 + 16;
constexpr int kAutoDetectWindowBits = 15 + 32;
constexpr size_t kChunk = 64 * 1024;

Error zipError(ZipErrc code, std::string message) {
  return Error{kZipErrorDomain, static_cast<int>(code), std::move(message)};
}

std::string zlibMessage(const z_stream& zs, int rc) {
  std::string m = "zlib error " + std::to_string(rc);
  if (zs.msg != nullptr) {
    m += ": ";
    m += zs.msg;
  }
  return m;
}

Bytef* inBytes(std::string_view s) {
  // zlib's next_in is not const-qualified but is never written through.
  return reinterpret_cast<Bytef*>(const_cast<char*>(s.data()));
}

// Feeds the next slice of input, at most UINT_MAX bytes (zlib counts in uInt).
void feed(z_stream& zs, std::string_view data, size_t& consumed) {
  if (zs.avail_in == 0 && consumed < data.size()) {
    const size_t n = std::min<size_t>(data.size() - consumed, UINT_MAX);
    zs.next_in = inBytes(data.substr(consumed));
    zs.avail_in = static_cast<uInt>(n);
    consumed += n;
  }
}

}  // namespace

Result<std::string> gzipCompress(std::string_view data) {
  z_stream zs{};
  int rc = deflateInit2(&zs, Z_DEFAULT_COMPRESSION, Z_DEFLATED, kGzipWindowBits, 8,
                        Z_DEFAULT_STRATEGY);
  if (rc != Z_OK) return zipError(ZipErrc::Zlib, zlibMessage(zs, rc));
  std::string out;
  size_t consumed = 0;
  do {
    feed(zs, data, consumed);
    const int flush = (consumed == data.size()) ? Z_FINISH : Z_NO_FLUSH;
    const size_t start = out.size();
    out.resize(start + kChunk);
    zs.next_out = reinterpret_cast<Bytef*>(out.data() + start);
    zs.avail_out = static_cast<uInt>(kChunk);
    rc = deflate(&zs, flush);
    out.resize(start + kChunk - zs.avail_out);
    if (rc != Z_OK && rc != Z_STREAM_END && rc != Z_BUF_ERROR) {
      std::string m = zlibMessage(zs, rc);
      deflateEnd(&zs);
      return zipError(ZipErrc::Zlib, std::move(m));
    }
  } while (rc != Z_STREAM_END);
  deflateEnd(&zs);
  return out;
}

Result<std::string> inflate(std::string_view data, size_t maxOutputBytes) {
  if (data.empty()) return zipError(ZipErrc::Truncated, "empty compressed stream");
  z_stream zs{};
  int rc = inflateInit2(&zs, kAutoDetectWindowBits);
  if (rc != Z_OK) return zipError(ZipErrc::Zlib, zlibMessage(zs, rc));
  std::string out;
  size_t consumed = 0;
  for (;;) {
    feed(zs, data, consumed);
    // Room for one byte past the cap, so passing the cap shows up as output
    // rather than as a stall.
    const size_t room = std::min(kChunk, maxOutputBytes - std::min(out.size(), maxOutputBytes) + 1);
    const size_t start = out.size();
    out.resize(start + room);
    zs.next_out = reinterpret_cast<Bytef*>(out.data() + start);
    zs.avail_out = static_cast<uInt>(room);
    rc = ::inflate(&zs, Z_NO_FLUSH);
    out.resize(start + room - zs.avail_out);
    if (out.size() > maxOutputBytes) {
      inflateEnd(&zs);
      return zipError(ZipErrc::TooLarge, "decompressed data exceeds " +
                                             std::to_string(maxOutputBytes) + " bytes");
    }
    if (rc == Z_STREAM_END) break;
    if (rc == Z_NEED_DICT || rc == Z_DATA_ERROR) {
      std::string m = zlibMessage(zs, rc);
      inflateEnd(&zs);
      return zipError(ZipErrc::Corrupt, std::move(m));
    }
    if (rc == Z_MEM_ERROR || rc == Z_STREAM_ERROR) {
      std::string m = zlibMessage(zs, rc);
      inflateEnd(&zs);
      return zipError(ZipErrc::Zlib, std::move(m));
    }
    // Z_OK or Z_BUF_ERROR: no progress possible once every input byte is in
    // and the output buffer was not filled.
    if (zs.avail_in == 0 && consumed == data.size() && zs.avail_out != 0) {
      inflateEnd(&zs);
      return zipError(ZipErrc::Truncated, "compressed stream ends early");
    }
  }
  const bool trailing = zs.avail_in != 0 || consumed != data.size();
  inflateEnd(&zs);
  if (trailing) return zipError(ZipErrc::Corrupt, "bytes after the end of the compressed stream");
  return out;
}

}  // namespace platform
