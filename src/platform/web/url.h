#pragma once
// URL syntax as the web view needs it: validity, resolution of a reference
// against a page's URL, the parts a page reads from `location`, and the
// mapping between file URLs and paths. RFC 3986 throughout (uriparser
// underneath); nothing here touches the network or the file system.
//
// Every function is pure and thread-safe.
#include <optional>
#include <string>
#include <string_view>

namespace platform {

// True when the text is a URI reference under RFC 3986: an absolute URL of any
// scheme ("https://a.b/c", "tel:+1", "plovermarkads://cmd?x=1") or a relative
// reference ("page.html", "../a?b"). Spaces, quotes, braces and other
// characters that must be percent-encoded make it invalid, as does an empty
// text.
bool isValidURL(std::string_view text);

// The absolute URL that `reference` names when read relative to the absolute
// URL `base` (dot segments removed). None when the base is not an absolute URL
// or either text is not valid. An absolute reference resolves to itself.
std::optional<std::string> resolveURL(std::string_view base, std::string_view reference);

// The scheme of an absolute URL, lower-cased; "" when there is none.
std::string urlScheme(std::string_view url);

// What a page reads from `location`, for an absolute URL.
struct URLComponents {
  std::string scheme;    // lower-cased, without ":"
  std::string host;      // lower-cased, without the port
  std::string port;      // digits, "" when absent
  std::string path;      // as written ("" when the URL has none)
  std::string query;     // without "?"
  std::string fragment;  // without "#"
  bool hasQuery = false;
  bool hasFragment = false;
};
std::optional<URLComponents> urlComponents(std::string_view absoluteURL);

// The absolute, percent-decoded path a "file:" URL names; none for other
// URLs or a file URL that names a remote host.
std::optional<std::string> filePathFromURL(std::string_view fileURL);
// The "file://" URL of an absolute path (percent-encoding what needs it); a
// trailing "/" when isDirectory and the path has none.
std::string fileURLFromPath(std::string_view absolutePath, bool isDirectory = false);

}  // namespace platform
