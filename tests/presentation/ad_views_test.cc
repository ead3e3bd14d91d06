// Ad-unit web views driven through "adViewAPI" and "bannerViewAPI", with the
// project's ad page (tests/support/pages/ad_unit.html) running in real web
// views: registry answers, cache-root URLs, the page's messages both ways,
// the off-screen container, links and a terminated page.
#include <gtest/gtest.h>

#include <fstream>

#include "own_presentation_support.h"
#include "platform/ui/application.h"
#include "presentation/QBNAdContainer.h"
#include "presentation/QBNAdUnitWebViewJSInterfaceHandler.h"
#include "presentation/QBNAdViewJSInterfaceHandler.h"
#include "support/sandbox_own_events.h"
#include "support/sandbox_server.h"

using namespace platform;
using owntest::OwnPresentationTest;

namespace {

using presentationtest::Lines;

class AdViewsTest : public OwnPresentationTest {
 protected:
  void load(const std::string& id, const std::string& url, Json extra = Json::object()) {
    extra["adViewId"] = id;
    extra["urlForWebView"] = url;
    handler->invokeAPIWithJSParams(adViewAPI("loadWithUrl", extra));
  }
  void send(const std::string& function, const Json& params) { handler->invokeAPIWithJSParams(adViewAPI(function, params)); }
  // The page's messages that reached the controller page ("containerSendMessage").
  Lines fromPage() const { return publisher->manager->linesOf("containerSendMessage"); }
  std::shared_ptr<WebView> webViewOf(const std::string& id) const {
    auto adView = QBNAdViewsManager::sharedManager().getAdUnitWebViewById(id);
    return adView ? std::dynamic_pointer_cast<WebView>(adView->getViewToPresent()) : nullptr;
  }
  Json evaluate(const std::shared_ptr<WebView>& view, const std::string& script) {
    std::optional<Json> value;
    view->evaluateJavaScript(script, [&](const ScriptEvaluation& e) { value = e.ok() ? e.value : Json("error"); });
    EXPECT_TRUE(env.runUntil([&] { return value.has_value(); }));
    env.runUntilIdle();
    return value.value_or(Json());
  }
  // The replies to the commands ("onOk", "onFail").
  Lines replies() const {
    Lines out;
    for (const auto& call : publisher->manager->calls) {
      if (call.function == "onOk" || call.function == "onFail") out.push_back(call.line());
    }
    return out;
  }

