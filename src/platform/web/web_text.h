#pragma once
// Text conversions of a page's window functions that native code does:
// the base64 of atob and btoa over the platform's (OpenSSL's) base64.
// Internal to the web view.
#include <optional>
#include <string>
#include <string_view>

namespace platform::web_internal {

// btoa: standard base64 of bytes (each byte one character of the page's
// binary string).
std::string pageBase64Encode(std::string_view bytes);

// atob: the forgiving decoding pages expect. ASCII white space (tab, line
// feed, form feed, carriage return, space) is ignored; one or two "=" may end
// the text when its length is a multiple of 4, and may be left out; the bits
// past the data in the last character are dropped. None when the text is not
// base64 (another character, "=" elsewhere, a length of 4n+1).
std::optional<std::string> pageBase64Decode(std::string_view text);

}  // namespace platform::web_internal
