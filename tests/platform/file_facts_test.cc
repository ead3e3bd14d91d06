// File facts and the bounded folder walk on a temporary folder: types, sizes
// and times of items (links not followed), pre-order with sorted names,
// links listed but never entered, and the depth and count limits.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/file_facts.h"
#include "platform/storage.h"
#include "platform_support.h"
#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using platform::FileType;
using platformtest::code;
using platformtest::errc;

class FileFactsTest : public ::testing::Test {
 protected:
  void write(const std::string& relative, const std::string& text) {
    const fs::path path = fs::path(dir.path()) / relative;
    fs::create_directories(path.parent_path());
    ASSERT_TRUE(platform::writeFileAtomically(path.string(), text));
  }
  std::string path(const std::string& relative) const { return dir.path() + "/" + relative; }

  // "relative path (type letter, depth)" per item, in walk order.
  static std::vector<std::string> walk(const platform::DirectoryEnumeration& listing) {
    std::vector<std::string> out;
    for (const auto& item : listing.items) {
      const char* type = item.facts.type == FileType::Directory      ? "d"
                         : item.facts.type == FileType::SymbolicLink ? "l"
                         : item.facts.type == FileType::Regular      ? "f"
                                                                     : "?";
      out.push_back(item.relativePath + " " + type + std::to_string(item.depth));
    }
    return out;
  }

  qbtest::TempDir dir;
};

TEST_F(FileFactsTest, FactsOfEachKindOfItem) {
  write("tree/a.txt", "12345");
  write("tree/empty", "");
  fs::create_symlink(path("tree/a.txt"), path("tree/link"));
  timespec times[2] = {{1'700'000'000, 123'456'789}, {1'700'000'000, 123'456'789}};
  ASSERT_EQ(::utimensat(AT_FDCWD, path("tree/a.txt").c_str(), times, 0), 0);

  auto file = platform::fileFacts(path("tree/a.txt"));
  ASSERT_TRUE(file);
  EXPECT_EQ(file.value(), (platform::FileFacts{FileType::Regular, 5, 1'700'000'000'123}));
  EXPECT_EQ(platform::fileFacts(path("tree/empty")).value().size, 0u);
  auto link = platform::fileFacts(path("tree/link"));
  ASSERT_TRUE(link);
  EXPECT_EQ(link.value().type, FileType::SymbolicLink);
  EXPECT_EQ(link.value().size, path("tree/a.txt").size());  // the link's own length: its target's text
  EXPECT_EQ(platform::fileFacts(path("tree")).value().type, FileType::Directory);
  EXPECT_EQ(errc(platform::fileFacts(path("none"))), code(platform::StorageErrc::NotFound));
}

TEST_F(FileFactsTest, TheWalkIsPreOrderSortedAndNeverFollowsALink) {
  write("root/b/z.txt", "z");
  write("root/b/c/deep.txt", "d");
  write("root/a.txt", "a");
  write("outside/secret.txt", "s");
  fs::create_directory_symlink(path("outside"), path("root/b/out"));
  fs::create_directory_symlink("..", path("root/b/c/up"));

  auto listing = platform::enumerateDirectory(path("root"));
  ASSERT_TRUE(listing);
  EXPECT_TRUE(listing.value().complete);
  EXPECT_EQ(walk(listing.value()), (std::vector<std::string>{"a.txt f0", "b d0", "b/c d1", "b/c/deep.txt f2",
                                                             "b/c/up l2", "b/out l1", "b/z.txt f1"}));
  EXPECT_EQ(listing.value().items[0].name, "a.txt");
  EXPECT_EQ(listing.value().items[0].facts.size, 1u);
}

TEST_F(FileFactsTest, TheWalkStopsAtItsLimits) {
  write("root/1/2/3/f.txt", "f");
  write("root/x.txt", "x");
  const struct {
    const char* name;
    platform::EnumerationLimits limits;
    std::vector<std::string> items;
    bool complete;
  } rows[] = {
      {"no limit reached", {}, {"1 d0", "1/2 d1", "1/2/3 d2", "1/2/3/f.txt f3", "x.txt f0"}, true},
      {"depth 1", {.maxDepth = 1}, {"1 d0", "1/2 d1", "x.txt f0"}, false},
      {"depth 0", {.maxDepth = 0}, {"1 d0", "x.txt f0"}, false},
      {"three items", {.maxItems = 3}, {"1 d0", "1/2 d1", "1/2/3 d2"}, false},
      {"exactly all", {.maxItems = 5}, {"1 d0", "1/2 d1", "1/2/3 d2", "1/2/3/f.txt f3", "x.txt f0"}, true},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    auto listing = platform::enumerateDirectory(path("root"), row.limits);
    ASSERT_TRUE(listing);
    EXPECT_EQ(walk(listing.value()), row.items);
    EXPECT_EQ(listing.value().complete, row.complete);
  }
}

TEST_F(FileFactsTest, AFolderThatCannotBeListedIsAnError) {
  write("file.txt", "f");
  EXPECT_EQ(errc(platform::enumerateDirectory(path("none"))), code(platform::StorageErrc::NotFound));
  EXPECT_EQ(errc(platform::enumerateDirectory(path("file.txt"))), code(platform::StorageErrc::NotADirectory));
  // The folder itself may be reached through a link.
  fs::create_directory_symlink(dir.path(), path("self"));
  EXPECT_TRUE(platform::enumerateDirectory(path("self"), {.maxDepth = 0}));
}

}  // namespace
