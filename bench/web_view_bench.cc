// A native -> page -> native round trip through the headless web view
// (evaluateJavaScript of a line whose script posts a message back, delivered
// to a script message handler) against the engine alone: JSEvaluateScript of
// the same line in a bare context whose postMessage is a native callback.
#include <benchmark/benchmark.h>

#include <JavaScriptCore/JavaScript.h>

#include <memory>
#include <string>

#include "platform/test_environment.h"
#include "platform/web/web_view.h"

namespace {

constexpr const char* kLine = "window.webkit.messageHandlers.bench.postMessage('ping')";

struct Counter : platform::ScriptMessageHandler {
  int64_t received = 0;
  void didReceiveScriptMessage(platform::UserContentController&, const platform::ScriptMessage& message) override {
    if (message.body.is_string()) ++received;
  }
};

void BM_WebViewRoundTrip(benchmark::State& state) {
  platform::TestEnvironment env;
  auto counter = std::make_shared<Counter>();
  platform::WebViewConfiguration configuration;
  configuration.userContentController->addScriptMessageHandler(counter, "bench");
  auto view = std::make_shared<platform::WebView>(platform::Rect{}, configuration);
  view->loadHTMLString("<script>var ready = true;</script>", "");
  env.runUntilIdle();
  for (auto _ : state) {
    const int64_t before = counter->received;
    view->evaluateJavaScript(kLine, nullptr);
    env.runUntilIdle();
    if (counter->received != before + 1) {
      state.SkipWithError("the message did not come back");
      break;
    }
  }
}
BENCHMARK(BM_WebViewRoundTrip)->Repetitions(10)->ReportAggregatesOnly(true);

int64_t g_bareReceived = 0;

JSValueRef barePostMessage(JSContextRef ctx, JSObjectRef, JSObjectRef, size_t argc, const JSValueRef argv[],
                           JSValueRef*) {
  if (argc > 0 && JSValueIsString(ctx, argv[0])) {
    JSStringRef s = JSValueToStringCopy(ctx, argv[0], nullptr);
    std::string body(JSStringGetMaximumUTF8CStringSize(s), '\0');
    body.resize(JSStringGetUTF8CString(s, body.data(), body.size()) - 1);
    JSStringRelease(s);
    g_bareReceived += body.empty() ? 0 : 1;
  }
  return JSValueMakeUndefined(ctx);
}

void BM_BareEngineCall(benchmark::State& state) {
  JSGlobalContextRef ctx = JSGlobalContextCreate(nullptr);
  JSStringRef setup = JSStringCreateWithUTF8CString(
      "var window = this; window.webkit = { messageHandlers: { bench: {} } };");
  JSEvaluateScript(ctx, setup, nullptr, nullptr, 1, nullptr);
  JSStringRelease(setup);
  JSStringRef name = JSStringCreateWithUTF8CString("postMessage");
  JSStringRef path = JSStringCreateWithUTF8CString("window.webkit.messageHandlers.bench");
  JSObjectRef handler = JSValueToObject(ctx, JSEvaluateScript(ctx, path, nullptr, nullptr, 1, nullptr), nullptr);
  JSObjectSetProperty(ctx, handler, name, JSObjectMakeFunctionWithCallback(ctx, name, barePostMessage), 0, nullptr);
  JSStringRelease(name);
  JSStringRelease(path);
  JSStringRef line = JSStringCreateWithUTF8CString(kLine);
  for (auto _ : state) {
    const int64_t before = g_bareReceived;
    JSEvaluateScript(ctx, line, nullptr, nullptr, 1, nullptr);
    if (g_bareReceived != before + 1) {
      state.SkipWithError("the callback did not run");
      break;
    }
  }
  JSStringRelease(line);
  JSGlobalContextRelease(ctx);
}
BENCHMARK(BM_BareEngineCall)->Repetitions(10)->ReportAggregatesOnly(true);

}  // namespace
