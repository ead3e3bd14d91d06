#pragma once
// Records the last time the application became active and sends it to the
// active sessions ("setLastActivity").
//
// Threading: updates come from the application's notice (on the thread that
// posts it, the main thread) and from the SDK on the main thread; the last
// date may be read from any thread (one lock).
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>

class OMIDQuilbrnAdSessionRegistry;
class OMIDQuilbrnClockProtocol;

class OMIDQuilbrnActivityMonitor : public std::enable_shared_from_this<OMIDQuilbrnActivityMonitor> {
 public:
  static std::shared_ptr<OMIDQuilbrnActivityMonitor> initWithAdSessionRegistry(
      std::shared_ptr<OMIDQuilbrnAdSessionRegistry> registry, std::shared_ptr<OMIDQuilbrnClockProtocol> clock);

  // Once: from now on every activation of the application updates the
  // activity. Stays started.
  void start();
  bool isStarted() const;
  // Now, from the clock, becomes the last activity unless the last one is not
  // earlier; then it is published.
  void updateActivity();
  // Sends the last activity to every active session, once started.
  void publishActivity();
  // Milliseconds since 1970; none before the first activity.
  std::optional<int64_t> lastActivityDate() const;

 private:
  OMIDQuilbrnActivityMonitor(std::shared_ptr<OMIDQuilbrnAdSessionRegistry> registry,
                             std::shared_ptr<OMIDQuilbrnClockProtocol> clock)
      : clock_(std::move(clock)), registry_(std::move(registry)) {}

  std::shared_ptr<OMIDQuilbrnClockProtocol> clock_;
  std::shared_ptr<OMIDQuilbrnAdSessionRegistry> registry_;
  mutable std::mutex mutex_;
  bool started_ = false;
  std::optional<int64_t> lastActivityDate_;
};
