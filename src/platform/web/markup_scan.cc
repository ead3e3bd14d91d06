#include "platform/web/markup_scan.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

namespace platform::web_internal {

namespace {

// What the parser spends, in nanoseconds of this machine's processor time
// (fitted to gumbo 0.10.1 and the tree building after it; bench/
// web_view_hostile_bench.cc, BM_MarkupScanAndWorstParse). Every term errs
// high.
constexpr double kByteNs = 80;            // every byte, through the tokenizer
constexpr double kStartTagNs = 1000;      // an element made (and taken into the page's tree)
constexpr double kEndTagNs = 250;
constexpr double kStartDepthNs = 4;       // each open element, at each start tag (scope checks)
constexpr double kEndDepthNs = 13;        // each open element, at each end tag (the walk to its element)
constexpr double kTextDepthNs = 0.8;      // each open element, at each character of text (reconstruction's check)
constexpr double kAttributeNs = 150;      // an attribute
constexpr double kAttributePairNs = 8;    // each earlier attribute of the element (the duplicate check)
constexpr double kAttributeNameByteNs = 0.1;  // each byte of an earlier attribute's name, likewise
constexpr double kFormattingPairNs = 7;   // per pair of attributes of same-named formatting elements compared
constexpr double kFormattingEntryNs = 10;  // each active formatting element looked at
constexpr double kCloneNs = 700;          // a formatting element made again
constexpr double kCloneAttributeNs = 120;

enum Flag : uint32_t {
  kVoid = 1u << 0,
  kRawText = 1u << 1,    // its text is raw (script, style, textarea, title, ...)
  kScriptData = 1u << 2,
  kPlaintext = 1u << 3,
  kSpecial = 1u << 4,    // stops the walk of an end tag of an element that is not special
  kScope = 1u << 5,      // a boundary of the default scope
  kTableScope = 1u << 6,  // a boundary of the table scope
  kFormatting = 1u << 7,
  kMarker = 1u << 8,      // puts a marker on the list of active formatting elements
  kForeignRoot = 1u << 9,  // svg, math
  kBreakout = 1u << 10,    // leaves foreign content
  kClosesP = 1u << 11,     // closes a p in button scope
  kRoot = 1u << 12,        // html, head, body: never a new element of their own
  kTableEnd = 1u << 13,    // its end tag looks in table scope
  kListItem = 1u << 14,
  kDefinition = 1u << 15,
  kHeading = 1u << 16,
  kSelect = 1u << 17,
  kFrameset = 1u << 18,
  kForm = 1u << 19,
  kButton = 1u << 20,
  kList = 1u << 21,  // ol, ul: boundaries of the list item scope
  kOption = 1u << 22,
  kReconstructs = 1u << 23,  // special, yet the formatting elements are made again before it
};

constexpr uint32_t kScopeBoundary = kSpecial | kScope | kTableScope;

struct TagInfo {
  uint32_t flags = 0;
  int formatting = -1;  // index among the formatting elements
};

const std::unordered_map<std::string_view, TagInfo>& tags() {
  static const auto* table = [] {
    auto* t = new std::unordered_map<std::string_view, TagInfo>;
    auto add = [t](std::initializer_list<std::string_view> names, uint32_t flags) {
      for (auto n : names) (*t)[n].flags |= flags;
    };
    add({"area", "base", "basefont", "bgsound", "br", "col", "embed", "frame", "hr", "image", "img", "input",
         "isindex", "keygen", "link", "meta", "param", "source", "track", "wbr"},
        kVoid | kSpecial);
    add({"address", "applet", "article", "aside", "blockquote", "body", "button", "caption", "center", "colgroup",
         "dd", "details", "dialog", "dir", "div", "dl", "dt", "fieldset", "figcaption", "figure", "footer", "form",
         "frameset", "h1", "h2", "h3", "h4", "h5", "h6", "head", "header", "hgroup", "html", "iframe", "li",
         "listing", "main", "marquee", "menu", "menuitem", "nav", "noembed", "noframes", "noscript", "object", "ol",
         "p", "plaintext", "pre", "script", "search", "section", "select", "style", "summary", "table", "tbody", "td",
         "template", "textarea", "tfoot", "th", "thead", "title", "tr", "ul", "xmp"},
        kSpecial);
    add({"script", "style", "xmp", "iframe", "noembed", "noframes", "textarea", "title"}, kRawText);
    add({"script"}, kScriptData);
    add({"plaintext"}, kPlaintext);
    add({"applet", "caption", "html", "table", "td", "th", "marquee", "object", "template"}, kScope);
    add({"html", "table", "template"}, kTableScope);
    add({"applet", "object", "marquee", "td", "th", "caption", "template"}, kMarker);
    add({"svg", "math"}, kForeignRoot);
    add({"b", "big", "blockquote", "body", "br", "center", "code", "dd", "div", "dl", "dt", "em", "embed", "h1", "h2",
         "h3", "h4", "h5", "h6", "head", "hr", "i", "img", "li", "listing", "menu", "meta", "nobr", "ol", "p", "pre",
         "ruby", "s", "small", "span", "strong", "strike", "sub", "sup", "table", "tt", "u", "ul", "var"},
        kBreakout);
    add({"address", "article", "aside", "blockquote", "center", "details", "dialog", "dir", "div", "dl", "fieldset",
         "figcaption", "figure", "footer", "header", "hgroup", "main", "menu", "nav", "ol", "p", "search", "section",
         "summary", "ul", "h1", "h2", "h3", "h4", "h5", "h6", "pre", "listing", "form", "li", "dd", "dt", "plaintext",
         "hr", "xmp"},
        kClosesP);
    add({"html", "head", "body"}, kRoot);
    add({"table", "tbody", "thead", "tfoot", "tr", "td", "th", "caption", "colgroup"}, kTableEnd);
    add({"li"}, kListItem);
    add({"dd", "dt"}, kDefinition);
    add({"h1", "h2", "h3", "h4", "h5", "h6"}, kHeading);
    add({"select"}, kSelect);
    add({"frameset", "frame"}, kFrameset);
    add({"form"}, kForm);
    add({"button"}, kButton);
    add({"ol", "ul"}, kList);
    add({"applet", "marquee", "object", "area", "br", "embed", "img", "image", "keygen", "wbr", "input", "select",
         "button", "xmp", "option", "optgroup"},
        kReconstructs);
    add({"option", "optgroup"}, kOption);
    int index = 0;
    for (auto n : {"a", "b", "big", "code", "em", "font", "i", "nobr", "s", "small", "strike", "strong", "tt", "u"}) {
      auto& info = (*t)[n];
      info.flags |= kFormatting;
      info.formatting = index++;
    }
    return t;
  }();
  return *table;
}
constexpr int kFormattingNames = 14;

uint64_t hashOf(std::string_view s) { return std::hash<std::string_view>{}(s); }

// Foreign elements where HTML content starts again (special and scope
// boundaries).
bool isIntegrationPoint(std::string_view name) {
  static constexpr std::array<std::string_view, 8> kNames = {"foreignobject", "desc", "title", "mi",
                                                             "mo",            "mn",   "ms",    "mtext"};
  return std::find(kNames.begin(), kNames.end(), name) != kNames.end();
}

struct Names {
  uint64_t p, tbody, thead, tfoot, tr, table, address, div;
};
const Names& names() {
  static const Names n{hashOf("p"),     hashOf("tbody"), hashOf("thead"),   hashOf("tfoot"),
                       hashOf("tr"),    hashOf("table"), hashOf("address"), hashOf("div")};
  return n;
}

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }
bool isAlpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
char lowerChar(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }


// The next place of a pattern at or after a position that only grows: each
// search starts where the last one ended, so a scan stays linear however
// often it asks (a thousand comments each looking for "--!>").
class NextMatch {
 public:
  explicit NextMatch(std::string_view pattern) : pattern_(pattern) {}
  size_t find(std::string_view s, size_t from) {
    if (!searched_ || (at_ != std::string_view::npos && at_ < from)) {
      at_ = s.find(pattern_, from);
      searched_ = true;
    }
    return at_;
  }

