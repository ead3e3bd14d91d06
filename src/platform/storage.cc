#include "platform/storage.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <system_error>

namespace platform {
namespace fs = std::filesystem;
namespace {

// Reports of corrupt stores kept while no handler is installed.
constexpr size_t kMaxPendingCorruptReports = 16;

Error storageError(StorageErrc code, std::string message) {
  return Error{kStorageErrorDomain, static_cast<int>(code), std::move(message)};
}

Error fromErrno(int err, const std::string& what) {
  StorageErrc code = StorageErrc::Io;
  if (err == ENOENT) code = StorageErrc::NotFound;
  if (err == ENOTDIR) code = StorageErrc::NotADirectory;
  if (err == EISDIR) code = StorageErrc::IsADirectory;
  return storageError(code, what + ": " + std::strerror(err));
}

Error fromErrorCode(const std::error_code& ec, const std::string& what) {
  if (ec.category() == std::generic_category() || ec.category() == std::system_category()) {
    return fromErrno(ec.value(), what);
  }
  return storageError(StorageErrc::Io, what + ": " + ec.message());
}

Json defaultAppInfo() { return Json{{"CFBundleIdentifier", kDefaultBundleIdentifier}}; }

// Process-wide storage state. Allocated once and never destroyed, so calls made
// while static objects are torn down at exit still find it.
struct Globals {
  std::mutex mutex;
  std::optional<std::string> root;
  std::unique_ptr<UserDefaults> standard;
  // Open suites by file name.
  std::map<std::string, std::unique_ptr<UserDefaults>> suites;
  // Stores replaced by a root change or a test reset: kept alive because
  // callers may still hold references to them.
  std::vector<std::unique_ptr<UserDefaults>> retired;
  Json appInfo = defaultAppInfo();

