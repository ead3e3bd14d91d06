#pragma once
// The own network's console log.
//
// A line is written only while the debug mode allows its level: the mode is
// not 0 and 3 minus the mode is at most the level, both read as unsigned
// 64-bit numbers. So mode 3 writes every level, 2 the levels from 1, 1 the
// levels from 2, and 0 or any mode above 3 (or below 0) writes nothing. The tag
// is never written.
//
// Every call is thread-safe and writes on the calling thread.
#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

class PlovermarkLogManager {
 public:
  // The process-wide log manager (never destroyed).
  static PlovermarkLogManager& sharedManager();

  // The debug mode; 0 at creation. The publisher sets it from its start-up
  // parameters.
  int64_t requiredDebugMode() const { return requiredDebugMode_.load(); }
  void setRequiredDebugMode(int64_t mode) { requiredDebugMode_.store(mode); }

  // Writes `message` unchanged when the debug mode allows `level`.
  void log(const std::string& message, uint64_t level, int tag);
  // The same rule; the line is "[QuillborneNetwork | SDK | " + message + "]".
  void logWithNetworkPrefix(const std::string& message, uint64_t level, int tag);

  // Whether the debug mode allows a line of `level`.
  bool shouldLog(uint64_t level) const;

  // Writes a line to the console whatever the debug mode (for the few lines
  // the own network always prints: failed JSON serialisation, event upload
  // answers when their configuration asks for them). The line goes through
  // the mediation's console (QBLoggerManager::writeConsoleLine), so the
  // application's console level and sink apply; `level` as the mediation's.
  static void systemLog(const std::string& line, uint64_t level);

  // Console lines go to this writer instead of standard error (null: back to
  // standard error).
  static void setConsoleWriterForTesting(std::function<void(const std::string&)> writer);
  // Debug mode 0 and the standard-error console.
  void resetForTesting();

 private:
  PlovermarkLogManager() = default;

  std::atomic<int64_t> requiredDebugMode_{0};
};
