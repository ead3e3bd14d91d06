// navigator.sendBeacon: pages served by a real loopback server send their
// beacons through the URL session; what arrives is compared with what the
// page gave. Test mode pumps the queues on the test thread; the beacons
// themselves travel for real, so waits are on what the server or the web log
// saw, never on time.
#include <gtest/gtest.h>

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/dispatch.h"
#include "platform/net_testing.h"
#include "platform/test_environment.h"
#include "platform/web/web_view.h"
#include "platform_support.h"
#include "support/sandbox_measurement.h"
#include "support/sandbox_server.h"

using namespace platform;
using qbtest::RecordedRequest;
using qbtest::SandboxAnswer;

namespace {

constexpr int64_t kBeaconWaitMs = 20'000;
const char kBeaconPagePath[] = "/b/dir/page.html";

struct BeaconLoads : NavigationDelegate {
  size_t finished = 0;
  size_t failed = 0;
  void didFinishNavigation(WebView&) override { ++finished; }
  void didFailNavigation(WebView&, const Error&) override { ++failed; }
};

// Holds the answers of the server's "/hold/" route until released.
struct AnswerLatch {
  std::mutex m;
  std::condition_variable cv;
  bool open = false;
  void wait() {
    std::unique_lock lock(m);
    cv.wait(lock, [&] { return open; });
  }
  void release() {
    {
      std::lock_guard lock(m);
      open = true;
    }
    cv.notify_all();
  }
};

class WebViewBeaconTest : public ::testing::Test {
 protected:
  explicit WebViewBeaconTest(bool realMode = false) {
    if (!realMode) env.emplace();
    server.answer(kBeaconPagePath, 200, "<p>beacons</p>", {{"Content-Type", "text/html"}});
    server.route("POST", "/b/*", [](const RecordedRequest&) { return SandboxAnswer{204}; });
    server.route("POST", "/hold/*", [this](const RecordedRequest&) {
      hold.wait();
      return SandboxAnswer{204};
    });
    EXPECT_TRUE(server.start());
    view = std::make_shared<WebView>(Rect::make(0, 0, 320, 480), WebViewConfiguration{});
    view->setNavigationDelegate(loads);
  }
  ~WebViewBeaconTest() override {
    hold.release();
    view.reset();
    // Every beacon ends before the next test, its completion included.
    if (env) {
      EXPECT_TRUE(env->runUntil([] { return urlTasksInFlightForTesting() == 0; }, kBeaconWaitMs));
      env->runUntilIdle();
    } else {
      bool drained = false;
      afterWebContentForTesting([&drained] { mainQueue()->async([&drained] { drained = true; }); });
      runMainUntil([&] { return drained; }, kBeaconWaitMs);
    }
    server.stop();
  }

  // Pumps (test mode) or runs the main queue (real mode) until `pred`.
  bool runUntil(const std::function<bool()>& pred) {
    return env ? env->runUntil(pred, kBeaconWaitMs) : runMainUntil(pred, kBeaconWaitMs);
  }

  void loadPage(const std::string& path = kBeaconPagePath) {
    const size_t finished = loads->finished;
    view->loadRequest(URLRequest{.url = server.url(path)});
    ASSERT_TRUE(runUntil([&] { return loads->finished + loads->failed > finished; }));
    ASSERT_EQ(loads->failed, 0u);
  }

  Json value(const std::string& script) {
    std::optional<ScriptEvaluation> out;
    view->evaluateJavaScript(script, [&](const ScriptEvaluation& r) { out = r; });
    EXPECT_TRUE(runUntil([&] { return out.has_value(); })) << script;
    if (!out) return nullptr;
    EXPECT_TRUE(out->ok()) << script << ": " << (out->error ? out->error->message : "");
    return out->value;
  }
  // What navigator.sendBeacon(<args>) answers.
  Json send(const std::string& args) { return value("navigator.sendBeacon(" + args + ")"); }

  size_t loggedCount(const std::string& part) { return log_.count(part); }
  // Waits until `count` web-log lines hold `part` (beacon completions log
  // from the session's threads; a beacon's completion may still log there
  // while the test goes, which the recorder takes).
  bool waitForLog(const std::string& part, size_t count = 1) {
    if (env) return env->runUntil([&] { return loggedCount(part) >= count; }, kBeaconWaitMs);
    return log_.waitFor(part, count, kBeaconWaitMs);
  }

