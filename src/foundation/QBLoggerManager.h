#pragma once
// The one log manager of the mediation. Every message goes to two sinks, each
// with its own minimum level: the console (starts at 0) and the publisher sink,
// the application's QBLogDelegate (starts at 1). A sink at -1 is off; otherwise
// it writes every message whose level is at least its own.
//
// Console line: "[quillborne SDK] " + tag name + ": " + "UITHREAD: true|false"
// + " " + method + " - " + message.
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "quillborne/QBLogDelegate.h"

class QBLoggerManager {
 public:
  static QBLoggerManager& sharedInstance();

  // Logs `message` from the method named `method` (may be null or empty).
  void dynamicLog(const char* method, const std::string& message, int level, int tag);
  // A line for automated tests: "automation_log:" + time + " " + text, written
  // through the same sinks.
  void automationLog(const std::string& text, int level, int tag);
  // Logs a message without a method name.
  void log(const std::string& message, int level, int tag);

  void setLogDelegate(std::weak_ptr<QBLogDelegate> delegate);
  void setConsoleLevel(int level);
  void setPublisherLevel(int level);
  int consoleLevel() const;
  int publisherLevel() const;

  // "API", "DELEGATE", ... ; "UNKNOWN" for a tag outside 0-7.
  static std::string tagName(int tag);

  // Console lines go to this writer instead of standard error.
  void setConsoleWriterForTesting(std::function<void(const std::string&)> writer);
  // Default levels, no delegate, standard-error console.
  void resetForTesting();

 private:
  QBLoggerManager() = default;
  void write(const std::string& method, const std::string& message, int level, int tag);

  mutable std::recursive_mutex mutex_;
  int consoleLevel_ = 0;
  int publisherLevel_ = 1;
  std::weak_ptr<QBLogDelegate> delegate_;
  std::function<void(const std::string&)> consoleWriter_;
};

// Shorthand used across the library: QB_LOG(message, level, tag) logs with the
// calling function's name.
#define QB_LOG(message, level, tag) QBLoggerManager::sharedInstance().dynamicLog(__func__, (message), (level), (tag))
