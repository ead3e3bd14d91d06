#include "ownnetwork/interfaces/QBNScriptHandlerFactories.h"

#include <mutex>

namespace {

struct Registry {
  std::mutex mutex;
  QBNScriptHandlerFactories factories;
};

Registry& registry() {
  static Registry& r = *new Registry();  // lives for the process
  return r;
}

}  // namespace

QBNScriptHandlerFactories QBNScriptHandlerFactories::current() {
  std::lock_guard<std::mutex> lock(registry().mutex);
  return registry().factories;
}

void QBNScriptHandlerFactories::update(const std::function<void(QBNScriptHandlerFactories&)>& change) {
  std::lock_guard<std::mutex> lock(registry().mutex);
  change(registry().factories);
}

void QBNScriptHandlerFactories::resetForTesting() {
  std::lock_guard<std::mutex> lock(registry().mutex);
  registry().factories = QBNScriptHandlerFactories{};
}
