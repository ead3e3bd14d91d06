// What a script context's scripts may make the host do, on the test clock
// with the requests held by the test: the network answers share the timers'
// processor-time budget (a chain of requests whose callbacks cost nothing is
// stopped by the per-task and per-request charges), the requests in flight
// are bounded, and the log lines of a context are rate-limited as a whole.
#include <algorithm>
#include <cmath>
#include <deque>

#include "measurement/executor/OMIDQuilbrnJSExecutorFactory.h"
#include "measurement/executor/OMIDQuilbrnLoadTask.h"
#include "measurement/session/OMIDQuilbrnAdSessionContext.h"
#include "measurement_support.h"
#include "platform/script/processor_budget.h"

namespace measurementtest {
namespace {

using platform::Json;

// The processor clock the budget reads: frozen unless a script spends on it
// (omidNative.spend(ms)), so a test counts the charges exactly.
double& limitsProcessorMs() {
  static double ms = 0;
  return ms;
}
double limitsProcessorClock() { return limitsProcessorMs(); }

// Every request of the executors is held until the test answers it.
class HeldRequests {
 public:
  HeldRequests() {
    OMIDQuilbrnLoadTask::setTransportForTesting(
        [this](platform::URLRequest request, platform::QueueRef queue, platform::DataTaskCompletion completion) {
          held_.push_back({std::move(request), std::move(queue), std::move(completion)});
          ++sent_;
        });
  }
  ~HeldRequests() { OMIDQuilbrnLoadTask::setTransportForTesting(nullptr); }

  size_t held() const { return held_.size(); }
  size_t sent() const { return sent_; }
  // Answers the oldest request with a 200 and `body` (on its queue, as the
  // URL session does); false when none is held.
  bool answerOldest(const std::string& body = "") {
    if (held_.empty()) return false;
    Held next = std::move(held_.front());
    held_.pop_front();
    platform::DataTaskResult answer;
    answer.response = platform::HTTPURLResponse{200, next.request.url, {}};
    answer.body = body;
    next.queue->async([completion = std::move(next.completion), answer] { completion(answer); });
    return true;
  }

 private:
  struct Held {
    platform::URLRequest request;
    platform::QueueRef queue;
    platform::DataTaskCompletion completion;
  };
  std::deque<Held> held_;
  size_t sent_ = 0;
};

class ScriptLimitsTest : public MeasurementTest {
 protected:
  ScriptLimitsTest() {
    limitsProcessorMs() = 0;
    platform::setThreadProcessorClockForTesting(&limitsProcessorClock);
  }
  ~ScriptLimitsTest() override {
    platform::setThreadProcessorClockForTesting(nullptr);
    OMIDQuilbrnLightJSExecutor::setScriptContextOptionsForTesting(std::nullopt);
  }

  // An executor whose scripts may spend processor time: omidNative.spend(ms).
  std::shared_ptr<OMIDQuilbrnLightJSExecutor> makeExecutor(const std::string& script,
                                                           const OMIDQuilbrnInjectedResources& resources = {}) {
    auto executor = OMIDQuilbrnJSExecutorFactory::JSExecutorWithResources(resources, std::nullopt);
    env.runUntilIdle();
    executor->dispatchQueue()->sync([&] {
      auto& context = *executor->jsEnvironment().scriptContext;
      context.defineFunction(context.global("omidNative"), "spend", [](const platform::ScriptContext::Arguments& a) {
        limitsProcessorMs() += a.empty() ? 0 : a[0].toNumber();
        return platform::ScriptValue();
      });
    });
    executor->injectJavaScriptFromString(script);
    env.runUntilIdle();
    return executor;
  }
  Json json(OMIDQuilbrnLightJSExecutor& executor, const std::string& expression) {
    Json out;
    executor.dispatchQueue()->sync([&] { out = scriptJson(*executor.jsEnvironment().scriptContext, expression); });
    return out;
  }
  bool tornDown(OMIDQuilbrnLightJSExecutor& executor) {
    return executor.jsEnvironment().scriptContext->isTornDown();
  }

  HeldRequests requests;
};

// A chain of requests whose callbacks cost nothing (the processor clock is
// frozen) is still stopped: each answer is a task charged the per-task
// overhead and the transfer's cost, against the budget the timers share (a
// tick spent 600 ms of it first). The answer that overdraws it tears the
// context down, logged once; the answer still held then runs nothing.
class ScriptChainTest : public ScriptLimitsTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(ScriptChainTest, AChainOfRequestsIsStoppedByTheBudgetItSharesWithTheTimers) {
  const std::string call = GetParam();
  auto executor = makeExecutor("var answers = 0;"
                               "function f() { answers++; omidNative." + call + "('http://127.0.0.1:1/x', f, f); }"
                               "omidNative.setTimeout(function () { omidNative.spend(600); }, 0);");
  env.advance(10);
  executor->injectJavaScriptFromString("f()");
  env.runUntilIdle();
  ASSERT_EQ(requests.held(), 1u);

