#pragma once
// Paths, listings and sizes of the page's file store. Every path the page
// names is confined to the store's root with PMAConfinedPath (absolute
// paths, "." and ".." components - also after further percent-decodings -
// and ways out through links are refused); every walk goes through
// platform::enumerateDirectory, which never follows a link.
//
// Class operations only; synchronous, on the calling thread.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "platform/json.h"

class QBNFileSystemUtils {
 public:
  // A listing goes this deep below the listed folder and stops after this
  // many items (folders and files).
  static constexpr int kMaxListingDepth = 64;
  static constexpr size_t kMaxListingItems = 20'000;

  // An item of this name would make a folder map read as a file record (a
  // record is a dictionary with a "name" key): the store refuses it as a
  // file or folder name, and listings leave such items out.
  static constexpr char kReservedItemName[] = "name";

  // root/filePath/fileName for a plain file name (not empty, no "/"), the
  // folder path's empty components dropped; none when the name is not plain
  // or the path is refused (see above), or it would name the root itself.
  static std::optional<std::string> buildPathToFile(const std::string& fileName, const std::string& filePath,
                                                    const std::string& root);
  // root/folderPath (the root itself for ""); none when refused.
  static std::optional<std::string> buildPathToFolder(const std::string& folderPath, const std::string& root);
  // The path of an item below `root` (as the two builders answer it)
  // relative to it, "" for the root: the metadata archive's key.
  static std::string storageKeyOf(const std::string& absolutePath, const std::string& root);
  // Whether a path holds a component that is the reserved name.
  static bool holdsReservedName(const std::string& relativePath);

  // Whether anything (a link included) is at the path.
  static bool doesFileExistAtPath(const std::string& path);
  // A copy of the members of `parameters`; {} for anything but an object.
  static platform::Json buildFileParametersWithParameters(const platform::Json& parameters);

  // The folder map of `directory` (a path the builders gave): one member per
  // item, a sub-folder's value its own folder map, a regular file's value
  // its attributes record with its archive entry from `metadata` (the
  // archive's map, read once by the caller) applied; `directoryKey` is the
  // folder's storage key. Links, other kinds of items and reserved names are
  // left out. {} for a folder that does not exist. Names in ascending byte
  // order; the listing limits above apply.
  static platform::Json getMappingOfFilesFromDirectory(const std::string& directory, const std::string& directoryKey,
                                                       const platform::Json& metadata);

  // The bytes of every item below `directory` at every level, as the file
  // system reports them (folders and links with their own size; links are
  // not followed); 0 for a folder that does not exist. The listing limits
  // apply.
  static uint64_t getTotalSizeOfFilesInDirectory(const std::string& directory);
};
