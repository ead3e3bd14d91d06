#pragma once
// A log line that outside input can make the library write without end (a
// page asking again and again for what is refused): written at most once a
// period, the next one saying how many were held back meanwhile. Any thread.
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>

namespace platform {

class RepeatedLine {
 public:
  explicit RepeatedLine(int64_t periodMs = 1000) : periodMs_(periodMs) {}

  // One more occurrence of `line`: the text to write now, or none (held back
  // and counted). A line written after some were held back ends with
  // " (<n> more like it held back in the last <period>)".
  std::optional<std::string> admit(const std::string& line);

 private:
  const int64_t periodMs_;
  std::mutex mutex_;
  bool any_ = false;
  int64_t writtenAtMs_ = 0;  // platform clock
  uint64_t held_ = 0;
};

// Repeated lines of several kinds, each kind held back on its own. The kinds
// are few (what was refused and why, the text of an exception); past
// kMaxKinds every line of a new kind is written.
class RepeatedLines {
 public:
  static constexpr size_t kMaxKinds = 64;
  explicit RepeatedLines(int64_t periodMs = 1000) : periodMs_(periodMs) {}

  // RepeatedLine::admit for the kind `kind`.
  std::optional<std::string> admit(const std::string& kind, const std::string& line);

 private:
  const int64_t periodMs_;
  std::mutex mutex_;
  std::map<std::string, RepeatedLine> kinds_;
};

}  // namespace platform
