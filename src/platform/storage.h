#pragma once
// Persistent storage of the host application: the data root and its folders,
// file-manager helpers, user defaults, and the application's information
// dictionary.
//
// Every call is synchronous, thread-safe and answers on the calling thread.
// File errors are values in kStorageErrorDomain; nothing throws.
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/json.h"
#include "platform/result.h"

namespace platform {

inline constexpr char kStorageErrorDomain[] = "platform.storage";

// Codes of errors in kStorageErrorDomain.
enum class StorageErrc : int {
  NotFound = 1,      // no such file or folder
  Io = 2,            // the operating system refused (message carries its reason)
  TooLarge = 3,      // the file is larger than the caller's cap
  NotADirectory = 4, // a folder was expected
  IsADirectory = 5,  // a file was expected
};

// ---------------------------------------------------------------------------
// Data root and the application's folders.

// Sets the folder under which everything the library stores lives. The host
// chooses it at start-up; tests give each test a fresh temporary folder.
// Changing it makes UserDefaults::standard() and UserDefaults::suite() open
// the stores of the new root.
// Without a call the root is $XDG_DATA_HOME/quillborne-host, else
// $HOME/.local/share/quillborne-host, else <temp dir>/quillborne-host.
void setDataRoot(const std::string& path);
std::string dataRoot();
// <root>/Library/Caches and <root>/Documents, created when missing (a folder
// that cannot be created shows up as an error of the first file call in it).
std::string libraryCachesPath();
std::string documentsPath();
// <root>/Library/Preferences/standard.json: the file of the standard defaults.
std::string standardUserDefaultsPath();
// <root>/Library/Preferences/<name>.json: the file of the suite `name`. Bytes
// of the name other than A-Z a-z 0-9 "." "-" "_" become "_" (so the file stays
// in the folder); the suite "standard" is the standard store.
std::string userDefaultsSuitePath(const std::string& name);

// ---------------------------------------------------------------------------
// File-manager helpers (std::filesystem underneath, without exceptions).

inline constexpr size_t kDefaultMaxReadBytes = size_t{64} * 1024 * 1024;

bool fileExists(const std::string& path);  // file, folder or anything else
bool isDirectory(const std::string& path);
// Creates the folder and its missing parents; an existing folder is fine.
// NotADirectory when a file stands in the way.
Status createDirectories(const std::string& path);
// Removes a file, or a folder with everything in it. NotFound when nothing is
// there (callers that do not care ignore that code).
Status removeItem(const std::string& path);
// Whole contents of a regular file. NotFound, IsADirectory, TooLarge (file
// larger than maxBytes; nothing is read), Io.
Result<std::string> readFile(const std::string& path, size_t maxBytes = kDefaultMaxReadBytes);
// How far a write has gone when the call returns.
enum class WriteDurability {
  // On the disk (fsync of the file and of its folder): outlives a power loss.
  Flushed,
  // Handed to the system, not flushed: outlives the process (a crash, a kill)
  // but not a power loss until the system writes it back or flushFile() runs.
  Unflushed,
};

// Replaces the file's contents all at once: writes a temporary file
// "<path>.tmp.<pid>.<n>" in the same folder, flushes it to disk (fsync),
// renames it over the target and flushes the folder, so a reader or a crash
// sees either the old or the new contents, and the new contents outlive a
// power loss once the call returned Ok. The folder must exist. An error of the
// last step (flushing the folder) leaves the new contents in place.
// WriteDurability::Unflushed skips both flushes (the rename stays atomic).
Status writeFileAtomically(const std::string& path, std::string_view data,
                           WriteDurability durability = WriteDurability::Flushed);
// Flushes a file written Unflushed, and its folder (the rename), to disk.
Status flushFile(const std::string& path);
// Names (not paths) of the folder's entries, sorted; "." and ".." excluded.
Result<std::vector<std::string>> listDirectory(const std::string& path);
Result<uint64_t> fileSize(const std::string& path);

// ---------------------------------------------------------------------------
// User defaults.

// A thread-safe key-value store of JSON values kept in one file (a JSON
// object). Every change is written through at once, under the store's lock,
// with writeFileAtomically: the file always holds the last change and a crash
// never leaves it half written. A write rewrites this store's file only. A
// write that fails leaves the store dirty; the next change or synchronize()
// retries and synchronize() reports the error. A change made with
// WriteDurability::Unflushed is in the file (it outlives the process) but
// reaches the disk only with the next flushed change or synchronize().
//
// Reads mirror the platform's user defaults: absent or mistyped values give
// 0 / false / nullopt.
class UserDefaults {
 public:
  // Largest file a store loads; a larger one counts as damaged.
  static constexpr size_t kMaxFileBytes = size_t{16} * 1024 * 1024;

