#include "platform/clock.h"

#include <time.h>

#include <chrono>

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
  static SystemClock c;
  return c;
}

const Clock& clock() {
  if (auto* env = TestEnvironment::current()) return env->manualClock();
  return systemClock();
}

}  // namespace platform
