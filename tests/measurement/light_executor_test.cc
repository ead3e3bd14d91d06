// The script context executor of native sessions on the test clock: its
// timers (the minimum while active and inactive, clearing, string callbacks,
// delays that are no number, the cap), the time limit on scripts that never
// return, callbacks that are no function read under the limits, and an
// executor released with work pending.
#include "measurement/executor/OMIDQuilbrnJSExecutorFactory.h"
#include "measurement/executor/OMIDQuilbrnLoadTask.h"
#include "measurement_support.h"
#include "platform/ui/application.h"
#include "support/job_chains.h"

namespace measurementtest {
namespace {

using platform::Json;
using platform::ScriptOutcome;

class LightExecutorTest : public MeasurementTest {
 protected:
  ~LightExecutorTest() override {
    OMIDQuilbrnLightJSExecutor::setScriptContextOptionsForTesting(std::nullopt);
    OMIDQuilbrnLoadTask::setTransportForTesting(nullptr);
    platform::Application::shared().resetForTesting();
  }

  std::shared_ptr<OMIDQuilbrnLightJSExecutor> makeExecutor(const std::optional<std::string>& script = std::nullopt) {
    auto executor = OMIDQuilbrnJSExecutorFactory::JSExecutorWithResources({}, script);
    env.runUntilIdle();
    return executor;
  }