  // Every beacon of the view was answered and gave its bytes back (their
  // answers' lines may be held back past the web view's bound of lines). In
  // real mode the answers post nothing to the main queue: looked at every
  // 10 ms.
  bool noBeaconInFlight() {
    const auto none = [this] { return view->beaconsInFlightForTesting() == 0; };
    if (env) return env->runUntil(none, kBeaconWaitMs);
    for (int64_t waited = 0; !none() && waited < kBeaconWaitMs; waited += 10) runMainUntil(none, 10);
    return none();
  }

  // The beacon to `path` was answered (its bytes are back in the budget).
  bool answered(const std::string& path) { return waitForLog("Beacon to " + server.url(path) + " answered 204"); }

  std::optional<TestEnvironment> env;
  AnswerLatch hold;
  qbtest::SandboxServer server;
  std::shared_ptr<BeaconLoads> loads = std::make_shared<BeaconLoads>();
  std::shared_ptr<WebView> view;  // made once the environment is there

 private:
  platformtest::WebLogRecorder log_;
};

TEST_F(WebViewBeaconTest, BeaconReachesTheServerWithItsBodyAndContentType) {
  loadPage();
  struct Case {
    std::string args;
    std::string path;
    std::string target;               // on the request line
    std::optional<std::string> body;  // none: no body and no Content-Type
  };
  const Case cases[] = {
      {"'/b/text', 'h\\u00e9llo \\u2713'", "/b/text", "/b/text", "h\xc3\xa9llo \xe2\x9c\x93"},
      {"'/b/bare'", "/b/bare", "/b/bare", std::nullopt},
      {"'/b/null', null", "/b/null", "/b/null", std::nullopt},
      {"'/b/undefined', undefined", "/b/undefined", "/b/undefined", std::nullopt},
      {"'/b/number', 42", "/b/number", "/b/number", "42"},
      {"'/b/object', {a: 1}", "/b/object", "/b/object", "[object Object]"},
      {"'/b/empty', ''", "/b/empty", "/b/empty", ""},
      // Relative to the page's URL, query kept, fragment not sent.
      {"'rel?seq=1&event=x#f', 'r'", "/b/dir/rel", "/b/dir/rel?seq=1&event=x", "r"},
      {"'../up'", "/b/up", "/b/up", std::nullopt},
      {"'" + server.url("/b/absolute") + "', 'a'", "/b/absolute", "/b/absolute", "a"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args);
    const size_t before = loggedCount(" answered 204");
    EXPECT_EQ(send(c.args), true);
    ASSERT_TRUE(waitForLog(" answered 204", before + 1));
    const auto got = server.requestsTo(c.path);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].method, "POST");
    EXPECT_EQ(got[0].target, c.target);
    EXPECT_EQ(got[0].body, c.body.value_or(""));
    if (c.body) {
      EXPECT_EQ(got[0].header("Content-Type"), "text/plain;charset=UTF-8");
    } else {
      EXPECT_EQ(got[0].header("Content-Type"), std::nullopt);
    }
  }
}

TEST_F(WebViewBeaconTest, RefusedBeaconsAnswerFalseAndSendNothing) {
  loadPage();
  const std::string big(kMaxBeaconBodyBytes + 1, 'x');
  struct Case {
    std::string args;
    std::string logged;
  };
  const Case cases[] = {
      {"'file:///etc/hostname'", "only http and https URLs are sent"},
      {"'data:text/plain,x', 'body'", "only http and https URLs are sent"},
      {"'javascript:void(0)'", "only http and https URLs are sent"},
      {"'ftp://127.0.0.1/b/x'", "only http and https URLs are sent"},
      {"'http://exa mple.com/b/x'", "not a valid URL"},
      {"'/b/{x}'", "not a valid URL"},
      // One byte over the body's bound, in ASCII and in two-byte characters.
      {"'/b/big', 'x'.repeat(" + std::to_string(kMaxBeaconBodyBytes + 1) + ")", "a body of 65537 bytes"},
      {"'/b/big', '\\u00e9'.repeat(" + std::to_string(kMaxBeaconBodyBytes / 2 + 1) + ")", "a body of 65538 bytes"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args);
    env->advance(1000);  // a refusal within a second of the last one logged is only counted
    const size_t before = loggedCount(c.logged);
    EXPECT_EQ(send(c.args), false);
    EXPECT_EQ(loggedCount(c.logged), before + 1);
  }
  auto thrown = [&] {
    std::optional<ScriptEvaluation> out;
    view->evaluateJavaScript("navigator.sendBeacon()", [&](const ScriptEvaluation& r) { out = r; });
    EXPECT_TRUE(runUntil([&] { return out.has_value(); }));
    return out && out->error ? out->error->message : std::string();
  };
  EXPECT_EQ(thrown(), "TypeError: Not enough arguments");

  // A page with no http URL has nothing to resolve a relative URL against.
  view->loadHTMLString("<p>local</p>", "");
  ASSERT_TRUE(runUntil([&] { return loads->finished == 2; }));
  EXPECT_EQ(send("'/b/relative'"), false);

  // Nothing went out: once every transfer ended, the server saw the page
  // twice and the one beacon sent last.
  loadPage();
  EXPECT_EQ(send("'/b/marker'"), true);
  ASSERT_TRUE(answered("/b/marker"));
  ASSERT_TRUE(env->runUntil([] { return urlTasksInFlightForTesting() == 0; }, kBeaconWaitMs));
  std::vector<std::string> paths;
  for (const auto& r : server.requests()) paths.push_back(r.method + " " + r.path);
  EXPECT_EQ(paths, (std::vector<std::string>{"GET /b/dir/page.html", "GET /b/dir/page.html", "POST /b/marker"}));
}

