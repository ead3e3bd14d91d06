#include "platform/file_paths.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "platform/storage.h"

namespace platform {
namespace fs = std::filesystem;

Status createDirectory(const std::string& path) {
  std::error_code ec;
  fs::create_directory(path, ec);
  if (!ec) return Ok{};
  if (isDirectory(path)) return Ok{};
  const int err = ec.value();
  StorageErrc code = StorageErrc::Io;
  if (err == ENOENT) code = StorageErrc::NotFound;
  if (err == EEXIST || err == ENOTDIR) code = StorageErrc::NotADirectory;
  return Error{kStorageErrorDomain, static_cast<int>(code), "create folder " + path + ": " + ec.message()};
}

bool isSymbolicLink(const std::string& path) {
  std::error_code ec;
  return fs::is_symlink(fs::symlink_status(path, ec));
}

std::optional<std::string> resolvedPath(const std::string& path) {
  std::error_code ec;
  const fs::path absolute = fs::absolute(path, ec);
  if (ec) return std::nullopt;
  const fs::path resolved = fs::weakly_canonical(absolute, ec);
  if (ec) return std::nullopt;
  return resolved.lexically_normal().string();
}

bool isPathInside(const std::string& path, const std::string& folder) {
  const fs::path p = fs::path(path).lexically_normal();
  const fs::path f = fs::path(folder).lexically_normal();
  auto pi = p.begin();
  for (auto fi = f.begin(); fi != f.end(); ++fi) {
    // A trailing separator shows up as an empty last component.
    if (fi->empty() && std::next(fi) == f.end()) break;
    if (pi == p.end() || *pi != *fi) return false;
    ++pi;
  }
  return true;
}

}  // namespace platform
