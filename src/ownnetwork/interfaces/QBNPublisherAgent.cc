#include "ownnetwork/interfaces/QBNPublisherAgent.h"

#include <mutex>

namespace {

struct Slot {
  std::mutex mutex;
  std::weak_ptr<QBNPublisherAgent> publisher;
};

Slot& slot() {
  static Slot& s = *new Slot();  // lives for the process
  return s;
}

}  // namespace

std::shared_ptr<QBNPublisherAgent> QBNPublisherAgent::sharedInstance() {
  std::lock_guard<std::mutex> lock(slot().mutex);
  return slot().publisher.lock();
}

void QBNPublisherAgent::registerSharedInstance(std::weak_ptr<QBNPublisherAgent> publisher) {
  std::lock_guard<std::mutex> lock(slot().mutex);
  slot().publisher = std::move(publisher);
}
