#include "foundation/QBLoggerManager.h"

#include <cstdio>

#include "platform/clock.h"
#include "platform/dispatch.h"

QBLoggerManager& QBLoggerManager::sharedInstance() {
  static QBLoggerManager* instance = new QBLoggerManager();
  return *instance;
}

std::string QBLoggerManager::tagName(int tag) {
  switch (tag) {
    case 0: return "API";
    case 1: return "DELEGATE";
    case 2: return "ADAPTER_API";
    case 3: return "ADAPTER_DELEGATE";
    case 4: return "NETWORK";
    case 5: return "NATIVE";
    case 6: return "INTERNAL";
    case 7: return "EVENT";
    default: return "UNKNOWN";
  }
}

void QBLoggerManager::dynamicLog(const char* method, const std::string& message, int level, int tag) {
  write(method ? std::string(method) : std::string(), message, level, tag);
}

void QBLoggerManager::log(const std::string& message, int level, int tag) { write("", message, level, tag); }

void QBLoggerManager::automationLog(const std::string& text, int level, int tag) {
  // Local wall time with milliseconds, from the platform clock.
  platform::LocalTime t = platform::localTime(platform::nowWallMs());
  char stamp[32];
  std::snprintf(stamp, sizeof stamp, "%02d:%02d:%02d.%03d", t.hour, t.minute, t.second, t.millisecond);
  write("", std::string("automation_log:") + stamp + " " + text, level, tag);
}

void QBLoggerManager::write(const std::string& method, const std::string& message, int level, int tag) {
  int consoleLevel, publisherLevel;
  std::shared_ptr<QBLogDelegate> delegate;
  std::function<void(const std::string&)> writer;
  {
    std::lock_guard lock(mutex_);
    consoleLevel = consoleLevel_;
    publisherLevel = publisherLevel_;
    delegate = delegate_.lock();
    writer = consoleWriter_;
  }
  const std::string body = method.empty() ? message : method + " - " + message;
  if (consoleLevel >= 0 && level >= consoleLevel) {
    std::string line = "[quillborne SDK] " + tagName(tag) + ": UITHREAD: " +
                       (platform::isMainThread() ? "true" : "false") + " " + body;
    if (writer) {
      writer(line);
    } else {
      std::fprintf(stderr, "%s\n", line.c_str());
    }
  }
  if (delegate && publisherLevel >= 0 && level >= publisherLevel) delegate->sendLog(body, level, tag);
}

void QBLoggerManager::setLogDelegate(std::weak_ptr<QBLogDelegate> delegate) {
  std::lock_guard lock(mutex_);
  delegate_ = std::move(delegate);
}

void QBLoggerManager::setConsoleLevel(int level) {
  std::lock_guard lock(mutex_);
  consoleLevel_ = level;
}

void QBLoggerManager::setPublisherLevel(int level) {
  std::lock_guard lock(mutex_);
  publisherLevel_ = level;
}

int QBLoggerManager::consoleLevel() const {
  std::lock_guard lock(mutex_);
  return consoleLevel_;
}

int QBLoggerManager::publisherLevel() const {
  std::lock_guard lock(mutex_);
  return publisherLevel_;
}

void QBLoggerManager::setConsoleWriterForTesting(std::function<void(const std::string&)> writer) {
  std::lock_guard lock(mutex_);
  consoleWriter_ = std::move(writer);
}

void QBLoggerManager::resetForTesting() {
  std::lock_guard lock(mutex_);
  consoleLevel_ = 0;
  publisherLevel_ = 1;
  delegate_.reset();
  consoleWriter_ = nullptr;
}
