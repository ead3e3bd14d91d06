#include "ownnetwork/services/PlovermarkLogManager.h"

#include <algorithm>

#include "foundation/QBLoggerManager.h"

namespace {

struct Console {
  std::mutex mutex;
  std::function<void(const std::string&)> writer;
};

Console& console() {
  static Console& c = *new Console();  // lives for the process
  return c;
}

}  // namespace

PlovermarkLogManager& PlovermarkLogManager::sharedManager() {
  static PlovermarkLogManager& manager = *new PlovermarkLogManager();  // lives for the process
  return manager;
}

bool PlovermarkLogManager::shouldLog(uint64_t level) const {
  const int64_t mode = requiredDebugMode_.load();
  // Unsigned on purpose: a mode above 3 makes 3 - mode wrap to a huge number
  // that no level reaches.
  return mode != 0 && static_cast<uint64_t>(3 - mode) <= level;
}

void PlovermarkLogManager::log(const std::string& message, uint64_t level, int /*tag*/) {
  if (shouldLog(level)) systemLog(message, level);
}

void PlovermarkLogManager::logWithNetworkPrefix(const std::string& message, uint64_t level, int /*tag*/) {
  if (shouldLog(level)) systemLog("[QuillborneNetwork | SDK | " + message + "]", level);
}

void PlovermarkLogManager::systemLog(const std::string& line, uint64_t level) {
  std::function<void(const std::string&)> writer;
  {
    std::lock_guard lock(console().mutex);
    writer = console().writer;
  }
  if (writer) {
    writer(line);
    return;
  }
  QBLoggerManager::sharedInstance().writeConsoleLine(static_cast<int>(std::min<uint64_t>(level, 4)), line);
}

void PlovermarkLogManager::setConsoleWriterForTesting(std::function<void(const std::string&)> writer) {
  std::lock_guard lock(console().mutex);
  console().writer = std::move(writer);
}

void PlovermarkLogManager::resetForTesting() {
  requiredDebugMode_.store(0);
  setConsoleWriterForTesting(nullptr);
}
