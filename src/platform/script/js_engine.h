#pragma once
// The engine-level helpers shared by every script context of the platform:
// the web view's pages (platform/web/page.cc) and the script contexts outside
// web views (platform/script/script_context.cc): strings and values between
// C++ and JavaScriptCore, and exception texts. The guard of their entries
// (time limit, memory bound) is platform/script/engine.h.
//
// This header includes JavaScriptCore: include it only in the platform's own
// script sources.
#include <JavaScriptCore/JavaScript.h>

#include <string>
#include <string_view>

#include "platform/json.h"
#include "platform/result.h"

namespace platform::script_internal {

// A new engine string of UTF-8 text of any bytes: a NUL stays a character,
// a byte that starts no UTF-8 sequence becomes U+FFFD. Wrap it in a JsString.
JSStringRef createJsString(std::string_view utf8);

// An engine string, released with the object.
class JsString {
 public:
  // The text whole (createJsString above): a NUL does not end it.
  explicit JsString(const std::string& text);
  explicit JsString(JSStringRef adopted) : ref_(adopted) {}
  ~JsString() {
    if (ref_) JSStringRelease(ref_);
  }
  JsString(const JsString&) = delete;
  JsString& operator=(const JsString&) = delete;
  JSStringRef get() const { return ref_; }

 private:
  JSStringRef ref_;
};

// UTF-8 of an engine string ("" for none).
std::string toStd(JSStringRef s);
// The value as a string (its toString); "" when that throws.
std::string toStd(JSContextRef ctx, JSValueRef value);
JSValueRef makeString(JSContextRef ctx, const std::string& text);
// object[name], without reporting an exception.
JSValueRef property(JSContextRef ctx, JSObjectRef object, const char* name);

// Argument i of a native function as an int (0 when absent or not finite) or
// as a string ("" when absent).
int intArg(JSContextRef ctx, size_t argc, const JSValueRef argv[], size_t i);
std::string stringArg(JSContextRef ctx, size_t argc, const JSValueRef argv[], size_t i);

// Makes a native function throw an Error with the message.
void throwError(JSContextRef ctx, JSValueRef* exception, const std::string& message);

// "<text> (<url>:<line>)" of an exception, and its line.
std::string describeException(JSContextRef ctx, JSValueRef exception, int* lineOut);

// The value's JSON form, parsed; an error when it has none (a function) or the
// conversion throws (`exception` then holds what was thrown).
Result<Json> valueToJson(JSContextRef ctx, JSValueRef value, JSValueRef* exception);

}  // namespace platform::script_internal
