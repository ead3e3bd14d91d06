#include "output.h"

#include <unistd.h>

#include <cerrno>
#include <mutex>

namespace demo {

void printLine(const std::string& line) {
  static std::mutex mutex;
  const std::string text = line + "\n";
  std::lock_guard lock(mutex);
  size_t written = 0;
  while (written < text.size()) {
    const ssize_t n = ::write(STDOUT_FILENO, text.data() + written, text.size() - written);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;  // standard output is gone: nothing left to tell
    written += static_cast<size_t>(n);
  }
}

}  // namespace demo
