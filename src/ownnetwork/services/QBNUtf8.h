#pragma once
// UTF-8 checks for the own network's text conversions.
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace qbnutf8 {

// The length of the well-formed UTF-8 sequence that starts at s[i] (1 to 4),
// or 0 when the bytes there are not one (a stray continuation byte, a
// truncated or overlong sequence, a surrogate, a code point above U+10FFFF).
inline size_t sequenceLength(std::string_view s, size_t i) {
  const unsigned char c = static_cast<unsigned char>(s[i]);
  const size_t len = c < 0x80 ? 1 : (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xE ? 3 : (c >> 3) == 0x1E ? 4 : 0;
  if (len == 0 || i + len > s.size()) return 0;
  uint32_t cp = len == 1 ? c : len == 2 ? (c & 0x1Fu) : len == 3 ? (c & 0x0Fu) : (c & 0x07u);
  for (size_t k = 1; k < len; ++k) {
    const unsigned char cc = static_cast<unsigned char>(s[i + k]);
    if ((cc & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (cc & 0x3Fu);
  }
  const bool overlong = (len == 2 && cp < 0x80) || (len == 3 && cp < 0x800) || (len == 4 && cp < 0x10000);
  if (overlong || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
  return len;
}

inline bool isValid(std::string_view s) {
  for (size_t i = 0; i < s.size();) {
    const size_t len = sequenceLength(s, i);
    if (len == 0) return false;
    i += len;
  }
  return true;
}

}  // namespace qbnutf8
