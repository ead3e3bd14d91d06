#include "support/sandbox_files.h"

#include <mutex>

namespace qbtest {

namespace {

std::mutex& rootMutex() {
  static std::mutex& mutex = *new std::mutex();
  return mutex;
}

std::string& root() {
  static std::string& folder = *new std::string(QB_TESTS_DIR);
  return folder;
}

}  // namespace

void setSandboxFilesRoot(std::string folder) {
  std::lock_guard lock(rootMutex());
  root() = std::move(folder);
}

std::string sandboxFilesRoot() {
  std::lock_guard lock(rootMutex());
  return root();
}

std::string sandboxFile(const std::string& relative) { return sandboxFilesRoot() + "/" + relative; }

}  // namespace qbtest
