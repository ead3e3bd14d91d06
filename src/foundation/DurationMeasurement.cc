#include "foundation/DurationMeasurement.h"

#include "platform/clock.h"

DurationMeasurement::DurationMeasurement() : startMs_(platform::nowMonotonicMs()) {}

int64_t DurationMeasurement::getMeasuredDuration() const {
  const int64_t elapsed = platform::nowMonotonicMs() - startMs_;
  // A stopwatch made under a test clock and read after it is gone (or the
  // reverse) compares two different time bases; never report negative time.
  return elapsed < 0 ? 0 : elapsed;
}

int64_t measuredDuration(const std::shared_ptr<DurationMeasurement>& measurement) {
  return measurement ? measurement->getMeasuredDuration() : 0;
}
