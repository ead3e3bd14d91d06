#include "foundation/QBLoggerManager.h"

#include <cstdio>

#include "platform/clock.h"
#include "platform/dispatch.h"
#include "platform/web/web_view.h"

namespace {

constexpr int kTagNative = 5;

}  // namespace

QBLoggerManager& QBLoggerManager::sharedInstance() {
  static QBLoggerManager* instance = [] {
    auto* manager = new QBLoggerManager();
    // The pages' console and the web views' faults become the library's own
    // lines, under its levels and sinks.
    platform::setWebLogSink([manager](platform::WebLogLevel level, const std::string& line) {
      manager->dynamicLog("webView", line, static_cast<int>(level), kTagNative);
    });
    return manager;
  }();
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

namespace {

bool isContinuationByte(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

}  // namespace

std::string QBLoggerManager::boundedText(std::string text) {
  if (text.size() <= kLongMessageBytes) return text;
  // A character is at most four bytes: move at most three bytes to reach the
  // start of one, so text that is no UTF-8 is cut all the same.
  size_t headEnd = kHeadBytes;
  for (int step = 0; step < 3 && isContinuationByte(text[headEnd]); ++step) --headEnd;
  size_t tailStart = text.size() - kTailBytes;
  for (int step = 0; step < 3 && isContinuationByte(text[tailStart]); ++step) ++tailStart;
  const size_t cut = tailStart - headEnd;
  std::string out;
  out.reserve(headEnd + (text.size() - tailStart) + 64);
  out.append(text, 0, headEnd);
  out += " ... [" + std::to_string(text.size()) + " bytes in all, " + std::to_string(cut) + " cut] ... ";
  out.append(text, tailStart, std::string::npos);
  return out;
}

void QBLoggerManager::dynamicLog(const char* method, const std::string& message, int level, int tag) {
  write(method ? std::string_view(method) : std::string_view(), message, level, tag);
}

void QBLoggerManager::log(const std::string& message, int level, int tag) { write("", message, level, tag); }

void QBLoggerManager::automationLog(const std::string& text, int level, int tag) {
  // Local wall time with milliseconds, from the platform clock.
  platform::LocalTime t = platform::localTime(platform::nowWallMs());
  char stamp[32];
  std::snprintf(stamp, sizeof stamp, "%02d:%02d:%02d.%03d", t.hour, t.minute, t.second, t.millisecond);
  write("", std::string("automation_log:") + stamp + " " + text, level, tag);
}

namespace {
bool passes(int level, int threshold) { return threshold >= 0 && level >= threshold; }
}  // namespace

bool QBLoggerManager::writes(int level) const {
  std::lock_guard lock(mutex_);  // recursive: effectiveConsoleLevel() takes it too
  return passes(level, effectiveConsoleLevel()) || (passes(level, publisherLevel_) && !delegate_.expired());
}

void QBLoggerManager::write(std::string_view method, const std::string& message, int level, int tag) {
  int consoleLevel, publisherLevel;
  std::shared_ptr<QBLogDelegate> delegate;
  {
    std::lock_guard lock(mutex_);
    consoleLevel = effectiveConsoleLevel();
    publisherLevel = publisherLevel_;
    delegate = delegate_.lock();
  }
  const bool toConsole = passes(level, consoleLevel);
  const bool toPublisher = delegate && passes(level, publisherLevel);
  // Most lines go nowhere: no text is put together for them.
  if (!toConsole && !toPublisher) return;
  const std::string body = boundedText(method.empty() ? message : std::string(method) + " - " + message);
  if (toConsole) {
    emitConsoleLine(level, "[quillborne SDK] " + tagName(tag) + ": UITHREAD: " +
                               (platform::isMainThread() ? "true" : "false") + " " + body);
  }
  if (toPublisher) delegate->sendLog(body, level, tag);
}

void QBLoggerManager::writeConsoleLine(int level, const std::string& line) {
  std::optional<int> applicationLevel;
  {
    std::lock_guard lock(mutex_);
    applicationLevel = applicationConsoleLevel_;
  }
  if (applicationLevel && (*applicationLevel < 0 || level < *applicationLevel)) return;
  emitConsoleLine(level, boundedText(line));
}

void QBLoggerManager::emitConsoleLine(int level, const std::string& line) const {
  std::function<void(const std::string&)> writer;
  ConsoleSink sink;
  {
    std::lock_guard lock(mutex_);
    writer = consoleWriter_;
    sink = consoleSink_;
  }
  if (writer) {
    writer(line);
  } else if (sink) {
    sink(level, line);
  } else {
    std::fprintf(stderr, "%s\n", line.c_str());
  }
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

void QBLoggerManager::setApplicationConsoleLevel(std::optional<int> level) {
  std::lock_guard lock(mutex_);
  applicationConsoleLevel_ = level;
}

std::optional<int> QBLoggerManager::applicationConsoleLevel() const {
  std::lock_guard lock(mutex_);
  return applicationConsoleLevel_;
}

int QBLoggerManager::effectiveConsoleLevel() const {
  std::lock_guard lock(mutex_);
  return applicationConsoleLevel_.value_or(consoleLevel_);
}

void QBLoggerManager::setConsoleSink(ConsoleSink sink) {
  std::lock_guard lock(mutex_);
  consoleSink_ = std::move(sink);
}

void QBLoggerManager::setConsoleWriterForTesting(std::function<void(const std::string&)> writer) {
  std::lock_guard lock(mutex_);
  consoleWriter_ = std::move(writer);
}

void QBLoggerManager::resetForTesting() {
  std::lock_guard lock(mutex_);
  consoleLevel_ = 0;
  publisherLevel_ = 1;
  applicationConsoleLevel_.reset();
  delegate_.reset();
  consoleWriter_ = nullptr;
  consoleSink_ = nullptr;
}
