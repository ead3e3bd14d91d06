#include "platform/script/js_engine.h"

#include <cmath>

#include "platform/utf8.h"

namespace platform::script_internal {

JSStringRef createJsString(std::string_view utf8) {
  const std::u16string units = utf8::toUTF16(utf8);
  static_assert(sizeof(JSChar) == sizeof(char16_t));
  return JSStringCreateWithCharacters(reinterpret_cast<const JSChar*>(units.data()), units.size());
}

JsString::JsString(const std::string& text) : ref_(createJsString(text)) {}

std::string toStd(JSStringRef s) {
  if (!s) return {};
  const size_t max = JSStringGetMaximumUTF8CStringSize(s);
  std::string out(max, '\0');
  const size_t written = JSStringGetUTF8CString(s, out.data(), max);
  out.resize(written > 0 ? written - 1 : 0);
  return out;
}

std::string toStd(JSContextRef ctx, JSValueRef value) {
  JSValueRef ignored = nullptr;
  JsString s(JSValueToStringCopy(ctx, value, &ignored));
  return toStd(s.get());
}

JSValueRef makeString(JSContextRef ctx, const std::string& text) {
  JsString s(text);
  return JSValueMakeString(ctx, s.get());
}

JSValueRef property(JSContextRef ctx, JSObjectRef object, const char* name) {
  JsString n{std::string(name)};
  return JSObjectGetProperty(ctx, object, n.get(), nullptr);
}

int intArg(JSContextRef ctx, size_t argc, const JSValueRef argv[], size_t i) {
  if (i >= argc) return 0;
  const double d = JSValueToNumber(ctx, argv[i], nullptr);
  return std::isfinite(d) ? static_cast<int>(d) : 0;
}

std::string stringArg(JSContextRef ctx, size_t argc, const JSValueRef argv[], size_t i) {
  return i < argc ? toStd(ctx, argv[i]) : std::string();
}

void throwError(JSContextRef ctx, JSValueRef* exception, const std::string& message) {
  JSValueRef m = makeString(ctx, message);
  *exception = JSObjectMakeError(ctx, 1, &m, nullptr);
}

std::string describeException(JSContextRef ctx, JSValueRef exception, int* lineOut) {
  std::string text = toStd(ctx, exception);
  int line = 0;
  std::string source;
  if (JSValueIsObject(ctx, exception)) {
    JSObjectRef object = JSValueToObject(ctx, exception, nullptr);
    JSValueRef l = property(ctx, object, "line");
    if (JSValueIsNumber(ctx, l)) line = static_cast<int>(JSValueToNumber(ctx, l, nullptr));
    JSValueRef s = property(ctx, object, "sourceURL");
    if (JSValueIsString(ctx, s)) source = toStd(ctx, s);
  }
  if (lineOut) *lineOut = line;
  if (line > 0) text += " (" + (source.empty() ? std::string("script") : source) + ":" + std::to_string(line) + ")";
  return text;
}

Result<Json> valueToJson(JSContextRef ctx, JSValueRef value, JSValueRef* exception) {
  JsString json(JSValueCreateJSONString(ctx, value, 0, exception));
  if (*exception) return Error{};
  return json.get() ? parseJson(toStd(json.get())) : Result<Json>(Error{});
}

}  // namespace platform::script_internal