TEST_F(WebViewBeaconTest, BeaconsInFlightHoldAtMostTheTotalBound) {
  loadPage();
  // 40,000 bytes stay in flight while the server holds the answer.
  EXPECT_EQ(send("'/hold/a', 'x'.repeat(40000)"), true);
  ASSERT_TRUE(server.waitForRequests(2, kBeaconWaitMs));
  EXPECT_EQ(send("'/b/second', 'x'.repeat(30000)"), false);
  EXPECT_EQ(loggedCount("refused: the beacons in flight would pass"), 1u);
  EXPECT_EQ(send("'/b/small', 'x'.repeat(1000)"), true);
  ASSERT_TRUE(answered("/b/small"));

  // The held beacon's bytes come back with its answer.
  hold.release();
  ASSERT_TRUE(answered("/hold/a"));
  EXPECT_EQ(send("'/b/second', 'x'.repeat(30000)"), true);
  ASSERT_TRUE(answered("/b/second"));

  // URL and body count: the largest body for a URL fills the bound exactly.
  const std::string url = server.url("/b/full");
  const size_t largest = kMaxBeaconBytesInFlight - url.size();
  EXPECT_EQ(send("'/b/full', 'x'.repeat(" + std::to_string(largest + 1) + ")"), false);
  EXPECT_EQ(send("'/b/full', 'x'.repeat(" + std::to_string(largest) + ")"), true);
  ASSERT_TRUE(answered("/b/full"));
  const auto got = server.requestsTo("/b/full");
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0].body.size(), largest);
  EXPECT_TRUE(server.requestsTo("/b/second").size() == 1u);
}

TEST_F(WebViewBeaconTest, BeaconsInFlightAreCounted) {
  loadPage();
  const int n = static_cast<int>(kMaxBeaconsInFlight);
  EXPECT_EQ(value("var sent = 0; for (var i = 0; i <= " + std::to_string(n) +
                  "; i++) sent += navigator.sendBeacon('/hold/' + i) ? 1 : 0; sent"),
            n);
  EXPECT_EQ(loggedCount("refused: the beacons in flight would pass"), 1u);
  hold.release();
  ASSERT_TRUE(noBeaconInFlight());
  EXPECT_EQ(server.requestsTo("/hold/" + std::to_string(n)).size(), 0u);
  env->advance(1000);  // the bound lets lines through again
  EXPECT_EQ(send("'/b/after'"), true);
  ASSERT_TRUE(answered("/b/after"));
}

// The session sends on at most maxConnectionsPerHost connections to a host:
// beacons that the server holds fill them, so the last one is still queued
// in the session when the page goes. It goes out once the others are answered.
class BeaconOutlivesItsPageTest : public WebViewBeaconTest, public ::testing::WithParamInterface<bool> {};

