#pragma once
// Test hooks of the script engine's guard (platform/script/engine.h), without
// the engine's headers.

namespace platform::engine {

// Called with every period a guard arms the engine's timer with, whether the
// group is inside an entry (the engine may have a timer pending then), and
// whether the engine's own check is what arms it. nullptr: none.
using TimerArmObserver = void (*)(double periodMs, bool insideEntry, bool insideCheck);
void setTimerArmObserverForTesting(TimerArmObserver observer);

}  // namespace platform::engine
