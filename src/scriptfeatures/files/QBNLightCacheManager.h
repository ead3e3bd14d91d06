#pragma once
// A process-wide store of a few small files in one folder: native assets the
// library writes once and then reads by file URL (the silent-switch check's
// sampling sound). Its user sets the folder (the store never creates it);
// names are plain file names inside it.
//
// Every call is thread-safe and synchronous.
#include <mutex>
#include <optional>
#include <string>

#include "platform/result.h"

inline constexpr char kQBNLightCacheErrorDomain[] = "com.quilbrn.errors";
inline constexpr char kQBNLightCacheInvalidNameMessage[] = "File name is not valid";
inline constexpr char kQBNLightCacheNoRootMessage[] = "Global Directory is not exits";
inline constexpr char kQBNLightCacheNoDataMessage[] = "Data provided is nil";

class QBNLightCacheManager {
 public:
  static QBNLightCacheManager& sharedInstance();

  // The store's folder; none until a user sets it.
  void setRootDirectoryPath(std::optional<std::string> path);
  std::optional<std::string> rootDirectoryPath() const;

  // Writes `data` as root/fileName, atomically. A file of that name that
  // exists already is kept as it is (nothing written, no error). Failures,
  // in this order (domain "com.quilbrn.errors", code 0): an empty name gives
  // "File name is not valid" when the root exists, else "Global Directory is
  // not exits"; no root gives "Global Directory is not exits"; no data gives
  // "Data provided is nil". A name that is not a plain file name ("/", "."
  // or "..") counts as empty. A write that fails passes the file system's
  // error out. `error` (may be null) is written only on failure, when the
  // answer is false.
  bool saveDataOnRootDirectory(const std::optional<std::string>& data, const std::string& fileName,
                               platform::Error* error);

  // The file URL / path of root/fileName; none when no file (a folder does
  // not count) of that name is there.
  std::optional<std::string> fileUrlForFileNameOnRootDirectory(const std::string& fileName) const;
  std::optional<std::string> pathForFileNameInRootDirectory(const std::string& fileName) const;
  // Whether the root is set and is a folder.
  bool isRootDirectoryExists() const;
  // Whether the root exists and root/fileName is something other than a
  // folder.
  bool isFileNameExistInRootDirectory(const std::optional<std::string>& fileName) const;

  // No root.
  void resetForTesting();

 private:
  QBNLightCacheManager() = default;
  // root/fileName for a plain file name and a set root.
  std::optional<std::string> filePath(const std::string& fileName) const;

  mutable std::mutex mutex_;
  std::optional<std::string> root_;
};
