// The folder map, its depth-first search and the clean-up of obsolete cache
// folders: the operations of the download manager that walk folder trees.
#include <optional>
#include <string>
#include <vector>

#include "ownnetwork/cache/PMAConfinedPath.h"
#include "ownnetwork/cache/PMADownloadManager.h"
#include "platform/file_paths.h"
#include "platform/storage.h"

namespace {

using platform::Json;

struct Entry {
  std::string name;
  std::string path;
  bool isDirectory = false;
};

// The visible entries of a folder, sorted by name; none when it cannot be
// read. Links count as files: the walk never follows them.
std::optional<std::vector<Entry>> visibleEntries(const std::string& folder) {
  auto names = platform::listDirectory(folder);
  if (!names) return std::nullopt;
  std::vector<Entry> entries;
  for (auto& name : names.value()) {
    if (name.empty() || name.front() == '.') continue;
    Entry entry;
    entry.path = folder + "/" + name;
    entry.isDirectory = !platform::isSymbolicLink(entry.path) && platform::isDirectory(entry.path);
    entry.name = std::move(name);
    entries.push_back(std::move(entry));
  }
  return entries;
}

void appendFile(Json& dictionary, const std::string& name) {
  auto files = dictionary.find("files");
  if (files == dictionary.end()) {
    dictionary["files"] = Json::array({name});
  } else if (files->is_array()) {
    files->push_back(name);
  }
}

// The dictionary at `keys` below the map (the map itself for no keys).
Json& dictionaryAt(Json& map, const std::vector<std::string>& keys) {
  Json* node = &map;
  for (const auto& key : keys) node = &(*node)[key];
  return *node;
}

// Builds the map in pre-order. `keys` lead from the map to the dictionary of
// the folder being walked; none when that folder has no entry (its files then
// go to the map's own "files"). Entries are found again from the map each
// time: adding a member may move the others. Returns false once a folder
// could not be read, which ends the whole walk.
bool walkTree(const std::string& folder, const std::optional<std::vector<std::string>>& keys, Json& map, int depth) {
  auto entries = visibleEntries(folder);
  if (!entries) return false;
  for (const Entry& entry : *entries) {
    if (!entry.isDirectory) {
      appendFile(keys ? dictionaryAt(map, *keys) : map, entry.name);
      continue;
    }
    if (depth >= PMADownloadManager::kPMAFolderMapMaxDepth) continue;
    std::optional<std::vector<std::string>> childKeys;
    const bool reserved = entry.name == "files" || (depth == 0 && entry.name == "path");
    if (keys && !reserved) {
      Json& parent = dictionaryAt(map, *keys);
      if (!parent.contains(entry.name)) {
        parent[entry.name] = Json::object();
        childKeys = *keys;
        childKeys->push_back(entry.name);
      }
    }
    if (!walkTree(entry.path, childKeys, map, depth + 1)) return false;
  }
  return true;
}

bool walkFlat(const std::string& folder, Json& map, int depth) {
  auto entries = visibleEntries(folder);
  if (!entries) return false;
  for (const Entry& entry : *entries) {
    if (!entry.isDirectory) {
      appendFile(map, entry.name);
    } else if (depth < PMADownloadManager::kPMAFolderMapMaxDepth && !walkFlat(entry.path, map, depth + 1)) {
      return false;
    }
  }
  return true;
}

bool removeObsolete(const std::string& folder, const std::string& cacheRoot) {
  auto entries = visibleEntries(folder);
  if (!entries) return false;
  for (const Entry& entry : *entries) {
    if (!entry.isDirectory || entry.path == cacheRoot) continue;
    if (entry.name.rfind(kPMAObsoleteCachePrefix, 0) == 0) {
      (void)platform::removeItem(entry.path);
    } else if (!removeObsolete(entry.path, cacheRoot)) {
      return false;
    }
  }
  return true;
}

}  // namespace

std::optional<Json> PMADownloadManager::getFolderFiles(const std::optional<std::string>& folder) const {
  if (!folder) return std::nullopt;
  const std::string publisher = getInstanceCacheFolderUseRoot(false);
  const auto directory = PMAConfinedPath(publisher, *folder, PMAPathScope::BaseOrBelow);
  if (!directory || !platform::isDirectory(*directory)) return std::nullopt;
  Json map = Json::object();
  map["path"] = *folder;
  if (*directory == publisher) {
    (void)walkTree(*directory, std::vector<std::string>{}, map, 0);
  } else {
    (void)walkFlat(*directory, map, 0);
  }
  return map;
}

std::optional<Json> PMADownloadManager::recursiveObjectForKey(const std::string& key, const Json& dictionary) const {
  if (!dictionary.is_object()) return std::nullopt;
  if (auto it = dictionary.find(key); it != dictionary.end()) return *it;
  for (const auto& value : dictionary) {
    if (value.is_object()) {
      if (auto found = recursiveObjectForKey(key, value)) return found;
    } else if (value.is_array()) {
      for (const auto& element : value) {
        if (!element.is_object()) continue;
        if (auto found = recursiveObjectForKey(key, element)) return found;
      }
    }
  }
  return std::nullopt;
}

void PMADownloadManager::deleteOldBaseDirectory(const std::string& path) const {
  const std::string cacheRoot = getLibraryCachesFolder() + "/" + kPMACacheFolderName;
  (void)removeObsolete(path, cacheRoot);
}