  // Taken after `mutex` when both are held.
  std::mutex reportsMutex;
  CorruptStoreHandler corruptHandler;
  std::vector<CorruptStoreReport> pendingReports;
};

Globals& globals() {
  static Globals* g = new Globals;
  return *g;
}

std::string defaultDataRoot() {
  const char* xdg = std::getenv("XDG_DATA_HOME");
  if (xdg != nullptr && xdg[0] == '/') return (fs::path(xdg) / "quillborne-host").string();
  const char* home = std::getenv("HOME");
  if (home != nullptr && home[0] == '/') {
    return (fs::path(home) / ".local" / "share" / "quillborne-host").string();
  }
  std::error_code ec;
  fs::path tmp = fs::temp_directory_path(ec);
  if (ec) tmp = "/tmp";
  return (tmp / "quillborne-host").string();
}

std::string folderUnderRoot(const fs::path& relative) {
  std::string path = (fs::path(dataRoot()) / relative).string();
  (void)createDirectories(path);  // a failure surfaces at the first use of the folder
  return path;
}

void noteCorrupt(Globals& g, const UserDefaults& store) {
  if (!store.wasCorruptOnOpen()) return;
  std::lock_guard lock(g.reportsMutex);
  g.pendingReports.push_back(CorruptStoreReport{store.filePath(), store.corruptReason()});
  if (g.pendingReports.size() > kMaxPendingCorruptReports) g.pendingReports.erase(g.pendingReports.begin());
}

// Hands the pending reports to the handler, outside every storage lock.
void deliverCorruptReports(Globals& g) {
  std::vector<CorruptStoreReport> reports;
  CorruptStoreHandler handler;
  {
    std::lock_guard lock(g.reportsMutex);
    if (!g.corruptHandler || g.pendingReports.empty()) return;
    reports.swap(g.pendingReports);
    handler = g.corruptHandler;
  }
  for (const auto& report : reports) handler(report);
}

// The standard store of `path`, opened (or reopened after a root change)
// under g.mutex.
UserDefaults& standardLocked(Globals& g, const std::string& path) {
  if (!g.standard || g.standard->filePath() != path) {
    if (g.standard) g.retired.push_back(std::move(g.standard));
    g.standard = std::make_unique<UserDefaults>(path);
    noteCorrupt(g, *g.standard);
  }
  return *g.standard;
}

std::string suiteFileName(const std::string& name) {
  std::string file = name;
  for (char& c : file) {
    const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
                       c == '-' || c == '_';
    if (!plain) c = '_';
  }
  // "." and ".." would name folders; the extension keeps every name a file.
  return (file.empty() ? std::string("_") : file) + ".json";
}

fs::path preferencesFolder() { return fs::path(dataRoot()) / "Library" / "Preferences"; }

std::atomic<uint64_t> tempCounter{0};

// Flushes a folder's entries (a rename in it) to disk. Filesystems that cannot
// flush a folder answer EINVAL; there is nothing more to do on them.
Status syncFolder(const std::string& folder) {
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return fromErrno(errno, "open folder " + folder);
  Status synced = Ok{};
  if (::fsync(fd) != 0 && errno != EINVAL) synced = fromErrno(errno, "fsync folder " + folder);
  ::close(fd);
  return synced;
}

Status writeAll(int fd, std::string_view data, const std::string& path) {
  while (!data.empty()) {
    const ssize_t n = ::write(fd, data.data(), data.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return fromErrno(errno, "write " + path);
    }
    data.remove_prefix(static_cast<size_t>(n));
  }
  return Ok{};
}

}  // namespace

// ---------------------------------------------------------------------------
// Data root.

void setDataRoot(const std::string& path) {
  Globals& g = globals();
  std::lock_guard lock(g.mutex);
  g.root = path;
}

std::string dataRoot() {
  Globals& g = globals();
  std::lock_guard lock(g.mutex);
  if (!g.root) g.root = defaultDataRoot();
  return *g.root;
}

std::string libraryCachesPath() { return folderUnderRoot(fs::path("Library") / "Caches"); }

std::string documentsPath() { return folderUnderRoot("Documents"); }

std::string standardUserDefaultsPath() { return (preferencesFolder() / "standard.json").string(); }

std::string userDefaultsSuitePath(const std::string& name) {
  return (preferencesFolder() / suiteFileName(name)).string();
}

// ---------------------------------------------------------------------------
// File-manager helpers.

bool fileExists(const std::string& path) {
  std::error_code ec;
  return fs::exists(fs::symlink_status(path, ec));
}

bool isDirectory(const std::string& path) {
  std::error_code ec;
  return fs::is_directory(path, ec);
}

Status createDirectories(const std::string& path) {
  std::error_code ec;
  fs::create_directories(path, ec);
  if (ec) return fromErrorCode(ec, "create folder " + path);
  if (!fs::is_directory(path, ec)) {
    return storageError(StorageErrc::NotADirectory, path + " exists and is not a folder");
  }
  return Ok{};
}

Status removeItem(const std::string& path) {
  std::error_code ec;
  if (!fs::exists(fs::symlink_status(path, ec))) {
    return storageError(StorageErrc::NotFound, "nothing to remove at " + path);
  }
  fs::remove_all(path, ec);
  if (ec) return fromErrorCode(ec, "remove " + path);
  return Ok{};
}

Result<std::string> readFile(const std::string& path, size_t maxBytes) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return fromErrno(errno, "open " + path);
  struct FdCloser {
    int fd;
    ~FdCloser() { ::close(fd); }
  } closer{fd};
  struct stat st {};
  if (::fstat(fd, &st) != 0) return fromErrno(errno, "stat " + path);
  if (S_ISDIR(st.st_mode)) return storageError(StorageErrc::IsADirectory, path + " is a folder");
  if (st.st_size > 0 && static_cast<uint64_t>(st.st_size) > maxBytes) {
    return storageError(StorageErrc::TooLarge, path + " is larger than " + std::to_string(maxBytes) +
                                                   " bytes");
  }
  // The size from fstat is only a hint (the file may grow, and /proc files
  // report 0), so reading goes to end of file while checking the cap.
  std::string out;
  out.reserve(static_cast<size_t>(std::max<off_t>(st.st_size, 0)));
  char buf[64 * 1024];
  for (;;) {
    const ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0) {
      if (errno == EINTR) continue;
      return fromErrno(errno, "read " + path);
    }
    if (n == 0) break;
    if (out.size() + static_cast<size_t>(n) > maxBytes) {
      return storageError(StorageErrc::TooLarge,
                          path + " is larger than " + std::to_string(maxBytes) + " bytes");
    }
    out.append(buf, static_cast<size_t>(n));
  }
  return out;
}

