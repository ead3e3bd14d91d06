// A host application that returns from main while the library still has work
// in flight: start-up against the sandbox, then rewarded-video and
// interstitial auctions and event uploads sent to a loopback listener that
// takes every request and never answers. The exit test runs it as a child
// process and wants exit status 0 every time.
//
//   qb_exit_host --data-root DIR
//
// Exit status: 0 when the road got as far as the unanswered requests and the
// process then ended cleanly; 2 when the road itself failed (the reason goes
// to stderr). A crash or a sanitizer report at exit gives anything else.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "platform/dispatch.h"
#include "platform/json.h"
#include "platform/storage.h"
#include "quillborne/Quillborne.h"
#include "sdk/QuillborneSdk.h"
#include "support/sandbox_config.h"
#include "support/sandbox_server.h"

namespace {

int fail(const std::string& reason) {
  std::fprintf(stderr, "exit host: %s\n", reason.c_str());
  return 2;
}

// Accepts connections and reads what they send, never answering. The
// connections stay open until the process ends.
class SilentListener {
 public:
  bool start() {
    fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd_ < 0) return false;
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    if (bind(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || listen(fd_, 64) != 0 ||
        getsockname(fd_, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
      return false;
    }
    port_ = ntohs(addr.sin_port);
    return true;
  }

  std::string url(const std::string& path) const { return "http://127.0.0.1:" + std::to_string(port_) + path; }

  // Reads requests until one whose text holds every word of `wanted` has
  // arrived, or timeoutMs has passed.
  bool waitFor(const std::vector<std::string>& wanted, int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    std::vector<bool> seen(wanted.size(), false);
    auto allSeen = [&] {
      for (bool s : seen)
        if (!s) return false;
      return true;
    };
    while (!allSeen()) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0) return false;
      std::vector<pollfd> fds{{fd_, POLLIN, 0}};
      for (const auto& c : connections_) fds.push_back({c.fd, POLLIN, 0});
      if (poll(fds.data(), fds.size(), static_cast<int>(left.count())) <= 0) continue;
      if (fds[0].revents & POLLIN) {
        const int c = accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (c >= 0) connections_.push_back({c, {}});
      }
      for (size_t i = 1; i < fds.size(); ++i) {
        if (!(fds[i].revents & (POLLIN | POLLHUP))) continue;
        char buffer[4096];
        const ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
        if (n <= 0) continue;
        auto& text = connections_[i - 1].text;
        text.append(buffer, static_cast<size_t>(n));
        for (size_t w = 0; w < wanted.size(); ++w)
          if (text.find(wanted[w]) != std::string::npos) seen[w] = true;
      }
    }
    return true;
  }

 private:
  struct Connection {
    int fd;
    std::string text;
  };
  int fd_ = -1;
  uint16_t port_ = 0;
  std::vector<Connection> connections_;
};

class InitDelegate : public QBInitializationDelegate {
 public:
  void initializationDidComplete() override {
    done.store(true);
    platform::mainQueue()->async([] {});  // wakes the main loop
  }
  std::atomic<bool> done{false};
};

class RewardedVideoDelegate : public QBRewardedVideoDelegate {
 public:
  void rewardedVideoHasChangedAvailability(bool) override {}
  void didReceiveRewardForPlacement(const QBPlacementInfo&) override {}
  void rewardedVideoDidFailToShowWithError(const QBError&) override {}
  void rewardedVideoDidOpen() override {}
  void rewardedVideoDidClose() override {}
  void rewardedVideoDidStart() override {}
  void rewardedVideoDidEnd() override {}
  void didClickRewardedVideo(const QBPlacementInfo&) override {}
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3 || std::string(argv[1]) != "--data-root") return fail("usage: qb_exit_host --data-root DIR");
  platform::setDataRoot(argv[2]);
  platform::setAppInfo(platform::Json{{"CFBundleIdentifier", "com.example.exithost"},
                                      {"CFBundleShortVersionString", "1.0.0"}});

  SilentListener silent;
  if (!silent.start()) return fail("the silent listener could not start");
  qbtest::SandboxServer sandbox;
  if (!sandbox.start()) return fail("the sandbox could not start");
  qbtest::SandboxConfigEndpoint config(sandbox);
  platform::Json configuration = config.configuration();
  auto& application = configuration["configurations"]["application"];
  application["auction"]["auctioneerURL"] = silent.url("/auction");
  application["auction"]["minTimeBeforeFirstRvAuctionMs"] = 0;
  // Every event starts an upload, which the silent listener never answers.
  for (const char* engine : {"events", "InterstitialEvents", "pixelEvents"}) {
    application["events"][engine]["serverEventsURL"] = silent.url("/events");
    application["events"][engine]["maxNumberOfEvents"] = 1;
  }
  config.setConfiguration(std::move(configuration));

  auto initDelegate = std::make_shared<InitDelegate>();
  auto rewardedVideoDelegate = std::make_shared<RewardedVideoDelegate>();
  Quillborne::setRewardedVideoDelegate(rewardedVideoDelegate);
  Quillborne::setInitEndpointForTesting(sandbox.baseUrl());
  Quillborne::initWithAppKey("exitHostKey1", initDelegate);
  if (!platform::runMainUntil([&] { return initDelegate->done.load(); }, 20'000)) {
    return fail("start-up did not complete");
  }
  Quillborne::loadInterstitial();
  if (!silent.waitFor({"POST /auction", "POST /events"}, 20'000)) {
    return fail("no auction request and event upload reached the silent listener");
  }
  // Work posted to the main queue meanwhile stays there: a host that stops
  // pumping its main loop and returns is exactly the case under test.
  return 0;
}
