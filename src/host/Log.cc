#include "quillborne/host/Log.h"

#include "foundation/QBLoggerManager.h"

namespace quillborne::host {

void Log::setLevel(int level) { QBLoggerManager::sharedInstance().setApplicationConsoleLevel(level < 0 ? -1 : level); }

void Log::clearLevel() { QBLoggerManager::sharedInstance().setApplicationConsoleLevel(std::nullopt); }

int Log::level() { return QBLoggerManager::sharedInstance().effectiveConsoleLevel(); }

void Log::setSink(Sink sink) { QBLoggerManager::sharedInstance().setConsoleSink(std::move(sink)); }

}  // namespace quillborne::host
