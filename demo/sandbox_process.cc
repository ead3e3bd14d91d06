#include "sandbox_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <filesystem>

extern char** environ;

namespace demo {

namespace {

pid_t spawn(const std::string& program, const std::vector<std::string>& args, posix_spawn_file_actions_t* actions) {
  std::vector<std::string> all = {program};
  all.insert(all.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& arg : all) argv.push_back(arg.data());
  argv.push_back(nullptr);
  pid_t pid = 0;
  if (posix_spawn(&pid, program.c_str(), actions, nullptr, argv.data(), environ) != 0) return -1;
  return pid;
}

int waitFor(pid_t pid) {
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The first line `fd` delivers within `timeoutMs`; empty when none came.
std::string readFirstLine(int fd, int timeoutMs) {
  std::string line;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return {};
    pollfd p{fd, POLLIN, 0};
    const int ready = poll(&p, 1, static_cast<int>(left.count()));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) return {};
    char c = 0;
    const ssize_t n = read(fd, &c, 1);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return {};
    if (c == '\n') return line;
    line.push_back(c);
  }
}

}  // namespace

std::unique_ptr<SandboxProcess> SandboxProcess::start(const std::string& program, const std::vector<std::string>& args,
                                                      std::string& error) {
  int pipeFds[2];
  if (pipe2(pipeFds, O_CLOEXEC) != 0) {
    error = "no pipe for the sandbox program";
    return nullptr;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
  const pid_t pid = spawn(program, args, &actions);
  posix_spawn_file_actions_destroy(&actions);
  close(pipeFds[1]);
  if (pid < 0) {
    close(pipeFds[0]);
    error = "cannot run the sandbox program " + program;
    return nullptr;
  }
  std::string url = readFirstLine(pipeFds[0], 10'000);
  std::unique_ptr<SandboxProcess> process(new SandboxProcess(pid, pipeFds[0], url));
  if (url.rfind("http://", 0) != 0) {
    error = "the sandbox program " + program + " gave no address";
    return nullptr;  // stops it
  }
  return process;
}

SandboxProcess::~SandboxProcess() { stop(); }

void SandboxProcess::stop() {
  if (pid_ <= 0) return;
  kill(pid_, SIGTERM);
  waitFor(pid_);
  pid_ = -1;
  close(output_);
}

std::string defaultSandboxProgram() {
#ifdef QB_DEMO_SANDBOX
  return QB_DEMO_SANDBOX;
#else
  std::error_code ignored;
  const auto self = std::filesystem::read_symlink("/proc/self/exe", ignored);
  return (self.parent_path() / "quillborne_sandbox").string();
#endif
}

int runThisProgram(const std::vector<std::string>& args) {
  const pid_t pid = spawn("/proc/self/exe", args, nullptr);
  return pid < 0 ? -1 : waitFor(pid);
}

}  // namespace demo
