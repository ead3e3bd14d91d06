#include "scriptfeatures/files/QBNFile.h"

namespace {

std::optional<platform::FileFacts> readFacts(const std::string& path) {
  auto facts = platform::fileFacts(path);
  if (!facts) return std::nullopt;
  return facts.value();
}

}  // namespace

QBNFile::QBNFile(std::string fileName, std::string absoluteFilePath, std::string storageKey)
    : QBNFile(fileName, absoluteFilePath, storageKey, readFacts(absoluteFilePath)) {}

QBNFile::QBNFile(std::string fileName, std::string absoluteFilePath, std::string storageKey,
                 const std::optional<platform::FileFacts>& facts)
    : fileName_(std::move(fileName)), absoluteFilePath_(std::move(absoluteFilePath)), storageKey_(std::move(storageKey)) {
  if (!facts) return;
  fileSize_ = facts->size;
  modifiedTime_ = facts->modifiedMs;
  persistenceParameters_ = platform::Json{{"lastReferencedTime", modifiedTime_}};
}

void QBNFile::updatePersistentStorageParameters(const std::optional<platform::Json>& parameters) {
  if (parameters && parameters->is_object()) persistenceParameters_ = *parameters;
}

platform::Json QBNFile::getAttributes() const {
  platform::Json attributes = persistenceParameters_;
  attributes["name"] = fileName_;
  attributes["path"] = absoluteFilePath_;
  if (fileSize_ != 0) {
    attributes["size"] = fileSize_;
  } else {
    attributes.erase("size");
  }
  if (modifiedTime_ != 0) {
    attributes["lastModified"] = modifiedTime_;
  } else {
    attributes.erase("lastModified");
  }
  return attributes;
}
