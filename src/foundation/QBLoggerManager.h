#pragma once
// The one log manager of the mediation. Every message goes to two sinks, each
// with its own minimum level: the console (starts at 0) and the publisher sink,
// the application's QBLogDelegate (starts at 1). A sink at -1 is off; otherwise
// it writes every message whose level is at least its own.
//
// Console line: "[quillborne SDK] " + tag name + ": " + "UITHREAD: true|false"
// + " " + method + " - " + message.
//
// The application may set a console level of its own (the host's Log): it
// then holds over the level the configuration sets, and also filters the
// console lines of the library's other logs (writeConsoleLine). The console
// writes to standard error, or to the application's console sink.
//
// The console of the pages the library's web views run (and the faults the
// web views contain) comes here too, as lines from the method "webView" with
// the page's level and tag NATIVE: the manager takes the web layer's log when
// it is first used.
//
// Messages carry values from the application, servers and pages (keys, ids,
// answers, page text) of any size. A message longer than kLongMessageBytes is
// cut where the line is formed, for both sinks and for the other logs' console
// lines alike: its first kHeadBytes and last kTailBytes stay, and between them
// " ... [<total> bytes in all, <n> cut] ... " says how long it was.
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

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
  // Whether a line of `level` goes anywhere now (the console or the
  // application's delegate); QB_LOG puts its message together only then.
  bool writes(int level) const;

  void setLogDelegate(std::weak_ptr<QBLogDelegate> delegate);
  // The configuration's levels (the console's holds only while the
  // application has set none).
  void setConsoleLevel(int level);
  void setPublisherLevel(int level);
  int consoleLevel() const;
  int publisherLevel() const;

  // The application's console level; none: back to the configuration's.
  void setApplicationConsoleLevel(std::optional<int> level);
  std::optional<int> applicationConsoleLevel() const;
  // The console level in force.
  int effectiveConsoleLevel() const;
  // Console lines go to `sink` (level, line) instead of standard error;
  // nullptr: standard error again.
  using ConsoleSink = std::function<void(int level, const std::string& line)>;
  void setConsoleSink(ConsoleSink sink);
  // A console line of another log of the library (the own network's, gated by
  // its own rules): written unless the application's level is above `level`
  // or off.
  void writeConsoleLine(int level, const std::string& line);

  // "API", "DELEGATE", ... ; "UNKNOWN" for a tag outside 0-7.
  static std::string tagName(int tag);

  static constexpr size_t kLongMessageBytes = 2048;
  static constexpr size_t kHeadBytes = 1024;
  static constexpr size_t kTailBytes = 256;
  // `text` as a line carries it: whole up to kLongMessageBytes, else cut as
  // above, at UTF-8 character boundaries.
  static std::string boundedText(std::string text);

  // Console lines go to this writer instead of standard error.
  void setConsoleWriterForTesting(std::function<void(const std::string&)> writer);
  // Default levels, no application level, no delegate, standard-error
  // console.
  void resetForTesting();

 private:
  QBLoggerManager() = default;
  void write(std::string_view method, const std::string& message, int level, int tag);
  // Writes one console line to the test writer, the sink or standard error.
  void emitConsoleLine(int level, const std::string& line) const;

  mutable std::recursive_mutex mutex_;
  int consoleLevel_ = 0;
  int publisherLevel_ = 1;
  std::optional<int> applicationConsoleLevel_;
  std::weak_ptr<QBLogDelegate> delegate_;
  std::function<void(const std::string&)> consoleWriter_;
  ConsoleSink consoleSink_;
};

// Shorthand used across the library: QB_LOG(message, level, tag) logs with the
// calling function's name; QB_LOG_AS(method, message, level, tag) with the
// given one (a public call that an inner function serves for several names).
#define QB_LOG_AS(method, message, level, tag)                               \
  do {                                                                       \
    QBLoggerManager& qbLogManager = QBLoggerManager::sharedInstance();       \
    if (qbLogManager.writes((level))) {                                      \
      qbLogManager.dynamicLog((method), (message), (level), (tag));          \
    }                                                                        \
  } while (0)
#define QB_LOG(message, level, tag) QB_LOG_AS(__func__, message, level, tag)
