// The measurement script injector on any HTML and any script. The input is the
// script, a NUL byte, then the HTML (no NUL: a fixed script and the whole
// input as HTML). Checks: an empty script is refused; otherwise the output is
// the HTML (with at most one self-closing head, body or html tag opened) with
// the script element inserted exactly once, never strictly inside a comment.
// Every step is a linear scan, so no input runs into the time-out.
//
// The same HTML goes through the web view's markup scan and parse: markup the
// scan takes parses (unless the parser fails an assertion of its own, which
// the parse contains), and what it refuses is not parsed. (The scan's depth is
// an estimate of the parser's: on some markup it falls a level or more short
// of the tree, which the parse's own bound covers, so it is not checked here.)
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "measurement/injector/OMIDQuilbrnScriptInjector.h"
#include "platform/web/html.h"
#include "platform/web/markup_scan.h"
#include "support/fuzz_support.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  qbfuzz::setUpProcess();
  return 0;
}

namespace {

void checkMarkupScan(const std::string& html) {
  using namespace platform::web_internal;
  const auto scan = scanMarkup(html);
  const auto parsed = parseHtml(html);
  const bool taken = markupRefusal(scan) == MarkupRefusal::None;
  QB_FUZZ_CHECK(parsed.document.has_value() == (taken && !parsed.parserFailed));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const size_t separator = input.find('\0');
  const std::string script(separator == std::string_view::npos ? std::string_view("omid();") : input.substr(0, separator));
  const std::string html(separator == std::string_view::npos ? input : input.substr(separator + 1));

  checkMarkupScan(html);
  const auto out = OMIDQuilbrnScriptInjector::injectScriptContent(script, html, nullptr);
  if (script.empty()) {
    QB_FUZZ_CHECK(!out);
    return 0;
  }
  QB_FUZZ_CHECK(out.has_value());
  const std::string element = "<script type=\"text/javascript\">" + script + "</script>";

  // The document as the injector leaves it around the script.
  std::string opened = html;
  const size_t index = OMIDQuilbrnScriptInjector::indexForScriptInHtml(opened);
  QB_FUZZ_CHECK(index <= opened.size());
  if (opened.size() != html.size()) {
    // One self-closing tag "<name .../>" became "<name ...></name>", the
    // index right after its ">".
    QB_FUZZ_CHECK(opened.size() == html.size() + 6);
    QB_FUZZ_CHECK(index >= 1 && html.compare(index - 1, 2, "/>") == 0);
    QB_FUZZ_CHECK(opened.compare(0, index - 1, html, 0, index - 1) == 0);
    QB_FUZZ_CHECK(opened[index - 1] == '>' && opened.compare(index, 2, "</") == 0 && opened[index + 6] == '>');
    QB_FUZZ_CHECK(opened.compare(index + 7, std::string::npos, html, index + 1, std::string::npos) == 0);
  } else {
    QB_FUZZ_CHECK(opened == html);
  }
  // The element, once, at the index.
  QB_FUZZ_CHECK(out->size() == opened.size() + element.size());
  QB_FUZZ_CHECK(out->compare(0, index, opened, 0, index) == 0);
  QB_FUZZ_CHECK(out->compare(index, element.size(), element) == 0);
  QB_FUZZ_CHECK(out->compare(index + element.size(), std::string::npos, opened, index, std::string::npos) == 0);
  // Never inside a comment.
  for (const auto& comment : OMIDQuilbrnScriptInjector::commentsInHtml(opened)) {
    QB_FUZZ_CHECK(comment.end() <= opened.size());
    QB_FUZZ_CHECK(!(comment.location < index && index < comment.end()));
  }
  return 0;
}
