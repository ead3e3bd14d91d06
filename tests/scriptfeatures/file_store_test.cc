// The page's file store through "fileSystemAPI", made by the factory the
// library registers: files downloaded from a loopback server into a fresh
// data root, listed, sized, given metadata and deleted, with the replies the
// page receives; the older file commands on the same folder; and paths that
// try to leave the store.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <filesystem>

#include "ownnetwork/cache/PMAConfinedPath.h"
#include "ownnetwork/cache/PMADownloadManager.h"
#include "platform/file_facts.h"
#include "platform/storage.h"
#include "scriptfeatures/files/QBNFilePersistencyService.h"
#include "scriptfeatures/files/QBNFileSystemController.h"
#include "scriptfeatures/files/QBNFileSystemJSInterfaceHandler.h"
#include "scriptfeatures_test_support.h"
#include "support/sandbox_server.h"

namespace sftest {
namespace {

namespace fs = std::filesystem;

class FileStoreTest : public ScriptFeatureTest {
 protected:
  FileStoreTest() {
    EXPECT_TRUE(server.start());
    server.answer("/files/a.txt", 200, "alpha", {{"Content-Type", "text/plain"}});
    server.answer("/files/b.png", 200, "bravo!", {{"Content-Type", "image/png"}});
    handler = makeHandler();
    root = PMADownloadManager().getInstanceCacheFolderUseRoot(false);
  }
  ~FileStoreTest() override { server.stop(); }

  std::shared_ptr<QBNJSInterfaceHandlerP> makeHandler() {
    return QBNScriptHandlerFactories::current().fileSystemHandler(publisher, publisher->data);
  }

  // Sends the command and waits for its one reply.
  Reply call(const std::string& functionName, const Json& params) {
    handler->invokeAPIWithJSParams(featureRequest(functionName, params));
    EXPECT_TRUE(env.runUntil([&] { return publisher->page->count() > 0; }));
    env.runUntilIdle();
    auto replies = publisher->page->take();
    EXPECT_EQ(replies.size(), 1u);
    return replies.empty() ? Reply{} : replies.front();
  }
  Json save(const std::string& name, const std::string& folder, const std::string& urlPath) {
    return call("saveFile", {{"fileName", name}, {"filePath", folder}, {"fileUrl", server.url(urlPath)}}).params;
  }
  Json files(const std::string& folder) { return call("getFiles", {{"folderPath", folder}}).params["result"]; }

  // The record the store gives a file: its facts as the disk has them.
  Json record(const std::string& relative, const Json& metadata = nullptr) {
    const std::string path = root + "/" + relative;
    auto facts = platform::fileFacts(path);
    EXPECT_TRUE(facts) << path;
    const uint64_t modified = facts ? facts.value().modifiedMs : 0;
    Json attributes = metadata.is_null() ? Json{{"lastReferencedTime", modified}} : metadata;
    attributes["name"] = fs::path(relative).filename().string();
    attributes["path"] = path;
    if (facts && facts.value().size) attributes["size"] = facts.value().size;
    if (modified) attributes["lastModified"] = modified;
    return attributes;
  }

