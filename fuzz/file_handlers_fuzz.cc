// The controller page's file commands with arbitrary folder and file names.
// Input: the first byte picks the command (mod 10: 0-3 the older commands
// save, delete file, delete folder, list; 4-9 the "fileSystemAPI"
// sub-commands saveFile, deleteFile, deleteFolder, getFiles,
// getTotalSizeOfFiles, updateAttributesOfFile), the rest is the request's
// "path", a line break, and its "file" (for "fileSystemAPI": "filePath" and
// "folderPath", then "fileName" and the attribute's value).
//  - Nothing outside the publisher folder (PMACache/PMAPublisher) is ever
//    created, changed or removed: the rest of the data root - the cache root
//    with the controller page, folders beside the cache, a folder that a link
//    inside the publisher folder points to - reads exactly as before. (The
//    cache root holds no "lastUpdateTime", the one file the page may remove
//    there.)
//  - A save answered "assetCached" left its file inside the publisher folder;
//    a "fileSystemAPI" save answered with success left it where its record's
//    "path" says, inside the publisher folder.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <string_view>

#include "ownnetwork/cache/PMAConfinedPath.h"
#include "ownnetwork/data/QBNDataManager.h"
#include "ownnetwork/handlers/QBNFileHandlers.h"
#include "ownnetwork/handlers/QBNPublisherHandlerContext.h"
#include "ownnetwork/interfaces/QBNControllerManagerP.h"
#include "ownnetwork/services/PMAHelperMethods.h"
#include "platform/json.h"
#include "platform/storage.h"
#include "platform/test_environment.h"
#include "scriptfeatures/files/QBNFileSystemJSInterfaceHandler.h"
#include "support/fuzz_support.h"
#include "support/stub_publisher.h"

namespace {

namespace fs = std::filesystem;
using platform::Json;

constexpr char kPayload[] = "payload";

// Answers every download at once with kPayload.
class InstantDataManager : public QBNDataManagerProtocol {
 public:
  void sendDataRequest(platform::URLRequest, platform::QueueRef, QBNDataRequestCompletion completion) override {
    if (completion) completion(platform::DataTaskResult{.body = kPayload});
  }
  QBNDataManagerConfiguration config() const override { return {}; }
  void setConfig(const QBNDataManagerConfiguration&) override {}
  std::shared_ptr<PMADownloadManager> downloadMgr() const override { return downloads_; }
  void setDownloadMgr(std::shared_ptr<PMADownloadManager> downloads) override { downloads_ = std::move(downloads); }

 private:
  std::shared_ptr<PMADownloadManager> downloads_ = std::make_shared<PMADownloadManager>();
};

class Publisher : public qbfuzz::StubPublisher<QBNPublisherHandlerContext> {
 public:
  std::shared_ptr<PMAOfferWallDelegate> offerWallDelegate() const override { return nullptr; }
  std::shared_ptr<PMAProductParameters> parametersForProductType(int64_t) const override { return nullptr; }
  bool allowOrientationFromAppDelegate() const override { return false; }
  std::shared_ptr<QBNDataManagerProtocol> dataManager() const override { return data; }
  std::shared_ptr<QBNOrientationJSHandlerP> orientationJSInterfaceHandler() const override { return nullptr; }
  std::shared_ptr<QBNProductPresenterJSHandlerP> presenterJSInterfaceHandler() const override { return nullptr; }
  std::shared_ptr<QBNHybridAdPresenterP> hybridAdPresenter() const override { return nullptr; }
  std::shared_ptr<QBNSecondaryWebViewJSHandlerP> secondaryWebViewJSHandler() const override { return nullptr; }

  // The last answer the page received.
  const std::string& lastName() const { return page->calls.back().first; }
  const Json& lastParameters() const { return page->calls.back().second; }

  std::shared_ptr<InstantDataManager> data = std::make_shared<InstantDataManager>();
};

constexpr const char* kFileSystemCommands[] = {"saveFile",   "deleteFile",          "deleteFolder",
                                              "getFiles",   "getTotalSizeOfFiles", "updateAttributesOfFile"};

struct World {
  // The main queue, where "fileSystemAPI" replies go, runs when the input is
  // done.
  platform::TestEnvironment* env = new platform::TestEnvironment();  // lives for the process
  std::shared_ptr<Publisher> publisher = std::make_shared<Publisher>();
  std::shared_ptr<QBNFileHandlers> handlers = QBNFileHandlers::create(publisher);
  std::shared_ptr<QBNFileSystemJSInterfaceHandler> fileSystem =
      QBNFileSystemJSInterfaceHandler::initWithPublisherAgent(publisher, publisher->data);
  std::string root, publisherFolder;
  std::map<std::string, std::string> outside;
};

void write(const std::string& path, const std::string& text) {
  fs::create_directories(fs::path(path).parent_path());
  QB_FUZZ_CHECK(platform::writeFileAtomically(path, text).ok());
}

// Every entry under the data root but the publisher folder's content and the
// user defaults: files with their content, folders, links with their target.
std::map<std::string, std::string> snapshotOutside(const World& world) {
  std::map<std::string, std::string> entries;
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(world.root, ec); !ec && it != fs::recursive_directory_iterator();
       it.increment(ec)) {
    const std::string path = it->path().string();
    if (path == world.publisherFolder) {
      it.disable_recursion_pending();
      entries[path] = "<kept>";
      continue;
    }
    if (path.find("/Library/Preferences") != std::string::npos) {  // made on the first write of a default
      it.disable_recursion_pending();
      continue;
    }
    if (it->is_symlink()) {
      entries[path] = "<link>" + fs::read_symlink(it->path(), ec).string();
    } else if (it->is_directory()) {
      entries[path] = "<folder>";
    } else {
      auto text = platform::readFile(path);
      entries[path] = text ? text.value() : "<unreadable>";
    }
  }
  QB_FUZZ_CHECK(!ec);
  return entries;
}

