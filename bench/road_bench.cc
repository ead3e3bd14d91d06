// One rewarded-video load road through the public facade, start-up excluded:
// Quillborne::loadRewardedVideo() until the application's
// rewardedVideoDidLoad, against the loopback sandbox (configuration and
// auction) with the Tulvo stand-in answering at once. The road: admission, the
// bidder-token step, the auction request (JSON, gzip, AES under an RSA-wrapped
// session key, POST, answer decrypted and inflated), the waterfall, the
// instance's network init and load, the state changes, the events, and the
// callback hop to the main queue.
//
// Counters per road:
//   main_busy_us  CPU time of the main thread, which runs only the main queue
//                 here (waiting for work costs no CPU);
//   network_us    the same road's auction request replayed with a bare curl
//                 easy handle to the same endpoint (the sandbox does the same
//                 server work), i.e. the network and server time alone;
//   overhead      (road wall time - network_us) / network_us;
//   overhead_us   road wall time - network_us, the library's own time;
//   ratio         road wall time / network_us.
// Argument: the size of the waterfall the auction answers (the configuration
// holds 100 rewarded-video instances for every size).
//
// The same road with the own network filling (its controller page, served by
// the sandbox, runs in the headless web view and answers the load), and both
// roads in one loop so that a changing machine load weighs on both alike.
#include <benchmark/benchmark.h>
#include <curl/curl.h>
#include <time.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "foundation/QBLoggerManager.h"
#include "platform/dispatch.h"
#include "platform/storage.h"
#include "platform/tulvo/tulvo_control.h"
#include "quillborne/Quillborne.h"
#include "sdk/QuillborneSdk.h"
#include "support/sandbox_auction.h"
#include "platform/ui.h"
#include "support/sandbox_config.h"
#include "support/sandbox_controller.h"
#include "support/sandbox_events.h"
#include "support/sandbox_server.h"

namespace {

class Listener : public QBRewardedVideoManualDelegate {
 public:
  void rewardedVideoHasChangedAvailability(bool) override {}
  void didReceiveRewardForPlacement(const QBPlacementInfo&) override {}
  void rewardedVideoDidFailToShowWithError(const QBError&) override {}
  void rewardedVideoDidOpen() override {}
  void rewardedVideoDidClose() override {}
  void rewardedVideoDidStart() override {}
  void rewardedVideoDidEnd() override {}
  void didClickRewardedVideo(const QBPlacementInfo&) override {}
  void rewardedVideoDidLoad() override { ++loads; }
  void rewardedVideoDidFailToLoadWithError(const QBError&) override { ++failures; }
  std::atomic<int> loads{0};
  std::atomic<int> failures{0};
};

int64_t threadCpuNs() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<int64_t>(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
}

size_t discard(char*, size_t size, size_t count, void*) { return size * count; }

constexpr int kMaxWaterfall = 100;

struct Road {
  qbtest::SandboxServer server;
  std::unique_ptr<qbtest::SandboxConfigEndpoint> config;
  std::unique_ptr<qbtest::SandboxAuction> auction;
  std::shared_ptr<Listener> listener = std::make_shared<Listener>();
  std::shared_ptr<platform::Window> window;
  CURL* curl = nullptr;
  bool ready = false;
  std::vector<std::string> instances{"TulvoRV2"};

  // The auction answers a waterfall of this one instance.
  void fillWith(const std::string& instance) {
    auction->setDefaultAnswer(
        qbtest::AuctionAnswer::withPayload(qbtest::SandboxAuction::waterfallPayload("bench", {instance})));
  }

  // The auction answers a waterfall of the first n instances.
  void setWaterfallSize(int n) {
    auction->setDefaultAnswer(qbtest::AuctionAnswer::withPayload(qbtest::SandboxAuction::waterfallPayload(
        "bench", std::vector<std::string>(instances.begin(), instances.begin() + n))));
  }

