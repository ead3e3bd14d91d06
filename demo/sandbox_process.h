#pragma once
// The sandbox program (quillborne_sandbox) as a child process of the demo: it
// prints its base URL as its first line and serves until told to stop.
#include <sys/types.h>

#include <memory>
#include <string>
#include <vector>

namespace demo {

class SandboxProcess {
 public:
  // Starts `program` with `args` and waits (up to 10 s) for its URL. Null,
  // with the reason in `error`, when it did not start or said nothing.
  static std::unique_ptr<SandboxProcess> start(const std::string& program, const std::vector<std::string>& args,
                                               std::string& error);
  // Stops it.
  ~SandboxProcess();
  SandboxProcess(const SandboxProcess&) = delete;
  SandboxProcess& operator=(const SandboxProcess&) = delete;

  const std::string& url() const { return url_; }
  // Ends the program (SIGTERM) and waits for it; its address then refuses
  // connections.
  void stop();

 private:
  SandboxProcess(pid_t pid, int output, std::string url) : pid_(pid), output_(output), url_(std::move(url)) {}
  pid_t pid_;
  int output_;
  std::string url_;
};

// The sandbox program installed with the package the demo was built against
// (QB_DEMO_SANDBOX, from the package's Quillborne::quillborne_sandbox), else
// quillborne_sandbox beside the running program.
std::string defaultSandboxProgram();

// Runs this program again with `args` and waits for it; its exit status, or
// -1 when it could not run or did not exit.
int runThisProgram(const std::vector<std::string>& args);

}  // namespace demo
