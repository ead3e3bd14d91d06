#pragma once
// The HTML side of a page: gumbo turns the document into the element tree the
// page's `document` offers and the list of its script elements in document
// order, for markup the scan (markup_scan.h) lets through. Internal to the
// web view.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/web/markup_scan.h"

namespace platform::web_internal {

struct HtmlScript {
  bool hasSrc = false;
  std::string src;   // the src attribute as written
  std::string text;  // inline source (empty with src)
  int line = 1;      // line of the document where the source starts
};

struct HtmlDocument {
  // The element tree as compact JSON: an element is {"t": tag, "a": [[name,
  // value], ...], "c": [children]}, a text node a string; the root is the
  // html element.
  std::string treeJson;
  // Script elements to run, in document order (elements whose type is not a
  // classic script type are left out).
  std::vector<HtmlScript> scripts;
};

// Nodes beyond these caps are left out of the element tree (scripts still run).
inline constexpr int kMaxTreeDepth = 256;
inline constexpr int kMaxTreeNodes = 100'000;

// Behind the scan's estimate (markup_scan.h), the parse itself is bounded,
// whatever gumbo is doing: it ends once it has run longer than this, in
// processor time of its thread, or once the process holds more than this
// for it (gumbo's blocks with their headers), and within kParseTickMs of its
// processor time after it was interrupted.
inline constexpr double kHtmlParseTimeLimitMs = 500;
inline constexpr size_t kMaxHtmlParseBytes = size_t{128} << 20;
inline constexpr double kParseTickMs = 10;

struct HtmlParse {
  // None when the markup was refused or the parse was interrupted.
  std::optional<HtmlDocument> document;
  MarkupRefusal refusal = MarkupRefusal::None;
  bool interrupted = false;
  // The parser failed on the markup (an assertion of its own, which would
  // have aborted the process), now or earlier (TooComplex).
  bool parserFailed = false;
  // What a refused markup passed, for the log line and the error ("an
  // element with more than 1000 attributes").
  std::string reason;
  // The parse's processor time (0 when the parser was not run).
  double processorMs = 0;
};

// Scans the markup and parses it unless it is refused. `interrupted` (may be
// empty) is asked now and then while gumbo runs, on the calling thread and
// also from a signal handler that interrupted it (so it may only read
// atomics): once it answers true the parse ends without a document.
HtmlParse parseHtml(std::string_view html, const std::function<bool()>& interrupted = {});

// Parses that ended on a failed assertion of the parser, since the process
// started.
uint64_t parserFailuresForTesting();

// Tests: without the scan, markup goes to the parser whatever it holds, and
// the parse may run `parseTimeLimitMs` (a long parse to interrupt) and hold
// `parseBytes`.
void setMarkupBoundsForTesting(bool scan, double parseTimeLimitMs = kHtmlParseTimeLimitMs,
                               size_t parseBytes = kMaxHtmlParseBytes);

// Tests and benchmarks: how parses are watched. Without `ticks` (what they
// cost a parse); with `ticksInParser` false every tick is taken as one that
// landed outside gumbo's own code (the end waits for gumbo's next call out);
// the allocator looks every `allocatorLooks` of gumbo's allocations (0:
// never).
struct ParseWatchForTesting {
  bool ticks = true;
  bool ticksInParser = true;
  unsigned allocatorLooks = 64;
};
void setParseWatchForTesting(const ParseWatchForTesting& watch);

// Tests: a parse of gumbo's begins (`ended` false) or ends, on its thread.
struct HtmlParseReport {
  bool ended = false;
  bool interrupted = false;
  MarkupRefusal refusal = MarkupRefusal::None;
  std::string reason;
  double processorMs = 0;
};
void setParseObserverForTesting(std::function<void(const HtmlParseReport&)> observer);

}  // namespace platform::web_internal
