#include "platform/web/markup_scan.h"

#include "platform/web/markup_formatting.h"
#include "platform/web/markup_tags.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

namespace platform::web_internal {

namespace {

using namespace markup;

// A tag as the tokenizer reads it.
struct Tag {
  bool end = false;
  bool selfClosing = false;
  std::string name;  // lower case
  int attributes = 0;
  double nameBytesBefore = 0;  // not used after the tag is read
  double attributeWorkNs = 0;  // the tokenizer's duplicate checks, for `base` earlier attributes
  uint64_t signature = 0;      // the attributes, in any order (formatting elements that match)
  size_t quotedGt = std::string_view::npos;  // the first ">" in a quoted value
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

  // Where raw text ends: where its end tag starts (npos: nowhere) and past
  // it; whether a script's text went through a double escape on its way.
  struct RawTextEnd {
    size_t endTag = 0;
    size_t end = 0;
    bool doubleEscaped = false;
  };

  bool over() const {
    return deepest_ > kMaxHtmlDepth || mostAttributes_ > kMaxHtmlAttributes || work_ > kMaxHtmlParseWorkMs * 1e6;
  }

  bool inForeign() const { return !stack_.empty() && stack_.back().foreign && !stack_.back().integration; }

  // Where a tag's raw text may not be raw (the tree builder ignores the start
  // tag there, or takes it as foreign): its text is scanned as markup, but
  // nothing it closes is believed.
  bool rawTextUncertain(const std::string& name, uint32_t flags) const {
    // In text the scan is unsure of, the tag may be in raw text that ends
    // before this one's would.
    if (!pops()) return true;
    // A template's content has insertion modes of its own that ignore tags;
    // near foreign content a raw-text tag may be a foreign element.
    if (sawFrameset_ || templatesOpen_ > 0 || foreignOpen_ > 0) return true;
    return selectsOpen_ > 0 && !(flags & kScriptData) && name != "textarea";
  }

  // ---- text ----

  // Every character of text first has the parser look for the last active
  // formatting element among the open ones, from the bottom.
  void text(size_t bytes) {
    reconstruct();
    if (!formatting_.empty()) work_ += kTextDepthNs * static_cast<double>(depth()) * static_cast<double>(bytes);
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
        // scan takes the shorter and is unsure of the rest.
        const size_t end = cdataEnd_.find(s_, i_ + 9);
        skipPast(">");
        unsureUntil(end == std::string_view::npos ? s_.size() : end + 3);
        return;
      }
      return skipPast(">");
    }
    if (c == '?') return skipPast(">");
    if (c == '/') {
      if (i_ + 2 < s_.size() && isAlpha(s_[i_ + 2])) {
        i_ += 2;
        return tag(true);
      }
      if (i_ + 2 < s_.size() && s_[i_ + 2] == '>') {
        i_ += 3;
        return;
      }
      return skipPast(">");
    }
    if (isAlpha(c)) {
      i_ += 1;
      return tag(false);
    }
    i_ = start;  // a "<" of text
    text(1);
  }

  // Up to the first `end` (">": where the parser ends a bogus comment, a
  // doctype or an end tag of no name, or a CDATA section in HTML content).
  void skipPast(std::string_view end) {
    const size_t at = s_.find(end, i_ + 1);
    i_ = at == std::string_view::npos ? s_.size() : at + end.size();
  }

  // Past a construct (a comment, a tag with a quoted value) that ends at
  // `end`. In text the scan is unsure of, the parser may be reading raw text
  // instead, which ends right after a ">" (its end tag's), and parse what
  // follows: there the scan goes on after the construct's first ">" and reads
  // the rest of it as markup it is unsure of, so that no ">" the parser may
  // go on from is hidden from it.
  void skipTo(size_t end) {
    if (pops()) {
      i_ = end;
      return;
    }
    const size_t gt = s_.find('>', i_);
    if (gt == std::string_view::npos || gt + 1 >= end) {
      i_ = end;
      return;
    }
    i_ = gt + 1;
    unsureUntil(end);
  }

  // The parser may read the markup up to `end` otherwise than the scan (as
  // raw text, a comment, a quoted value): up to there the scan believes no
  // close, and reads every construct only up to its first ">" (skipTo).
  void unsureUntil(size_t end) { uncertainUntil_ = std::max(uncertainUntil_, end); }

  void comment() {
    work_ += kCommentNs;
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
    skipTo(std::min(a == std::string_view::npos ? s_.size() : a + 3,
                    b == std::string_view::npos ? s_.size() : b + 4));
  }