 private:
  std::string_view pattern_;
  size_t at_ = 0;
  bool searched_ = false;
};

// A tag as the tokenizer reads it.
struct Tag {
  bool end = false;
  bool selfClosing = false;
  std::string name;  // lower case
  int attributes = 0;
  double nameBytesBefore = 0;  // not used after the tag is read
  double attributeWorkNs = 0;  // the tokenizer's duplicate checks, for `base` earlier attributes
  uint64_t signature = 0;      // the attributes, in any order (formatting elements that match)
  bool htmlEncoding = false;   // encoding="text/html" or "application/xhtml+xml" (annotation-xml)
};

class Scanner {
 public:
  explicit Scanner(std::string_view html) : s_(html) {}

  MarkupScan run() {
    work_ += kByteNs * static_cast<double>(s_.size());
    while (i_ < s_.size() && !over()) {
      const size_t lt = s_.find('<', i_);
      const size_t textEnd = lt == std::string_view::npos ? s_.size() : lt;
      if (textEnd > i_) text(textEnd - i_);
      if (lt == std::string_view::npos) break;
      markup();
    }
    MarkupScan out;
    out.depth = deepest_;
    out.attributes = mostAttributes_;
    out.workMs = work_ / 1e6;
    out.cut = over();
    return out;
  }

