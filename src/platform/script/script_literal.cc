#include "platform/script/script_literal.h"

namespace platform {

namespace {

// JSON text with the line and paragraph separators (E2 80 A8, E2 80 A9)
// escaped, and, with `escapeSingleQuote`, the single quote too. JSON text
// holds them only inside its strings.
void appendEscapingSeparators(std::string& out, std::string_view json, bool escapeSingleQuote) {
  for (size_t i = 0; i < json.size(); ++i) {
    const char c = json[i];
    if (c == '\'' && escapeSingleQuote) {
      out += "\\'";
    } else if (c == '\xE2' && i + 2 < json.size() && json[i + 1] == '\x80' &&
               (json[i + 2] == '\xA8' || json[i + 2] == '\xA9')) {
      out += json[i + 2] == '\xA8' ? "\\u2028" : "\\u2029";
      i += 2;
    } else {
      out += c;
    }
  }
}

// An object literal's member named "__proto__" (not computed) sets the new
// object's prototype instead of making a member; JSON.parse makes an own
// member. Every key "__proto__" of the literal text `js` (compact JSON text
// whose strings may hold escapes) becomes the computed key ["__proto__"],
// which makes the own member too. In that text a string followed by ':' is a
// key, and the key's text is "__proto__" exactly (no escape spells a letter or
// an underscore there).
std::string withComputedProtoKeys(std::string js) {
  static constexpr std::string_view kKey = "\"__proto__\":";
  if (js.find(kKey) == std::string::npos) return js;
  std::string out;
  out.reserve(js.size() + 8);
  bool inString = false;
  for (size_t i = 0; i < js.size(); ++i) {
    const char c = js[i];
    if (inString) {
      out += c;
      if (c == '\\') {
        out += js[++i];  // JSON text never ends in the middle of an escape
      } else if (c == '"') {
        inString = false;
      }
    } else if (c == '"' && js.compare(i, kKey.size(), kKey) == 0) {
      out += "[\"__proto__\"]:";
      i += kKey.size() - 1;
    } else {
      out += c;
      inString = c == '"';
    }
  }
  return out;
}

std::string templateLiteral(std::string_view text) {
  std::string out;
  out.reserve(text.size() + 2);
  out += '`';
  if (text.find_first_of("\\`$\r") == std::string_view::npos) {
    out += text;
  } else {
    for (size_t i = 0; i < text.size(); ++i) {
      const char c = text[i];
      if (c == '\\' || c == '`') {
        out += '\\';
        out += c;
      } else if (c == '$' && i + 1 < text.size() && text[i + 1] == '{') {
        out += "\\$";
      } else if (c == '\r') {
        out += "\\r";
      } else {
        out += c;
      }
    }
  }
  out += '`';
  return out;
}

}  // namespace

std::string scriptStringLiteral(std::string_view text, char quote) {
  if (quote == '`') return templateLiteral(text);
  // The JSON string literal, its double quotes replaced when single quotes
  // enclose it (its escaped double quotes stay valid escapes).
  const std::string json = quoteJson(text);
  const std::string_view inside = std::string_view(json).substr(1, json.size() - 2);
  const char enclosing = quote == '"' ? '"' : '\'';
  std::string out;
  out.reserve(json.size() + 8);
  out += enclosing;
  appendEscapingSeparators(out, inside, true);
  out += enclosing;
  return out;
}

std::string scriptLiteral(const Json& value) {
  if (value.is_string()) return scriptStringLiteral(value.get_ref<const std::string&>());
  const std::string json = dumpJson(value);
  std::string out;
  out.reserve(json.size());
  appendEscapingSeparators(out, json, false);
  return withComputedProtoKeys(out);
}

}  // namespace platform
