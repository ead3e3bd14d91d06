// The HTTP proxy's dispatcher with real threads (no TestEnvironment): the
// session's I/O thread finishes the transfers while the host moves the
// application between foreground and background from a thread of its own.
// Every attempt's answer must reach the dispatcher on the main queue, where
// it reads the background time left and keeps its requests: the case the
// thread-sanitizer build watches.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "platform/dispatch.h"
#include "platform/ui/application.h"
#include "scriptfeatures/http/QBControllerAPIRequest.h"
#include "scriptfeatures/http/QBHTTPRequestsDispatcher.h"
#include "support/sandbox_server.h"

namespace httpproxyrealmode {

TEST(HttpProxyRealModeTest, AnswersArriveOnTheMainQueueWhileTheHostMovesTheApplication) {
  constexpr int kRequests = 40;
  platform::Application& app = platform::Application::shared();
  app.resetForTesting();
  qbtest::SandboxServer server;
  ASSERT_TRUE(server.start());
  server.answer("/ok", 200, "ok");
  server.answer("/busy", 503, "");

  const auto dispatcher = QBHTTPRequestsDispatcher::create();
  std::atomic<int> done{0};
  std::atomic<int> offMain{0};
  std::thread host([&] {
    while (done.load() < kRequests) {
      app.enterBackground();
      app.enterForeground();
    }
  });
  platform::mainQueue()->async([&] {
    for (int i = 0; i < kRequests; ++i) {
      const auto request = QBControllerAPIRequest::requestWithUrlString(
          server.url(i % 2 ? "/ok" : "/busy"), "r" + std::to_string(i));
      dispatcher->sendHTTPRequest(*request, true, 0, [&](platform::DataTaskResult) {
        if (!platform::isMainThread()) ++offMain;
        ++done;
      });
    }
  });
  const bool answered = platform::runMainUntil([&] { return done.load() == kRequests; }, 20'000);
  host.join();
  ASSERT_TRUE(answered);
  EXPECT_EQ(offMain.load(), 0);
  EXPECT_EQ(dispatcher->requestCount(), 0u);
  EXPECT_EQ(app.backgroundTaskCount(), 0u);  // ended after the last
  app.resetForTesting();
  platform::runMainUntil([] { return true; }, 0);
}

}  // namespace httpproxyrealmode