  // Takes the tag whose name starts at i_ (after "<" or "</").
  void tag(bool end) {
    const bool sure = pops();
    Tag tag = readTag(end);
    // In text the scan is unsure of, a quoted value that holds a ">" makes
    // the tag one taken without believing what it closes, and the scan goes
    // on after that ">" (skipTo).
    const bool cut = !sure && tag.quotedGt != std::string_view::npos;
    if (cut) {
      unsureUntil(i_);
      unsureTag_ = true;
    }
    if (end) {
      endTag(tag);
    } else {
      startTag(tag);
    }
    if (cut) {
      unsureTag_ = false;
      i_ = tag.quotedGt + 1;
    }
  }

  // Reads the attributes of a tag from `k` through its ">" as the tokenizer
  // does (a quoted value hides a ">"), calling `attribute(name, value,
  // quoted)` for each; answers where the tag ends (past its ">", or at the
  // document's end).
  template <typename Attribute>
  size_t readAttributes(size_t k, Attribute&& attribute, bool* selfClosing = nullptr) const {
    while (k < s_.size()) {
      const char c = s_[k];
      if (c == '/' && k + 1 < s_.size() && s_[k + 1] == '>') {
        if (selfClosing) *selfClosing = true;
        return k + 2;
      }
      if (isSpace(c) || c == '/') {
        ++k;
        continue;
      }
      if (c == '>') return k + 1;
      // An attribute: its name (a first "=" is part of it), then its value.
      const size_t nameAt = k++;
      while (k < s_.size() && !isSpace(s_[k]) && s_[k] != '/' && s_[k] != '>' && s_[k] != '=') ++k;
      const std::string_view name = s_.substr(nameAt, k - nameAt);
      size_t j = k;
      while (j < s_.size() && isSpace(s_[j])) ++j;
      if (j >= s_.size() || s_[j] != '=') {
        attribute(name, std::string_view(), false);
        continue;
      }
      ++j;
      while (j < s_.size() && isSpace(s_[j])) ++j;
      if (j < s_.size() && (s_[j] == '"' || s_[j] == '\'')) {
        const size_t close = s_.find(s_[j], j + 1);
        const size_t stop = close == std::string_view::npos ? s_.size() : close;
        attribute(name, s_.substr(j + 1, stop - j - 1), true);
        k = close == std::string_view::npos ? s_.size() : close + 1;
      } else {
        const size_t from = j;
        while (j < s_.size() && !isSpace(s_[j]) && s_[j] != '>') ++j;
        attribute(name, s_.substr(from, j - from), false);
        k = j;
      }
    }
    return s_.size();
  }

  // Where a tag whose attributes start at `k` ends.
  size_t tagEnd(size_t k) const {
    return readAttributes(k, [](std::string_view, std::string_view, bool) {});
  }

