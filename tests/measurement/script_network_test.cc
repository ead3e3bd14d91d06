// The network side of the script context executor against the sandbox:
// downloads and their failure codes, pings, and a native session's
// verification scripts downloaded, injected with their identifier and
// reporting to the sandbox. Ends with the executor in real mode, fed from
// several threads (run under the thread sanitizer too).
#include <algorithm>
#include <map>
#include <thread>

#include "measurement/bridge/OMIDQuilbrnBridge.h"
#include "measurement/executor/OMIDQuilbrnJSExecutorFactory.h"
#include "measurement/executor/OMIDQuilbrnLoadTask.h"
#include "measurement/session/OMIDQuilbrnAdSessionConfiguration.h"
#include "measurement/session/OMIDQuilbrnAdSessionContext.h"
#include "measurement_support.h"
#include "platform/script/processor_budget.h"
#include "support/sanitized_allocator.h"

namespace measurementtest {
namespace {

using platform::Json;
using qbtest::SandboxAnswer;

class ScriptNetworkTest : public MeasurementTest {
 protected:
  ScriptNetworkTest() {
    EXPECT_TRUE(server.start());
    qbtest::addMeasurementScripts(server);
  }
  ~ScriptNetworkTest() override { OMIDQuilbrnLoadTask::setTransportForTesting(nullptr); }

