#include "scriptfeatures/files/QBNFileSystemController.h"

#include "ownnetwork/cache/PMADownloadManager.h"
#include "ownnetwork/data/QBNDataManager.h"
#include "ownnetwork/handlers/QBNFileHandlers.h"
#include "ownnetwork/services/PMAHelperMethods.h"
#include "platform/dispatch.h"
#include "platform/file_facts.h"
#include "platform/storage.h"
#include "platform/web/url.h"
#include "scriptfeatures/files/QBNFileSystemUtils.h"

using platform::Json;

namespace {

std::optional<std::string> textOf(const Json& parameters, const char* key) { return platform::getString(parameters, key); }

std::string messageOr(const std::optional<platform::Error>& error, const std::string& fallback) {
  return PMAHelperMethods::buildErrorMessageFromError(error, fallback);
}

std::string rootOf(const std::shared_ptr<QBNDataManagerProtocol>& dataManager) {
  auto downloads = dataManager ? dataManager->downloadMgr() : nullptr;
  if (!downloads) downloads = std::make_shared<PMADownloadManager>();
  return downloads->getInstanceCacheFolderUseRoot(false);
}


}  // namespace

std::shared_ptr<QBNFileSystemController> QBNFileSystemController::initWithDataManager(
    std::shared_ptr<QBNDataManagerProtocol> dataManager) {
  std::string root = rootOf(dataManager);
  return std::shared_ptr<QBNFileSystemController>(new QBNFileSystemController(std::move(dataManager), std::move(root)));
}

QBNFileSystemController::QBNFileSystemController(std::shared_ptr<QBNDataManagerProtocol> dataManager, std::string root)
    : dataManager_(std::move(dataManager)), pathToRootDirectory_(std::move(root)), metadataService_(pathToRootDirectory_) {}

std::optional<QBNFile> QBNFileSystemController::createFileWithData(const Json& parameters, bool* refused,
                                                                   const Json* contents) const {
  if (refused) *refused = false;
  const auto fileName = textOf(parameters, "fileName");
  const auto filePath = textOf(parameters, "filePath");
  if (!fileName || !filePath) return std::nullopt;
  const auto path = QBNFileSystemUtils::buildPathToFile(*fileName, *filePath, pathToRootDirectory_);
  if (!path) {
    if (refused) *refused = true;
    return std::nullopt;
  }
  if (!QBNFileSystemUtils::doesFileExistAtPath(*path)) return std::nullopt;
  QBNFile file(*fileName, *path, QBNFileSystemUtils::storageKeyOf(*path, pathToRootDirectory_));
  file.updatePersistentStorageParameters(contents ? QBNFilePersistencyService::entryFor(*contents, file.storageKey())
                                                  : metadataService_.getFileData(file));
  return file;
}

void QBNFileSystemController::downloadAndSaveFileWithParameters(const Json& parameters, RecordCallback callback) {
  const auto fileName = textOf(parameters, "fileName");
  const auto filePath = textOf(parameters, "filePath");
  const auto fileUrl = textOf(parameters, "fileUrl");
  if (!fileName || !filePath || !fileUrl) return callback(std::nullopt, kQBNFileSaveMissingParametersMessage);
  const auto path = QBNFileSystemUtils::buildPathToFile(*fileName, *filePath, pathToRootDirectory_);
  if (!path) return callback(std::nullopt, std::string(kPMAPathRefusedMessage));
  const std::string key = QBNFileSystemUtils::storageKeyOf(*path, pathToRootDirectory_);
  if (QBNFileSystemUtils::holdsReservedName(key) || key == kQBNMetadataFileName) {
    return callback(std::nullopt, std::string(kQBNFileReservedNameMessage));
  }
  const std::string url = PMAHelperMethods::decodeFromPercentEscapeString(*fileUrl);
  const std::string scheme = platform::urlScheme(url);
  if (scheme != "http" && scheme != "https") return callback(std::nullopt, std::string(kQBNUnsupportedFileURLMessage));
  if (!dataManager_) return callback(std::nullopt, "Failed to download file : " + *fileUrl);

  const double timeout = platform::getDouble(parameters, "timeout").value_or(0);
  platform::URLRequest request{.url = url,
                               .timeoutSeconds = timeout > 0 ? timeout : kQBNSaveFileTimeoutSeconds,
                               .ignoreLocalCache = true};
  std::weak_ptr<QBNFileSystemController> weakSelf = weak_from_this();
  dataManager_->sendDataRequest(
      std::move(request), platform::mainQueue(),
      [weakSelf, parameters, path = *path, fileUrl = *fileUrl, callback](platform::DataTaskResult result) {
        auto self = weakSelf.lock();
        if (!self) return;
        if (result.error) return callback(std::nullopt, messageOr(result.error, "Failed to download file : " + fileUrl));
        self->storeDownloadedFile(parameters, result.body, path, callback);
      });
}

