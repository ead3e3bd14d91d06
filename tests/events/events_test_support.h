#pragma once
// Fixture helpers shared by the events tests: an isolated data root, fresh
// process-wide objects, and readers of what the engines backed up.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "events/QBEventsEngines.h"
#include "platform/json.h"
#include "platform/storage.h"
#include "platform/test_environment.h"
#include "support/process_reset.h"
#include "support/sandbox_events.h"
#include "support/temp_dir.h"

namespace qbtest {

// Runs body(t) on n threads at once and joins them.
template <class F>
void runThreads(int n, F body) {
  std::vector<std::thread> threads;
  for (int t = 0; t < n; ++t) threads.emplace_back(body, t);
  for (auto& thread : threads) thread.join();
}

// Resets the process-wide objects and points the data root at a fresh folder.
class EventsIsolation {
 public:
  EventsIsolation() {
    platform::setDataRoot(dir_.path());
    platform::UserDefaults::resetStandardForTesting();
    resetProcessWide();
  }
  ~EventsIsolation() { resetProcessWide(); }

 private:
  TempDir dir_;
};

}  // namespace qbtest