  // Opens the store of filePath, creating its folder when needed. A missing
  // file is an empty store. Temporary files of a write to filePath that never
  // finished (another process's "<filePath>.tmp.*") are removed. A file that
  // cannot be read as a JSON object (or is larger than kMaxFileBytes) is
  // renamed to "<filePath>.corrupt" (replacing an older one), the store starts
  // empty and wasCorruptOnOpen() answers true; this is never fatal.
  explicit UserDefaults(std::string filePath);
  UserDefaults(const UserDefaults&) = delete;
  UserDefaults& operator=(const UserDefaults&) = delete;

  // The store of the current data root (standardUserDefaultsPath()), opened on
  // first use and reopened after setDataRoot() moves the root. References
  // handed out earlier stay valid (they keep pointing at the old store).
  static UserDefaults& standard();
  // The store of the suite `name` in the current data root, in its own file
  // (userDefaultsSuitePath(name)); opened and reopened like standard(). When
  // it opens, the keys of the standard store that begin with `name` + "." (a
  // store written when every key lived in the standard file) move into it:
  // copied where the suite has no value yet, written, then removed from the
  // standard store.
  static UserDefaults& suite(const std::string& name);
  // Drops the standard store and every suite so the next standard() or
  // suite() reads its file again.
  static void resetStandardForTesting();

  const std::string& filePath() const { return path_; }
  bool wasCorruptOnOpen() const { return corruptOnOpen_; }
  // Why the file was set aside when the store opened; empty when it was not.
  const std::string& corruptReason() const { return corruptReason_; }

  std::optional<Json> object(const std::string& key) const;
  // A string value; nullopt for other types.
  std::optional<std::string> string(const std::string& key) const;
  // Integer of a number (floating numbers truncated) or boolean (0/1); else 0.
  int64_t integer(const std::string& key) const;
  // A boolean, or true for a non-zero number; else false.
  bool boolean(const std::string& key) const;
  // A number, or 1/0 for a boolean; else 0.
  double doubleValue(const std::string& key) const;
  // Every key and value, as one JSON object (a copy).
  Json dictionaryRepresentation() const;

  // Setting a null JSON value removes the key, as with removeObject.
  void setObject(const std::string& key, Json value, WriteDurability durability = WriteDurability::Flushed);
  void setString(const std::string& key, std::string value);
  void setInteger(const std::string& key, int64_t value);
  void setBool(const std::string& key, bool value);
  void setDouble(const std::string& key, double value);
  void removeObject(const std::string& key, WriteDurability durability = WriteDurability::Flushed);

  // Writes the file when a change has not reached it yet, and flushes it when
  // an unflushed change has not reached the disk. The error of that write,
  // else Ok.
  Status synchronize();
  // True while a change written Unflushed has not been flushed.
  bool hasUnflushedChanges() const;

 private:
  void load();
  void removeStaleTemporaryFiles();
  void persistLocked(WriteDurability durability = WriteDurability::Flushed);
  void adoptKeysWithPrefix(UserDefaults& source, const std::string& prefix);

  const std::string path_;
  mutable std::mutex mutex_;
  Json values_;
  bool dirty_ = false;
  bool unflushed_ = false;  // the file holds a change that was not flushed
  bool corruptOnOpen_ = false;
  std::string corruptReason_;
  std::optional<Error> lastWriteError_;
};

// A store of standard() or suite() found its file damaged when it opened.
struct CorruptStoreReport {
  std::string path;    // the store's file (now "<path>.corrupt")
  std::string reason;  // "not a JSON object", "larger than 16777216 bytes", ...
};
using CorruptStoreHandler = std::function<void(const CorruptStoreReport&)>;

// Installs the one handler told of each store of standard() or suite() found
// corrupt when it opened, on the thread that opened it, never under a storage
// lock. Reports made while no handler was installed (the last 16) are handed
// to the new handler at once. An empty handler removes it.
void setCorruptStoreHandler(CorruptStoreHandler handler);

// ---------------------------------------------------------------------------
// The application's information dictionary (what an application bundle's
// Info.plist holds), supplied by the host.

inline constexpr char kDefaultBundleIdentifier[] = "com.example.host";

// Replaces the dictionary; a value that is not an object is stored as an empty
// object. The default is {"CFBundleIdentifier": "com.example.host"}.
void setAppInfo(Json info);
Json appInfo();
std::optional<Json> appInfoValue(const std::string& key);
// "CFBundleIdentifier" of the dictionary when it is a non-empty string, else
// kDefaultBundleIdentifier.
std::string bundleIdentifier();

}  // namespace platform