  std::shared_ptr<QBNAdUnitWebViewJSInterfaceHandler> handler = QBNAdUnitWebViewJSInterfaceHandler::create(publisher);
};

const char kAdReady[] = R"(containerSendMessage {"method":"adReady"})";

TEST_F(AdViewsTest, EverySubCommandAnswersWithItsText) {
  load("a1", "./ads/ad_unit.html");
  env.runUntilIdle();
  const struct {
    const char* function;
    Json params;
    std::string reply;
  } cases[] = {
      {"loadWithUrl", {{"urlForWebView", "./ads/ad_unit.html"}},
       R"(onFail {"errMsg":"loadUrlWithParams fail - adViewId is missing","adViewId":""})"},
      {"loadWithUrl", {{"adViewId", "a2"}},
       R"(onFail {"errMsg":"loadUrlWithParams fail - urlString is missing","adViewId":"a2"})"},
      {"loadWithUrl", {{"adViewId", "a1"}, {"urlForWebView", "./ads/ad_unit.html"}},
       R"(onFail {"errMsg":"WPAD - createAdView:adSize:shouldUseOffScreenView:delegate:completionHandler: | adViewID: a1","adViewId":"a1"})"},
      {"loadWithUrl", {{"adViewId", "a2"}, {"urlForWebView", "./ads/ad_unit.html"}}, R"(onOk {"adViewId":"a2"})"},
      {"sendMessage", {{"params", R"({"adViewId":"zz"})"}},
       R"(onFail {"errMsg":"QBNAdunitWebView not Exsits","adViewId":"zz"})"},
      {"sendMessage", {{"params", R"({"action":"close"})"}},
       R"(onFail {"errMsg":"sendMessageWithParams: | failed | - adViewId is missing","adViewId":""})"},
      {"sendMessage", {{"params", "not json"}},
       R"(onFail {"errMsg":"sendMessageWithParams: | failed | - adViewId is missing","adViewId":""})"},
      {"sendMessage", {{"params", R"({"adViewId":"a1","action":"checkVisibility"})"}}, R"(onOk {"adViewId":"a1"})"},
      {"removeAdView", {{"adViewId", "zz"}},
       R"(onFail {"errMsg":"removeAdViewWithId failed. adViewId not found in the collection","adViewId":"zz"})"},
      {"removeAdView", Json::object(),
       R"(onFail {"errMsg":"removeAdViewWithParams fail - adViewId is missing","adViewId":""})"},
      {"webviewAction", {{"adViewId", "a1"}, {"actionName", "onPause"}}, R"(onOk {"adViewId":"a1"})"},
      {"webviewAction", {{"adViewId", "a1"}, {"actionName", "onResume"}}, R"(onOk {"adViewId":"a1"})"},
      {"webviewAction", {{"adViewId", "a1"}, {"actionName", "onFly"}},
       R"(onFail {"errMsg":"performWebViewActionWithActionName failed. action is not supported","adViewId":"a1"})"},
      {"webviewAction", {{"adViewId", "zz"}, {"actionName", "onPause"}},
       R"(onFail {"errMsg":"performWebViewActionWithId failed. adViewId not found in the collection","adViewId":"zz"})"},
      {"webviewAction", {{"actionName", "onPause"}},
       R"(onFail {"errMsg":"performWebViewActionWithParams fail - adViewId is missing","adViewId":""})"},
      {"handleGetViewVisibility", {{"adViewId", "zz"}},
       R"(onFail {"errMsg":"sendHandleGetViewVisibilityWithId failed. adViewId not found in the collection","adViewId":"zz"})"},
      {"handleGetViewVisibility", Json::object(),
       R"(onFail {"errMsg":"handleGetViewVisibilityWithParam fail - adViewId is missing","adViewId":""})"},
      {"resize", {{"adViewId", "a1"}}, R"(onFail {"errMsg":"unsupported API","adViewId":""})"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.function) + " " + dumpJson(c.params));
    publisher->manager->calls.clear();
    send(c.function, c.params);
    EXPECT_EQ(replies(), Lines{c.reply});  // before the call returned
    for (const auto& call : publisher->manager->calls) EXPECT_EQ(call.encoding, 2) << call.line();
    env.runUntilIdle();
  }
  EXPECT_NE(QBNAdViewsManager::sharedManager().getAdUnitWebViewById("a2"), nullptr);

  // Parameters that do not decode count as missing.
  publisher->manager->calls.clear();
  handler->invokeAPIWithJSParams(
      Json{{"functionName", "removeAdView"}, {"functionParams", "%7Bnot json"}, {"fail", "onFail"}});
  EXPECT_EQ(replies(), Lines{R"(onFail {"errMsg":"removeAdViewWithParams fail - adViewId is missing","adViewId":""})"});

  // Removal unregisters; a second removal fails.
  for (const char* expected : {R"(onOk {"adViewId":"a1"})",
                               R"(onFail {"errMsg":"removeAdViewWithId failed. adViewId not found in the collection","adViewId":"a1"})"}) {
    publisher->manager->calls.clear();
    send("removeAdView", {{"adViewId", "a1"}});
    EXPECT_EQ(replies(), Lines{expected});
  }
  EXPECT_EQ(QBNAdViewsManager::sharedManager().getAdUnitWebViewById("a1"), nullptr);
}

