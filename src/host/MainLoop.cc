// The host's main loop and application notices over the platform layer's
// dispatch, storage and UI application.
#include "quillborne/host/MainLoop.h"

#include "platform/dispatch.h"

namespace quillborne::host {

void MainLoop::run() { platform::runMainLoop(); }

bool MainLoop::runUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
  if (!done) return false;
  return platform::runMainUntil(done, timeout.count());
}

void MainLoop::stop() { platform::stopMainLoop(); }

void MainLoop::post(std::function<void()> block) {
  if (!block) return;
  platform::mainQueue()->async(std::move(block));
}

bool MainLoop::isMainThread() { return platform::isMainThread(); }

}  // namespace quillborne::host
