#pragma once
// gzip compression and capped decompression, over zlib.
//
// Synchronous and thread-safe; answers on the calling thread. Errors are in
// kZipErrorDomain; nothing throws.
#include <cstddef>
#include <string>
#include <string_view>

#include "platform/result.h"

namespace platform {

inline constexpr char kZipErrorDomain[] = "platform.zip";

// Codes of errors in kZipErrorDomain.
enum class ZipErrc : int {
  Corrupt = 1,    // not a zlib/gzip stream, bad checksum, or bytes after its end
  Truncated = 2,  // the stream stops before its end
  TooLarge = 3,   // the output would exceed the caller's cap
  Zlib = 4,       // zlib could not start or ran out of memory
};

// Default cap on decompressed output: 32 MiB.
inline constexpr size_t kDefaultMaxInflateBytes = size_t{32} * 1024 * 1024;

// How hard gzipCompress works. Fastest (zlib's level 1) takes about half the
// default level's time on the library's JSON request bodies, for a few per
// cent more bytes; every inflater reads both alike.
enum class CompressionLevel { Default, Fastest };

// Compresses data into a single gzip member (RFC 1952) at the given level.
// An empty input gives a valid gzip stream of empty content.
Result<std::string> gzipCompress(std::string_view data, CompressionLevel level = CompressionLevel::Default);

// Decompresses one zlib (RFC 1950) or gzip (RFC 1952) stream, telling the two
// apart by their headers. Errors: Corrupt for a damaged stream or trailing
// bytes after it, Truncated for an incomplete stream (including empty input),
// TooLarge as soon as the output would pass maxOutputBytes (so a small input
// cannot make it allocate more than the cap).
Result<std::string> inflate(std::string_view data, size_t maxOutputBytes = kDefaultMaxInflateBytes);

}  // namespace platform