 private:
  struct Open {
    uint64_t name;
    uint32_t flags;
    bool foreign;
    bool integration;
    int32_t entry;  // its formatting entry, -1
  };
  struct Entry {
    int formatting;  // index of its name
    int attributes;
    uint64_t signature;
    int64_t markers;  // markers seen before it: it is after the last one while none came since
    size_t slot;      // its place in sameName_[formatting].ids
    bool live;
    bool onStack;
  };

  bool over() const {
    return deepest_ > kMaxHtmlDepth || mostAttributes_ > kMaxHtmlAttributes || work_ > kMaxHtmlParseWorkMs * 1e6;
  }

  bool inForeign() const { return !stack_.empty() && stack_.back().foreign && !stack_.back().integration; }

  // Where a tag's raw text may not be raw (the tree builder ignores the start
  // tag there, or takes it as foreign): its text is scanned as markup, but
  // nothing it closes is believed.
  bool rawTextUncertain(const std::string& name, uint32_t flags) const {
    if (sawFrameset_) return true;
    return selectsOpen_ > 0 && !(flags & kScriptData) && name != "textarea";
  }

  // ---- text ----

  // Every character of text first has the parser look for the last active
  // formatting element among the open ones, from the bottom.
  void text(size_t bytes) {
    reconstruct();
    if (liveEntries_ > 0) work_ += kTextDepthNs * static_cast<double>(depth()) * static_cast<double>(bytes);
    i_ += bytes;
  }

  // ---- markup ----

  void markup() {
    const size_t start = i_;
    if (i_ + 1 >= s_.size()) {
      ++i_;
      return;
    }
    const char c = s_[i_ + 1];
    if (c == '!') {
      if (s_.compare(i_, 4, "<!--") == 0) return comment();
      if (s_.compare(i_, 9, "<![CDATA[") == 0) {
        // Raw up to "]]>" in foreign content, a comment up to ">" else: the
        // scan takes the shorter and believes no close until "]]>".
        skipPast(">");
        const size_t end = cdataEnd_.find(s_, i_);
        uncertainUntil_ = std::max(uncertainUntil_, end == std::string_view::npos ? s_.size() : end + 3);
        return;
      }
      return skipPast(">");
    }
    if (c == '?') return skipPast(">");
    if (c == '/') {
      if (i_ + 2 < s_.size() && isAlpha(s_[i_ + 2])) {
        i_ += 2;
        Tag tag = readTag(true);
        endTag(tag);
        return;
      }
      if (i_ + 2 < s_.size() && s_[i_ + 2] == '>') {
        i_ += 3;
        return;
      }
      return skipPast(">");
    }
    if (isAlpha(c)) {
      i_ += 1;
      Tag tag = readTag(false);
      startTag(tag);
      return;
    }
    i_ = start;  // a "<" of text
    text(1);
  }