TEST_F(AdViewsTest, PagesLoadFromTheCacheRootOrTheNetworkAndNothingElseLoads) {
  qbtest::SandboxServer server;
  ASSERT_TRUE(server.start());
  std::string page;
  {
    std::ifstream in(owntest::kAdPage);
    page.assign(std::istreambuf_iterator<char>(in), {});
  }
  server.answer("/ad", 200, page, {{"Content-Type", "text/html"}});
  installAdPage("deep/er/ad_unit.html");
  const std::string failed = "WPAD - loadAdWithURL:completionHandler: | loadAdWithURL failed | loadFileURL return null";
  const struct {
    std::string url;
    std::string loadedURL;  // empty: the load fails and nothing is loaded
  } cases[] = {
      {"./ads/ad_unit.html", cacheRootURL() + "ads/ad_unit.html"},
      {"./deep/er/ad_unit.html", cacheRootURL() + "deep/er/ad_unit.html"},
      {".//ads/ad_unit.html", cacheRootURL() + "/ads/ad_unit.html"},
      {cacheRootURL() + "ads/ad_unit.html", cacheRootURL() + "ads/ad_unit.html"},
      {server.url("/ad"), server.url("/ad")},
      // Only file URLs inside the cache root reach the file loader.
      {"./../../outside.html", ""},
      {"file:///etc/hosts", ""},
      {".hidden", ""},
      {"about:blank", ""},
      {"javascript:alert(1)", ""},
      {"data:text/html,<p>ad</p>", ""},
      {"http://exa mple.com/ad", ""},
      {"apps.quillborne.test/ad", ""},
      {"", ""},
  };
  int n = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.url);
    const std::string id = "v" + std::to_string(++n);
    publisher->manager->calls.clear();
    load(id, c.url);
    const auto view = webViewOf(id);
    ASSERT_NE(view, nullptr);  // registered even when the load fails
    if (c.loadedURL.empty()) {
      EXPECT_EQ(replies(), Lines{R"(onFail {"errMsg":")" + failed + R"(","adViewId":")" + id + R"("})"});
      env.runUntilIdle();
      EXPECT_EQ(view->url(), "");
      EXPECT_TRUE(fromPage().empty());
      continue;
    }
    EXPECT_EQ(replies(), Lines{R"(onOk {"adViewId":")" + id + R"("})"});
    EXPECT_TRUE(env.runUntil([&] { return fromPage().size() >= 2; }));
    EXPECT_EQ(view->url(), c.loadedURL);
    EXPECT_EQ(fromPage().front(), kAdReady);
  }
}

TEST_F(AdViewsTest, WithoutACacheRootNothingLoads) {
  const std::string file = dataRoot.path() + "/file";
  std::ofstream(file) << "x";
  platform::setDataRoot(file);  // Library/Caches cannot be made under a file
  load("a1", "./ads/ad_unit.html");
  EXPECT_EQ(replies(), Lines{R"(onFail {"errMsg":"WPAD - loadAdWithURL:completionHandler: | loadAdWithURL failed | fileSystemLocation is nil","adViewId":"a1"})"});
}

TEST_F(AdViewsTest, ThePageLearnsItsVisibilityFromTheContainerAndTheControllerOnRequest) {
  const Json hidden = {{"isViewVisible", false}, {"isHidden", false}, {"isOpaque", false}, {"isKeyWindow", false},
                       {"isOffScreenView", false}};
  const Json offScreen = {{"isViewVisible", true}, {"isHidden", false}, {"isOpaque", false}, {"isKeyWindow", true},
                          {"isOffScreenView", true}};
  const struct {
    const char* name;
    Json options;
    Json visibility;
  } cases[] = {
      {"nowhere", Json::object(), hidden},
      {"off-screen", {{"shouldUseOffScreenViewInWebPresenter", true}}, offScreen},
      {"in an off-screen container",
       {{"shouldCreateContainer", true}, {"shouldUseOffScreenViewInAdContainer", "true"},
        {"adSize", {{"label", "BANNER"}, {"width", "320"}, {"height", 50}}}},
       offScreen},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    QBNAdViewsManager::sharedManager().resetForTesting();
    publisher->manager->calls.clear();
    load("a1", "./ads/ad_unit.html", c.options);
    ASSERT_TRUE(env.runUntil([&] { return fromPage().size() >= 2; }));
    // The page's own request was answered in the page: it never reached the
    // controller, and the page reported the answer.
    EXPECT_EQ(fromPage(), (Lines{kAdReady, R"(containerSendMessage {"method":"visibility","data":)" +
                                               dumpJson(c.visibility) + "}"}));
    // The controller's request is answered to the controller only.
    publisher->manager->calls.clear();
    send("handleGetViewVisibility", {{"adViewId", "a1"}});
    auto expected = c.visibility;
    expected["adViewId"] = "a1";
    EXPECT_EQ(publisher->manager->lines(), Lines{"handleGetViewVisibility " + dumpJson(expected)});
  }
  // A request without an id is answered with a null one.
  const auto view = webViewOf("a1");
  evaluate(view, R"(window.webkit.messageHandlers.containerMsgHandler.postMessage('{"method":"handleGetViewVisibility"}'))");
  EXPECT_EQ(evaluate(view, "JSON.stringify(window.pma.received[window.pma.received.length - 1])"),
            Json(R"({"id":null,"data":)" + dumpJson(offScreen) + "}"));
}

