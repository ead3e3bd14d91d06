// One HTTP GET round trip to the loopback sandbox: through URLSession (curl
// multi on the session's I/O thread, completion posted to a global queue)
// against a bare curl easy handle reused on the calling thread.
#include <benchmark/benchmark.h>
#include <curl/curl.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>

#include "platform/dispatch.h"
#include "platform/net.h"
#include "support/sandbox_server.h"

namespace {

constexpr const char* kPath = "/bench/ping";

qbtest::SandboxServer& sandbox() {
  static qbtest::SandboxServer server;
  static const bool started = [] {
    server.answer(kPath, 200, "pong", {{"Content-Type", "application/octet-stream"}});
    return server.start();
  }();
  (void)started;
  return server;
}

size_t appendBody(char* data, size_t size, size_t count, void* userdata) {
  static_cast<std::string*>(userdata)->append(data, size * count);
  return size * count;
}

// One request through the session, its completion on `queue` (null: a global
// queue); waits for the completion and gives its status (-1: no response).
int sessionGet(platform::URLSession& session, const platform::URLRequest& request, const platform::QueueRef& queue) {
  std::mutex m;
  std::condition_variable cv;
  bool done = false;
  int status = 0;
  session
      .dataTask(request, queue,
                [&](platform::DataTaskResult r) {
                  std::lock_guard lock(m);
                  status = r.response ? r.response->statusCode : -1;
                  done = true;
                  cv.notify_one();
                })
      ->resume();
  std::unique_lock lock(m);
  cv.wait(lock, [&] { return done; });
  return status;
}

void BM_HttpRoundTripURLSession(benchmark::State& state) {
  auto& server = sandbox();
  auto session = std::make_shared<platform::URLSession>();
  platform::URLRequest request;
  request.url = server.url(kPath);

  for (auto _ : state) {
    if (sessionGet(*session, request, nullptr) != 200) {
      state.SkipWithError("request failed");
      break;
    }
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_HttpRoundTripURLSession)->UseRealTime();

void BM_HttpRoundTripCurlEasy(benchmark::State& state) {
  auto& server = sandbox();
  const std::string url = server.url(kPath);
  CURL* easy = curl_easy_init();
  std::string body;
  curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
  curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(easy, CURLOPT_ACCEPT_ENCODING, "gzip, deflate");  // as URLSession offers
  curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &appendBody);
  curl_easy_setopt(easy, CURLOPT_WRITEDATA, &body);
  for (auto _ : state) {
    body.clear();
    long status = 0;
    if (curl_easy_perform(easy) != CURLE_OK ||
        curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status) != CURLE_OK || status != 200) {
      state.SkipWithError("request failed");
      break;
    }
    benchmark::DoNotOptimize(body.data());
  }
  curl_easy_cleanup(easy);
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_HttpRoundTripCurlEasy)->UseRealTime();

// Both clients in one loop, one request each per iteration, so a changing
// machine load weighs on both alike. Counters per request: session_us,
// bare_us, overhead_us (their difference) and ratio (session / bare).
void BM_HttpSessionBesideBare(benchmark::State& state) {
  auto& server = sandbox();
  auto session = std::make_shared<platform::URLSession>();
  platform::URLRequest request;
  request.url = server.url(kPath);
  CURL* easy = curl_easy_init();
  std::string body;
  curl_easy_setopt(easy, CURLOPT_URL, request.url.c_str());
  curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(easy, CURLOPT_ACCEPT_ENCODING, "gzip, deflate");
  curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &appendBody);
  curl_easy_setopt(easy, CURLOPT_WRITEDATA, &body);

  int64_t sessionNs = 0, bareNs = 0;
  for (auto _ : state) {
    auto start = std::chrono::steady_clock::now();
    const int status = sessionGet(*session, request, nullptr);
    auto mid = std::chrono::steady_clock::now();
    body.clear();
    long bareStatus = 0;
    const bool bareOk = curl_easy_perform(easy) == CURLE_OK &&
                        curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &bareStatus) == CURLE_OK && bareStatus == 200;
    auto end = std::chrono::steady_clock::now();
    if (status != 200 || !bareOk) {
      state.SkipWithError("request failed");
      break;
    }
    sessionNs += std::chrono::duration_cast<std::chrono::nanoseconds>(mid - start).count();
    bareNs += std::chrono::duration_cast<std::chrono::nanoseconds>(end - mid).count();
  }
  curl_easy_cleanup(easy);
  const double n = static_cast<double>(std::max<int64_t>(state.iterations(), 1));
  state.counters["session_us"] = static_cast<double>(sessionNs) / n / 1000.0;
  state.counters["bare_us"] = static_cast<double>(bareNs) / n / 1000.0;
  state.counters["overhead_us"] = static_cast<double>(sessionNs - bareNs) / n / 1000.0;
  state.counters["ratio"] = bareNs > 0 ? static_cast<double>(sessionNs) / static_cast<double>(bareNs) : 0.0;
}
BENCHMARK(BM_HttpSessionBesideBare)->UseRealTime();

// The cost of one hop from the session's I/O thread to a serial queue: one
// request whose completion runs on a serial queue (posted once from the I/O
// thread, a worker wakes to run it) beside one whose completion is for a
// global queue (run on the I/O thread where the transfer ended), in one loop.
// Counters per request: serial_us, global_us, hop_us (their difference).
void BM_HttpSerialQueueBesideGlobal(benchmark::State& state) {
  auto& server = sandbox();
  auto session = std::make_shared<platform::URLSession>();
  platform::URLRequest request;
  request.url = server.url(kPath);
  const auto serial = platform::createSerialQueue("bench.serial");
  const auto global = platform::globalQueue();

  auto once = [&](const platform::QueueRef& queue) {
    const auto start = std::chrono::steady_clock::now();
    const int status = sessionGet(*session, request, queue);
    const auto elapsed = std::chrono::steady_clock::now() - start;
    return status == 200 ? std::chrono::duration_cast<std::chrono::nanoseconds>(elapsed).count() : int64_t{-1};
  };
  int64_t serialNs = 0, globalNs = 0;
  for (auto _ : state) {
    const int64_t a = once(serial);
    const int64_t b = once(global);
    if (a < 0 || b < 0) {
      state.SkipWithError("request failed");
      break;
    }
    serialNs += a;
    globalNs += b;
  }
  const double n = static_cast<double>(std::max<int64_t>(state.iterations(), 1));
  state.counters["serial_us"] = static_cast<double>(serialNs) / n / 1000.0;
  state.counters["global_us"] = static_cast<double>(globalNs) / n / 1000.0;
  state.counters["hop_us"] = static_cast<double>(serialNs - globalNs) / n / 1000.0;
}
BENCHMARK(BM_HttpSerialQueueBesideGlobal)->UseRealTime();

}  // namespace