  // Reads a tag from its name (after "<" or "</") through its ">".
  Tag readTag(bool end) {
    Tag tag;
    tag.end = end;
    while (i_ < s_.size() && !isSpace(s_[i_]) && s_[i_] != '/' && s_[i_] != '>') tag.name += lowerChar(s_[i_++]);
    double nameBytes = 0;  // of the attributes read so far
    std::string name;
    const size_t close = readAttributes(i_, [&](std::string_view written, std::string_view value, bool quoted) {
      name.clear();
      for (const char c : written) name += lowerChar(c);
      const double before = static_cast<double>(tag.attributes);
      tag.attributeWorkNs += kAttributeNs + kAttributePairNs * before + kAttributeNameByteNs * nameBytes;
      nameBytes += static_cast<double>(name.size());
      ++tag.attributes;
      // Order does not matter to the parser's comparison: a sum of hashes.
      tag.signature += hashOf(name) * 31 + hashOf(value);
      if (quoted && tag.quotedGt == std::string_view::npos) {
        const size_t gt = value.find('>');
        if (gt != std::string_view::npos) tag.quotedGt = static_cast<size_t>(value.data() - s_.data()) + gt;
      }
    }, &tag.selfClosing);
    i_ = close;
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
      if (!tag.selfClosing) push(tag.name, 0, true, isIntegrationPoint(tag.name), -1);
      // Foreign content may have ended where the scan cannot tell (at a
      // breakout it does not know, or an element it read in text it was
      // unsure of), and a raw-text tag then be HTML's.
      if (info.flags & kRawText) {
        if (tag.selfClosing) deepest_ = std::max(deepest_, depth() + 1);
        unsureOfRawText(tag.name, info.flags);
      }
      if (info.flags & kPlaintext) uncertainUntil_ = s_.size();
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
    // A cell or row outside a table is ignored by the parser: it closes and
    // implies nothing.
    const bool inTable = (tag.name == "td" || tag.name == "th" || tag.name == "tr") && tableInScope();
    // In a select the parser ignores nearly every start tag.
    if (pops() && selectsOpen_ == 0) closeImplied(tag.name, info.flags, inTable);
    // Raw text whatever the tag says: "<script/>" opens a script.
    if (info.flags & kRawText) return rawText(tag.name, info.flags);
    if (info.flags & kPlaintext) {
      if (rawTextUncertain(tag.name, info.flags)) {
        uncertainUntil_ = s_.size();
      } else {
        text(s_.size() - i_);
        return;
      }
    }
    // isindex becomes a form holding a label.
    if (tag.name == "isindex") deepest_ = std::max(deepest_, depth() + 3);
    if (tag.name == "col") deepest_ = std::max(deepest_, depth() + 2);  // in a column group made for it
    if (info.flags & kVoid) return;
    if (info.flags & kForeignRoot) {
      if (!tag.selfClosing) push(tag.name, 0, true, false, -1);
      return;
    }
    if (info.flags & kMarker) formatting_.addMarker();
    if (inTable) {
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
    if (tag.name == "template") ++templatesOpen_;
    int32_t entry = -1;
    if (info.flags & kFormatting)
      entry = formatting_.add(info.formatting, tag.attributes, tag.signature * 131 + static_cast<uint64_t>(info.formatting),
                              work_);
    push(tag.name, info.flags, false, false, entry);
  }

  // What a start tag closes first, as the tree builder does.
  void closeImplied(const std::string& name, uint32_t flags, bool inTable) {
    if (flags & kClosesP) closeInScope(names().p, kScope | kButton);
    if (flags & kListItem) closeItem(kListItem);
    if (flags & kDefinition) closeItem(kDefinition);
    if (flags & kHeading && !stack_.empty() && stack_.back().flags & kHeading) pop();
    if (flags & kOption && !stack_.empty() && stack_.back().name == names().option) pop();
    if (inTable) {
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

  // A table open, with no template between it and the current element.
  bool tableInScope() {
    for (size_t k = stack_.size(); k-- > 0;) {
      work_ += kEndDepthNs;
      if (stack_[k].foreign) continue;
      if (stack_[k].name == names().table) return true;
      if (stack_[k].flags & kTableScope) return false;
    }
    return false;
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
    deepest_ = std::max(deepest_, depth() + 1);  // the element itself
    if (rawTextUncertain(name, flags)) {
      push(name, flags & ~kRawText, false, false, -1);
      unsureOfRawText(name, flags);
      return;
    }
    i_ = rawTextEnd(name, flags & kScriptData).end;
  }

  // The text from i_ may be raw text of `name`: the scan reads it as markup
  // it is unsure of up to where that raw text would end. A later tag of the
  // name before that end tag ends at the same end tag (a later script starts
  // outside the escapes the earlier one may be in, and ends with it unless
  // the earlier one's text went through a double escape), so the end found
  // is kept. After a script whose text went through a double escape, and
  // after a tag cut short (whose raw text would start past where the scan
  // goes on), the scan is unsure of the rest of the document.
  void unsureOfRawText(const std::string& name, uint32_t flags) {
    if (unsureTag_) {
      uncertainUntil_ = s_.size();
      return;
    }
    RawTextEnd& end = uncertainEnds_[name];
    if (end.endTag < i_) {
      end = rawTextEnd(name, flags & kScriptData);
      if (end.doubleEscaped) end = RawTextEnd{std::string_view::npos, s_.size()};
    }
    uncertainUntil_ = std::max(uncertainUntil_, end.end);
  }

  // Where the raw text that starts at i_ ends: its end tag ("</name" and the
  // rest of the tag, whose quoted values may hold a ">"), and past it.
  RawTextEnd rawTextEnd(const std::string& name, bool script) const {
    enum { Data, Escaped, DoubleEscaped } state = Data;
    bool doubleEscaped = false;
    size_t k = i_;
    while (k < s_.size()) {
      const char c = s_[k];
      if (script && c == '-' && s_.compare(k, 3, "-->") == 0) {
        state = Data;
        k += 3;
        continue;
      }
      if (c != '<') {
        ++k;
        continue;
      }
      if (script && state == Data && s_.compare(k, 4, "<!--") == 0) {
        // Escaped, unless dashes and a ">" close it at once ("<!-->",
        // "<!--->").
        k += 4;
        size_t dashes = k;
        while (dashes < s_.size() && s_[dashes] == '-') ++dashes;
        if (dashes < s_.size() && s_[dashes] == '>') {
          k = dashes + 1;
        } else {
          state = Escaped;
        }
        continue;
      }
      const bool closing = k + 1 < s_.size() && s_[k + 1] == '/';
      const size_t nameAt = k + (closing ? 2 : 1);
      if (matchesName(nameAt, script && !closing ? "script" : name)) {
        const size_t after = nameAt + (script && !closing ? 6 : name.size());
        if (closing && state != DoubleEscaped) return RawTextEnd{k, tagEnd(after), doubleEscaped};
        if (closing && state == DoubleEscaped) {
          state = Escaped;
        } else if (!closing && state == Escaped) {
          state = DoubleEscaped;
          doubleEscaped = true;
        }
        k = after;
        continue;
      }
      ++k;
    }
    return RawTextEnd{std::string_view::npos, s_.size(), doubleEscaped};
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
    // In a select the parser ignores every end tag but its own few.
    if (selectsOpen_ > 0 && !(info.flags & (kSelect | kOption)) && tag.name != "template") return;
    if (info.flags & kForm) return closeForm(name);
    if (info.flags & kHeading) return closeHeading();
    // Outside a table the parser ignores the end tags of its parts.
    if (info.flags & kTableEnd && !tableInScope()) return;
    if (info.flags & kScopedEnd || info.flags & kTableEnd) {
      const uint32_t boundary = info.flags & kTableEnd ? kTableScope : info.flags & kListItem ? kScope | kList
                                : tag.name == "p" ? kScope | kButton : kScope;
      return closeInScope(name, boundary);
    }
    // A tag the scan does not know: the parser may take an end tag for one
    // element it does not know as the end of another, so the scan closes
    // only the current element, of that name. The parser looks for it down
    // the open elements to the first special one (or one it does not know
    // either), all of which the scan charges.
    if (found == table.end()) {
      for (size_t k = stack_.size(); k-- > 0;) {
        work_ += kEndDepthNs;
        if (stack_[k].flags & kSpecial) break;
      }
      if (!stack_.empty() && stack_.back().name == name && !stack_.back().foreign) pop();
      return;
    }
    // Anything else, formatting elements included: the nearest element of
    // that name, unless a special element comes first.
    for (size_t k = stack_.size(); k-- > 0;) {
      const Open& o = stack_[k];
      work_ += kEndDepthNs;
      if (o.name == name) {
        const int32_t entry = o.entry;
        while (stack_.size() > k) pop();
        if (entry >= 0) formatting_.ended(entry);
        return;
      }
      if (o.flags & kSpecial) break;
    }
    if (info.flags & kFormatting) formatting_.endTagWithoutElement(info.formatting);
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

  // Puts back on the stack, as the parser does, the formatting elements
  // closed since the last one open.
  void reconstruct() {
    if (formatting_.empty()) return;
    reopened_.clear();
    formatting_.reconstruct(work_, kMaxHtmlParseWorkMs * 1e6, reopened_);
    for (const auto& r : reopened_) {
      stack_.push_back(Open{formattingName(r.formatting), kFormatting, false, false, r.id});
      deepest_ = std::max(deepest_, depth());
    }
  }

  // ---- the stack ----

  bool pops() const { return i_ >= uncertainUntil_ && !unsureTag_; }

  // The html, head and body elements are never on the scan's stack.
  int depth() const { return static_cast<int>(stack_.size()) + 3; }

  void push(const std::string& name, uint32_t flags, bool foreign, bool integration, int32_t entry) {
    stack_.push_back(Open{hashOf(name), foreign ? (integration ? kScopeBoundary : 0u) : flags, foreign,
                          integration, entry});
    if (foreign) ++foreignOpen_;
    deepest_ = std::max(deepest_, depth());
  }

  void pop() {
    const Open& o = stack_.back();
    if (o.entry >= 0) formatting_.closed(o.entry);
    if (o.flags & kSelect && selectsOpen_ > 0) --selectsOpen_;
    if (o.name == names().templ && templatesOpen_ > 0) --templatesOpen_;
    if (o.foreign && foreignOpen_ > 0) --foreignOpen_;
    stack_.pop_back();
  }

  std::string_view s_;
  size_t i_ = 0;
  double work_ = 0;
  int deepest_ = 3;  // html, head and body are always there
  int mostAttributes_ = 0;
  int htmlAttributes_ = 0;
  int bodyAttributes_ = 0;
  int headAttributes_ = 0;
  int selectsOpen_ = 0;
  int templatesOpen_ = 0;
  int foreignOpen_ = 0;
  bool sawFrameset_ = false;
  size_t uncertainUntil_ = 0;
  bool unsureTag_ = false;  // the tag being taken was read in text the scan is unsure of, cut short
  // Where the raw text of each name the scan is unsure of ends.
  std::unordered_map<std::string, RawTextEnd> uncertainEnds_;
  NextMatch commentEnd_{"-->"};
  NextMatch commentBangEnd_{"--!>"};
  NextMatch cdataEnd_{"]]>"};
  std::vector<Open> stack_;
  FormattingList formatting_;
  std::vector<FormattingList::Reopened> reopened_;
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