TEST_F(AdViewsTest, OnlyAStringThatParsesToAnObjectIsAPageMessage) {
  load("a1", "./ads/ad_unit.html");
  ASSERT_TRUE(env.runUntil([&] { return fromPage().size() >= 2; }));
  const auto view = webViewOf("a1");
  const struct {
    const char* body;  // a script expression, posted as it is
    bool logged;       // as a JSON error
  } dropped[] = {
      {"42", true},          {"{method: 'x'}", true}, {"null", true},  {"'[1,2]'", true},
      {"'\"text\"'", true},  {"'not json'", true},     {"'7'", true},   {"'{}'", false},
  };
  for (const auto& c : dropped) {
    SCOPED_TRACE(c.body);
    publisher->manager->calls.clear();
    console.clear();
    evaluate(view, std::string("window.webkit.messageHandlers.containerMsgHandler.postMessage(") + c.body + ")");
    EXPECT_TRUE(publisher->manager->calls.empty());
    EXPECT_EQ(console.countContaining("userContentController JSON Error"), c.logged ? 1u : 0u);
  }
  evaluate(view, R"(window.webkit.messageHandlers.containerMsgHandler.postMessage('{"method":"custom","n":[1,{"a":"b c"}]}'))");
  EXPECT_EQ(publisher->manager->lines(), Lines{R"(containerSendMessage {"method":"custom","n":[1,{"a":"b c"}]})"});
}