  qbtest::SandboxServer server;
  std::shared_ptr<QBNJSInterfaceHandlerP> handler;
  std::string root;
};

TEST_F(FileStoreTest, SaveListSizeUpdateAndDeleteAnswerThePageInTheirShapes) {
  // Save: the echo of the decoded request and the file's record; the
  // reply's texts are sent encoded as they are (option 1).
  const Json saveParams = {{"fileName", "a.txt"}, {"filePath", "ads/rv1"}, {"fileUrl", server.url("/files/a.txt")},
                           {"timeout", 5}};
  Reply saved = call("saveFile", saveParams);
  EXPECT_EQ(saved.function, "ok");
  EXPECT_EQ(saved.option, 1);
  EXPECT_EQ(saved.params["functionName"], "saveFile");
  EXPECT_EQ(saved.params["functionParams"], saveParams);
  EXPECT_EQ(saved.params["success"], "ok");
  EXPECT_EQ(saved.params["result"], record("ads/rv1/a.txt"));
  EXPECT_EQ(saved.params["result"]["size"], 5);
  EXPECT_EQ(platform::readFile(root + "/ads/rv1/a.txt").valueOr(""), "alpha");
  (void)save("b.png", "ads", "/files/b.png");

  // Listing: nested folder maps, the archive listed like any root file.
  const Json listed = files("");
  EXPECT_EQ(listed["ads"]["rv1"]["a.txt"], record("ads/rv1/a.txt"));
  EXPECT_EQ(listed["ads"]["b.png"], record("ads/b.png"));
  EXPECT_TRUE(listed.contains(kQBNMetadataFileName));
  EXPECT_EQ(listed.size(), 2u);
  EXPECT_EQ(files("ads/rv1"), Json({{"a.txt", record("ads/rv1/a.txt")}}));
  EXPECT_EQ(files("missing"), Json::object());

  // Sizes: every item below the folder as the file system reports it.
  uint64_t expected = 0;
  for (const char* item : {"ads/rv1", "ads/rv1/a.txt", "ads/b.png"}) expected += platform::fileFacts(root + "/" + item).value().size;
  EXPECT_EQ(call("getTotalSizeOfFiles", {{"folderPath", "ads"}}).params["result"], Json({{"totalSize", expected}}));
  EXPECT_EQ(call("getTotalSizeOfFiles", {{"folderPath", "missing"}}).params["result"], Json({{"totalSize", 0}}));

  // Update: the answer is the record before the change; listings show it
  // after, a "+" kept as it is.
  const Json before = record("ads/rv1/a.txt");
  Reply updated = call("updateAttributesOfFile", {{"fileName", "a.txt"},
                                                  {"filePath", "ads/rv1"},
                                                  {"attributesToUpdate", {{"campaign", "c+1 %41"}, {"shown", 2}}}});
  EXPECT_EQ(updated.function, "ok");
  EXPECT_EQ(updated.params["result"], before);
  const Json metadata = {{"lastReferencedTime", before["lastReferencedTime"]}, {"campaign", "c+1 %41"}, {"shown", 2}};
  EXPECT_EQ(files("ads/rv1")["a.txt"], record("ads/rv1/a.txt", metadata));

  // Delete a file: the echo of its parameters as the result.
  const Json deleteParams = {{"fileName", "a.txt"}, {"filePath", "ads/rv1"}};
  Reply deleted = call("deleteFile", deleteParams);
  EXPECT_EQ(deleted.function, "ok");
  EXPECT_EQ(deleted.params["result"], deleteParams);
  EXPECT_FALSE(platform::fileExists(root + "/ads/rv1/a.txt"));
  EXPECT_EQ(files("ads/rv1"), Json::object());

  // Delete a folder: no result; a missing folder counts as deleted.
  Reply folderGone = call("deleteFolder", {{"folderPath", "ads"}});
  EXPECT_EQ(folderGone.function, "ok");
  EXPECT_FALSE(folderGone.params.contains("result"));
  EXPECT_FALSE(platform::fileExists(root + "/ads"));
  EXPECT_EQ(call("deleteFolder", {{"folderPath", "ads"}}).function, "ok");
  EXPECT_EQ(QBNFilePersistencyService(root).readContent(), Json::object());
}

TEST_F(FileStoreTest, FailuresAndSilence) {
  const std::string download = server.url("/files/a.txt");
  const struct {
    const char* name;
    std::string functionName;
    Json params;
    std::string errMsg;
  } rows[] = {
      {"no sub-command", "", nullptr, kQBNFileSystemMissingNameMessage},
      {"no parameters", "getFiles", nullptr, kQBNFileSystemMissingParamsMessage},
      {"parameters not an object", "getFiles", Json::array({1}), kQBNFileSystemParamsNotObjectMessage},
      {"save without a URL", "saveFile", {{"fileName", "a"}, {"filePath", ""}}, kQBNFileSaveMissingParametersMessage},
      {"save of another scheme", "saveFile", {{"fileName", "a"}, {"filePath", ""}, {"fileUrl", "file:///etc/passwd"}},
       kQBNUnsupportedFileURLMessage},
      {"save of a missing file", "saveFile", {{"fileName", "a"}, {"filePath", ""}, {"fileUrl", server.url("/nothing")}},
       "not found"},
      {"save over the archive", "saveFile", {{"fileName", "metadata.json"}, {"filePath", ""}, {"fileUrl", download}},
       kQBNFileReservedNameMessage},
      {"save of a reserved name", "saveFile", {{"fileName", "name"}, {"filePath", "x"}, {"fileUrl", download}},
       kQBNFileReservedNameMessage},
      {"save into a reserved folder", "saveFile", {{"fileName", "a"}, {"filePath", "x/name/y"}, {"fileUrl", download}},
       kQBNFileReservedNameMessage},
      {"delete of a missing file", "deleteFile", {{"fileName", "a"}, {"filePath", "x"}},
       "Failed to create QBNFile for file deletion"},
      {"delete of the archive", "deleteFile", {{"fileName", "metadata.json"}, {"filePath", ""}},
       kQBNFileReservedNameMessage},
      {"delete of a folder as a file", "deleteFile", {{"fileName", "kept"}, {"filePath", ""}},
       "Failed to delete file kept"},
      {"delete of no folder", "deleteFolder", Json::object(), "Folder name is nil"},
      {"update of a missing file", "updateAttributesOfFile",
       {{"fileName", "a"}, {"filePath", "x"}, {"attributesToUpdate", Json::object()}},
       "Failed to create QBNFile for updateAttributeOfFile"},
  };
  ASSERT_TRUE(platform::createDirectories(root + "/kept"));
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    Json request = featureRequest(row.functionName, row.params);
    if (row.functionName.empty()) request.erase("functionName");
    handler->invokeAPIWithJSParams(request);
    ASSERT_TRUE(env.runUntil([&] { return publisher->page->count() > 0; }));
    const auto replies = publisher->page->take();
    ASSERT_EQ(replies.size(), 1u);
    EXPECT_EQ(replies[0].function, "ko");
    EXPECT_EQ(replies[0].params["errMsg"], row.errMsg);
    EXPECT_FALSE(replies[0].params.contains("result"));
  }
  EXPECT_TRUE(platform::isDirectory(root + "/kept"));
  EXPECT_EQ(platform::readFile(root + "/metadata.json").valueOr("?"), "");