  void skipPast(std::string_view end) {
    const size_t at = s_.find(end, i_ + 1);
    i_ = at == std::string_view::npos ? s_.size() : at + end.size();
  }

  void comment() {
    const size_t body = i_ + 4;
    if (s_.compare(body, 1, ">") == 0) {
      i_ = body + 1;
      return;
    }
    if (s_.compare(body, 2, "->") == 0) {
      i_ = body + 2;
      return;
    }
    const size_t a = commentEnd_.find(s_, body);
    const size_t b = commentBangEnd_.find(s_, body);
    const size_t end = std::min(a == std::string_view::npos ? s_.size() : a + 3,
                                b == std::string_view::npos ? s_.size() : b + 4);
    i_ = end;
  }

  // Reads a tag from its name (after "<" or "</") through its ">".
  Tag readTag(bool end) {
    Tag tag;
    tag.end = end;
    while (i_ < s_.size() && !isSpace(s_[i_]) && s_[i_] != '/' && s_[i_] != '>') tag.name += lowerChar(s_[i_++]);
    double nameBytes = 0;  // of the attributes read so far
    std::string name;
    std::string value;
    while (i_ < s_.size()) {
      const char c = s_[i_];
      if (isSpace(c)) {
        ++i_;
        continue;
      }
      if (c == '>') {
        ++i_;
        break;
      }
      if (c == '/') {
        ++i_;
        if (i_ < s_.size() && s_[i_] == '>') {
          tag.selfClosing = true;
          ++i_;
          break;
        }
        continue;
      }
      // An attribute: its name (a first "=" is part of it), then its value.
      name.clear();
      name += lowerChar(s_[i_++]);
      while (i_ < s_.size() && !isSpace(s_[i_]) && s_[i_] != '/' && s_[i_] != '>' && s_[i_] != '=')
        name += lowerChar(s_[i_++]);
      size_t j = i_;
      while (j < s_.size() && isSpace(s_[j])) ++j;
      value.clear();
      if (j < s_.size() && s_[j] == '=') {
        ++j;
        while (j < s_.size() && isSpace(s_[j])) ++j;
        if (j < s_.size() && (s_[j] == '"' || s_[j] == '\'')) {
          const size_t close = s_.find(s_[j], j + 1);
          const size_t stop = close == std::string_view::npos ? s_.size() : close;
          value.assign(s_.substr(j + 1, stop - j - 1));
          j = close == std::string_view::npos ? s_.size() : close + 1;
        } else {
          const size_t from = j;
          while (j < s_.size() && !isSpace(s_[j]) && s_[j] != '>') ++j;
          value.assign(s_.substr(from, j - from));
        }
        i_ = j;
      }
      const double before = static_cast<double>(tag.attributes);
      tag.attributeWorkNs += kAttributeNs + kAttributePairNs * before + kAttributeNameByteNs * nameBytes;
      nameBytes += static_cast<double>(name.size());
      ++tag.attributes;
      // Order does not matter to the parser's comparison: a sum of hashes.
      tag.signature += hashOf(name) * 31 + hashOf(value);
      if (name == "encoding" && (value == "text/html" || value == "application/xhtml+xml" ||
                                 value == "TEXT/HTML" || value == "APPLICATION/XHTML+XML"))
        tag.htmlEncoding = true;
    }
    tag.nameBytesBefore = nameBytes;
    return tag;
  }

  // Charges a tag's attributes; `earlier` attributes of the element came
  // before (the html and body elements take those of all their start tags).
  void chargeAttributes(const Tag& tag, int earlier) {
    const int total = earlier + tag.attributes;
    mostAttributes_ = std::max(mostAttributes_, total);
    work_ += tag.attributeWorkNs +
             kAttributePairNs * static_cast<double>(earlier) * static_cast<double>(tag.attributes);
  }

  // ---- start tags ----

