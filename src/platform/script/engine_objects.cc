#include "platform/script/engine_objects.h"

#include <array>
#include <atomic>
#include <map>
#include <mutex>

#include "platform/script/script_context.h"
#include "platform/web/web_view.h"

namespace platform {

namespace {

std::atomic<uint64_t> generationNow{0};

struct Counts {
  std::mutex mutex;
  // Per kind: generation to objects alive (no entry once none is).
  std::array<std::map<uint64_t, size_t>, 2> live;
};

Counts& counts() {
  static Counts& registry = *new Counts();  // pages may go while the process exits
  return registry;
}

size_t index(engine::LiveObject kind) { return kind == engine::LiveObject::WebPage ? 0 : 1; }

size_t liveOf(engine::LiveObject kind, uint64_t generation) {
  auto& registry = counts();
  std::lock_guard lock(registry.mutex);
  const auto& live = registry.live[index(kind)];
  const auto found = live.find(generation);
  return found == live.end() ? 0 : found->second;
}

size_t totalOf(engine::LiveObject kind) {
  auto& registry = counts();
  std::lock_guard lock(registry.mutex);
  size_t total = 0;
  for (const auto& [generation, alive] : registry.live[index(kind)]) total += alive;
  return total;
}

}  // namespace

void setEngineGenerationForTesting(uint64_t generation) { generationNow.store(generation); }
uint64_t engineGenerationForTesting() { return generationNow.load(); }

size_t liveWebPagesForTesting(uint64_t generation) { return liveOf(engine::LiveObject::WebPage, generation); }
size_t liveScriptContextsForTesting(uint64_t generation) {
  return liveOf(engine::LiveObject::ScriptContext, generation);
}
size_t liveWebPagesForTesting() { return totalOf(engine::LiveObject::WebPage); }
size_t liveScriptContextsForTesting() { return totalOf(engine::LiveObject::ScriptContext); }

namespace engine {

void countMade(LiveObject kind, uint64_t generation) {
  auto& registry = counts();
  std::lock_guard lock(registry.mutex);
  ++registry.live[index(kind)][generation];
}

void countReleased(LiveObject kind, uint64_t generation) {
  auto& registry = counts();
  std::lock_guard lock(registry.mutex);
  auto& live = registry.live[index(kind)];
  const auto found = live.find(generation);
  if (found == live.end()) return;
  if (--found->second == 0) live.erase(found);
}

}  // namespace engine
}  // namespace platform
