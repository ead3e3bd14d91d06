#pragma once
// A URL as the controller page's messages and navigations are read: the
// scheme, host, path and query exactly as written (no lower-casing, no
// percent-decoding), for hierarchical URLs of any scheme
// ("plovermarkads://getDeviceStatus?success=s", "https://a.b/c?d") and
// opaque ones ("tel:+12", "mailto:a@b.c", "logmessage:?message=hi").
//
// The syntax is RFC 3986 (uriparser); a text that is not an absolute URI
// under it (spaces, unescaped quotes or braces, no scheme) is no URL, the way
// the platform's URL type refuses it. Pure and thread-safe.
#include <optional>
#include <string>
#include <string_view>

struct PMAPageURL {
  std::string absoluteString;  // the whole text, as given
  std::string scheme;          // as written, without ":"
  std::string host;            // as written; "" without an authority
  std::string path;            // as written ("" when the URL has none)
  std::string query;           // without "?"
  bool hasHost = false;        // an authority with a non-empty host
  bool hasQuery = false;

  // None when the text is not an absolute URI.
  static std::optional<PMAPageURL> parse(std::string_view text);

  // The path, percent-decoded (as a file URL's path reads).
  std::string decodedPath() const;
};
