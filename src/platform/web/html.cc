#include "platform/web/html.h"

#include <gumbo.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <utility>

#include "platform/json.h"

namespace platform::web_internal {

namespace {

std::string lower(std::string_view s) {
  std::string out(s);
  std::transform(out.begin(), out.end(), out.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return out;
}

bool isVoidElement(std::string_view name) {
  static constexpr std::array<std::string_view, 16> kVoid = {
      "area", "base", "br", "col", "embed", "hr", "img", "input", "keygen", "link", "meta", "param",
      "source", "track", "wbr", "basefont"};
  return std::find(kVoid.begin(), kVoid.end(), name) != kVoid.end();
}

bool isRawText(std::string_view name) {
  return name == "script" || name == "style" || name == "textarea" || name == "title" || name == "xmp";
}

// Deepest nesting of start tags not yet closed, skipping comments, void and
// self-closed elements and the contents of raw-text elements. Unclosed tags
// that HTML closes implicitly (<p>, <li>) count as nested, so this is an upper
// bound of the tree's depth.
int estimateDepth(std::string_view html) {
  const std::string text = lower(html);
  int depth = 0;
  int deepest = 0;
  size_t i = 0;
  while ((i = text.find('<', i)) != std::string::npos && i + 1 < text.size()) {
    const char c = text[i + 1];
    if (c == '/') {
      depth = std::max(0, depth - 1);
      i += 2;
      continue;
    }
    if (text.compare(i, 4, "<!--") == 0) {
      const size_t end = text.find("-->", i + 4);
      if (end == std::string::npos) break;
      i = end + 3;
      continue;
    }
    if (!std::isalpha(static_cast<unsigned char>(c))) {
      ++i;
      continue;
    }
    size_t j = i + 1;
    while (j < text.size() && std::isalnum(static_cast<unsigned char>(text[j]))) ++j;
    const std::string name = text.substr(i + 1, j - i - 1);
    const size_t close = text.find('>', j);
    if (close == std::string::npos) break;
    if (isRawText(name)) {
      const size_t end = text.find("</" + name, close);
      if (end == std::string::npos) break;
      i = end + 2;
      continue;
    }
    if (!isVoidElement(name) && text[close - 1] != '/') deepest = std::max(deepest, ++depth);
    i = close + 1;
  }
  return deepest;
}

std::string tagName(const GumboElement& element) {
  if (element.tag != GUMBO_TAG_UNKNOWN) return gumbo_normalized_tagname(element.tag);
  GumboStringPiece piece = element.original_tag;
  gumbo_tag_from_original_text(&piece);
  return lower(std::string_view(piece.data, piece.length));
}

const char* attribute(const GumboElement& element, const char* name) {
  const GumboAttribute* a = gumbo_get_attribute(&element.attributes, name);
  return a ? a->value : nullptr;
}

// Classic scripts only: no type, or a JavaScript MIME type.
bool isClassicScript(const GumboElement& element) {
  const char* type = attribute(element, "type");
  if (!type) return true;
  std::string t = lower(type);
  t.erase(0, t.find_first_not_of(" \t\n\r\f"));
  t.erase(t.find_last_not_of(" \t\n\r\f") + 1);
  static constexpr std::array<std::string_view, 6> kTypes = {
      "", "text/javascript", "application/javascript", "application/x-javascript", "text/ecmascript",
      "application/ecmascript"};
  return std::find(kTypes.begin(), kTypes.end(), t) != kTypes.end();
}

struct TreeBuilder {
  int nodes = 0;

  Json element(const GumboNode& node, int depth) {
    const GumboElement& e = node.v.element;
    Json out = {{"t", tagName(e)}};
    Json attrs = Json::array();
    for (unsigned i = 0; i < e.attributes.length; ++i) {
      const auto* a = static_cast<const GumboAttribute*>(e.attributes.data[i]);
      attrs.push_back(Json::array({lower(a->name), a->value}));
    }
    out["a"] = std::move(attrs);
    Json children = Json::array();
    if (depth < kMaxTreeDepth) {
      for (unsigned i = 0; i < e.children.length && nodes < kMaxTreeNodes; ++i) {
        const auto* child = static_cast<const GumboNode*>(e.children.data[i]);
        if (child->type == GUMBO_NODE_ELEMENT || child->type == GUMBO_NODE_TEMPLATE) {
          ++nodes;
          children.push_back(element(*child, depth + 1));
        } else if (child->type == GUMBO_NODE_TEXT || child->type == GUMBO_NODE_WHITESPACE ||
                   child->type == GUMBO_NODE_CDATA) {
          ++nodes;
          children.push_back(child->v.text.text);
        }
      }
    }
    out["c"] = std::move(children);
    return out;
  }
};

void collectScripts(const GumboNode* root, std::vector<HtmlScript>& out) {
  // Document order is a pre-order walk; an explicit stack keeps deep trees off
  // the call stack.
  std::vector<const GumboNode*> stack{root};
  while (!stack.empty()) {
    const GumboNode* node = stack.back();
    stack.pop_back();
    if (node->type != GUMBO_NODE_ELEMENT && node->type != GUMBO_NODE_TEMPLATE) continue;
    const GumboElement& e = node->v.element;
    if (e.tag == GUMBO_TAG_SCRIPT) {
      if (!isClassicScript(e)) continue;
      HtmlScript script;
      script.line = static_cast<int>(e.start_pos.line);
      if (const char* src = attribute(e, "src")) {
        script.hasSrc = true;
        script.src = src;
      } else if (e.children.length > 0) {
        const auto* text = static_cast<const GumboNode*>(e.children.data[0]);
        if (text->type == GUMBO_NODE_TEXT || text->type == GUMBO_NODE_WHITESPACE) {
          script.text = text->v.text.text;
          script.line = static_cast<int>(text->v.text.start_pos.line);
        }
      }
      out.push_back(std::move(script));
      continue;
    }
    for (unsigned i = e.children.length; i-- > 0;) stack.push_back(static_cast<const GumboNode*>(e.children.data[i]));
  }
}

}  // namespace

std::optional<HtmlDocument> parseHtml(std::string_view html) {
  if (estimateDepth(html) > kMaxHtmlDepth) return std::nullopt;
  GumboOptions options = kGumboDefaultOptions;
  options.max_errors = 0;  // the error list copies the open-element stack for every error
  GumboOutput* output = gumbo_parse_with_options(&options, html.data(), html.size());
  HtmlDocument doc;
  TreeBuilder builder;
  doc.treeJson = dumpJson(builder.element(*output->root, 0));
  collectScripts(output->root, doc.scripts);
  gumbo_destroy_output(&options, output);
  return doc;
}

}  // namespace platform::web_internal