  Road() {
    const auto root = std::filesystem::temp_directory_path() / "quillborne-road-bench";
    std::filesystem::remove_all(root);
    std::filesystem::create_directories(root);
    platform::setDataRoot(root.string());
    platform::setAppInfo(platform::Json{{"CFBundleIdentifier", "com.example.roadbench"},
                                        {"CFBundleShortVersionString", "1.0.0"}});
    if (!server.start()) return;
    qbtest::addEventsEndpoint(server);
    qbtest::addControllerPage(server);
    window = std::make_shared<platform::Window>(platform::Rect::make(0, 0, 320, 480));
    window->makeKeyAndVisible();
    config = std::make_unique<qbtest::SandboxConfigEndpoint>(server);
    auto configuration = config->configuration();
    configuration["configurations"]["application"]["auction"]["minTimeBeforeFirstRvAuctionMs"] = 0;
    // kMaxWaterfall rewarded-video instances: TulvoRV2 and copies of it.
    auto& order = configuration["providerOrder"]["rewardedVideo"];
    auto& providers = configuration["providerSettings"];
    for (int i = 1; i < kMaxWaterfall; ++i) {
      const std::string name = "TulvoRV2x" + std::to_string(i);
      auto copy = providers["TulvoRV2"];
      copy["instanceId"] = std::to_string(3000 + i);
      providers[name] = std::move(copy);
      order.push_back(name);
      instances.push_back(name);
    }
    // The own network's waterfall instance too; an auction answer naming it
    // makes the own network fill.
    order.push_back("QuillborneRV1");
    config->setConfiguration(configuration);
    auction = std::make_unique<qbtest::SandboxAuction>(server);
    setWaterfallSize(1);
    auto& tulvo = TulvoSDK::Control::shared();
    tulvo.setDefaultInitAnswer(TulvoSDK::InitAnswer{true, std::nullopt, 0, TulvoSDK::CallbackThread::GlobalQueue});
    TulvoSDK::LoadAnswer load;
    load.delayMs = 0;
    tulvo.setDefaultLoadAnswer(load);

    Quillborne::setRewardedVideoManualDelegate(listener);
    Quillborne::setInitEndpointForTesting(server.baseUrl());
    Quillborne::initWithAppKey("benchAppKey1", std::vector<std::string>{"rewardedvideo"});
    auto sdk = QuillborneSdk::sharedInstance();
    platform::runMainUntil([&] { return sdk->sdkState() == QBSdkState::SDK_INITIATED; }, 30'000);
    // The configuration turns the console on; a configured application logs
    // failures only, and the trace would dominate the figures.
    QBLoggerManager::sharedInstance().setConsoleLevel(QBLogLevelError);
    curl = curl_easy_init();
    ready = sdk->sdkState() == QBSdkState::SDK_INITIATED && curl;
  }

  // One road: load until the application hears the load. False on failure.
  bool runOnce() {
    const int before = listener->loads.load();
    const int failed = listener->failures.load();
    Quillborne::loadRewardedVideo();
    return platform::runMainUntil(
               [&] { return listener->loads.load() > before || listener->failures.load() > failed; }, 10'000) &&
           listener->failures.load() == failed;
  }

  // The last auction request sent again with a bare easy handle; nanoseconds.
  int64_t replayLastAuction() {
    const auto last = auction->lastRequest();
    if (!last) return 0;
    const auto& raw = last->raw;
    curl_slist* headers = nullptr;
    if (auto type = raw.header("Content-Type")) headers = curl_slist_append(headers, ("Content-Type: " + *type).c_str());
    if (auto encoding = raw.header("Content-Encoding")) {
      headers = curl_slist_append(headers, ("Content-Encoding: " + *encoding).c_str());
    }
    curl_easy_setopt(curl, CURLOPT_URL, auction->url().c_str());
    curl_easy_setopt(curl, CURLOPT_POSTFIELDS, raw.body.data());
    curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE, static_cast<long>(raw.body.size()));
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, discard);
    const auto start = std::chrono::steady_clock::now();
    curl_easy_perform(curl);
    const auto elapsed = std::chrono::steady_clock::now() - start;
    curl_slist_free_all(headers);
    return std::chrono::duration_cast<std::chrono::nanoseconds>(elapsed).count();
  }
};

Road& road() {
  static Road* r = new Road();  // lives to the end of the process, like an application's SDK
  return *r;
}

struct RoadTimes {
  int64_t wallNs = 0, busyNs = 0;
};

// One timed road; false on failure.
bool timedRoad(Road& r, RoadTimes& times) {
  const int64_t cpu = threadCpuNs();
  const auto start = std::chrono::steady_clock::now();
  const bool ok = r.runOnce();
  const auto elapsed = std::chrono::steady_clock::now() - start;
  times.busyNs += threadCpuNs() - cpu;
  times.wallNs += std::chrono::duration_cast<std::chrono::nanoseconds>(elapsed).count();
  return ok;
}

// The benchmark's loop over roads as `r` is set up, each beside the replay of
// its auction; counters per road: main_busy_us, network_us, overhead (share of
// the network time), overhead_us and ratio (road / network).
void measureRoads(benchmark::State& state, Road& r) {
  if (!r.ready || !r.runOnce()) {  // the first road warms connections and caches
    state.SkipWithError("the road did not complete");
    return;
  }
  RoadTimes times;
  int64_t networkNs = 0;
  for (auto _ : state) {
    if (!timedRoad(r, times)) {
      state.SkipWithError("a road failed");
      return;
    }
    state.PauseTiming();
    networkNs += r.replayLastAuction();
    state.ResumeTiming();
  }
  const double n = static_cast<double>(state.iterations());
  const int64_t wallNs = times.wallNs;
  state.counters["main_busy_us"] = static_cast<double>(times.busyNs) / n / 1000.0;
  state.counters["network_us"] = static_cast<double>(networkNs) / n / 1000.0;
  state.counters["overhead"] =
      networkNs > 0 ? static_cast<double>(wallNs - networkNs) / static_cast<double>(networkNs) : 0.0;
  state.counters["overhead_us"] = static_cast<double>(wallNs - networkNs) / n / 1000.0;
  state.counters["ratio"] = networkNs > 0 ? static_cast<double>(wallNs) / static_cast<double>(networkNs) : 0.0;
}

void BM_RewardedVideoRoad(benchmark::State& state) {
  auto& r = road();
  if (r.ready) r.setWaterfallSize(static_cast<int>(state.range(0)));
  measureRoads(state, r);
}
BENCHMARK(BM_RewardedVideoRoad)
    ->ArgName("waterfall")
    ->Arg(1)
    ->Arg(10)
    ->Arg(50)
    ->Arg(kMaxWaterfall)
    ->UseRealTime()
    ->Unit(benchmark::kMicrosecond)
    ->Iterations(200);

// The road of a one-instance waterfall with the own network filling.
void BM_RewardedVideoRoadOwnNetwork(benchmark::State& state) {
  auto& r = road();
  if (r.ready) r.fillWith("QuillborneRV1");
  measureRoads(state, r);
}
BENCHMARK(BM_RewardedVideoRoadOwnNetwork)->UseRealTime()->Unit(benchmark::kMicrosecond)->Iterations(200);

// One own-network road and one Tulvo road per iteration.
void BM_RoadOwnNetworkBesideTulvo(benchmark::State& state) {
  auto& r = road();
  if (!r.ready) {
    state.SkipWithError("the road did not complete");
    return;
  }
  for (const char* warm : {"QuillborneRV1", "TulvoRV2"}) {
    r.fillWith(warm);
    if (!r.runOnce()) {
      state.SkipWithError("the road did not complete");
      return;
    }
  }
  RoadTimes own, tulvo;
  for (auto _ : state) {
    r.fillWith("QuillborneRV1");
    const bool ownOk = timedRoad(r, own);
    r.fillWith("TulvoRV2");
    if (!ownOk || !timedRoad(r, tulvo)) {
      state.SkipWithError("a road failed");
      return;
    }
  }
  const double n = static_cast<double>(state.iterations());
  state.counters["own_us"] = static_cast<double>(own.wallNs) / n / 1000.0;
  state.counters["tulvo_us"] = static_cast<double>(tulvo.wallNs) / n / 1000.0;
  state.counters["ratio"] = tulvo.wallNs > 0 ? static_cast<double>(own.wallNs) / static_cast<double>(tulvo.wallNs) : 0.0;
  state.counters["own_main_busy_us"] = static_cast<double>(own.busyNs) / n / 1000.0;
  state.counters["tulvo_main_busy_us"] = static_cast<double>(tulvo.busyNs) / n / 1000.0;
}
BENCHMARK(BM_RoadOwnNetworkBesideTulvo)->UseRealTime()->Unit(benchmark::kMicrosecond)->Iterations(200);

}  // namespace