TEST_F(AdViewsTest, ControllerMessagesReachThePageAndItsAnswersComeBack) {
  load("a1", "./ads/ad_unit.html");
  ASSERT_TRUE(env.runUntil([&] { return fromPage().size() >= 2; }));
  publisher->manager->calls.clear();
  send("sendMessage", {{"params", R"({"adViewId":"a1","action":"close","note":"a \"quoted\" text"})"}});
  env.runUntilIdle();
  EXPECT_EQ(publisher->manager->lines(),
            (Lines{R"(onOk {"adViewId":"a1"})", R"(containerSendMessage {"method":"adClosed"})"}));
  EXPECT_EQ(evaluate(webViewOf("a1"), "window.pma.received[window.pma.received.length - 1].note"),
            Json("a \"quoted\" text"));
}

TEST_F(AdViewsTest, MessagesAreRelayedWithTheirCallbacksAndEncodings) {
  // The ad-unit handler: encoding option 1, the callbacks the message names,
  // sent at once.
  load("a1", "./ads/ad_unit.html",
       {{"shouldCreateContainer", true}, {"shouldUseOffScreenViewInAdContainer", true}});
  ASSERT_GE(publisher->manager->calls.size(), 1u);
  const auto visible = publisher->manager->calls.front();
  EXPECT_EQ(visible.function, "containerIsVisible");
  EXPECT_EQ(visible.success, "containerIsVisibleSuccess");
  EXPECT_EQ(visible.fail, "containerIsVisibleFail");
  EXPECT_EQ(visible.encoding, 1);
  EXPECT_EQ(visible.parameters["adViewId"], "a1");
  EXPECT_EQ(visible.parameters["configs"]["visibilityParams"]["isOffScreenView"], true);
  ASSERT_TRUE(env.runUntil([&] { return fromPage().size() >= 2; }));
  for (const auto& call : publisher->manager->calls) {
    if (call.function != "containerSendMessage") continue;
    EXPECT_EQ(call.encoding, 1);
    EXPECT_FALSE(call.success || call.fail);
  }

  // The older handler: on the main queue, later, unencoded, same callbacks.
  auto older = QBNAdViewJSInterfaceHandler::create(publisher);
  publisher->manager->calls.clear();
  older->didReceiveMessageFromAdView("containerIsVisible", visible.parameters);
  EXPECT_TRUE(publisher->manager->calls.empty());
  env.runUntilIdle();
  ASSERT_EQ(publisher->manager->calls.size(), 1u);
  EXPECT_EQ(publisher->manager->calls[0].encoding, 0);
  EXPECT_EQ(publisher->manager->calls[0].success, "containerIsVisibleSuccess");
  EXPECT_EQ(publisher->manager->calls[0].fail, "containerIsVisibleFail");

  // "bannerViewAPI" is only answered as deprecated, and only with a fail name.
  for (const bool withFail : {true, false}) {
    publisher->manager->calls.clear();
    Json params = adViewAPI("loadWithUrl", {{"adViewId", "b1"}});
    if (!withFail) params.erase("fail");
    older->invokeAPIWithJSParams(params);
    EXPECT_TRUE(publisher->manager->calls.empty());
    env.runUntilIdle();
    EXPECT_EQ(publisher->manager->lines(), withFail ? Lines{R"(onFail {"errMsg":"Deprecated"})"} : Lines{});
    if (withFail) {
      EXPECT_EQ(publisher->manager->calls[0].encoding, 2);
    }
  }
  // A handler freed before its posted work runs sends nothing.
  publisher->manager->calls.clear();
  older->invokeAPIWithJSParams(adViewAPI("x", Json::object()));
  older.reset();
  env.runUntilIdle();
  EXPECT_TRUE(publisher->manager->calls.empty());
}

TEST_F(AdViewsTest, TheOffScreenContainerIsMadeOnceAndRemovedWhenEmpty) {
  const Json offScreen = {{"shouldUseOffScreenViewInWebPresenter", true}};
  load("a1", "./ads/ad_unit.html", offScreen);
  const auto container = QBNAdViewWebPresenter::getOffScreenView();
  ASSERT_NE(container, nullptr);
  EXPECT_EQ(container->superview(), window);
  EXPECT_EQ(container->frame(), Rect{});
  EXPECT_TRUE(container->clipsToBounds());
  load("a2", "./ads/ad_unit.html", offScreen);
  load("a3", "./ads/ad_unit.html", {{"shouldCreateContainer", true}, {"shouldUseOffScreenViewInAdContainer", true}});
  EXPECT_EQ(QBNAdViewWebPresenter::getOffScreenView(), container);
  EXPECT_EQ(container->subviews().size(), 3u);
  env.runUntilIdle();

  // A container tells the page it was removed at once and leaves its
  // superview on the next turn.
  publisher->manager->calls.clear();
  const auto adContainer = std::dynamic_pointer_cast<QBNAdContainer>(
      QBNAdViewsManager::sharedManager().getAdUnitWebViewById("a3"));
  send("removeAdView", {{"adViewId", "a3"}});
  EXPECT_EQ(publisher->manager->lines(),
            (Lines{R"(containerWasRemoved {"successMethodName":"containerWasRemovedSuccess","failMethodName":"containerWasRemovedFail","adViewId":"a3"})",
                   R"(onOk {"adViewId":"a3"})"}));
  EXPECT_EQ(adContainer->superview(), container);
  env.runUntilIdle();
  EXPECT_EQ(adContainer->superview(), nullptr);
  EXPECT_EQ(adContainer->presenter(), nullptr);
  // Leaving the window was reported too.
  EXPECT_EQ(publisher->manager->linesOf("containerIsVisible").size(), 1u);

  for (const char* id : {"a1", "a2"}) {
    EXPECT_EQ(QBNAdViewWebPresenter::getOffScreenView(), container) << id;
    send("removeAdView", {{"adViewId", id}});
  }
  EXPECT_EQ(QBNAdViewWebPresenter::getOffScreenView(), nullptr);
  EXPECT_EQ(container->superview(), nullptr);
}

TEST_F(AdViewsTest, LinksOpenOutsideOnlyWhileTheSwitchAllowsThem) {
  const std::string cta = "https://apps.quillborne.test/app/id1234567890";
  const std::string about = "https://quillborne.test/about-this-ad";
  const struct {
    std::optional<bool> allowed;  // "allowLinksInWpad"; none: absent
    const char* action;
    std::string url;
  } cases[] = {
      {std::nullopt, "click", cta}, {true, "click", cta}, {true, "about", about},
      {false, "click", ""},         {false, "about", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.action) + " " + (c.allowed ? (*c.allowed ? "allowed" : "blocked") : "absent"));
    QBNAdViewsManager::sharedManager().resetForTesting();
    Application::shared().resetForTesting();
    window->makeKeyAndVisible();
    Json network = Json::object();
    if (c.allowed) network["allowLinksInWpad"] = *c.allowed;
    QBNFeaturesManager::sharedManager().updateSupplyConfigurations(Json{{"networkConfig", network}});
    load("a1", "./ads/ad_unit.html");
    ASSERT_TRUE(env.runUntil([&] { return fromPage().size() >= 2; }));
    const auto pageURL = webViewOf("a1")->url();
    publisher->manager->calls.clear();
    send("sendMessage", {{"params", Json{{"adViewId", "a1"}, {"action", c.action}}.dump()}});
    env.runUntilIdle();
    const auto links = publisher->manager->linesOf("linkActivation");
    const auto opened = Application::shared().openURLRequests();
    if (c.url.empty()) {
      EXPECT_TRUE(links.empty());
      EXPECT_TRUE(opened.empty());
    } else {
      EXPECT_EQ(links, Lines{R"(linkActivation {"adViewId":"a1","url":")" + c.url + R"("})"});
      ASSERT_EQ(opened.size(), 1u);
      EXPECT_EQ(opened[0].url, c.url);
    }
    EXPECT_EQ(webViewOf("a1")->url(), pageURL);  // the ad stays
  }
}