  const double perAnswerMs = platform::ProcessorBudget::kTaskOverheadMs + OMIDQuilbrnJSNetworkBridge::kRequestNetworkCostMs;
  const double leftMs = OMIDQuilbrnLightJSExecutor::kProcessorBudgetMs - 600 - platform::ProcessorBudget::kTaskOverheadMs;
  const size_t expectedAnswers = static_cast<size_t>(std::floor(leftMs / perAnswerMs)) + 1;
  size_t answers = 0;
  while (!tornDown(*executor) && answers < 3 * expectedAnswers && requests.answerOldest()) {
    ++answers;
    env.runUntilIdle();
  }
  ASSERT_TRUE(tornDown(*executor)) << answers << " answers";
  EXPECT_EQ(answers, expectedAnswers);
  EXPECT_EQ(log.countContaining("the timers and network answers of a measurement script kept its queue busy past "
                                "their budget"),
            1u);
  // The request the last callback sent is answered after the teardown.
  ASSERT_EQ(requests.held(), 1u);
  const size_t sent = requests.sent();
  requests.answerOldest();
  env.runUntilIdle();
  EXPECT_EQ(requests.sent(), sent);
  EXPECT_EQ(log.countContaining("measurement command dropped"), 0u);
  EXPECT_EQ(executor->networkBridge()->requestsInFlight(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Calls, ScriptChainTest, ::testing::Values("sendUrl", "downloadJavaScriptResource"));

// A verification script's download is answered as a charged task too: one
// that spends more than the budget tears the context down.
TEST_F(ScriptLimitsTest, AVerificationScriptRunsAsAChargedTask) {
  const auto resource = OMIDQuilbrnVerificationScriptResource::initWithURL("http://127.0.0.1:1/v.js");
  auto executor = makeExecutor("var started = true;", {{"ID-1", resource}});
  ASSERT_EQ(requests.held(), 1u);
  requests.answerOldest("omidNative.spend(1200);");
  env.runUntilIdle();
  EXPECT_TRUE(tornDown(*executor));
  EXPECT_EQ(log.countContaining("past their budget"), 1u);
}

// At most 32 requests of the scripts are out at once, pings and downloads
// together; the others are not sent, and their failure callbacks run later
// (after the script's own run), a download's with code 3. Answered requests
// make room again.
TEST_F(ScriptLimitsTest, RequestsInFlightAreBoundedAndTheRestHearTheirFailureLater) {
  auto executor = makeExecutor("var ok = 0; var failed = [];"
                               "function burst(pings, downloads) {"
                               "  for (var i = 0; i < pings; i++)"
                               "    omidNative.sendUrl('http://127.0.0.1:1/p' + i, function () { ok++; },"
                               "                       function () { failed.push('ping'); });"
                               "  for (var i = 0; i < downloads; i++)"
                               "    omidNative.downloadJavaScriptResource('http://127.0.0.1:1/d' + i,"
                               "        function () { ok++; }, function (code) { failed.push(code); });"
                               "  return failed.length; }");
  static_assert(OMIDQuilbrnJSNetworkBridge::kMaxRequestsInFlight == 32);
  EXPECT_EQ(json(*executor, "burst(40, 60)"), 0);  // nothing fails inside the script's run
  EXPECT_EQ(requests.held(), 32u);
  EXPECT_EQ(executor->networkBridge()->requestsInFlight(), 32u);
  env.runUntilIdle();
  const Json failed = json(*executor, "failed");
  ASSERT_EQ(failed.size(), 68u);
  EXPECT_EQ(std::count(failed.begin(), failed.end(), Json("ping")), 8);
  EXPECT_EQ(std::count(failed.begin(), failed.end(), Json(3)), 60);
  EXPECT_EQ(log.countContaining("more than 32 requests in flight; further ones are not sent"), 1u);

  while (requests.answerOldest()) env.runUntilIdle();
  EXPECT_EQ(json(*executor, "ok"), 32);
  EXPECT_EQ(executor->networkBridge()->requestsInFlight(), 0u);
  EXPECT_EQ(json(*executor, "burst(10, 0)"), 68);
  EXPECT_EQ(requests.held(), 10u);
  EXPECT_FALSE(tornDown(*executor));
}

// An interval that throws on every tick for 10 s of the clock writes about
// ten lines a second, the last ones saying how many were held back; the line
// of the context's teardown is written even then, with its count.
TEST_F(ScriptLimitsTest, TheLogLinesOfAContextAreRateLimitedAsAWhole) {
  OMIDQuilbrnLightJSExecutor::setScriptContextOptionsForTesting(
      platform::ScriptContextOptions{.timeLimitMs = 50, .stopsBeforeTeardown = 1});
  auto executor = makeExecutor("var n = 0; omidNative.setInterval(function () { throw new Error('tick ' + n++); }, 0);");
  env.advance(10'000);
  EXPECT_EQ(json(*executor, "n"), 1000);
  const auto errors = log.linesWith("measurement script error: Error: tick");
  EXPECT_GE(errors.size(), 100u);
  EXPECT_LE(errors.size(), 111u);
  EXPECT_NE(errors.back().find("more lines held back before this one)"), std::string::npos) << errors.back();

  executor->injectJavaScriptFromString("for (;;) {}");
  env.runUntilIdle();
  const auto teardown = log.linesWith("the measurement script context was torn down");
  ASSERT_EQ(teardown.size(), 1u);
  EXPECT_NE(teardown[0].find("more lines held back before this one)"), std::string::npos) << teardown[0];
}

}  // namespace
}  // namespace measurementtest
