// The own network's web view over the headless platform web view, with real
// pages (tests/ownnetwork/pages).
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "ownnetwork/web/PMWVWebViewFactory.h"
#include "platform/test_environment.h"
#include "platform/web/url.h"

using platform::Json;
using platform::Rect;

namespace {

const std::string kPages = std::string(QB_TESTS_DIR) + "/ownnetwork/pages/";
const std::string kHandler = "plovermarkMainMsgHandler";

std::string pageURL(const std::string& name) { return platform::fileURLFromPath(kPages + name); }

// Records what the web view tells it as lines: "load", "fail <code>",
// "terminate", "should <type> <url>".
struct PlainDelegate : PMWVWebViewDelegate {
  std::vector<std::string> calls;
  std::vector<platform::URLRequest> requests;
  void loadSuccessfully(const std::shared_ptr<PMWVWebViewP>&) override { calls.push_back("load"); }
  void failedToLoadWithError(const platform::Error& e, const std::shared_ptr<PMWVWebViewP>&) override {
    calls.push_back("fail " + std::to_string(e.code));
  }
  void webViewWebContentProcessDidTerminate(const std::shared_ptr<PMWVWebViewP>&) override {
    calls.push_back("terminate");
  }
};

struct DecidingDelegate : PlainDelegate, PMWVWebViewLoadDecision {
  bool answer = true;
  bool shouldLoadRequestForWebview(const std::shared_ptr<PMWVWebViewP>&, const platform::URLRequest& request,
                                   int navigationType) override {
    calls.push_back("should " + std::to_string(navigationType) + " " + request.url);
    requests.push_back(request);
    return answer;
  }
};

using Calls = std::vector<std::string>;

class PMWVWebViewTest : public ::testing::Test {
 protected:
  PMWVWebViewTest() {
    auto browsing = std::make_shared<PMWVBrowsingConfiguration>();
    browsing->setMediaPlaybackAllowsInLine(true);
    browsing->setAllowFileAccessFromFileURLs(true);
    auto connectivity = std::make_shared<PMWVConnectivityConfiguration>();
    connectivity->setMessageHandlerName(kHandler);
    view = PMWVWebViewFactory::defaultWebViewWithFrame(Rect::make(0, 0, 320, 480), connectivity, browsing);
    view->setWebViewDelegate(delegate);
    load("controller.html");
    delegate->calls.clear();
  }

  void load(const std::string& name) {
    view->loadFileRequest(platform::URLRequest{.url = pageURL(name)}, platform::fileURLFromPath(kPages, true));
    env.runUntilIdle();
  }

  void run(const std::string& script) {
    view->evaluateJavaScript(script);
    env.runUntilIdle();
  }

