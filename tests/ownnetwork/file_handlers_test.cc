// "saveFile", "deleteFile", "deleteFolder" and "getCachedFilesMap" against a
// temporary cache root: downloads from the sandbox, every path that would
// leave the publisher folder refused with nothing outside touched, and the
// product values in the folder map.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "ownnetwork/handlers_test_support.h"
#include "support/sandbox_own_events.h"

namespace filehandlertest {

namespace fs = std::filesystem;
using handlertest::HandlersTest;
using handlertest::Sent;
using platform::Json;

class FileHandlersTest : public qbtest::WithOwnEventsSandbox<HandlersTest> {
 protected:
  FileHandlersTest() {
    server.answer("/files/a.png", 200, "new bytes", {{"Content-Type", "image/png"}});
    publisher->data = QBNDataManagerFactory::createDataManagerWithConfiguration(QBNDataManagerConfiguration{});
    publisherFolder = publisher->data->downloadMgr()->getInstanceCacheFolderUseRoot(false);
    cacheRoot = publisher->data->downloadMgr()->getInstanceCacheFolderUseRoot(true);
    write(cacheRoot + "/mobileController/mobileController.html", "controller");
    write(dir.path() + "/outside.txt", "host file");
    write(dir.path() + "/victim/keep.txt", "host folder");
    fs::create_directory_symlink(dir.path() + "/victim", publisherFolder + "/link");
    before = outside();
  }
  ~FileHandlersTest() override { EXPECT_EQ(outside(), before) << "nothing outside the publisher folder changes"; }

  static void write(const std::string& path, const std::string& text) {
    fs::create_directories(fs::path(path).parent_path());
    ASSERT_TRUE(platform::writeFileAtomically(path, text).ok());
  }
  static std::string read(const std::string& path) {
    auto text = platform::readFile(path);
    return text ? text.value() : "<none>";
  }
  // Every entry of the data root outside the publisher folder, with the
  // content of its files.
  std::map<std::string, std::string> outside() const {
    std::map<std::string, std::string> entries;
    for (auto it = fs::recursive_directory_iterator(dir.path()); it != fs::recursive_directory_iterator(); ++it) {
      const std::string path = it->path().string();
      if (path == publisherFolder) {
        it.disable_recursion_pending();
        continue;
      }
      if (path.find("/Preferences") != std::string::npos) continue;  // the user defaults
      entries[path] = it->is_regular_file() ? read(path) : "<folder>";
    }
    return entries;
  }
  std::string fileUrl(const std::string& path) { return PMAHelperMethods::encodeToPercentEscapeString(server.url(path)); }
  std::vector<Sent> awaitAnswer() {
    EXPECT_TRUE(env.runUntil([&] { return publisher->manager->count() > 0; }));
    env.runUntilIdle();
    return sent();
  }

