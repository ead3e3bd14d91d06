#include "measurement/session/OMIDQuilbrnAdSessionRegistry.h"

#include <algorithm>

std::shared_ptr<OMIDQuilbrnAdSessionRegistry> OMIDQuilbrnAdSessionRegistry::create() {
  return std::shared_ptr<OMIDQuilbrnAdSessionRegistry>(new OMIDQuilbrnAdSessionRegistry);
}

void OMIDQuilbrnAdSessionRegistry::addAdSession(const std::shared_ptr<OMIDQuilbrnAdSession>& adSession) {
  if (!adSession) return;
  {
    std::lock_guard lock(mutex_);
    adSessions_.push_back(adSession);
  }
  adSession->setDelegate(weak_from_this());
}

void OMIDQuilbrnAdSessionRegistry::removeAdSession(const std::shared_ptr<OMIDQuilbrnAdSession>& adSession) {
  std::vector<std::shared_ptr<OMIDQuilbrnAdSession>> released;  // let go of outside the lock
  std::lock_guard lock(mutex_);
  for (auto it = activeAdSessions_.begin(); it != activeAdSessions_.end();) {
    if (*it == adSession) {
      released.push_back(std::move(*it));
      it = activeAdSessions_.erase(it);
    } else {
      ++it;
    }
  }
  std::erase_if(adSessions_, [&](const std::weak_ptr<OMIDQuilbrnAdSession>& weak) {
    return weak.expired() || (!weak.owner_before(adSession) && !adSession.owner_before(weak));
  });
}

void OMIDQuilbrnAdSessionRegistry::addStateObserver(
    const std::weak_ptr<OMIDQuilbrnAdSessionRegistryStateObserver>& observer) {
  std::lock_guard lock(mutex_);
  observers_.push_back(observer);
}

std::vector<std::shared_ptr<OMIDQuilbrnAdSession>> OMIDQuilbrnAdSessionRegistry::adSessions() {
  std::lock_guard lock(mutex_);
  std::vector<std::shared_ptr<OMIDQuilbrnAdSession>> live;
  std::vector<std::weak_ptr<OMIDQuilbrnAdSession>> kept;
  for (const auto& weak : adSessions_) {
    if (auto session = weak.lock()) {
      live.push_back(std::move(session));
      kept.push_back(weak);
    }
  }
  adSessions_ = std::move(kept);
  return live;
}

std::vector<std::shared_ptr<OMIDQuilbrnAdSession>> OMIDQuilbrnAdSessionRegistry::activeAdSessions() const {
  std::lock_guard lock(mutex_);
  return activeAdSessions_;
}

std::vector<std::shared_ptr<OMIDQuilbrnAdSessionRegistryStateObserver>> OMIDQuilbrnAdSessionRegistry::observers()
    const {
  std::lock_guard lock(mutex_);
  std::vector<std::shared_ptr<OMIDQuilbrnAdSessionRegistryStateObserver>> out;
  for (const auto& weak : observers_) {
    if (auto observer = weak.lock()) out.push_back(std::move(observer));
  }
  return out;
}

bool OMIDQuilbrnAdSessionRegistry::isActive() const {
  std::lock_guard lock(mutex_);
  return !activeAdSessions_.empty();
}

void OMIDQuilbrnAdSessionRegistry::adSessionDidStart(const std::shared_ptr<OMIDQuilbrnAdSession>& adSession) {
  if (!adSession) return;
  bool wasActive = false;
  {
    std::lock_guard lock(mutex_);
    wasActive = !activeAdSessions_.empty();
    activeAdSessions_.push_back(adSession);
  }
  const auto watchers = observers();
  if (!wasActive) {
    for (const auto& observer : watchers) observer->adSessionRegistryDidBecomeActive();
  }
  for (const auto& observer : watchers) observer->adSessionDidBecomeActive(adSession);
}

void OMIDQuilbrnAdSessionRegistry::adSessionDidFinish(const std::shared_ptr<OMIDQuilbrnAdSession>& adSession) {
  const bool wasActive = isActive();
  removeAdSession(adSession);
  if (wasActive && !isActive()) {
    for (const auto& observer : observers()) observer->adSessionRegistryDidResignActive();
  }
}

void OMIDQuilbrnAdSessionRegistry::adSession(const std::shared_ptr<OMIDQuilbrnAdSession>& adSession,
                                             const std::shared_ptr<platform::View>& adView) {
  if (!adView) return;
  for (const auto& other : adSessions()) {
    if (other != adSession && other->mainAdView() == adView) {
      other->setMainAdView(nullptr);
      return;
    }
  }
}
