#include "ownnetwork/interfaces/QBAppStoreInsideSessionP.h"

#include <mutex>

namespace {

struct Registry {
  std::mutex mutex;
  std::shared_ptr<QBAppStoreInsideSessionP> session;
};

Registry& registry() {
  static Registry& r = *new Registry();  // never destroyed: read until the process ends
  return r;
}

}  // namespace

std::shared_ptr<QBAppStoreInsideSessionP> QBAppStoreInsideSessionP::sharedInstance() {
  auto& r = registry();
  std::lock_guard lock(r.mutex);
  return r.session;
}

void QBAppStoreInsideSessionP::registerSharedInstance(std::shared_ptr<QBAppStoreInsideSessionP> session) {
  std::shared_ptr<QBAppStoreInsideSessionP> previous;  // released outside the lock
  auto& r = registry();
  std::lock_guard lock(r.mutex);
  previous = std::move(r.session);
  r.session = std::move(session);
}
