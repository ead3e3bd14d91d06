#include "foundation/QBSafeDispatch.h"

#include <string>
#include <utility>

#include "foundation/QBLoggerManager.h"
#include "platform/runtime.h"

namespace {

void runGuarded(const char* method, const platform::Block& block) {
  if (!block) return;
  if (auto caught = platform::guard(block)) {
    QBLoggerManager::sharedInstance().dynamicLog(method, "exception caught: " + caught->description(),
                                                 QBLogLevelError, QBLogTagInternal);
  }
}

void logMissingQueue(const char* method) {
  QBLoggerManager::sharedInstance().dynamicLog(method, "no queue to dispatch on", QBLogLevelError,
                                               QBLogTagInternal);
}

}  // namespace

void sc_safe_dispatch_once(platform::OnceFlag& flag, const platform::Block& block) {
  // The guard sits inside the once-block so a throw does not leave the flag
  // unset for the next caller to run the block again.
  platform::runOnce(flag, [&block] { runGuarded("sc_safe_dispatch_once", block); });
}

void sc_safe_dispatch_async(const platform::QueueRef& queue, platform::Block block) {
  if (!queue) {
    logMissingQueue(__func__);
    return;
  }
  queue->async([block = std::move(block)] { runGuarded("sc_safe_dispatch_async", block); });
}

void sc_safe_dispatch_sync(const platform::QueueRef& queue, const platform::Block& block) {
  if (!queue) {
    logMissingQueue(__func__);
    return;
  }
  queue->sync([&block] { runGuarded("sc_safe_dispatch_sync", block); });
}
