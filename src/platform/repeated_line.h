#pragma once
// A log line that outside input can make the library write without end (a
// page asking again and again for what is refused): written at most once a
// period, the next one saying how many were held back meanwhile. Any thread.
#include <cstdint>
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
  // Occurrences held back since the last line written.
  uint64_t heldBack() const;

 private:
  const int64_t periodMs_;
  mutable std::mutex mutex_;
  bool any_ = false;
  int64_t writtenAtMs_ = 0;  // platform clock
  uint64_t held_ = 0;
};

}  // namespace platform
