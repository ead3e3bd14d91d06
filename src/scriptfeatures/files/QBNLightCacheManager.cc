#include "scriptfeatures/files/QBNLightCacheManager.h"

#include "ownnetwork/cache/PMAConfinedPath.h"
#include "platform/storage.h"
#include "platform/web/url.h"

namespace {

platform::Error lightCacheError(const char* message) { return platform::Error{kQBNLightCacheErrorDomain, 0, message}; }

void setError(platform::Error* out, platform::Error error) {
  if (out) *out = std::move(error);
}

}  // namespace

QBNLightCacheManager& QBNLightCacheManager::sharedInstance() {
  static QBNLightCacheManager& manager = *new QBNLightCacheManager();  // lives for the process
  return manager;
}

void QBNLightCacheManager::setRootDirectoryPath(std::optional<std::string> path) {
  std::lock_guard lock(mutex_);
  root_ = std::move(path);
}

std::optional<std::string> QBNLightCacheManager::rootDirectoryPath() const {
  std::lock_guard lock(mutex_);
  return root_;
}

std::optional<std::string> QBNLightCacheManager::filePath(const std::string& fileName) const {
  const auto root = rootDirectoryPath();
  if (!root || fileName.find('/') != std::string::npos) return std::nullopt;
  return PMAConfinedPath(*root, fileName, PMAPathScope::BelowBase);
}

bool QBNLightCacheManager::isRootDirectoryExists() const {
  const auto root = rootDirectoryPath();
  return root && platform::isDirectory(*root);
}

bool QBNLightCacheManager::isFileNameExistInRootDirectory(const std::optional<std::string>& fileName) const {
  if (!fileName || !isRootDirectoryExists()) return false;
  const auto path = filePath(*fileName);
  return path && platform::fileExists(*path) && !platform::isDirectory(*path);
}

std::optional<std::string> QBNLightCacheManager::pathForFileNameInRootDirectory(const std::string& fileName) const {
  if (!isFileNameExistInRootDirectory(fileName)) return std::nullopt;
  return filePath(fileName);
}

std::optional<std::string> QBNLightCacheManager::fileUrlForFileNameOnRootDirectory(const std::string& fileName) const {
  const auto path = pathForFileNameInRootDirectory(fileName);
  if (!path) return std::nullopt;
  return platform::fileURLFromPath(*path);
}

bool QBNLightCacheManager::saveDataOnRootDirectory(const std::optional<std::string>& data, const std::string& fileName,
                                                   platform::Error* error) {
  if (isFileNameExistInRootDirectory(fileName)) return true;
  const bool rootExists = isRootDirectoryExists();
  const auto path = filePath(fileName);
  const char* failure = nullptr;
  if (!path) {
    failure = rootExists ? kQBNLightCacheInvalidNameMessage : kQBNLightCacheNoRootMessage;
  } else if (!rootExists) {
    failure = kQBNLightCacheNoRootMessage;
  } else if (!data) {
    failure = kQBNLightCacheNoDataMessage;
  }
  if (failure) {
    setError(error, lightCacheError(failure));
    return false;
  }
  if (auto written = platform::writeFileAtomically(*path, *data); !written) {
    setError(error, written.error());
    return false;
  }
  return true;
}

void QBNLightCacheManager::resetForTesting() { setRootDirectoryPath(std::nullopt); }