// The publisher folder as each run starts: a few files and links that lead
// out of it.
void resetPublisherFolder(const World& world) {
  std::error_code ec;
  fs::remove_all(world.publisherFolder, ec);
  write(world.publisherFolder + "/RewardedVideo/x.js", "x");
  write(world.publisherFolder + "/a/b/c.txt", "c");
  fs::create_directory_symlink(world.root + "/victim", world.publisherFolder + "/link", ec);
  QB_FUZZ_CHECK(!ec);
  fs::create_symlink(world.root + "/outside.txt", world.publisherFolder + "/a/filelink", ec);
  QB_FUZZ_CHECK(!ec);
  fs::create_directory_symlink("../..", world.publisherFolder + "/a/up", ec);
  QB_FUZZ_CHECK(!ec);
}

World& world() {
  static World& w = *[] {
    auto* made = new World();  // lives for the process
    made->root = platform::dataRoot();
    const auto downloads = made->publisher->data->downloadMgr();
    made->publisherFolder = downloads->getInstanceCacheFolderUseRoot(false);
    const std::string cacheRoot = downloads->getInstanceCacheFolderUseRoot(true);
    write(cacheRoot + "/mobileController/mobileController.html", "controller");
    write(cacheRoot + "/other/data.bin", "feature data");
    write(made->root + "/outside.txt", "host file");
    write(made->root + "/victim/keep.txt", "host folder");
    write(made->root + "/Library/Caches/beside.txt", "beside the cache");
    resetPublisherFolder(*made);
    made->outside = snapshotOutside(*made);
    return made;
  }();
  return w;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  qbfuzz::setUpProcess();
  (void)world();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  World& w = world();
  resetPublisherFolder(w);
  const std::string_view rest(reinterpret_cast<const char*>(data) + 1, size - 1);
  const size_t split = rest.find('\n');
  const std::string path(rest.substr(0, split));
  const std::string file(split == std::string_view::npos ? std::string_view() : rest.substr(split + 1));
  const Json request = {{"path", path}, {"file", file}, {"success", "ok"}, {"fail", "ko"}};

  w.publisher->page->calls.clear();
  const int command = data[0] % 10;
  if (command >= 4) {
    const Json params = {{"fileName", file}, {"filePath", path}, {"folderPath", path},
                         {"fileUrl", "http%3A%2F%2F127.0.0.1%3A9%2Fx"}, {"attributesToUpdate", {{"k", file}}}};
    w.fileSystem->invokeAPIWithJSParams(
        {{"functionName", kFileSystemCommands[command - 4]},
         {"functionParams", PMAHelperMethods::encodeToPercentEscapeString(platform::dumpJson(params))},
         {"success", "ok"},
         {"fail", "ko"}});
    w.env->runUntilIdle();
  }
  switch (command) {
    case 0:
      w.handlers->handleSaveFile(request);
      break;
    case 1:
      w.handlers->handleDeleteFile(request);
      break;
    case 2:
      w.handlers->handleDeleteFolder(request);
      break;
    case 3:
      w.handlers->handleGetCachedFilesMap(request, "");
      break;
    default:
      break;
  }
  QB_FUZZ_CHECK(!w.publisher->page->calls.empty());  // every command is answered
  const auto now = snapshotOutside(w);
  if (now != w.outside) {
    for (const auto& [path, what] : now) {
      auto was = w.outside.find(path);
      if (was == w.outside.end() || was->second != what) std::fprintf(stderr, "changed: %s\n", path.c_str());
    }
    for (const auto& [path, what] : w.outside) {
      if (!now.contains(path)) std::fprintf(stderr, "removed: %s\n", path.c_str());
    }
  }
  QB_FUZZ_CHECK(now == w.outside);
  if (command == 4 && w.publisher->lastName() == "ok") {
    const Json& record = w.publisher->lastParameters()["result"];
    const std::string where = record.value("path", "");
    QB_FUZZ_CHECK(PMAConfinedPath(w.publisherFolder, where.substr(std::min(where.size(), w.publisherFolder.size() + 1)),
                                  PMAPathScope::BelowBase) == where);
    auto stored = platform::readFile(where);
    QB_FUZZ_CHECK(stored.ok() && stored.value() == kPayload);
  }
  if (w.publisher->lastName() == kQBNAssetCached) {
    const std::string folder = PMAHelperMethods::decodeFromPercentEscapeString(path);
    const std::string name = w.publisher->lastParameters()["file"].get<std::string>();
    const auto target =
        PMAConfinedPath(w.publisherFolder, folder.empty() ? name : folder + "/" + name, PMAPathScope::BelowBase);
    QB_FUZZ_CHECK(target.has_value());
    auto stored = platform::readFile(*target);
    QB_FUZZ_CHECK(stored.ok() && stored.value() == kPayload);
  }
  return 0;
}
