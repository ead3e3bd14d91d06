// A host that returns from main while an auction and an event upload wait on a
// server that never answers must exit cleanly: worker threads, the I/O thread
// and the SDK object may still run while static destruction proceeds, and
// nothing they reach may have been destroyed. Runs the exit host
// (tests/exit_host) as a child process, many times, a few at once; in the
// sanitizer builds a report at exit turns the child's status non-zero.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/temp_dir.h"

extern char** environ;

namespace qbtest {
namespace {

constexpr int kRuns = 20;
constexpr int kAtOnce = 4;

struct Child {
  std::unique_ptr<TempDir> dir = std::make_unique<TempDir>();
  pid_t pid = -1;

  std::string stderrPath() const { return dir->path() + "/stderr.txt"; }

  bool spawn() {
    std::vector<std::string> args = {QB_EXIT_HOST, "--data-root", dir->path()};
    std::vector<char*> argv;
    for (auto& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 2, stderrPath().c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int rc = posix_spawn(&pid, QB_EXIT_HOST, &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return rc == 0;
  }

  // "exit 0", "exit N" or "signal N", with the child's stderr on failure.
  std::string wait() {
    int status = 0;
    if (waitpid(pid, &status, 0) != pid) return "lost";
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return "exit 0";
    std::string what = WIFEXITED(status) ? "exit " + std::to_string(WEXITSTATUS(status))
                                         : "signal " + std::to_string(WTERMSIG(status));
    std::ifstream in(stderrPath());
    std::stringstream text;
    text << in.rdbuf();
    return what + "\n" + text.str();
  }
};

TEST(ProcessExitTest, ReturningFromMainWithAnAuctionAndAnUploadInFlightExitsCleanly) {
  for (int done = 0; done < kRuns; done += kAtOnce) {
    std::vector<Child> children(kAtOnce);
    for (auto& child : children) ASSERT_TRUE(child.spawn());
    for (auto& child : children) EXPECT_EQ(child.wait(), "exit 0");
  }
}

}  // namespace
}  // namespace qbtest
