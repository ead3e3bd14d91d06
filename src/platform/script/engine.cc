#include "platform/script/engine.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <jsc/jsc.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <mutex>
#include <string>
#include <utility>

// Exported by the engine without a public declaration: a limit on how long one
// entry into a context group's scripts may run (seconds of the thread's
// processor time), and the callback asked when it passes (true stops the
// script with an exception it cannot catch). Set again from inside the
// callback, it starts a new period for the entry under way.
extern "C" {
typedef bool (*JSShouldTerminateCallback)(JSContextRef ctx, void* context);
JS_EXPORT void JSContextGroupSetExecutionTimeLimit(JSContextGroupRef group, double limit,
                                                   JSShouldTerminateCallback callback, void* context);
}
// Also exported without a public declaration: a full collection of the
// context's group, its dead cells swept (their memory freed) before it
// returns.
extern "C" JS_EXPORT void JSSynchronousGarbageCollectForDebugging(JSContextRef ctx);

namespace platform::engine {

namespace {
void setEngineOption(const char* name, gboolean value) {
  if (!jsc_options_set_boolean(name, value)) {
    std::fprintf(stderr, "[script engine] the option %s could not be set\n", name);
  }
}
}  // namespace

void configureEngineOnce() {
  static std::once_flag once;
  std::call_once(once, [] {
    // The checks reach a running script through flags the compiled code
    // polls, instead of signals sent to the thread (which the thread
    // sanitizer holds back, and which would interrupt the host's calls).
    setEngineOption("usePollingTraps", TRUE);
    // No WebAssembly: the engine never asks the guard while WebAssembly code
    // runs, so a WebAssembly loop would pass every limit, and neither a
    // teardown nor a stop could end it. Without the option the engine offers
    // no `WebAssembly` global at all, as a platform without it: a script that
    // uses it fails with a ReferenceError.
    setEngineOption("useWasm", FALSE);
  });
}

size_t residentBytes() {
  // Kept open: each read is then one system call.
  static const int fd = open("/proc/self/statm", O_RDONLY | O_CLOEXEC);
  static const long page = sysconf(_SC_PAGESIZE);
  if (fd < 0 || page <= 0) return 0;
  char buffer[128];
  const ssize_t n = pread(fd, buffer, sizeof buffer - 1, 0);
  if (n <= 0) return 0;
  buffer[n] = '\0';
  char* end = nullptr;
  std::strtoull(buffer, &end, 10);  // total size; the resident size follows
  const unsigned long long resident = std::strtoull(end, nullptr, 10);
  return static_cast<size_t>(resident) * static_cast<size_t>(page);
}

ThreadUsage threadUsage() {
  rusage usage{};
  if (getrusage(RUSAGE_THREAD, &usage) != 0) return {};
  const auto ms = [](const timeval& t) { return static_cast<double>(t.tv_sec) * 1000.0 + static_cast<double>(t.tv_usec) / 1000.0; };
  return ThreadUsage{ms(usage.ru_utime) + ms(usage.ru_stime), static_cast<uint64_t>(usage.ru_minflt)};
}

uint64_t threadFirstTouches() {
  rusage usage{};
  if (getrusage(RUSAGE_THREAD, &usage) != 0) return 0;
  return static_cast<uint64_t>(usage.ru_minflt);
}

namespace {
// Real time for the guard's first look (the process's monotonic clock, not
// the platform's: processor time is real too).
double steadyMs() {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

size_t pageBytes() {
  static const size_t bytes = static_cast<size_t>(sysconf(_SC_PAGESIZE) > 0 ? sysconf(_SC_PAGESIZE) : 4096);
  return bytes;
}
}  // namespace

const char* stopReasonName(StopReason reason) {
  switch (reason) {
    case StopReason::None: return "none";
    case StopReason::TimeLimit: return "time limit";
    case StopReason::MemoryLimit: return "memory limit";
    case StopReason::PendingLimit: return "pending limit";
    case StopReason::WorkLimit: return "work limit";
    case StopReason::Interrupted: return "interrupted";
  }
  return "unknown";
}

// ---- EntryGuard ----

EntryGuard::EntryGuard(JSContextGroupRef group, EntryLimits limits) : group_(group), limits_(limits) {
  configureEngineOnce();
  arm(periodMs());
}

double EntryGuard::periodMs() const {
  return limits_.timeLimitMs > 0 && limits_.timeLimitMs < kEngineCheckPeriodMs ? limits_.timeLimitMs
                                                                                : kEngineCheckPeriodMs;
}

namespace {
std::atomic<TimerArmObserver> timerArmObserver{nullptr};
std::atomic<CheckStopObserver> stopObserver{nullptr};
}  // namespace

void setTimerArmObserverForTesting(TimerArmObserver observer) { timerArmObserver.store(observer); }

void setCheckStopObserverForTesting(CheckStopObserver observer) { stopObserver.store(observer); }

// Also starts the period of an entry under way (the engine restarts its
// count when the limit is set from inside a check).
//
// The engine's timers of every group of the process fire on one thread of
// its own. A firing timer sets the group's trap flag without the traps' lock,
// then takes the lock to note that the group's thread was asked to stop; the
// group's thread takes and clears the flag under that lock. When two timers of
// one group fire a few microseconds apart (both late on that busy thread),
// the group's thread can take the second flag between the timer thread's two
// steps, and the engine's consistency check on the timer thread then aborts
// the whole process. Setting the limit while a timer is pending adds a second
// timer whenever the new period ends sooner (a shorter period after a stop, or
// a re-arm between a stop and the jobs' drain, did so every millisecond), so
// a guard sets it with one period only, when the group is made, and then only
// from inside the engine's own check: the timer that asked has fired, and the
// one armed is then the group's only timer.
void EntryGuard::arm(double periodMs) {
  if (auto observer = timerArmObserver.load(std::memory_order_relaxed)) observer(periodMs, inEntry_, inCheck_);
  JSContextGroupSetExecutionTimeLimit(group_, periodMs / 1000.0, &EntryGuard::shouldTerminate, this);
}

void EntryGuard::stop(StopReason reason) {
  StopReason none = StopReason::None;
  stopped_.compare_exchange_strong(none, reason);
}

bool EntryGuard::pastTimeLimit(double processorMs) const {
  if (steadyMs() - runStartWallMs_ < limits_.timeLimitMs) return false;
  return (processorMs >= 0 ? processorMs : threadUsage().processorMs) - runStartMs_ >= limits_.timeLimitMs;
}

void EntryGuard::startRun(double processorMs) {
  runStartMs_ = processorMs;
  runStartWallMs_ = steadyMs();
}

void EntryGuard::beginRun() {
  if (runDepth_++ == 0) startRun(threadUsage().processorMs);
}

void EntryGuard::endRun() {
  if (runDepth_ > 0) --runDepth_;
}

bool EntryGuard::begin() {
  if (isStopped()) return false;
  if (StopReason asked = requested_.load(); asked != StopReason::None) {
    stop(asked);
    return false;
  }
  if (runDepth_ > 0 && pastTimeLimit()) {
    stop(StopReason::TimeLimit);
    return false;
  }
  const ThreadUsage usage = threadUsage();
  if (runDepth_ == 0) startRun(usage.processorMs);
  strayStartMs_ = -1;
  entryStartTouches_ = usage.firstTouches;
  entryBaseline_ = 0;
  running_ = true;
  return true;
}

size_t EntryGuard::entryGrowth(size_t residentNow) const {
  if (entryBaseline_ == 0) return static_cast<size_t>(threadFirstTouches() - entryStartTouches_) * pageBytes();
  // A long entry: what it touched before its first check, then what the
  // process grew by since. Its thread's first touches over the whole entry
  // would count again memory the entry let go and took once more (a buffer
  // the allocator maps anew each time), which the process never held.
  const size_t before = static_cast<size_t>(baselineTouches_ - entryStartTouches_) * pageBytes();
  return before + (residentNow > entryBaseline_ ? residentNow - entryBaseline_ : 0);
}

StopReason EntryGuard::end() {
  running_ = false;
  strayStartMs_ = -1;
  const ThreadUsage usage = threadUsage();
  // A native call that ran past the limit with no check after it.
  if (pastTimeLimit(usage.processorMs)) stop(StopReason::TimeLimit);
  if (usage.firstTouches == entryStartTouches_ && entryBaseline_ == 0 && hostBytes_ == 0) return stopReason();
  // The entry touched new memory, or the host made some for it: a sample.
  // What the process grew by counts up to what the entry touched and the
  // host charged.
  const size_t now = residentBytes();
  const size_t growth = entryGrowth(now) + std::exchange(hostBytes_, 0);
  // What the process gave back since the last sample is no longer held.
  if (lastSample_ && lastSample_ + growth > now) held_ -= std::min(held_, lastSample_ + growth - now);
  held_ += growth;
  lastSample_ = now;
  if (limits_.memoryLimitBytes > 0 && held_ > limits_.memoryLimitBytes) stop(StopReason::MemoryLimit);
  return stopReason();
}

void EntryGuard::chargeHostBytes(JSContextRef ctx, size_t bytes) {
  // Inside an entry the entry's own first touches see what the host makes.
  if (isStopped() || limits_.memoryLimitBytes == 0 || running_) return;
  // The group's first sample, which the next entry's end compares with.
  // (Later ones are taken at the ends of entries only: a sample between the
  // host's copies of one value, some freed and some not yet, would count
  // what it frees next as given back by the scripts.)
  if (lastSample_ == 0) lastSample_ = residentBytes();
  hostBytes_ += bytes;
  if (held_ + hostBytes_ <= limits_.memoryLimitBytes) return;
  // The value could pass the bound. Values the scripts dropped may still
  // hold their memory: the engine frees the text of a dead string only when
  // its collector sweeps it, which a group whose entries allocate little
  // reaches late (some 140 MiB of dropped 8 MiB texts in the tests). The
  // collector runs now, so that the value takes memory they held rather than
  // new memory; the sample at the end of the next entry tells which it did.
  JSSynchronousGarbageCollectForDebugging(ctx);
}

void EntryGuard::interrupt() {
  StopReason none = StopReason::None;
  requested_.compare_exchange_strong(none, StopReason::Interrupted);
}

void EntryGuard::requestStop(StopReason reason) {
  StopReason none = StopReason::None;
  requested_.compare_exchange_strong(none, reason);
}

void EntryGuard::stopBetweenEntries(StopReason reason) {
  if (!running_) stop(reason);
}

bool EntryGuard::check() {
  if (isStopped()) return true;
  StopReason reason = requested_.load();
  if (reason == StopReason::None && !running_) {
    // Script outside the entries ends at the time limit; the group goes on.
    return threadUsage().processorMs - strayStartMs_ >= limits_.timeLimitMs;
  }
  if (reason == StopReason::None && pastTimeLimit()) reason = StopReason::TimeLimit;
  if (reason == StopReason::None && running_ && limits_.memoryLimitBytes > 0) {
    const size_t now = residentBytes();
    if (entryBaseline_ == 0) {
      entryBaseline_ = now;
      baselineTouches_ = threadFirstTouches();
    }
    if (held_ + entryGrowth(now) > limits_.memoryLimitBytes) reason = StopReason::MemoryLimit;
  }
  if (reason == StopReason::None) return false;
  stop(reason);
  return true;
}

bool EntryGuard::shouldTerminate(JSContextRef, void* context) {
  auto* guard = static_cast<EntryGuard*>(context);
  if (!guard->running_ && guard->strayStartMs_ < 0) {
    // Script outside the host's entries: the engine asks once it has run a
    // whole period of processor time.
    guard->strayStartMs_ = threadUsage().processorMs - guard->periodMs();
  }
  const bool stop = guard->check();
  if (stop) {
    if (auto observer = stopObserver.load(std::memory_order_relaxed)) observer(guard->inEntry_, !guard->running_);
  }
  // The next period of this entry, stopped or not: the engine asks once a
  // period and never starts its next period by itself.
  guard->inCheck_ = true;
  guard->arm(guard->periodMs());
  guard->inCheck_ = false;
  return stop;
}

struct EntryGuard::EntryCall {
  EntryGuard* guard;
  void (*work)(void*);
  void* data;
};

JSValueRef EntryGuard::callEntry(JSContextRef ctx, JSObjectRef function, JSObjectRef, size_t, const JSValueRef[],
                                 JSValueRef*) {
  auto* call = static_cast<EntryCall*>(JSObjectGetPrivate(function));
  if (call) {
    call->work(call->data);
    call->guard->runJobs(ctx);
  }
  return JSValueMakeUndefined(ctx);
}

void EntryGuard::runEntry(JSContextRef ctx, void (*work)(void*), void* data) {
  if (inEntry_) {
    work(data);
    return;
  }
  // The engine's entry is a call of a native function that makes the entry's
  // calls (they nest inside it) and then runs the promise jobs: the engine
  // keeps checking them against this one entry.
  static JSClassRef entryClass = [] {
    JSClassDefinition definition = kJSClassDefinitionEmpty;
    definition.className = "Entry";
    definition.callAsFunction = &EntryGuard::callEntry;
    return JSClassCreate(&definition);
  }();
  EntryCall call{this, work, data};
  inEntry_ = true;
  JSObjectRef function = JSObjectMake(ctx, entryClass, &call);
  JSValueRef ignored = nullptr;
  JSObjectCallAsFunction(ctx, function, nullptr, 0, nullptr, &ignored);
  // Nothing may reach the call once it is gone.
  JSObjectSetPrivate(function, nullptr);
  inEntry_ = false;
  // The run passed its limit in work the engine does not check.
  if (!isStopped() && running_ && pastTimeLimit()) stop(StopReason::TimeLimit);
}

}  // namespace platform::engine

// The engine runs a context group's promise jobs when the last lock on it is
// released, after the entry that queued them has ended, each job an entry of
// its own. Its exported drain runs them where the host stands: called inside
// an entry, they run inside it. A context group is the engine's VM.
namespace JSC {
class __attribute__((visibility("default"))) VM {
 public:
  void drainMicrotasks();
};
}  // namespace JSC

extern "C" {
JS_EXPORT void JSLock(JSContextRef ctx);
JS_EXPORT void JSUnlock(JSContextRef ctx);
}

namespace platform::engine {

void EntryGuard::runJobs(JSContextRef ctx) {
  // A stopped group's jobs are dropped: the engine's next check (within a
  // period) stops the job that runs then, and that clears the queue.
  if (!isStopped()) {
    if (StopReason asked = requested_.load(); asked != StopReason::None) stop(asked);
    else if (running_ && pastTimeLimit()) stop(StopReason::TimeLimit);
  }
  JSLock(ctx);
  reinterpret_cast<JSC::VM*>(const_cast<OpaqueJSContextGroup*>(group_))->drainMicrotasks();
  JSUnlock(ctx);
}

// ---- DeliveryBudget ----

bool DeliveryBudget::tryAdd(size_t bytes) {
  std::lock_guard lock(m_);
  if (count_ + 1 > maxCount_ || bytes > maxBytes_ || bytes_ + bytes > maxBytes_) return false;
  ++count_;
  bytes_ += bytes;
  return true;
}

void DeliveryBudget::remove(size_t bytes) {
  std::lock_guard lock(m_);
  if (count_ > 0) --count_;
  bytes_ -= std::min(bytes_, bytes);
}

size_t DeliveryBudget::count() const {
  std::lock_guard lock(m_);
  return count_;
}

size_t DeliveryBudget::bytes() const {
  std::lock_guard lock(m_);
  return bytes_;
}

// ---- JSON footprint ----

namespace {

// A string's heap block beyond the string object (none within the small
// buffer), with the allocator's header.
size_t stringHeap(const std::string& s) { return s.capacity() > 15 ? s.capacity() + 1 + 16 : 0; }

}  // namespace

size_t jsonFootprintBytes(const Json& value) {
  // A value is one node; strings, objects and arrays live in a heap block of
  // their own that the node points to. Containers hold their elements' nodes
  // in one block of their capacity.
  size_t total = sizeof(Json);
  switch (value.type()) {
    case Json::value_t::string:
      total += sizeof(std::string) + 16 + stringHeap(value.get_ref<const std::string&>());
      break;
    case Json::value_t::array: {
      const auto& a = value.get_ref<const Json::array_t&>();
      total += sizeof(Json::array_t) + 16 + a.capacity() * sizeof(Json) + 16;
      for (const auto& item : a) total += jsonFootprintBytes(item) - sizeof(Json);
      break;
    }
    case Json::value_t::object: {
      const auto& o = value.get_ref<const Json::object_t&>();
      total += sizeof(Json::object_t) + 16 + o.capacity() * sizeof(Json::object_t::value_type) + 16;
      for (const auto& [key, item] : o) total += stringHeap(key) + jsonFootprintBytes(item) - sizeof(Json);
      break;
    }
    default:
      break;
  }
  return total;
}

}  // namespace platform::engine
