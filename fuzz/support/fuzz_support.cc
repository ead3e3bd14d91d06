#include "support/fuzz_support.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <string_view>
#include <utility>
#include <vector>

#include "foundation/QBLoggerManager.h"
#include "platform/storage.h"

extern "C" size_t LLVMFuzzerMutate(uint8_t* data, size_t size, size_t maxSize);

namespace qbfuzz {
namespace {

std::string& scratch() {
  static std::string& dir = *new std::string();
  return dir;
}

std::string makeScratchDir() {
  std::error_code ec;
  std::filesystem::path base = std::filesystem::is_directory("/dev/shm", ec)
                                   ? std::filesystem::path("/dev/shm")
                                   : std::filesystem::temp_directory_path(ec);
  std::string pattern = (base / "qb-fuzz-XXXXXX").string();
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  if (!mkdtemp(buffer.data())) {
    std::perror("mkdtemp");
    std::abort();
  }
  return buffer.data();
}

void removeScratchDir() {
  std::error_code ec;
  if (!scratch().empty()) std::filesystem::remove_all(scratch(), ec);
}

// Numbers that break careless arithmetic: limits of every integer width the
// library converts to, doubles past them, and values near zero.
const char* const kExtremes[] = {
    "0", "-0", "1", "-1", "2", "0.5", "-0.5", "1e-400", "4.9e-324",
    "127", "128", "255", "256", "32767", "32768", "65535", "65536",
    "2147483647", "2147483648", "-2147483648", "-2147483649", "4294967295", "4294967296",
    "9223372036854775807", "9223372036854775808", "-9223372036854775808", "-9223372036854775809",
    "18446744073709551615", "18446744073709551616", "1e18", "1e19", "-1e19", "1e308", "-1e308", "1.7976931348623157e308",
    "1e309", "86400000", "3600000000", "true", "false", "null", "\"\"", "\"1\"", "[]", "{}",
};

// Where the JSON text has a number: [begin, end) of each token outside
// string literals.
std::vector<std::pair<size_t, size_t>> numberTokens(std::string_view text) {
  std::vector<std::pair<size_t, size_t>> tokens;
  bool inString = false;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (inString) {
      if (c == '\\') ++i;
      else if (c == '"') inString = false;
      continue;
    }
    if (c == '"') {
      inString = true;
    } else if (c == '-' || (c >= '0' && c <= '9')) {
      size_t end = i + 1;
      while (end < text.size() && text[end] != '\0' && std::strchr("0123456789.eE+-", text[end]) != nullptr) ++end;
      tokens.emplace_back(i, end);
      i = end - 1;
    }
  }
  return tokens;
}

}  // namespace

void setUpProcess() {
  static bool done = false;
  if (done) return;
  done = true;
  scratch() = makeScratchDir();
  std::atexit(removeScratchDir);
  platform::setDataRoot(scratch() + "/root");
  platform::UserDefaults::resetStandardForTesting();
  QBLoggerManager::sharedInstance().setConsoleWriterForTesting([](const std::string&) {});
  // curl reads these when a request sets no proxy of its own: every host but
  // 127.0.0.1 (where a target's own sandbox may listen) goes to port 9 on
  // loopback, which has no listener, so such a request fails at once.
  for (const char* name : {"http_proxy", "https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"}) {
    setenv(name, "http://127.0.0.1:9", 1);
  }
  setenv("no_proxy", "127.0.0.1", 1);
  setenv("NO_PROXY", "127.0.0.1", 1);
}

const std::string& scratchDir() { return scratch(); }

void check(bool condition, std::string_view what) {
  if (condition) return;
  std::fprintf(stderr, "fuzz check failed: %.*s\n", static_cast<int>(what.size()), what.data());
  std::abort();
}

size_t mutateJsonWithExtremes(uint8_t* data, size_t size, size_t maxSize, unsigned int seed) {
  std::minstd_rand random(seed);
  if (random() % 3 != 0) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto tokens = numberTokens(text);
    if (!tokens.empty()) {
      const auto [begin, end] = tokens[random() % tokens.size()];
      const std::string_view replacement = kExtremes[random() % std::size(kExtremes)];
      const size_t newSize = size - (end - begin) + replacement.size();
      if (newSize <= maxSize) {
        std::memmove(data + begin + replacement.size(), data + end, size - end);
        std::memcpy(data + begin, replacement.data(), replacement.size());
        return newSize;
      }
    }
  }
  return LLVMFuzzerMutate(data, size, maxSize);
}

}  // namespace qbfuzz
