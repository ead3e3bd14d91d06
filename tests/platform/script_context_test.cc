// The script context outside web views: the same engine rules as a web
// view's pages (checked side by side with a page), values that outlive the
// collector, native functions that hold their owner weakly, the per-entry time
// limit and the teardown after repeated stops, what the host reads of values
// (conversions, a value called that is no function, exceptions) made as
// entries under the guard, script outside entries ended at the time limit,
// and use from one thread after another in real mode (run under the thread
// sanitizer too).
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <condition_variable>
#include <mutex>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/dispatch.h"
#include "platform/script/processor_budget.h"
#include "platform/script/engine_testing.h"
#include "platform/script/script_context.h"
#include "platform/script/script_literal.h"
#include "platform/test_environment.h"
#include "platform/web/web_view.h"
#include "support/job_chains.h"

using namespace platform;

namespace {

// The outcome's code, 0 when it gave a value.
int outcomeCode(const ScriptOutcome& o) { return o.error ? o.error->code : 0; }

// Defines escaped() in the context's global scope, for the chains of jobs
// (support/job_chains.h) to call at their end, when no bound stopped them.
// Answers the count of such calls.
std::shared_ptr<std::atomic<int>> countEscapes(ScriptContext& context) {
  auto escapes = std::make_shared<std::atomic<int>>(0);
  context.defineFunction(context.globalObject(), "escaped", [escapes](const ScriptContext::Arguments&) {
    ++*escapes;
    return ScriptValue();
  });
  return escapes;
}

// What a page of the web view answers for the script.
ScriptEvaluation evaluateInPage(TestEnvironment& env, WebView& view, const std::string& script) {
  std::optional<ScriptEvaluation> out;
  view.evaluateJavaScript(script, [&](const ScriptEvaluation& r) { out = r; });
  env.runUntilIdle();
  return out.value_or(ScriptEvaluation{});
}

// The same script answers the same in a script context and in a page: value,
// error code, exception text and line, sloppy global `this`.
TEST(ScriptContextConformance, AnswersAsAWebViewPageDoes) {
  TestEnvironment env;
  auto view = std::make_shared<WebView>();
  auto context = ScriptContext::create();
  const std::string scripts[] = {
      "1 + 2",
      "'a' + 'b'",
      "({a: [1, 'x', null], b: {c: false}})",
      "this === globalThis",
      "(function () { return this === globalThis; })()",
      "var declared = 5; globalThis.declared",
      "var y = 1;\nthrow new Error('boom')",
      "\n\nmissing()",
      "null.x",
      "throw 'plain'",
      "JSON.stringify({s: '\\u2028\"\\\\'})",
      "[1, , 3].length",
      "(function () { 'use strict'; return this; })() === undefined",
  };
  for (const auto& script : scripts) {
    SCOPED_TRACE(script);
    const ScriptEvaluation page = evaluateInPage(env, *view, script);
    const ScriptOutcome own = context->evaluate(script);
    ASSERT_EQ(outcomeCode(own), page.error ? page.error->code : 0);
    if (page.error) {
      EXPECT_EQ(own.error->message, page.error->message);
      EXPECT_EQ(own.error->domain, kScriptErrorDomain);
    } else {
      EXPECT_EQ(own.value.toJson().value_or(nullptr), page.value);
    }
    EXPECT_EQ(own.line, page.line);
  }
  // A NUL inside the source is a character for both, not its end.
  const std::string withNul("'a\0b'.length", 12);
  EXPECT_EQ(evaluateInPage(env, *view, withNul).value, 3);
  EXPECT_EQ(context->evaluate(withNul).value.toNumber(), 3);
  // Where a page answers "no JSON form", the context hands the value itself.
  const ScriptOutcome function = context->evaluate("(function (a, b) { return a + b; })");
  ASSERT_TRUE(function.ok());
  EXPECT_TRUE(function.value.isFunction());
  EXPECT_FALSE(function.value.toJson().has_value());
  const ScriptOutcome sum = context->call(function.value, {context->makeNumber(2), context->makeJson("x")});
  EXPECT_EQ(sum.value.toString(), "2x");
  EXPECT_TRUE(context->evaluate("undefined").value.isUndefined());
}

TEST(ScriptContext, ExceptionsAreContainedWithTheirSourceAndLine) {
  auto context = ScriptContext::create();
  const ScriptOutcome thrown = context->evaluate("var a = 1;\n\nthrow new TypeError('no')", "verification.js");
  EXPECT_EQ(outcomeCode(thrown), ScriptErrorCode::JavaScriptException);
  EXPECT_EQ(thrown.error->message, "TypeError: no");
  EXPECT_EQ(thrown.line, 3);
  EXPECT_EQ(thrown.description, "TypeError: no (verification.js:3)");
  // The context goes on; what ran before the throw stays.
  EXPECT_EQ(context->evaluate("a").value.toNumber(), 1);
  const ScriptOutcome syntax = context->evaluate("function (");
  EXPECT_EQ(outcomeCode(syntax), ScriptErrorCode::JavaScriptException);
  EXPECT_NE(syntax.error->message.find("SyntaxError"), std::string::npos);
  // Calling what is no function answers as the engine would, without running.
  const ScriptOutcome notFunction = context->call(context->makeNumber(3));
  EXPECT_EQ(outcomeCode(notFunction), ScriptErrorCode::JavaScriptException);
  EXPECT_EQ(notFunction.error->message, "TypeError: 3 is not a function");
  const ScriptOutcome throwing = context->call(context->evaluate("(function () { throw new Error('in call'); })").value);
  EXPECT_EQ(throwing.error->message, "Error: in call");
}

TEST(ScriptContext, TextKeepsEveryCharacterNulAndAstralIncluded) {
  auto context = ScriptContext::create();
  const std::string text = std::string("a\0b", 3) + "\xF0\x9F\x98\x80" + "\xE2\x80\xA8" + "'\"\\\n\r";
  const ScriptValue value = context->makeJson(text);
  EXPECT_EQ(value.toString(), text);
  const ScriptOutcome length = context->call(context->evaluate("(function (s) { return s.length; })").value, {value});
  EXPECT_EQ(length.value.toNumber(), 3 + 2 + 1 + 5);
  // Source text with a NUL inside a string literal is evaluated whole.
  const ScriptOutcome literal = context->evaluate(std::string("'x\0y'.length + 1", 16));
  EXPECT_EQ(literal.value.toNumber(), 4);
  // Bytes that are no UTF-8 become U+FFFD.
  EXPECT_EQ(context->makeJson("\xFF" "a").toString(), "\xEF\xBF\xBD" "a");
}

TEST(ScriptContext, ValuesConvertBothWays) {
  auto context = ScriptContext::create();
  const Json json = Json::parse(R"({"n": 1.5, "s": "t", "l": [true, null], "o": {"k": "v"}})");
  const ScriptValue object = context->makeJson(json);
  EXPECT_TRUE(object.isObject());
  EXPECT_EQ(object.toJson(), json);
  EXPECT_EQ(object.property("s").toString(), "t");
  EXPECT_TRUE(object.property("missing").isUndefined());
  EXPECT_TRUE(context->makeNull().isNull());
  EXPECT_TRUE(context->makeBoolean(true).toBoolean());
  EXPECT_TRUE(std::isnan(context->makeJson("x").toNumber()));
  EXPECT_TRUE(ScriptValue().isUndefined());
  EXPECT_EQ(ScriptValue().toString(), "");
  // A getter that throws reads as undefined.
  const ScriptValue trap = context->evaluate("({get bad() { throw 1; }})").value;
  EXPECT_TRUE(trap.property("bad").isUndefined());
}

// A value kept by native code survives the collector after the script let go
// of it; a native function answers while its owner lives, then does nothing.
TEST(ScriptContext, KeptValuesSurviveTheCollectorAndFunctionsHoldTheirOwnerWeakly) {
  auto context = ScriptContext::create();
  struct Owner {
    std::vector<std::string> heard;
  };
  auto owner = std::make_shared<Owner>();
  const ScriptValue host = context->makeObject();
  ASSERT_TRUE(context->defineFunction<Owner>(host, "record", owner,
                                             [&](Owner& o, const ScriptContext::Arguments& arguments) {
                                               for (const auto& a : arguments) o.heard.push_back(a.toString());
                                               return context->makeNumber(static_cast<double>(o.heard.size()));
                                             }));
  EXPECT_FALSE(context->defineFunction(context->makeNumber(1), "x", [](const ScriptContext::Arguments&) {
    return ScriptValue();
  }));
  context->call(context->evaluate("(function (h) { globalThis.host = h; })").value, {host});
  EXPECT_EQ(context->evaluate("typeof host.record").value.toString(), "function");
  EXPECT_EQ(context->evaluate("host.record('a', 2, {})").value.toNumber(), 3);
  EXPECT_EQ(owner->heard, (std::vector<std::string>{"a", "2", "[object Object]"}));

  const ScriptValue kept = context->evaluate("globalThis.cb = function (x) { return 'kept ' + x; }; cb").value;
  context->evaluate("delete globalThis.cb; var junk = []; for (var i = 0; i < 20000; i++) junk.push({i: i}); junk = null;");
  context->collectGarbageForTesting();
  EXPECT_EQ(context->call(kept, {context->makeJson("yes")}).value.toString(), "kept yes");

  std::weak_ptr<Owner> gone = owner;
  owner.reset();
  EXPECT_TRUE(gone.expired());
  EXPECT_TRUE(context->evaluate("host.record('late')").value.isUndefined());
}

// An entry that runs past the limit is stopped where the script cannot catch
// it; the context goes on until the stops reach the teardown count.
TEST(ScriptContext, TimeLimitStopsEachEntryAndRepeatedStopsTearTheContextDown) {
  auto context = ScriptContext::create({.timeLimitMs = 50, .stopsBeforeTeardown = 3});
  const ScriptValue loop = context->evaluate("(function () { for (;;) {} })").value;
  const ScriptOutcome first = context->evaluate("var caught = false; try { for (;;) {} } catch (e) { caught = true; }");
  EXPECT_EQ(outcomeCode(first), ScriptErrorCode::ScriptTimeLimit);
  EXPECT_EQ(first.error->message, "the script ran past the time limit of 50 ms");
  EXPECT_FALSE(context->evaluate("caught").value.toBoolean());
  EXPECT_EQ(context->timeLimitStops(), 1);
  EXPECT_EQ(outcomeCode(context->call(loop)), ScriptErrorCode::ScriptTimeLimit);
  EXPECT_EQ(context->evaluate("40 + 2").value.toNumber(), 42);
  EXPECT_FALSE(context->isTornDown());

  // A stop inside a native function's nested entry counts once, at the top.
  const ScriptValue host = context->makeObject();
  context->defineFunction(host, "nested", [&](const ScriptContext::Arguments&) {
    EXPECT_EQ(outcomeCode(context->evaluate("for (;;) {}")), ScriptErrorCode::ScriptTimeLimit);
    return ScriptValue();
  });
  EXPECT_EQ(outcomeCode(context->call(host.property("nested"))), ScriptErrorCode::ScriptTimeLimit);
  EXPECT_EQ(context->timeLimitStops(), 3);
  EXPECT_TRUE(context->isTornDown());
  EXPECT_EQ(outcomeCode(context->evaluate("1")), ScriptErrorCode::ContextTornDown);
  EXPECT_EQ(outcomeCode(context->call(loop)), ScriptErrorCode::ContextTornDown);
  EXPECT_TRUE(loop.isUndefined());  // inert
  EXPECT_TRUE(context->global("Math").isUndefined());
  EXPECT_FALSE(context->defineFunction(host, "f", [](const ScriptContext::Arguments&) { return ScriptValue(); }));
}

// Work the engine splits into short pieces still counts as one run: promise
// jobs queued by the entry (each of them an entry of its own to the engine),
// and the engine's native calls between its checks. Each is stopped at the
// time limit with the time-limit error, and the jobs left are dropped. (Run
// after the entry, the jobs would go unchecked; the chains here end by
// themselves some seconds later and say so, support/job_chains.h.)
TEST(ScriptContext, TimeLimitCountsPromiseJobsAndNativeCalls) {
  struct Case {
    const char* label;
    std::string script;
  };
  const std::string most = std::to_string(qbtest::kJobChainTurns);
  const std::string awaits = "(async function () { while (turns < " + most + ") { await 0; turns++; } escaped(); })();";
  const Case cases[] = {
      {"await loop", "var turns = 0; " + awaits + " 1"},
      {"promise chain",
       "var turns = 0; function f() { if (++turns < " + most + ") Promise.resolve().then(f); else escaped(); } f(); 1"},
      {"chain after a loop", "var turns = 0; " + awaits + " for (;;) {}"},
      {"backtracking", "var turns = 0; for (;;) { /(a+)+b/.test('a'.repeat(25)); turns++; }"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    auto context = ScriptContext::create({.timeLimitMs = 100, .stopsBeforeTeardown = 3});
    const auto escapes = countEscapes(*context);
    const ScriptOutcome out = context->evaluate(c.script);
    EXPECT_EQ(outcomeCode(out), ScriptErrorCode::ScriptTimeLimit);
    ASSERT_EQ(escapes->load(), 0);
    // Nothing of the stopped run goes on in the next entries.
    const double turns = context->evaluate("turns").value.toNumber();
    EXPECT_EQ(context->evaluate("turns").value.toNumber(), turns);
    EXPECT_FALSE(context->isTornDown());
  }
  // Promise jobs that end run to their end, inside the entry that queued them.
  auto context = ScriptContext::create({.timeLimitMs = 100});
  EXPECT_TRUE(context->evaluate("var done = 0; (async function () { for (var i = 0; i < 1000; i++) await 0; done = i; })(); 1").ok());
  EXPECT_EQ(context->evaluate("done").value.toNumber(), 1000);
}

// Counts the stops the engine's checks make (engine_testing.h): inside the
// guard's entry (its promise jobs included), between begin and end but
// outside the entry's calls, and in script outside the host's entries.
class CheckStops {
 public:
  CheckStops() {
    insideEntry() = betweenCalls() = outsideEntries() = 0;
    engine::setCheckStopObserverForTesting([](bool inside, bool outside) {
      ++(outside ? outsideEntries() : inside ? insideEntry() : betweenCalls());
    });
  }
  ~CheckStops() { engine::setCheckStopObserverForTesting(nullptr); }
  CheckStops(const CheckStops&) = delete;
  CheckStops& operator=(const CheckStops&) = delete;

  static std::atomic<int>& insideEntry() {
    static std::atomic<int> n{0};
    return n;
  }
  static std::atomic<int>& betweenCalls() {
    static std::atomic<int> n{0};
    return n;
  }
  static std::atomic<int>& outsideEntries() {
    static std::atomic<int> n{0};
    return n;
  }
};

// What the host reads of a value (its text, number, JSON, a property, a
// setter it triggers) may run the script's own code: each read is an entry
// under the guard, its jobs inside it, and its stops are the context's
// stops. A stopped read answers as for none.
TEST(ScriptContext, ScriptRunByAValueConversionIsBounded) {
  CheckStops checks;
  auto context = ScriptContext::create({.timeLimitMs = 100, .stopsBeforeTeardown = 5});
  const auto escapes = countEscapes(*context);
  const std::string chain = qbtest::thenChain("escaped();");
  const ScriptValue value = context->evaluate("({ toString: function () { for (;;) {} } })").value;
  EXPECT_EQ(value.toString(), "");
  EXPECT_EQ(context->timeLimitStops(), 1);
  const ScriptValue text = context->evaluate("({ toString: function () { " + chain + " return 'x'; } })").value;
  EXPECT_EQ(text.toString(), "");
  EXPECT_EQ(context->timeLimitStops(), 2);
  const ScriptValue number = context->evaluate("({ valueOf: function () { " + chain + " return 7; } })").value;
  EXPECT_TRUE(std::isnan(number.toNumber()));
  const ScriptValue json = context->evaluate("({ toJSON: function () { for (;;) {} } })").value;
  EXPECT_FALSE(json.toJson().has_value());
  EXPECT_EQ(context->timeLimitStops(), 4);
  EXPECT_EQ(escapes->load(), 0);
  EXPECT_GT(checks.insideEntry().load(), 0);
  EXPECT_EQ(checks.outsideEntries().load(), 0);
  EXPECT_EQ(checks.betweenCalls().load(), 0);
  // Values that run nothing read as they are, and the context goes on.
  EXPECT_EQ(context->evaluate("40 + 2").value.toNumber(), 42);
  EXPECT_EQ(context->makeJson("plain").toString(), "plain");
  // The fifth stop (a setter that defineFunction meets) tears it down.
  const ScriptValue setter = context->evaluate("({ set f(v) { for (;;) {} } })").value;
  EXPECT_FALSE(context->defineFunction(setter, "f", [](const ScriptContext::Arguments&) { return ScriptValue(); }));
  EXPECT_EQ(context->timeLimitStops(), 5);
  EXPECT_TRUE(context->isTornDown());

  // A getter that allocates without end passes the memory bound: the
  // context is torn down at once.
  auto bounded = ScriptContext::create({.memoryLimitBytes = size_t{64} << 20});
  const ScriptValue holder = bounded->evaluate(
      "({ get big() { var keep = []; for (;;) keep.push(new Array(100000).fill(1.5)); } })").value;
  EXPECT_TRUE(holder.property("big").isUndefined());
  EXPECT_TRUE(bounded->isTornDown());
  EXPECT_EQ(bounded->timeLimitStops(), 0);
}

// A value called that is no function answers as the engine would, with its
// text; that text is read in an entry, so a text that spins, starts a job
// chain or allocates without end answers the stop of its bound, counted as
// the context's.
TEST(ScriptContext, CallingAValueThatIsNoFunctionReadsItsTextInAnEntry) {
  struct Case {
    const char* label;
    std::string toString;
    int code;
  };
  const Case cases[] = {
      {"spins", "for (;;) {}", ScriptErrorCode::ScriptTimeLimit},
      {"starts a job chain", qbtest::thenChain("escaped();") + " return 'x';", ScriptErrorCode::ScriptTimeLimit},
      {"allocates", "var keep = []; for (;;) keep.push(new Array(100000).fill(1.5));", ScriptErrorCode::ResourceLimit},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    CheckStops checks;
    // A time limit the allocation does not reach first.
    const double limitMs = c.code == ScriptErrorCode::ResourceLimit ? kDefaultScriptTimeLimitMs : 100;
    auto context = ScriptContext::create(
        {.timeLimitMs = limitMs, .memoryLimitBytes = size_t{64} << 20, .stopsBeforeTeardown = 2});
    const auto escapes = countEscapes(*context);
    const ScriptValue hostile = context->evaluate("({ toString: function () { " + c.toString + " } })").value;
    const ScriptOutcome out = context->call(hostile);
    EXPECT_EQ(outcomeCode(out), c.code) << out.description;
    EXPECT_EQ(escapes->load(), 0);
    EXPECT_GT(checks.insideEntry().load(), 0);
    EXPECT_EQ(checks.outsideEntries().load(), 0);
    if (c.code == ScriptErrorCode::ResourceLimit) {
      EXPECT_TRUE(context->isTornDown());
      continue;
    }
    EXPECT_EQ(context->timeLimitStops(), 1);
    EXPECT_EQ(context->evaluate("40 + 2").value.toNumber(), 42);
  }
  auto context = ScriptContext::create();
  const ScriptOutcome plain = context->call(context->evaluate("({ toString: function () { return 'named'; } })").value);
  EXPECT_EQ(plain.error->message, "TypeError: named is not a function");
}

// What the host reads of an exception (its text, line and source) may run
// the script's own code and the jobs that code queues: inside the entry that
// threw, under its time limit. The stop comes from the guard's check inside
// that entry: read after the entry, the jobs would run unchecked (none of
// them runs a whole check period), until the chains here end by themselves
// some seconds later and say so.
TEST(ScriptContext, ExceptionsWhoseGettersStartJobChainsAreStoppedAtTheTimeLimit) {
  const std::string chain = qbtest::thenChain("escaped();");
  const std::string awaits = qbtest::awaitLoop("escaped();");
  const std::string scripts[] = {
      "var e = new Error('x'); Object.defineProperty(e, 'line', {get: function () { " + chain + " return 1; }}); throw e;",
      "var e = new Error('x'); Object.defineProperty(e, 'sourceURL', {get: function () { " + awaits + " return 'u'; }}); throw e;",
      "throw {toString: function () { " + chain + " return 'y'; }};",
  };
  for (const auto& script : scripts) {
    SCOPED_TRACE(script);
    CheckStops checks;
    auto context = ScriptContext::create({.timeLimitMs = 50, .stopsBeforeTeardown = 3});
    const auto escapes = countEscapes(*context);
    EXPECT_EQ(outcomeCode(context->evaluate(script)), ScriptErrorCode::ScriptTimeLimit);
    // A chain that ran to its end: the others would run theirs too.
    ASSERT_EQ(escapes->load(), 0);
    EXPECT_EQ(context->timeLimitStops(), 1);
    EXPECT_GT(checks.insideEntry().load(), 0);
    // A call that throws it.
    const int before = checks.insideEntry().load();
    const ScriptValue thrower = context->evaluate("(function () { " + script + " })").value;
    EXPECT_EQ(outcomeCode(context->call(thrower)), ScriptErrorCode::ScriptTimeLimit);
    ASSERT_EQ(escapes->load(), 0);
    EXPECT_EQ(context->timeLimitStops(), 2);
    EXPECT_GT(checks.insideEntry().load(), before);
    EXPECT_EQ(checks.betweenCalls().load(), 0);
    EXPECT_EQ(checks.outsideEntries().load(), 0);
    EXPECT_EQ(context->evaluate("40 + 2").value.toNumber(), 42);
  }
}

// Script that the host runs outside its entries is ended at the time limit
// of the thread's processor time, however far apart the engine's checks come
// (here each check comes after a native call of 25 ms, as a busy machine
// delays the engine's timer thread): a gap between checks does not start the
// count over. The group is not stopped.
TEST(ScriptContext, ScriptOutsideEntriesIsEndedAtTheTimeLimitWhateverTheGapsBetweenChecks) {
  CheckStops checks;
  auto context = ScriptContext::create({.timeLimitMs = 100});
  context->defineFunction(context->globalObject(), "busy", [](const ScriptContext::Arguments&) {
    const double until = threadProcessorMs() + 25;
    while (threadProcessorMs() < until) {
    }
    return ScriptValue();
  });
  // 120 rounds would take 3 s of processor time.
  const ScriptOutcome out = context->evaluateOutsideEntriesForTesting(
      "var rounds = 0; for (; rounds < 120; rounds++) busy(); 'ran to its end'");
  EXPECT_EQ(outcomeCode(out), ScriptErrorCode::JavaScriptException) << out.value.toString();
  EXPECT_GT(checks.outsideEntries().load(), 0);
  const double rounds = context->evaluate("rounds").value.toNumber();
  EXPECT_GE(rounds, 3);
  EXPECT_LT(rounds, 120);
  EXPECT_EQ(context->timeLimitStops(), 0);
  EXPECT_FALSE(context->isTornDown());
  // The host's next entry starts the count again.
  EXPECT_EQ(context->evaluateOutsideEntriesForTesting("40 + 2").value.toNumber(), 42);
}

TEST(ScriptContext, WebAssemblyIsNotOffered) {
  auto context = ScriptContext::create({.timeLimitMs = 100});
  EXPECT_EQ(context->evaluate("typeof WebAssembly").value.toString(), "undefined");
  const ScriptOutcome out = context->evaluate(
      "var bytes = new Uint8Array([0, 97, 115, 109, 1, 0, 0, 0, 1, 4, 1, 96, 0, 0, 3, 2, 1, 0, 7, 5, 1, 1, 102, 0, 0,"
      " 10, 9, 1, 7, 0, 3, 64, 12, 0, 11, 11]);"
      "new WebAssembly.Instance(new WebAssembly.Module(bytes)).exports.f()");
  EXPECT_EQ(outcomeCode(out), ScriptErrorCode::JavaScriptException);
  EXPECT_EQ(out.error->message, "ReferenceError: Can't find variable: WebAssembly");
}

// Scripts that make the process hold more than the bound are stopped and the
// context is torn down at once, whatever the count of time-limit stops.
TEST(ScriptContext, MemoryBoundStopsTheScriptsAndTearsTheContextDown) {
  auto context = ScriptContext::create({.memoryLimitBytes = size_t{64} << 20, .stopsBeforeTeardown = 3});
  const ScriptOutcome out = context->evaluate("var keep = []; for (;;) keep.push(new Array(100000).fill(1.5));");
  EXPECT_EQ(outcomeCode(out), ScriptErrorCode::ResourceLimit);
  EXPECT_EQ(out.error->message, "the scripts held more than 67108864 bytes of memory");
  EXPECT_TRUE(context->isTornDown());
  EXPECT_EQ(context->timeLimitStops(), 0);
  EXPECT_EQ(outcomeCode(context->evaluate("1")), ScriptErrorCode::ContextTornDown);
}

TEST(ScriptContext, TearDownInsideAnEntryWaitsForItToReturn) {
  auto context = ScriptContext::create();
  const ScriptValue host = context->makeObject();
  context->defineFunction(host, "stop", [&](const ScriptContext::Arguments&) {
    context->tearDown();
    return context->makeJson("still here");
  });
  context->call(context->evaluate("(function (h) { globalThis.h = h; })").value, {host});
  const ScriptOutcome out = context->evaluate("h.stop() + '!'");
  EXPECT_TRUE(out.ok());
  EXPECT_TRUE(context->isTornDown());
  EXPECT_EQ(outcomeCode(context->evaluate("1")), ScriptErrorCode::ContextTornDown);
}

// Many context groups stopped at once from several threads, as a churn of
// pages and measurement scripts stops them: the engine's one timer thread asks
// each group to stop while the group's own thread takes the requests. Each
// group's guard keeps a single timer of the engine armed at a time, so no two
// requests for one group come close together (two did, when a stopped group
// was asked again every millisecond, and the engine aborted the process on
// its own consistency check now and then).
TEST(ScriptContextRealMode, ManyGroupsStoppedAtOnceFromSeveralThreads) {
  const char* const scripts[] = {
      "for (;;) {}",
      "(async function () { for (;;) await 0; })(); 1",
      "(function f() { Promise.resolve().then(f); })(); for (var i = 0; i < 1e9; i++) {}",
      "(function f() { hostCall(f); hostCall(f); })();",
      ("var e = new Error('x'); Object.defineProperty(e, 'line', {get: function () {"
       " (function f() { Promise.resolve().then(f); })(); return 1; }}); throw e;"),
  };
  constexpr int kThreads = 8, kContextsEach = 40;
  std::atomic<int> stops{0}, tornDown{0};
  // While a group runs, its guard arms the engine's timer from inside the
  // engine's check only, and always with the same period: one timer at a time.
  static std::atomic<int> armsWhileRunning, armsOutsideCheck, otherPeriods;
  armsWhileRunning = armsOutsideCheck = otherPeriods = 0;
  engine::setTimerArmObserverForTesting([](double periodMs, bool insideEntry, bool insideCheck) {
    if (!insideEntry) return;
    ++armsWhileRunning;
    if (!insideCheck) ++armsOutsideCheck;
    // Every limit here is shorter than the engine's usual period.
    if (periodMs < 2.0 || periodMs > 5.0) ++otherPeriods;
  });
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < kContextsEach; ++i) {
        std::shared_ptr<ScriptContext> context;
        // The host's set-up is an entry too, under the same limit: with eight
        // threads making groups at once, a fresh group's first entry now and
        // then takes longer than these few milliseconds, and such a context
        // is made again.
        for (int tries = 0; tries < 100 && (!context || context->timeLimitStops() > 0); ++tries) {
          context = ScriptContext::create({.timeLimitMs = 2.0 + (i + t) % 4, .stopsBeforeTeardown = 2});
          // A native call into the script answers a stop as an ordinary
          // exception: the script goes on until the engine asks again.
          context->defineFunction(context->globalObject(), "hostCall",
                                  [&context](const ScriptContext::Arguments& arguments) {
                                    if (!arguments.empty()) context->call(arguments[0]);
                                    return ScriptValue();
                                  });
        }
        if (context->timeLimitStops() > 0) ADD_FAILURE() << "no context set up within 100 tries";
        for (int entry = 0; entry < 2; ++entry) {
          const char* script = scripts[(i + t + entry) % std::size(scripts)];
          const ScriptOutcome out = context->evaluate(script);
          if (outcomeCode(out) == ScriptErrorCode::ScriptTimeLimit) ++stops;
          else ADD_FAILURE() << script << " (entry " << entry << "): " << out.description << " after "
                             << context->timeLimitStops() << " stops";
        }
        if (context->isTornDown()) ++tornDown;
      }
    });
  }
  for (auto& thread : threads) thread.join();
  engine::setTimerArmObserverForTesting(nullptr);
  EXPECT_EQ(stops.load(), kThreads * kContextsEach * 2);
  EXPECT_EQ(tornDown.load(), kThreads * kContextsEach);
  EXPECT_GT(armsWhileRunning.load(), 0);
  EXPECT_EQ(armsOutsideCheck.load(), 0);
  EXPECT_EQ(otherPeriods.load(), 0);
}