Status writeFileAtomically(const std::string& path, std::string_view data, WriteDurability durability) {
  const bool flush = durability == WriteDurability::Flushed;
  // The temporary name is unique per process and call, so concurrent writers
  // of one file never share a temporary file; the last rename wins.
  const std::string temp = path + ".tmp." + std::to_string(::getpid()) + "." +
                           std::to_string(tempCounter.fetch_add(1, std::memory_order_relaxed));
  const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0) return fromErrno(errno, "create " + temp);
  Status written = writeAll(fd, data, temp);
  if (written && flush && ::fsync(fd) != 0) written = fromErrno(errno, "fsync " + temp);
  if (::close(fd) != 0 && written) written = fromErrno(errno, "close " + temp);
  if (written && ::rename(temp.c_str(), path.c_str()) != 0) {
    written = fromErrno(errno, "rename to " + path);
  }
  if (!written) {
    ::unlink(temp.c_str());
    return written;
  }
  if (!flush) return written;
  const fs::path folder = fs::path(path).parent_path();
  return syncFolder(folder.empty() ? std::string(".") : folder.string());
}

Status flushFile(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return fromErrno(errno, "open " + path);
  Status synced = Ok{};
  if (::fsync(fd) != 0) synced = fromErrno(errno, "fsync " + path);
  ::close(fd);
  if (!synced) return synced;
  const fs::path folder = fs::path(path).parent_path();
  return syncFolder(folder.empty() ? std::string(".") : folder.string());
}

Result<std::vector<std::string>> listDirectory(const std::string& path) {
  std::error_code ec;
  fs::directory_iterator it(path, ec);
  if (ec) return fromErrorCode(ec, "list " + path);
  std::vector<std::string> names;
  for (; it != fs::directory_iterator(); it.increment(ec)) {
    names.push_back(it->path().filename().string());
  }
  if (ec) return fromErrorCode(ec, "list " + path);
  std::sort(names.begin(), names.end());
  return names;
}

Result<uint64_t> fileSize(const std::string& path) {
  std::error_code ec;
  if (fs::is_directory(path, ec)) {
    return storageError(StorageErrc::IsADirectory, path + " is a folder");
  }
  const uintmax_t size = fs::file_size(path, ec);
  if (ec) return fromErrorCode(ec, "size of " + path);
  return static_cast<uint64_t>(size);
}

// ---------------------------------------------------------------------------
// User defaults.

UserDefaults::UserDefaults(std::string filePath) : path_(std::move(filePath)), values_(Json::object()) {
  const fs::path parent = fs::path(path_).parent_path();
  if (!parent.empty()) (void)createDirectories(parent.string());
  load();
}

void UserDefaults::load() {
  removeStaleTemporaryFiles();
  auto text = readFile(path_, kMaxFileBytes);
  if (!text && text.error().code == static_cast<int>(StorageErrc::NotFound)) return;
  if (text) {
    auto parsed = parseJson(text.value());
    if (parsed && parsed.value().is_object()) {
      values_ = std::move(parsed).value();
      return;
    }
    corruptReason_ = "not a JSON object";
  } else if (text.error().code == static_cast<int>(StorageErrc::TooLarge)) {
    corruptReason_ = "larger than " + std::to_string(kMaxFileBytes) + " bytes";
  } else {
    corruptReason_ = text.error().message;
  }
  // Keep the bytes aside to look at later and start empty, so one bad write
  // can never stop the host from starting.
  corruptOnOpen_ = true;
  std::error_code ec;
  fs::rename(path_, path_ + ".corrupt", ec);
  if (ec) fs::remove_all(path_, ec);
}