  Json json(OMIDQuilbrnLightJSExecutor& executor, const std::string& expression) {
    Json out;
    executor.dispatchQueue()->sync([&] { out = scriptJson(*executor.jsEnvironment().scriptContext, expression); });
    return out;
  }
  // Pumps until the expression's value has `n` entries (I/O answers come from
  // the session's thread).
  bool waitForEntries(OMIDQuilbrnLightJSExecutor& executor, const std::string& expression, size_t n) {
    return env.runUntil([&] { return json(executor, expression).size() >= n; }, 10'000);
  }

  // A native session's executor with the service script and one
  // verification resource per URL, as a session makes it.
  std::shared_ptr<OMIDQuilbrnAdSessionContext> nativeContext(const std::vector<std::pair<std::string, std::string>>& urlsAndTags,
                                                             const std::optional<std::string>& script) {
    std::vector<std::shared_ptr<OMIDQuilbrnVerificationScriptResource>> resources;
    for (const auto& [url, tag] : urlsAndTags) {
      resources.push_back(OMIDQuilbrnVerificationScriptResource::initWithURL(
          url, "vendor-" + tag, qbtest::verificationParameters(server, tag)));
    }
    return OMIDQuilbrnAdSessionContext::initWithPartner(OMIDQuilbrnPartner::initWithName("Quilbrn", "7"), script,
                                                        resources, std::nullopt, std::nullopt, nullptr);
  }

  qbtest::SandboxServer server;
};

TEST_F(ScriptNetworkTest, DownloadsAnswerTheTextOrAFailureCode) {
  server.answer("/res/text", 200, "var answer = 42; // \xC3\xA9");
  server.answer("/res/empty", 200, "");
  server.answer("/res/binary", 200, std::string("\xFF\xFE\x00", 3));
  server.answer("/res/error-page", 500, "omidNative.pwned = true;");
  qbtest::SandboxServer closed;
  ASSERT_TRUE(closed.start());
  const std::string refused = closed.url("/x.js");
  closed.stop();

  auto executor = OMIDQuilbrnJSExecutorFactory::JSExecutorWithResources({}, "var results = [];");
  env.runUntilIdle();
  auto download = [&](const std::string& url, const std::string& name) {
    executor->injectJavaScriptFromString(
        "omidNative.downloadJavaScriptResource(" + platform::dumpJson(Json(url)) + ", function (text) { results.push(['" +
        name + "', 'ok', text]); }, function (code) { results.push(['" + name + "', 'failed', code]); });");
    env.runUntilIdle();
  };
  download(server.url("/res/text"), "text");
  download(server.url("/res/empty"), "empty");
  download(server.url("/res/binary"), "binary");
  download(server.url("/res/missing"), "404");
  download(server.url("/res/error-page"), "500");
  download(refused, "refused");
  download("not a url", "invalid");
  ASSERT_TRUE(waitForEntries(*executor, "results", 6));
  // Offline is an answer the loopback cannot give: the session's error, injected.
  OMIDQuilbrnLoadTask::setTransportForTesting(
      [](platform::URLRequest, platform::QueueRef queue, platform::DataTaskCompletion completion) {
        queue->async([completion] {
          platform::DataTaskResult offline;
          offline.error = platform::URLError(platform::URLErrorCode::NotConnectedToInternet);
          completion(offline);
        });
      });
  download(server.url("/res/text"), "offline");
  ASSERT_TRUE(waitForEntries(*executor, "results", 7));

  std::map<std::string, Json> byName;
  for (const auto& r : json(*executor, "results")) byName[r[0].get<std::string>()] = r;
  EXPECT_EQ(byName["text"], Json::parse(R"(["text","ok","var answer = 42; // é"])"));
  EXPECT_EQ(byName["empty"], Json::parse(R"(["empty","ok",""])"));
  EXPECT_EQ(byName["binary"], Json::parse(R"(["binary","failed",2])"));
  EXPECT_EQ(byName["404"], Json::parse(R"(["404","failed",1])"));
  EXPECT_EQ(byName["500"], Json::parse(R"(["500","failed",1])"));
  EXPECT_EQ(byName["refused"], Json::parse(R"(["refused","failed",3])"));
  EXPECT_EQ(byName["offline"], Json::parse(R"(["offline","failed",0])"));
  EXPECT_EQ(byName.count("invalid"), 0u);
  EXPECT_EQ(json(*executor, "typeof omidNative.pwned"), "undefined");
}

double frozenProcessorClock() { return 0; }

// A script that downloads a 4 MiB resource again and again and keeps the
// texts: each is made by the host outside the context's entries, and is
// charged to its memory bound (64 MiB here; the engine keeps each text as 8
// MiB of UTF-16) before it is handed over. Past the bound the context is torn
// down, as for memory the script made itself. 8 texts fill the bound, and the
// one that passes it stops the script. A text that takes memory the process
// holds already (freed by what ran before in this process) does not grow it
// and counts for nothing: up to twice as many here. Under a sanitizer's
// allocator, which hands out again memory freed anywhere in the process (the
// address sanitizer's quarantine gives back the host's copies of each text,
// some 36 MiB, late), how much of that there is depends on every test that
// ran before: there the script may keep all its texts, and a tear-down, when
// it comes, is the memory bound's. (The processor clock is frozen, so that the
// budget the answers share stays out of reach.)
TEST_F(ScriptNetworkTest, AScriptKeepingDownloadedTextsIsTornDownAtTheMemoryBound) {
  constexpr size_t kBoundBytes = size_t{64} << 20;
  constexpr size_t most = 16;
  server.answer("/res/big", 200, std::string(size_t{4} << 20, 'x'));
  platform::ScriptContextOptions options;
  options.memoryLimitBytes = kBoundBytes;
  OMIDQuilbrnLightJSExecutor::setScriptContextOptionsForTesting(options);
  platform::setThreadProcessorClockForTesting(&frozenProcessorClock);
  auto executor = OMIDQuilbrnJSExecutorFactory::JSExecutorWithResources({}, "var kept = [];");
  env.runUntilIdle();
  executor->injectJavaScriptFromString("function f() { omidNative.downloadJavaScriptResource(" +
                                       platform::dumpJson(Json(server.url("/res/big"))) +
                                       ", function (t) { kept.push(t); if (kept.length < " + std::to_string(most + 8) +
                                       ") f(); }, function () {}); } f();");
  const auto tornDown = [&] {
    bool out = false;
    executor->dispatchQueue()->sync([&] { out = executor->jsEnvironment().scriptContext->isTornDown(); });
    return out;
  };
  // A bound against a hang, not a measure: each download costs the process
  // some 40 MiB of copies, which a loaded machine under a sanitizer makes in
  // seconds.
  const bool ended =
      env.runUntil([&] { return tornDown() || json(*executor, "kept.length") == Json(most + 8); }, 300'000);
  platform::setThreadProcessorClockForTesting(nullptr);
  OMIDQuilbrnLightJSExecutor::setScriptContextOptionsForTesting(std::nullopt);
  ASSERT_TRUE(ended);
  const size_t tearDowns = log.countContaining("the measurement script context was torn down (the scripts held more "
                                               "than " + std::to_string(kBoundBytes) + " bytes of memory)");
  const size_t downloads = server.requestsTo("/res/big").size();
  if (qbtest::kSanitizedAllocator && !tornDown()) {
    EXPECT_EQ(downloads, most + 8);
    EXPECT_EQ(tearDowns, 0u);
    return;
  }
  EXPECT_TRUE(tornDown());
  EXPECT_EQ(tearDowns, 1u);
  EXPECT_GE(downloads, 7u);
  if (!qbtest::kSanitizedAllocator) {
    EXPECT_LE(downloads, most);
  }
}

// A ping succeeds whatever the status (fire-and-forget); only a transport
// error fails it; a text that is no URL sends nothing and calls nothing.
TEST_F(ScriptNetworkTest, PingsIgnoreTheStatusAndFailOnlyOnTransportErrors) {
  server.answer("/ping/gone", 410, "");
  auto executor = OMIDQuilbrnJSExecutorFactory::JSExecutorWithResources({}, "var pings = [];");
  env.runUntilIdle();
  auto ping = [&](const std::string& url, const std::string& name) {
    executor->injectJavaScriptFromString("omidNative.sendUrl(" + platform::dumpJson(Json(url)) +
                                         ", function () { pings.push('" + name + " sent'); }, function () { pings.push('" +
                                         name + " failed'); });");
    env.runUntilIdle();
  };
  qbtest::SandboxServer closed;
  ASSERT_TRUE(closed.start());
  const std::string refused = closed.url("/never");
  closed.stop();
  ping(refused, "refused");
  ping(server.url(std::string(qbtest::kMeasurementBeaconPath) + "?event=direct"), "beacon");
  ping(server.url("/ping/gone"), "gone");
  ping("a b c", "invalid");
  ASSERT_TRUE(waitForEntries(*executor, "pings", 3));
  env.runUntilIdle();
  Json got = json(*executor, "pings");
  std::sort(got.begin(), got.end());
  EXPECT_EQ(got, Json::parse(R"(["beacon sent","gone sent","refused failed"])"));
  ASSERT_EQ(qbtest::measurementBeacons(server).size(), 1u);
  EXPECT_EQ(qbtest::measurementBeacons(server)[0].event, "direct");
}

// A native session's road: the service script first, the verification
// script from the sandbox with its identifier; while it runs it sees
// omidVerificationProperties, afterwards the identifier is gone; its beacons
// reach the sandbox in order.
TEST_F(ScriptNetworkTest, VerificationScriptRunsWithItsIdentifierAndReportsToTheSandbox) {
  auto context = nativeContext({{server.url(qbtest::kVerificationScriptPath), "a"}}, qbtest::measurementServiceScript());
  ASSERT_TRUE(context);
  auto executor = std::dynamic_pointer_cast<OMIDQuilbrnLightJSExecutor>(OMIDQuilbrnJSExecutorFactory::JSExecutorForContext(*context));
  ASSERT_TRUE(executor);
  auto bridge = OMIDQuilbrnBridge::initWithJSExecutor(executor);
  auto configuration = OMIDQuilbrnAdSessionConfiguration::initWithCreativeType(2, 6, 2, 3, false, nullptr);
  bridge->publishInitWithConfiguration(*configuration);
  bridge->publishStartEventWithAdSessionId("S-1", context->toJSON(), context->resourcesJSON(),
                                           context->injectedResourcesJSON());
  bridge->publishImpressionEvent();
  env.runUntilIdle();
  ASSERT_TRUE(waitForEntries(*executor, "omidService.verifications()", 1));
  bridge->publishErrorWithType(OMIDQuilbrnErrorTypeGeneric, "it's \"late\"\n");
  bridge->publishFinishEvent();
  ASSERT_TRUE(env.runUntil([&] { return qbtest::measurementBeacons(server).size() >= 4; }, 10'000));

  const std::string injectionId = context->injectedResources()[0].first;
  EXPECT_EQ(json(*executor, "omidVerificationRuns"), (Json::array({{{"injectionId", injectionId}, {"service", true}}})));
  EXPECT_EQ(json(*executor, "[typeof omidVerificationProperties, omidVerificationProperties.injectionId === undefined]"),
            Json::parse(R"(["object", true])"));
  const auto beacons = qbtest::measurementBeacons(server);
  std::vector<std::string> events;
  for (size_t i = 0; i < beacons.size(); ++i) {
    EXPECT_EQ(beacons[i].seq, static_cast<int>(i + 1));
    EXPECT_EQ(beacons[i].injectionId, injectionId);
    EXPECT_EQ(beacons[i].tag, "a");
    events.push_back(beacons[i].event);
  }
  EXPECT_EQ(events, (std::vector<std::string>{"sessionStart", "impression", "error", "sessionFinish"}));
  EXPECT_EQ(beacons[0].data["context"]["omidNativeInfo"], (Json{{"partnerName", "Quilbrn"}, {"partnerVersion", "7"}}));
  EXPECT_EQ(beacons[0].data["adSessionId"], "S-1");
  EXPECT_EQ(beacons[0].data["configuration"]["impressionOwner"], "native");
  EXPECT_EQ(beacons[2].data["message"], "it's \"late\"\n");
}

// A downloaded script whose last line is a line comment (no final line
// break) still runs, and its identifier is still removed afterwards.
TEST_F(ScriptNetworkTest, AScriptEndingInALineCommentStillRuns) {
  const std::string trailing = qbtest::verificationScript() + "\n//# sourceMappingURL=verification.js.map";
  server.answer("/measurement/trailing.js", 200, trailing);
  auto context = nativeContext({{server.url("/measurement/trailing.js"), "t"}}, qbtest::measurementServiceScript());
  auto executor = OMIDQuilbrnJSExecutorFactory::JSExecutorWithResources(context->injectedResources(), context->script());
  ASSERT_TRUE(waitForEntries(*executor, "omidService.verifications()", 1));
  EXPECT_EQ(json(*executor, "omidVerificationProperties.injectionId === undefined"), true);
  EXPECT_EQ(OMIDQuilbrnJSNetworkBridge::wrappedVerificationScript("x()", "ID"),
            "(function() { this.omidVerificationProperties = this.omidVerificationProperties || {};"
            "this.omidVerificationProperties.injectionId = 'ID';\nx()\n"
            "delete this.omidVerificationProperties.injectionId; }).call(this);");
}

// The injection identifier goes into the script that wraps a verification
// script as a string literal: one holding quotes, a backslash or line breaks
// reaches the verification script as the same text and never runs as code.
TEST_F(ScriptNetworkTest, AnInjectionIdentifierReachesTheScriptAsData) {
  server.answer("/measurement/reads-id.js", 200,
                "this.seenIds = (this.seenIds || []).concat([omidVerificationProperties.injectionId]);");
  const auto resource = OMIDQuilbrnVerificationScriptResource::initWithURL(server.url("/measurement/reads-id.js"));
  const std::vector<std::string> identifiers = {
      "a';this.injected=1;'",
      "b\\';this.injected=2;//",
      "c\n\r\xE2\x80\xA8\"`${1}'); this.injected = 3; ('",
  };
  OMIDQuilbrnInjectedResources resources;
  for (const auto& identifier : identifiers) resources.emplace_back(identifier, resource);
  auto executor = OMIDQuilbrnJSExecutorFactory::JSExecutorWithResources(resources, "var started = true;");
  ASSERT_TRUE(waitForEntries(*executor, "this.seenIds || []", identifiers.size()));
  EXPECT_EQ(json(*executor, "typeof injected"), "undefined");
  std::vector<std::string> seen;
  for (const auto& id : json(*executor, "seenIds")) seen.push_back(id.get<std::string>());
  std::sort(seen.begin(), seen.end());
  EXPECT_EQ(seen, identifiers);
}

// An error page is never run as a verification script; the failure is
// logged. A native context without a script runs none: the verification
// script runs alone.
TEST_F(ScriptNetworkTest, ErrorPagesAreNotInjectedAndAMissingScriptIsNeverRun) {
  const std::string page = "omidVerificationRuns = ['from the error page'];";
  server.answer("/measurement/missing.js", 404, page);
  server.answer("/measurement/broken.js", 503, page);
  auto context = nativeContext({{server.url("/measurement/missing.js"), "m"},
                                {server.url("/measurement/broken.js"), "b"},
                                {server.url(qbtest::kVerificationScriptPath), "ok"}},
                               std::nullopt);
  ASSERT_TRUE(context);
  auto executor = OMIDQuilbrnJSExecutorFactory::JSExecutorWithResources(context->injectedResources(), context->script());
  ASSERT_TRUE(waitForEntries(*executor, "typeof omidVerificationRuns === 'undefined' ? [] : omidVerificationRuns", 1));
  ASSERT_TRUE(env.runUntil([&] { return log.countContaining("not run: HTTP status") == 2; }, 10'000));
  env.runUntilIdle();
  EXPECT_EQ(json(*executor, "omidVerificationRuns"),
            (Json::array({{{"injectionId", context->injectedResources()[2].first}, {"service", false}}})));
  EXPECT_TRUE(log.contains("/measurement/missing.js not run: HTTP status 404"));
  EXPECT_TRUE(log.contains("/measurement/broken.js not run: HTTP status 503"));
  EXPECT_EQ(json(*executor, "typeof omidBridge"), "undefined");
}

// Real mode: commands published from four threads at once, a verification
// script downloading and its beacons going out, timers firing, all on the
// executor's queue whose blocks move between workers.
TEST(ScriptNetworkRealMode, CommandsFromManyThreadsAllArriveInEachThreadsOrder) {
  OMIDQuilbrnSDK::sharedInstance()->activate();
  qbtest::SandboxServer server;
  ASSERT_TRUE(server.start());
  qbtest::addMeasurementScripts(server);
  auto resource = OMIDQuilbrnVerificationScriptResource::initWithURL(server.url(qbtest::kVerificationScriptPath),
                                                                     "vendor-a", qbtest::verificationParameters(server, "a"));
  auto context = OMIDQuilbrnAdSessionContext::initWithPartner(OMIDQuilbrnPartner::initWithName("Quilbrn", "7"),
                                                              qbtest::measurementServiceScript(), {resource},
                                                              std::nullopt, std::nullopt, nullptr);
  ASSERT_TRUE(context);
  auto executor = std::dynamic_pointer_cast<OMIDQuilbrnLightJSExecutor>(
      OMIDQuilbrnJSExecutorFactory::JSExecutorForContext(*context));
  auto bridge = OMIDQuilbrnBridge::initWithJSExecutor(executor);
  bridge->publishStartEventWithAdSessionId("S-R", context->toJSON(), context->resourcesJSON(),
                                           context->injectedResourcesJSON());
  executor->injectJavaScriptFromString("var ticks = 0; omidNative.setInterval(function () { ticks++; }, 1);");
  constexpr int kThreads = 4, kPerThread = 50;
  std::vector<std::thread> publishers;
  for (int t = 0; t < kThreads; ++t) {
    publishers.emplace_back([&, t] {
      for (int i = 0; i < kPerThread; ++i) {
        bridge->publishMediaEventWithName("t" + std::to_string(t), Json{{"i", i}});
      }
    });
  }
  for (auto& p : publishers) p.join();
  bridge->publishFinishEvent();
  // The script's download, then the beacons one after the other: the start,
  // every media event and the finish.
  constexpr size_t kBeacons = 1 + kThreads * kPerThread + 1;
  ASSERT_TRUE(server.waitForRequests(1 + kBeacons, 20'000));
  Json record;
  executor->dispatchQueue()->sync(
      [&] { record = scriptJson(*executor->jsEnvironment().scriptContext, "omidService.record()"); });
  std::vector<int> next(kThreads, 0);
  for (const auto& entry : record) {
    if (entry["command"] != "publishMediaEvent") continue;
    const int t = std::stoi(entry["args"][0].get<std::string>().substr(1));
    EXPECT_EQ(entry["args"][1]["i"], next[t]++);
  }
  for (int t = 0; t < kThreads; ++t) EXPECT_EQ(next[t], kPerThread);
  const auto beacons = qbtest::measurementBeacons(server);
  ASSERT_EQ(beacons.size(), kBeacons);
  EXPECT_EQ(beacons.front().event, "sessionStart");
  EXPECT_EQ(beacons.back().event, "sessionFinish");
  executor.reset();
  bridge.reset();
  OMIDQuilbrnSDK::sharedInstance()->resetForTesting();
}

}  // namespace
}  // namespace measurementtest
