#pragma once
// How every public operation of the measurement SDK reaches the main thread.
// A "selector" is any callable taking the target (and the argument); the
// target is a shared object.
//
//   call                   on the main thread        on another thread
//   ---------------------  ------------------------  ------------------------------------
//   performSelectorAsync   runs at once              posted to the main queue; the target
//                                                    held weakly (gone: nothing happens),
//                                                    the argument held
//   performSelectorSync    runs at once              runs on the main queue, the caller
//                                                    waits; the target held
//   performOnMain          runs at once              runs on the main queue, the caller waits
//   performOnQueue         at once when the queue    posted to the queue
//                          is the main queue, else
//                          posted to the queue
//   performOnQueue(delay)  posted to the queue after the delay (seconds)
//
// A null target or queue does nothing. The synchronous forms wait for the main
// queue: the main thread must never wait for a thread that calls them (the
// library's main-queue code never waits for its workers).
#include <memory>
#include <utility>

#include "platform/dispatch.h"

class OMIDQuilbrnMethodInvoker {
 public:
  template <class T, class Selector>
  static void performSelectorAsync(Selector selector, const std::shared_ptr<T>& target) {
    if (!target) return;
    if (platform::isMainThread()) {
      selector(*target);
      return;
    }
    platform::mainQueue()->async([selector = std::move(selector), weak = std::weak_ptr<T>(target)]() mutable {
      if (auto t = weak.lock()) selector(*t);
    });
  }

  template <class T, class Selector, class Argument>
  static void performSelectorAsync(Selector selector, const std::shared_ptr<T>& target, Argument argument) {
    if (!target) return;
    if (platform::isMainThread()) {
      selector(*target, argument);
      return;
    }
    platform::mainQueue()->async([selector = std::move(selector), weak = std::weak_ptr<T>(target),
                                  argument = std::move(argument)]() mutable {
      if (auto t = weak.lock()) selector(*t, argument);
    });
  }

  template <class T, class Selector, class Argument>
  static void performSelectorSync(Selector selector, const std::shared_ptr<T>& target, const Argument& argument) {
    if (!target) return;
    if (platform::isMainThread()) {
      selector(*target, argument);
      return;
    }
    platform::mainQueue()->sync([&] { selector(*target, argument); });
  }

  static void performOnMain(const platform::Block& block);
  static void performOnQueue(const platform::QueueRef& queue, platform::Block block);
  static void performOnQueue(const platform::QueueRef& queue, double afterDelaySeconds, platform::Block block);
};
