#include "ownnetwork/interfaces/QBNPresentationServicesP.h"

#include <mutex>

namespace {

struct Slot {
  std::mutex mutex;
  std::shared_ptr<QBNPresentationServicesP> services;
};

Slot& slot() {
  static Slot& s = *new Slot();  // lives for the process
  return s;
}

}  // namespace

std::shared_ptr<QBNPresentationServicesP> QBNPresentationServicesP::sharedInstance() {
  std::lock_guard<std::mutex> lock(slot().mutex);
  return slot().services;
}

void QBNPresentationServicesP::registerSharedInstance(std::shared_ptr<QBNPresentationServicesP> services) {
  std::lock_guard<std::mutex> lock(slot().mutex);
  slot().services = std::move(services);
}
