// The test main's waits for the script engine's objects, on a test program
// made for them (tests/leak_host), run as a child with a short bound for
// each wait; its output and its XML read here.
//  * One of its tests leaves a web page and a script context alive: that
//    test fails as itself, in GoogleTest's output and in its XML, saying what
//    it left; the tests after it pass, neither blamed for what it left nor
//    held up by it (a test held up would begin the wait's bound after the one
//    before it ended; what the leak left stays alive until the last test).
//  * Objects made outside any test: by a suite's set-up and tear-down, before
//    main, in a global test environment's tear-down. Each still alive once
//    its suite, or every suite, has run fails the program, in GoogleTest's
//    XML too, named after the suite that made it; a page made in a test, in a
//    web view of its suite's set-up, is the suite's, not the test's.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
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
constexpr int kChildWaitMs = 3'000;
// The whole child's run, a bound against a hang.
constexpr auto kChildRunBound = std::chrono::minutes(4);
// In the child's environment: it leaks objects outside any test as well.
constexpr char kLeakOutsideTests[] = "QB_ENGINE_LEAK_OUTSIDE_TESTS=";
constexpr char kLeakOutsideTestsOn[] = "QB_ENGINE_LEAK_OUTSIDE_TESTS=1";

std::string fileText(const std::string& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// Runs `argv` with its output and error in files of `dir` and `env` for its
// environment; its wait status, or none when it did not end within
// kChildRunBound (it is killed then).
std::optional<int> runChild(std::vector<std::string> args, std::vector<std::string> env, const TempDir& dir) {
  std::vector<char*> argv;
  for (auto& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  std::vector<char*> envp;
  for (auto& entry : env) envp.push_back(entry.data());
  envp.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, (dir.path() + "/stdout.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_addopen(&actions, 2, (dir.path() + "/stderr.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  pid_t pid = -1;
  const int rc = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
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

std::string unescapedXml(std::string text) {
  static const std::pair<const char*, const char*> kEntities[] = {
      {"&#x0A;", "\n"}, {"&#x0D;", "\r"}, {"&#x09;", "\t"}, {"&quot;", "\""},
      {"&apos;", "'"},  {"&lt;", "<"},    {"&gt;", ">"},    {"&amp;", "&"}};
  for (const auto& [entity, character] : kEntities) {
    for (size_t at = text.find(entity); at != std::string::npos; at = text.find(entity, at + 1)) {
      text.replace(at, std::strlen(entity), character);
    }
  }
  return text;
}

// A <testcase> of a GoogleTest XML report.
struct TestCase {
  std::vector<std::string> failures;  // their messages
  std::map<std::string, std::string> properties;
};

// The test cases of a GoogleTest XML report by "<suite>.<name>". GoogleTest
// puts failures outside any test in a suite "NonTestSuiteFailure" of its own,
// in a test case without a name.
std::map<std::string, TestCase> testCases(const std::string& xml) {
  static const RE2 kSuite(R"re(<testsuite name="([^"]*)")re");
  static const RE2 kCase(R"re(<testcase name="([^"]*)"[^>]*?(/?)>)re");
  static const RE2 kFailure(R"re(<failure message="([^"]*)")re");
  static const RE2 kProperty(R"re(<property name="([^"]*)" value="([^"]*)")re");
  std::map<std::string, TestCase> cases;
  re2::StringPiece suites(xml);
  std::string suite;
  while (RE2::FindAndConsume(&suites, kSuite, &suite)) {
    const size_t suiteEnd = suites.find("</testsuite>");
    re2::StringPiece rest(suites.data(), suiteEnd == re2::StringPiece::npos ? suites.size() : suiteEnd);
    std::string name;
    std::string closed;
    while (RE2::FindAndConsume(&rest, kCase, &name, &closed)) {
      TestCase& found = cases[suite + "." + name];
      if (!closed.empty()) continue;
      const size_t caseEnd = rest.find("</testcase>");
      re2::StringPiece body(rest.data(), caseEnd == re2::StringPiece::npos ? rest.size() : caseEnd);
      std::string message;
      std::string value;
      re2::StringPiece failures = body;
      while (RE2::FindAndConsume(&failures, kFailure, &message)) found.failures.push_back(unescapedXml(message));
      re2::StringPiece properties = body;
      while (RE2::FindAndConsume(&properties, kProperty, &name, &value)) found.properties[name] = unescapedXml(value);
    }
  }
  return cases;
}

// One run of the leak host: the tests `filter` selects, with objects leaked
// outside any test or not.
struct LeakHostRun {
  std::optional<int> status;
  std::string output;
  std::string errors;
  std::string xml;
  std::map<std::string, TestCase> cases;

  std::string said() const {
    return "standard output:\n" + output + "\nstandard error:\n" + errors + "\nXML:\n" + xml;
  }
  bool exitedWith(int code) const { return status && WIFEXITED(*status) && WEXITSTATUS(*status) == code; }
  // The failures of the test case `name` ("<suite>.<name>"); none for a test
  // case the report does not have.
  std::vector<std::string> failuresOf(const std::string& name) const {
    const auto found = cases.find(name);
    return found == cases.end() ? std::vector<std::string>{} : found->second.failures;
  }
  // The failures outside any test.
  std::vector<std::string> failuresOutsideTests() const { return failuresOf("NonTestSuiteFailure."); }
  // How many of them say `text`.
  long failuresOutsideTestsSaying(const std::string& text) const {
    const auto failures = failuresOutsideTests();
    return std::count_if(failures.begin(), failures.end(),
                         [&](const std::string& failure) { return failure.find(text) != std::string::npos; });
  }
};

LeakHostRun runLeakHost(const std::string& filter, bool leakOutsideTests) {
  TempDir dir;
  const std::string xmlPath = dir.path() + "/report.xml";
  std::vector<std::string> env;
  for (char** entry = environ; *entry; ++entry) {
    if (std::strncmp(*entry, kLeakOutsideTests, sizeof kLeakOutsideTests - 1) != 0) env.emplace_back(*entry);
  }
  if (leakOutsideTests) env.emplace_back(kLeakOutsideTestsOn);
  LeakHostRun run;
  run.status = runChild({QB_ENGINE_LEAK_HOST, "--gtest_filter=" + filter, "--gtest_output=xml:" + xmlPath,
                         "--qb_engine_wait_ms=" + std::to_string(kChildWaitMs)},
                        env, dir);
  run.output = fileText(dir.path() + "/stdout.txt");
  run.errors = fileText(dir.path() + "/stderr.txt");
  run.xml = fileText(xmlPath);
  run.cases = testCases(run.xml);
  return run;
}

// Its test that leaks, the tests around it; run once for the tests that
// read it.
const LeakHostRun& leakingTestRun() {
  static const LeakHostRun run = runLeakHost("EngineLeak.*", false);
  return run;
}

// Its objects made outside any test.
const LeakHostRun& outsideTestsRun() {
  static const LeakHostRun run = runLeakHost("-EngineLeak.*", true);
  return run;
}

TEST(EngineReleaseCheckTest, ALeakFailsTheTestThatMadeItAloneWithWhatItLeft) {
  const auto& run = leakingTestRun();
  ASSERT_TRUE(run.status.has_value()) << run.said();
  EXPECT_TRUE(run.exitedWith(1)) << *run.status << "\n" << run.said();

  const std::string left = "the test left 1 web page(s) and 1 script context(s) alive";
  const std::map<std::string, std::string> expected = {
      {"EngineLeak.MakesAndReleasesAPage", ""},
      {"EngineLeak.LeavesAPageAndAScriptContextAlive", left},
      {"EngineLeak.MakesAndReleasesAPageWhileTheLeakLives", ""},
      {"EngineLeak.LetsTheLeakGo", ""}};
  ASSERT_EQ(run.cases.size(), expected.size()) << run.said();
  for (const auto& [name, message] : expected) {
    SCOPED_TRACE(name);
    ASSERT_TRUE(run.cases.count(name)) << run.said();
    const auto failures = run.failuresOf(name);
    if (message.empty()) {
      EXPECT_TRUE(failures.empty()) << run.said();
    } else {
      ASSERT_EQ(failures.size(), 1u) << run.said();
      EXPECT_NE(failures[0].find(message), std::string::npos) << failures[0];
    }
  }

  // GoogleTest's own verdicts, the failure's text first.
  const size_t said = run.output.find(left);
  const size_t failed = run.output.find("[  FAILED  ] EngineLeak.LeavesAPageAndAScriptContextAlive (");
  EXPECT_NE(said, std::string::npos) << run.said();
  EXPECT_NE(failed, std::string::npos) << run.said();
  EXPECT_LT(said, failed) << run.said();
  EXPECT_NE(run.output.find("[       OK ] EngineLeak.MakesAndReleasesAPageWhileTheLeakLives ("), std::string::npos)
      << run.said();
  EXPECT_NE(run.output.find("[       OK ] EngineLeak.LetsTheLeakGo ("), std::string::npos) << run.said();
  EXPECT_NE(run.output.find("1 FAILED TEST"), std::string::npos) << run.said();
}

// The test before the last saw its own objects go before it ended: its check
// has nothing of its own to wait for, and the last test begins at once. Held
// up by what the leak left (alive until the last test), it would begin about
// a wait's bound later: the wait gives up with less than a millisecond of it
// left, so the mark is half the bound, far from both.
TEST(EngineReleaseCheckTest, TheTestsAfterALeakAreNotHeldUpByIt) {
  const auto& run = leakingTestRun();
  ASSERT_TRUE(run.cases.count("EngineLeak.LetsTheLeakGo")) << run.said();
  const auto& properties = run.cases.at("EngineLeak.LetsTheLeakGo").properties;
  ASSERT_TRUE(properties.count("msSinceThePreviousTestEnded")) << run.said();
  EXPECT_LT(std::stoll(properties.at("msSinceThePreviousTestEnded")), kChildWaitMs / 2)
      << "the test after the leak was held up by it\n"
      << run.said();
}

// A suite's set-up (after another suite has run) and tear-down leave script
// contexts alive: the program fails, once its suites have run, naming the
// suite; GoogleTest's XML has the failure, outside any test, and every test
// passed.
TEST(EngineReleaseCheckTest, ALeakOfASuitesSetUpOrTearDownFailsTheProgramNamingTheSuite) {
  const auto& run = outsideTestsRun();
  ASSERT_TRUE(run.status.has_value()) << run.said();
  EXPECT_TRUE(run.exitedWith(1)) << *run.status << "\n" << run.said();
  ASSERT_TRUE(run.cases.count("EngineSuiteLeak.RunsAfterAnotherSuite")) << run.said();
  EXPECT_TRUE(run.failuresOf("EngineSuiteLeak.RunsAfterAnotherSuite").empty()) << run.said();

  const std::string left = "the set-up or tear-down of test suite EngineSuiteLeak left 0 web page(s) and 3 script "
                           "context(s) alive";
  EXPECT_EQ(run.failuresOutsideTestsSaying(left), 1) << run.said();
  EXPECT_NE(run.output.find(left), std::string::npos) << run.said();
}

// A script context made before main and one made in a global test
// environment's tear-down: the program fails, once every suite has run, for
// what was made outside any suite, in GoogleTest's XML too.
TEST(EngineReleaseCheckTest, ALeakBeforeMainOrInAGlobalEnvironmentFailsTheProgram) {
  const auto& run = outsideTestsRun();
  ASSERT_TRUE(run.status.has_value()) << run.said();
  EXPECT_TRUE(run.exitedWith(1)) << *run.status << "\n" << run.said();
  const std::string left = "what was made outside any test suite (before main, in a global test environment) left 0 "
                           "web page(s) and 2 script context(s) alive";
  EXPECT_EQ(run.failuresOutsideTestsSaying(left), 1) << run.said();
  // This failure and the suite's, no other.
  EXPECT_EQ(run.failuresOutsideTests().size(), 2u) << run.said();
  EXPECT_NE(run.output.find(left), std::string::npos) << run.said();
}

// A test makes the page of a web view its suite's set-up made, and the
// suite's tear-down lets the view go: the page is the suite's, gone with it,
// and the test leaves nothing.
TEST(EngineReleaseCheckTest, APageCountsWhereItsWebViewWasMade) {
  const auto& run = outsideTestsRun();
  ASSERT_TRUE(run.cases.count("EngineSuitePage.MakesAPageInItsSuitesWebView")) << run.said();
  EXPECT_TRUE(run.failuresOf("EngineSuitePage.MakesAPageInItsSuitesWebView").empty()) << run.said();
  EXPECT_EQ(run.output.find("test suite EngineSuitePage"), std::string::npos) << run.said();
}

}  // namespace
}  // namespace qbtest
