// The test suite's two web views on the test clock, with the project's test
// page served by the sandbox and its scripts really running: the loading
// screen, the data offered and acknowledged, the switch with its one event
// 73, a page that fails to load, and nothing of the timeline after the close.
#include "suite_support.h"

namespace qbtest {
namespace {

using platform::Json;
using Strings = std::vector<std::string>;

size_t countStartingWith(const Strings& lines, const std::string& prefix) {
  size_t n = 0;
  for (const auto& line : lines) n += line.rfind(prefix, 0) == 0;
  return n;
}

class WebViewsTest : public SuiteTest {
 protected:
  bool onScreen(const std::shared_ptr<platform::WebView>& webView) {
    return webView && webView->superview() && webView->superview() == suite_->view();
  }
  std::shared_ptr<QBTestSuiteWebViewWrapper> wrapper() const { return suite_->webViewWrapper(); }

  std::shared_ptr<QBTestSuiteViewController> suite_;
};

TEST_F(WebViewsTest, SetUpShowsTheLoadingScreenWhileTheTestPageLoadsBehindIt) {
  suite_ = presentSuite(pageUrl("ack=never"));
  auto loading = wrapper()->loadingScreenWebView();
  auto page = wrapper()->appWebView();
  ASSERT_TRUE(loading && page);
  EXPECT_TRUE(onScreen(loading));
  EXPECT_FALSE(page->superview());
  // The frame of the suite's view when it loaded (the screen's, before the
  // presentation fitted it to the window).
  EXPECT_EQ(loading->frame(), platform::Screen::main().bounds());
  EXPECT_EQ(page->frame(), platform::Screen::main().bounds());
  EXPECT_FALSE(loading->allowsLinkPreview());
  EXPECT_FALSE(page->allowsLinkPreview());
  EXPECT_EQ(page->url(), pageUrl("ack=never"));
  // The loading screen is written into its blank page: the wordmark and the
  // four dots of the indicator.
  EXPECT_EQ(evaluate(loading, "[document.title, document.querySelectorAll('#loading-indicator .dot').length,"
                              " document.querySelectorAll('svg.logo').length, document.readyState]"),
            Json::parse(R"(["Test suite", 4, 1, "complete"])"));
  EXPECT_TRUE(QBTestSuiteWebViewWrapper::loadingScreenScript().rfind("document.write(atob('", 0) == 0);
  // Only the test page has the bridge.
  EXPECT_TRUE(page->configuration().userContentController->handler("TestSuiteBridge"));
  EXPECT_FALSE(loading->configuration().userContentController->handler("TestSuiteBridge"));
}

TEST_F(WebViewsTest, AnAcknowledgementAtSixTenthsSwitchesAtTheFirstRecheckAfterTwoSeconds) {
  suite_ = presentSuite(pageUrl("ack=100"));
  env.advance(499);
  EXPECT_EQ(countStartingWith(pageLines(), "data "), 0u);
  env.advance(1);  // 0.5 s after the finished navigation
  EXPECT_EQ(pageLines(), (Strings{"data suiteKey 7.3.1"}));
  EXPECT_EQ(pageRecord(suite_)["data"], (Json{{"appKey", "suiteKey"}, {"sdkVersion", "7.3.1"}}));
  env.advance(100);  // 0.6 s: the page acknowledges
  EXPECT_TRUE(wrapper()->dataInjected());
  EXPECT_FALSE(wrapper()->loadingScreenMinimumTimeExceeded());
  env.advance(1400);  // 2.0 s
  EXPECT_TRUE(wrapper()->loadingScreenMinimumTimeExceeded());
  env.advance(99);
  EXPECT_FALSE(onScreen(wrapper()->appWebView()));
  EXPECT_TRUE(onScreen(wrapper()->loadingScreenWebView()));
  env.advance(1);  // 2.1 s: the recheck switches
  EXPECT_TRUE(onScreen(wrapper()->appWebView()));
  EXPECT_FALSE(wrapper()->loadingScreenWebView());
  env.advance(20'000);
  EXPECT_EQ(suiteEventIds(), (std::vector<int64_t>{73}));
  EXPECT_EQ(countStartingWith(pageLines(), "data "), 1u);  // never offered again
}

TEST_F(WebViewsTest, WithoutAnAcknowledgementTheDataIsOfferedAfterEachNavigationAndAtTenAndAHalfSeconds) {
  suite_ = presentSuite(pageUrl("ack=never"));
  env.advance(500);
  EXPECT_EQ(countStartingWith(pageLines(), "data "), 1u);
  // A second navigation of the test page is offered the data again.
  auto page = wrapper()->appWebView();
  page->reload();
  ASSERT_TRUE(env.runUntil([&] { return !page->isLoading(); }));
  env.advance(499);
  EXPECT_EQ(countStartingWith(pageLines(), "data "), 1u);
  env.advance(1);
  EXPECT_EQ(countStartingWith(pageLines(), "data "), 2u);
  env.advance(10'499 - 1000);
  EXPECT_EQ(countStartingWith(pageLines(), "data "), 2u);
  env.advance(1);  // 10.5 s after set-up
  EXPECT_EQ(countStartingWith(pageLines(), "data "), 3u);
  env.advance(60'000);
  EXPECT_EQ(countStartingWith(pageLines(), "data "), 3u);
  EXPECT_TRUE(onScreen(wrapper()->loadingScreenWebView()));
  EXPECT_FALSE(page->superview());
  EXPECT_EQ(suiteEventIds(), std::vector<int64_t>{});
}

TEST_F(WebViewsTest, ADoubleAcknowledgementSwitchesOnce) {
  suite_ = presentSuite(pageUrl("ack=twice"));
  env.advance(3000);
  EXPECT_EQ(pageRecord(suite_)["acks"], 2);
  EXPECT_TRUE(onScreen(wrapper()->appWebView()));
  // Acknowledged again once the page is on screen: nothing changes.
  evaluate(wrapper()->appWebView(), "TestSuiteJs.send('onDataLoaded')");
  env.advance(20'000);
  EXPECT_TRUE(onScreen(wrapper()->appWebView()));
  EXPECT_EQ(suiteEventIds(), (std::vector<int64_t>{73}));
}

TEST_F(WebViewsTest, ATestPageThatCannotBeReachedSendsEventSeventyFourAndLogsIt) {
  SandboxServer closed;
  ASSERT_TRUE(closed.start());
  const std::string url = closed.url(kTestSuitePagePath);
  closed.stop();  // the port refuses connections now
  suite_ = presentSuite(url);
  ASSERT_TRUE(env.runUntil([&] { return log.contains("got error during TestSuite web controller loading"); }));
  const auto line = log.linesWith("got error during TestSuite web controller loading")[0];
  EXPECT_NE(line.find("INTERNAL: "), std::string::npos) << line;
  EXPECT_NE(line.find("Code=-1004"), std::string::npos) << line;
  env.advance(20'000);
  const auto events = suiteEvents();
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0]["id"], 74);
  EXPECT_EQ(events[0]["errorCode"], 1724);
  EXPECT_NE(events[0]["reason"].get<std::string>().find("Code=-1004"), std::string::npos);
  // The loading screen stays; nothing retries.
  EXPECT_TRUE(onScreen(wrapper()->loadingScreenWebView()));
  EXPECT_EQ(log.countContaining("got error during TestSuite web controller loading"), 1u);
}

// The timers and re-checks outlive a suite that closes early: they find the
// wrapper cleaned up and do nothing (no event 73, no data offered into a web
// view that is gone), and the page's later messages reach nobody.
TEST_F(WebViewsTest, NothingOfTheTimelineRunsAfterTheClose) {
  suite_ = presentSuite(pageUrl("ack=100"));
  env.advance(1000);  // acknowledged at 0.6 s; the switch waits for 2.0 s
  auto held = wrapper();
  auto page = held->appWebView();
  ASSERT_TRUE(held->dataInjected());
  suite_->onClosed();
  env.runUntilIdle();
  EXPECT_TRUE(held->isCleanedUp());
  EXPECT_FALSE(held->appWebView());
  EXPECT_FALSE(held->loadingScreenWebView());
  EXPECT_FALSE(page->superview());
  EXPECT_FALSE(page->configuration().userContentController->handler("TestSuiteBridge"));
  env.advance(30'000);
  EXPECT_EQ(suiteEventIds(), std::vector<int64_t>{});
  EXPECT_TRUE(suite_->view()->subviews().empty());

  // The closed suite's page can no longer reach native code.
  const size_t heard = sdk->lines().size();
  EXPECT_EQ(evaluate(page, "typeof window.webkit.messageHandlers.TestSuiteBridge"), "undefined");
  evaluate(page, "try { TestSuiteJs.send('closeTestSuite') } catch (e) {}");
  env.advance(1000);
  EXPECT_EQ(sdk->lines().size(), heard);
}

}  // namespace
}  // namespace qbtest
