// Cost of recording analytics events: logEvent on the caller's thread, the
// engine's own throughput (enrichment, storage, backup) and the enrichment and
// batching steps alone. Real mode (no TestEnvironment); the data root is a
// fresh temporary folder. See docs/benchmarks.md.
#include <benchmark/benchmark.h>

#include <deque>
#include <future>
#include <memory>

#include "events/QBEventsEngines.h"
#include "events/QBEventsFormat.h"
#include "foundation/QBKeyValueStorageProvider.h"
#include "foundation/QBLoggerManager.h"
#include "platform/json.h"
#include "platform/notifications.h"
#include "platform/storage.h"
#include "support/temp_dir.h"

namespace {

using platform::Json;

// A fresh data root and engine for one benchmark; logs off.
struct EventsBenchSetup {
  EventsBenchSetup() {
    QBLoggerManager::sharedInstance().setConsoleLevel(-1);
    platform::setDataRoot(dir.path());
    platform::UserDefaults::resetStandardForTesting();
    QBRewardedVideoEventsEngine::resetForTesting();
    engine = QBRewardedVideoEventsEngine::sharedInstance();
  }
  ~EventsBenchSetup() {
    drain();
    engine.reset();
    QBRewardedVideoEventsEngine::resetForTesting();
  }
  // Waits until the engine's queue has run everything queued so far.
  void drain() {
    std::promise<void> done;
    auto future = done.get_future();
    engine->runOnQueueForTesting([&done] { done.set_value(); });
    future.wait();
  }

  qbtest::TempDir dir;
  std::shared_ptr<QBRewardedVideoEventsEngine> engine;
};

const Json& sampleData() {
  static const Json data = {{"provider", "Mediation"}, {"programmatic", 1}, {"sessionDepth", 3},
                            {"auctionId", "8e3f1c2a-4b7d-11ee-be56-0242ac120002"}, {"duration", 1234}};
  return data;
}

// What the caller pays: copy, offline check, one post to the serial queue.
void BM_LogEventCallerThread(benchmark::State& state) {
  EventsBenchSetup setup;
  int64_t n = 0;
  for (auto _ : state) {
    setup.engine->logEvent(QBEventData(1003, sampleData()));
    if (++n % 1024 == 0) {
      // Keep the queue's backlog bounded; not part of the caller's cost.
      state.PauseTiming();
      setup.drain();
      state.ResumeTiming();
    }
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_LogEventCallerThread);

// Events recorded per second by the engine (enrichment, keeping, backup
// writes coalesced per burst), before any upload configuration.
void BM_EngineRecordThroughput(benchmark::State& state) {
  EventsBenchSetup setup;
  const int64_t burst = state.range(0);
  for (auto _ : state) {
    for (int64_t i = 0; i < burst; ++i) setup.engine->logEvent(QBEventData(1003, sampleData()));
    setup.drain();
  }
  state.SetItemsProcessed(state.iterations() * burst);
}
BENCHMARK(BM_EngineRecordThroughput)->Arg(100)->Arg(1000)->UseRealTime()->Unit(benchmark::kMillisecond);

// Enrichment alone: the general properties of the moment + the flat event.
void BM_Enrich(benchmark::State& state) {
  EventsBenchSetup setup;
  QBEventsGeneralProperties general;
  const QBEventData event(1003, sampleData());
  for (auto _ : state) {
    Json enriched = general.enrich(event);
    benchmark::DoNotOptimize(enriched);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Enrich);

// The same as the engine keeps it: the enriched event's JSON text.
void BM_EnrichedText(benchmark::State& state) {
  EventsBenchSetup setup;
  QBEventsGeneralProperties general;
  const QBEventData event(1003, sampleData());
  for (auto _ : state) {
    std::string text = general.enrichedText(event);
    benchmark::DoNotOptimize(text);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_EnrichedText);

// Batching: the compact JSON text of an upload body of `range` enriched
// events, in both formats, as the engine makes it.
void BM_BatchBody(benchmark::State& state) {
  EventsBenchSetup setup;
  QBEventsGeneralProperties general;
  std::deque<QBKeptEvent> events;
  for (int64_t i = 0; i < state.range(0); ++i) {
    events.push_back(QBKeptEvent{1003, general.enrichedText(QBEventData(1003, sampleData()))});
  }
  const bool marrowjet = state.range(1) != 0;
  for (auto _ : state) {
    std::string text = QBEventsFormat::uploadBodyText(marrowjet, events, 0, events.size(), 0);
    benchmark::DoNotOptimize(text);
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_BatchBody)->Args({100, 0})->Args({100, 1})->Args({5000, 0});

// The engine's backup written with `range` events kept: one more event is
// recorded (past the bound, so the oldest is dropped and the backup must be
// written again), then the application's background notice makes the engine
// write it before the notice returns, flushed to the disk.
void BM_BackupWrite(benchmark::State& state) {
  EventsBenchSetup setup;
  for (int64_t i = 0; i < state.range(0); ++i) setup.engine->logEvent(QBEventData(1003, sampleData()));
  setup.drain();
  auto& center = platform::NotificationCenter::defaultCenter();
  for (auto _ : state) {
    setup.engine->logEvent(QBEventData(1003, sampleData()));
    center.post(platform::kUIApplicationDidEnterBackgroundNotification);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_BackupWrite)->Arg(100)->Arg(5000)->UseRealTime()->Unit(benchmark::kMillisecond);

// One settings write (a key of the standard user defaults) while the events
// engine's backup holds `range` enriched events, stored where the engine
// stores it. The backup lives in a store of its own, so the write should cost
// the same whatever its size.
void BM_SettingsWriteBesideEventBackup(benchmark::State& state) {
  EventsBenchSetup setup;
  QBEventsGeneralProperties general;
  Json backup = Json::array();
  for (int64_t i = 0; i < state.range(0); ++i) {
    backup.push_back(QBEventsGeneralProperties::enrich(QBEventData(1003, sampleData()), general.current()));
  }
  auto storage = QBKeyValueStorageProvider::storageWithIdentifier(setup.engine->identifier());
  storage->setValue(QBEventsEngine::kBackupKey, std::move(backup));
  auto& defaults = platform::UserDefaults::standard();
  int64_t n = 0;
  for (auto _ : state) defaults.setObject("bench.setting", Json(++n));
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_SettingsWriteBesideEventBackup)->Arg(0)->Arg(5000)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace
