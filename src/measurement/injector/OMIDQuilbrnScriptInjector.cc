#include "measurement/injector/OMIDQuilbrnScriptInjector.h"

#include <algorithm>
#include <string_view>

#include "measurement/sdk/OMIDQuilbrnError.h"

namespace {

using Range = OMIDQuilbrnScriptInjector::Range;

bool isCommentSpace(char c) { return c == ' ' || c == '\r' || c == '\n' || c == '\t'; }

char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// Whether `word` (lower case) stands at html[at...] in any case.
bool matchesAt(const std::string& html, size_t at, size_t end, std::string_view word) {
  if (at + word.size() > end) return false;
  for (size_t k = 0; k < word.size(); ++k) {
    if (lower(html[at + k]) != word[k]) return false;
  }
  return true;
}

// What may follow a tag's name: "<header>" is no head tag.
bool endsName(char c) { return c == '>' || c == '/' || c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }

// The tags the script may follow, matched from the "<" on.
constexpr std::string_view kTagNames[] = {"head", "body", "html", "!doctype"};

// The length of the name at html[at] (just after a "<") when it is one of
// kTagNames followed by the end of the name inside the stretch, else 0.
size_t tagNameLength(const std::string& html, size_t at, size_t end) {
  for (std::string_view name : kTagNames) {
    if (matchesAt(html, at, end, name) && at + name.size() < end && endsName(html[at + name.size()])) {
      return name.size();
    }
  }
  return 0;
}

}  // namespace

std::optional<std::string> OMIDQuilbrnScriptInjector::injectScriptContent(const std::string& script,
                                                                          const std::string& html,
                                                                          platform::Error* error) {
  if (script.empty()) {
    OMIDQuilbrnError::setOMIDErrorFor(error, OMIDQuilbrnErrorCode::EmptyScript);
    return std::nullopt;
  }
  std::string out = html;
  stringFromHtml(out, "<script type=\"text/javascript\">" + script + "</script>");
  return out;
}

void OMIDQuilbrnScriptInjector::stringFromHtml(std::string& html, const std::string& scriptElement) {
  const size_t index = indexForScriptInHtml(html);
  html.insert(index, scriptElement);
}

size_t OMIDQuilbrnScriptInjector::indexForScriptInHtml(std::string& html) {
  std::optional<Range> headOrBody;
  std::optional<Range> htmlTag;
  std::optional<Range> declaration;
  size_t stretchStart = 0;
  for (const Range& comment : commentsInHtml(html)) {
    const size_t stretchEnd = comment.location;
    size_t gt = std::string::npos;  // the first ">" at or after the current name, once looked up
    bool gtKnown = false;
    for (size_t at = html.find('<', stretchStart); at < stretchEnd && !headOrBody; at = html.find('<', at + 1)) {
      const size_t nameLength = tagNameLength(html, at + 1, stretchEnd);
      if (nameLength == 0) continue;
      const size_t nameEnd = at + 1 + nameLength;
      if (!gtKnown || gt < nameEnd) {
        gt = html.find('>', nameEnd);
        gtKnown = true;
      }
      if (gt == std::string::npos || gt >= stretchEnd) break;  // no later tag of this stretch closes either
      const Range tag{at, gt + 1 - at};
      const std::string name = tagFromHtml(html, tag);
      if (name == "head" || name == "body") {
        headOrBody = tag;
      } else if (name == "html") {
        htmlTag = tag;
      } else {
        declaration = tag;
      }
      at = gt;
    }
    if (headOrBody) break;
    stretchStart = comment.end();
  }
  if (headOrBody) return replaceSelfClosingTagInHtml(html, *headOrBody).end();
  if (htmlTag) return replaceSelfClosingTagInHtml(html, *htmlTag).end();
  if (declaration) return declaration->end();
  return 0;
}

std::vector<Range> OMIDQuilbrnScriptInjector::commentsInHtml(const std::string& html) {
  std::vector<Range> comments;
  const size_t n = html.size();
  for (size_t start = html.find("<!"); start != std::string::npos; start = html.find("<!", start + 1)) {
    size_t p = start + 2;
    while (p < n && isCommentSpace(html[p])) ++p;
    if (p + 1 >= n || html[p] != '-' || html[p + 1] != '-') continue;
    // Inside, a "-" is always followed by something else: the comment ends at
    // the first "--" after the opening one, or nowhere.
    const size_t close = html.find("--", p + 2);
    if (close == std::string::npos) break;  // no later comment can close either
    size_t q = close + 2;
    while (q < n && isCommentSpace(html[q])) ++q;
    if (q < n && html[q] == '>') {
      comments.push_back(Range{start, q + 1 - start});
      start = q;
    }
  }
  comments.push_back(Range{n, 0});
  return comments;
}

std::string OMIDQuilbrnScriptInjector::tagFromHtml(const std::string& html, const Range& range) {
  std::string name = html.substr(range.location + 1, std::min<size_t>(4, range.length > 0 ? range.length - 1 : 0));
  for (char& c : name) c = lower(c);
  return name;
}

Range OMIDQuilbrnScriptInjector::replaceSelfClosingTagInHtml(std::string& html, const Range& tagRange) {
  if (tagRange.length < 2 || html.compare(tagRange.end() - 2, 2, "/>") != 0) return tagRange;
  const std::string name = html.substr(tagRange.location + 1, 4);
  html.replace(tagRange.end() - 2, 2, "></" + name + ">");
  return Range{tagRange.location, tagRange.length - 1};
}
