#include "measurement/walker/OMIDQuilbrnTreeWalkerP.h"

#include <mutex>

#include "measurement/state/OMIDQuilbrnStatePublisher.h"
#include "measurement/walker/OMIDQuilbrnTreeWalker.h"

namespace {

std::mutex& factoryMutex() {
  static std::mutex& m = *new std::mutex;
  return m;
}
OMIDQuilbrnTreeWalkerP::Factory& testFactory() {
  static OMIDQuilbrnTreeWalkerP::Factory& f = *new OMIDQuilbrnTreeWalkerP::Factory;
  return f;
}

}  // namespace

std::shared_ptr<OMIDQuilbrnTreeWalkerP> OMIDQuilbrnTreeWalkerP::create(
    std::shared_ptr<OMIDQuilbrnAdSessionRegistry> registry, std::shared_ptr<OMIDQuilbrnStatePublisher> statePublisher) {
  Factory factory;
  {
    std::lock_guard lock(factoryMutex());
    factory = testFactory();
  }
  if (factory) return factory(std::move(registry), std::move(statePublisher));
  return OMIDQuilbrnTreeWalker::initWithAdSessionRegistry(std::move(registry), std::move(statePublisher));
}

void OMIDQuilbrnTreeWalkerP::setFactoryForTesting(Factory factory) {
  std::lock_guard lock(factoryMutex());
  testFactory() = std::move(factory);
}