  void startTag(const Tag& tag) {
    work_ += kStartTagNs + kStartDepthNs * static_cast<double>(stack_.size() + 3);
    const auto& table = tags();
    const auto found = table.find(tag.name);
    const TagInfo info = found == table.end() ? TagInfo{} : found->second;

    if (inForeign() && !(info.flags & kBreakout)) {
      chargeAttributes(tag, 0);
      if (!tag.selfClosing) push(tag.name, 0, true, isIntegrationPoint(tag.name) || (tag.name == "annotation-xml" && tag.htmlEncoding), -1);
      return;
    }
    if (inForeign() && pops()) {
      // A breakout: the foreign elements close.
      while (!stack_.empty() && stack_.back().foreign && !stack_.back().integration) pop();
    }
    if (info.flags & kRoot) {
      int& earlier = tag.name == "html" ? htmlAttributes_ : tag.name == "body" ? bodyAttributes_ : headAttributes_;
      chargeAttributes(tag, earlier);
      earlier += tag.attributes;
      return;
    }
    chargeAttributes(tag, 0);
    if (info.flags & kFrameset) sawFrameset_ = true;
    if (!(info.flags & kSpecial) || info.flags & kReconstructs) reconstruct();
    if (pops()) closeImplied(tag.name, info.flags);
    if (info.flags & kRawText && !tag.selfClosing) return rawText(tag.name, info.flags);
    if (info.flags & kPlaintext) {
      if (rawTextUncertain(tag.name, info.flags)) {
        uncertainUntil_ = s_.size();
      } else {
        text(s_.size() - i_);
        return;
      }
    }
    if (info.flags & kVoid) return;
    if (info.flags & kForeignRoot) {
      if (!tag.selfClosing) push(tag.name, 0, true, false, -1);
      return;
    }
    if (info.flags & kMarker) ++markers_;
    if (tag.name == "td" || tag.name == "th" || tag.name == "tr") {
      // A cell or row without its table section and row gets them made
      // around it.
      const bool inSection = !stack_.empty() && (stack_.back().name == names().tbody ||
                                                 stack_.back().name == names().thead ||
                                                 stack_.back().name == names().tfoot);
      const bool inRow = !stack_.empty() && stack_.back().name == names().tr;
      if (tag.name != "tr" && !inRow) {
        if (!inSection) push("tbody", kSpecial | kTableEnd, false, false, -1);
        push("tr", kSpecial | kTableEnd, false, false, -1);
      } else if (tag.name == "tr" && !inSection) {
        push("tbody", kSpecial | kTableEnd, false, false, -1);
      }
    }
    if (info.flags & kSelect) ++selectsOpen_;
    int32_t entry = -1;
    if (info.flags & kFormatting) entry = addFormatting(info.formatting, tag);
    push(tag.name, info.flags, false, false, entry);
  }

  // What a start tag closes first, as the tree builder does.
  void closeImplied(const std::string& name, uint32_t flags) {
    if (flags & kClosesP) closeInScope(names().p, kScope | kButton);
    if (flags & kListItem) closeItem(kListItem);
    if (flags & kDefinition) closeItem(kDefinition);
    if (flags & kHeading && !stack_.empty() && stack_.back().flags & kHeading) pop();
    if (flags & kOption && !stack_.empty() && stack_.back().flags & kOption) pop();
    if (name == "td" || name == "th" || name == "tr") {
      // Closes the cell or row open in this table.
      for (size_t k = stack_.size(); k-- > 0;) {
        const Open& o = stack_[k];
        work_ += kEndDepthNs;
        if (o.flags & kTableScope || o.name == names().tbody || o.name == names().thead ||
            o.name == names().tfoot || (name != "tr" && o.name == names().tr)) {
          if (o.flags & kTableScope && o.name != names().table) return;
          while (stack_.size() > k + 1) pop();
          return;
        }
      }
    }
  }

  // li, dd, dt: the open item closes, unless a special element other than
  // address, div and p comes first.
  void closeItem(uint32_t kind) {
    for (size_t k = stack_.size(); k-- > 0;) {
      const Open& o = stack_[k];
      work_ += kEndDepthNs;
      if (!o.foreign && o.flags & kind) {
        while (stack_.size() > k) pop();
        return;
      }
      if ((o.flags & kSpecial || o.foreign) && o.name != names().address && o.name != names().div &&
          o.name != names().p)
        return;
    }
  }