// Real mode: one context used by three threads in turn (each waits for its
// turn), each entry also calling back into native code; values made on one
// thread are used and released on the others.
TEST(ScriptContextRealMode, MovesBetweenThreadsOneAtATime) {
  auto context = ScriptContext::create();
  auto counter = std::make_shared<std::atomic<int>>(0);
  const ScriptValue host = context->makeObject();
  context->defineFunction<std::atomic<int>>(host, "bump", counter, [](std::atomic<int>& c, const ScriptContext::Arguments&) {
    ++c;
    return ScriptValue();
  });
  context->call(context->evaluate("(function (h) { globalThis.h = h; globalThis.n = 0; })").value, {host});
  std::optional<ScriptValue> carried;
  constexpr int kThreads = 3, kTurns = 24;
  std::mutex m;
  // One condition variable per thread, and the turn handed on to the next
  // thread alone while the one that hands it on still holds the lock: a
  // thread that is not taking its turn stays inside its wait. The engine's
  // collector stops every thread that used the context with a signal, and
  // the thread sanitizer holds back a signal that reaches a thread outside a
  // blocking call; woken only to find it was not their turn (one shared
  // condition variable), the other threads left the collector waiting for
  // ever in a few runs of a thousand under load.
  std::condition_variable cvs[kThreads];
  int turn = 0;
  std::vector<std::thread> workers;
  for (int t = 0; t < kThreads; ++t) {
    workers.emplace_back([&, t] {
      std::unique_lock lock(m);
      for (;;) {
        cvs[t].wait(lock, [&] { return turn >= kTurns || turn % kThreads == t; });
        if (turn >= kTurns) return;
        lock.unlock();
        carried.reset();  // made on another thread, released on this one
        carried = context->evaluate("n += 1; h.bump(); ({n: n, s: 'x'.repeat(1000)})").value;
        context->evaluate("var garbage = []; for (var k = 0; k < 2000; k++) garbage.push([k]);");
        lock.lock();
        ++turn;
        if (turn >= kTurns) {
          for (auto& cv : cvs) cv.notify_all();
        } else {
          cvs[turn % kThreads].notify_one();
        }
      }
    });
  }
  for (auto& w : workers) w.join();
  EXPECT_EQ(counter->load(), kTurns);
  EXPECT_EQ(carried->property("n").toNumber(), kTurns);
  carried.reset();
}

