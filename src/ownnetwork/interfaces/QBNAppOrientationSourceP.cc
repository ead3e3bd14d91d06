#include "ownnetwork/interfaces/QBNAppOrientationSourceP.h"

#include <mutex>

namespace {

struct Registry {
  std::mutex mutex;
  std::shared_ptr<QBNAppOrientationSourceP> source;
};

Registry& registry() {
  static Registry& r = *new Registry();  // lives for the process
  return r;
}

}  // namespace

void QBNAppOrientationSourceP::registerSharedInstance(std::shared_ptr<QBNAppOrientationSourceP> source) {
  std::lock_guard lock(registry().mutex);
  registry().source = std::move(source);
}

std::shared_ptr<QBNAppOrientationSourceP> QBNAppOrientationSourceP::sharedInstance() {
  std::lock_guard lock(registry().mutex);
  return registry().source;
}

uint64_t QBNAppOrientationSourceP::currentAppOrientation() {
  auto source = sharedInstance();
  return source ? source->appOrientation() : 0;
}

std::optional<std::string> QBNAppOrientationSourceP::controllerString(uint64_t mask) {
  auto source = sharedInstance();
  if (!source) return std::string("unknown");
  return source->controllerStringForOrientation(mask);
}
