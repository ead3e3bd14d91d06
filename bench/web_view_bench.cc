// A native -> page -> native round trip through the headless web view
// (evaluateJavaScript of a line whose script posts a message back, delivered
// to a script message handler) against the engine alone: JSEvaluateScript of
// the same line in a bare context whose postMessage is a native callback.
#include <benchmark/benchmark.h>

#include <JavaScriptCore/JavaScript.h>

#include <memory>
#include <string>

#include "platform/script/engine.h"
#include "platform/test_environment.h"

// Exported by the engine without a public declaration (see platform/script/engine.cc).
extern "C" {
typedef bool (*JSShouldTerminateCallback)(JSContextRef ctx, void* context);
JS_EXPORT void JSContextGroupSetExecutionTimeLimit(JSContextGroupRef group, double limit,
                                                   JSShouldTerminateCallback callback, void* context);
}
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

// state.range(0): 1 sets the web view's default time limit (2 s) on the
// context group, which costs a read of the thread's CPU clock per entry.
void BM_BareEngineCall(benchmark::State& state) {
  platform::engine::configureEngineOnce();  // before the process's first context group
  JSContextGroupRef group = JSContextGroupCreate();
  if (state.range(0)) JSContextGroupSetExecutionTimeLimit(group, 2.0, nullptr, nullptr);
  JSGlobalContextRef ctx = JSGlobalContextCreateInGroup(group, nullptr);
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
  const std::string source = kLine;
  for (auto _ : state) {
    const int64_t before = g_bareReceived;
    // The script arrives as a C++ string, as it does for the web view.
    JSStringRef line = JSStringCreateWithUTF8CString(source.c_str());
    JSEvaluateScript(ctx, line, nullptr, nullptr, 1, nullptr);
    JSStringRelease(line);
    if (g_bareReceived != before + 1) {
      state.SkipWithError("the callback did not run");
      break;
    }
  }
  JSGlobalContextRelease(ctx);
  JSContextGroupRelease(group);
}
BENCHMARK(BM_BareEngineCall)->ArgName("timeLimit")->Arg(0)->Arg(1)->Repetitions(10)->ReportAggregatesOnly(true);

}  // namespace
