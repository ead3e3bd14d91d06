#include "measurement/sdk/OMIDQuilbrnMethodInvoker.h"

void OMIDQuilbrnMethodInvoker::performOnMain(const platform::Block& block) {
  if (!block) return;
  if (platform::isMainThread()) {
    block();
    return;
  }
  platform::mainQueue()->sync(block);
}

void OMIDQuilbrnMethodInvoker::performOnQueue(const platform::QueueRef& queue, platform::Block block) {
  if (!queue || !block) return;
  if (platform::isMainThread() && queue->kind() == platform::QueueKind::Main) {
    block();
    return;
  }
  queue->async(std::move(block));
}

void OMIDQuilbrnMethodInvoker::performOnQueue(const platform::QueueRef& queue, double afterDelaySeconds,
                                              platform::Block block) {
  if (!queue || !block) return;
  queue->after(afterDelaySeconds * 1000.0, std::move(block));
}
