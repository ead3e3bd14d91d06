#include "scriptfeatures/files/QBNFilePersistencyService.h"

#include "platform/storage.h"
#include "scriptfeatures/files/QBNFile.h"

using platform::Json;

namespace {

void setError(platform::Error* out, platform::Error error) {
  if (out) *out = std::move(error);
}

}  // namespace

QBNFilePersistencyService::QBNFilePersistencyService(const std::string& rootDirectory)
    : metadataFilePath_(rootDirectory + "/" + kQBNMetadataFileName) {
  (void)createFile();
}

bool QBNFilePersistencyService::createFile() const {
  if (platform::fileExists(metadataFilePath_)) return true;
  return platform::writeFileAtomically(metadataFilePath_, "").ok();
}

Json QBNFilePersistencyService::contentsFromArchive(std::string_view bytes) {
  if (bytes.empty()) return Json::object();
  auto parsed = platform::parseCbor(bytes);
  if (!parsed || !parsed.value().is_object()) return Json::object();
  Json& contents = parsed.value();
  for (auto it = contents.begin(); it != contents.end();) it = it->is_object() ? std::next(it) : contents.erase(it);
  return std::move(contents);
}

Json QBNFilePersistencyService::readContent() const {
  auto bytes = platform::readFile(metadataFilePath_, kMaxArchiveBytes);
  if (!bytes) return Json::object();
  return contentsFromArchive(bytes.value());
}

Json QBNFilePersistencyService::entryFor(const Json& contents, const std::string& storageKey) {
  auto it = contents.find(storageKey);
  if (it == contents.end() || !it->is_object()) return Json::object();
  return *it;
}

Json QBNFilePersistencyService::getFileData(const QBNFile& file) const {
  return entryFor(readContent(), file.storageKey());
}

bool QBNFilePersistencyService::addFileData(const QBNFile& file, platform::Error* error, Json* contents) const {
  Json read;
  Json& map = contents ? *contents : (read = readContent());
  map[file.storageKey()] = file.persistenceParameters();
  return writeContents(map, error);
}

bool QBNFilePersistencyService::updateFileData(const QBNFile& file, const Json& attributesToUpdate,
                                               platform::Error* error, Json* contents) const {
  Json read;
  Json& map = contents ? *contents : (read = readContent());
  Json entry = entryFor(map, file.storageKey());
  if (attributesToUpdate.is_object()) {
    for (auto it = attributesToUpdate.begin(); it != attributesToUpdate.end(); ++it) entry[it.key()] = *it;
  }
  map[file.storageKey()] = std::move(entry);
  return writeContents(map, error);
}

bool QBNFilePersistencyService::deleteFileData(const QBNFile& file, platform::Error* error, Json* contents) const {
  Json read;
  Json& map = contents ? *contents : (read = readContent());
  if (map.erase(file.storageKey()) == 0) return true;
  return writeContents(map, error);
}

bool QBNFilePersistencyService::removeFolderContents(const std::string& folderKey, platform::Error* error) const {
  Json contents = readContent();
  const std::string prefix = folderKey + "/";
  bool removed = false;
  for (auto it = contents.begin(); it != contents.end();) {
    const bool inside = it.key() == folderKey || it.key().rfind(prefix, 0) == 0;
    removed = removed || inside;
    it = inside ? contents.erase(it) : std::next(it);
  }
  if (!removed) return true;
  return writeContents(contents, error);
}

bool QBNFilePersistencyService::writeContents(const Json& contents, platform::Error* error) const {
  const std::string bytes = platform::dumpCbor(contents);
  if (bytes.size() > kMaxArchiveBytes) {
    // Written, it would read as empty: every entry would be lost.
    setError(error, platform::Error{platform::kStorageErrorDomain, static_cast<int>(platform::StorageErrc::TooLarge),
                                    kQBNMetadataArchiveFullMessage});
    return false;
  }
  auto written = platform::writeFileAtomically(metadataFilePath_, bytes);
  if (!written) {
    setError(error, written.error());
    return false;
  }
  return true;
}
