#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "ownnetwork/cache/PMAConfinedPath.h"
#include "ownnetwork/cache/PMADownloadManager.h"
#include "ownnetwork/data/QBNDataManager.h"
#include "ownnetwork/ownnetwork_test_support.h"

namespace {

namespace fs = std::filesystem;
using platform::Json;

class DiskCacheTest : public qbtest::OwnNetworkStorageTest {
 protected:
  PMADownloadManager manager;
  std::string root() const { return manager.getInstanceCacheFolderUseRoot(true); }
  std::string publisher() const { return manager.getInstanceCacheFolderUseRoot(false); }

  static void put(const std::string& path, const std::string& content = "x") {
    fs::create_directories(fs::path(path).parent_path());
    ASSERT_TRUE(platform::writeFileAtomically(path, content).ok()) << path;
  }
  static std::optional<std::string> read(const std::string& path) {
    auto content = platform::readFile(path);
    if (!content) return std::nullopt;
    return content.value();
  }
  // Every file and folder under the data root with the file contents.
  std::map<std::string, std::string> tree() const {
    std::map<std::string, std::string> out;
    for (const auto& entry : fs::recursive_directory_iterator(dir.path())) {
      const std::string path = entry.path().string();
      out[path] = entry.is_regular_file() && !entry.is_symlink() ? read(path).value_or("?") : "<dir>";
    }
    return out;
  }
};

TEST_F(DiskCacheTest, FolderMapMirrorsThePublisherTreeWhateverTheNames) {
  // The documented example first: a/x.js and y.css.
  put(publisher() + "/a/x.js");
  put(publisher() + "/y.css");
  EXPECT_EQ(manager.getFolderFiles(""), (Json{{"path", ""}, {"a", {{"files", {"x.js"}}}}, {"files", {"y.css"}}}));

  // Names with ".", "+", "%", and a name ("img") that also appears deeper.
  for (const char* file : {"/a/b/img/s.png", "/a/img/t.png", "/v1.2/img/p.png", "/a+b/q.js", "/50%off/r.js",
                           "/.hidden/h.js", "/a/.h.js"}) {
    put(publisher() + file);
  }
  const Json expected = Json::parse(R"({"path":"",
      "50%off":{"files":["r.js"]},
      "a":{"b":{"img":{"files":["s.png"]}},"img":{"files":["t.png"]},"files":["x.js"]},
      "a+b":{"files":["q.js"]},
      "v1.2":{"img":{"files":["p.png"]}},
      "files":["y.css"]})");
  EXPECT_EQ(platform::dumpJson(*manager.getFolderFiles("")), platform::dumpJson(expected));

  // A named folder lists every file of its subtree, without folder entries.
  EXPECT_EQ(manager.getFolderFiles("a"), (Json{{"path", "a"}, {"files", {"s.png", "t.png", "x.js"}}}));
  EXPECT_EQ(manager.getFolderFiles("missing"), std::nullopt);
  EXPECT_EQ(manager.getFolderFiles(std::nullopt), std::nullopt);
}

TEST_F(DiskCacheTest, FolderMapKeepsItsOwnKeysAndSearchesDepthFirst) {
  put(publisher() + "/files/in.js");  // folders named like the map's own keys get no entry
  put(publisher() + "/path/p.js");
  EXPECT_EQ(manager.getFolderFiles(""), (Json{{"path", ""}, {"files", {"in.js", "p.js"}}}));

  const Json tree = Json::parse(R"({"a":{"b":{"k":1}},"list":[7,{"k":2}],"c":{"k":3}})");
  EXPECT_EQ(manager.recursiveObjectForKey("k", tree), Json(1));
  EXPECT_EQ(manager.recursiveObjectForKey("k", Json::parse(R"({"list":[{"k":2}],"c":{"k":3}})")), Json(2));
  EXPECT_EQ(manager.recursiveObjectForKey("absent", tree), std::nullopt);
}

TEST_F(DiskCacheTest, StoreKeepsOrReplacesAnExistingFile) {
  struct Case {
    bool override;
    bool createFolder;
    std::string expectedPath;  // relative to the publisher folder
    const char* finalContent;
  };
  for (const Case& c : std::vector<Case>{{false, true, "/RewardedVideo/ad.html", "first"},
                                         {true, true, "/RewardedVideo/ad.html", "second"},
                                         {true, false, "/ad.html", "second"}}) {  // folder name ignored
    SCOPED_TRACE(c.expectedPath + (c.override ? " override" : " keep"));
    fs::remove_all(publisher());
    platform::Error error;
    EXPECT_TRUE(manager.storeData("first", c.createFolder, "ad.html", "RewardedVideo", false, c.override, &error));
    EXPECT_TRUE(manager.storeData("second", c.createFolder, "ad.html", "RewardedVideo", false, c.override, &error));
    EXPECT_EQ(read(publisher() + c.expectedPath), c.finalContent);
  }
  // Nested folders are created; the cache root is the other base.
  EXPECT_TRUE(manager.storeData("page", true, "mobileController.html", "mobileController", true, true, nullptr));
  EXPECT_EQ(read(root() + "/mobileController/mobileController.html"), "page");
  EXPECT_EQ(manager.getControllerUrl(),
            PMADownloadManager::fileURLWithPath(root() + "/mobileController/mobileController.html", false));
}

