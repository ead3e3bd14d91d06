#pragma once
// What lets a parse of gumbo's (html.cc) be ended from outside gumbo: a
// signal the parsing thread gets every so much of its processor time while
// a parse runs, where gumbo's own code lies (a signal that lands there may
// leave it: gumbo takes no lock and keeps nothing but the parse's
// allocations), and gumbo's calls to the C library's assertion routine,
// bound to one of the web view's. Internal to the web view.
#include <signal.h>
#include <time.h>

#include <cstdint>

namespace platform::web_internal {

// The real-time signal of the parse ticks, chosen once (the highest one with
// no handler yet) and given `handler`; 0 when none could be had. Later calls
// answer the same signal and install nothing.
int installParseSignal(void (*handler)(int, siginfo_t*, void*));

// Whether the parse signal still has the handler installParseSignal gave it
// (an application may have put its own there since).
bool parseSignalIsOurs();

// A timer of the calling thread's processor time that raises the parse
// signal on that thread every `periodMs` of it, from its construction to its
// destruction; not armed when `periodMs` is 0, when there is no parse signal
// or when the system has no timer to give. A tick may still come shortly after the destruction.
class ParseTicker {
 public:
  explicit ParseTicker(double periodMs);
  ~ParseTicker();
  ParseTicker(const ParseTicker&) = delete;
  ParseTicker& operator=(const ParseTicker&) = delete;
  bool armed() const { return armed_; }

 private:
  timer_t timer_{};
  bool armed_ = false;
  bool unblocked_ = false;  // the signal was blocked on this thread and is unblocked while it ticks
};

// The address a signal interrupted (its context, as a handler gets it).
uintptr_t interruptedAddress(const void* context);

// Whether `address` lies in gumbo's own machine code (its library's
// executable segments). Always false when gumbo is not a library of its own
// (linked into the program, the program's code is not all gumbo's).
bool inParserCode(uintptr_t address);

// The C library's assertion routine, as gumbo calls it.
using AssertionRoutine = void (*)(const char* assertion, const char* file, unsigned int line, const char* function);

// Binds gumbo's calls of the C library's assertion routine to `routine`
// (in gumbo's own relocation table: nothing else in the process is bound to
// it) and answers the routine they were bound to, or null when gumbo's
// table has no such call or cannot be changed. Once: later calls change
// nothing and answer the same.
AssertionRoutine redirectParserAssertions(AssertionRoutine routine);

}  // namespace platform::web_internal
