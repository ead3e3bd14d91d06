#include "platform/storage.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <thread>
#include <vector>

#include "platform_support.h"
#include "support/temp_dir.h"

using namespace platform;
using platformtest::code;

namespace {

class StorageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(dir.path().empty());
    setDataRoot(dir.path());
  }
  void TearDown() override {
    setCorruptStoreHandler(nullptr);
    UserDefaults::resetStandardForTesting();
    setAppInfo(Json{{"CFBundleIdentifier", kDefaultBundleIdentifier}});
  }
  std::string file(const std::string& name) const { return dir.path() + "/" + name; }

  qbtest::TempDir dir;
};

TEST_F(StorageTest, ValuesSurviveReopeningWithTheirTypes) {
  const std::string path = file("prefs/defaults.json");
  {
    UserDefaults d(path);
    EXPECT_FALSE(d.wasCorruptOnOpen());
    d.setString("s", "text");
    d.setInteger("i", -42);
    d.setBool("b", true);
    d.setDouble("d", 2.75);
    d.setObject("o", Json{{"configurations", {1, 2}}});
    d.setString("gone", "x");
    d.removeObject("gone");
    d.setString("nulled", "x");
    d.setObject("nulled", Json(nullptr));
  }
  UserDefaults d(path);
  EXPECT_FALSE(d.wasCorruptOnOpen());
  EXPECT_EQ(d.string("s"), "text");
  EXPECT_EQ(d.integer("i"), -42);
  EXPECT_TRUE(d.boolean("b"));
  EXPECT_EQ(d.doubleValue("d"), 2.75);
  EXPECT_EQ(d.object("o"), (Json{{"configurations", {1, 2}}}));
  EXPECT_EQ(d.object("gone"), std::nullopt);
  EXPECT_EQ(d.object("nulled"), std::nullopt);
  EXPECT_EQ(d.dictionaryRepresentation().size(), 5u);
  // Absent or other-typed values give the platform's neutral answers.
  EXPECT_EQ(d.string("i"), std::nullopt);
  EXPECT_EQ(d.integer("d"), 2);
  EXPECT_EQ(d.integer("s"), 0);
  EXPECT_TRUE(d.boolean("i"));
}

TEST_F(StorageTest, CorruptFileIsSetAsideAndReplaced) {
  const std::string path = file("defaults.json");
  for (const std::string& damaged : {std::string("{\"a\":1,\"b\":"), std::string("[1,2]"),
                                     std::string("\x00\x01garbage", 9)}) {
    ASSERT_TRUE(writeFileAtomically(path, damaged).ok());
    {
      UserDefaults d(path);
      EXPECT_TRUE(d.wasCorruptOnOpen());
      EXPECT_EQ(d.dictionaryRepresentation(), Json::object());
      EXPECT_FALSE(fileExists(path));
      EXPECT_EQ(readFile(path + ".corrupt").valueOr({}), damaged);
      d.setInteger("after", 7);
    }
    UserDefaults reopened(path);
    EXPECT_FALSE(reopened.wasCorruptOnOpen());
    EXPECT_EQ(reopened.integer("after"), 7);
  }
  // A folder where the file should be is set aside the same way.
  ASSERT_TRUE(removeItem(path).ok());
  ASSERT_TRUE(createDirectories(path).ok());
  ASSERT_TRUE(removeItem(path + ".corrupt").ok());
  UserDefaults d(path);
  EXPECT_TRUE(d.wasCorruptOnOpen());
  d.setBool("k", true);
  EXPECT_TRUE(d.synchronize().ok());
  EXPECT_TRUE(UserDefaults(path).boolean("k"));
}

