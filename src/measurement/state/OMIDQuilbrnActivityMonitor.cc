#include "measurement/state/OMIDQuilbrnActivityMonitor.h"

#include "measurement/sdk/OMIDQuilbrnDevice.h"
#include "measurement/session/OMIDQuilbrnAdSessionRegistry.h"
#include "platform/notifications.h"

std::shared_ptr<OMIDQuilbrnActivityMonitor> OMIDQuilbrnActivityMonitor::initWithAdSessionRegistry(
    std::shared_ptr<OMIDQuilbrnAdSessionRegistry> registry, std::shared_ptr<OMIDQuilbrnClockProtocol> clock) {
  return std::shared_ptr<OMIDQuilbrnActivityMonitor>(new OMIDQuilbrnActivityMonitor(std::move(registry), std::move(clock)));
}

void OMIDQuilbrnActivityMonitor::start() {
  {
    std::lock_guard lock(mutex_);
    if (started_) return;
    started_ = true;
  }
  std::weak_ptr<OMIDQuilbrnActivityMonitor> weak = weak_from_this();
  platform::NotificationCenter::defaultCenter().addObserver(
      weak, platform::kUIApplicationDidBecomeActiveNotification, nullptr, [weak](const platform::Notification&) {
        if (auto self = weak.lock()) self->updateActivity();
      });
}

bool OMIDQuilbrnActivityMonitor::isStarted() const {
  std::lock_guard lock(mutex_);
  return started_;
}

void OMIDQuilbrnActivityMonitor::updateActivity() {
  if (!clock_) return;
  const int64_t now = clock_->date();
  {
    std::lock_guard lock(mutex_);
    if (lastActivityDate_ && *lastActivityDate_ >= now) return;
    lastActivityDate_ = now;
  }
  publishActivity();
}

void OMIDQuilbrnActivityMonitor::publishActivity() {
  std::optional<int64_t> date;
  {
    std::lock_guard lock(mutex_);
    if (!started_) return;
    date = lastActivityDate_;
  }
  if (!date || !registry_) return;
  for (const auto& session : registry_->activeAdSessions()) session->statePublisher()->publishLastActivity(*date);
}

std::optional<int64_t> OMIDQuilbrnActivityMonitor::lastActivityDate() const {
  std::lock_guard lock(mutex_);
  return lastActivityDate_;
}
