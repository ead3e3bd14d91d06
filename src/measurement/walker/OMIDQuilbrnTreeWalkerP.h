#pragma once
// What the SDK asks of its tree walker: the engine that walks the view tree
// of every screen container while sessions are active and hands each
// container's view state to the state publisher.
//
// The SDK makes one walker (create) with its registry and its state
// publisher, and calls it on the main thread: start when it starts with the
// application active and on every activation, pause when the application
// resigns active, stop when the last session finished.
#include <functional>
#include <memory>

class OMIDQuilbrnAdSessionRegistry;
class OMIDQuilbrnStatePublisher;

class OMIDQuilbrnTreeWalkerP {
 public:
  virtual ~OMIDQuilbrnTreeWalkerP() = default;
  // Walks once now, then keeps walking on its timer (a second start walks
  // again and keeps the one timer).
  virtual void start() = 0;
  // Stops the timer.
  virtual void pause() = 0;
  // pause, and the state publisher forgets every published state (the next
  // walk publishes everything again).
  virtual void stop() = 0;

  using Factory = std::function<std::shared_ptr<OMIDQuilbrnTreeWalkerP>(
      std::shared_ptr<OMIDQuilbrnAdSessionRegistry> registry, std::shared_ptr<OMIDQuilbrnStatePublisher> statePublisher)>;
  // The walker of an SDK.
  static std::shared_ptr<OMIDQuilbrnTreeWalkerP> create(std::shared_ptr<OMIDQuilbrnAdSessionRegistry> registry,
                                                       std::shared_ptr<OMIDQuilbrnStatePublisher> statePublisher);
  // Walkers made from now on come from `factory` (nullptr: the library's
  // own again). For tests that watch what the SDK asks of its walker.
  static void setFactoryForTesting(Factory factory);
};