// The standard store and two suites, each damaged in turn: a write rewrites
// only its own store's file, and a damaged file empties only its own store.
TEST_F(StorageTest, EachStoreKeepsItsOwnFile) {
  std::vector<CorruptStoreReport> reports;
  setCorruptStoreHandler([&](const CorruptStoreReport& report) { reports.push_back(report); });
  const std::vector<std::string> names = {"standard", "com.plovermark.events", "com.plovermark.mediation"};
  const auto inode = [](const std::string& name) {
    struct stat st {};
    return ::stat(userDefaultsSuitePath(name).c_str(), &st) == 0 ? st.st_ino : ino_t{0};
  };
  for (const auto& damaged : names) {
    SCOPED_TRACE(damaged);
    for (const auto& name : names) UserDefaults::suite(name).setString("owner", name);
    std::vector<ino_t> before;
    for (const auto& name : names) before.push_back(inode(name));
    UserDefaults::suite(damaged).setString("written", "again");
    for (size_t i = 0; i < names.size(); ++i) {
      EXPECT_EQ(inode(names[i]) == before[i], names[i] != damaged) << names[i];
    }

    ASSERT_TRUE(writeFileAtomically(userDefaultsSuitePath(damaged), "{\"owner\":").ok());
    UserDefaults::resetStandardForTesting();
    for (const auto& name : names) {
      EXPECT_EQ(UserDefaults::suite(name).string("owner"), name == damaged ? std::nullopt : std::optional(name));
    }
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].path, userDefaultsSuitePath(damaged));
    EXPECT_EQ(reports[0].reason, "not a JSON object");
    reports.clear();
  }
  EXPECT_EQ(userDefaultsSuitePath("standard"), standardUserDefaultsPath());
  EXPECT_EQ(userDefaultsSuitePath("../x/y"), dir.path() + "/Library/Preferences/.._x_y.json");
}

// A store written when every key lived in the standard file: each suite takes
// its keys when it opens (its own newer value wins), once.
TEST_F(StorageTest, KeysOfTheOneFileLayoutMoveIntoTheirSuites) {
  ASSERT_TRUE(createDirectories(dir.path() + "/Library/Preferences").ok());
  ASSERT_TRUE(writeFileAtomically(standardUserDefaultsPath(),
                                  R"({"com.plovermark.mediation.serverResponse":{"appKey":"k"},)"
                                  R"("com.plovermark.events.backup":[1],"com.plovermark.eventsX.backup":[3],)"
                                  R"("IS_showCounter_Home":2})")
                  .ok());
  ASSERT_TRUE(writeFileAtomically(userDefaultsSuitePath("com.plovermark.events"),
                                  R"({"com.plovermark.events.backup":[2]})")
                  .ok());
  EXPECT_EQ(UserDefaults::suite("com.plovermark.mediation").object("com.plovermark.mediation.serverResponse"),
            (Json{{"appKey", "k"}}));
  EXPECT_EQ(UserDefaults::suite("com.plovermark.events").object("com.plovermark.events.backup"), Json::array({2}));
  UserDefaults::resetStandardForTesting();

  EXPECT_EQ(UserDefaults(standardUserDefaultsPath()).dictionaryRepresentation(),
            Json::parse(R"({"com.plovermark.eventsX.backup":[3],"IS_showCounter_Home":2})"));
  EXPECT_EQ(UserDefaults::suite("com.plovermark.mediation").object("com.plovermark.mediation.serverResponse"),
            (Json{{"appKey", "k"}}));
  EXPECT_EQ(UserDefaults::suite("com.plovermark.events").dictionaryRepresentation(),
            Json::parse(R"({"com.plovermark.events.backup":[2]})"));
}

TEST_F(StorageTest, TemporaryFilesOfAnInterruptedWriteAreRemovedAtLoad) {
  const std::string path = file("defaults.json");
  ASSERT_TRUE(writeFileAtomically(path, R"({"k":1})").ok());
  const std::string ownWrite = "defaults.json.tmp." + std::to_string(::getpid()) + ".9";
  for (const std::string& name : {std::string("defaults.json.tmp.1.0"), std::string("defaults.json.tmp.4194305.17"),
                                  ownWrite, std::string("other.json.tmp.1.0")}) {
    ASSERT_TRUE(writeFileAtomically(file(name), "{\"half").ok());
  }
  UserDefaults d(path);
  EXPECT_EQ(d.integer("k"), 1);
  EXPECT_EQ(listDirectory(dir.path()).valueOr({}),
            (std::vector<std::string>{"defaults.json", ownWrite, "other.json.tmp.1.0"}));
}

TEST_F(StorageTest, FailedWritesStayPendingUntilSynchronizeSucceeds) {
  // A regular file where the folder should be makes every write fail.
  ASSERT_TRUE(writeFileAtomically(file("blocker"), "").ok());
  const std::string path = file("blocker/defaults.json");
  UserDefaults d(path);
  d.setString("k", "v");
  EXPECT_EQ(d.string("k"), "v");
  auto failed = d.synchronize();
  ASSERT_FALSE(failed.ok());
  EXPECT_EQ(failed.error().domain, kStorageErrorDomain);

  ASSERT_TRUE(removeItem(file("blocker")).ok());
  ASSERT_TRUE(createDirectories(file("blocker")).ok());
  EXPECT_TRUE(d.synchronize().ok());
  EXPECT_EQ(UserDefaults(path).string("k"), "v");
}