  // An unknown sub-command, and a reply without a page function, reach
  // nothing.
  handler->invokeAPIWithJSParams(featureRequest("formatDisk", Json::object()));
  Json unnamed = featureRequest("getFiles", Json::object());
  unnamed.erase("success");
  handler->invokeAPIWithJSParams(unnamed);
  env.runUntilIdle();
  EXPECT_EQ(publisher->page->count(), 0u);
}

TEST_F(FileStoreTest, RepliesLeaveAfterTheOperationReturned) {
  handler->invokeAPIWithJSParams(featureRequest("getFiles", {{"folderPath", ""}}));
  EXPECT_EQ(publisher->page->count(), 0u);
  env.runUntilIdle();
  EXPECT_EQ(publisher->page->count(), 1u);
}

TEST_F(FileStoreTest, MetadataOutlivesTheStoreAndIsKeptPerFolder) {
  // The same name in two folders: each keeps its own entry.
  (void)save("x.png", "a", "/files/b.png");
  (void)call("updateAttributesOfFile",
             {{"fileName", "x.png"}, {"filePath", "a"}, {"attributesToUpdate", {{"owner", "a"}}}});
  (void)save("x.png", "b", "/files/b.png");
  (void)call("updateAttributesOfFile",
             {{"fileName", "x.png"}, {"filePath", "b"}, {"attributesToUpdate", {{"owner", "b"}}}});
  (void)call("deleteFile", {{"fileName", "x.png"}, {"filePath", "b"}});

  // A new store on the same root (a new process) reads what was kept.
  handler = makeHandler();
  const Json listed = files("");
  EXPECT_EQ(listed["a"]["x.png"]["owner"], "a");
  EXPECT_EQ(listed["b"], Json::object());

  // Saving a file again replaces its whole entry.
  (void)save("x.png", "a", "/files/a.txt");
  EXPECT_EQ(files("a")["x.png"], record("a/x.png"));

  // Damaged or foreign archive bytes read as no metadata; the next change
  // writes a sound archive.
  ASSERT_TRUE(platform::writeFileAtomically(root + "/metadata.json", "{\"json\": \"is not the format\"}"));
  EXPECT_EQ(files("a")["x.png"], record("a/x.png"));
  (void)call("updateAttributesOfFile",
             {{"fileName", "x.png"}, {"filePath", "a"}, {"attributesToUpdate", {{"owner", "again"}}}});
  EXPECT_EQ(QBNFilePersistencyService(root).readContent(), Json({{"a/x.png", {{"owner", "again"}}}}));
}

// A file that cannot be removed, while the guard lives: immutable for a
// privileged process (which ignores permissions), else in a folder that may
// not be written.
class Unremovable {
 public:
  explicit Unremovable(const std::string& file) : file_(file), folder_(fs::path(file).parent_path().string()) {
    if (::geteuid() == 0) {
      immutable_ = setImmutable(true);
      held_ = immutable_;
    } else {
      std::error_code ec;
      fs::permissions(folder_, fs::perms::owner_write, fs::perm_options::remove, ec);
      held_ = !ec;
    }
  }
  ~Unremovable() {
    if (immutable_) (void)setImmutable(false);
    std::error_code ec;
    fs::permissions(folder_, fs::perms::owner_write, fs::perm_options::add, ec);
  }
  bool held() const { return held_; }