void UserDefaults::removeStaleTemporaryFiles() {
  // A temporary file outlives its write only when the process died in the
  // middle of it; those of this process may belong to a write under way.
  const fs::path file(path_);
  const fs::path folder = file.parent_path().empty() ? fs::path(".") : file.parent_path();
  const std::string prefix = file.filename().string() + ".tmp.";
  const std::string ours = prefix + std::to_string(::getpid()) + ".";
  auto names = listDirectory(folder.string());
  if (!names) return;
  for (const auto& name : names.value()) {
    if (name.rfind(prefix, 0) != 0 || name.rfind(ours, 0) == 0) continue;
    std::error_code ec;
    fs::remove(folder / name, ec);
  }
}

UserDefaults& UserDefaults::standard() {
  const std::string path = standardUserDefaultsPath();
  Globals& g = globals();
  UserDefaults* store = nullptr;
  {
    std::lock_guard lock(g.mutex);
    store = &standardLocked(g, path);
  }
  deliverCorruptReports(g);
  return *store;
}

UserDefaults& UserDefaults::suite(const std::string& name) {
  const std::string path = userDefaultsSuitePath(name);
  const std::string standardPath = standardUserDefaultsPath();
  if (path == standardPath) return standard();
  Globals& g = globals();
  UserDefaults* store = nullptr;
  {
    std::lock_guard lock(g.mutex);
    auto& slot = g.suites[fs::path(path).filename().string()];
    if (!slot || slot->filePath() != path) {
      if (slot) g.retired.push_back(std::move(slot));
      slot = std::make_unique<UserDefaults>(path);
      noteCorrupt(g, *slot);
      slot->adoptKeysWithPrefix(standardLocked(g, standardPath), name + ".");
    }
    store = slot.get();
  }
  deliverCorruptReports(g);
  return *store;
}

void UserDefaults::resetStandardForTesting() {
  Globals& g = globals();
  std::lock_guard lock(g.mutex);
  if (g.standard) g.retired.push_back(std::move(g.standard));
  for (auto& [name, store] : g.suites) g.retired.push_back(std::move(store));
  g.suites.clear();
}

void UserDefaults::adoptKeysWithPrefix(UserDefaults& source, const std::string& prefix) {
  std::scoped_lock lock(source.mutex_, mutex_);
  std::vector<std::string> keys;
  for (auto it = source.values_.begin(); it != source.values_.end(); ++it) {
    if (it.key().rfind(prefix, 0) == 0) keys.push_back(it.key());
  }
  if (keys.empty()) return;
  bool copied = false;
  for (const auto& key : keys) {
    if (values_.contains(key)) continue;  // the suite's own value is the newer one
    values_[key] = source.values_[key];
    copied = true;
  }
  if (copied) {
    dirty_ = true;
    persistLocked();
    if (dirty_) return;  // the originals stay until their copy is on disk
  }
  for (const auto& key : keys) source.values_.erase(key);
  source.dirty_ = true;
  source.persistLocked();
}

std::optional<Json> UserDefaults::object(const std::string& key) const {
  std::lock_guard lock(mutex_);
  auto it = values_.find(key);
  if (it == values_.end()) return std::nullopt;
  return *it;
}

std::optional<std::string> UserDefaults::string(const std::string& key) const {
  std::lock_guard lock(mutex_);
  return getString(values_, key);
}

int64_t UserDefaults::integer(const std::string& key) const {
  std::lock_guard lock(mutex_);
  auto it = values_.find(key);
  if (it == values_.end()) return 0;
  if (it->is_boolean()) return it->get<bool>() ? 1 : 0;
  return getInt(values_, key).value_or(0);
}