TEST_F(StorageTest, ConcurrentWritersAllLand) {
  const std::string path = file("defaults.json");
  constexpr int kThreads = 6, kKeys = 40;
  const auto key = [](int t, int k) { return "t" + std::to_string(t) + "k" + std::to_string(k); };
  {
    UserDefaults d(path);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
      threads.emplace_back([&, t] {
        for (int k = 0; k < kKeys; ++k) {
          d.setInteger(key(t, k), t * 1000 + k);
          d.setObject("shared", Json{{"writer", t}});
          EXPECT_EQ(d.integer(key(t, k)), t * 1000 + k);
          (void)d.dictionaryRepresentation();
        }
        d.removeObject(key(t, 0));
      });
    }
    for (auto& th : threads) th.join();
    EXPECT_TRUE(d.synchronize().ok());
  }
  UserDefaults reopened(path);
  EXPECT_EQ(reopened.dictionaryRepresentation().size(), static_cast<size_t>(kThreads * (kKeys - 1) + 1));
  for (int t = 0; t < kThreads; ++t) {
    EXPECT_EQ(reopened.object(key(t, 0)), std::nullopt);
    for (int k = 1; k < kKeys; ++k) EXPECT_EQ(reopened.integer(key(t, k)), t * 1000 + k);
  }
  EXPECT_EQ(listDirectory(dir.path()).valueOr({}), std::vector<std::string>{"defaults.json"})
      << "no temporary files left behind";
}

TEST_F(StorageTest, StandardStoreFollowsTheDataRoot) {
  EXPECT_EQ(UserDefaults::standard().filePath(), dir.path() + "/Library/Preferences/standard.json");
  UserDefaults::standard().setString("where", "first");
  EXPECT_TRUE(fileExists(standardUserDefaultsPath()));

  qbtest::TempDir other;
  setDataRoot(other.path());
  UserDefaults& fresh = UserDefaults::standard();
  EXPECT_EQ(fresh.string("where"), std::nullopt);
  fresh.setString("where", "second");

  setDataRoot(dir.path());
  EXPECT_EQ(UserDefaults::standard().string("where"), "first");
  EXPECT_EQ(fresh.string("where"), "second") << "earlier references stay usable";
}

TEST_F(StorageTest, FileHelpersReportErrorsAsValues) {
  const std::string f = file("a/b/c.txt");
  EXPECT_EQ(writeFileAtomically(f, "x").error().code, code(StorageErrc::NotFound));
  ASSERT_TRUE(createDirectories(file("a/b")).ok());
  EXPECT_TRUE(createDirectories(file("a/b")).ok()) << "existing folder is fine";
  ASSERT_TRUE(writeFileAtomically(f, "hello").ok());
  ASSERT_TRUE(writeFileAtomically(f, "hello world").ok());
  EXPECT_EQ(readFile(f, 11).valueOr({}), "hello world");
  EXPECT_EQ(readFile(f, 10).error().code, code(StorageErrc::TooLarge));
  EXPECT_EQ(readFile(file("none")).error().code, code(StorageErrc::NotFound));
  EXPECT_EQ(readFile(file("a")).error().code, code(StorageErrc::IsADirectory));
  EXPECT_EQ(createDirectories(f + "/sub").error().code, code(StorageErrc::NotADirectory));
  EXPECT_EQ(listDirectory(f).error().code, code(StorageErrc::NotADirectory));

  ASSERT_TRUE(writeFileAtomically(file("a/z"), "").ok());
  EXPECT_EQ(listDirectory(file("a")).valueOr({}), (std::vector<std::string>{"b", "z"}));
  EXPECT_TRUE(removeItem(file("a")).ok()) << "recursive";
  EXPECT_FALSE(fileExists(file("a")));
  EXPECT_EQ(removeItem(file("a")).error().code, code(StorageErrc::NotFound));
}

TEST_F(StorageTest, MistypedAppInfoFallsBack) {
  setAppInfo(Json{{"CFBundleIdentifier", 5}});
  EXPECT_EQ(bundleIdentifier(), "com.example.host");
  setAppInfo(Json::array({1}));
  EXPECT_EQ(appInfo(), Json::object());
}

}  // namespace
