// Demo host: starts the embedded sandbox (or uses --server URL), runs the
// main queue on this thread as an application would, and exits with 0 when
// the run completed.
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "platform/dispatch.h"
#include "platform/net.h"
#include "support/sandbox_server.h"

namespace {

struct Options {
  std::string server;  // empty: embedded sandbox
};

Options parse(int argc, char** argv) {
  Options o;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--server") == 0 && i + 1 < argc) o.server = argv[++i];
  }
  return o;
}

}  // namespace

int main(int argc, char** argv) {
  Options options = parse(argc, argv);
  std::unique_ptr<qbtest::SandboxServer> sandbox;
  std::string base = options.server;
  if (base.empty()) {
    sandbox = std::make_unique<qbtest::SandboxServer>();
    sandbox->answer("/health", 200, R"({"status":"ok"})");
    if (!sandbox->start()) {
      std::fprintf(stderr, "demo: could not start the sandbox server\n");
      return 2;
    }
    base = sandbox->baseUrl();
  }
  std::printf("sandbox: %s\n", base.c_str());

  bool done = false;
  int exitCode = 1;
  platform::URLRequest request;
  request.url = base + "/health";
  request.timeoutSeconds = 5;
  auto task = platform::URLSession::shared()->dataTask(
      request, platform::mainQueue(), [&](platform::DataTaskResult result) {
        if (result.error) {
          std::printf("health check failed: %d %s\n", result.error->code, result.error->message.c_str());
        } else {
          std::printf("health check: %d %s\n", result.response->statusCode, result.body.c_str());
          exitCode = result.response->statusCode == 200 ? 0 : 1;
        }
        done = true;
      });
  task->resume();
  if (!platform::runMainUntil([&] { return done; }, 10'000)) {
    std::fprintf(stderr, "demo: timed out\n");
    return 1;
  }
  if (sandbox) sandbox->stop();
  return exitCode;
}