TEST_P(BeaconOutlivesItsPageTest, QueuedBeaconStillGoesOut) {
  const bool releaseView = GetParam();
  loadPage();
  const long connections = URLSession::shared()->configuration().maxConnectionsPerHost;
  EXPECT_EQ(value("var all = true; for (var i = 0; i < " + std::to_string(connections) +
                  "; i++) all = navigator.sendBeacon('/hold/' + i) && all;"
                  "navigator.sendBeacon('/b/last', 'bye') && all"),
            true);
  ASSERT_TRUE(server.waitForRequests(1 + static_cast<size_t>(connections), kBeaconWaitMs));
  if (releaseView) {
    view.reset();
    env->runUntilIdle();
  } else {
    view->loadHTMLString("<p>next</p>", "");
    ASSERT_TRUE(runUntil([&] { return loads->finished == 2; }));
    EXPECT_EQ(value("document.body.textContent"), "next");
  }
  EXPECT_TRUE(server.requestsTo("/b/last").empty());
  hold.release();
  ASSERT_TRUE(waitForLog("Beacon to " + server.url("/b/last")));
  ASSERT_TRUE(answered("/b/last"));
  const auto got = server.requestsTo("/b/last");
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0].body, "bye");
}

INSTANTIATE_TEST_SUITE_P(Ways, BeaconOutlivesItsPageTest, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "WebViewReleased" : "PageReplaced"; });

TEST_F(WebViewBeaconTest, RedirectsAreFollowedOverHttpOnly) {
  server.route("POST", "/moved", [](const RecordedRequest&) {
    return SandboxAnswer{307, "", {{"Location", "/b/landed"}}};
  });
  server.route("POST", "/away", [](const RecordedRequest&) {
    return SandboxAnswer{307, "", {{"Location", "file:///etc/hostname"}}};
  });
  loadPage();
  EXPECT_EQ(send("'/moved', 'kept'"), true);
  ASSERT_TRUE(answered("/moved"));
  const auto landed = server.requestsTo("/b/landed");
  ASSERT_EQ(landed.size(), 1u);
  EXPECT_EQ(landed[0].method, "POST");
  EXPECT_EQ(landed[0].body, "kept");
  EXPECT_EQ(send("'/away'"), true);
  ASSERT_TRUE(waitForLog("Beacon to " + server.url("/away") + " not sent"));
}

// The project's measurement service script in a page with no native host
// sends through the beacon call, and the sandbox takes it as a measurement
// beacon.
TEST_F(WebViewBeaconTest, MeasurementServiceScriptSendsThroughTheBeacon) {
  qbtest::addMeasurementScripts(server);
  server.answer("/m/page.html", 200, std::string("<script src='") + qbtest::kMeasurementServicePath + "'></script>",
                {{"Content-Type", "text/html"}});
  loadPage("/m/page.html");
  EXPECT_EQ(value("var outcome = [];"
                  "function report(what) { return function () { outcome.push(what); }; }"
                  "omidService.sendUrl('/measurement/beacon?seq=1&event=impression&injectionId=i&tag=t&data=%7B%7D',"
                  "                    report('sent'), report('failed'));"
                  "omidService.sendUrl('file:///measurement/beacon', report('sent'), report('failed'));"
                  "outcome"),
            Json::parse(R"(["sent", "failed"])"));
  ASSERT_TRUE(waitForLog("Beacon to " + server.url("/measurement/beacon")));
  EXPECT_EQ(loggedCount(" answered 204"), 1u);
  const auto beacons = qbtest::measurementBeacons(server);
  ASSERT_EQ(beacons.size(), 1u);
  EXPECT_EQ(beacons[0].seq, 1);
  EXPECT_EQ(beacons[0].event, "impression");
  EXPECT_EQ(beacons[0].injectionId, "i");
  EXPECT_EQ(beacons[0].tag, "t");
  EXPECT_EQ(beacons[0].data, Json::object());
}

// Real mode: the page's queue adds to the bound on its worker thread while
// the session's threads give back what each answered beacon held.
class WebViewBeaconRealModeTest : public WebViewBeaconTest {
 protected:
  WebViewBeaconRealModeTest() : WebViewBeaconTest(true) {}
};

TEST_F(WebViewBeaconRealModeTest, BeaconsGiveTheirBytesBackFromTheSessionsThreads) {
  loadPage();
  constexpr int kBeacons = 20;
  EXPECT_EQ(value("var sent = 0; for (var i = 0; i < " + std::to_string(kBeacons) +
                  "; i++) sent += navigator.sendBeacon('/b/' + i, 'x'.repeat(3000)) ? 1 : 0; sent"),
            kBeacons);
  ASSERT_TRUE(noBeaconInFlight());
  const size_t largest = kMaxBeaconBytesInFlight - server.url("/b/full").size();
  EXPECT_EQ(send("'/b/full', 'x'.repeat(" + std::to_string(largest) + ")"), true);
  ASSERT_TRUE(noBeaconInFlight());
  EXPECT_EQ(server.requestsTo("/b/full").size(), 1u);
}

}  // namespace
