#include "platform/web/web_text.h"

#include <cstring>

#include "platform/crypto.h"

namespace platform::web_internal {

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

bool isAsciiWhiteSpace(char c) { return c == '\t' || c == '\n' || c == '\f' || c == '\r' || c == ' '; }

// The 6 bits of a base64 character, -1 for any other.
int sextet(char c) {
  if (c == '\0') return -1;
  const char* at = std::strchr(kAlphabet, c);
  return at ? static_cast<int>(at - kAlphabet) : -1;
}

}  // namespace

std::string pageBase64Encode(std::string_view bytes) { return platform::base64Encode(bytes); }

std::optional<std::string> pageBase64Decode(std::string_view text) {
  std::string data;
  data.reserve(text.size());
  for (char c : text) {
    if (!isAsciiWhiteSpace(c)) data.push_back(c);
  }
  if (data.size() % 4 == 0 && !data.empty() && data.back() == '=') {
    data.pop_back();
    if (data.back() == '=') data.pop_back();
  }
  if (data.size() % 4 == 1) return std::nullopt;
  for (char c : data) {
    if (sextet(c) < 0) return std::nullopt;
  }
  const size_t rest = data.size() % 4;  // 0, 2 or 3 characters of a last group
  if (rest != 0) {
    // The platform's decoding is strict: the bits past the data must be zero.
    // A page's are dropped instead.
    const int mask = rest == 2 ? 0x30 : 0x3c;
    data.back() = kAlphabet[sextet(data.back()) & mask];
    data.append(4 - rest, '=');
  }
  auto bytes = platform::base64Decode(data);
  if (!bytes) return std::nullopt;
  return std::move(bytes.value());
}

}  // namespace platform::web_internal
