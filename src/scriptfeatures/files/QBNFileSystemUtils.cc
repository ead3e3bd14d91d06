#include "scriptfeatures/files/QBNFileSystemUtils.h"

#include <unordered_map>
#include <utility>
#include <vector>

#include "ownnetwork/cache/PMAConfinedPath.h"
#include "platform/file_facts.h"
#include "platform/storage.h"
#include "scriptfeatures/files/QBNFile.h"
#include "scriptfeatures/files/QBNFilePersistencyService.h"

using platform::Json;

namespace {

platform::EnumerationLimits listingLimits() {
  return {.maxDepth = QBNFileSystemUtils::kMaxListingDepth, .maxItems = QBNFileSystemUtils::kMaxListingItems};
}

// Adds a member that the object cannot hold yet (names of one folder are
// unique) at the end, without the search for an existing key that makes
// every insertion into an ordered object linear.
void appendMember(Json& object, std::string key, Json value) {
  auto& members = static_cast<std::vector<std::pair<const std::string, Json>>&>(object.get_ref<Json::object_t&>());
  members.emplace_back(std::move(key), std::move(value));
}

std::string joinKey(const std::string& folderKey, const std::string& relative) {
  return folderKey.empty() ? relative : folderKey + "/" + relative;
}

struct MapBuilder {
  const std::vector<platform::DirectoryItem>& items;
  const std::string& directory;
  const std::string& directoryKey;
  const std::unordered_map<std::string, const Json*>& metadata;
  size_t next = 0;

  // The folder map of the items at `depth` from `next` on, each sub-folder's
  // own items (the deeper ones right after it) consumed with it.
  Json folder(int depth) {
    Json map = Json::object();
    while (next < items.size() && items[next].depth == depth) {
      const platform::DirectoryItem& item = items[next++];
      const bool reserved = item.name == QBNFileSystemUtils::kReservedItemName;
      if (item.facts.type == platform::FileType::Directory) {
        Json content = folder(depth + 1);
        if (!reserved) appendMember(map, item.name, std::move(content));
        continue;
      }
      skipDeeper(depth);
      if (reserved || item.facts.type != platform::FileType::Regular) continue;
      const std::string key = joinKey(directoryKey, item.relativePath);
      QBNFile file(item.name, directory + "/" + item.relativePath, key, item.facts);
      if (auto found = metadata.find(key); found != metadata.end() && !found->second->empty()) {
        file.updatePersistentStorageParameters(*found->second);
      }
      appendMember(map, item.name, file.getAttributes());
    }
    return map;
  }

  // Items deeper than `depth` that follow a non-folder (none in a pre-order
  // walk; kept safe all the same).
  void skipDeeper(int depth) {
    while (next < items.size() && items[next].depth > depth) ++next;
  }
};

}  // namespace

std::optional<std::string> QBNFileSystemUtils::buildPathToFile(const std::string& fileName, const std::string& filePath,
                                                               const std::string& root) {
  if (fileName.empty() || fileName.find('/') != std::string::npos) return std::nullopt;
  return PMAConfinedPath(root, filePath.empty() ? fileName : filePath + "/" + fileName, PMAPathScope::BelowBase);
}

std::optional<std::string> QBNFileSystemUtils::buildPathToFolder(const std::string& folderPath, const std::string& root) {
  return PMAConfinedPath(root, folderPath, PMAPathScope::BaseOrBelow);
}

std::string QBNFileSystemUtils::storageKeyOf(const std::string& absolutePath, const std::string& root) {
  std::string base = root;
  while (base.size() > 1 && base.back() == '/') base.pop_back();
  if (absolutePath.size() <= base.size() + 1 || absolutePath.compare(0, base.size(), base) != 0) return "";
  return absolutePath.substr(base.back() == '/' ? base.size() : base.size() + 1);
}

bool QBNFileSystemUtils::holdsReservedName(const std::string& relativePath) {
  size_t start = 0;
  while (start <= relativePath.size()) {
    size_t slash = relativePath.find('/', start);
    if (slash == std::string::npos) slash = relativePath.size();
    if (relativePath.compare(start, slash - start, kReservedItemName) == 0) return true;
    start = slash + 1;
  }
  return false;
}

bool QBNFileSystemUtils::doesFileExistAtPath(const std::string& path) {
  return platform::fileFacts(path).ok();
}

Json QBNFileSystemUtils::buildFileParametersWithParameters(const Json& parameters) {
  return parameters.is_object() ? parameters : Json::object();
}

Json QBNFileSystemUtils::getMappingOfFilesFromDirectory(const std::string& directory, const std::string& directoryKey,
                                                        const Json& metadata) {
  auto listing = platform::enumerateDirectory(directory, listingLimits());
  if (!listing) return Json::object();
  std::unordered_map<std::string, const Json*> index;
  if (metadata.is_object()) {
    index.reserve(metadata.size());
    for (auto it = metadata.begin(); it != metadata.end(); ++it) index.emplace(it.key(), &*it);
  }
  MapBuilder builder{listing.value().items, directory, directoryKey, index};
  return builder.folder(0);
}

uint64_t QBNFileSystemUtils::getTotalSizeOfFilesInDirectory(const std::string& directory) {
  auto listing = platform::enumerateDirectory(directory, listingLimits());
  if (!listing) return 0;
  uint64_t total = 0;
  for (const auto& item : listing.value().items) total += item.facts.size;
  return total;
}
