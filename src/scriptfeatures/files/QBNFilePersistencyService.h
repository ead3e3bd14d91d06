#pragma once
// The metadata archive of the page's file store: root/"metadata.json", one
// CBOR map (not JSON, despite the name) from each file's path relative to
// the root ("folder/name"; a file of the root folder is its bare name) to
// that file's metadata object.
//
// Every change reads the archive, changes the map and writes it back whole,
// atomically (a reader or a crash sees the old or the new archive). Contents
// that cannot be read as such a map (an empty or missing file, foreign or
// damaged bytes, a file over kMaxArchiveBytes) read as an empty map, and the
// next change replaces them; entries whose value is no object are dropped.
// An operation that looks up many files reads the archive once (readContent)
// and looks up in the map (entryFor).
//
// Not thread-safe: the store that owns it runs on the main queue.
#include <cstddef>
#include <string>
#include <string_view>

#include "platform/json.h"
#include "platform/result.h"

class QBNFile;

inline constexpr char kQBNMetadataFileName[] = "metadata.json";
// A change that would make the archive larger than kMaxArchiveBytes is
// refused with this message (and the archive stays as it was).
inline constexpr char kQBNMetadataArchiveFullMessage[] = "file metadata is full";

class QBNFilePersistencyService {
 public:
  // The largest archive read; a larger file reads as empty.
  static constexpr size_t kMaxArchiveBytes = size_t{8} * 1024 * 1024;

  // Sets the archive's path and creates the file (empty) when nothing is
  // there.
  explicit QBNFilePersistencyService(const std::string& rootDirectory);

  const std::string& metadataFilePath() const { return metadataFilePath_; }

  // Creates an empty archive file when nothing is at its path; true when it
  // existed or was made.
  bool createFile() const;

  // The archive's map (an empty object when unreadable, see above).
  platform::Json readContent() const;
  // The map read from archive bytes: what readContent does with the file's
  // contents.
  static platform::Json contentsFromArchive(std::string_view bytes);
  // The entry of `storageKey` in a map read before; {} when there is none.
  static platform::Json entryFor(const platform::Json& contents, const std::string& storageKey);

  // The file's entry; {} when there is none.
  platform::Json getFileData(const QBNFile& file) const;
  // The changes below read the archive, unless the caller passes the map it
  // read for the same operation (`contents`, which then holds the change).
  // Sets the file's entry to its persistence parameters.
  bool addFileData(const QBNFile& file, platform::Error* error, platform::Json* contents = nullptr) const;
  // Sets each member of `attributesToUpdate` in the file's entry (other
  // members stay); without an entry it becomes a copy of them.
  bool updateFileData(const QBNFile& file, const platform::Json& attributesToUpdate, platform::Error* error,
                      platform::Json* contents = nullptr) const;
  // Removes the file's entry; true without writing when there is none.
  bool deleteFileData(const QBNFile& file, platform::Error* error, platform::Json* contents = nullptr) const;
  // Removes the entries of `folderKey` and of everything below it
  // ("folderKey/..."); true without writing when there are none.
  bool removeFolderContents(const std::string& folderKey, platform::Error* error) const;
  // Writes `contents` as the archive, atomically; refused (nothing written)
  // when it would exceed kMaxArchiveBytes.
  bool writeContents(const platform::Json& contents, platform::Error* error) const;

 private:
  std::string metadataFilePath_;
};
