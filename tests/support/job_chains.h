#pragma once
// Chains of promise jobs for tests of the script engine's bounds. A chain
// without end that no bound stops runs for ever: the engine asks the guard
// only about an entry that ran a whole check period, and a chain whose jobs
// run on their own is a row of short entries. A test of the bound would then
// hang until ctest kills it. These chains end by themselves instead, after
// kJobChainTurns turns: 0.8 to 1.4 s of processor time inside a guarded entry
// in the normal build (some 10 million `await` turns and 6 million `then`
// turns a second there), more in the sanitizer builds, where each turn costs
// more; some 4 s where no bound checks them (each job then an entry of the
// engine's own). A count, not a time, so the margin over the time limits of
// the tests that use them (a tenth of a second at most, of processor time
// too) holds whatever the machine's load. At its end a chain runs `atEnd`,
// the test's witness that nothing stopped it: a bound that fails makes its
// test fail within seconds.
#include <string>

namespace qbtest {

inline constexpr long kJobChainTurns = 8'000'000;

// Each `then` job queues the next one.
inline std::string thenChain(const std::string& atEnd) {
  return "(function () { var turns = 0; (function f() { if (++turns < " + std::to_string(kJobChainTurns) +
         ") Promise.resolve().then(f); else { " + atEnd + " } })(); })();";
}

// An async function that awaits in a loop: each turn a job.
inline std::string awaitLoop(const std::string& atEnd) {
  return "(async function () { for (var turns = 0; turns < " + std::to_string(kJobChainTurns) +
         "; turns++) await 0; " + atEnd + " })();";
}

}  // namespace qbtest