  qbtest::SandboxServer& server = *WithOwnEventsSandbox::server;
  std::string publisherFolder, cacheRoot;
  std::map<std::string, std::string> before;
};

TEST_F(FileHandlersTest, SaveFileDownloadsIntoTheFolderOrRefusesAtOnce) {
  publisher->parameters[0] = std::make_shared<PMAProductParameters>("rvKey", "rvUser");
  publisher->parameters[1] = std::make_shared<PMAProductParameters>("isKey", "isUser");
  write(publisherFolder + "/rewardedvideo/x/a.png", "old bytes");
  const std::string refused = kPMAPathRefusedMessage;
  struct Case {
    const char* name;
    std::optional<std::string> path, file;
    bool fetched;
    Sent answer;
  };
  const std::string good = fileUrl("/files/a.png");
  const Case cases[] = {
      {"stored, replacing the old file", "rewardedvideo%2Fx", good, true,
       {"assetCached", {{"path", "rewardedvideo%2Fx"}, {"file", "a.png"}}, true}},
      {"download failed", "y", fileUrl("/files/missing.png"), true,
       {"assetCachedFailed", {{"path", "y"}, {"file", "missing.png"}, {"errMsg", "not found"}}, true}},
      {"parent folder", "..%2F..", good, false,
       {"assetCachedFailed", {{"path", "..%2F.."}, {"file", "a.png"}, {"errMsg", refused}}, true}},
      {"twice escaped parent", "a%252F..%252F..", good, false,
       {"assetCachedFailed", {{"path", "a%252F..%252F.."}, {"file", "a.png"}, {"errMsg", refused}}, true}},
      {"absolute folder", "%2Ftmp", good, false,
       {"assetCachedFailed", {{"path", "%2Ftmp"}, {"file", "a.png"}, {"errMsg", refused}}, true}},
      {"through a link", "link", good, false,
       {"assetCachedFailed", {{"path", "link"}, {"file", "a.png"}, {"errMsg", refused}}, true}},
      {"file name ..", "y", fileUrl("/files/..") , false,
       {"assetCachedFailed", {{"path", "y"}, {"file", ".."}, {"errMsg", refused}}, true}},
      {"empty file name", "y", "", false,
       {"assetCachedFailed", {{"path", "y"}, {"file", ""}, {"errMsg", refused}}, true}},
      {"not http", "y", "file%3A%2F%2F%2Fetc%2Fhosts", false,
       {"assetCachedFailed", {{"path", "y"}, {"file", "hosts"}, {"errMsg", kQBNUnsupportedFileURLMessage}}, true}},
      {"no path", std::nullopt, good, false,
       {"assetCachedFailed", {{"file", "a.png"}, {"errMsg", "missing path"}}, true}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    server.clearRequests();
    Json r = Json::object();
    if (c.path) r["path"] = *c.path;
    if (c.file) r["file"] = *c.file;
    files->handleSaveFile(r);
    EXPECT_EQ(c.fetched ? awaitAnswer() : sent(), (std::vector<Sent>{c.answer}));
    EXPECT_EQ(server.requestCount(), c.fetched ? 1u : 0u);
  }
  EXPECT_EQ(read(publisherFolder + "/rewardedvideo/x/a.png"), "new bytes");
  EXPECT_FALSE(fs::exists(publisherFolder + "/y/missing.png"));
  auto& defaults = platform::UserDefaults::standard();
  EXPECT_EQ(defaults.string("applicationKey_RewardedVideo"), "rvKey") << "the path names rewarded video in any case";
  EXPECT_EQ(defaults.string("applicationUserId_RewardedVideo"), "rvUser");
  EXPECT_FALSE(defaults.string("applicationKey_Interstitial"));
}

TEST_F(FileHandlersTest, DeletionsStayInsideThePublisherFolder) {
  write(publisherFolder + "/ads/a.js", "a");
  const std::string refused = kPMAPathRefusedMessage;
  struct Case {
    const char* name;
    Json request;
    bool folder;
    Sent answer;
  };
  const auto del = [](std::initializer_list<std::pair<const char*, const char*>> m) {
    Json r = request(m);
    r["success"] = "ok";
    r["fail"] = "ko";
    return r;
  };
  const Case cases[] = {
      {"file", del({{"path", "ads"}, {"file", "a.js"}}), false, {"ok", {{"path", "ads"}, {"file", "a.js"}}, true}},
      {"missing file", del({{"path", "ads"}, {"file", "a.js"}}), false, {"ok", {{"path", "ads"}, {"file", "a.js"}}, true}},
      {"file above", del({{"path", "..%2F..%2F.."}, {"file", "outside.txt"}}), false,
       {"ko", {{"path", "..%2F..%2F.."}, {"file", "outside.txt"}, {"errMsg", refused}}, true}},
      {"file through a link", del({{"path", "link"}, {"file", "keep.txt"}}), false,
       {"ko", {{"path", "link"}, {"file", "keep.txt"}, {"errMsg", refused}}, true}},
      {"empty file name", del({{"path", "ads"}, {"file", ""}}), false,
       {"ko", {{"path", "ads"}, {"file", ""}, {"errMsg", refused}}, true}},
      {"no file name", del({{"path", "ads"}}), false, {"ko", {{"path", "ads"}, {"errMsg", "File name is nil"}}, true}},
      {"folder", del({{"path", "ads"}}), true, {"ok", {{"path", "ads"}}, true}},
      {"folder that is not there", del({{"path", "nope"}}), true, {"ok", {{"path", "nope"}}, true}},
      {"the publisher folder itself", del({{"path", ""}}), true,
       {"ko", {{"path", ""}, {"errMsg", refused}, {"errCode", 0}}, true}},
      {"parent folder", del({{"path", "%2E%2E"}}), true, {"ko", {{"path", "%2E%2E"}, {"errMsg", refused}, {"errCode", 0}}, true}},
      {"absolute folder", del({{"path", "%2F"}}), true, {"ko", {{"path", "%2F"}, {"errMsg", refused}, {"errCode", 0}}, true}},
      {"no folder", del({}), true, {"ko", {{"errMsg", "Folder name is nil"}, {"errCode", 0}}, true}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    c.folder ? files->handleDeleteFolder(c.request) : files->handleDeleteFile(c.request);
    EXPECT_EQ(sent(), (std::vector<Sent>{c.answer}));
  }
  EXPECT_FALSE(fs::exists(publisherFolder + "/ads"));
  EXPECT_TRUE(fs::is_symlink(publisherFolder + "/link"));
}

TEST_F(FileHandlersTest, FolderMapCarriesEachProductsValues) {
  for (const char* folder : {"RewardedVideo", "InterstitialRewardedVideo", "OfferWall", "OfferWall2"}) {
    write(publisherFolder + "/" + folder + "/f.js", "x");
  }
  fs::create_directories(publisherFolder + "/Empty");
  auto& defaults = platform::UserDefaults::standard();
  defaults.setString("userUniqueIdRV", "");
  defaults.setString("applicationUserId_RewardedVideo", "rvUser");
  defaults.setString("applicationKey_RewardedVideo", "rvKey");
  defaults.setString("userUniqueIdIS", "isUnique");
  defaults.setString("applicationUserId_Interstitial", "isUser");
  defaults.setString("userUniqueIdOW", "owUnique");

  files->handleGetCachedFilesMap(request({{"path", ""}, {"success", "ok"}, {"fail", "ko"}}), "path=");
  const auto answers = sent();
  ASSERT_EQ(answers.size(), 1u);
  EXPECT_EQ(answers[0].name, "ok");
  EXPECT_FALSE(answers[0].decodeFirst);
  const Json& map = answers[0].params;
  EXPECT_EQ(map["RewardedVideo"], (Json{{"files", {"f.js"}}, {"userUniqueId", "rvUser"}, {"applicationKey", "rvKey"}}))
      << "an empty unique id falls back to the recorded user id";
  EXPECT_EQ(map["InterstitialRewardedVideo"], (Json{{"files", {"f.js"}}, {"userUniqueId", "isUnique"}, {"applicationKey", "rvKey"}}))
      << "a key naming both products ends with the interstitial's values";
  EXPECT_EQ(map["OfferWall"], (Json{{"files", {"f.js"}}, {"userUniqueId", "owUnique"}}));
  EXPECT_EQ(map["OfferWall2"], (Json{{"files", {"f.js"}}})) << "only the entry keyed exactly OfferWall";

  for (const char* path : {"Empty", "..", "link", "nope"}) {
    files->handleGetCachedFilesMap(request({{"path", path}, {"success", "ok"}, {"fail", "ko"}}), "");
    const auto listing = sent();
    ASSERT_EQ(listing.size(), 1u) << path;
    EXPECT_EQ(listing[0].name, std::string(path) == "Empty" ? "ok" : "ko") << path;
    EXPECT_FALSE(listing[0].params.contains("userUniqueId")) << path;
  }
  files->handleGetCachedFilesMap(request({{"fail", "ko"}}), "");
  EXPECT_EQ(sent(), (std::vector<Sent>{{"ko", Json::object(), false}}));
}

TEST_F(FileHandlersTest, AnImageSaveThatFailedIsReportedAsFailed) {
  files->imageDidFinishSaving(platform::Error{"ALAssetsLibraryErrorDomain", -3310, "denied"}, "img.png");
  files->imageDidFinishSaving(std::nullopt, "img.png");
  EXPECT_EQ(sent(), (std::vector<Sent>{
                        {"assetCachedFailed", {{"path", "shared media library"}, {"file", "img.png"}, {"errMsg", "denied"}}, true},
                        {"assetCached", {{"path", "shared media library"}, {"file", "img.png"}}, true}}));
}

}  // namespace filehandlertest
