#pragma once
// The page's file store: files the controller page downloads into folders of
// the publisher cache folder (Library/Caches/PMACache/PMAPublisher, the same
// folder the older "saveFile" and "deleteFile" commands use), with metadata
// of its own per file in the archive root/"metadata.json"
// (QBNFilePersistencyService).
//
// File parameters are the page's "functionParams" object: "fileName" (a
// plain name), "filePath" (the folder, relative to the root, "" for the root
// itself), "fileUrl" (the percent-escaped http or https URL to download),
// "timeout" (seconds). Names and folders are used exactly as given - the
// command's one decoding is the only one - for storing, the reported "path",
// the metadata and deleting alike. Every path is confined to the root
// (QBNFileSystemUtils); a refused one fails with kPMAPathRefusedMessage and
// touches nothing.
//
// Main queue: every operation answers on the calling thread before it
// returns, except the download, whose answer comes on the main queue. Each
// callback runs exactly once while the store exists.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/json.h"
#include "scriptfeatures/files/QBNFile.h"
#include "scriptfeatures/files/QBNFilePersistencyService.h"

class QBNDataManagerProtocol;

// Failures of this store's own wording.
inline constexpr char kQBNFileSaveMissingParametersMessage[] = "saveFile needs fileName, filePath and fileUrl";
inline constexpr char kQBNFileReservedNameMessage[] = "this name is reserved by the file store";
inline constexpr char kQBNFileAttributesNotObjectMessage[] = "attributesToUpdate is not an object";

class QBNFileSystemController : public std::enable_shared_from_this<QBNFileSystemController> {
 public:
  // (attributes record or none, failure text or none)
  using RecordCallback =
      std::function<void(const std::optional<platform::Json>& record, const std::optional<std::string>& error)>;
  using ErrorCallback = std::function<void(const std::optional<std::string>& error)>;

  // The root is the publisher cache folder of the data manager's download
  // manager (created when missing), with its metadata archive.
  static std::shared_ptr<QBNFileSystemController> initWithDataManager(std::shared_ptr<QBNDataManagerProtocol> dataManager);

  std::shared_ptr<QBNDataManagerProtocol> dataManager() const { return dataManager_; }
  const QBNFilePersistencyService& metadataService() const { return metadataService_; }
  const std::string& pathToRootDirectory() const { return pathToRootDirectory_; }

  // Downloads "fileUrl" (percent-decoded; http or https; "timeout" seconds,
  // 10 when absent or not above 0; retried on a time-out by the data
  // manager) into root/"filePath"/"fileName" (the folder made when missing,
  // an older file replaced), then answers the file's attributes record and
  // replaces its metadata with {"lastReferencedTime": its modification time}.
  // Fails with the download's or the write's error text ("Failed to download
  // file : <fileUrl>" / "Failed to save file : <fileName>" when it has none;
  // the write failure's record is the file parameters), or at once, before
  // anything is fetched: kQBNFileSaveMissingParametersMessage, a refused
  // path (kPMAPathRefusedMessage), a name the store keeps for itself
  // (kQBNFileReservedNameMessage: "name" anywhere in the path, the archive
  // "metadata.json" in the root) or another URL scheme
  // (kQBNUnsupportedFileURLMessage).
  void downloadAndSaveFileWithParameters(const platform::Json& parameters, RecordCallback callback);

  // Removes the file (not a folder) root/"filePath"/"fileName" and its
  // metadata. "Failed to create QBNFile for file deletion" when nothing is
  // there, "Failed to delete file <fileName>" for a folder or a removal that
  // failed without a text; the archive itself cannot be deleted this way
  // (kQBNFileReservedNameMessage).
  void deleteFileWithParameters(const platform::Json& parameters, ErrorCallback callback);

  // Removes root/folderPath with its content (a missing folder counts as
  // removed), then, only once it is gone, the metadata of everything that
  // was in it. "Folder name is nil" without a folder path; the root itself is
  // refused.
  void deleteFolderWitDirectory(const std::optional<std::string>& folderPath, ErrorCallback callback);

  // The folder map of root/folderPath (the root for none); {} for a folder
  // that does not exist. A refused path answers {} and kPMAPathRefusedMessage.
  void getFilesWithDirectory(const std::optional<std::string>& folderPath,
                             std::function<void(const platform::Json& map, const std::optional<std::string>& error)> callback);

  // The bytes below root/folderPath at every level; 0 for a missing folder.
  // A refused path answers 0 and kPMAPathRefusedMessage.
  void getTotalSizeOfFilesWithDirectory(
      const std::optional<std::string>& folderPath,
      std::function<void(uint64_t totalSize, const std::optional<std::string>& error)> callback);

  // Sets each member of `attributes` in the file's metadata (other members
  // stay) and answers the file's attributes record as it was before this
  // change, with the archive write's error text if it failed. "Failed to
  // create QBNFile for updateAttributeOfFile" when nothing is there;
  // kQBNFileAttributesNotObjectMessage when `attributes` is no object.
  void updateAttributesOfFileWithParameters(const platform::Json& parameters, const platform::Json& attributes,
                                            RecordCallback callback);

  // The record of the existing item the parameters name, its metadata from
  // the archive ({} without an entry; from `contents` when the caller read
  // the archive already); none when nothing is there or the path is refused
  // (`refused` then true).
  std::optional<QBNFile> createFileWithData(const platform::Json& parameters, bool* refused = nullptr,
                                            const platform::Json* contents = nullptr) const;

 private:
  explicit QBNFileSystemController(std::shared_ptr<QBNDataManagerProtocol> dataManager, std::string root);
  void storeDownloadedFile(const platform::Json& parameters, const std::string& body, const std::string& path,
                           const RecordCallback& callback);
  // The metadata changes, forwarded to the metadata service (a failed write
  // answers false and leaves the file operation done).
  bool writeDataToPersistentStorage(const QBNFile& file) const;
  bool removeDataFromPersistentStorage(const QBNFile& file, platform::Json* contents) const;
  bool removeFolderContentsFromPersistentStorage(const std::string& folderKey) const;

  std::shared_ptr<QBNDataManagerProtocol> dataManager_;
  std::string pathToRootDirectory_;
  QBNFilePersistencyService metadataService_;
};
