// One auction round trip against the loopback sandbox: through
// QBAuctionHandler (request JSON, gzip, AES under the session key with the
// RSA-wrapped key, POST on the shared URL session, answer decrypted, inflated
// and parsed, completion on the handler's queue) against a bare curl easy
// POST of the same request bytes to the same endpoint on the calling thread.
// The sandbox does the same server work for both.
//
// Argument: 0 plain JSON both ways, 1 encrypted (session key) and gzip both
// ways.
#include <benchmark/benchmark.h>
#include <curl/curl.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "foundation/QBLoggerManager.h"
#include "mediation/QBAuctionDataUtils.h"
#include "mediation/QBAuctionHandler.h"
#include "platform/json.h"
#include "platform/zip.h"
#include "support/sandbox_auction.h"

namespace {

constexpr const char* kPath = "/bench/auction";

struct AuctionSandbox {
  qbtest::SandboxServer server;
  std::unique_ptr<qbtest::SandboxAuction> auction;
};

AuctionSandbox& sandbox() {
  static AuctionSandbox s;
  static const bool started = [] {
    // Failures only on the console, as a configured application has it; the
    // verbose trace would otherwise dominate the figures.
    QBLoggerManager::sharedInstance().setConsoleLevel(QBLogLevelError);
    if (!s.server.start()) return false;
    s.auction = std::make_unique<qbtest::SandboxAuction>(s.server, kPath);
    s.auction->setDefaultAnswer(qbtest::AuctionAnswer::withPayload(
        qbtest::SandboxAuction::waterfallPayload("bench", {"BidderA", "BidderB", "Classic1", "Classic2", "Classic3"})));
    return true;
  }();
  (void)started;
  return s;
}

std::shared_ptr<const QBAuctionSettings> settingsFor(bool secure) {
  return QBAuctionSettings::fromJson(platform::Json{{"auctioneerURL", sandbox().server.url(kPath)},
                                                    {"maxTrials", 1},
                                                    {"timeout", 10'000},
                                                    {"encryptionVersion", secure ? 2 : 0},
                                                    {"compressAuctionRequest", secure},
                                                    {"compressAuctionResponse", secure}});
}

std::shared_ptr<QBAuctionRequestParams> params() {
  auto p = std::make_shared<QBAuctionRequestParams>();
  p->setAdUnit("rewardedVideo");
  p->setBidders(platform::Json{{"BidderA", {{"token", std::string(600, 'a')}}},
                               {"BidderB", {{"token", std::string(600, 'b')}}}});
  p->setNonBidders({"Classic1", "Classic2", "Classic3"});
  p->setAuctionHistory(QBAuctionHistory::initWithWaterfall({"BidderA", "Classic1"}, 5));
  return p;
}

// Runs one auction and waits for its answer; true when it filled the five
// items the sandbox answers.
bool auctionFilled(QBAuctionHandler& handler, const std::shared_ptr<QBAuctionRequestParams>& request) {
  std::mutex m;
  std::condition_variable cv;
  bool done = false, ok = false;
  handler.executeAuctionWithParams(request, [&](std::shared_ptr<QBAuctionResponseParams> r) {
    std::lock_guard lock(m);
    ok = r->isSuccess() && r->waterfall().size() == 5;
    done = true;
    cv.notify_one();
  });
  std::unique_lock lock(m);
  cv.wait(lock, [&] { return done; });
  return ok;
}

void BM_AuctionRoundTripHandler(benchmark::State& state) {
  const bool secure = state.range(0) == 1;
  auto handler = QBAuctionHandler::initWithAuctionSettings(settingsFor(secure), secure, false, "bench-session");
  auto request = params();
  for (auto _ : state) {
    if (!auctionFilled(*handler, request)) {
      state.SkipWithError("auction failed");
      break;
    }
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_AuctionRoundTripHandler)->Arg(0)->Arg(1)->UseRealTime();

size_t appendBody(char* data, size_t size, size_t count, void* userdata) {
  static_cast<std::string*>(userdata)->append(data, size * count);
  return size * count;
}

void BM_AuctionRoundTripCurlEasy(benchmark::State& state) {
  const bool secure = state.range(0) == 1;
  // The exact bytes the handler sends: one auction, then its recorded body.
  {
    auto handler = QBAuctionHandler::initWithAuctionSettings(settingsFor(secure), secure, false, "bench-session");
    std::mutex m;
    std::condition_variable cv;
    bool done = false;
    handler->executeAuctionWithParams(params(), [&](std::shared_ptr<QBAuctionResponseParams>) {
      std::lock_guard lock(m);
      done = true;
      cv.notify_one();
    });
    std::unique_lock lock(m);
    cv.wait(lock, [&] { return done; });
  }
  const auto sent = sandbox().auction->lastRequest();
  if (!sent) {
    state.SkipWithError("no request recorded");
    return;
  }
  const std::string body = sent->raw.body;
  const std::string url = sandbox().server.url(kPath);

  CURL* easy = curl_easy_init();
  curl_slist* headers = curl_slist_append(nullptr, "Content-Type: application/json");
  // The handler's headers: no HTTP-level compression, no 100-continue wait
  // (the session sends none).
  headers = curl_slist_append(headers, "Accept-Encoding: identity");
  headers = curl_slist_append(headers, "Expect:");
  std::string answer;
  curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
  curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headers);
  curl_easy_setopt(easy, CURLOPT_POSTFIELDS, body.data());
  curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE, static_cast<long>(body.size()));
  curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &appendBody);
  curl_easy_setopt(easy, CURLOPT_WRITEDATA, &answer);
  for (auto _ : state) {
    answer.clear();
    long status = 0;
    if (curl_easy_perform(easy) != CURLE_OK ||
        curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status) != CURLE_OK || status != 200) {
      state.SkipWithError("request failed");
      break;
    }
  }
  curl_slist_free_all(headers);
  curl_easy_cleanup(easy);
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_AuctionRoundTripCurlEasy)->Arg(0)->Arg(1)->UseRealTime();

