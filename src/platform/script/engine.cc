#include "platform/script/engine.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <jsc/jsc.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <mutex>
#include <string>

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

namespace platform::engine {

void configureEngineOnce() {
  static std::once_flag once;
  std::call_once(once, [] {
    // The checks reach a running script through flags the compiled code
    // polls, instead of signals sent to the thread (which the thread
    // sanitizer holds back, and which would interrupt the host's calls).
    jsc_options_set_boolean("usePollingTraps", TRUE);
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

uint64_t threadFirstTouches() {
  rusage usage{};
  if (getrusage(RUSAGE_THREAD, &usage) != 0) return 0;
  return static_cast<uint64_t>(usage.ru_minflt);
}

namespace {
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
    case StopReason::Interrupted: return "interrupted";
  }
  return "unknown";
}

// ---- EntryGuard ----

EntryGuard::EntryGuard(JSContextGroupRef group, EntryLimits limits) : group_(group), limits_(limits) {
  configureEngineOnce();
  arm();
}

double EntryGuard::periodMs() const {
  return limits_.timeLimitMs > 0 && limits_.timeLimitMs < kEngineCheckPeriodMs ? limits_.timeLimitMs
                                                                                : kEngineCheckPeriodMs;
}

void EntryGuard::arm() {
  JSContextGroupSetExecutionTimeLimit(group_, periodMs() / 1000.0, &EntryGuard::shouldTerminate, this);
}

void EntryGuard::stop(StopReason reason) {
  StopReason none = StopReason::None;
  stopped_.compare_exchange_strong(none, reason);
}

bool EntryGuard::begin() {
  if (isStopped()) return false;
  if (StopReason asked = requested_.load(); asked != StopReason::None) {
    stop(asked);
    return false;
  }
  entryStartTouches_ = threadFirstTouches();
  entryBaseline_ = 0;
  periods_ = 0;
  running_ = true;
  return true;
}

size_t EntryGuard::entryGrowth(size_t residentNow) const {
  const size_t touched = static_cast<size_t>(threadFirstTouches() - entryStartTouches_) * pageBytes();
  const size_t grown = entryBaseline_ && residentNow > entryBaseline_ ? residentNow - entryBaseline_ : 0;
  return std::max(touched, grown);
}

StopReason EntryGuard::end() {
  running_ = false;
  if (threadFirstTouches() == entryStartTouches_ && entryBaseline_ == 0) return stopReason();
  // The entry touched new memory: a sample.
  const size_t now = residentBytes();
  const size_t growth = entryGrowth(now);
  // What the process gave back since the last sample is no longer held.
  if (lastSample_ && lastSample_ + growth > now) held_ -= std::min(held_, lastSample_ + growth - now);
  held_ += growth;
  lastSample_ = now;
  if (limits_.memoryLimitBytes > 0 && held_ > limits_.memoryLimitBytes) stop(StopReason::MemoryLimit);
  return stopReason();
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
  ++periods_;
  StopReason reason = requested_.load();
  if (reason == StopReason::None && periods_ * periodMs() >= limits_.timeLimitMs) reason = StopReason::TimeLimit;
  if (reason == StopReason::None && limits_.memoryLimitBytes > 0) {
    const size_t now = residentBytes();
    if (entryBaseline_ == 0) entryBaseline_ = now;
    if (held_ + entryGrowth(now) > limits_.memoryLimitBytes) reason = StopReason::MemoryLimit;
  }
  if (reason == StopReason::None) return false;
  stop(reason);
  return true;
}

bool EntryGuard::shouldTerminate(JSContextRef, void* context) {
  auto* guard = static_cast<EntryGuard*>(context);
  if (!guard->running_) return false;
  if (guard->check()) return true;
  guard->arm();  // the next period of this entry
  return false;
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
