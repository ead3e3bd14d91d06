#include "ownnetwork/cache/PMADownloadManager.h"

#include "ownnetwork/cache/PMAConfinedPath.h"
#include "ownnetwork/services/PMAHelperMethods.h"
#include "platform/crypto.h"
#include "platform/file_paths.h"
#include "platform/storage.h"

namespace {

using platform::Error;

void setError(Error* out, Error error) {
  if (out) *out = std::move(error);
}

Error refused() { return PMAHelperMethods::errorWithReason(kPMAPathRefusedMessage, 0, kPMAErrorDomain); }

std::string joinPath(const std::string& folder, const std::string& name) {
  if (folder.empty() || folder.back() == '/') return folder + name;
  return folder + "/" + name;
}

// The regular file (not a folder) the arguments name, when it exists.
std::optional<std::string> existingFile(const PMADownloadManager& manager, const std::string& name,
                                        const std::optional<std::string>& folderName, bool root) {
  const std::string base = manager.getInstanceCacheFolderUseRoot(root);
  std::string folder = base;
  if (folderName) {
    auto candidate = PMAConfinedPath(base, *folderName, PMAPathScope::BaseOrBelow);
    if (candidate && platform::isDirectory(*candidate)) folder = *candidate;
  }
  auto file = PMAConfinedPath(folder, name, PMAPathScope::BelowBase);
  if (!file || !platform::fileExists(*file) || platform::isDirectory(*file)) return std::nullopt;
  return file;
}

}  // namespace

std::string PMADownloadManager::getDocumentsFolder() const { return platform::documentsPath(); }

std::string PMADownloadManager::getLibraryCachesFolder() const { return platform::libraryCachesPath(); }

std::string PMADownloadManager::getInstanceCacheFolderUseRoot(bool root) const {
  std::string path = joinPath(getLibraryCachesFolder(), kPMACacheFolderName);
  if (!root) path = joinPath(path, kPMAPublisherFolderName);
  (void)platform::createDirectories(path);  // a failure shows up at the first use of the folder
  return path;
}

std::string PMADownloadManager::getDataPathAccordingToFileName(const std::string& name) const {
  return getInstanceCacheFolderUseRoot(name == kPMALastUpdateTimeFileName);
}

bool PMADownloadManager::storeData(const std::string& data, bool shouldCreateFolder, const std::string& key,
                                   const std::optional<std::string>& folderName, bool shouldUseCacheRoot,
                                   bool shouldOverride, Error* error) const {
  const std::string base = getInstanceCacheFolderUseRoot(shouldUseCacheRoot);
  std::string folder = base;
  if (shouldCreateFolder) {
    auto target = PMAConfinedPath(base, folderName.value_or(""), PMAPathScope::BaseOrBelow);
    if (!target) {
      setError(error, refused());
      return false;
    }
    folder = *target;
    if (auto created = platform::createDirectories(folder); !created) {
      setError(error, created.error());
      return false;
    }
  }
  // The folder is confined to the base, so a file confined to the folder is
  // inside the base too.
  const auto file = PMAConfinedPath(folder, key, PMAPathScope::BelowBase);
  if (!file) {
    setError(error, refused());
    return false;
  }
  if (platform::fileExists(*file)) {
    if (!shouldOverride) return true;
    (void)platform::removeItem(*file);
  }
  auto written = platform::writeFileAtomically(*file, data);
  if (!written) {
    setError(error, written.error());
    return false;
  }
  return true;
}

std::string PMADownloadManager::getControllerUrl() const {
  const std::string root = getInstanceCacheFolderUseRoot(true);
  return fileURLWithPath(joinPath(joinPath(root, "mobileController"), "mobileController.html"), false);
}

std::optional<std::string> PMADownloadManager::getUrlFileByName(const std::string& name,
                                                                const std::optional<std::string>& folderName,
                                                                bool shouldUseCacheFolderRoot) const {
  auto file = existingFile(*this, name, folderName, shouldUseCacheFolderRoot);
  if (!file) return std::nullopt;
  return fileURLWithPath(*file, false);
}

bool PMADownloadManager::deleteFileWithName(const std::optional<std::string>& name,
                                            const std::optional<std::string>& path, Error* error) const {
  if (!name || !path) {
    setError(error, Error{kPMADeleteFileErrorDomain, 0, kPMAFileNameIsNilMessage});
    return false;
  }
  const auto folder = PMAConfinedPath(getDataPathAccordingToFileName(*name), *path, PMAPathScope::BaseOrBelow);
  const auto file = folder ? PMAConfinedPath(*folder, *name, PMAPathScope::BelowBase) : std::nullopt;
  if (!file) {
    setError(error, refused());
    return false;
  }
  if (!platform::fileExists(*file) && !platform::isSymbolicLink(*file)) return true;
  auto removed = platform::removeItem(*file);
  if (!removed) {
    setError(error, removed.error());
    return false;
  }
  return true;
}

bool PMADownloadManager::deleteEntireFolder(const std::optional<std::string>& name, Error* error) const {
  if (!name) {
    setError(error, Error{kPMADeleteFolderErrorDomain, 0, kPMAFolderNameIsNilMessage});
    return false;
  }
  const auto folder = PMAConfinedPath(getInstanceCacheFolderUseRoot(false), *name, PMAPathScope::BelowBase);
  if (!folder) {
    setError(error, refused());
    return false;
  }
  if (!platform::fileExists(*folder) && !platform::isSymbolicLink(*folder)) return true;
  auto removed = platform::removeItem(*folder);
  if (!removed) {
    setError(error, removed.error());
    return false;
  }
  return true;
}

void PMADownloadManager::deleteAllPMAFoldersFromDocs() const {
  (void)platform::removeItem(getInstanceCacheFolderUseRoot(false));
}

std::string PMADownloadManager::getInstanceRootDirectory() { return PMADownloadManager().getInstanceCacheFolderUseRoot(true); }

bool PMADownloadManager::createDirectoryAtPath(const std::string& path, const std::string& name, Error* error) {
  const std::string folder = joinPath(path, name);
  if (platform::isDirectory(folder)) return true;
  auto created = platform::createDirectory(folder);
  if (!created) {
    setError(error, created.error());
    return false;
  }
  return true;
}

std::string PMADownloadManager::fileURLWithPath(const std::string& path, bool isDirectory) {
  std::string url = "file://" + platform::percentEncode(path, "/");
  if (isDirectory && (url.empty() || url.back() != '/')) url += '/';
  return url;
}