// The handler and the bare POST of its last request's bytes, one each per
// iteration, so both see the same machine load. Counters per auction:
// handler_us, bare_us, overhead_us (their difference), ratio.
void BM_AuctionHandlerBesideBare(benchmark::State& state) {
  const bool secure = state.range(0) == 1;
  auto handler = QBAuctionHandler::initWithAuctionSettings(settingsFor(secure), secure, false, "bench-session");
  auto request = params();
  const std::string url = sandbox().server.url(kPath);
  CURL* easy = curl_easy_init();
  curl_slist* headers = curl_slist_append(nullptr, "Content-Type: application/json");
  headers = curl_slist_append(headers, "Accept-Encoding: identity");
  headers = curl_slist_append(headers, "Expect:");
  std::string answer, body;
  curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
  curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headers);
  curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &appendBody);
  curl_easy_setopt(easy, CURLOPT_WRITEDATA, &answer);
  int64_t handlerNs = 0, bareNs = 0;
  for (auto _ : state) {
    auto start = std::chrono::steady_clock::now();
    const bool ok = auctionFilled(*handler, request);
    auto mid = std::chrono::steady_clock::now();
    state.PauseTiming();
    if (auto sent = sandbox().auction->lastRequest()) body = std::move(sent->raw.body);
    curl_easy_setopt(easy, CURLOPT_POSTFIELDS, body.data());
    curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE, static_cast<long>(body.size()));
    answer.clear();
    state.ResumeTiming();
    auto bareStart = std::chrono::steady_clock::now();
    long status = 0;
    const bool bareOk = curl_easy_perform(easy) == CURLE_OK &&
                        curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status) == CURLE_OK && status == 200;
    auto end = std::chrono::steady_clock::now();
    if (!ok || !bareOk) {
      state.SkipWithError("auction failed");
      break;
    }
    handlerNs += std::chrono::duration_cast<std::chrono::nanoseconds>(mid - start).count();
    bareNs += std::chrono::duration_cast<std::chrono::nanoseconds>(end - bareStart).count();
  }
  curl_slist_free_all(headers);
  curl_easy_cleanup(easy);
  const double n = static_cast<double>(std::max<int64_t>(state.iterations(), 1));
  state.counters["handler_us"] = static_cast<double>(handlerNs) / n / 1000.0;
  state.counters["bare_us"] = static_cast<double>(bareNs) / n / 1000.0;
  state.counters["overhead_us"] = static_cast<double>(handlerNs - bareNs) / n / 1000.0;
  state.counters["ratio"] = bareNs > 0 ? static_cast<double>(handlerNs) / static_cast<double>(bareNs) : 0.0;
}
BENCHMARK(BM_AuctionHandlerBesideBare)->Arg(0)->Arg(1)->UseRealTime();

