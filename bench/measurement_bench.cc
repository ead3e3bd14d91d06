// One measurement command from the bridge into the project's service script,
// beside the same command string evaluated in a script context directly and
// in a bare engine context (with the service script, or with an omidBridge
// that only counts).
#include <benchmark/benchmark.h>

#include <JavaScriptCore/JavaScript.h>

#include <memory>
#include <string>

// Exported by the engine without a public declaration (see js_engine.h).
extern "C" {
typedef bool (*JSShouldTerminateCallback)(JSContextRef ctx, void* context);
JS_EXPORT void JSContextGroupSetExecutionTimeLimit(JSContextGroupRef group, double limit,
                                                   JSShouldTerminateCallback callback, void* context);
}
#include "measurement/bridge/OMIDQuilbrnBridge.h"
#include "measurement/bridge/OMIDQuilbrnCommand.h"
#include "measurement/executor/OMIDQuilbrnJSExecutorFactory.h"
#include "platform/script/engine.h"
#include "platform/script/script_context.h"
#include "platform/test_environment.h"
#include "support/sandbox_measurement.h"

namespace {

const std::string kCommand = OMIDQuilbrnCommand::commandWithName(
    "publishMediaEvent", {OMIDQuilbrnCommand::stringWithQuotesFromString("firstQuartile")});
// The service keeps every command and event; the loops empty both now and
// then so the record does not grow with the iteration count.
constexpr const char* kForget = "omidService.record().length = 0; omidService.events().length = 0;";
constexpr int kForgetEvery = 4096;

// The whole road: the bridge builds the command, the executor queues it on its
// serial queue (test mode: run on this thread when pumped), the script context
// evaluates it and the service script records it and hands it out.
void BM_MeasurementCommandThroughBridge(benchmark::State& state) {
  platform::TestEnvironment env;
  auto executor = OMIDQuilbrnJSExecutorFactory::JSExecutorWithResources({}, qbtest::measurementServiceScript());
  auto bridge = OMIDQuilbrnBridge::initWithJSExecutor(executor);
  bridge->publishStartEventWithAdSessionId("BENCH", platform::Json{{"environment", "app"}}, platform::Json::object(),
                                           platform::Json::object());
  env.runUntilIdle();
  int n = 0;
  for (auto _ : state) {
    bridge->publishMediaEventWithName("firstQuartile", std::nullopt);
    env.runUntilIdle();
    if (++n % kForgetEvery == 0) {
      state.PauseTiming();
      executor->injectJavaScriptFromString(kForget);
      env.runUntilIdle();
      state.ResumeTiming();
    }
  }
}
BENCHMARK(BM_MeasurementCommandThroughBridge)->Repetitions(10)->ReportAggregatesOnly(true);

// The same command text evaluated in a script context holding the service
// script: no bridge, no queue.
void BM_MeasurementCommandInScriptContext(benchmark::State& state) {
  auto context = platform::ScriptContext::create();
  context->evaluate(qbtest::measurementServiceScript());
  context->evaluate("omidBridge.startSession('BENCH', {}, {}, {})");
  int n = 0;
  for (auto _ : state) {
    if (!context->evaluate(kCommand).ok()) {
      state.SkipWithError("the command failed");
      break;
    }
    if (++n % kForgetEvery == 0) {
      state.PauseTiming();
      context->evaluate(kForget);
      state.ResumeTiming();
    }
  }
}
BENCHMARK(BM_MeasurementCommandInScriptContext)->Repetitions(10)->ReportAggregatesOnly(true);

// The engine alone: the command text (made from a C++ string each time) in a
// bare context. state.range(0): 0, an omidBridge that only counts the calls;
// 1, the service script in a context group with the pages' time limit (2 s),
// as the script context runs it.
void BM_MeasurementCommandBareEngine(benchmark::State& state) {
  platform::engine::configureEngineOnce();  // before the process's first context group
  const bool service = state.range(0) == 1;
  JSContextGroupRef group = JSContextGroupCreate();
  if (service) JSContextGroupSetExecutionTimeLimit(group, 2.0, nullptr, nullptr);
  JSGlobalContextRef ctx = JSGlobalContextCreateInGroup(group, nullptr);
  const std::string setup =
      service ? qbtest::measurementServiceScript() + "\nomidBridge.startSession('BENCH', {}, {}, {});"
              : "var calls = 0; this.omidBridge = { publishMediaEvent: function (name) { calls++; } };";
  JSStringRef setupText = JSStringCreateWithUTF8CString(setup.c_str());
  JSEvaluateScript(ctx, setupText, nullptr, nullptr, 1, nullptr);
  JSStringRelease(setupText);
  JSStringRef forget = JSStringCreateWithUTF8CString(kForget);
  int n = 0;
  for (auto _ : state) {
    JSStringRef script = JSStringCreateWithUTF8CString(kCommand.c_str());
    JSValueRef exception = nullptr;
    JSEvaluateScript(ctx, script, nullptr, nullptr, 1, &exception);
    JSStringRelease(script);
    if (exception) {
      state.SkipWithError("the command failed");
      break;
    }
    if (service && ++n % kForgetEvery == 0) {
      state.PauseTiming();
      JSEvaluateScript(ctx, forget, nullptr, nullptr, 1, nullptr);
      state.ResumeTiming();
    }
  }
  JSStringRelease(forget);
  JSGlobalContextRelease(ctx);
  JSContextGroupRelease(group);
}
BENCHMARK(BM_MeasurementCommandBareEngine)->ArgName("service")->Arg(0)->Arg(1)->Repetitions(10)->ReportAggregatesOnly(true);

}  // namespace
