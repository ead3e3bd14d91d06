#pragma once
// The engine-level helpers shared by every script context of the platform:
// the web view's pages (platform/web/page.cc) and the script contexts outside
// web views (platform/script/script_context.cc). Strings and values between
// C++ and JavaScriptCore, exception texts, and the context group whose every
// entry into script runs under a time limit.
//
// This header includes JavaScriptCore: include it only in the platform's own
// script sources.
#include <JavaScriptCore/JavaScript.h>

#include <string>
#include <string_view>

#include "platform/json.h"
#include "platform/result.h"

// Exported by the engine without a public declaration: a limit on how long one
// entry into a context group's scripts may run, and the callback asked when
// the limit passes (true stops the script with an uncatchable exception).
extern "C" {
typedef bool (*JSShouldTerminateCallback)(JSContextRef ctx, void* context);
JS_EXPORT void JSContextGroupSetExecutionTimeLimit(JSContextGroupRef group, double limit,
                                                   JSShouldTerminateCallback callback, void* context);
}

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

// Process-wide engine options, set before the first context is made.
void configureEngineOnce();

// A context group whose every entry into script (an evaluation, a call) may
// run for a limited time of real time. The engine stops an entry that runs
// longer; the group then reports timedOut().
class TimeLimitedGroup {
 public:
  explicit TimeLimitedGroup(double timeLimitMs);
  ~TimeLimitedGroup();
  TimeLimitedGroup(const TimeLimitedGroup&) = delete;
  TimeLimitedGroup& operator=(const TimeLimitedGroup&) = delete;

  JSContextGroupRef get() const { return group_; }
  double timeLimitMs() const { return timeLimitMs_; }
  // True once an entry ran past the limit, until clearTimedOut().
  bool timedOut() const { return timedOut_; }
  void clearTimedOut() { timedOut_ = false; }

 private:
  // The engine's time-limit callback (context: the group).
  static bool shouldTerminate(JSContextRef ctx, void* group);

  JSContextGroupRef group_ = nullptr;
  double timeLimitMs_ = 0;
  bool timedOut_ = false;
};

}  // namespace platform::script_internal
