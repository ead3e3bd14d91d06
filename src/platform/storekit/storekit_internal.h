#pragma once
// What the store stand-in's classes share: running an answer where and when
// StoreKitControl says.
#include "platform/dispatch.h"
#include "platform/storekit/storekit_control.h"

namespace platform::storekit_internal {

// Runs `block` on `thread`: inline at once, or later on the main or a global
// queue, after `delayMs` when it is above 0.
inline void deliverOn(StoreLoadThread thread, double delayMs, Block block) {
  if (thread == StoreLoadThread::Inline) {
    block();
    return;
  }
  const QueueRef queue = thread == StoreLoadThread::MainQueue ? mainQueue() : globalQueue();
  if (delayMs > 0) {
    queue->after(delayMs, std::move(block));
  } else {
    queue->async(std::move(block));
  }
}

}  // namespace platform::storekit_internal
