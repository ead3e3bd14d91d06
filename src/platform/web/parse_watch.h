#pragma once
// What lets a parse of gumbo's (html.cc) be ended from outside gumbo: a
// signal the parsing thread gets every so much of its processor time while
// a parse runs, where gumbo's own code lies (a signal that lands there may
// leave it: gumbo takes no lock and keeps nothing but the parse's
// allocations), and gumbo's calls of the C library (its assertion routine,
// its string routines) bound to routines of the web view's. Internal to the
// web view.
//
// The signal is the application's to have: the ticks take a real-time signal
// that nobody handles and the parsing thread does not block, never unblock
// one, and move to another when the application puts its own handler on
// theirs.
#include <signal.h>
#include <time.h>

#include <cstdint>

namespace platform::web_internal {

using ParseTickHandler = void (*)(int, siginfo_t*, void*);

// The handler every parse signal gets. Once, before the first ticker.
void setParseTickHandler(ParseTickHandler handler);

// Why a ticker does not tick.
enum class TicksOff {
  None,           // it ticks, or was not asked to
  NoFreeSignal,   // every real-time signal has a handler or is blocked on the thread
  SignalBlocked,  // the parse signal is blocked on this thread
  NoTimer,        // the system gave no timer (`error()` says why)
};

// A one-shot timer of the calling thread's processor time that raises the
// parse signal on that thread `periodMs` of it after its construction; the
// tick's handler sets the next one (rearm). Not armed when `periodMs` is 0
// or `off()` says why. The parse signal is looked at first: when the
// application has put its own handler on it since, another one is taken
// (`movedFrom()` answers the one left). A tick may still come shortly after
// the destruction.
class ParseTicker {
 public:
  explicit ParseTicker(double periodMs);
  ~ParseTicker();
  ParseTicker(const ParseTicker&) = delete;
  ParseTicker& operator=(const ParseTicker&) = delete;

  bool armed() const { return armed_; }
  TicksOff off() const { return off_; }
  int error() const { return error_; }
  // The signal it ticks on (or would have: 0 when there was none).
  int signal() const { return signal_; }
  // The signal the application took from the ticks, when this ticker's
  // construction found it so (0: none).
  int movedFrom() const { return movedFrom_; }
  // The next tick `periodMs` of processor time from now. Async-signal-safe.
  void rearm(double periodMs) const;

 private:
  timer_t timer_{};
  bool armed_ = false;
  TicksOff off_ = TicksOff::None;
  int error_ = 0;
  int signal_ = 0;
  int movedFrom_ = 0;
};

// The address a signal interrupted (its context, as a handler gets it).
uintptr_t interruptedAddress(const void* context);

// Whether `address` lies in gumbo's own machine code (its library's
// executable segments). Always false when gumbo is not a library of its own
// (linked into the program, the program's code is not all gumbo's).
bool inParserCode(uintptr_t address);

// One of gumbo's calls of the C library to bind to a routine of ours.
struct ParserCall {
  const char* name;  // the C library's routine
  void* routine;     // what gumbo's calls of it reach once bound
  bool bound = false;
};
// Binds gumbo's calls of each routine (in gumbo's own relocation table:
// nothing else in the process is bound to them); `bound` says which were.
// Nothing is bound when gumbo is not a library of its own.
void rebindParserCalls(ParserCall* calls, int count);

}  // namespace platform::web_internal
