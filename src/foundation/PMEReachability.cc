#include "foundation/PMEReachability.h"

#include <algorithm>

#include "foundation/QBLoggerManager.h"

namespace {

platform::ReachabilitySource& source() { return platform::ReachabilitySource::shared(); }

struct SharedSlot {
  std::mutex mutex;
  std::shared_ptr<PMEReachabilityManager> manager;
};

SharedSlot& sharedSlot() {
  static SharedSlot* slot = new SharedSlot();
  return *slot;
}

}  // namespace

// ------------------------------------------------------------------ PMEReachability

int PMEReachability::currentReachabilityStatus() const { return source().currentStatus(); }

bool PMEReachability::connectionRequired() const { return source().connectionRequired(); }

bool PMEReachability::hasConnectivity() const {
  return currentReachabilityStatus() != platform::kReachabilityNotReachable;
}

std::string PMEReachability::getDeviceReachabilityType() const {
  switch (currentReachabilityStatus()) {
    case platform::kReachabilityViaWiFi: return "wifi";
    case platform::kReachabilityViaWWAN: return "3G";
    default: return "notReachable";
  }
}

std::string PMEReachability::getCellularNetworkType() const {
  switch (currentReachabilityStatus()) {
    case platform::kReachabilityViaWiFi: return "wifi";
    case platform::kReachabilityViaWWAN: {
      auto rat = platform::deviceFacts().facts().radioAccessTechnology;
      return rat && !rat->empty() ? *rat : "notReachable";
    }
    default: return "notReachable";
  }
}

// ------------------------------------------------------------------ PMEReachabilityManager

PMEReachabilityManager::PMEReachabilityManager()
    : reachability_(std::make_shared<PMEReachability>()),
      queue_(platform::createSerialQueue(kPMEReachabilityQueueLabel)) {}

PMEReachabilityManager::~PMEReachabilityManager() { source().removeListener(token_); }

std::shared_ptr<PMEReachabilityManager> PMEReachabilityManager::sharedManager() {
  SharedSlot& slot = sharedSlot();
  std::lock_guard lock(slot.mutex);
  if (!slot.manager) {
    slot.manager.reset(new PMEReachabilityManager());
    slot.manager->start();
  }
  return slot.manager;
}

void PMEReachabilityManager::resetForTesting() {
  std::shared_ptr<PMEReachabilityManager> old;
  {
    SharedSlot& slot = sharedSlot();
    std::lock_guard lock(slot.mutex);
    old.swap(slot.manager);
  }
  source().resetForTesting();
  old.reset();  // outside the slot's lock: the destructor talks to the source
}

void PMEReachabilityManager::start() {
  std::weak_ptr<PMEReachabilityManager> weak = weak_from_this();
  token_ = source().addListener(weak, [weak](int) {
    if (auto self = weak.lock()) self->onStatusChanged();
  });
}

// Runs on the thread that changed the status; the listeners hear of it on the
// monitor's own queue.
void PMEReachabilityManager::onStatusChanged() {
  std::weak_ptr<PMEReachabilityManager> weak = weak_from_this();
  queue_->async([weak] {
    auto self = weak.lock();
    if (!self) return;
    std::vector<std::shared_ptr<Entry>> snapshot;
    {
      std::lock_guard lock(self->mutex_);
      std::erase_if(self->entries_, [](const std::shared_ptr<Entry>& e) {
        if (!e->listener.expired()) return false;
        e->active.store(false);
        return true;
      });
      snapshot = self->entries_;
    }
    QBLoggerManager::sharedInstance().dynamicLog(
        "reachabilityChanged", "status " + self->reachability_->getDeviceReachabilityType(), 0, 6);
    for (const auto& entry : snapshot) {
      if (!entry->active.load()) continue;
      if (auto listener = entry->listener.lock()) listener->reachabilityChanged(self->reachability_);
    }
  });
}

void PMEReachabilityManager::addDelegate(std::weak_ptr<PMENotifierProtocol> delegate) {
  auto strong = delegate.lock();
  if (!strong) return;
  const void* identity = strong.get();
  std::lock_guard lock(mutex_);
  for (const auto& e : entries_) {
    // A dead entry may carry the address a new listener now occupies.
    if (e->identity == identity && !e->listener.expired()) return;
  }
  std::erase_if(entries_, [&](const std::shared_ptr<Entry>& e) {
    if (e->identity != identity) return false;
    e->active.store(false);
    return true;
  });
  auto entry = std::make_shared<Entry>();
  entry->listener = std::move(delegate);
  entry->identity = identity;
  entries_.push_back(std::move(entry));
}

void PMEReachabilityManager::removeDelegate(const std::shared_ptr<PMENotifierProtocol>& delegate) {
  removeDelegate(delegate.get());
}

void PMEReachabilityManager::removeDelegate(const PMENotifierProtocol* delegate) {
  if (!delegate) return;
  const void* identity = delegate;
  std::lock_guard lock(mutex_);
  std::erase_if(entries_, [&](const std::shared_ptr<Entry>& e) {
    if (e->identity != identity) return false;
    e->active.store(false);
    return true;
  });
}

std::shared_ptr<PMEReachability> PMEReachabilityManager::getReachabilityObject() const {
  return reachability_;
}

bool PMEReachabilityManager::checkReachability() {
  auto reachability = sharedManager()->getReachabilityObject();
  return reachability->currentReachabilityStatus() != platform::kReachabilityNotReachable &&
         !reachability->connectionRequired();
}

size_t PMEReachabilityManager::delegateCountForTesting() const {
  std::lock_guard lock(mutex_);
  return static_cast<size_t>(std::count_if(entries_.begin(), entries_.end(),
                                           [](const auto& e) { return !e->listener.expired(); }));
}