TEST_F(DiskCacheTest, FindLooksInTheFolderWhenItExistsElseInTheBase) {
  put(publisher() + "/in base.js", "base");
  put(publisher() + "/Folder/in folder.js", "folder");
  put(root() + "/lastUpdateTime", "t");
  struct Case {
    const char* name;
    std::optional<std::string> folder;
    bool root;
    std::optional<std::string> path;
  };
  const std::vector<Case> cases = {
      {"in folder.js", "Folder", false, publisher() + "/Folder/in folder.js"},
      {"in base.js", "Missing", false, publisher() + "/in base.js"},  // no such folder: the base
      {"in base.js", "Folder", false, std::nullopt},                  // the folder exists: only there
      {"in base.js", std::nullopt, false, publisher() + "/in base.js"},
      {"lastUpdateTime", std::nullopt, true, root() + "/lastUpdateTime"},
      {"lastUpdateTime", std::nullopt, false, std::nullopt},
      {"Folder", std::nullopt, false, std::nullopt},  // a folder is not a file
  };
  for (const Case& c : cases) {
    const auto url = manager.getUrlFileByName(c.name, c.folder, c.root);
    const auto expected = c.path ? std::optional(PMADownloadManager::fileURLWithPath(*c.path, false)) : std::nullopt;
    EXPECT_EQ(url, expected) << c.name << " in " << c.folder.value_or("<none>");
  }
  EXPECT_EQ(PMADownloadManager::fileURLWithPath("/a b/c%.js", false), "file:///a%20b/c%25.js");
}

TEST_F(DiskCacheTest, DeleteChoosesTheBaseByNameAndReportsMissingNames) {
  put(root() + "/lastUpdateTime", "root");
  put(publisher() + "/lastUpdateTime", "publisher");
  put(publisher() + "/RV/ad.js");
  put(publisher() + "/RV/keep.js");
  EXPECT_TRUE(manager.deleteFileWithName("lastUpdateTime", "", nullptr));
  EXPECT_FALSE(platform::fileExists(root() + "/lastUpdateTime"));
  EXPECT_TRUE(platform::fileExists(publisher() + "/lastUpdateTime"));
  EXPECT_TRUE(manager.deleteFileWithName("ad.js", "RV", nullptr));
  EXPECT_TRUE(manager.deleteFileWithName("ad.js", "RV", nullptr));  // already gone
  EXPECT_TRUE(platform::fileExists(publisher() + "/RV/keep.js"));
  EXPECT_TRUE(manager.deleteEntireFolder("Never", nullptr));
  EXPECT_TRUE(manager.deleteEntireFolder("RV", nullptr));
  EXPECT_FALSE(platform::fileExists(publisher() + "/RV"));

  platform::Error error;
  EXPECT_FALSE(manager.deleteFileWithName(std::nullopt, "RV", &error));
  EXPECT_EQ(error, (platform::Error{"Delete File Domain", 0, "File name is nil"}));
  EXPECT_FALSE(manager.deleteFileWithName("ad.js", std::nullopt, nullptr));
  EXPECT_FALSE(manager.deleteEntireFolder(std::nullopt, &error));
  EXPECT_EQ(error, (platform::Error{"Delete Folder Domain", 0, "Folder name is nil"}));
}

TEST_F(DiskCacheTest, CreatingADataManagerRemovesOnlyObsoleteCacheFoldersAndRecordsTheVersion) {
  const std::string caches = manager.getLibraryCachesFolder();
  const std::string documents = manager.getDocumentsFolder();
  const std::vector<std::string> obsolete = {caches + "/PMACache_old/a.js", caches + "/host/PMACache_v2/b.js",
                                             documents + "/PMACache_1/c.js"};
  const std::vector<std::string> kept = {caches + "/PMACacheX/d.js", caches + "/PMACache_file",
                                         publisher() + "/PMACache_page/e.js", caches + "/.hidden/PMACache_h/f.js",
                                         documents + "/host/g.js"};
  for (const auto& path : obsolete) put(path);
  for (const auto& path : kept) put(path);
  platform::UserDefaults::standard().setString("QBNSdkVersion", "7.0.0");

  for (bool urlSession : {true, false}) {
    QBNDataManagerConfiguration configuration;
    configuration.shouldUseURLSession = urlSession;
    auto dataManager = QBNDataManagerFactory::createDataManagerWithConfiguration(configuration);
    EXPECT_NE(dataManager->downloadMgr(), nullptr);
  }
  for (const auto& path : obsolete) EXPECT_FALSE(platform::fileExists(fs::path(path).parent_path())) << path;
  for (const auto& path : kept) EXPECT_TRUE(platform::fileExists(path)) << path;
  EXPECT_EQ(platform::UserDefaults::standard().string("QBNSdkVersion"), "7.3.1");
  EXPECT_EQ(platform::UserDefaults::standard().object("shouldGatherInformationAndSendReportsToController"), Json(true));

  // A stored "no" stays.
  platform::UserDefaults::standard().setBool("shouldGatherInformationAndSendReportsToController", false);
  QBNDataManager::init();
  EXPECT_EQ(platform::UserDefaults::standard().object("shouldGatherInformationAndSendReportsToController"),
            Json(false));
}

