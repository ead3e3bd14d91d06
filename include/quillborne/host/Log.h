#pragma once
// The library's console: every log line at or above the console's level, from
// the mediation, the own network and the console of the pages its web views
// run, written to standard error unless the application gives a sink. The
// application's log delegate (Quillborne::setLogDelegate) is a second sink
// with its own level, set by the configuration. See docs/host.md.
#include <functional>
#include <string>

#include "quillborne/QBLogDelegate.h"  // QBLogLevel

namespace quillborne::host {

class Log {
 public:
  Log() = delete;

  // Lines go to the console when their level (QBLogLevel: 0 verbose, 1 info,
  // 2 warning, 3 error, 4 critical) is at least `level`; -1 turns the console
  // off. The application's level holds over the configuration's
  // ("loggers"/"console"), which the library otherwise follows (0 until a
  // configuration says otherwise: without a level of its own an application
  // sees every line; QBLogLevelWarning keeps warnings and errors only).
  static void setLevel(int level);
  // Back to the configuration's level.
  static void clearLevel();
  // The level in force.
  static int level();

  // Console lines go to `sink` instead of standard error (nullptr: standard
  // error again): its level and the whole line. Called on the thread that
  // logged, never under a lock of the library; it must not call back into
  // the library.
  using Sink = std::function<void(int level, const std::string& line)>;
  static void setSink(Sink sink);
};

}  // namespace quillborne::host
