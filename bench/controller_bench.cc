// The own network's controller page against the sandbox: start-up from
// createController to "ready" (download, store, load from the cache, the
// page's two init stages) beside the bare download of the same page, and a
// command's round trip once the page is ready (native -> page -> native
// handler). Test mode (TestEnvironment): the main queue runs on the benchmark
// thread, the network on the session's own thread. See docs/benchmarks.md.
#include <benchmark/benchmark.h>

#include <atomic>
#include <memory>
#include <string>

#include "ownnetwork/controller/QBNControllerManager.h"
#include "ownnetwork/data/QBNDataManager.h"
#include "ownnetwork/interfaces/QBNControllerPublisherP.h"
#include "ownnetwork/services/PMAHelperMethods.h"
#include "ownnetwork/web/PMWVWebViewFactory.h"
#include "platform/storage.h"
#include "platform/test_environment.h"
#include "support/sandbox_controller.h"
#include "support/temp_dir.h"

namespace {

using platform::Json;

// Routes the page's "initController" to the manager and counts its other
// commands, like the publisher's URL channel would hand them on.
class BenchPublisher : public QBNControllerPublisherP {
 public:
  std::weak_ptr<QBNControllerManager> manager;
  std::shared_ptr<PMWVWKWebView> webView;
  int64_t pageCommands = 0;

  void initUninitializedDemandSourcesForType(int64_t, const std::optional<platform::Error>&) override {}
  void initNonDemandSourceProductsAfterInitController(const std::optional<platform::Error>&) override {}
  void notifyAdCloseAll() override {}
  bool handleControllerCallback(const platform::URLRequest& request, int) override {
    const std::string prefix = "plovermarkads://";
    if (request.url.rfind(prefix, 0) != 0) return true;
    const std::string rest = request.url.substr(prefix.size());
    const size_t q = rest.find('?');
    if (rest.compare(0, q, "initController") == 0) {
      if (auto m = manager.lock()) {
        m->handleInitControllerCallBack(
            true, PMAHelperMethods::dictionaryFromQueryStringParameters(q == std::string::npos ? "" : rest.substr(q + 1)),
            std::nullopt);
      }
    } else {
      ++pageCommands;
    }
    return false;
  }
  void handlePlovermarkCallbackWithCommand(const std::string&, const std::string&,
                                           const std::optional<std::string>&) override {}
  void handlePlovermarkCallbackWithCommand(const std::string&, const Json&) override {}
  std::shared_ptr<PMWVWKWebView> webViewController() const override { return webView; }
  Json getSDKInitParams() const override { return Json{{"sessionid", "bench"}}; }
};

struct ControllerBench {
  ControllerBench() {
    platform::setDataRoot(dir.path());
    platform::UserDefaults::resetStandardForTesting();
    server.start();
    // The page's bytes, served without compression: the sandbox compresses
    // text answers, which adds 8 to 15 ms per request on the server's side
    // (not the library's) and would hide everything measured here.
    server.answer(qbtest::kControllerPagePath, 200, qbtest::controllerPageHtml(),
                  {{"Content-Type", "application/octet-stream"}});
    dataManager = QBNDataManager::init();
    auto browsing = std::make_shared<PMWVBrowsingConfiguration>();
    browsing->setAllowFileAccessFromFileURLs(true);
    auto connectivity = std::make_shared<PMWVConnectivityConfiguration>();
    connectivity->setMessageHandlerName("plovermarkMainMsgHandler");
    publisher->webView = PMWVWebViewFactory::defaultWebViewWithFrame(platform::Rect::make(0, 0, 320, 480),
                                                                     connectivity, browsing);
  }
  ~ControllerBench() {
    publisher->webView.reset();
    env.runUntilIdle();
  }

  // A new manager started against the sandbox; true once the page is ready.
  bool startController() {
    manager = QBNControllerManager::create();
    publisher->manager = manager;
    manager->initControllerWithcontrollerURL(server.url(qbtest::kControllerPagePath), 0, dataManager,
                                             R"({"applicationKey":"bench"})", nullptr);
    manager->setPublisher(publisher);
    manager->createController();
    return env.runUntil([this] { return manager->controllerState() == QBNControllerState::Ready; });
  }

  platform::TestEnvironment env;
  qbtest::TempDir dir;
  qbtest::SandboxServer server;
  std::shared_ptr<QBNDataManagerProtocol> dataManager;
  std::shared_ptr<BenchPublisher> publisher = std::make_shared<BenchPublisher>();
  std::shared_ptr<QBNControllerManager> manager;
};

void BM_ControllerStartUp(benchmark::State& state) {
  ControllerBench bench;
  for (auto _ : state) {
    if (!bench.startController()) {
      state.SkipWithError("the page did not come up");
      break;
    }
  }
}
BENCHMARK(BM_ControllerStartUp)->UseRealTime()->Repetitions(10)->ReportAggregatesOnly(true);

// The same page through the same data manager, answered on the main queue:
// only the network part of the start-up.
void BM_ControllerPageDownload(benchmark::State& state) {
  ControllerBench bench;
  for (auto _ : state) {
    bool answered = false;
    platform::URLRequest request;
    request.url = bench.server.url(qbtest::kControllerPagePath);
    request.timeoutSeconds = 5;
    bench.dataManager->sendDataRequest(std::move(request), platform::mainQueue(),
                                       [&answered](platform::DataTaskResult result) { answered = !result.error; });
    if (!bench.env.runUntil([&answered] { return answered; })) {
      state.SkipWithError("no answer");
      break;
    }
  }
}
BENCHMARK(BM_ControllerPageDownload)->UseRealTime()->Repetitions(10)->ReportAggregatesOnly(true);

// A command sent through the manager once the page is ready, answered by the
// page's "echo" and handed to the publisher.
void BM_ControllerCommandRoundTrip(benchmark::State& state) {
  ControllerBench bench;
  if (!bench.startController()) {
    state.SkipWithError("the page did not come up");
    return;
  }
  const Json params = {{"demandSourceName", "bench"}, {"n", 1}};
  for (auto _ : state) {
    const int64_t before = bench.publisher->pageCommands;
    bench.manager->runCommand("echo", params, std::string("echoSuccess"), std::string("echoFail"), false);
    bench.env.runUntilIdle();
    if (bench.publisher->pageCommands != before + 1) {
      state.SkipWithError("the answer did not come back");
      break;
    }
  }
}
BENCHMARK(BM_ControllerCommandRoundTrip)->Repetitions(10)->ReportAggregatesOnly(true);

}  // namespace
