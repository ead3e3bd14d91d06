#include "platform/file_facts.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/storage.h"

namespace platform {
namespace {

Error errnoError(int err, const std::string& what) {
  StorageErrc code = StorageErrc::Io;
  if (err == ENOENT) code = StorageErrc::NotFound;
  if (err == ENOTDIR) code = StorageErrc::NotADirectory;
  return Error{kStorageErrorDomain, static_cast<int>(code), what + ": " + std::strerror(err)};
}

FileFacts factsOf(const struct stat& st) {
  FileFacts facts;
  if (S_ISREG(st.st_mode)) {
    facts.type = FileType::Regular;
  } else if (S_ISDIR(st.st_mode)) {
    facts.type = FileType::Directory;
  } else if (S_ISLNK(st.st_mode)) {
    facts.type = FileType::SymbolicLink;
  }
  facts.size = st.st_size > 0 ? static_cast<uint64_t>(st.st_size) : 0;
  if (st.st_mtim.tv_sec >= 0) {
    facts.modifiedMs = static_cast<uint64_t>(st.st_mtim.tv_sec) * 1000 + static_cast<uint64_t>(st.st_mtim.tv_nsec) / 1'000'000;
  }
  return facts;
}

// Closes the descriptor it owns.
struct Descriptor {
  explicit Descriptor(int value) : fd(value) {}
  ~Descriptor() {
    if (fd >= 0) ::close(fd);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int fd;
};

// The names in the folder open at `fd` ("." and ".." left out), sorted;
// false when it cannot be read. The descriptor stays open.
bool readNames(int fd, std::vector<std::string>& names) {
  const int copy = ::dup(fd);
  if (copy < 0) return false;
  DIR* dir = ::fdopendir(copy);
  if (dir == nullptr) {
    ::close(copy);
    return false;
  }
  ::rewinddir(dir);
  errno = 0;
  while (const dirent* entry = ::readdir(dir)) {
    const std::string name = entry->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  const bool ok = errno == 0;
  ::closedir(dir);
  std::sort(names.begin(), names.end());
  return ok;
}

struct Walk {
  const EnumerationLimits& limits;
  DirectoryEnumeration& out;

  // Lists the folder open at `fd`. Sub-folders are opened relative to it
  // without following a link, so an item swapped for a link between its
  // facts and its opening is not entered either. False once the item limit
  // ended the walk.
  bool folder(int fd, const std::string& prefix, int depth) {
    std::vector<std::string> names;
    if (!readNames(fd, names)) out.complete = false;
    for (const std::string& name : names) {
      if (out.items.size() >= limits.maxItems) {
        out.complete = false;
        return false;
      }
      struct stat st {};
      if (::fstatat(fd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
        out.complete = false;  // gone or unreadable since it was listed
        continue;
      }
      DirectoryItem item;
      item.relativePath = prefix.empty() ? name : prefix + "/" + name;
      item.name = name;
      item.depth = depth;
      item.facts = factsOf(st);
      const bool enter = item.facts.type == FileType::Directory;
      const std::string path = item.relativePath;
      out.items.push_back(std::move(item));
      if (!enter) continue;
      if (depth >= limits.maxDepth) {
        out.complete = false;
        continue;
      }
      Descriptor child(::openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
      if (child.fd < 0) {
        out.complete = false;
        continue;
      }
      if (!this->folder(child.fd, path, depth + 1)) return false;
    }
    return true;
  }
};

}  // namespace

Result<FileFacts> fileFacts(const std::string& path) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0) return errnoError(errno, "facts of " + path);
  return factsOf(st);
}

Result<DirectoryEnumeration> enumerateDirectory(const std::string& folder, const EnumerationLimits& limits) {
  Descriptor fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (fd.fd < 0) return errnoError(errno, "list " + folder);
  DirectoryEnumeration out;
  Walk walk{limits, out};
  (void)walk.folder(fd.fd, "", 0);
  return out;
}

}  // namespace platform