// The client's CPU work of one auction without the network: request JSON,
// body encoding, and decoding and parsing of a server answer.
void BM_AuctionCodec(benchmark::State& state) {
  const bool secure = state.range(0) == 1;
  auto& utils = QBAuctionDataUtils::sharedInstance();
  auto request = params();
  QBAuctionRequestContext context;
  context.sessionId = "bench-session";
  context.isEncryptedResponse = secure;
  context.compressResponse = secure;
  const auto payload =
      qbtest::SandboxAuction::waterfallPayload("bench", {"BidderA", "BidderB", "Classic1", "Classic2", "Classic3"});
  auto probe = utils.encodeAuctionRequest("{}", secure ? 2 : 0, secure);
  const std::string answer = qbtest::SandboxAuction::encodeAnswer(payload, secure, secure, probe.value().answerKey);
  for (auto _ : state) {
    auto encoded = utils.encodeAuctionRequest(utils.buildAuctionRequest(*request, context), secure ? 2 : 0, secure);
    auto decoded = utils.decodeAuctionAnswer(answer, secure, encoded.value().answerKey);
    auto parsed = utils.parseAuctionAnswer(std::move(decoded).value());
    benchmark::DoNotOptimize(parsed);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_AuctionCodec)->Arg(0)->Arg(1);

}  // namespace

namespace {

// The gzip step of the road's auction request at each level (0 zlib's
// default, 1 the fastest, which the library uses): the request JSON of a
// rewarded-video waterfall of 100 non-bidders and the two bidders above.
// Counter: the compressed size in bytes.
void BM_AuctionRequestGzip(benchmark::State& state) {
  auto& utils = QBAuctionDataUtils::sharedInstance();
  auto request = params();
  std::vector<std::string> names;
  for (int i = 0; i < 100; ++i) names.push_back("TulvoRV2x" + std::to_string(i));
  request->setNonBidders(names);
  QBAuctionRequestContext context;
  context.sessionId = "bench-session";
  const std::string json = utils.buildAuctionRequest(*request, context);
  const auto level = state.range(0) == 1 ? platform::CompressionLevel::Fastest : platform::CompressionLevel::Default;
  size_t bytes = 0;
  for (auto _ : state) bytes = platform::gzipCompress(json, level).value().size();
  state.counters["json_bytes"] = static_cast<double>(json.size());
  state.counters["gzip_bytes"] = static_cast<double>(bytes);
}
BENCHMARK(BM_AuctionRequestGzip)->ArgName("fastest")->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

// Reading an auction answer's JSON (the sandbox's waterfall of the argument's
// items, as the auction client reads it after decoding): the text checked and
// copied into the library's JSON value. Counter: the text's size in bytes.
void BM_AuctionAnswerJsonRead(benchmark::State& state) {
  std::vector<std::string> names;
  for (int i = 0; i < state.range(0); ++i) names.push_back("TulvoRV2x" + std::to_string(i));
  const std::string text = platform::dumpJson(qbtest::SandboxAuction::waterfallPayload("bench", names));
  for (auto _ : state) {
    auto json = platform::parseJson(text);
    benchmark::DoNotOptimize(json);
  }
  state.counters["bytes"] = static_cast<double>(text.size());
}
BENCHMARK(BM_AuctionAnswerJsonRead)->ArgName("items")->Arg(1)->Arg(50)->Unit(benchmark::kMicrosecond);

// Reading an object of many members: a configuration's instance settings
// (the argument's instances, each under its own name) or an auction request's
// history, which are objects keyed by instance name.
void BM_WideObjectJsonRead(benchmark::State& state) {
  platform::Json settings = platform::Json::object();
  for (int i = 0; i < state.range(0); ++i) {
    settings["TulvoRV2x" + std::to_string(1000 + i)] = {{"instanceId", std::to_string(3000 + i)},
                                                          {"maxAdsPerSession", 99},
                                                          {"loadTimeOutSec", 30}};
  }
  const std::string text = platform::dumpJson(platform::Json{{"providerSettings", std::move(settings)}});
  for (auto _ : state) {
    auto json = platform::parseJson(text);
    benchmark::DoNotOptimize(json);
  }
  state.counters["bytes"] = static_cast<double>(text.size());
}
BENCHMARK(BM_WideObjectJsonRead)->ArgName("members")->Arg(10)->Arg(100)->Arg(1000)->Unit(benchmark::kMicrosecond);

}  // namespace