bool UserDefaults::boolean(const std::string& key) const {
  std::lock_guard lock(mutex_);
  auto it = values_.find(key);
  if (it == values_.end()) return false;
  if (it->is_boolean()) return it->get<bool>();
  if (it->is_number()) return it->get<double>() != 0.0;
  return false;
}

double UserDefaults::doubleValue(const std::string& key) const {
  std::lock_guard lock(mutex_);
  auto it = values_.find(key);
  if (it == values_.end()) return 0.0;
  if (it->is_boolean()) return it->get<bool>() ? 1.0 : 0.0;
  if (it->is_number()) return it->get<double>();
  return 0.0;
}

Json UserDefaults::dictionaryRepresentation() const {
  std::lock_guard lock(mutex_);
  return values_;
}

void UserDefaults::setObject(const std::string& key, Json value, WriteDurability durability) {
  if (value.is_null()) {
    removeObject(key, durability);
    return;
  }
  std::lock_guard lock(mutex_);
  auto it = values_.find(key);
  if (it != values_.end() && *it == value && !dirty_) return;  // nothing new to write
  values_[key] = std::move(value);
  dirty_ = true;
  persistLocked(durability);
}

void UserDefaults::setString(const std::string& key, std::string value) {
  setObject(key, Json(std::move(value)));
}

void UserDefaults::setInteger(const std::string& key, int64_t value) { setObject(key, Json(value)); }

void UserDefaults::setBool(const std::string& key, bool value) { setObject(key, Json(value)); }

void UserDefaults::setDouble(const std::string& key, double value) { setObject(key, Json(value)); }

void UserDefaults::removeObject(const std::string& key, WriteDurability durability) {
  std::lock_guard lock(mutex_);
  if (values_.erase(key) == 0 && !dirty_) return;
  dirty_ = true;
  persistLocked(durability);
}

Status UserDefaults::synchronize() {
  std::lock_guard lock(mutex_);
  if (dirty_) persistLocked();
  if (dirty_ && lastWriteError_) return *lastWriteError_;
  if (unflushed_) {
    Status flushed = flushFile(path_);
    if (!flushed) return flushed;
    unflushed_ = false;
  }
  return Ok{};
}

bool UserDefaults::hasUnflushedChanges() const {
  std::lock_guard lock(mutex_);
  return unflushed_;
}

void UserDefaults::persistLocked(WriteDurability durability) {
  Status written = writeFileAtomically(path_, dumpJson(values_), durability);
  if (written) {
    dirty_ = false;
    unflushed_ = durability == WriteDurability::Unflushed;
    lastWriteError_.reset();
  } else {
    lastWriteError_ = written.error();
  }
}

void setCorruptStoreHandler(CorruptStoreHandler handler) {
  Globals& g = globals();
  {
    std::lock_guard lock(g.reportsMutex);
    g.corruptHandler = std::move(handler);
  }
  deliverCorruptReports(g);
}

// ---------------------------------------------------------------------------
// Application information dictionary.

void setAppInfo(Json info) {
  Globals& g = globals();
  std::lock_guard lock(g.mutex);
  g.appInfo = info.is_object() ? std::move(info) : Json::object();
}

Json appInfo() {
  Globals& g = globals();
  std::lock_guard lock(g.mutex);
  return g.appInfo;
}

std::optional<Json> appInfoValue(const std::string& key) {
  Globals& g = globals();
  std::lock_guard lock(g.mutex);
  auto it = g.appInfo.find(key);
  if (it == g.appInfo.end()) return std::nullopt;
  return *it;
}

std::string bundleIdentifier() {
  auto id = appInfoValue("CFBundleIdentifier");
  if (id && id->is_string() && !id->get_ref<const std::string&>().empty()) {
    return id->get<std::string>();
  }
  return kDefaultBundleIdentifier;
}

}  // namespace platform
