#pragma once
// A stopwatch on the platform's monotonic clock.
#include <cstdint>
#include <memory>

class DurationMeasurement {
 public:
  // Starts measuring now.
  DurationMeasurement();
  static std::shared_ptr<DurationMeasurement> create() { return std::make_shared<DurationMeasurement>(); }

  // Whole milliseconds elapsed since creation. Any thread.
  int64_t getMeasuredDuration() const;

 private:
  int64_t startMs_;
};

// getMeasuredDuration() of `measurement`, or 0 when there is none (an absent
// stopwatch counts as 0).
int64_t measuredDuration(const std::shared_ptr<DurationMeasurement>& measurement);
