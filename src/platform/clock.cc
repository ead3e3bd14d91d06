#include "platform/clock.h"

#include <time.h>

#include <chrono>
#include <cstdlib>
#include <mutex>
#include <string>

#include "platform/test_environment.h"

namespace platform {
namespace {

int64_t clockMs(clockid_t id) {
  timespec ts{};
  if (clock_gettime(id, &ts) != 0) return 0;
  return static_cast<int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1'000'000;
}

class SystemClock : public Clock {
 public:
  int64_t wallMs() const override {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::system_clock::now().time_since_epoch()).count();
  }
  int64_t monotonicMs() const override {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch()).count();
  }
  // CLOCK_MONOTONIC stops while the machine sleeps; CLOCK_BOOTTIME does not.
  int64_t uptimeMs() const override { return clockMs(CLOCK_MONOTONIC); }
  int64_t uptimeWithSleepMs() const override { return clockMs(CLOCK_BOOTTIME); }
  std::optional<int64_t> bootTimeMs() const override {
    int64_t up = clockMs(CLOCK_BOOTTIME);
    if (up <= 0) return std::nullopt;
    return wallMs() - up;
  }
};

}  // namespace

const Clock& systemClock() {
  // Never destroyed: worker threads and destructors that run during static
  // destruction at exit still read the clock.
  static const SystemClock& c = *new SystemClock();
  return c;
}

LocalTime localTime(int64_t wallMs) {
  // The C library reads the zone again (a file-system call) on every tzset():
  // it runs when $TZ changed, else at most once a second (a changed
  // /etc/localtime is seen within a second).
  struct ZoneState {
    std::mutex m;
    bool loaded = false;
    std::string tz;
    std::chrono::steady_clock::time_point loadedAt;
  };
  static ZoneState& zone = *new ZoneState();  // never destroyed, see systemClock()
  const time_t secs = static_cast<time_t>(wallMs / 1000);
  tm parts{};
  {
    std::lock_guard lock(zone.m);
    const char* tz = std::getenv("TZ");
    const std::string tzValue = tz ? tz : "\x01";  // unset differs from ""
    const auto now = std::chrono::steady_clock::now();
    if (!zone.loaded || tzValue != zone.tz || now - zone.loadedAt >= std::chrono::seconds(1)) {
      tzset();
      zone.loaded = true;
      zone.tz = tzValue;
      zone.loadedAt = now;
    }
    if (!localtime_r(&secs, &parts)) return LocalTime{};
  }
  LocalTime t;
  t.year = parts.tm_year + 1900;
  t.month = parts.tm_mon + 1;
  t.day = parts.tm_mday;
  t.hour = parts.tm_hour;
  t.minute = parts.tm_min;
  t.second = parts.tm_sec;
  t.millisecond = static_cast<int>(((wallMs % 1000) + 1000) % 1000);
  t.utcOffsetSeconds = parts.tm_gmtoff;
  return t;
}

const Clock& clock() {
  if (const Clock* manual = activeManualClock()) return *manual;
  return systemClock();
}

}  // namespace platform
