// One HTTP GET round trip to the loopback sandbox: through URLSession (curl
// multi on the session's I/O thread, completion posted to a global queue)
// against a bare curl easy handle reused on the calling thread.
#include <benchmark/benchmark.h>
#include <curl/curl.h>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>

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

void BM_HttpRoundTripURLSession(benchmark::State& state) {
  auto& server = sandbox();
  auto session = std::make_shared<platform::URLSession>();
  platform::URLRequest request;
  request.url = server.url(kPath);

  std::mutex m;
  std::condition_variable cv;
  for (auto _ : state) {
    bool done = false;
    int status = 0;
    session
        ->dataTask(request, nullptr,
                   [&](platform::DataTaskResult r) {
                     std::lock_guard lock(m);
                     status = r.response ? r.response->statusCode : -1;
                     done = true;
                     cv.notify_one();
                   })
        ->resume();
    std::unique_lock lock(m);
    cv.wait(lock, [&] { return done; });
    if (status != 200) {
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
  curl_easy_setopt(easy, CURLOPT_ACCEPT_ENCODING, "");  // as URLSession sends it
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

}  // namespace