// Real mode: a serial queue's blocks, which the worker pool runs on whichever
// thread is free, use one context; timers of the same queue interleave.
TEST(ScriptContextRealMode, ServesASerialQueueWhoseBlocksMoveBetweenWorkers) {
  auto queue = createSerialQueue("com.quillborne.test.script-context");
  std::shared_ptr<ScriptContext> context;
  queue->sync([&] { context = ScriptContext::create(); });
  constexpr int kBlocks = 200;
  std::atomic<int> done{0};
  std::vector<std::shared_ptr<Timer>> timers;
  for (int i = 0; i < kBlocks; ++i) {
    auto block = [&, i] {
      const ScriptOutcome out = context->evaluate("var total = (typeof total === 'number' ? total : 0) + " +
                                                  std::to_string(i) + "; total");
      if (out.ok() && ++done == kBlocks) mainQueue()->async([] {});  // wakes the main loop
    };
    if (i % 10 == 0) timers.push_back(Timer::once(queue, 1, block));
    else queue->async(block);
  }
  ASSERT_TRUE(runMainUntil([&] { return done.load() == kBlocks; }, 20'000));
  double total = 0;
  queue->sync([&] {
    total = context->evaluate("total").value.toNumber();
    context.reset();
  });
  EXPECT_EQ(total, kBlocks * (kBlocks - 1) / 2);
}

}  // namespace

namespace {

// Every text written into a script as a literal (the library's one way of
// putting a value into script text) reads back as the same text, in every
// quote style; a text that tries to end its literal and run code only ever
// becomes data. Bytes that start no UTF-8 sequence read back as U+FFFD.
TEST(ScriptLiteralTest, EveryTextReadsBackAsItself) {
  auto context = ScriptContext::create();
  const std::string texts[] = {
      "",
      "plain words",
      "a';this.ran=1;'",
      "b\";this.ran=2;\"",
      "c`;this.ran=3;`",
      "${this.ran=4}",
      "back\\slash\\",
      "line\nfeed\rreturn\r\ntab\t",
      "\xE2\x80\xA8 and \xE2\x80\xA9",
      std::string("nul\0here\x01\x1f", 10),
      "\xC3\xA9 \xF0\x9F\x98\x80",
      "</script><script>this.ran=5</script>",
  };
  for (const char quote : {'\'', '"', '`'}) {
    for (const auto& text : texts) {
      SCOPED_TRACE(std::string(1, quote) + " " + text);
      const std::string literal = scriptStringLiteral(text, quote);
      EXPECT_EQ(literal.front(), quote);
      const auto outcome = context->evaluate("[" + literal + "][0]");
      ASSERT_TRUE(outcome.ok()) << outcome.description << " in " << literal;
      EXPECT_EQ(outcome.value.toString(), text);
    }
  }
  const auto badBytes = context->evaluate(scriptStringLiteral("x\xFF" "y"));
  EXPECT_EQ(badBytes.value.toString(), "x\xEF\xBF\xBDy");
  const Json values[] = {Json("it's"), Json{{"k", "a'\xE2\x80\xA8"}, {"n", 1.5}, {"list", {true, nullptr}}},
                         Json::array({"x", Json::object()}), Json(7), Json(nullptr)};
  for (const auto& value : values) {
    SCOPED_TRACE(value.dump());
    const auto outcome = context->evaluate("[" + scriptLiteral(value) + "][0]");
    ASSERT_TRUE(outcome.ok()) << outcome.description;
    EXPECT_EQ(outcome.value.toJson(), value);
  }
  EXPECT_FALSE(context->evaluate("this.ran").value.toJson().value_or(Json()).is_number());
}

// A key "__proto__" is data, as JSON.parse makes it: an own member at any
// depth, and every object keeps the plain object prototype. Keys and texts
// that only look like it stay as they are.
TEST(ScriptLiteralTest, AProtoKeyIsAnOwnMemberAsJsonParseMakesIt) {
  auto context = ScriptContext::create();
  context->evaluate(
      "function sameValue(a, b) {"
      "  if (a === null || b === null || typeof a !== 'object' || typeof b !== 'object') return Object.is(a, b);"
      "  if (Array.isArray(a) !== Array.isArray(b) || Object.getPrototypeOf(a) !== Object.getPrototypeOf(b))"
      "    return false;"
      "  var ka = Object.getOwnPropertyNames(a), kb = Object.getOwnPropertyNames(b);"
      "  if (ka.length !== kb.length) return false;"
      "  for (var i = 0; i < ka.length; i++) if (ka[i] !== kb[i] || !sameValue(a[ka[i]], b[kb[i]])) return false;"
      "  return true;"
      "}");
  const Json attack = Json::parse(R"({"__proto__":{"isAdmin":true},"x":1})");
  EXPECT_EQ(scriptLiteral(attack), R"({["__proto__"]:{"isAdmin":true},"x":1})");
  const Json values[] = {
      attack,
      Json::parse(R"({"a":{"b":[{"__proto__":{"deep":1}}]},"__proto__":5})"),
      Json::parse(R"([{"__proto__":null},{"__proto__":[1,2]},"__proto__",{"k":"__proto__"}])"),
      Json::parse(R"({"\"__proto__":1,"__proto__ ":2,"__proto__\":":3,"x\\":{"__proto__":"\u2028"}})"),
      Json::parse(R"({"s":"\"__proto__\":{\"p\":1}","__proto__":{"__proto__":{"z":true}}})"),
  };
  for (const auto& value : values) {
    SCOPED_TRACE(value.dump());
    const std::string json = dumpJson(value);
    const auto outcome =
        context->evaluate("sameValue(" + scriptLiteral(value) + ", JSON.parse(" + scriptStringLiteral(json) + "))");
    ASSERT_TRUE(outcome.ok()) << outcome.description << " in " << scriptLiteral(value);
    EXPECT_TRUE(outcome.value.toBoolean()) << scriptLiteral(value);
    EXPECT_EQ(context->evaluate("[" + scriptLiteral(value) + "][0]").value.toJson(), value);
  }
}

}  // namespace
