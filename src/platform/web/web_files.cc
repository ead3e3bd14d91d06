#include "platform/web/web_files.h"

#include <filesystem>
#include <system_error>

#include "platform/net.h"
#include "platform/storage.h"
#include "platform/web/web_view.h"

namespace platform::web_internal {

namespace {

std::string canonicalPath(const std::string& path) {
  std::error_code ec;
  std::string out = std::filesystem::weakly_canonical(path, ec).string();
  if (ec) return {};
  while (out.size() > 1 && out.back() == '/') out.pop_back();
  return out;
}

}  // namespace

bool isInside(const std::string& root, const std::string& path) {
  if (root.empty() || path.empty()) return false;
  const std::string r = canonicalPath(root);
  const std::string p = canonicalPath(path);
  if (r.empty() || p.empty()) return false;
  if (p == r) return true;
  const std::string prefix = r == "/" ? r : r + "/";
  return p.compare(0, prefix.size(), prefix) == 0;
}

Result<std::string> readWebFile(const std::string& path) {
  auto data = readFile(path, kMaxWebResourceBytes);
  if (data) return data;
  switch (static_cast<StorageErrc>(data.error().code)) {
    case StorageErrc::NotFound: return Error(URLError(URLErrorCode::FileDoesNotExist));
    case StorageErrc::IsADirectory: return Error(URLError(URLErrorCode::FileIsDirectory));
    case StorageErrc::TooLarge: return Error(URLError(URLErrorCode::DataLengthExceedsMaximum));
    default: return Error(URLError(URLErrorCode::NoPermissionsToReadFile));
  }
}

}  // namespace platform::web_internal