  // Runs `source` in the executor's context now, on its queue.
  ScriptOutcome run(OMIDQuilbrnLightJSExecutor& executor, const std::string& source) {
    ScriptOutcome out;
    executor.dispatchQueue()->sync([&] { out = executor.jsEnvironment().scriptContext->evaluate(source); });
    return out;
  }
  Json json(OMIDQuilbrnLightJSExecutor& executor, const std::string& expression) {
    Json out;
    executor.dispatchQueue()->sync(
        [&] { out = scriptJson(*executor.jsEnvironment().scriptContext, expression); });
    return out;
  }
  void inject(OMIDQuilbrnLightJSExecutor& executor, const std::string& source) {
    executor.injectJavaScriptFromString(source);
    env.runUntilIdle();
  }
};

TEST_F(LightExecutorTest, ContextHasTheHostFunctionsAndRunsCommandsInOrder) {
  auto executor = makeExecutor("var order = ['script'];");
  EXPECT_TRUE(executor->supportBackgroundThread());
  EXPECT_FALSE(executor->jsEnvironment().webView);
  EXPECT_EQ(executor->dispatchQueue()->label(), "com.iab.omidLightJSExecutor.serial.queue");
  EXPECT_EQ(json(*executor, "Object.keys(omidNative).sort()"),
            Json::parse(R"(["clearInterval","clearTimeout","downloadJavaScriptResource","sendUrl","setInterval","setTimeout"])"));
  EXPECT_EQ(json(*executor, "typeof omidNative.setTimeout"), "function");
  executor->injectJavaScriptFromString("order.push('a')");
  executor->injectJavaScriptFromString("");  // never evaluated
  executor->injectJavaScriptFromString("order.push('b'); throw new Error('contained')");
  executor->injectJavaScriptFromString("order.push('c')");
  EXPECT_EQ(json(*executor, "order"), Json::parse(R"(["script"])"));  // nothing inline
  env.runUntilIdle();
  EXPECT_EQ(json(*executor, "order"), Json::parse(R"(["script","a","b","c"])"));
  EXPECT_TRUE(log.contains("measurement script error: Error: contained"));
}

TEST_F(LightExecutorTest, TimersWaitTheMinimumWhileActiveAndInactive) {
  auto executor = makeExecutor("var fired = [];");
  inject(*executor, "omidNative.setTimeout(function () { fired.push('active'); }, 0);");
  env.advance(9);
  EXPECT_EQ(json(*executor, "fired"), Json::array());
  env.advance(1);
  EXPECT_EQ(json(*executor, "fired"), Json::parse(R"(["active"])"));

  ASSERT_TRUE(platform::Application::shared().resignActive());
  env.runUntilIdle();
  inject(*executor, "omidNative.setTimeout(function () { fired.push('inactive'); }, 0);"
                    "omidNative.setTimeout(function () { fired.push('1500'); }, 1500);");
  env.advance(999);
  EXPECT_EQ(json(*executor, "fired").size(), 1u);
  env.advance(1);
  EXPECT_EQ(json(*executor, "fired"), Json::parse(R"(["active","inactive"])"));
  env.advance(500);
  EXPECT_EQ(json(*executor, "fired"), Json::parse(R"(["active","inactive","1500"])"));

  // An interval takes the minimum anew each round.
  ASSERT_TRUE(platform::Application::shared().becomeActive());
  env.runUntilIdle();
  inject(*executor, "var ticks = 0; omidNative.setInterval(function () { ticks++; }, 0);");
  env.advance(30);
  EXPECT_EQ(json(*executor, "ticks"), 3);
  ASSERT_TRUE(platform::Application::shared().enterBackground());
  env.runUntilIdle();
  env.advance(10);  // the round armed while active
  EXPECT_EQ(json(*executor, "ticks"), 4);
  env.advance(999);
  EXPECT_EQ(json(*executor, "ticks"), 4);
  env.advance(1);
  EXPECT_EQ(json(*executor, "ticks"), 5);
}

TEST_F(LightExecutorTest, ClearingStringCallbacksAndIdentifiers) {
  auto executor = makeExecutor("var runs = 0; var cleared = 0; var log = [];");
  EXPECT_EQ(json(*executor, "[omidNative.setTimeout(function(){}, 5), omidNative.setInterval(function(){}, 5)]"),
            Json::parse("[1,2]"));
  inject(*executor, "omidNative.clearTimeout(1); omidNative.clearInterval(2);"
                    "var t = omidNative.setTimeout(function () { cleared++; }, 20); omidNative.clearTimeout(t);"
                    "var id = omidNative.setInterval(function () { runs++; if (runs === 2) omidNative.clearInterval(id); }, 20);"
                    "omidNative.setTimeout('log.push(\"string ran\")', 15);"
                    "omidNative.setTimeout(null, 5); omidNative.setTimeout(undefined, 5); omidNative.clearTimeout('x');");
  env.advance(200);
  EXPECT_EQ(json(*executor, "[runs, cleared, log]"), Json::parse(R"([2, 0, ["string ran"]])"));
  EXPECT_EQ(executor->timer()->liveTimerCount(), 0u);
  EXPECT_EQ(env.delayedCount(), 0u);
}

// A delay that is no finite number, or negative, counts as 0; a huge one as
// 2^31-1 ms: converting it is never undefined, and the timer still comes.
TEST_F(LightExecutorTest, DelaysThatAreNoNumberAreClamped) {
  auto executor = makeExecutor("var fired = [];");
  inject(*executor,
         "[NaN, -5, -Infinity, Infinity, 'soon', undefined].forEach(function (d, i) {"
         "  omidNative.setTimeout(function () { fired.push(i); }, d); });"
         "omidNative.setTimeout(function () { fired.push('huge'); }, 1e300);"
         "omidNative.setTimeout(function () { fired.push('max'); }, 2147483648);");
  env.advance(10);
  EXPECT_EQ(json(*executor, "fired"), Json::parse("[0,1,2,3,4,5]"));
  env.advance(int64_t{2147483647} - 11);
  EXPECT_EQ(json(*executor, "fired").size(), 6u);
  env.advance(1);
  EXPECT_EQ(json(*executor, "fired"), Json::parse(R"([0,1,2,3,4,5,"huge","max"])"));
}

TEST_F(LightExecutorTest, LiveTimersAreCapped) {
  auto executor = makeExecutor();
  const Json ids = json(*executor,
                        "var ids = []; for (var i = 0; i < 1002; i++) ids.push(omidNative.setTimeout(function(){}, 50)); "
                        "ids.slice(998)");
  EXPECT_EQ(ids, Json::parse("[999,1000,0,0]"));
  EXPECT_EQ(log.countContaining("more than 1000 live timers"), 1u);
  env.advance(50);  // they fire and make room
  EXPECT_EQ(json(*executor, "omidNative.setTimeout(function(){}, 5)"), 1001);
}

// A script that never returns is stopped at the time limit, each time, and
// the commands after it still run; after the third stop the context is torn
// down, its timers end, and later commands are dropped, logged.
TEST_F(LightExecutorTest, ScriptsThatNeverReturnAreStoppedThenTheContextIsTornDown) {
  OMIDQuilbrnLightJSExecutor::setScriptContextOptionsForTesting(
      platform::ScriptContextOptions{.timeLimitMs = 50, .stopsBeforeTeardown = 3});
  auto executor = makeExecutor("var after = 0; var ticks = 0; omidNative.setInterval(function () { ticks++; }, 10);");
  inject(*executor, "while (true) {}");
  inject(*executor, "after++");
  EXPECT_EQ(json(*executor, "after"), 1);
  EXPECT_EQ(log.countContaining("a measurement script was stopped"), 1u);
  inject(*executor, "omidNative.setTimeout(function () { for (;;) {} }, 5);");
  env.advance(10);
  EXPECT_EQ(log.countContaining("a measurement script was stopped"), 2u);
  EXPECT_GE(json(*executor, "ticks"), 1);
  inject(*executor, "for (;;) {}");
  EXPECT_TRUE(log.contains("(3 of 3 stops)"));
  EXPECT_TRUE(log.contains("the measurement script context was torn down (the script ran past"));
  env.runUntilIdle();
  EXPECT_EQ(executor->timer()->liveTimerCount(), 0u);
  env.advance(1000);
  inject(*executor, "after++");
  inject(*executor, "after++");
  EXPECT_EQ(log.countContaining("measurement command dropped"), 2u);
  EXPECT_EQ(env.delayedCount(), 0u);
}

// The timers' callbacks may take 1000 ms of processor time at once and 25%
// of the time passing: a script that keeps 1,000 timers ticking with no delay
// (intervals, timeouts that arm themselves again, string callbacks) spends
// that within 4 s of the clock (each tick costs at least the per-task
// overhead, 5 ms a round of 1,000, twice what 10 ms give back); its context is
// then stopped as one past its time limit, logged once, and nothing of it runs
// again. A timer that does little every 100 ms runs on beside it.
TEST_F(LightExecutorTest, TimersPastTheirBudgetStopTheContextWhileACalmOneRunsOn) {
  auto calm = makeExecutor("var ticks = 0; omidNative.setInterval(function () { ticks++; }, 100);");
  auto busy = makeExecutor(
      "var kinds = {interval: 0, chain: 0, text: 0};"
      "for (var i = 0; i < 400; i++) omidNative.setInterval(function () { kinds.interval++; }, 0);"
      "function chain() { kinds.chain++; omidNative.setTimeout(chain, 0); }"
      "for (var i = 0; i < 300; i++) omidNative.setTimeout(chain, 0);"
      "for (var i = 0; i < 300; i++) omidNative.setInterval('kinds.text++', 0);");
  EXPECT_EQ(busy->timer()->liveTimerCount(), 1000u);
  env.advance(10);
  EXPECT_EQ(json(*busy, "kinds"), Json::parse(R"({"interval":400,"chain":300,"text":300})"));
  int rounds = 1;
  while (!log.contains("past their budget") && rounds < 400) {
    env.advance(10);
    ++rounds;
  }
  ASSERT_TRUE(log.contains("past their budget")) << rounds << " rounds";
  EXPECT_EQ(log.countContaining("the timers and network answers of a measurement script kept its queue busy past their "
                                "budget (1000 ms of "
                                "processor time beyond 25% of the time passed); the measurement script context was "
                                "torn down and its commands are dropped from now on"),
            1u);
  EXPECT_TRUE(busy->jsEnvironment().scriptContext->isTornDown());
  env.runUntilIdle();
  EXPECT_EQ(busy->timer()->liveTimerCount(), 0u);
  inject(*busy, "kinds.interval++");
  EXPECT_EQ(log.countContaining("measurement command dropped"), 1u);

  env.advance(1000);
  EXPECT_EQ(json(*calm, "ticks"), (rounds * 10 + 1000) / 100);
  EXPECT_EQ(env.delayedCount(), 1u);  // the calm interval only
  EXPECT_EQ(log.countContaining("past their budget"), 1u);
}

// A callback that is no function (an object handed to setInterval or
// sendUrl) is called as the engine would call it, which reads its text for
// the error: in an entry of the context, inside the charged task of the tick
// or the answer. A text that spins or starts a chain of promise jobs is
// stopped at the time limit, one that allocates without end at the memory
// bound; the stop is the context's (its only one here: it is torn down), not
// a script error. (Read outside an entry, the chain's jobs would run
// unchecked; it ends by itself some seconds later, and the text read then
// makes the error.)
TEST_F(LightExecutorTest, CallbacksThatAreNoFunctionAreReadUnderTheLimits) {
  struct Kind {
    const char* label;
    std::string toString;
    const char* stop;
  };
  const Kind kinds[] = {
      {"spins", "for (;;) {}", "the script ran past the time limit of 100 ms"},
      {"starts a job chain", qbtest::thenChain("") + " return 'x';", "the script ran past the time limit of 100 ms"},
      {"allocates", "var keep = []; for (;;) keep.push(new Array(100000).fill(1.5));",
       "the scripts held more than 67108864 bytes of memory"},
  };
  const std::pair<const char*, const char*> routes[] = {
      {"setInterval", "omidNative.setInterval(hostile, 10);"},
      {"sendUrl", "omidNative.sendUrl('http://127.0.0.1:1/x', hostile, hostile);"},
  };
  std::vector<std::pair<platform::QueueRef, platform::DataTaskCompletion>> held;
  OMIDQuilbrnLoadTask::setTransportForTesting(
      [&](platform::URLRequest, platform::QueueRef queue, platform::DataTaskCompletion completion) {
        held.emplace_back(std::move(queue), std::move(completion));
      });
  for (const auto& kind : kinds) {
    for (const auto& [route, call] : routes) {
      SCOPED_TRACE(std::string(kind.label) + " through " + route);
      log.clear();
      held.clear();
      // The allocation meets the bound long before a time limit of 2 s.
      const bool memory = std::string(kind.stop).find("memory") != std::string::npos;
      OMIDQuilbrnLightJSExecutor::setScriptContextOptionsForTesting(platform::ScriptContextOptions{
          .timeLimitMs = memory ? 2000.0 : 100.0, .memoryLimitBytes = size_t{64} << 20, .stopsBeforeTeardown = 1});
      auto executor = makeExecutor("var hostile = {toString: function () { " + kind.toString + " }};" + call);
      if (held.empty()) {
        env.advance(1000);
      } else {
        ASSERT_EQ(held.size(), 1u);
        platform::DataTaskResult answer;
        answer.response = platform::HTTPURLResponse{204, "http://127.0.0.1:1/x", {}};
        held[0].first->async([completion = held[0].second, answer] { completion(answer); });
        env.runUntilIdle();
      }
      EXPECT_TRUE(log.contains(std::string("a measurement script was stopped: ") + kind.stop)) << log.lines().size();
      EXPECT_TRUE(log.contains(std::string("the measurement script context was torn down (") + kind.stop));
      EXPECT_FALSE(log.contains("is not a function"));
      EXPECT_TRUE(executor->jsEnvironment().scriptContext->isTornDown());
      env.runUntilIdle();
      EXPECT_EQ(executor->timer()->liveTimerCount(), 0u);
    }
  }
}

// Released with a download and a timer pending: neither calls back, nothing
// crashes (also under the address sanitizer).
TEST_F(LightExecutorTest, ReleasedWithADownloadAndATimerPendingCallsNothingBack) {
  platform::DataTaskCompletion held;
  OMIDQuilbrnLoadTask::setTransportForTesting(
      [&](platform::URLRequest, platform::QueueRef, platform::DataTaskCompletion completion) {
        held = std::move(completion);
      });
  auto executor = makeExecutor();
  struct Witness {
    std::vector<std::string> heard;
  };
  auto witness = std::make_shared<Witness>();
  executor->dispatchQueue()->sync([&] {
    auto& context = *executor->jsEnvironment().scriptContext;
    context.defineFunction<Witness>(context.global("omidNative"), "witness", witness,
                                    [](Witness& w, const platform::ScriptContext::Arguments& a) {
                                      w.heard.push_back(a.empty() ? "" : a[0].toString());
                                      return platform::ScriptValue();
                                    });
  });
  inject(*executor,
         "omidNative.setTimeout(function () { omidNative.witness('timer'); }, 50);"
         "omidNative.downloadJavaScriptResource('http://127.0.0.1:9/r.js',"
         "  function () { omidNative.witness('downloaded'); }, function () { omidNative.witness('failed'); });");
  ASSERT_TRUE(held);
  std::weak_ptr<OMIDQuilbrnLightJSExecutor> watch = executor;
  executor.reset();
  EXPECT_TRUE(watch.expired());
  platform::DataTaskResult answer;
  answer.response = platform::HTTPURLResponse{200, "http://127.0.0.1:9/r.js", {}};
  answer.body = "var late;";
  platform::mainQueue()->async([&] { held(answer); });
  env.runUntilIdle();
  env.advance(100);
  EXPECT_TRUE(witness->heard.empty());
  EXPECT_EQ(env.delayedCount(), 0u);
}

}  // namespace
}  // namespace measurementtest
