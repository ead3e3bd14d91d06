#pragma once
// A meter of the time the application spends in the foreground, in
// milliseconds: time in the background is left out.
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>

#include "foundation/QBLifeCycleObservation.h"
#include "platform/notifications.h"

class QBForegroundTimeCalculator : public std::enable_shared_from_this<QBForegroundTimeCalculator> {
 public:
  // A stopped meter at 0 that watches the application's background and
  // foreground notices from creation.
  static std::shared_ptr<QBForegroundTimeCalculator> create();
  ~QBForegroundTimeCalculator();
  QBForegroundTimeCalculator(const QBForegroundTimeCalculator&) = delete;
  QBForegroundTimeCalculator& operator=(const QBForegroundTimeCalculator&) = delete;

  // Starts counting: at once in the foreground, else from the return to the
  // foreground. Starting a counting meter does nothing. Any thread.
  void start();
  // Sets the count back to 0; a counting meter goes on counting from now.
  // Any thread.
  void reset();
  // Foreground milliseconds counted since start() (or the last reset()),
  // including the current foreground span. Any thread.
  int64_t getForegroundTime() const;

 private:
  QBForegroundTimeCalculator() = default;
  void didEnterBackground();
  void willEnterForeground();

  mutable std::mutex mutex_;
  bool counting_ = false;
  int64_t accumulatedMs_ = 0;
  std::optional<int64_t> spanStartMs_;  // set while counting in the foreground
  friend class QBLifeCycleObservation;  // calls the two life-cycle handlers
  QBLifeCycleObservation lifeCycle_;
};