  void rawText(const std::string& name, uint32_t flags) {
    work_ += kEndTagNs;
    if (rawTextUncertain(name, flags)) {
      // Scanned as markup up to where its raw text would end (the same for
      // every such tag of the name until then).
      push(name, flags & ~kRawText, false, false, -1);
      size_t& end = uncertainEnds_[name];
      if (end <= i_ && end != s_.size()) end = rawTextEnd(name, false);
      uncertainUntil_ = std::max(uncertainUntil_, end);
      return;
    }
    i_ = rawTextEnd(name, flags & kScriptData);
  }

  // Where the raw text that starts at i_ ends: past "</name" and its tag.
  size_t rawTextEnd(const std::string& name, bool script) const {
    enum { Data, Escaped, DoubleEscaped } state = Data;
    size_t k = i_;
    while (k < s_.size()) {
      const char c = s_[k];
      if (script && c == '-' && s_.compare(k, 3, "-->") == 0) {
        if (state != Data) state = Data;
        k += 3;
        continue;
      }
      if (c != '<') {
        ++k;
        continue;
      }
      if (script && state == Data && s_.compare(k, 4, "<!--") == 0) {
        state = Escaped;
        k += 4;
        // "<!-->" and "<!--->" close at once.
        continue;
      }
      const bool closing = k + 1 < s_.size() && s_[k + 1] == '/';
      const size_t nameAt = k + (closing ? 2 : 1);
      if (matchesName(nameAt, script && !closing ? "script" : name)) {
        const size_t after = nameAt + (script && !closing ? 6 : name.size());
        if (closing && state != DoubleEscaped) {
          const size_t close = s_.find('>', after);
          return close == std::string_view::npos ? s_.size() : close + 1;
        }
        if (closing && state == DoubleEscaped) state = Escaped;
        else if (!closing && state == Escaped) state = DoubleEscaped;
        k = after;
        continue;
      }
      ++k;
    }
    return s_.size();
  }

  // "name" at `at`, case aside, followed by a space, "/" or ">" (or the end).
  bool matchesName(size_t at, std::string_view name) const {
    if (at + name.size() > s_.size()) return false;
    for (size_t n = 0; n < name.size(); ++n)
      if (lowerChar(s_[at + n]) != name[n]) return false;
    const size_t after = at + name.size();
    return after == s_.size() || isSpace(s_[after]) || s_[after] == '/' || s_[after] == '>';
  }

  // ---- end tags ----

  void endTag(const Tag& tag) {
    work_ += kEndTagNs;
    chargeAttributes(tag, 0);
    const auto& table = tags();
    const auto found = table.find(tag.name);
    const TagInfo info = found == table.end() ? TagInfo{} : found->second;
    if (!pops() || info.flags & kRoot || tag.name == "br") return;
    const uint64_t name = hashOf(tag.name);
    if (info.flags & kForm) return closeForm(name);
    if (info.flags & kHeading) return closeHeading();
    if (info.flags & kSpecial) {
      const uint32_t boundary = info.flags & kTableEnd ? kTableScope : info.flags & kListItem ? kScope | kList
                                : tag.name == "p" ? kScope | kButton : kScope;
      return closeInScope(name, boundary);
    }
    // Anything else, formatting elements included: the nearest element of
    // that name, unless a special element comes first.
    for (size_t k = stack_.size(); k-- > 0;) {
      const Open& o = stack_[k];
      work_ += kEndDepthNs;
      if (o.name == name) {
        const int32_t entry = o.entry;
        while (stack_.size() > k) pop();
        if (entry >= 0 && entries_[entry].markers == markers_) kill(entry);
        return;
      }
      if (o.flags & kSpecial) break;
    }
    if (info.flags & kFormatting) dropOffStack(info.formatting);
  }

  // Pops through the nearest element `name` when no boundary of the scope
  // comes first.
  void closeInScope(uint64_t name, uint32_t boundaries) {
    for (size_t k = stack_.size(); k-- > 0;) {
      const Open& o = stack_[k];
      work_ += kEndDepthNs;
      if (o.name == name && !o.foreign) {
        while (stack_.size() > k) pop();
        return;
      }
      if (o.flags & boundaries || (o.integration && boundaries & kScope)) return;
    }
  }

