#pragma once
// What a file manager tells of the items on disk: the type, size and
// modification time of one item, and a bounded walk through a folder tree
// that never follows a symbolic link. Synchronous, thread-safe, on the calling
// thread; errors are values in kStorageErrorDomain (platform/storage.h).
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/result.h"

namespace platform {

enum class FileType { Regular, Directory, SymbolicLink, Other };

struct FileFacts {
  FileType type = FileType::Other;
  // Bytes: a regular file's length; for a folder, a link or anything else,
  // the size the file system reports for the item itself.
  uint64_t size = 0;
  // Last modification, whole milliseconds since 1970 (0 for earlier times).
  uint64_t modifiedMs = 0;

  bool operator==(const FileFacts&) const = default;
};

// The facts of `path` itself: a symbolic link gives its own facts (type
// SymbolicLink) and is not followed. NotFound when nothing is there, Io when
// the item cannot be examined.
Result<FileFacts> fileFacts(const std::string& path);

// One item met by enumerateDirectory.
struct DirectoryItem {
  std::string relativePath;  // "/"-joined names from the enumerated folder down
  std::string name;          // the last of them
  int depth = 0;             // 0 for the folder's own entries
  FileFacts facts;
};

struct EnumerationLimits {
  // Folders at this depth are listed but not entered (0: the folder's own
  // entries only).
  int maxDepth = 64;
  // The walk ends once this many items are listed.
  size_t maxItems = 100'000;
};

struct DirectoryEnumeration {
  std::vector<DirectoryItem> items;
  // A limit cut the walk short, or a sub-folder could not be read (its
  // entries are missing; the walk went on with the next item).
  bool complete = true;
};

// Every item below `folder`, in pre-order (each folder right before its
// content), names in ascending byte order within a folder. Symbolic links
// are listed with their own facts and never entered, wherever they point;
// only `folder` itself is taken as the path resolves. Errors: `folder` cannot
// be listed (NotFound, NotADirectory, Io).
Result<DirectoryEnumeration> enumerateDirectory(const std::string& folder, const EnumerationLimits& limits = {});

}  // namespace platform
