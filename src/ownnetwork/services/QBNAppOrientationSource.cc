#include "ownnetwork/services/QBNAppOrientationSource.h"

#include <mutex>

namespace {

struct Registry {
  std::mutex mutex;
  std::shared_ptr<QBNAppOrientationSource> source;
};

Registry& registry() {
  static Registry& r = *new Registry();  // lives for the process
  return r;
}

}  // namespace

void QBNAppOrientationSource::registerSource(std::shared_ptr<QBNAppOrientationSource> source) {
  std::lock_guard lock(registry().mutex);
  registry().source = std::move(source);
}

std::shared_ptr<QBNAppOrientationSource> QBNAppOrientationSource::registeredSource() {
  std::lock_guard lock(registry().mutex);
  return registry().source;
}

uint64_t QBNAppOrientationSource::currentAppOrientation() {
  auto source = registeredSource();
  return source ? source->appOrientation() : 0;
}

std::optional<std::string> QBNAppOrientationSource::controllerString(uint64_t mask) {
  auto source = registeredSource();
  if (!source) return std::string("unknown");
  return source->controllerStringForOrientation(mask);
}
