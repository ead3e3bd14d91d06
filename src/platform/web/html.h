#pragma once
// The HTML side of a page: gumbo turns the document into the element tree the
// page's `document` offers and the list of its script elements in document
// order. Internal to the web view.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

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

// Elements nested deeper than this (an estimate taken before parsing, which
// counts unclosed tags as nested) make a document the web view refuses: the
// parser's work grows with the square of the depth.
inline constexpr int kMaxHtmlDepth = 4096;
// Nodes beyond these caps are left out of the element tree (scripts still run).
inline constexpr int kMaxTreeDepth = 256;
inline constexpr int kMaxTreeNodes = 100'000;

// None when the document nests deeper than kMaxHtmlDepth.
std::optional<HtmlDocument> parseHtml(std::string_view html);

}  // namespace platform::web_internal
