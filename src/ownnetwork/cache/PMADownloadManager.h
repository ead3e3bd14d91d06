#pragma once
// The own network's disk cache: its folders under the application's
// Library/Caches, storing, finding and deleting files, the folder map the
// controller page lists, and the removal of cache folders of earlier layouts.
//
//   cache root        <Library/Caches>/PMACache       the controller page's folder,
//                                                      "lastUpdateTime", feature folders
//   publisher folder  <cache root>/PMAPublisher        files the controller page saves
//   controller page   <cache root>/mobileController/mobileController.html
//
// Folder and file names handed to the operations come from the controller
// page: each is confined to its base folder with PMAConfinedPath (a name that
// is absolute, has a "." or ".." component or leads outside through a link is
// refused with kPMAPathRefusedMessage). Names may hold any other byte.
//
// A manager keeps no state: make one where it is needed. Every call is
// synchronous, thread-safe as far as the file system is, and answers on the
// calling thread. "error" out-parameters may be null and are written only
// when the call fails.
#include <optional>
#include <string>

#include "platform/json.h"
#include "platform/result.h"

inline constexpr char kPMACacheFolderName[] = "PMACache";
inline constexpr char kPMAPublisherFolderName[] = "PMAPublisher";
inline constexpr char kPMALastUpdateTimeFileName[] = "lastUpdateTime";
// Folders whose name starts with this are left from earlier layouts.
inline constexpr char kPMAObsoleteCachePrefix[] = "PMACache_";

inline constexpr char kPMADeleteFileErrorDomain[] = "Delete File Domain";
inline constexpr char kPMADeleteFolderErrorDomain[] = "Delete Folder Domain";
inline constexpr char kPMAFileNameIsNilMessage[] = "File name is nil";
inline constexpr char kPMAFolderNameIsNilMessage[] = "Folder name is nil";
// A name refused by the confinement (general own-network domain, code 0).
inline constexpr char kPMAPathRefusedMessage[] = "path is outside the cache folder";

class PMADownloadManager {
 public:
  PMADownloadManager() = default;

  // The application's Documents and Library/Caches folders.
  std::string getDocumentsFolder() const;
  std::string getLibraryCachesFolder() const;
  // The cache root (true) or the publisher folder (false), created with its
  // parents when missing at every call. (Excluding it from backups has no
  // meaning on this platform.)
  std::string getInstanceCacheFolderUseRoot(bool root) const;
  // The cache root or the publisher folder for `name`: the cache root for
  // "lastUpdateTime", else the publisher folder.
  std::string getDataPathAccordingToFileName(const std::string& name) const;

  // Stores `data` as the file `key`: in base/folderName when
  // shouldCreateFolder (the folder created with its parents when missing),
  // else in base itself (folderName ignored); base is the cache root or the
  // publisher folder. An existing file is kept (true, nothing written) unless
  // shouldOverride, which removes it first. The write is atomic. The file
  // system's error, or the refusal of a name, goes to `error` with false.
  bool storeData(const std::string& data, bool shouldCreateFolder, const std::string& key,
                 const std::optional<std::string>& folderName, bool shouldUseCacheRoot, bool shouldOverride,
                 platform::Error* error) const;

  // File URL of the controller page's file, whether it exists or not.
  std::string getControllerUrl() const;
  // File URL of the stored file `name`: looked up in base/folderName when a
  // folder name is given and that folder exists, else in base itself. None
  // when no such file exists (or a name is refused).
  std::optional<std::string> getUrlFileByName(const std::string& name, const std::optional<std::string>& folderName,
                                              bool shouldUseCacheFolderRoot) const;

  // Removes base/path/name (base by getDataPathAccordingToFileName). True
  // when it is gone or was never there. No name or path: false with "File
  // name is nil" ("Delete File Domain", 0).
  bool deleteFileWithName(const std::optional<std::string>& name, const std::optional<std::string>& path,
                          platform::Error* error) const;
  // Removes the folder publisher folder/name with its content. True when it
  // is gone or was never there. No name: false with "Folder name is nil"
  // ("Delete Folder Domain", 0). A name that leads to the publisher folder
  // itself ("" included) or above it is refused.
  bool deleteEntireFolder(const std::optional<std::string>& name, platform::Error* error) const;
  // Removes the publisher folder with all its content.
  void deleteAllPMAFoldersFromDocs() const;

  // The folder map of publisher folder/folder for the controller page; none
  // for no name, a refused name or a folder that does not exist. Hidden
  // entries are skipped. The map holds "path" (the name as given) and:
  //  - for the publisher folder itself (""), the folder tree: each folder a
  //    dictionary under its name inside its parent's dictionary, each
  //    folder's files in its "files" array, the top level's files in the
  //    map's own "files";
  //  - for any other folder, every file name of its subtree in the map's
  //    "files", and no folder entries.
  // Folders and files are visited in pre-order, names sorted. A folder named
  // "files" (or "path" at the top) gets no entry; the files under a folder
  // without an entry go to the map's own "files". The walk follows no links,
  // goes at most kPMAFolderMapMaxDepth folders deep and ends at the first
  // folder it cannot read.
  std::optional<platform::Json> getFolderFiles(const std::optional<std::string>& folder) const;
  static constexpr int kPMAFolderMapMaxDepth = 64;

  // The first value found under `key`, depth first: the dictionary's own
  // member, else its values in order - a dictionary searched the same way,
  // an array's dictionaries each searched. None when no value is found.
  std::optional<platform::Json> recursiveObjectForKey(const std::string& key, const platform::Json& dictionary) const;

  // Removes every folder under `path` (at any depth, links not followed,
  // hidden entries skipped) whose name starts with "PMACache_"; errors are
  // ignored and the walk ends at the first folder it cannot read. The current
  // cache root is not walked into: what lives there is in use.
  void deleteOldBaseDirectory(const std::string& path) const;

  // The cache root's path, the folder created when missing.
  static std::string getInstanceRootDirectory();
  // Creates path/name (its parent must exist) unless a folder of that name
  // exists there; the file system's error goes to `error` with false.
  static bool createDirectoryAtPath(const std::string& path, const std::string& name, platform::Error* error);

  // "file://" followed by the percent-escaped path ("/" kept), with a final
  // "/" for a folder.
  static std::string fileURLWithPath(const std::string& path, bool isDirectory);
};
