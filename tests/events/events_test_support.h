#pragma once
// Fixture helpers shared by the events tests: an isolated data root, fresh
// process-wide objects, and readers of what the engines backed up.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "core/QBConfigurations.h"
#include "events/QBEventsEngines.h"
#include "foundation/PMEReachability.h"
#include "foundation/QBKeyValueStorageProvider.h"
#include "platform/json.h"
#include "platform/storage.h"
#include "platform/test_environment.h"
#include "support/temp_dir.h"

namespace qbtest {

// Runs body(t) on n threads at once and joins them.
template <class F>
void runThreads(int n, F body) {
  std::vector<std::thread> threads;
  for (int t = 0; t < n; ++t) threads.emplace_back(body, t);
  for (auto& thread : threads) thread.join();
}

// Resets the engines, the configuration object and the reachability monitor
// and points the data root at a fresh folder.
class EventsIsolation {
 public:
  EventsIsolation() {
    platform::setDataRoot(dir_.path());
    platform::UserDefaults::resetStandardForTesting();
    resetProcessWide();
  }
  ~EventsIsolation() { resetProcessWide(); }

  static void resetProcessWide() {
    QBRewardedVideoEventsEngine::resetForTesting();
    QBInterstitialEventsEngine::resetForTesting();
    QBPixelEventsEngine::resetForTesting();
    QBConfigurations::getConfigurations().resetForTesting();
    PMEReachabilityManager::resetForTesting();
  }

  // The events an engine has backed up, oldest first.
  static std::vector<platform::Json> backedUp(const std::string& identifier) {
    std::vector<platform::Json> events;
    auto value = QBKeyValueStorageProvider::storageWithIdentifier(identifier)->getValue(QBEventsEngine::kBackupKey);
    if (value && value->is_array()) {
      for (const auto& event : *value) events.push_back(event);
    }
    return events;
  }

  static std::vector<int64_t> idsOf(const std::vector<platform::Json>& events) {
    std::vector<int64_t> ids;
    for (const auto& event : events) ids.push_back(event.value("eventId", int64_t{-1}));
    return ids;
  }

 private:
  TempDir dir_;
};

}  // namespace qbtest
