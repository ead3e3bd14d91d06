#include "platform/repeated_line.h"

#include <algorithm>

#include "platform/clock.h"

namespace platform {

std::optional<std::string> RepeatedLine::admit(const std::string& line) {
  const int64_t now = nowMonotonicMs();
  std::lock_guard lock(mutex_);
  if (any_ && now - writtenAtMs_ < periodMs_) {
    ++held_;
    return std::nullopt;
  }
  std::string out = line;
  if (held_ > 0) {
    const int64_t seconds = periodMs_ / 1000;
    const std::string period = periodMs_ % 1000 == 0 ? (seconds == 1 ? "second" : std::to_string(seconds) + " s")
                                                     : std::to_string(periodMs_) + " ms";
    out += " (" + std::to_string(held_) + " more like it held back in the last " + period + ")";
  }
  any_ = true;
  writtenAtMs_ = now;
  held_ = 0;
  return out;
}

std::optional<std::string> RepeatedLines::admit(const std::string& kind, const std::string& line) {
  RepeatedLine* repeated = nullptr;
  {
    std::lock_guard lock(mutex_);
    auto it = kinds_.find(kind);
    if (it == kinds_.end() && kinds_.size() < kMaxKinds) it = kinds_.try_emplace(kind, periodMs_).first;
    if (it != kinds_.end()) repeated = &it->second;  // entries stay where they are
  }
  return repeated ? repeated->admit(line) : std::optional<std::string>(line);
}

LineRateLimit::LineRateLimit(double linesPerSecond, double burstLines)
    : perMs_(std::max(0.0, linesPerSecond) / 1000.0),
      burst_(std::max(1.0, burstLines)),
      tokens_(burst_),
      filledAtMs_(nowMonotonicMs()) {}

void LineRateLimit::refill(int64_t now) {
  if (now <= filledAtMs_) return;
  tokens_ = std::min(burst_, tokens_ + static_cast<double>(now - filledAtMs_) * perMs_);
  filledAtMs_ = now;
}

// With the mutex held: the line as written, with the count held back before it.
std::string LineRateLimit::written(const std::string& line) {
  tokens_ -= 1;
  if (held_ == 0) return line;
  std::string out = line + " (" + std::to_string(held_) + " more lines held back before this one)";
  held_ = 0;
  return out;
}

std::optional<std::string> LineRateLimit::admit(const std::string& line) {
  const int64_t now = nowMonotonicMs();
  std::lock_guard lock(mutex_);
  refill(now);
  if (tokens_ < 1) {
    ++held_;
    ++heldTotal_;
    return std::nullopt;
  }
  return written(line);
}

std::string LineRateLimit::admitAlways(const std::string& line) {
  const int64_t now = nowMonotonicMs();
  std::lock_guard lock(mutex_);
  refill(now);
  return written(line);
}

uint64_t LineRateLimit::heldBackTotal() const {
  std::lock_guard lock(mutex_);
  return heldTotal_;
}

}  // namespace platform
