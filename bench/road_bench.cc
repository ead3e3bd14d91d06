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
//   network_us    each road's auction request replayed with a bare curl easy
//                 handle to the same endpoint (the sandbox does the same
//                 server work), in a loop of its own after the roads, so that
//                 no work the roads left behind runs beside it: the network
//                 and server time alone;
//   overhead_us   road wall time - network_us, the library's own time;
//   ratio         road wall time / network_us;
//   cpu_us, csw   CPU time of the whole process (every thread, the in-process
//                 sandbox's included) and its context switches (voluntary and
//                 not; csw_invol the involuntary ones), per road; replay_cpu_us
//                 and replay_csw the same for the replay loop;
//                 cpu_ratio = cpu_us / replay_cpu_us; sandbox_cpu_us the
//                 in-process sandbox's share of cpu_us, client_cpu_us the
//                 rest (the library's threads and the benchmark's) and
//                 replay_client_cpu_us the same for the replay loop;
//                 workers_cpu_us and io_cpu_us the dispatch pool's and the
//                 URL session's I/O thread's shares of client_cpu_us;
//   hops_us       each road's auction request sent again along the road's
//                 thread hops with none of the library's work (main thread ->
//                 a serial queue -> the URL session -> that queue -> main
//                 queue -> a global queue -> main queue), in a loop of its
//                 own after the replay loop; hops_ratio = hops_us /
//                 network_us, the least ratio a road with those hops can
//                 reach here (the Tulvo road's hops; for the own network's
//                 road the same loop, for comparison);
//   stalls        roads that took more than kStallMs;
// (QB_BENCH_EVENTS=off in the environment configures the events engines off.)
//   uploads       event uploads the sandbox received, per road (the events
//                 engines upload beside the road, as their configuration says).
// Argument: the size of the waterfall the auction answers (the configuration
// holds 100 rewarded-video instances for every size).
//
// The same road with the own network filling (its controller page, served by
// the sandbox, runs in the headless web view and answers the load), and both
// roads in one loop so that a changing machine load weighs on both alike.
#include <benchmark/benchmark.h>
#include <curl/curl.h>
#include <malloc.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/QBLoggerManager.h"
#include "process_usage.h"
#include "platform/dispatch.h"
#include "platform/net.h"
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
    // QB_BENCH_EVENTS=off: the events engines configured off, to time the
    // road without the uploads that run beside it.
    if (const char* events = std::getenv("QB_BENCH_EVENTS"); events && std::string(events) == "off") {
      for (auto& [name, section] : configuration["configurations"]["application"]["events"].items()) {
        section["enabled"] = false;
      }
    }
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
    // Start-up goes on after the SDK reports itself initiated: the own
    // network's controller page still downloads and starts in the web view,
    // tens of milliseconds of script work on a worker. One own-network road
    // waits for the page, so that no measured road shares the machine with it.
    if (ready) {
      fillWith("QuillborneRV1");
      ready = runOnce(30'000);
      setWaterfallSize(1);
    }
  }

  // One road: load until the application hears the load. False on failure.
  bool runOnce(int64_t timeoutMs = 10'000) {
    const int before = listener->loads.load();
    const int failed = listener->failures.load();
    Quillborne::loadRewardedVideo();
    return platform::runMainUntil(
               [&] { return listener->loads.load() > before || listener->failures.load() > failed; }, timeoutMs) &&
           listener->failures.load() == failed;
  }

  // The body and headers of the last auction request, as sent.
  struct SentAuction {
    std::string body;
    std::optional<std::string> contentType, contentEncoding;
  };
  std::optional<SentAuction> lastAuction() {
    auto last = auction->lastRequest();
    if (!last) return std::nullopt;
    return SentAuction{std::move(last->raw.body), last->raw.header("Content-Type"), last->raw.header("Content-Encoding")};
  }

  // An auction request sent again with a bare easy handle; nanoseconds.
  int64_t replay(const SentAuction& sent) {
    curl_slist* headers = nullptr;
    if (sent.contentType) headers = curl_slist_append(headers, ("Content-Type: " + *sent.contentType).c_str());
    if (sent.contentEncoding) {
      headers = curl_slist_append(headers, ("Content-Encoding: " + *sent.contentEncoding).c_str());
    }
    curl_easy_setopt(curl, CURLOPT_URL, auction->url().c_str());
    curl_easy_setopt(curl, CURLOPT_POSTFIELDS, sent.body.data());
    curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE, static_cast<long>(sent.body.size()));
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, discard);
    const auto start = std::chrono::steady_clock::now();
    curl_easy_perform(curl);
    const auto elapsed = std::chrono::steady_clock::now() - start;
    curl_slist_free_all(headers);
    return std::chrono::duration_cast<std::chrono::nanoseconds>(elapsed).count();
  }

  // The road's thread hops alone, with none of the library's work: the main
  // thread hands the same auction request to a serial queue, which sends it
  // through the shared URL session with that queue as its completion queue;
  // the answer's block hands over to the main queue (as the instance's network
  // init answers), the main queue to a global queue (where the Tulvo stand-in
  // answers the load) and that back to the main queue (the application's
  // callback), where the main loop hears it. Nanoseconds, or -1 on failure.
  int64_t hopsOnly(const SentAuction& sent) {
    platform::URLRequest request;
    request.url = auction->url();
    request.method = "POST";
    request.body = sent.body;
    if (sent.contentType) request.headers.emplace_back("Content-Type", *sent.contentType);
    if (sent.contentEncoding) request.headers.emplace_back("Content-Encoding", *sent.contentEncoding);
    request.headers.emplace_back("Accept-Encoding", "identity");  // as the road asks, and the replay
    // Shared with the blocks, which may outlive a call that timed out.
    struct Outcome {
      std::atomic<bool> done{false};
      bool ok = false;
    };
    auto outcome = std::make_shared<Outcome>();
    const auto start = std::chrono::steady_clock::now();
    hopQueue->async([outcome, queue = hopQueue, request = std::move(request)]() mutable {
      platform::URLSession::shared()
          ->dataTask(std::move(request), queue,
                     [outcome](platform::DataTaskResult result) {
                       const bool answered = result.response && result.response->statusCode == 200;
                       platform::mainQueue()->async([outcome, answered] {
                         platform::globalQueue()->async([outcome, answered] {
                           platform::mainQueue()->async([outcome, answered] {
                             outcome->ok = answered;
                             outcome->done = true;
                           });
                         });
                       });
                     })
          ->resume();
    });
    if (!platform::runMainUntil([&] { return outcome->done.load(); }, 10'000) || !outcome->ok) return -1;
    const auto elapsed = std::chrono::steady_clock::now() - start;
    return std::chrono::duration_cast<std::chrono::nanoseconds>(elapsed).count();
  }
  platform::QueueRef hopQueue = platform::createSerialQueue("bench.road-hops");

  // Forgets what the sandbox recorded, so long runs measure the library;
  // gives how many event uploads it had recorded.
  int clearSandboxLogs() {
    int uploads = 0;
    for (const auto& request : server.requests()) uploads += request.path == "/mediation" || request.path == "/pixel";
    server.clearRequests();
    auction->clearRequests();
    return uploads;
  }
};

Road& road() {
  static Road* r = new Road();  // lives to the end of the process, like an application's SDK
  return *r;
}

// CPU time the live threads whose names start with `prefix` have run so
// far, from the scheduler's count per thread (nanoseconds). A thread that
// ended in between takes its time with it: the library's kept threads and
// the sandbox's pool live through a run.
int64_t threadsCpuNs(std::string_view prefix) {
  int64_t total = 0;
  for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
    std::ifstream comm(task.path() / "comm");
    std::string name;
    std::getline(comm, name);
    if (name.rfind(prefix, 0) != 0) continue;
    std::ifstream schedstat(task.path() / "schedstat");
    int64_t ran = 0;
    if (schedstat >> ran) total += ran;
  }
  return total;
}

