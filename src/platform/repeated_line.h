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

// All the lines of one source that outside input drives (a web view's pages,
// a script context), whatever their kind: at most kLinesPerSecond a second on
// average and kBurstLines at once; the rest are held back and counted, and the
// next line written ends with " (<n> more lines held back before this one)".
// A source can therefore never flood the log, however many kinds of line it
// finds. Any thread; times on the platform clock.
class LineRateLimit {
 public:
  static constexpr double kLinesPerSecond = 10;
  static constexpr double kBurstLines = 10;
  explicit LineRateLimit(double linesPerSecond = kLinesPerSecond, double burstLines = kBurstLines);

  // One more line: the text to write now, or none (held back and counted).
  std::optional<std::string> admit(const std::string& line);
  // A line that is written whatever the rate (one a source writes at most a
  // few times in its life: the stop of a page), with the count held back
  // before it. It still takes its place: the lines after it wait for it.
  std::string admitAlways(const std::string& line);
  // Lines held back since the limit was made.
  uint64_t heldBackTotal() const;

 private:
  const double perMs_;
  const double burst_;
  mutable std::mutex mutex_;
  double tokens_;
  int64_t filledAtMs_;  // platform clock
  uint64_t held_ = 0;
  uint64_t heldTotal_ = 0;

  void refill(int64_t now);
  std::string written(const std::string& line);
};

}  // namespace platform
