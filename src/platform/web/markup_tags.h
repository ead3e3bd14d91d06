#pragma once
// What the markup scan (markup_scan.h) knows of HTML and of the parser: the
// cost of each thing the parser does, and what each tag is to its tree
// builder. Internal to the web view.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string_view>
#include <unordered_map>

namespace platform::web_internal::markup {

// What the parser spends, in nanoseconds of this machine's processor time
// (fitted to gumbo 0.10.1 and the tree building after it; bench/
// markup_parse_bench.cc, docs/benchmarks.md). Every term errs high.
inline constexpr double kByteNs = 80;            // every byte, through the tokenizer
inline constexpr double kStartTagNs = 1000;      // an element made (and taken into the page's tree)
inline constexpr double kEndTagNs = 250;
inline constexpr double kCommentNs = 400;      // a comment made
inline constexpr double kStartDepthNs = 4;       // each open element, at each start tag (scope checks)
inline constexpr double kEndDepthNs = 13;        // each open element, at each end tag (the walk to its element)
inline constexpr double kTextDepthNs = 0.8;      // each open element, at each character of text (reconstruction's check)
inline constexpr double kAttributeNs = 150;      // an attribute
inline constexpr double kAttributePairNs = 8;    // each earlier attribute of the element (the duplicate check)
inline constexpr double kAttributeNameByteNs = 0.1;  // each byte of an earlier attribute's name, likewise
inline constexpr double kFormattingPairNs = 7;   // per pair of attributes of same-named formatting elements compared
inline constexpr double kFormattingEntryNs = 10;  // each active formatting element looked at
inline constexpr double kCloneNs = 1000;         // a formatting element made again
inline constexpr double kCloneAttributeNs = 120;

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
  kScopedEnd = 1u << 24,     // its end tag closes it when it is in scope, whatever is above it
};

inline constexpr uint32_t kScopeBoundary = kSpecial | kScope | kTableScope;

struct TagInfo {
  uint32_t flags = 0;
  int formatting = -1;  // index among the formatting elements
};

// What the scan knows of each tag name it knows (lower case).
const std::unordered_map<std::string_view, TagInfo>& tags();
inline constexpr int kFormattingNames = 14;

inline uint64_t hashOf(std::string_view s) { return std::hash<std::string_view>{}(s); }

// Foreign elements where HTML content starts again (special and scope
// boundaries).
bool isIntegrationPoint(std::string_view name);

struct Names {
  uint64_t p, tbody, thead, tfoot, tr, table, address, div, option, templ;
};
const Names& names();
// The hash of the name of formatting element `formatting`.
uint64_t formattingName(int formatting);

inline bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }
inline bool isAlpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
inline char lowerChar(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }


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

}  // namespace platform::web_internal::markup
