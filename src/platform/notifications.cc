#include "platform/notifications.h"

#include <algorithm>
#include <utility>

#include <nlohmann/json.hpp>

namespace platform {

// ---------------------------------------------------------------- Notification

Notification::Notification(std::string name, std::shared_ptr<const Json> userInfo, std::any object)
    : name_(std::move(name)), userInfo_(std::move(userInfo)), object_(std::move(object)) {}

const Json& Notification::userInfo() const {
  static const Json& kNone = *new Json();  // never destroyed: read on any thread, also at exit
  return userInfo_ ? *userInfo_ : kNone;
}

// ---------------------------------------------------------- NotificationCenter

struct NotificationCenter::Entry {
  ObserverToken token = 0;
  std::weak_ptr<const void> owner;
  bool hasOwner = false;
  std::string name;
  QueueRef queue;
  NotificationHandler handler;
  // Cleared on removal; queued deliveries and snapshots taken before the
  // removal check it right before calling.
  std::atomic<bool> active{true};

  bool ownerDied() const { return hasOwner && owner.expired(); }

  bool sameOwner(const std::weak_ptr<const void>& other) const {
    return hasOwner && !owner.owner_before(other) && !other.owner_before(owner);
  }

  void invoke(const Notification& note) const {
    if (!active.load()) return;
    // Keeps the owner alive for the duration of the call.
    std::shared_ptr<const void> keep;
    if (hasOwner) {
      keep = owner.lock();
      if (!keep) return;
    }
    handler(note);
  }
};

NotificationCenter::NotificationCenter() = default;

NotificationCenter::~NotificationCenter() { clear(); }

NotificationCenter& NotificationCenter::defaultCenter() {
  // Never destroyed: observers may outlive static destruction order.
  static NotificationCenter* center = new NotificationCenter();
  return *center;
}

void NotificationCenter::resetDefaultForTesting() { defaultCenter().clear(); }

void NotificationCenter::clear() {
  std::vector<std::shared_ptr<Entry>> dropped;
  {
    std::lock_guard lock(m_);
    dropped.swap(entries_);
  }
  for (auto& e : dropped) e->active.store(false);
  // Handlers (and what they capture) are released here, outside the lock.
}

ObserverToken NotificationCenter::addObserver(std::weak_ptr<const void> owner, std::string name,
                                              QueueRef queue, NotificationHandler handler) {
  return add(std::move(owner), true, std::move(name), std::move(queue), std::move(handler));
}

ObserverToken NotificationCenter::addObserver(std::string name, QueueRef queue,
                                              NotificationHandler handler) {
  return add({}, false, std::move(name), std::move(queue), std::move(handler));
}

ObserverToken NotificationCenter::add(std::weak_ptr<const void> owner, bool hasOwner,
                                      std::string name, QueueRef queue,
                                      NotificationHandler handler) {
  auto e = std::make_shared<Entry>();
  e->owner = std::move(owner);
  e->hasOwner = hasOwner;
  e->name = std::move(name);
  e->queue = std::move(queue);
  e->handler = std::move(handler);
  std::lock_guard lock(m_);
  e->token = nextToken_++;
  entries_.push_back(e);
  return e->token;
}

void NotificationCenter::removeObserver(ObserverToken token) {
  std::shared_ptr<Entry> dropped;
  {
    std::lock_guard lock(m_);
    auto it = std::find_if(entries_.begin(), entries_.end(),
                           [&](const auto& e) { return e->token == token; });
    if (it == entries_.end()) return;
    dropped = std::move(*it);
    entries_.erase(it);
    dropped->active.store(false);
  }
}

void NotificationCenter::removeObserver(const std::weak_ptr<const void>& owner) {
  std::vector<std::shared_ptr<Entry>> dropped;
  {
    std::lock_guard lock(m_);
    auto keep = std::stable_partition(entries_.begin(), entries_.end(),
                                      [&](const auto& e) { return !e->sameOwner(owner); });
    for (auto it = keep; it != entries_.end(); ++it) {
      (*it)->active.store(false);
      dropped.push_back(std::move(*it));
    }
    entries_.erase(keep, entries_.end());
  }
}

void NotificationCenter::removeObserver(const std::weak_ptr<const void>& owner,
                                        const std::string& name) {
  std::vector<std::shared_ptr<Entry>> dropped;
  {
    std::lock_guard lock(m_);
    auto keep = std::stable_partition(entries_.begin(), entries_.end(), [&](const auto& e) {
      return !(e->sameOwner(owner) && e->name == name);
    });
    for (auto it = keep; it != entries_.end(); ++it) {
      (*it)->active.store(false);
      dropped.push_back(std::move(*it));
    }
    entries_.erase(keep, entries_.end());
  }
}

void NotificationCenter::post(const std::string& name) { deliver(name, nullptr); }

void NotificationCenter::post(const std::string& name, const Json& userInfo) {
  deliver(name, std::make_shared<const Json>(userInfo));
}

void NotificationCenter::postWithObject(const std::string& name, std::any object) {
  deliver(name, nullptr, std::move(object));
}

void NotificationCenter::deliver(const std::string& name, std::shared_ptr<const Json> userInfo, std::any object) {
  std::vector<std::shared_ptr<Entry>> matching;
  std::vector<std::shared_ptr<Entry>> dead;
  {
    std::lock_guard lock(m_);
    auto live = std::stable_partition(entries_.begin(), entries_.end(),
                                      [](const auto& e) { return !e->ownerDied(); });
    for (auto it = live; it != entries_.end(); ++it) {
      (*it)->active.store(false);
      dead.push_back(std::move(*it));
    }
    entries_.erase(live, entries_.end());
    for (const auto& e : entries_) {
      if (e->name.empty() || e->name == name) matching.push_back(e);
    }
  }
  dead.clear();  // releases their handlers outside the lock

  const Notification note(name, std::move(userInfo), std::move(object));
  for (const auto& e : matching) {
    if (!e->queue) {
      e->invoke(note);
    } else {
      e->queue->async([e, note] { e->invoke(note); });
    }
  }
}

size_t NotificationCenter::observerCountForTesting() const {
  std::lock_guard lock(m_);
  return entries_.size();
}

// ----------------------------------------------------------------- Application

const char* applicationStateName(ApplicationState state) {
  switch (state) {
    case ApplicationState::Active:
      return "UIApplicationStateActive";
    case ApplicationState::Inactive:
      return "UIApplicationStateInactive";
    case ApplicationState::Background:
      return "UIApplicationStateBackground";
  }
  return "UIApplicationStateUnknown";
}

Application& Application::shared() {
  static Application* app = new Application();
  return *app;
}

void Application::setState(ApplicationState state) {
  const ApplicationState from = state_.exchange(state);
  if (from != state) backgroundStateChanged(from, state);
}

bool Application::resignActive() {
  if (applicationState() != ApplicationState::Active) return false;
  NotificationCenter::defaultCenter().post(kUIApplicationWillResignActiveNotification);
  setState(ApplicationState::Inactive);
  return true;
}

bool Application::becomeActive() {
  if (applicationState() != ApplicationState::Inactive) return false;
  setState(ApplicationState::Active);
  NotificationCenter::defaultCenter().post(kUIApplicationDidBecomeActiveNotification);
  return true;
}

bool Application::enterBackground() {
  if (applicationState() == ApplicationState::Background) return false;
  resignActive();
  setState(ApplicationState::Background);
  NotificationCenter::defaultCenter().post(kUIApplicationDidEnterBackgroundNotification);
  return true;
}

bool Application::enterForeground() {
  if (applicationState() != ApplicationState::Background) return false;
  NotificationCenter::defaultCenter().post(kUIApplicationWillEnterForegroundNotification);
  setState(ApplicationState::Inactive);
  return becomeActive();
}

void Application::terminate() {
  NotificationCenter::defaultCenter().post(kUIApplicationWillTerminateNotification);
}

}  // namespace platform