  void closeHeading() {
    for (size_t k = stack_.size(); k-- > 0;) {
      const Open& o = stack_[k];
      work_ += kEndDepthNs;
      if (o.flags & kHeading) {
        while (stack_.size() > k) pop();
        return;
      }
      if (o.flags & kScope || o.integration) return;
    }
  }

  // </form> takes only the form out of the stack, whatever is above it; what
  // was opened in it stays in it in the tree, so the scan closes the form
  // only when nothing is open in it.
  void closeForm(uint64_t name) {
    work_ += kEndDepthNs;
    if (!stack_.empty() && stack_.back().name == name && !stack_.back().foreign) pop();
  }

  // ---- the stack ----

  bool pops() const { return i_ >= uncertainUntil_; }

  // The html, head and body elements are never on the scan's stack.
  int depth() const { return static_cast<int>(stack_.size()) + 3; }

  void push(const std::string& name, uint32_t flags, bool foreign, bool integration, int32_t entry) {
    stack_.push_back(Open{hashOf(name), foreign ? (integration ? kScopeBoundary : 0u) : flags, foreign,
                          integration, entry});
    deepest_ = std::max(deepest_, depth());
  }

  void pop() {
    const Open& o = stack_.back();
    if (o.entry >= 0 && entries_[o.entry].live) entries_[o.entry].onStack = false;
    if (o.flags & kSelect && selectsOpen_ > 0) --selectsOpen_;
    stack_.pop_back();
  }

  // ---- the list of active formatting elements ----
  //
  // The parser keeps the formatting elements open in the text (a, b, font,
  // ...) in a list: it compares each new one with those of its name (at most
  // three alike stay), and makes again every one that was closed implicitly
  // at the next text or element. The scan keeps that list too, erring long:
  // markers (cells, objects) never end in the scan, and only an end tag
  // after the last of them takes an element off it.

  int32_t addFormatting(int formatting, const Tag& tag) {
    auto& same = sameName_[formatting];
    work_ += kFormattingEntryNs * static_cast<double>(same.count) +
             kFormattingPairNs * static_cast<double>(tag.attributes) * static_cast<double>(same.attributes);
    const uint64_t signature = tag.signature * 131 + static_cast<uint64_t>(formatting);
    Alike& alike = alike_[signature];
    while (alike.live >= 3 && !alike.ids.empty()) {
      const int32_t earliest = alike.ids.front();
      alike.ids.pop_front();
      kill(earliest);
    }
    const int32_t id = newEntry(formatting, tag.attributes, signature, markers_);
    list_.push_back(id);
    return id;
  }

  int32_t newEntry(int formatting, int attributes, uint64_t signature, int64_t markers) {
    auto& same = sameName_[formatting];
    entries_.push_back(Entry{formatting, attributes, signature, markers, same.ids.size(), true, true});
    const auto id = static_cast<int32_t>(entries_.size() - 1);
    same.ids.push_back(id);
    ++same.count;
    same.attributes += attributes;
    Alike& alike = alike_[signature];
    alike.ids.push_back(id);
    ++alike.live;
    ++liveEntries_;
    return id;
  }

  // `compacting`: the list may be compacted now (not while it is walked).
  void kill(int32_t id, bool compacting = true) {
    Entry& e = entries_[id];
    if (!e.live) return;
    e.live = false;
    auto& same = sameName_[e.formatting];
    --same.count;
    same.attributes -= e.attributes;
    --alike_[e.signature].live;
    --liveEntries_;
    if (compacting) compact();
  }

  // The end tag of a formatting element takes the last one of that name off
  // the list when it is after the last marker and no longer open.
  void dropOffStack(int formatting) {
    auto& ids = sameName_[formatting].ids;
    while (!ids.empty() && !entries_[ids.back()].live) ids.pop_back();
    if (ids.empty()) return;
    const Entry& last = entries_[ids.back()];
    if (last.markers == markers_ && !last.onStack) kill(ids.back());
  }

