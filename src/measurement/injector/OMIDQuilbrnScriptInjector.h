#pragma once
// Puts a measurement script into an ad's HTML document before it is loaded:
// one script element at the earliest place where it runs before the ad's own
// content: right after the opening head or body tag, else after the html tag,
// else after the document type declaration, else at the very start; never
// inside an HTML comment.
//
// The HTML is outside input: every step is a linear scan (no backtracking
// pattern), so any document, an unterminated comment with many line breaks
// included, costs time in proportion to its length. Offsets are byte offsets
// into the UTF-8 text; every delimiter is ASCII, so an insertion never splits
// a character.
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "platform/result.h"

class OMIDQuilbrnScriptInjector {
 public:
  // A stretch of the text: [location, location + length).
  struct Range {
    size_t location = 0;
    size_t length = 0;
    size_t end() const { return location + length; }
    bool operator==(const Range&) const = default;
  };

  // The HTML with `<script type="text/javascript">SCRIPT</script>` inserted
  // (the script unchanged, nothing escaped). The empty script: 1501, none.
  static std::optional<std::string> injectScriptContent(const std::string& script, const std::string& html,
                                                        platform::Error* error);

  // Inserts the script element into `html` at indexForScriptInHtml.
  static void stringFromHtml(std::string& html, const std::string& scriptElement);
  // Where the script goes. A self-closing head, body or html tag found there
  // is first rewritten in `html` into an opening and a closing tag, and the
  // index falls between them.
  static size_t indexForScriptInHtml(std::string& html);
  // The comments, in text order, each
  //   "<!" [ \t\r\n]* "--" (no "--" inside) "--" [ \t\r\n]* ">"
  // (letters' case does not matter), then one empty range at the end of the
  // text.
  static std::vector<Range> commentsInHtml(const std::string& html);
  // The tag's name: the four characters after its "<", in lower case.
  static std::string tagFromHtml(const std::string& html, const Range& range);
  // A tag ending in "/>" becomes "<name ...></name>" (the name as written)
  // and the range shrinks by one, to end after the opening tag's new ">".
  // Any other tag is left as it is.
  static Range replaceSelfClosingTagInHtml(std::string& html, const Range& tagRange);
};
