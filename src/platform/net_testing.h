// Test-only view of the URL sessions' work.
#pragma once

#include <cstddef>

namespace platform {

// Tasks of every session that were resumed and have no outcome yet (their
// completion is neither posted nor run). Tests driving a manual clock wait
// for these before moving it, so that a slow loopback answer does not lose
// to a timer.
size_t urlTasksInFlightForTesting();

}  // namespace platform