  // Makes again, open on the stack, the elements of the list closed since
  // (markers aside: the scan errs long).
  void reconstruct() {
    if (liveEntries_ == 0) return;
    size_t k = list_.size();
    while (k > 0 && !(entries_[list_[k - 1]].live && entries_[list_[k - 1]].onStack)) --k;
    for (; k < list_.size() && !over(); ++k) {
      const int32_t id = list_[k];
      if (!entries_[id].live) continue;
      const Entry old = entries_[id];
      work_ += kCloneNs + kCloneAttributeNs * static_cast<double>(old.attributes);
      kill(id, false);
      const int32_t clone = newEntry(old.formatting, old.attributes, old.signature, old.markers);
      // The clone takes the old one's place on the list.
      auto& ids = sameName_[old.formatting].ids;
      ids.pop_back();
      ids[old.slot] = clone;
      entries_[clone].slot = old.slot;
      list_[k] = clone;
      stack_.push_back(Open{formattingName(old.formatting), kFormatting, false, false, clone});
      deepest_ = std::max(deepest_, depth());
    }
  }

  static uint64_t formattingName(int formatting) {
    static const auto names = [] {
      std::array<uint64_t, kFormattingNames> out{};
      for (const auto& [name, info] : tags())
        if (info.formatting >= 0) out[info.formatting] = hashOf(name);
      return out;
    }();
    return names[formatting];
  }

  // Drops the dead from the list once they outnumber the live.
  void compact() {
    if (list_.size() < 64 || list_.size() < 2 * static_cast<size_t>(liveEntries_) + 64) return;
    std::vector<int32_t> kept;
    kept.reserve(static_cast<size_t>(liveEntries_) + 16);
    for (const int32_t id : list_)
      if (entries_[id].live) kept.push_back(id);
    list_ = std::move(kept);
  }

  struct SameName {
    int64_t count = 0;       // live entries of the name
    int64_t attributes = 0;  // and their attributes
    std::vector<int32_t> ids;  // in the list's order (dead ones left behind)
  };
  struct Alike {
    int64_t live = 0;
    std::deque<int32_t> ids;  // oldest first (dead ones left behind)
  };

  std::string_view s_;
  size_t i_ = 0;
  double work_ = 0;
  int deepest_ = 0;
  int mostAttributes_ = 0;
  int htmlAttributes_ = 0;
  int bodyAttributes_ = 0;
  int headAttributes_ = 0;
  int selectsOpen_ = 0;
  bool sawFrameset_ = false;
  size_t uncertainUntil_ = 0;
  std::unordered_map<std::string, size_t> uncertainEnds_;
  NextMatch commentEnd_{"-->"};
  NextMatch commentBangEnd_{"--!>"};
  NextMatch cdataEnd_{"]]>"};
  std::vector<Open> stack_;
  std::vector<int32_t> list_;  // ids of entries, in order (dead ones until compacted)
  int64_t markers_ = 0;        // markers put on the list so far (the scan never takes one off)
  std::vector<Entry> entries_;
  int64_t liveEntries_ = 0;
  std::array<SameName, kFormattingNames> sameName_{};
  std::unordered_map<uint64_t, Alike> alike_;
};

}  // namespace

MarkupScan scanMarkup(std::string_view html) { return Scanner(html).run(); }

MarkupRefusal markupRefusal(const MarkupScan& scan, std::string* reason) {
  auto say = [reason](std::string text) {
    if (reason) *reason = std::move(text);
  };
  if (scan.depth > kMaxHtmlDepth) {
    say("elements nested deeper than " + std::to_string(kMaxHtmlDepth));
    return MarkupRefusal::TooDeep;
  }
  if (scan.attributes > kMaxHtmlAttributes) {
    say("an element with more than " + std::to_string(kMaxHtmlAttributes) + " attributes");
    return MarkupRefusal::TooComplex;
  }
  if (scan.workMs > kMaxHtmlParseWorkMs) {
    say("more than " + std::to_string(static_cast<int>(kMaxHtmlParseWorkMs)) +
        " ms of the parser's estimated work");
    return MarkupRefusal::TooComplex;
  }
  return MarkupRefusal::None;
}

}  // namespace platform::web_internal
