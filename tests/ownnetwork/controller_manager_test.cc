// The controller manager end to end: the sandbox serves the project's
// controller page, which runs in a real web view on the test clock.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <map>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "ownnetwork/controller/QBNWebController.h"
#include "ownnetwork/controller_test_support.h"
#include "platform/storage.h"

namespace {

using platform::Json;
using qbtest::ControllerTest;

Json stages(std::initializer_list<Json> list) {
  Json all = Json::array();
  for (const auto& stage : list) all.push_back(stage);
  return Json{{"stages", all}};
}
const Json kLoadedOnly = stages({{{"stage", "loaded"}}});
const Json kSilent = stages({});
const Json kIs1 = {{"demandSourceName", "is1"}};

std::string configWith(const std::string& members) {
  return R"({"applicationKey":"appkey1","webviewType":"wk")" + members + "}";
}
const std::string kHandleTermination = configWith(R"(,"networkConfig":{"handleWebViewTerminated":true})");

class ControllerManagerTest : public ControllerTest {
 protected:
  ControllerManagerTest() {
    setDevice([](platform::DeviceFacts& f) { f.osVersion = "17.0"; });
  }
  std::string cachedPagePath() const {
    return PMADownloadManager().getInstanceCacheFolderUseRoot(true) + "/mobileController/mobileController.html";
  }
};

TEST_F(ControllerManagerTest, PageComesUpAndQueuedCommandsFollowInArrivalOrder) {
  const Json behaviour = stages({{{"stage", "loaded"}}, {{"stage", "ready"}, {"delayMs", 1000}}});
  start(behaviour);
  send("initInterstitial", kIs1);
  EXPECT_EQ(manager->pendingCommandCount(), 1u);
  settle();

  // Downloaded once, cached, loaded from the cache with the page's query.
  EXPECT_EQ(server.requestsTo(qbtest::kControllerPagePath).size(), 1u);
  EXPECT_EQ(platform::readFile(cachedPagePath()).value(), qbtest::controllerPageHtml(behaviour));
  EXPECT_EQ(publisher->webView->url(),
            PMADownloadManager::fileURLWithPath(cachedPagePath(), false) +
                "?SDKVersion=7.3.1&deviceOSVersion=17.0&deviceOs=ios&protocol=http%3A&domain=127.0.0.1&debug=0"
                "&webviewType=wk&sessionid=&controllerConfig=%7B%22applicationKey%22%3A%22appkey1%22%2C%22webviewType"
                "%22%3A%22wk%22%7D");
  EXPECT_EQ(page("PMA_CORE.controllerConfig"), Json::parse(defaultConfig()));
  EXPECT_TRUE(publisher->webView->isHidden());
  ASSERT_FALSE(window->subviews().empty());
  EXPECT_EQ(window->subviews()[0], publisher->webView);

  // "loaded": the first command went; the next waits for "ready".
  EXPECT_EQ(manager->controllerState(), QBNControllerState::Loaded);
  send("loadInterstitial", kIs1);
  env.runUntilIdle();
  EXPECT_EQ(manager->pendingCommandCount(), 1u);
  EXPECT_TRUE(completions.empty());
  env.advance(1000);
  EXPECT_EQ(manager->controllerState(), QBNControllerState::Ready);
  ASSERT_EQ(completions.size(), 1u);
  EXPECT_FALSE(completions[0].has_value());
  EXPECT_FALSE(manager->hasControllerGlobalInitTimer());
  send("showInterstitial", kIs1);  // at once now
  EXPECT_EQ(manager->pendingCommandCount(), 0u);
  env.runUntilIdle();

  const std::string run = "PMA_CORE.SDKController.runFunction(`";
  EXPECT_EQ(lines(), (std::vector<std::string>{
                         run + R"(initInterstitial?parameters={"demandSourceName":"is1"}`, `initInterstitialSuccess`, `initInterstitialFail`))",
                         run + R"(loadInterstitial?parameters={"demandSourceName":"is1"}`, `loadInterstitialSuccess`, `loadInterstitialFail`))",
                         run + R"(showInterstitial?parameters={"demandSourceName":"is1"}`, `showInterstitialSuccess`, `showInterstitialFail`))",
                     }));
  EXPECT_EQ(page("PMA_CORE.received.map(function (r) { return r.name + ' ' + r.success; })"),
            Json::parse(R"(["initInterstitial initInterstitialSuccess","loadInterstitial loadInterstitialSuccess",
                            "showInterstitial showInterstitialSuccess"])"));
  const std::vector<std::string> afterStep = {"init 1 -", "init 0 -", "init 4 -", "init nonDemandSource -"};
  std::vector<std::string> expected = afterStep;
  expected.push_back("page initInterstitialSuccess");
  expected.insert(expected.end(), afterStep.begin(), afterStep.end());
  expected.push_back("page loadInterstitialSuccess");
  expected.push_back("page showInterstitialSuccess");
  EXPECT_EQ(publisher->lines(), expected);
  EXPECT_EQ(publisher->of("page")[0].params, kIs1);
  EXPECT_EQ(publisher->webView->configuration().preferences->value("allowFileAccessFromFileURLs"), false);
}

// Every failure ends with the fallback answering errCode 1007 under the fail
// name: what was queued, and what comes later, at once.
class ControllerFailureTest;
struct FailureCase {
  const char* label;
  std::function<void(ControllerFailureTest&)> arrange;
  Json behaviour;
  std::string config;
  std::function<void(ControllerFailureTest&)> trigger;
  int code;
  std::string message;  // "" when it is the system's text
  size_t requests;
  // The fallback's answers: "loadInterstitialFail" when the page had not
  // taken the queued command, then whatever the trigger sent.
  std::vector<std::string> answered;
};

void PrintTo(const FailureCase& c, std::ostream* os) { *os << c.label; }

class ControllerFailureTest : public ControllerManagerTest, public ::testing::WithParamInterface<FailureCase> {
 public:
  static std::vector<FailureCase> cases();
};

TEST_P(ControllerFailureTest, EndsInTheFallback) {
  const auto& c = GetParam();
  if (c.arrange) c.arrange(*this);
  start(c.behaviour, c.config);
  const std::weak_ptr<QBNController> first = manager->controller();
  const bool startedWeb = !isNative();
  send("loadInterstitial", kIs1);
  settle();
  if (c.trigger) c.trigger(*this);
  env.runUntilIdle();

  ASSERT_TRUE(isNative());
  EXPECT_EQ(manager->controllerState(), QBNControllerState::Ready);
  EXPECT_EQ(server.requestsTo(qbtest::kControllerPagePath).size(), c.requests);
  ASSERT_EQ(completions.size(), 1u);
  ASSERT_TRUE(completions[0].has_value());
  EXPECT_EQ(completions[0]->domain, "PMAErrorDomain");
  EXPECT_EQ(completions[0]->code, c.code);
  if (!c.message.empty()) {
    EXPECT_EQ(completions[0]->message, c.message);
  }
  EXPECT_EQ(completionOnMain, std::vector<bool>{true});

  send("showInterstitial", kIs1);  // answered at once, on this thread
  std::vector<std::string> answered;
  for (const auto& answer : publisher->of("native")) answered.push_back(answer.command);
  auto expected = c.answered;
  expected.push_back("showInterstitialFail");
  EXPECT_EQ(answered, expected);
  EXPECT_EQ(publisher->of("native").back().params,
            (Json{{"demandSourceName", "is1"}, {"errCode", "1007"}, {"errMsg", completions[0]->message}}));
  EXPECT_EQ(manager->pendingCommandCount(), 0u);

  // The replaced web controller is gone, its load timer with it: nothing
  // reports again, not the global timer, not a load timer.
  if (startedWeb) {
    EXPECT_TRUE(first.expired());
  }
  env.advance(kQBNControllerGlobalInitTimeoutMs);
  EXPECT_EQ(completions.size(), 1u);
  EXPECT_EQ(manager->controllerState(), QBNControllerState::Ready);
}

std::vector<FailureCase> ControllerFailureTest::cases() {
  using T = ControllerFailureTest;
  const std::string config = qbtest::defaultControllerConfig();
  return {
    {"no connection: nothing is requested",
     [](T& t) {
       platform::ReachabilitySource::shared().setStatus(platform::kReachabilityNotReachable);
       t.env.runUntilIdle();
     },
     {}, config, nullptr, 1006, "Controller failed initiating, no internet connection", 0, {"loadInterstitialFail"}},
    {"HTTP 404",
     [](T& t) { t.server.inject(qbtest::kControllerPagePath, qbtest::SandboxFault::failing(404)); },
     {}, config, nullptr, 1002, platform::localizedStringForStatusCode(404), 1, {"loadInterstitialFail"}},
    {"the page cannot be stored",
     [](T& t) {
       // A file where the page's folder belongs.
       ASSERT_TRUE(platform::writeFileAtomically(PMADownloadManager().getInstanceCacheFolderUseRoot(true) +
                                                     "/mobileController",
                                                 "x")
                       .ok());
       (void)t;
     },
     {}, config, nullptr, 1002, "", 1, {"loadInterstitialFail"}},
    {"no \"loaded\" within 10 s", nullptr, kSilent, config,
     [](T& t) {
       t.env.advance(kQBNControllerLoadTimeoutMs - 1);
       EXPECT_FALSE(t.isNative());
       t.env.advance(1);
     },
     1003, "Controller failed to load", 1, {"loadInterstitialFail"}},
    {"no \"ready\" within 200 s", nullptr, kLoadedOnly, config,
     [](T& t) {
       t.env.advance(kQBNControllerGlobalInitTimeoutMs - 1);
       EXPECT_EQ(t.manager->controllerState(), QBNControllerState::Loaded);
       t.env.advance(1);
     },
     1004, "Controller failed initiating, timeout", 1, {}},
    {"the page reports \"failed\"", nullptr,
     stages({{{"stage", "loaded"}}, {{"stage", "failed"}, {"errCode", "77"}, {"errMsg", "page-broke"}}}),
     config, nullptr, 77, "page-broke", 1, {}},
    {"unsupported OS version: nothing is requested", nullptr, {}, configWith(R"(,"minOSVersionSupport":"99.0")"),
     nullptr, 0, "OS version 17.0 not supported", 0, {"loadInterstitialFail"}},
    {"web content ends while the page initialises", nullptr, kSilent, kHandleTermination,
     [](T& t) {
       t.env.advance(5000);
       t.publisher->webView->terminateWebContentProcess();
       t.env.runUntilIdle();
       EXPECT_EQ(t.publisher->of("closeAll").size(), 1u);
     },
     0, "WebView Web Content Process Did Terminated.", 1, {"loadInterstitialFail"}},
    {"web content ends, not handled: the global timer decides", nullptr, kLoadedOnly, config,
     [](T& t) {
       t.publisher->webView->terminateWebContentProcess();
       t.env.runUntilIdle();
       EXPECT_EQ(t.manager->controllerState(), QBNControllerState::Loaded);
       EXPECT_TRUE(t.publisher->of("closeAll").empty());
       t.send("initBanner");
       EXPECT_EQ(t.manager->pendingCommandCount(), 1u);
       t.env.advance(kQBNControllerGlobalInitTimeoutMs);
     },
     1004, "Controller failed initiating, timeout", 1, {"initBannerFail"}},
  };
}

INSTANTIATE_TEST_SUITE_P(Failures, ControllerFailureTest, ::testing::ValuesIn(ControllerFailureTest::cases()),
                         [](const auto& info) { return "case" + std::to_string(info.index); });

// Once the fallback takes over, the page that failed runs nothing more: the
// answer its timer would send after the fallback never comes.
TEST_F(ControllerManagerTest, AfterTheFallbackTheFailedPageRunsNothingMore) {
  struct Case {
    const char* label;
    Json behaviour;
    int64_t fallbackAfterMs;  // from the page's load
  };
  const Case cases[] = {
      {"the page reports \"failed\"", stages({{{"stage", "loaded"}}, {{"stage", "failed"}, {"delayMs", 1000}}}), 1000},
      {"no \"loaded\" within 10 s", kSilent, kQBNControllerLoadTimeoutMs},
      {"no \"ready\" within 200 s", kLoadedOnly, kQBNControllerGlobalInitTimeoutMs},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    Json behaviour = c.behaviour;
    behaviour["commands"] = {{"initInterstitial", {{"delayMs", c.fallbackAfterMs + 5000}}}};
    start(behaviour);
    settle();
    // Reaches the page at once; the page answers it later, from a timer.
    send("initInterstitial", Json{{"demandSourceName", "is1"}, {"forceCommand", true}});
    env.runUntilIdle();
    env.advance(c.fallbackAfterMs);
    ASSERT_TRUE(isNative());
    env.advance(10'000);
    EXPECT_TRUE(publisher->of("page").empty()) << ::testing::PrintToString(publisher->lines());
    EXPECT_EQ(page("typeof PMA_CORE"), Json()) << "the page is gone";
    manager.reset();
    publisher->clear();
    completions.clear();
    completionOnMain.clear();
    // The next case starts with a web view that never loaded.
    publisher->webView = makeControllerWebView();
  }
}

// The after-initiation step runs with the failure, so the publisher's
// demand sources hear of it.
TEST_F(ControllerManagerTest, AfterAFailureTheDemandSourcesHearTheError) {
  start(kSilent);
  settle();
  env.advance(kQBNControllerLoadTimeoutMs);
  EXPECT_EQ(publisher->lines(),
            (std::vector<std::string>{"init 1 1003", "init 0 1003", "init 4 1003", "init nonDemandSource 1003"}));
}

// The global timer lives on the main queue, whatever thread creates the
// controller (a pooled one runs no run loop of its own).
TEST_F(ControllerManagerTest, GlobalTimerFiresOnTheMainQueueWhenCreatedElsewhere) {
  addControllerPage(server, kLoadedOnly);
  manager = QBNControllerManager::create();
  publisher->manager = manager;
  manager->initControllerWithcontrollerURL(server.url(qbtest::kControllerPagePath), 0, QBNDataManager::init(),
                                           defaultConfig(), [this](const std::optional<platform::Error>& error) {
                                             completions.push_back(error);
                                             completionOnMain.push_back(platform::mainQueue()->isCurrent());
                                           });
  manager->setPublisher(publisher);
  platform::globalQueue()->async([m = manager] { m->createController(); });
  settle();
  env.advance(kQBNControllerGlobalInitTimeoutMs);
  ASSERT_EQ(completions.size(), 1u);
  EXPECT_EQ(completions[0]->code, 1004);
  EXPECT_EQ(completionOnMain, std::vector<bool>{true});
}

// "forceCommand" true skips the queue in every state. The web controller
// makes its dispatcher on the main queue's next turn: a forced command before
// then goes nowhere (no page is loaded yet that could hear it), one after it
// is evaluated at once.
TEST_F(ControllerManagerTest, ForcedCommandsSkipTheQueue) {
  start(stages({{{"stage", "loaded"}}, {{"stage", "ready"}, {"delayMs", 1000}}}));
  const Json forced = {{"forceCommand", true}};
  send("beforeAnyTurn", forced);  // the web controller was made a moment ago
  send("queued");
  EXPECT_EQ(manager->pendingCommandCount(), 1u);
  settle();
  send("whileLoaded", forced);
  send("queuedAgain");
  EXPECT_EQ(manager->pendingCommandCount(), 1u);
  env.runUntilIdle();
  ASSERT_EQ(lines().size(), 2u);
  EXPECT_NE(lines()[0].find("`queued`"), std::string::npos);
  EXPECT_NE(lines()[1].find("`whileLoaded?"), std::string::npos);
}

// The completion hears how initiation ended once, whatever follows.
struct Sequence {
  const char* label;
  std::vector<std::string> steps;
  std::optional<int> code;  // of the one completion; none for success
};

void PrintTo(const Sequence& s, std::ostream* os) { *os << s.label; }

class ControllerCompletionTest : public ControllerManagerTest, public ::testing::WithParamInterface<Sequence> {
 protected:
  void step(const std::string& what) {
    if (what == "loaded" || what == "ready" || what == "failed") {
      manager->handleInitControllerCallBack(true, Json{{"stage", what}, {"errCode", "9"}}, std::nullopt);
    } else if (what == "terminate") {
      publisher->webView->terminateWebContentProcess();
    } else if (what == "10s") {
      env.advance(kQBNControllerLoadTimeoutMs);
    } else if (what == "200s") {
      env.advance(kQBNControllerGlobalInitTimeoutMs);
    }
    env.runUntilIdle();
  }
};

TEST_P(ControllerCompletionTest, CalledAtMostOnce) {
  start(kSilent, kHandleTermination);
  settle();
  for (const auto& what : GetParam().steps) step(what);
  ASSERT_EQ(completions.size(), 1u);
  EXPECT_EQ(completions[0] ? std::optional<int>(completions[0]->code) : std::nullopt, GetParam().code);
}

const Sequence kSequences[] = {
    {"ready twice", {"loaded", "ready", "ready"}, std::nullopt},
    {"failed after ready", {"ready", "failed"}, std::nullopt},
    {"timers after ready", {"ready", "10s", "200s"}, std::nullopt},
    {"termination after ready", {"ready", "terminate", "200s"}, std::nullopt},
    {"termination, then the timers and a late ready", {"loaded", "terminate", "200s", "ready"}, 0},
    {"load timer, then the page and the global timer", {"10s", "loaded", "ready", "200s"}, 1003},
    {"failed, then ready", {"loaded", "failed", "ready"}, 9},
};

INSTANTIATE_TEST_SUITE_P(Sequences, ControllerCompletionTest, ::testing::ValuesIn(kSequences),
                         [](const auto& info) { return "sequence" + std::to_string(info.index); });

// Commands sent from many threads while the page turns ready all reach it,
// each thread's in its own order.
TEST_F(ControllerManagerTest, NoCommandIsLostWhileThePageTurnsReady) {
  start(stages({{{"stage", "loaded"}}, {{"stage", "ready"}, {"delayMs", 10}}}));
  settle();
  // Queued until "ready", whose flush hands them over one by one.
  constexpr int kQueued = 3;
  for (int i = 0; i < kQueued; ++i) manager->runCommand("n", Json{{"t", "queued"}, {"i", i}}, std::nullopt, std::nullopt, false);
  // Every time: a thread sends while that flush is in the middle of its
  // batch, after the first command went.
  constexpr int kMidFlush = 5;
  bool met = false;
  manager->setHandOverHookForTesting([&] {
    if (met) return;
    met = true;
    std::thread([&] {
      for (int i = 0; i < kMidFlush; ++i) {
        manager->runCommand("n", Json{{"t", "mid-flush"}, {"i", i}}, std::nullopt, std::nullopt, false);
      }
    }).join();
  });
  // And threads that send without end while "ready" arrives.
  constexpr int kThreads = 4;
  constexpr int kPerThread = 150;
  std::atomic<bool> go{false};
  std::vector<std::thread> senders;
  for (int t = 0; t < kThreads; ++t) {
    senders.emplace_back([&, t] {
      while (!go.load()) std::this_thread::yield();
      for (int i = 0; i < kPerThread; ++i) {
        manager->runCommand("n", Json{{"t", t}, {"i", i}}, std::nullopt, std::nullopt, false);
      }
    });
  }
  go = true;
  env.advance(10);  // "ready" arrives while they send
  for (auto& s : senders) s.join();
  env.runUntilIdle();
  manager->setHandOverHookForTesting(nullptr);
  EXPECT_TRUE(met);
  EXPECT_EQ(manager->pendingCommandCount(), 0u);
  const Json received = page("PMA_CORE.received.map(function (r) { return [r.params.t, r.params.i]; })");
  ASSERT_EQ(received.size(), static_cast<size_t>(kQueued + kMidFlush + kThreads * kPerThread));
  // Each sender's commands in its order; what was queued before "ready" first,
  // and what met the flush after the whole batch it interrupted.
  std::map<std::string, int> next;
  size_t lastQueued = 0;
  size_t firstMidFlush = received.size();
  for (size_t at = 0; at < received.size(); ++at) {
    const Json& r = received[at];
    const std::string sender = r[0].is_string() ? r[0].get<std::string>() : std::to_string(r[0].get<int>());
    EXPECT_EQ(r[1].get<int>(), next[sender]++) << sender;
    if (sender == "queued") lastQueued = at;
    if (sender == "mid-flush") firstMidFlush = std::min(firstMidFlush, at);
  }
  EXPECT_LT(lastQueued, firstMidFlush);
  EXPECT_EQ(next["mid-flush"], kMidFlush);
}

// A cache path with a space, and init parameters holding "&" and "=", reach
// the page whole.
TEST_F(ControllerManagerTest, PageAddressEscapesEachValue) {
  platform::setDataRoot(dir.path() + "/with space");
  publisher->initParams = Json{{"sessionid", "s&id=1 2+3%"}};
  start();
  settle();
  EXPECT_EQ(manager->controllerState(), QBNControllerState::Ready);
  EXPECT_EQ(page("PMA_CORE.query.sessionid"), "s&id=1 2+3%");
  EXPECT_EQ(page("PMA_CORE.query.protocol + PMA_CORE.query.domain"), "http:127.0.0.1");
}

TEST_F(ControllerManagerTest, MandatoryConfigurationOfThePage) {
  const std::pair<std::optional<std::string>, std::optional<std::string>> cases[] = {
      {R"({"applicationKey":"k","webviewType":"wk","isSecured":"1","other":2})",
       R"({"applicationKey":"k","webviewType":"wk","isSecured":true})"},
      {R"({"isSecured":false})", R"({"isSecured":false})"},
      {R"({"other":1})", "{}"},
      {"not json", std::nullopt},
      {"[1]", std::nullopt},
      {std::nullopt, std::nullopt},
  };
  for (const auto& [config, mandatory] : cases) {
    platform::Error error;
    EXPECT_EQ(QBNWebController::controllerConfigMandatoryParams(config, &error), mandatory) << config.value_or("none");
  }
}

TEST_F(ControllerManagerTest, ViewportFollowsAWindowWiderThanTheWebView) {
  window->setFrame(platform::Rect::make(0, 0, 640, 480));
  start();
  settle();
  EXPECT_EQ(page("document.querySelector('meta[name=viewport]').getAttribute('content')"),
            "width=320, initial-scale=1.0, user-scalable=1");
}

}  // namespace