  platform::TestEnvironment env;
  std::shared_ptr<DecidingDelegate> delegate = std::make_shared<DecidingDelegate>();
  std::shared_ptr<PMWVWKWebView> view;
};

TEST_F(PMWVWebViewTest, ScriptMessagesBecomeRequestsForTheDelegate) {
  struct Case {
    std::string body;  // a script expression
    Calls calls;
  };
  const Case cases[] = {
      {"'plovermarkads://initController?stage=ready'", {"should -1 plovermarkads://initController?stage=ready"}},
      {"'not a url {}'", {"should -1 "}},
      {"({url: 'plovermarkads://x'})", {}},
  };
  delegate->answer = false;  // not used for messages
  for (const auto& c : cases) {
    SCOPED_TRACE(c.body);
    delegate->calls.clear();
    delegate->requests.clear();
    run("post(" + c.body + ")");
    EXPECT_EQ(delegate->calls, c.calls);
    for (const auto& r : delegate->requests) EXPECT_EQ(r.mainDocumentURL, "");
  }
  // Messages under another name are not this web view's.
  delegate->calls.clear();
  view->didReceiveScriptMessage(platform::ScriptMessage{"otherHandler", "plovermarkads://x", "", view});
  EXPECT_TRUE(delegate->calls.empty());
}

TEST_F(PMWVWebViewTest, ControllerPageLoadsAndTalks) {
  load("controller.html");
  EXPECT_EQ(delegate->calls,
            (Calls{"should -1 " + pageURL("controller.html"), "should -1 plovermarkads://initController?stage=loaded",
                   "load"}));
  EXPECT_EQ(delegate->requests[0].mainDocumentURL, pageURL("controller.html"));
}

TEST_F(PMWVWebViewTest, NavigationsFollowTheDelegatesDecision) {
  struct Case {
    bool answer;
    std::string script;
    Calls calls;
  };
  const std::string second = pageURL("second.html");
  const Case cases[] = {
      {false, "go('plovermarkads://cmd')", {"should -1 plovermarkads://cmd"}},
      {true, "go('plovermarkads://cmd')", {"should -1 plovermarkads://cmd", "fail -1002"}},
      {false, "follow('link')", {"should 0 " + second}},
      {false, "location.reload()", {"should 3 " + pageURL("controller.html")}},
      {true, "follow('link')", {"should 0 " + second, "load"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.script);
    delegate->answer = c.answer;
    delegate->calls.clear();
    run(c.script);
    EXPECT_EQ(delegate->calls, c.calls);
  }
  delegate->calls.clear();
  view->goBack();
  env.runUntilIdle();
  EXPECT_EQ(delegate->calls, (Calls{"should 2 " + pageURL("controller.html"),
                                    "should -1 plovermarkads://initController?stage=loaded", "load"}));
}

TEST_F(PMWVWebViewTest, DelegateWithoutTheDecisionLetsEverythingLoad) {
  auto plain = std::make_shared<PlainDelegate>();
  view->setWebViewDelegate(plain);
  run("go('plovermarkads://cmd')");
  run("post('plovermarkads://ignored')");
  EXPECT_EQ(plain->calls, (Calls{"fail -1002"}));
  view->terminateWebContentProcess();
  env.runUntilIdle();
  EXPECT_EQ(plain->calls.back(), "terminate");
}

TEST_F(PMWVWebViewTest, PopUpLoadsInTheSameView) {
  run("window.open('second.html')");
  EXPECT_EQ(delegate->calls, (Calls{"should -1 " + pageURL("second.html"), "load"}));
  EXPECT_EQ(view->url(), pageURL("second.html"));
  delegate->calls.clear();
  run("window.open()");
  EXPECT_TRUE(delegate->calls.empty());
}

TEST_F(PMWVWebViewTest, ConvertsNavigationTypes) {
  const std::pair<int, int> cases[] = {{0, 0}, {1, 1}, {2, 2}, {3, 3}, {4, 4}, {5, -1}, {-1, -1}, {-7, -1}};
  for (const auto& [in, out] : cases) EXPECT_EQ(PMWVWKWebView::convertNavigationType(in), out) << in;
}

TEST_F(PMWVWebViewTest, TouchesOnlyInsideTheRespondingFrames) {
  struct Case {
    std::vector<Rect> frames;
    platform::Point point;
    bool inside;
  };
  const Case cases[] = {
      {{}, {10, 10}, true},
      {{}, {330, 10}, false},
      {{Rect::make(0, 0, 50, 50), Rect::make(200, 400, 100, 80)}, {10, 10}, true},
      {{Rect::make(0, 0, 50, 50), Rect::make(200, 400, 100, 80)}, {250, 450}, true},
      {{Rect::make(0, 0, 50, 50), Rect::make(200, 400, 100, 80)}, {100, 100}, false},
  };
  for (const auto& c : cases) {
    view->setRespondingFrames(c.frames);
    EXPECT_EQ(view->pointInside(c.point), c.inside) << c.point.x << "," << c.point.y;
  }
  // A touch outside the frames reaches the view behind.
  auto root = std::make_shared<platform::View>(Rect::make(0, 0, 320, 480));
  auto behind = std::make_shared<platform::View>(Rect::make(0, 0, 320, 480));
  root->addSubview(behind);
  root->addSubview(view);
  EXPECT_EQ(root->hitTest({100, 100}), behind);
  EXPECT_EQ(root->hitTest({10, 10}), view);
}

TEST_F(PMWVWebViewTest, CloseButtonRectangleIsFixedAtCreation) {
  EXPECT_EQ(view->frameForCloseButton(), Rect::make(270, 0, 50, 50));
  view->setFrame(Rect::make(0, 0, 1024, 768));
  EXPECT_EQ(view->frameForCloseButton(), Rect::make(270, 0, 50, 50));
  view->setFrameForCloseButton(Rect::make(974, 0, 50, 50));
  EXPECT_EQ(view->frameForCloseButton(), Rect::make(974, 0, 50, 50));
}

TEST_F(PMWVWebViewTest, FactoryAppliesTheConfigurations) {
  EXPECT_EQ(PMWVWebViewFactory::defaultWebViewWithFrame(Rect{}, nullptr), nullptr);
  const auto& controller = view->configuration();
  EXPECT_TRUE(controller.allowsInlineMediaPlayback);
  EXPECT_EQ(controller.mediaTypesRequiringUserActionForPlayback, platform::MediaTypes::None);
  EXPECT_EQ(controller.preferences->value("allowFileAccessFromFileURLs"), true);
  EXPECT_EQ(controller.userContentController->handlerNames(), std::vector<std::string>{kHandler});
  EXPECT_EQ(view->messageHandlerName(), kHandler);
  EXPECT_EQ(view->webViewClass(), "WKWebView");
  view->allowFileAccessFromFileURLs(false);
  EXPECT_EQ(controller.preferences->value("allowFileAccessFromFileURLs"), false);

  auto browsing = std::make_shared<PMWVBrowsingConfiguration>();
  browsing->setMediaPlaybackRequiresUserAction(true);
  auto secondary = PMWVWebViewFactory::defaultWebViewWithFrame(Rect{}, browsing);
  EXPECT_EQ(secondary->configuration().mediaTypesRequiringUserActionForPlayback, platform::MediaTypes::All);
  EXPECT_EQ(secondary->configuration().preferences->value("allowFileAccessFromFileURLs"), std::nullopt);
  EXPECT_TRUE(secondary->configuration().userContentController->handlerNames().empty());
  EXPECT_EQ(secondary->view(), secondary);
}

TEST_F(PMWVWebViewTest, WebViewWithAMessageHandlerIsFreedWithItsLastReference) {
  // The handler the configuration holds reaches the web view weakly, so the
  // view and its configuration do not keep each other alive.
  std::weak_ptr<PMWVWKWebView> weak = view;
  auto controller = view->configuration().userContentController;
  view.reset();
  EXPECT_TRUE(weak.expired());
  EXPECT_EQ(controller->handlerNames(), std::vector<std::string>{kHandler});
}

TEST_F(PMWVWebViewTest, PageThatCannotBeReadFails) {
  load("missing.html");
  EXPECT_EQ(delegate->calls, (Calls{"should -1 " + pageURL("missing.html"), "fail -1100"}));
}

}  // namespace
