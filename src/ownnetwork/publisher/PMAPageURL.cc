#include "ownnetwork/publisher/PMAPageURL.h"

#include <uriparser/Uri.h>

namespace {

std::string rangeText(const UriTextRangeA& range) {
  if (!range.first || !range.afterLast || range.afterLast < range.first) return {};
  return std::string(range.first, range.afterLast);
}

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::optional<PMAPageURL> PMAPageURL::parse(std::string_view text) {
  // uriparser reads up to a NUL; a text with one inside is no URL.
  if (text.empty() || text.find('\0') != std::string_view::npos) return std::nullopt;
  PMAPageURL url;
  url.absoluteString.assign(text);
  const std::string& s = url.absoluteString;

  UriUriA uri{};
  const char* errorPos = nullptr;
  if (uriParseSingleUriA(&uri, s.c_str(), &errorPos) != URI_SUCCESS) {
    uriFreeUriMembersA(&uri);
    return std::nullopt;
  }
  const bool absolute = uri.scheme.first != nullptr;
  url.scheme = rangeText(uri.scheme);
  url.host = rangeText(uri.hostText);
  uriFreeUriMembersA(&uri);
  if (!absolute) return std::nullopt;
  url.hasHost = !url.host.empty();

  // The text is valid RFC 3986, so its parts stand between the generic
  // delimiters: scheme ":" ["//" authority] path ["?" query] ["#" fragment].
  size_t at = url.scheme.size() + 1;
  if (s.compare(at, 2, "//") == 0) {
    at = s.find_first_of("/?#", at + 2);
    if (at == std::string::npos) at = s.size();
  }
  const size_t pathEnd = std::min(s.find_first_of("?#", at), s.size());
  url.path = s.substr(at, pathEnd - at);
  if (pathEnd < s.size() && s[pathEnd] == '?') {
    url.hasQuery = true;
    const size_t queryEnd = std::min(s.find('#', pathEnd + 1), s.size());
    url.query = s.substr(pathEnd + 1, queryEnd - pathEnd - 1);
  }
  return url;
}

std::string PMAPageURL::decodedPath() const {
  std::string out;
  out.reserve(path.size());
  for (size_t i = 0; i < path.size(); ++i) {
    if (path[i] == '%' && i + 2 < path.size()) {
      const int hi = hexValue(path[i + 1]);
      const int lo = hexValue(path[i + 2]);
      if (hi >= 0 && lo >= 0) {
        out.push_back(static_cast<char>(hi * 16 + lo));
        i += 2;
        continue;
      }
    }
    out.push_back(path[i]);
  }
  return out;
}
