// Text lines recorded from any thread (log lines, callbacks heard), read by the
// test thread.
#pragma once

#include <algorithm>
#include <mutex>
#include <string>
#include <vector>

namespace qbtest {

class Lines {
 public:
  void add(std::string line) {
    std::lock_guard lock(mutex_);
    lines_.push_back(std::move(line));
  }
  std::vector<std::string> lines() const {
    std::lock_guard lock(mutex_);
    return lines_;
  }
  void clear() {
    std::lock_guard lock(mutex_);
    lines_.clear();
  }
  // The lines containing `text`; `from` skips the lines recorded before it.
  std::vector<std::string> linesWith(const std::string& text, size_t from = 0) const {
    std::vector<std::string> out;
    auto all = lines();
    for (size_t i = from; i < all.size(); ++i) {
      if (all[i].find(text) != std::string::npos) out.push_back(all[i]);
    }
    return out;
  }
  size_t countContaining(const std::string& text) const { return linesWith(text).size(); }
  bool contains(const std::string& text, size_t from = 0) const { return !linesWith(text, from).empty(); }
  // Whether exactly `line` was recorded.
  bool heard(const std::string& line) const {
    auto all = lines();
    return std::find(all.begin(), all.end(), line) != all.end();
  }

 private:
  mutable std::mutex mutex_;
  std::vector<std::string> lines_;
};

}  // namespace qbtest