// A delegate that keeps each message as "<name> <JSON>".
struct RecordingAdViewDelegate : QBNAdViewDelegate {
  void didReceiveMessageFromAdView(const std::string& message, const Json& params) override {
    lines.push_back(message + " " + dumpJson(params));
  }
  void didReceiveMessageFromAdViewWithArray(const std::string&, const Json&) override {}
  Lines lines;
};

TEST_F(AdViewsTest, TheLogicRoutesControllerMessages) {
  qbtest::SandboxServer server;
  ASSERT_TRUE(server.start());
  server.answer("/ad", 200, "<html><body>ad</body></html>", {{"Content-Type", "text/html"}});
  auto presenter = QBNAdViewWebPresenter::create("l1", nullptr, false);
  auto logic = presenter->adViewLogic();
  auto delegate = std::make_shared<RecordingAdViewDelegate>();
  const struct {
    const char* method;
    Json params;
    Lines expected;
  } cases[] = {
      {"isExternalAdViewInitiated", Json::object(), {R"(containerAdViewStatus {"isExternalAdViewInitiated":false})"}},
      {"loadWithUrl", {{"params", {{"urlForWebView", "ftp://host/ad"}}}, {"fail", "onBroken"}},
       {R"(onBroken {"errMsg":"brokenUrl"})"}},
      {"loadWithUrl", {{"params", {{"urlForWebView", "./ads/ad_unit.html"}}}}, {}},
      {"loadWithUrl", {{"params", {{"urlForWebView", server.url("/ad")}}}, {"fail", "onBroken"}}, {}},
      {"isExternalAdViewInitiated", Json::object(), {R"(containerAdViewStatus {"isExternalAdViewInitiated":true})"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.method + std::string(" ") + dumpJson(c.params));
    delegate->lines.clear();
    logic->messageHandlerFromController(c.method, c.params, delegate);
    env.runUntilIdle();
    EXPECT_EQ(delegate->lines, c.expected);
  }
  EXPECT_EQ(presenter->presentationWebView()->url(), server.url("/ad"));
  // Any other method hands the message to the page.
  ASSERT_TRUE(env.runUntil([&] { return !presenter->presentationWebView()->isLoading(); }));
  evaluate(presenter->presentationWebView(), "window.pma = {onMessageReceived: function (m) { window.got = m.n; }}");
  logic->messageHandlerFromController("other", {{"params", {{"params", "{\"n\":2}"}}}}, delegate);
  env.runUntilIdle();
  EXPECT_EQ(evaluate(presenter->presentationWebView(), "window.got"), Json(2));
  // A text that is no JSON arrives as that text: it never runs as the page's script.
  evaluate(presenter->presentationWebView(), "window.pma = {onMessageReceived: function (m) { window.got = m; }}");
  logic->messageHandlerFromController("other", {{"params", {{"params", "1);window.ran=(1"}}}}, delegate);
  env.runUntilIdle();
  EXPECT_EQ(evaluate(presenter->presentationWebView(), "window.got"), Json("1);window.ran=(1"));
  EXPECT_EQ(evaluate(presenter->presentationWebView(), "typeof window.ran"), Json("undefined"));
  // Clean-up lets go of the web view and of the page's handler name.
  const auto view = presenter->presentationWebView();
  presenter->performCleanup();
  EXPECT_EQ(presenter->presentationWebView(), nullptr);
  EXPECT_EQ(presenter->adViewLogic(), nullptr);
  EXPECT_TRUE(view->configuration().userContentController->handlerNames().empty());
}

class AdViewTerminationTest : public qbtest::WithOwnEventsSandbox<AdViewsTest> {};

TEST_F(AdViewTerminationTest, ATerminatedPageIsLoggedAndClosesEveryAdOnlyWhenTheSwitchSaysSo) {
  ASSERT_TRUE(qbtest::sendOwnNetworkEventsTo(*server));
  size_t events = 0;
  for (const bool handle : {false, true}) {
    SCOPED_TRACE(handle ? "handled" : "not handled");
    QBNAdViewsManager::sharedManager().resetForTesting();
    QBNFeaturesManager::sharedManager().updateSupplyConfigurations(
        Json{{"networkConfig", {{"handleWebViewTerminated", handle}}}});
    load("a1", "./ads/ad_unit.html");
    ASSERT_TRUE(env.runUntil([&] { return fromPage().size() >= 2; }));
    publisher->manager->calls.clear();
    publisher->closeAllCount = 0;
    webViewOf("a1")->terminateWebContentProcess();
    env.runUntilIdle();
    EXPECT_EQ(publisher->closeAllCount, handle ? 1 : 0);
    // Whatever the switch says, the page hears that the ad view's page failed.
    const std::string failed =
        R"(adViewFailed {"adViewId":"a1","errCode":4,"errMsg":"the ad page's content was terminated"})";
    const Lines expected = handle ? Lines{R"(webViewTerminated {"class":"webPresenter"})", failed} : Lines{failed};
    EXPECT_EQ(publisher->manager->lines(), expected);
    if (handle) {
      EXPECT_EQ(publisher->manager->calls[0].encoding, 0);
    }
    ++events;
    ASSERT_TRUE(env.runUntil([&] { return server->requestCount() >= events; }));
    const auto received = qbtest::ownNetworkEventsReceived(*server);
    EXPECT_EQ(received.back()["eventid"], 2028);
    EXPECT_EQ(received.back()["eventname"], "n_webviewterminated");
    EXPECT_EQ(received.back()["callfailreason"],
              PMAHelperMethods::encodeToPercentEscapeString("webViewWebContentProcessDidTerminate-presenter"));
  }
}

}  // namespace
