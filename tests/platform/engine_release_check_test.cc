// The test main's wait for the script engine's objects each test made, on a
// test program whose one test leaves a web page and a script context alive
// (tests/leak_host): that test fails as itself, in GoogleTest's output and in
// its XML, saying what it left; the tests after it pass, neither blamed for
// what it left nor waiting for it (a test that waited would fail: what it
// left stays alive until the last test). Runs the program as a child with a
// short bound for each wait, and reads its output and its XML.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <condition_variable>
#include <fstream>
#include <map>
#include <mutex>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <re2/re2.h>

#include "support/temp_dir.h"

extern char** environ;

namespace qbtest {
namespace {

// Each wait of the child's test main; a test that waits it out fails.
constexpr int kChildWaitMs = 10'000;
// The whole child's run, a bound against a hang.
constexpr auto kChildRunBound = std::chrono::minutes(4);

std::string fileText(const std::string& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// Runs `argv` with its output and error in files of `dir`; its wait status,
// or none when it did not end within kChildRunBound (it is killed then).
std::optional<int> runChild(std::vector<std::string> args, const TempDir& dir) {
  std::vector<char*> argv;
  for (auto& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, (dir.path() + "/stdout.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_addopen(&actions, 2, (dir.path() + "/stderr.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  pid_t pid = -1;
  const int rc = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) return std::nullopt;
  std::mutex mutex;
  std::condition_variable changed;
  std::optional<int> status;
  std::thread reaper([&] {
    int s = 0;
    const bool reaped = waitpid(pid, &s, 0) == pid;
    std::lock_guard lock(mutex);
    status = reaped ? s : -1;
    changed.notify_all();
  });
  bool ended = false;
  {
    std::unique_lock lock(mutex);
    ended = changed.wait_for(lock, kChildRunBound, [&] { return status.has_value(); });
  }
  if (!ended) kill(pid, SIGKILL);
  reaper.join();
  return ended ? status : std::nullopt;
}

// The <testcase> elements of a GoogleTest XML report: name to the message of
// its first failure ("" for a test without one).
std::map<std::string, std::string> testCases(const std::string& xml) {
  static const RE2 kCase(R"re(<testcase name="([^"]*)"[^>]*?(/?)>)re");
  static const RE2 kFailure(R"re(^\s*<failure message="([^"]*)")re");
  std::map<std::string, std::string> cases;
  re2::StringPiece rest(xml);
  std::string name;
  std::string closed;
  while (RE2::FindAndConsume(&rest, kCase, &name, &closed)) {
    std::string message;
    if (closed.empty()) RE2::PartialMatch(rest, kFailure, &message);
    cases[name] = message;
  }
  return cases;
}

TEST(EngineReleaseCheckTest, ALeakFailsTheTestThatMadeItAloneWithWhatItLeft) {
  TempDir dir;
  const std::string xmlPath = dir.path() + "/report.xml";
  const auto status = runChild(
      {QB_ENGINE_LEAK_HOST, "--gtest_output=xml:" + xmlPath, "--qb_engine_wait_ms=" + std::to_string(kChildWaitMs)},
      dir);
  const std::string output = fileText(dir.path() + "/stdout.txt");
  const std::string errors = fileText(dir.path() + "/stderr.txt");
  const std::string both = "standard output:\n" + output + "\nstandard error:\n" + errors;
  ASSERT_TRUE(status.has_value()) << both;
  EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 1) << *status << "\n" << both;

  const std::string left = "the test left 1 web page(s) and 1 script context(s) alive";
  const auto cases = testCases(fileText(xmlPath));
  const std::map<std::string, std::string> expected = {
      {"MakesAndReleasesAPage", ""},
      {"LeavesAPageAndAScriptContextAlive", left},
      {"MakesAndReleasesAPageWhileTheLeakLives", ""},
      {"LetsTheLeakGo", ""}};
  ASSERT_EQ(cases.size(), expected.size()) << fileText(xmlPath) << both;
  for (const auto& [name, message] : expected) {
    SCOPED_TRACE(name);
    ASSERT_TRUE(cases.count(name)) << fileText(xmlPath);
    if (message.empty()) {
      EXPECT_EQ(cases.at(name), "") << both;
    } else {
      EXPECT_NE(cases.at(name).find(message), std::string::npos) << cases.at(name);
    }
  }

  // GoogleTest's own verdicts, the failure's text first.
  const size_t said = output.find(left);
  const size_t failed = output.find("[  FAILED  ] EngineLeak.LeavesAPageAndAScriptContextAlive (");
  EXPECT_NE(said, std::string::npos) << both;
  EXPECT_NE(failed, std::string::npos) << both;
  EXPECT_LT(said, failed) << both;
  EXPECT_NE(output.find("[       OK ] EngineLeak.MakesAndReleasesAPageWhileTheLeakLives ("), std::string::npos)
      << both;
  EXPECT_NE(output.find("[       OK ] EngineLeak.LetsTheLeakGo ("), std::string::npos) << both;
  EXPECT_NE(output.find("1 FAILED TEST"), std::string::npos) << both;
}

}  // namespace
}  // namespace qbtest
