#pragma once
// UTF-8 checks and the UTF-16 view of UTF-8 text (what the platform's
// strings count in, and what the script engine takes). Pure functions.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace platform::utf8 {

// The length of the well-formed UTF-8 sequence that starts at s[i] (1 to 4),
// or 0 when the bytes there are not one (a stray continuation byte, a
// truncated or overlong sequence, a surrogate, a code point above U+10FFFF).
// `codePoint`, when given, receives the sequence's code point.
inline size_t sequenceLength(std::string_view s, size_t i, char32_t* codePoint = nullptr) {
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
  if (codePoint) *codePoint = cp;
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

// The text in UTF-16 units: a code point above U+FFFF takes two. A byte that
// starts no well-formed sequence stands for U+FFFD (one unit).
inline std::u16string toUTF16(std::string_view s) {
  std::u16string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size();) {
    char32_t cp = 0;
    const size_t len = sequenceLength(s, i, &cp);
    if (len == 0) {
      out.push_back(u'\uFFFD');
      ++i;
      continue;
    }
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(cp));
    }
    i += len;
  }
  return out;
}

// How many UTF-16 units toUTF16 gives, without building it.
inline size_t utf16Length(std::string_view s) {
  size_t units = 0;
  for (size_t i = 0; i < s.size();) {
    char32_t cp = 0;
    const size_t len = sequenceLength(s, i, &cp);
    units += len != 0 && cp >= 0x10000 ? 2 : 1;
    i += len == 0 ? 1 : len;
  }
  return units;
}

}  // namespace platform::utf8
