#pragma once
// Deterministic dispatch and clock for tests.
//
// While a TestEnvironment is alive every queue's work runs on the thread that
// created it, only when the test pumps (runUntilIdle / advance / runUntil), in
// submission order; delayed work and timers fire in deadline order (ties in
// submission order) and only when advance() moves the manual clock to or past
// their deadline. Work posted from other threads (I/O completions) joins the
// same run list. Only one TestEnvironment may be alive at a time.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/clock.h"

namespace platform {

class TestEnvironment {
 public:
  // wallStartMs: the manual wall clock's start (ms since 1970).
  explicit TestEnvironment(int64_t wallStartMs = 1'760'000'000'000);
  ~TestEnvironment();
  TestEnvironment(const TestEnvironment&) = delete;
  TestEnvironment& operator=(const TestEnvironment&) = delete;

  // Runs every block that is ready now, including blocks those blocks post,
  // until none is left. Does not move the clock. Returns how many ran.
  size_t runUntilIdle();
  // Moves the manual clock forward by ms, stopping at each deadline on the way
  // to run what falls due (and what that posts), then runs until idle.
  void advance(int64_t ms);
  // Moves the clock to the next pending deadline (if any) and runs it.
  bool advanceToNextDeadline();
  // Pumps ready work, waiting up to realTimeoutMs of real time for work posted
  // by other threads, until pred() is true. The manual clock does not move.
  bool runUntil(const std::function<bool()>& pred, int64_t realTimeoutMs = 10'000);

  // Blocks ready to run now / delayed blocks still waiting (cancelled timers
  // are not counted).
  size_t readyCount() const;
  size_t delayedCount() const;
  // Labels of queues with pending work, for failure messages.
  std::vector<std::string> describePending() const;

  // Manual clock controls.
  void setWallMs(int64_t wallMs);
  void setBootTimeMs(std::optional<int64_t> bootMs);
  // Adds sleep time: moves wall time and uptime-with-sleep, not uptime.
  void sleepDevice(int64_t ms);
  const Clock& manualClock() const;

  static TestEnvironment* current();

  struct Impl;

 private:
  Impl* impl_;  // the process-lifetime test back end (see the .cc)
};

// The manual clock while a TestEnvironment is alive, else null.
const Clock* activeManualClock();

}  // namespace platform
