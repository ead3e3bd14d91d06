#pragma once
// The engine section of the platform: what every script run in
// JavaScriptCore needs, whoever hosts it (a web view's page, a script context
// of its own, platform/script/script_context.h): the engine's one-time set-up, the guard of each entry into a
// context group's scripts (time limit, memory bound, a stop asked from
// another thread), and the accounting of what scripts hand to a host that
// delivers it later. Nothing here knows pages, documents or web views.
//
// This header includes JavaScriptCore: include it only in sources of the
// script layer.
#include <JavaScriptCore/JavaScript.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <type_traits>

#include "platform/json.h"
#include "platform/script/engine_testing.h"
#include "platform/script/processor_budget.h"

namespace platform::engine {

// Sets the engine's process-wide options: before the first context group of
// the process (the engine freezes them then). Polling traps, and no
// WebAssembly (engine.cc).
void configureEngineOnce();

// Bytes of the process's resident memory now (0 when it cannot be read).
size_t residentBytes();
// Pages the calling thread has touched for the first time (its minor faults).
uint64_t threadFirstTouches();
// Both at once (one system call): the calling thread's processor time in
// milliseconds, and its first touches.
struct ThreadUsage {
  double processorMs = 0;
  uint64_t firstTouches = 0;
};
ThreadUsage threadUsage();

// Why the engine stopped a script.
enum class StopReason {
  None,
  TimeLimit,     // one entry ran longer than its time limit
  MemoryLimit,   // the process's memory grew past the bound while the scripts ran
  PendingLimit,  // what the scripts handed over waits past its bound (DeliveryBudget)
  WorkLimit,     // what the scripts asked the host to do at once passes its bound (markup to parse)
  Interrupted,   // the host asked it to stop (interrupt)
};
const char* stopReasonName(StopReason reason);

struct EntryLimits {
  // Longest run (see EntryGuard) in milliseconds of the running thread's
  // processor time (the engine's own measure: a thread that a busy machine
  // holds back is not stopped early).
  double timeLimitMs = 2000;
  // Bound of the memory the scripts make the process hold (see EntryGuard).
  size_t memoryLimitBytes = size_t{512} << 20;
};

// How often the engine asks the guard while a script runs (milliseconds of
// the running thread's processor time), before and after a stop alike: a stop
// that a native call swallowed (a nested call into the scripts answers it as
// an ordinary exception) is thrown again at the next check. The period never
// changes while a group lives: the engine's timer that asks is armed again
// only from inside its own check, so each group has one timer at a time
// (engine.cc says why that matters).
inline constexpr double kEngineCheckPeriodMs = 10;

// Watches every entry into one context group's scripts. Made with the group,
// on the thread that runs it; begin/end around each entry on that thread, and
// the entry's calls into the engine made through run().
//
// A run is what the host does in the group's scripts for one task of its
// queue: one entry, or the entries between beginRun and endRun (a document's
// script elements and what they write, its events, ...). Its time is the
// processor time the running thread spends from the start of the run, in the
// scripts, in the promise jobs they queue, in the engine's native calls (a
// regular expression, a sort) and in the host's own work between the entries.
// The guard stops the scripts (an exception the script cannot catch) when:
//  * the run passes the time limit: at the engine's next check while a script
//    runs (every kEngineCheckPeriodMs; a native call the engine cannot
//    interrupt is stopped as soon as it returns), at the end of an entry, or
//    at the start of the run's next entry;
//  * the memory the group's scripts hold passes the bound. The engine tells
//    no group's heap size cheaply (its statistics walk the whole heap), so the
//    guard counts what the scripts make the process hold: the memory the
//    running thread touches for the first time during each entry (its minor
//    faults; a long entry, from its first check on, by the growth of the
//    process's resident memory instead, so memory it lets go and takes again
//    counts once), added up, less what the process gave back since the
//    group's last entry that touched new memory. An entry that
//    allocates without end is stopped within one period of passing the bound;
//    a page whose entries each keep a little is stopped at the end of the
//    entry that passes it. An entry that touches no new memory costs two
//    reads of the thread's fault count and nothing more. Memory the host
//    makes for the scripts between entries counts too (chargeHostBytes);
//  * a stop was requested (requestStop, from the running thread: a bound of
//    the host), or the group was interrupted (interrupt, any thread).
// Once stopped, the reason stays; every later entry is refused (begin answers
// false), the engine stops what still runs at each of its checks, and the
// promise jobs left are dropped.
//
// The host makes every call that can run the scripts' code between begin and
// end. Script that still runs outside them (the host's own set-up scripts, or
// code the engine runs on its own) is bounded by time only: from the engine's
// first check outside an entry (the script has run one period by then) the
// guard counts the running thread's processor time, and ends such script at
// the time limit (the call answers as for an exception; the group is not
// stopped). The count goes on until the host's next entry starts or ends,
// whatever the gaps between the engine's checks (a busy machine holds the
// engine's timer thread back, so checks come late): script outside entries
// between two of the host's entries counts as one stretch.
class EntryGuard {
 public:
  EntryGuard(JSContextGroupRef group, EntryLimits limits);
  ~EntryGuard() = default;
  EntryGuard(const EntryGuard&) = delete;
  EntryGuard& operator=(const EntryGuard&) = delete;

  // Open and close a run (they nest; the outermost pair counts).
  void beginRun();
  void endRun();

  // Before an entry: false (do not enter) once stopped, or when the run under
  // way has passed its time limit already (it is then stopped for it).
  bool begin();
  // After it: the reason the scripts were stopped, None when they may go on.
  StopReason end();