// ------------------------------------------------------------ confinement

TEST_F(DiskCacheTest, ConfinedPathKeepsNamesAndRefusesEveryEscape) {
  const std::string base = publisher();
  fs::create_directories(base + "/real");
  ASSERT_EQ(::symlink(dir.path().c_str(), (base + "/out").c_str()), 0);  // leads out of the cache
  ASSERT_EQ(::symlink((base + "/real").c_str(), (base + "/in").c_str()), 0);

  struct Accepted {
    const char* relative;
    PMAPathScope scope;
    std::string joined;
  };
  for (const Accepted& c : std::vector<Accepted>{
           {"a/b.js", PMAPathScope::BelowBase, base + "/a/b.js"},
           {"a//b/", PMAPathScope::BelowBase, base + "/a/b"},
           {"v1.2/x+y/50%off/...", PMAPathScope::BelowBase, base + "/v1.2/x+y/50%off/..."},
           {"a%20b", PMAPathScope::BelowBase, base + "/a%20b"},  // never decoded into the name
           {"in/file", PMAPathScope::BelowBase, base + "/in/file"},
           {"", PMAPathScope::BaseOrBelow, base},
       }) {
    EXPECT_EQ(PMAConfinedPath(base, c.relative, c.scope), c.joined) << c.relative;
  }
  for (const char* relative : {"../x", "a/../../x", "/etc/x", "..", ".", "a/./b", "a/..", "%2e%2e/x", "%2E%2E",
                               "a/%2e%2e/%2e%2e/x", "..%2Fx", "%252e%252e/x", "%2Fetc%2Fx", "out", "out/x",
                               "a/%00"}) {
    for (PMAPathScope scope : {PMAPathScope::BelowBase, PMAPathScope::BaseOrBelow}) {
      EXPECT_EQ(PMAConfinedPath(base, relative, scope), std::nullopt) << relative;
    }
  }
  EXPECT_EQ(PMAConfinedPath(base, "", PMAPathScope::BelowBase), std::nullopt);
  EXPECT_EQ(PMAConfinedPath(base, std::string_view("a\0b", 3), PMAPathScope::BelowBase), std::nullopt);
  EXPECT_EQ(PMAConfinedPath("", "a", PMAPathScope::BelowBase), std::nullopt);
}

TEST_F(DiskCacheTest, PageNamesThatLeaveTheCacheChangeNothingOutsideIt) {
  put(root() + "/sentinel", "root");
  put(dir.path() + "/outside.txt", "outside");
  put(publisher() + "/kept/k.js", "kept");
  ASSERT_EQ(::symlink(dir.path().c_str(), (publisher() + "/out").c_str()), 0);
  const auto before = tree();

  const std::vector<std::string> escapes = {"../x", "a/../../x", "/etc/x", "..", "%2e%2e", "%2e%2e/sentinel",
                                            "..%2F..%2Fx", "out", "out/outside.txt", "kept/../.."};
  const platform::Error refusal{kPMAErrorDomain, 0, kPMAPathRefusedMessage};
  for (const std::string& bad : escapes) {
    SCOPED_TRACE(bad);
    platform::Error error;
    EXPECT_FALSE(manager.storeData("evil", true, "f.js", bad, false, true, &error));
    EXPECT_EQ(error, refusal);
    EXPECT_FALSE(manager.storeData("evil", false, bad, std::nullopt, false, true, nullptr));
    EXPECT_FALSE(manager.deleteEntireFolder(bad, &error));
    EXPECT_EQ(error, refusal);
    EXPECT_FALSE(manager.deleteFileWithName("sentinel", bad, nullptr));
    EXPECT_FALSE(manager.deleteFileWithName(bad, "", nullptr));
    EXPECT_EQ(manager.getFolderFiles(bad), std::nullopt);
    EXPECT_EQ(manager.getUrlFileByName(bad, std::nullopt, false), std::nullopt);
  }
  // The publisher folder itself and the cache root are never deleted.
  for (const char* folder : {"", "/", "kept/..", "."}) EXPECT_FALSE(manager.deleteEntireFolder(folder, nullptr));
  EXPECT_FALSE(manager.deleteFileWithName("", "", nullptr));
  EXPECT_FALSE(manager.storeData("evil", false, "", std::nullopt, true, true, nullptr));
  EXPECT_EQ(tree(), before);
}

}  // namespace
