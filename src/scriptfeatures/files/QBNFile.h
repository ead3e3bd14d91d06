#pragma once
// One file of the page's file store, made for one operation and dropped
// after it: its name, place, size, modification time and metadata, and the
// attributes record the page receives for it.
#include <cstdint>
#include <optional>
#include <string>

#include "platform/file_facts.h"
#include "platform/json.h"

class QBNFile {
 public:
  // Reads the file's facts now (a link's own facts; it is not followed).
  // `storageKey` is where the metadata archive keeps the file's entry: its
  // path relative to the store's root.
  QBNFile(std::string fileName, std::string absoluteFilePath, std::string storageKey);
  // With facts already read (a listing); none: unreadable.
  QBNFile(std::string fileName, std::string absoluteFilePath, std::string storageKey,
          const std::optional<platform::FileFacts>& facts);

  const std::string& fileName() const { return fileName_; }
  const std::string& absoluteFilePath() const { return absoluteFilePath_; }
  const std::string& storageKey() const { return storageKey_; }
  // Bytes; 0 when the facts could not be read.
  uint64_t fileSize() const { return fileSize_; }
  // Whole milliseconds since 1970; 0 when the facts could not be read.
  uint64_t modifiedTime() const { return modifiedTime_; }
  // The metadata: {"lastReferencedTime": modifiedTime()} after creation when
  // the facts could be read, else {}.
  const platform::Json& persistenceParameters() const { return persistenceParameters_; }

  // Replaces the metadata by `parameters` when it is an object; anything
  // else leaves it unchanged.
  void updatePersistentStorageParameters(const std::optional<platform::Json>& parameters);

  // The attributes record: every metadata entry, then "name", "path",
  // "size" (absent when 0) and "lastModified" (absent when 0), which win over
  // metadata entries of the same names.
  platform::Json getAttributes() const;

 private:
  std::string fileName_;
  std::string absoluteFilePath_;
  std::string storageKey_;
  uint64_t fileSize_ = 0;
  uint64_t modifiedTime_ = 0;
  platform::Json persistenceParameters_ = platform::Json::object();
};
