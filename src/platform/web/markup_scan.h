#pragma once
// What the HTML parser (gumbo) would make of a markup, estimated in one
// linear pass before it is parsed, so that markup the parser would spend too
// long on is refused instead of parsed. gumbo offers no bound of its own, and
// one parse is one native call nothing can interrupt: its work grows with the
// square of the attributes on one element (html and body take the attributes
// of every start tag of theirs), with the open depth at every tag and every
// character of text, with the formatting elements it compares and clones
// again and again, and with the bytes themselves (70 ns a byte of text here).
// Internal to the web view.
#include <string>
#include <string_view>

namespace platform::web_internal {

// Elements nested deeper than this make a document the web view refuses.
inline constexpr int kMaxHtmlDepth = 4096;
// Attributes one element may have (counted as written, duplicates included;
// the html and body elements take those of all their start tags together).
inline constexpr int kMaxHtmlAttributes = 1'000;
// The parser's estimated work a markup may take, in milliseconds of this
// machine's processor time (docs/benchmarks.md gives how the estimate was
// fitted; the parse it admits takes at most about that).
inline constexpr double kMaxHtmlParseWorkMs = 200;

struct MarkupScan {
  // Deepest nesting of elements (an estimate that errs high: what the parser
  // closes implicitly and the scan cannot tell stays open).
  int depth = 0;
  // Most attributes on one element.
  int attributes = 0;
  // The parser's estimated work, milliseconds.
  double workMs = 0;
  // The scan stopped early, past one of the bounds: the figures are those
  // reached then.
  bool cut = false;
};

// One pass over `html`; stops as soon as a bound above is passed.
MarkupScan scanMarkup(std::string_view html);

enum class MarkupRefusal { None, TooDeep, TooComplex };
// Which bound the scan passed, if any, and the words for a log line
// ("elements nested deeper than 4096").
MarkupRefusal markupRefusal(const MarkupScan& scan, std::string* reason = nullptr);

}  // namespace platform::web_internal
