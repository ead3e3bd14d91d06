#include "platform/web/markup_tags.h"

#include <algorithm>
#include <array>
#include <initializer_list>

namespace platform::web_internal::markup {

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
    // Elements the parser knows by name and treats as nothing special.
    add({"span", "label", "abbr", "acronym", "bdi", "bdo", "cite", "data", "del", "dfn", "ins", "kbd", "mark", "q",
         "rb", "rp", "rt", "rtc", "ruby", "samp", "sub", "sup", "time", "var", "canvas", "video", "audio", "map",
         "output", "progress", "meter", "picture", "legend", "datalist", "blink", "spacer", "multicol"},
        0);
    add({"address", "article", "aside", "blockquote", "button", "center", "details", "dialog", "dir", "div", "dl",
         "fieldset", "figcaption", "figure", "footer", "header", "hgroup", "listing", "main", "menu", "nav", "ol",
         "pre", "search", "section", "summary", "ul", "applet", "marquee", "object", "dd", "dt", "li", "p",
         "select", "template"},
        kScopedEnd);
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
// By name in either namespace (SVG's foreignObject, desc and title, MathML's
// text elements and annotation-xml): the scan then closes less on a tag that
// leaves foreign content.
bool isIntegrationPoint(std::string_view name) {
  static constexpr std::string_view kNames[] = {"foreignobject", "desc", "title", "mi",           "mo",
                                                "mn",            "ms",   "mtext", "annotation-xml"};
  return std::find(std::begin(kNames), std::end(kNames), name) != std::end(kNames);
}

const Names& names() {
  static const Names n{hashOf("p"),     hashOf("tbody"), hashOf("thead"),   hashOf("tfoot"),
                       hashOf("tr"),    hashOf("table"), hashOf("address"), hashOf("div"), hashOf("option"),
                       hashOf("template")};
  return n;
}

uint64_t formattingName(int formatting) {
  static const auto names = [] {
    std::array<uint64_t, kFormattingNames> out{};
    for (const auto& [name, info] : tags())
      if (info.formatting >= 0) out[static_cast<size_t>(info.formatting)] = hashOf(name);
    return out;
  }();
  return names[static_cast<size_t>(formatting)];
}

}  // namespace platform::web_internal::markup
