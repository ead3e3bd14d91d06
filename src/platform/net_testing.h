// Test-only view of the URL sessions' work.
#pragma once

#include <cstddef>
#include <cstdint>

namespace platform {

// Tasks of every session that were resumed and have no outcome yet (their
// completion is neither posted nor run). Tests driving a manual clock wait
// for these before moving it, so that a slow loopback answer does not lose
// to a timer.
size_t urlTasksInFlightForTesting();

class URLSession;

// What a session's I/O thread has done: how often its poll wait returned,
// and how many sockets its poll set holds now.
struct URLSessionIoStats {
  uint64_t wakeUps = 0;
  size_t socketsInPollSet = 0;
};
URLSessionIoStats urlSessionIoStatsForTesting(const URLSession& session);

}  // namespace platform
