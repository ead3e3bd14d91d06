// The light cache on a temporary folder: save-once, its three refusals in
// their order, and a folder standing where a file should be.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "platform/storage.h"
#include "platform/web/url.h"
#include "scriptfeatures/files/QBNLightCacheManager.h"
#include "support/temp_dir.h"

namespace {

class LightCacheTest : public ::testing::Test {
 protected:
  LightCacheTest() { cache.resetForTesting(); }
  ~LightCacheTest() override { cache.resetForTesting(); }

  // The save's failure text, "" when it succeeded.
  std::string save(const std::optional<std::string>& data, const std::string& name) {
    platform::Error error;
    const bool saved = cache.saveDataOnRootDirectory(data, name, &error);
    EXPECT_EQ(saved, error.message.empty()) << error.message;
    return error.message;
  }

  QBNLightCacheManager& cache = QBNLightCacheManager::sharedInstance();
  qbtest::TempDir dir;
};

TEST_F(LightCacheTest, RefusalsComeInTheirOrder) {
  const std::string root = dir.path() + "/assets";
  const struct {
    const char* name;
    std::optional<std::string> rootPath;
    bool rootExists;
    std::optional<std::string> data;
    std::string fileName;
    std::string failure;
  } rows[] = {
      {"no root set", std::nullopt, false, "x", "a.caf", kQBNLightCacheNoRootMessage},
      {"a root that is not there", root, false, "x", "a.caf", kQBNLightCacheNoRootMessage},
      {"an empty name, no root", root, false, "x", "", kQBNLightCacheNoRootMessage},
      {"an empty name and no data", root, true, std::nullopt, "", kQBNLightCacheInvalidNameMessage},
      {"a name that is a path", root, true, "x", "../a.caf", kQBNLightCacheInvalidNameMessage},
      {"no data", root, true, std::nullopt, "a.caf", kQBNLightCacheNoDataMessage},
      {"saved", root, true, "first", "a.caf", ""},
      {"saved again: kept", root, true, "second", "a.caf", ""},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    cache.setRootDirectoryPath(row.rootPath);
    if (row.rootExists) {
      ASSERT_TRUE(platform::createDirectories(root));
    }
    EXPECT_EQ(save(row.data, row.fileName), row.failure);
  }
  EXPECT_EQ(platform::readFile(root + "/a.caf").valueOr(""), "first");
  EXPECT_EQ(cache.pathForFileNameInRootDirectory("a.caf"), root + "/a.caf");
  EXPECT_EQ(cache.fileUrlForFileNameOnRootDirectory("a.caf"), platform::fileURLFromPath(root + "/a.caf"));
  EXPECT_FALSE(cache.fileUrlForFileNameOnRootDirectory("b.caf"));
}

TEST_F(LightCacheTest, AFolderWhereTheFileShouldBe) {
  cache.setRootDirectoryPath(dir.path());
  ASSERT_TRUE(platform::createDirectories(dir.path() + "/a.caf"));
  EXPECT_FALSE(cache.isFileNameExistInRootDirectory("a.caf"));
  EXPECT_FALSE(cache.pathForFileNameInRootDirectory("a.caf"));
  const std::string failure = save("x", "a.caf");
  EXPECT_FALSE(failure.empty());
  EXPECT_NE(failure, kQBNLightCacheNoDataMessage);
  EXPECT_TRUE(platform::isDirectory(dir.path() + "/a.caf"));
}

}  // namespace
