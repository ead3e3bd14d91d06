// The controller page's HTTP proxy: one request from the page, through the
// publisher's command table and the proxy to the sandbox and back to the page
// ("sendHttpRequest", "requestStarted", "responseReceived"), beside a bare
// request of the shared URL session to the same path answered on the main
// queue. Test mode (TestEnvironment): the main queue and the page run on the
// benchmark thread, the network on the session's own thread. See
// docs/benchmarks.md.
#include <benchmark/benchmark.h>

#include <atomic>
#include <memory>
#include <optional>
#include <string>

#include "foundation/PMEReachability.h"
#include "ownnetwork/controller/QBNControllerAPIDispatcher.h"
#include "ownnetwork/controller/QBNControllerManager.h"
#include "ownnetwork/interfaces/QBNScriptHandlerFactories.h"
#include "ownnetwork/publisher/PlovermarkAdsPublisher.h"
#include "ownnetwork/web/PMWVWKWebView.h"
#include "platform/net.h"
#include "platform/storage.h"
#include "platform/test_environment.h"
#include "platform/ui.h"
#include "scriptfeatures/QBScriptFeaturesRegistration.h"
#include "support/sandbox_controller.h"
#include "support/temp_dir.h"

namespace {

using platform::Json;

constexpr char kProxiedPath[] = "/bench/proxied";

struct ProxyBench {
  ProxyBench() {
    platform::setDataRoot(dir.path());
    platform::UserDefaults::resetStandardForTesting();
    server.start();
    // Uncompressed, as in the controller benchmarks: the sandbox's compression
    // of text answers costs the server milliseconds.
    server.answer(qbtest::kControllerPagePath, 200, qbtest::controllerPageHtml(),
                  {{"Content-Type", "application/octet-stream"}});
    server.answer(kProxiedPath, 200, "payload a+b%2Fc", {{"Content-Type", "application/octet-stream"}});
    platform::ReachabilitySource::shared().setStatus(platform::kReachabilityViaWiFi);
    PMEReachabilityManager::sharedManager();
    window = std::make_shared<platform::Window>(platform::Rect::make(0, 0, 320, 480));
    window->makeKeyAndVisible();
    QBNScriptHandlerFactories::resetForTesting();
    qb::scriptfeatures::registerWithOwnNetwork();
    PlovermarkAdsPublisher::resetForTesting();
    PlovermarkAdsPublisher::setControllerURL(server.url(qbtest::kControllerPagePath));
    PlovermarkAdsPublisher::setControllerConfig(R"({"applicationKey":"bench","webviewType":"wk"})");
    publisher = PlovermarkAdsPublisher::sharedInstanceWithApplicationKey("bench", "user", Json::object());
    const auto manager = publisher->concreteControllerManager();
    ready = env.runUntil([&] { return manager->controllerState() == QBNControllerState::Ready; });
    env.runUntilIdle();
    // The proxy's final reply, as the line that reaches the page.
    QBNControllerAPIDispatcher::setEvaluationObserverForTesting([this](const std::string& line) {
      if (line.find("responseReceived") != std::string::npos) ++answers;
    });
  }
  ~ProxyBench() {
    QBNControllerAPIDispatcher::setEvaluationObserverForTesting(nullptr);
    publisher.reset();
    PlovermarkAdsPublisher::resetForTesting();
    QBNScriptHandlerFactories::resetForTesting();
    env.runUntilIdle();
    platform::resetUIForTesting();
  }

  platform::TestEnvironment env;
  qbtest::TempDir dir;
  qbtest::SandboxServer server;
  std::shared_ptr<platform::Window> window;
  std::shared_ptr<PlovermarkAdsPublisher> publisher;
  bool ready = false;
  std::atomic<int64_t> answers{0};
};

void BM_ProxiedRequestRoundTrip(benchmark::State& state) {
  ProxyBench bench;
  if (!bench.ready) {
    state.SkipWithError("the page did not come up");
    return;
  }
  const std::string script = "PMA_CORE.proxy({url: '" + bench.server.url(kProxiedPath) + "'})";
  for (auto _ : state) {
    const int64_t before = bench.answers.load();
    bench.publisher->webViewController()->evaluateJavaScript(script);
    if (!bench.env.runUntil([&] { return bench.answers.load() == before + 1; })) {
      state.SkipWithError("the page heard no answer");
      break;
    }
  }
  // The page keeps every reply; start the next run with none.
  bench.publisher->webViewController()->evaluateJavaScript("PMA_CORE.features.replies.length = 0");
  bench.env.runUntilIdle();
}
BENCHMARK(BM_ProxiedRequestRoundTrip)->UseRealTime()->Repetitions(10)->ReportAggregatesOnly(true);

// The same path through the shared session, answered on the main queue.
void BM_ProxiedPathBareSessionRequest(benchmark::State& state) {
  ProxyBench bench;
  platform::URLRequest request;
  request.url = bench.server.url(kProxiedPath);
  for (auto _ : state) {
    std::optional<int> status;
    platform::URLSession::shared()
        ->dataTask(request, platform::mainQueue(),
                   [&status](platform::DataTaskResult r) { status = r.response ? r.response->statusCode : -1; })
        ->resume();
    if (!bench.env.runUntil([&status] { return status.has_value(); }) || *status != 200) {
      state.SkipWithError("no answer");
      break;
    }
  }
}
BENCHMARK(BM_ProxiedPathBareSessionRequest)->UseRealTime()->Repetitions(10)->ReportAggregatesOnly(true);

}  // namespace
