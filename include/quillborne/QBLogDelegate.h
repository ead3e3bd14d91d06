#pragma once
// The application's log sink. Set with Quillborne::setLogDelegate; held
// weakly. Called on the thread that logged, never under a library lock.
#include <string>

// Log tags.
enum QBLogTag : int {
  QBLogTagAPI = 0,
  QBLogTagDelegate = 1,
  QBLogTagAdapterAPI = 2,
  QBLogTagAdapterDelegate = 3,
  QBLogTagNetwork = 4,
  QBLogTagNative = 5,
  QBLogTagInternal = 6,
  QBLogTagEvent = 7,
};

// Log levels: 0 most detailed, 1 delegate callbacks, 3 failures; a sink at -1
// is off.
enum QBLogLevel : int {
  QBLogLevelVerbose = 0,
  QBLogLevelInfo = 1,
  QBLogLevelWarning = 2,
  QBLogLevelError = 3,
  QBLogLevelCritical = 4,
};

class QBLogDelegate {
 public:
  virtual ~QBLogDelegate() = default;
  // `log` is the message as "<method> - <message>" (or the bare message when
  // no method was given). A message over 2,048 bytes (a long value from the
  // application, a server or a page) keeps its first 1,024 and last 256 bytes
  // with " ... [<total> bytes in all, <n> cut] ... " between them.
  virtual void sendLog(const std::string& log, int level, int tag) = 0;
};
