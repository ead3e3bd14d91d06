#include "measurement/walker/OMIDQuilbrnTreeWalkerP.h"

#include <mutex>

#include "measurement/state/OMIDQuilbrnStatePublisher.h"

namespace {

// Until the view tree is walked, the walker keeps no timer and publishes no
// state; stopping still makes the next walk publish everything again.
class OMIDQuilbrnIdleTreeWalker : public OMIDQuilbrnTreeWalkerP {
 public:
  explicit OMIDQuilbrnIdleTreeWalker(std::shared_ptr<OMIDQuilbrnStatePublisher> statePublisher)
      : statePublisher_(std::move(statePublisher)) {}
  void start() override {}
  void pause() override {}
  void stop() override {
    if (statePublisher_) statePublisher_->cleanupCaches();
  }

 private:
  std::shared_ptr<OMIDQuilbrnStatePublisher> statePublisher_;
};

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
  return std::make_shared<OMIDQuilbrnIdleTreeWalker>(std::move(statePublisher));
}

void OMIDQuilbrnTreeWalkerP::setFactoryForTesting(Factory factory) {
  std::lock_guard lock(factoryMutex());
  testFactory() = std::move(factory);
}