// The in-process sandbox's threads ("sandbox-*").
int64_t sandboxCpuNs() { return threadsCpuNs("sandbox-"); }

// A road longer than this counts as a stall: a road takes a few
// milliseconds, a main loop that missed its wake-up waits for its deadline.
constexpr int64_t kStallMs = 500;

struct RoadTimes {
  int64_t wallNs = 0, busyNs = 0;
  int stalls = 0;
};

// One timed road; false on failure.
bool timedRoad(Road& r, RoadTimes& times, int64_t timeoutMs = 10'000) {
  const int64_t cpu = threadCpuNs();
  const auto start = std::chrono::steady_clock::now();
  const bool ok = r.runOnce(timeoutMs);
  const auto elapsed = std::chrono::steady_clock::now() - start;
  times.busyNs += threadCpuNs() - cpu;
  const int64_t ns = std::chrono::duration_cast<std::chrono::nanoseconds>(elapsed).count();
  times.wallNs += ns;
  if (ns > kStallMs * 1'000'000) ++times.stalls;
  return ok;
}

double perRoad(int64_t value, double roads, double scale = 1.0) { return static_cast<double>(value) / roads / scale; }

// The benchmark's loop over roads as `r` is set up, then each road's auction
// request replayed in a loop of its own. Counters: see the top of the file.
void measureRoads(benchmark::State& state, Road& r) {
  if (!r.ready || !r.runOnce()) {  // the first road warms connections and caches
    state.SkipWithError("the road did not complete");
    return;
  }
  r.clearSandboxLogs();
  RoadTimes times;
  int uploads = 0;
  std::vector<Road::SentAuction> sent;
  sent.reserve(static_cast<size_t>(state.max_iterations));
  int64_t bookkeepingCpuNs = 0;
  const int64_t sandboxBefore = sandboxCpuNs();
  const int64_t workersBefore = threadsCpuNs("qb-worker"), ioBefore = threadsCpuNs("qb-net-io");
  const auto usageBefore = qbbench::ProcessUsage::now();
  for (auto _ : state) {
    if (!timedRoad(r, times)) {
      state.SkipWithError("a road failed");
      return;
    }
    state.PauseTiming();
    const int64_t cpu = threadCpuNs();
    auto last = r.lastAuction();
    uploads += r.clearSandboxLogs();
    bookkeepingCpuNs += threadCpuNs() - cpu;
    if (!last) {
      state.SkipWithError("no auction request recorded");
      return;
    }
    sent.push_back(std::move(*last));
    state.ResumeTiming();
  }
  auto roadUsage = qbbench::ProcessUsage::now() - usageBefore;
  roadUsage.cpuNs -= bookkeepingCpuNs;
  const int64_t roadSandboxNs = sandboxCpuNs() - sandboxBefore;
  const int64_t workersNs = threadsCpuNs("qb-worker") - workersBefore, ioNs = threadsCpuNs("qb-net-io") - ioBefore;

  const int64_t replaySandboxBefore = sandboxCpuNs();
  const auto replayBefore = qbbench::ProcessUsage::now();
  int64_t networkNs = 0;
  for (const auto& request : sent) networkNs += r.replay(request);
  const auto replayUsage = qbbench::ProcessUsage::now() - replayBefore;
  const int64_t replaySandboxNs = sandboxCpuNs() - replaySandboxBefore;
  r.clearSandboxLogs();
  int64_t hopsNs = 0;
  for (const auto& request : sent) {
    const int64_t ns = r.hopsOnly(request);
    if (ns < 0) {
      state.SkipWithError("a hops-only exchange failed");
      return;
    }
    hopsNs += ns;
    r.clearSandboxLogs();
  }

  const double n = static_cast<double>(state.iterations());
  const int64_t wallNs = times.wallNs;
  state.counters["main_busy_us"] = perRoad(times.busyNs, n, 1000.0);
  state.counters["network_us"] = perRoad(networkNs, n, 1000.0);
  state.counters["overhead_us"] = perRoad(wallNs - networkNs, n, 1000.0);
  state.counters["ratio"] = networkNs > 0 ? static_cast<double>(wallNs) / static_cast<double>(networkNs) : 0.0;
  state.counters["cpu_us"] = perRoad(roadUsage.cpuNs, n, 1000.0);
  state.counters["csw"] = perRoad(roadUsage.voluntarySwitches + roadUsage.involuntarySwitches, n);
  state.counters["csw_invol"] = perRoad(roadUsage.involuntarySwitches, n);
  state.counters["replay_cpu_us"] = perRoad(replayUsage.cpuNs, n, 1000.0);
  state.counters["replay_csw"] = perRoad(replayUsage.voluntarySwitches + replayUsage.involuntarySwitches, n);
  state.counters["cpu_ratio"] =
      replayUsage.cpuNs > 0 ? static_cast<double>(roadUsage.cpuNs) / static_cast<double>(replayUsage.cpuNs) : 0.0;
  state.counters["hops_us"] = perRoad(hopsNs, n, 1000.0);
  state.counters["hops_ratio"] = networkNs > 0 ? static_cast<double>(hopsNs) / static_cast<double>(networkNs) : 0.0;
  state.counters["stalls"] = times.stalls;
  state.counters["uploads"] = uploads / n;
  // The same CPU split: the in-process sandbox's threads, and the rest (the
  // library's threads and the benchmark's, the client side).
  state.counters["sandbox_cpu_us"] = perRoad(roadSandboxNs, n, 1000.0);
  state.counters["client_cpu_us"] = perRoad(roadUsage.cpuNs - roadSandboxNs, n, 1000.0);
  state.counters["replay_client_cpu_us"] = perRoad(replayUsage.cpuNs - replaySandboxNs, n, 1000.0);
  // Two parts of client_cpu_us: the dispatch pool's workers, and the URL
  // session's I/O thread (main_busy_us is the main thread's).
  state.counters["workers_cpu_us"] = perRoad(workersNs, n, 1000.0);
  state.counters["io_cpu_us"] = perRoad(ioNs, n, 1000.0);
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
  r.clearSandboxLogs();
}
BENCHMARK(BM_RoadOwnNetworkBesideTulvo)->UseRealTime()->Unit(benchmark::kMicrosecond)->Iterations(200);