 private:
  bool setImmutable(bool on) const {
    const int fd = ::open(file_.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    int flags = 0;
    bool done = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
    done = done && ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    ::close(fd);
    return done;
  }
  std::string file_, folder_;
  bool immutable_ = false;
  bool held_ = false;
};

// A failed folder deletion keeps the metadata of the files still there.
TEST_F(FileStoreTest, AFolderThatCouldNotBeDeletedKeepsItsFilesMetadata) {
  ASSERT_EQ(save("x.png", "locked/inner", "/files/b.png")["result"]["size"], 6);
  (void)call("updateAttributesOfFile",
             {{"fileName", "x.png"}, {"filePath", "locked/inner"}, {"attributesToUpdate", {{"keep", true}}}});
  {
    Unremovable guard(root + "/locked/inner/x.png");
    if (!guard.held()) GTEST_SKIP() << "this file system lets every file be removed";
    Reply failed = call("deleteFolder", {{"folderPath", "locked"}});
    EXPECT_EQ(failed.function, "ko");
    EXPECT_FALSE(failed.params.value("errMsg", "").empty());
  }
  EXPECT_TRUE(platform::fileExists(root + "/locked/inner/x.png"));
  EXPECT_EQ(files("locked/inner")["x.png"]["keep"], true);
}

// Names and folders holding "%" and "+" are used as given everywhere: the
// file lands where the reply says, keeps its record and can be deleted.
TEST_F(FileStoreTest, EscapesAndPlusSignsNameOneFolderEverywhere) {
  for (const std::string folder : {"a+b", "c%2Bd", "e%20f g"}) {
    SCOPED_TRACE(folder);
    const Json result = save("x+1.txt", folder, "/files/a.txt")["result"];
    const std::string path = root + "/" + folder + "/x+1.txt";
    EXPECT_EQ(result["path"], path);
    EXPECT_EQ(result["name"], "x+1.txt");
    EXPECT_EQ(result["size"], 5);
    EXPECT_EQ(platform::readFile(path).valueOr(""), "alpha");
    EXPECT_EQ(files(folder)["x+1.txt"]["lastReferencedTime"], result["lastReferencedTime"]);
    EXPECT_EQ(call("deleteFile", {{"fileName", "x+1.txt"}, {"filePath", folder}}).function, "ok");
    EXPECT_FALSE(platform::fileExists(path));
  }
}

// A page file named "lastUpdateTime" is the page's own: deleting it removes
// it from its folder, and the cache root's file of that name stays.
TEST_F(FileStoreTest, APageFileNamedLastUpdateTimeIsDeletedFromItsFolder) {
  const std::string cacheRoot = PMADownloadManager().getInstanceCacheFolderUseRoot(true);
  ASSERT_TRUE(platform::createDirectories(cacheRoot + "/x"));
  ASSERT_TRUE(platform::writeFileAtomically(cacheRoot + "/lastUpdateTime", "controller's"));
  ASSERT_TRUE(platform::writeFileAtomically(cacheRoot + "/x/lastUpdateTime", "other feature's"));
  for (const std::string folder : {"", "x"}) {
    SCOPED_TRACE(folder);
    (void)save("lastUpdateTime", folder, "/files/a.txt");
    EXPECT_EQ(call("deleteFile", {{"fileName", "lastUpdateTime"}, {"filePath", folder}}).function, "ok");
    EXPECT_FALSE(platform::fileExists(root + "/" + folder + "/lastUpdateTime"));
  }
  EXPECT_EQ(platform::readFile(cacheRoot + "/lastUpdateTime").valueOr(""), "controller's");
  EXPECT_EQ(platform::readFile(cacheRoot + "/x/lastUpdateTime").valueOr(""), "other feature's");
}

// Paths that lead out of the store are refused and touch nothing outside.
TEST_F(FileStoreTest, PathsThatLeaveTheStoreAreRefused) {
  const std::string dataRoot = dir.path();
  ASSERT_TRUE(platform::writeFileAtomically(dataRoot + "/outside.txt", "host"));
  ASSERT_TRUE(platform::createDirectories(dataRoot + "/victim"));
  ASSERT_TRUE(platform::writeFileAtomically(dataRoot + "/victim/keep.txt", "host"));
  ASSERT_TRUE(platform::createDirectories(root));
  fs::create_directory_symlink(dataRoot + "/victim", root + "/link");
  const std::string refused = kPMAPathRefusedMessage;
  const std::string download = server.url("/files/a.txt");
  const struct {
    const char* name;
    std::string functionName;
    Json params;
  } rows[] = {
      {"absolute save", "saveFile", {{"fileName", "x"}, {"filePath", dataRoot}, {"fileUrl", download}}},
      {"save up", "saveFile", {{"fileName", "x"}, {"filePath", "../.."}, {"fileUrl", download}}},
      {"save up, escaped twice", "saveFile", {{"fileName", "x"}, {"filePath", "%252e%252e/%252e%252e"}, {"fileUrl", download}}},
      {"save through a link", "saveFile", {{"fileName", "x"}, {"filePath", "link"}, {"fileUrl", download}}},
      {"save of a path as a name", "saveFile", {{"fileName", "../x"}, {"filePath", ""}, {"fileUrl", download}}},
      {"list up", "getFiles", {{"folderPath", "../.."}}},
      {"list absolute", "getFiles", {{"folderPath", dataRoot}}},
      {"list through a link", "getFiles", {{"folderPath", "link"}}},
      {"size up", "getTotalSizeOfFiles", {{"folderPath", ".."}}},
      {"size escaped", "getTotalSizeOfFiles", {{"folderPath", "%2E%2E"}}},
      {"delete up", "deleteFile", {{"fileName", "outside.txt"}, {"filePath", "../../../.."}}},
      {"delete through a link", "deleteFile", {{"fileName", "keep.txt"}, {"filePath", "link"}}},
      {"delete folder up", "deleteFolder", {{"folderPath", "../../../../victim"}}},
      {"delete folder through a link", "deleteFolder", {{"folderPath", "link/"}}},
      {"delete the store", "deleteFolder", {{"folderPath", ""}}},
      {"update up", "updateAttributesOfFile",
       {{"fileName", "outside.txt"}, {"filePath", "../../../.."}, {"attributesToUpdate", Json::object()}}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    Reply reply = call(row.functionName, row.params);
    EXPECT_EQ(reply.function, "ko");
    EXPECT_EQ(reply.params["errMsg"], refused);
  }
  EXPECT_EQ(server.requestsTo("/files/a.txt").size(), 0u);
  EXPECT_EQ(platform::readFile(dataRoot + "/outside.txt").valueOr(""), "host");
  EXPECT_EQ(platform::readFile(dataRoot + "/victim/keep.txt").valueOr(""), "host");
  EXPECT_EQ(platform::listDirectory(dataRoot + "/victim").valueOr({}), std::vector<std::string>{"keep.txt"});
  EXPECT_TRUE(platform::isDirectory(root));
  EXPECT_EQ(QBNFilePersistencyService(root).readContent(), Json::object());
  // The link is no folder of the store: listings leave it out.
  EXPECT_FALSE(files("").contains("link"));
}

// The older file commands and "fileSystemAPI" share the folder: each sees,
// lists and deletes what the other saved.
TEST_F(FileStoreTest, TheOlderFileCommandsWorkOnTheSameFolder) {
  auto older = QBNFileHandlers::create(publisher);
  const auto olderCommand = [&](auto command, Json request) {
    request["success"] = "ok";
    request["fail"] = "ko";
    ((*older).*command)(request);
    EXPECT_TRUE(env.runUntil([&] { return publisher->page->count() > 0; }));
    auto replies = publisher->page->take();
    return replies.empty() ? Reply{} : replies.back();
  };
  Reply cached = olderCommand(&QBNFileHandlers::handleSaveFile,
                              Json{{"path", "Interstitial"}, {"file", PMAHelperMethods::encodeToPercentEscapeString(server.url("/files/a.txt"))}});
  EXPECT_EQ(cached.function, kQBNAssetCached);
  (void)save("b.png", "Interstitial", "/files/b.png");

  // The new listing shows both (the older save has no metadata), the older
  // one both too.
  const Json listed = files("Interstitial");
  EXPECT_EQ(listed["a.txt"], record("Interstitial/a.txt"));
  EXPECT_EQ(listed["b.png"], record("Interstitial/b.png"));
  older->handleGetCachedFilesMap(Json{{"path", "Interstitial"}, {"success", "ok"}}, "");
  auto map = publisher->page->take();
  ASSERT_EQ(map.size(), 1u);
  EXPECT_EQ(map[0].params["files"], Json::array({"a.txt", "b.png"}));

  // Each deletes what the other saved.
  EXPECT_EQ(olderCommand(&QBNFileHandlers::handleDeleteFile, Json{{"path", "Interstitial"}, {"file", "b.png"}}).function, "ok");
  EXPECT_EQ(call("deleteFile", {{"fileName", "a.txt"}, {"filePath", "Interstitial"}}).function, "ok");
  EXPECT_EQ(files("Interstitial"), Json::object());
}

}  // namespace
}  // namespace sftest
