#include "platform/web/url.h"

#include <uriparser/Uri.h>

#include <algorithm>
#include <cctype>
#include <vector>

namespace platform {

namespace {

// One parsed URI, freed on scope exit.
class ParsedUri {
 public:
  explicit ParsedUri(std::string_view text) : text_(text) {
    if (text_.empty()) return;
    const char* error = nullptr;
    ok_ = uriParseSingleUriExA(&uri_, text_.data(), text_.data() + text_.size(), &error) == URI_SUCCESS;
  }
  ~ParsedUri() {
    if (ok_) uriFreeUriMembersA(&uri_);
  }
  ParsedUri(const ParsedUri&) = delete;
  ParsedUri& operator=(const ParsedUri&) = delete;

  bool ok() const { return ok_; }
  bool absolute() const { return ok_ && uri_.scheme.first != nullptr; }
  UriUriA* get() { return &uri_; }
  const UriUriA& uri() const { return uri_; }

 private:
  std::string text_;  // uriparser keeps pointers into it
  UriUriA uri_{};
  bool ok_ = false;
};

std::string rangeText(const UriTextRangeA& range) {
  if (!range.first || !range.afterLast) return {};
  return std::string(range.first, static_cast<size_t>(range.afterLast - range.first));
}

std::string lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return s;
}

std::optional<std::string> toText(const UriUriA* uri) {
  int chars = 0;
  if (uriToStringCharsRequiredA(uri, &chars) != URI_SUCCESS) return std::nullopt;
  std::vector<char> out(static_cast<size_t>(chars) + 1);
  if (uriToStringA(out.data(), uri, chars + 1, nullptr) != URI_SUCCESS) return std::nullopt;
  return std::string(out.data());
}

}  // namespace

bool isValidURL(std::string_view text) { return ParsedUri(text).ok(); }

std::optional<std::string> resolveURL(std::string_view base, std::string_view reference) {
  ParsedUri b(base);
  if (!b.absolute()) return std::nullopt;
  if (reference.empty()) return std::string(base);
  ParsedUri r(reference);
  if (!r.ok()) return std::nullopt;
  UriUriA resolved{};
  if (uriAddBaseUriExA(&resolved, r.get(), b.get(), URI_RESOLVE_STRICTLY) != URI_SUCCESS) {
    uriFreeUriMembersA(&resolved);
    return std::nullopt;
  }
  auto text = toText(&resolved);
  uriFreeUriMembersA(&resolved);
  return text;
}

std::string urlScheme(std::string_view url) {
  ParsedUri u(url);
  return u.absolute() ? lower(rangeText(u.uri().scheme)) : std::string();
}

std::optional<URLComponents> urlComponents(std::string_view absoluteURL) {
  ParsedUri u(absoluteURL);
  if (!u.absolute()) return std::nullopt;
  const UriUriA& uri = u.uri();
  URLComponents c;
  c.scheme = lower(rangeText(uri.scheme));
  c.host = lower(rangeText(uri.hostText));
  c.port = rangeText(uri.portText);
  if (uri.pathHead) {
    const bool rooted = uri.absolutePath || uri.hostText.first != nullptr;
    for (const UriPathSegmentA* segment = uri.pathHead; segment; segment = segment->next) {
      if (segment != uri.pathHead || rooted) c.path += '/';
      c.path += rangeText(segment->text);
    }
  } else if (uri.absolutePath) {
    c.path.push_back('/');
  }
  c.hasQuery = uri.query.first != nullptr;
  c.query = rangeText(uri.query);
  c.hasFragment = uri.fragment.first != nullptr;
  c.fragment = rangeText(uri.fragment);
  return c;
}

std::optional<std::string> filePathFromURL(std::string_view fileURL) {
  auto c = urlComponents(fileURL);
  if (!c || c->scheme != "file" || !(c->host.empty() || c->host == "localhost")) return std::nullopt;
  // Only the path takes part: a query or fragment never names a file.
  std::string text(fileURL.substr(0, fileURL.find_first_of("?#")));
  std::vector<char> out(text.size() + 1);
  if (uriUriStringToUnixFilenameA(text.c_str(), out.data()) != URI_SUCCESS) return std::nullopt;
  std::string path(out.data());
  if (path.empty() || path[0] != '/') return std::nullopt;
  return path;
}

std::string fileURLFromPath(std::string_view absolutePath, bool isDirectory) {
  std::string path(absolutePath);
  if (isDirectory && (path.empty() || path.back() != '/')) path += '/';
  std::vector<char> out(3 * path.size() + 8 + 1);
  if (uriUnixFilenameToUriStringA(path.c_str(), out.data()) != URI_SUCCESS) return {};
  return std::string(out.data());
}

}  // namespace platform