void QBNFileSystemController::storeDownloadedFile(const Json& parameters, const std::string& body,
                                                  const std::string& path, const RecordCallback& callback) {
  const std::string fileName = textOf(parameters, "fileName").value_or("");
  const std::string filePath = textOf(parameters, "filePath").value_or("");
  auto downloads = dataManager_->downloadMgr();
  platform::Error error;
  const bool stored = downloads && downloads->storeData(body, true, fileName, filePath, false, true, &error);
  if (!stored) {
    return callback(parameters, messageOr(downloads ? std::optional(error) : std::nullopt,
                                          "Failed to save file : " + fileName));
  }
  QBNFile file(fileName, path, QBNFileSystemUtils::storageKeyOf(path, pathToRootDirectory_));
  callback(file.getAttributes(), std::nullopt);
  (void)writeDataToPersistentStorage(file);
}

void QBNFileSystemController::deleteFileWithParameters(const Json& parameters, ErrorCallback callback) {
  bool refused = false;
  Json contents = metadataService_.readContent();  // once for the whole operation
  const auto file = createFileWithData(parameters, &refused, &contents);
  if (refused) return callback(std::string(kPMAPathRefusedMessage));
  if (!file) return callback(std::string("Failed to create QBNFile for file deletion"));
  if (file->storageKey() == kQBNMetadataFileName) {
    return callback(std::string(kQBNFileReservedNameMessage));
  }
  const std::string failure = "Failed to delete file " + file->fileName();
  const auto facts = platform::fileFacts(file->absoluteFilePath());
  if (facts && facts.value().type == platform::FileType::Directory) return callback(failure);
  if (auto removed = platform::removeItem(file->absoluteFilePath());
      !removed && removed.error().code != static_cast<int>(platform::StorageErrc::NotFound)) {
    return callback(messageOr(removed.error(), failure));
  }
  (void)removeDataFromPersistentStorage(*file, &contents);
  callback(std::nullopt);
}

void QBNFileSystemController::deleteFolderWitDirectory(const std::optional<std::string>& folderPath,
                                                       ErrorCallback callback) {
  auto downloads = dataManager_ ? dataManager_->downloadMgr() : nullptr;
  if (!downloads) downloads = std::make_shared<PMADownloadManager>();
  const auto folder = folderPath ? QBNFileSystemUtils::buildPathToFolder(*folderPath, pathToRootDirectory_) : std::nullopt;
  platform::Error error;
  if (!downloads->deleteEntireFolder(folderPath, &error)) {
    return callback(messageOr(error, "Failed to delete folder at " + folderPath.value_or("")));
  }
  callback(std::nullopt);
  if (folder) (void)removeFolderContentsFromPersistentStorage(QBNFileSystemUtils::storageKeyOf(*folder, pathToRootDirectory_));
}

bool QBNFileSystemController::writeDataToPersistentStorage(const QBNFile& file) const {
  return metadataService_.addFileData(file, nullptr);
}

bool QBNFileSystemController::removeDataFromPersistentStorage(const QBNFile& file, Json* contents) const {
  return metadataService_.deleteFileData(file, nullptr, contents);
}

bool QBNFileSystemController::removeFolderContentsFromPersistentStorage(const std::string& folderKey) const {
  return metadataService_.removeFolderContents(folderKey, nullptr);
}

void QBNFileSystemController::getFilesWithDirectory(
    const std::optional<std::string>& folderPath,
    std::function<void(const Json&, const std::optional<std::string>&)> callback) {
  const auto folder = QBNFileSystemUtils::buildPathToFolder(folderPath.value_or(""), pathToRootDirectory_);
  if (!folder) return callback(Json::object(), std::string(kPMAPathRefusedMessage));
  const Json metadata = metadataService_.readContent();
  callback(QBNFileSystemUtils::getMappingOfFilesFromDirectory(
               *folder, QBNFileSystemUtils::storageKeyOf(*folder, pathToRootDirectory_), metadata),
           std::nullopt);
}

void QBNFileSystemController::getTotalSizeOfFilesWithDirectory(
    const std::optional<std::string>& folderPath,
    std::function<void(uint64_t, const std::optional<std::string>&)> callback) {
  const auto folder = QBNFileSystemUtils::buildPathToFolder(folderPath.value_or(""), pathToRootDirectory_);
  if (!folder) return callback(0, std::string(kPMAPathRefusedMessage));
  callback(QBNFileSystemUtils::getTotalSizeOfFilesInDirectory(*folder), std::nullopt);
}

void QBNFileSystemController::updateAttributesOfFileWithParameters(const Json& parameters, const Json& attributes,
                                                                   RecordCallback callback) {
  bool refused = false;
  Json contents = metadataService_.readContent();  // once for the whole operation
  const auto file = createFileWithData(parameters, &refused, &contents);
  if (refused) return callback(std::nullopt, std::string(kPMAPathRefusedMessage));
  if (!file) return callback(std::nullopt, std::string("Failed to create QBNFile for updateAttributeOfFile"));
  if (!attributes.is_object()) return callback(std::nullopt, std::string(kQBNFileAttributesNotObjectMessage));
  platform::Error error;
  const bool written = metadataService_.updateFileData(*file, attributes, &error, &contents);
  callback(file->getAttributes(), written ? std::nullopt : std::optional(error.message));
}
