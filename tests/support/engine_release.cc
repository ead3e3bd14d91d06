#include "support/engine_release.h"

#include <atomic>
#include <chrono>
#include <memory>

#include "platform/dispatch.h"
#include "platform/script/engine_objects.h"
#include "platform/test_environment.h"
#include "platform/web/web_view.h"

namespace qbtest {

std::string EngineObjects::describe() const {
  return std::to_string(pages) + " web page(s) and " + std::to_string(contexts) + " script context(s)";
}

EngineObjects liveEngineObjects(uint64_t generation) {
  return EngineObjects{platform::liveWebPagesForTesting(generation),
                       platform::liveScriptContextsForTesting(generation)};
}

bool waitUntilEngineObjectsReleased(uint64_t generation, int64_t timeoutMs) {
  const auto none = [generation] { return liveEngineObjects(generation).none(); };
  if (auto* env = platform::TestEnvironment::current()) {
    env->runUntilIdle();
    return none();
  }
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  auto left = [&deadline] {
    return std::max<int64_t>(
        0, std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count());
  };
  for (;;) {
    // What the main queue holds now may release a web view; its page then
    // goes on its content queue, after what that queue holds.
    auto drained = std::make_shared<std::atomic<bool>>(false);
    platform::mainQueue()->async([drained] {
      platform::afterWebContentForTesting([drained] {
        platform::mainQueue()->async([drained] { drained->store(true); });
      });
    });
    const bool ran = platform::runMainUntil([drained] { return drained->load(); }, left());
    if (none()) return true;
    if (!ran || left() == 0) return false;
    // A script context goes with its owner on the owner's queue, which tells
    // the main queue nothing: look again shortly.
    platform::runMainUntil(none, std::min<int64_t>(10, left()));
  }
}

}  // namespace qbtest