  // Makes the calls of one entry into the group's scripts (`work`: evaluate a
  // script, call a function) as one entry of the engine, and runs the promise
  // jobs they queue inside that entry before returning: the engine counts a
  // promise job that runs on its own as an entry of its own and never asks
  // about a short one, so a chain of jobs without end would run unchecked.
  // Between begin() and end(), on the running thread; a use nested in
  // another (a native function's call into the scripts) runs `work` as it
  // is, inside the outer one.
  template <class F>
  void run(JSContextRef ctx, F&& work) {
    runEntry(ctx, [](void* w) { (*static_cast<std::remove_reference_t<F>*>(w))(); }, &work);
  }

  // Any thread: stop the running entry at the engine's next check, and every
  // later one.
  void interrupt();
  // The running thread: stop for `reason` at the engine's next check (a host
  // bound passed inside a native call). The first reason stays.
  void requestStop(StopReason reason);
  // The running thread, between entries: stopped for `reason` now (a host
  // bound passed by what the entries did together). The first reason stays.
  void stopBetweenEntries(StopReason reason);

  // The reason the scripts were stopped, None while they may run.
  StopReason stopReason() const { return stopped_.load(); }
  bool isStopped() const { return stopReason() != StopReason::None; }
  const EntryLimits& limits() const { return limits_; }
  // What the guard counts as held by the scripts now (see above).
  size_t heldBytes() const { return held_; }

  // Memory the host makes for the scripts outside their entries (a fetch's
  // answer, a download handed to a callback), which no entry's first touches
  // see. Call it on the running thread before making the value, with the
  // bytes the engine's copy will take (hostTextBytes); inside an entry it
  // does nothing (the entry's first touches count what the host makes
  // there). The bytes are a cap, not a count: at the end of the next entry
  // the process's growth since the sample before counts as held up to the
  // entry's own touches and these bytes together. A text the scripts keep
  // therefore counts as memory they make themselves does, and stops them at
  // the end of the entry that passes the bound (by at most the one value);
  // a text they drop takes the memory of the ones dropped before (or gives
  // it back) and counts for nothing; and the growth is counted once. When
  // the value could pass the bound, the group's collector runs first
  // (engine.cc says why).
  void chargeHostBytes(JSContextRef ctx, size_t bytes);

 private:
  struct EntryCall;
  static bool shouldTerminate(JSContextRef ctx, void* guard);
  static JSValueRef callEntry(JSContextRef ctx, JSObjectRef function, JSObjectRef, size_t, const JSValueRef[],
                              JSValueRef*);
  void runEntry(JSContextRef ctx, void (*work)(void*), void* data);
  void runJobs(JSContextRef ctx);
  // Stops for what passed (a request, the time limit, the memory bound);
  // true when stopped.
  bool check();
  void arm(double periodMs);
  double periodMs() const;
  // The run under way has passed the time limit. Reads the thread's processor
  // time (unless given, `processorMs` >= 0) only once the run has lasted the
  // limit in real time (it cannot have used more processor time than that),
  // so most entries read no clock but the cheap monotonic one.
  bool pastTimeLimit(double processorMs = -1) const;
  void startRun(double processorMs);
  // Bytes this entry touched for the first time so far.
  size_t entryGrowth(size_t residentNow) const;
  void stop(StopReason reason);

  JSContextGroupRef group_;
  EntryLimits limits_;
  std::atomic<StopReason> stopped_{StopReason::None};
  std::atomic<StopReason> requested_{StopReason::None};
  bool running_ = false;
  bool inEntry_ = false;             // run() is making an entry's calls
  bool inCheck_ = false;             // the engine's check is asking
  int runDepth_ = 0;                 // open beginRun calls
  double runStartMs_ = 0;            // processor time at the start of the run under way
  double runStartWallMs_ = 0;        // steady clock at the start of the run under way
  double strayStartMs_ = -1;         // processor time at the start of script outside entries (-1: none)
  uint64_t entryStartTouches_ = 0;
  size_t entryBaseline_ = 0;         // resident memory at the entry's first check (0: none yet)
  uint64_t baselineTouches_ = 0;     // the thread's first touches then
  size_t lastSample_ = 0;            // resident memory at the last sample (an entry's end, or the first charge)
  size_t held_ = 0;
  size_t hostBytes_ = 0;             // charged by the host since the last sample (chargeHostBytes)
};

// What the engine's copy of UTF-8 text takes at most: two bytes a UTF-16
// unit, at most one unit a byte (exactly that for ASCII).
inline size_t hostTextBytes(size_t utf8Bytes) { return 2 * utf8Bytes; }

// What scripts handed to the host and the host has not delivered yet: a count
// and the bytes the waiting items really take. Any thread.
class DeliveryBudget {
 public:
  DeliveryBudget(size_t maxCount, size_t maxBytes) : maxCount_(maxCount), maxBytes_(maxBytes) {}
  // Counts one more item of `bytes`; false (nothing counted) when it would
  // pass either bound.
  bool tryAdd(size_t bytes);
  // One item of `bytes` was delivered (or dropped).
  void remove(size_t bytes);
  size_t count() const;
  size_t bytes() const;
  size_t maxCount() const { return maxCount_; }
  size_t maxBytes() const { return maxBytes_; }

 private:
  const size_t maxCount_;
  const size_t maxBytes_;
  mutable std::mutex m_;
  size_t count_ = 0;
  size_t bytes_ = 0;
};

// An estimate of the heap memory a JSON value holds: its nodes, strings and
// containers as the JSON library lays them out.
size_t jsonFootprintBytes(const Json& value);

}  // namespace platform::engine