// Main-loop stalls: 10,000 roads, own network and Tulvo filling in turn, each
// waited for by runMainUntil with a 1 s deadline (a loop that misses the
// road's last post sleeps until it). Counter: stalls (roads over kStallMs).
void BM_RoadStalls(benchmark::State& state) {
  auto& r = road();
  if (!r.ready) {
    state.SkipWithError("the road did not complete");
    return;
  }
  RoadTimes times;
  int roads = 0;
  for (auto _ : state) {
    r.fillWith(roads % 2 == 0 ? "QuillborneRV1" : "TulvoRV2");
    timedRoad(r, times, 1'000);
    // A road the deadline cut short still ends before the next one starts.
    platform::runMainUntil([&] { return r.listener->loads.load() + r.listener->failures.load() > roads; }, 10'000);
    ++roads;
    if (roads % 100 == 0) r.clearSandboxLogs();
  }
  state.counters["stalls"] = times.stalls;
  state.counters["failures"] = r.listener->failures.load();
}
BENCHMARK(BM_RoadStalls)->UseRealTime()->Unit(benchmark::kMicrosecond)->Iterations(10'000);

size_t heapInUse() {
  const struct mallinfo2 info = mallinfo2();
  return info.uordblks + info.hblkhd;
}

size_t residentBytes() {
  std::ifstream statm("/proc/self/statm");
  size_t pages = 0, resident = 0;
  statm >> pages >> resident;
  return resident * static_cast<size_t>(sysconf(_SC_PAGESIZE));
}

// Threads alive now, by name: "qb-*" (the library), "tulvo-*" (the Tulvo
// stand-in), "sandbox-*" (the in-process sandbox), the benchmark's own, and
// the rest (the script engine's and curl's).
std::map<std::string, int> threadsByName() {
  std::map<std::string, int> names;
  for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
    std::ifstream comm(task.path() / "comm");
    std::string name;
    std::getline(comm, name);
    ++names[name];
  }
  return names;
}

// Growth over 20,000 roads (argument: 0 the own network fills, 1 Tulvo):
// heap in use (glibc's count) at roads 1,000, 5,000, 10,000 and 20,000, and
// resident size, with the sandbox's logs cleared as it goes; then the threads
// alive, by name.
void BM_RoadGrowth(benchmark::State& state) {
  auto& r = road();
  if (!r.ready) {
    state.SkipWithError("the road did not complete");
    return;
  }
  r.fillWith(state.range(0) == 0 ? "QuillborneRV1" : "TulvoRV2");
  constexpr int kFirst = 1'000, kLast = 20'000;
  std::map<int, size_t> heapAt;
  size_t rssFirst = 0;
  RoadTimes times;
  int roads = 0;
  for (auto _ : state) {
    if (!timedRoad(r, times)) {
      state.SkipWithError("a road failed");
      return;
    }
    ++roads;
    if (roads % 100 == 0) r.clearSandboxLogs();
    if (roads == kFirst || roads == 5'000 || roads == 10'000) heapAt[roads] = heapInUse();
    if (roads == kFirst) rssFirst = residentBytes();
  }
  if (roads != kLast) return;
  const double heapLast = static_cast<double>(heapInUse()), rssLast = static_cast<double>(residentBytes());
  for (const auto& [at, heap] : heapAt) state.counters["heap_" + std::to_string(at) + "_kb"] = static_cast<double>(heap) / 1024.0;
  state.counters["heap_20000_kb"] = heapLast / 1024.0;
  state.counters["heap_per_road_b"] = (heapLast - static_cast<double>(heapAt[kFirst])) / (kLast - kFirst);
  state.counters["rss_per_road_b"] = (rssLast - static_cast<double>(rssFirst)) / (kLast - kFirst);
  state.counters["stalls"] = times.stalls;
  int library = 0, other = 0;
  std::string listed;
  for (const auto& [name, count] : threadsByName()) {
    listed += name + " x" + std::to_string(count) + "; ";
    if (name.rfind("qb-", 0) == 0 || name.rfind("tulvo-", 0) == 0) library += count;
    else if (name.rfind("sandbox-", 0) != 0) other += count;
  }
  state.counters["threads_library"] = library;
  state.counters["threads_other"] = other;
  state.SetLabel(listed);
}
BENCHMARK(BM_RoadGrowth)->ArgName("tulvo")->Arg(0)->Arg(1)->UseRealTime()->Unit(benchmark::kMicrosecond)->Iterations(20'000);

}  // namespace
