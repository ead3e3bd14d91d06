#pragma once
// Test hooks of the script engine's guard (platform/script/engine.h), without
// the engine's headers.

namespace platform::engine {

// Called with every period a guard arms the engine's timer with, whether the
// group is inside an entry (the engine may have a timer pending then), and
// whether the engine's own check is what arms it. nullptr: none.
using TimerArmObserver = void (*)(double periodMs, bool insideEntry, bool insideCheck);
void setTimerArmObserverForTesting(TimerArmObserver observer);

// Called each time the engine's check stops a script of any group: whether
// the guard's run() was making an entry's calls then (its promise jobs
// included), and whether the script ran outside the host's entries (outside
// begin/end). nullptr: none.
using CheckStopObserver = void (*)(bool insideEntry, bool outsideEntries);
void setCheckStopObserverForTesting(CheckStopObserver observer);

}  // namespace platform::engine
