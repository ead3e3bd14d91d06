#pragma once
// The one clock of the library. Every time read (wall time, stopwatches,
// uptimes) goes through here, so a TestEnvironment can drive all of them.
#include <cstdint>
#include <optional>

namespace platform {

class Clock {
 public:
  virtual ~Clock() = default;
  // Milliseconds since 1970-01-01 UTC.
  virtual int64_t wallMs() const = 0;
  // Monotonic milliseconds (stopwatches, deadlines); never goes back.
  virtual int64_t monotonicMs() const = 0;
  // Time since boot, not counting sleep.
  virtual int64_t uptimeMs() const = 0;
  // Time since boot, counting sleep.
  virtual int64_t uptimeWithSleepMs() const = 0;
  // Wall time of the boot in ms since 1970; none when unknown.
  virtual std::optional<int64_t> bootTimeMs() const = 0;
};

// The clock in force: the manual clock of the live TestEnvironment, else the
// system clock.
const Clock& clock();

inline int64_t nowWallMs() { return clock().wallMs(); }
inline int64_t nowMonotonicMs() { return clock().monotonicMs(); }

// The system clock (real mode), also available while a test clock is live.
const Clock& systemClock();

// Broken-down local time of a wall time (ms since 1970) in the system time
// zone. Serialised: the C library's time-zone state is process-wide.
struct LocalTime {
  int year = 1970, month = 1, day = 1, hour = 0, minute = 0, second = 0, millisecond = 0;
  int64_t utcOffsetSeconds = 0;
};
LocalTime localTime(int64_t wallMs);

}  // namespace platform
