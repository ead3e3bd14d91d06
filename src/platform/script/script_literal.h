#pragma once
// Values written into script text. Every value the library puts into a
// script it evaluates (in a page, or in a script context of its own) goes in
// as a literal of the script language whose value is that value, so no text
// a page, a server or a caller chose ever runs as code: identifiers, event
// names, messages, texts and JSON alike. Every place that builds script text
// from a value goes through here.
//
// Pure functions; any thread.
#include <string>
#include <string_view>

#include "platform/json.h"

namespace platform {

// A string literal whose value is `text`, quotes included.
//  - `quote` '\'' or '"': JSON's escapes (backslash, double quote, control
//    characters), the single quote escaped too (so either quote may enclose
//    it), and the line and paragraph separators U+2028 and U+2029 escaped for
//    engines that end a line at them; bytes that start no UTF-8 sequence
//    become U+FFFD. Printable ASCII without quotes or backslash stands as it is.
//  - `quote` '`' (a template literal): backslash, backtick, "${" and the
//    carriage return (which a template literal would read as a line feed)
//    escaped; everything else stands as it is, line feeds included.
std::string scriptStringLiteral(std::string_view text, char quote = '\'');

// A literal whose value is the JSON value, exactly what JSON.parse gives of
// its JSON text: a string as scriptStringLiteral with single quotes; an
// object, an array, a number, true, false or null as its compact JSON text
// (an object or array literal of the same value), U+2028 and U+2029 escaped
// inside its strings, and every key "__proto__" written as the computed key
// ["__proto__"] (at any depth), so it makes an own member as JSON.parse does
// instead of setting the object's prototype.
std::string scriptLiteral(const Json& value);

}  // namespace platform
