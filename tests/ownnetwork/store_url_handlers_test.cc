// "preLoadAppPage", "clearAppPage", "openUrl" and the store session's
// reports, against the store session the presentation library registers.
#include <gtest/gtest.h>

#include <stdexcept>

#include "ownnetwork/handlers_test_support.h"
#include "platform/storekit/storekit_control.h"
#include "presentation/QBAppStoreInsideSession.h"
#include "presentation/QBPresentationRegistration.h"

namespace storeurltest {

using handlertest::HandlersTest;
using handlertest::Sent;
using platform::Json;

// A store session whose every call throws.
class ThrowingSession : public QBAppStoreInsideSessionP {
 public:
  void setDelegate(std::weak_ptr<QBAppStoreInsideDelegate>) override { fail(); }
  void loadStoreWithAppId(const std::optional<std::string>&, const std::optional<std::string>&, const Json&,
                          bool) override {
    fail();
  }
  void cleanupForViewUniqueId(const std::string&) override { fail(); }
  bool hasAppStorePageForViewUniqueId(const std::string&) const override { fail(); }
  void setViewControllerToPresentFrom(const std::shared_ptr<platform::ViewController>&) override { fail(); }
  void showStoreForUniqueId(const std::string&) override { fail(); }
  std::optional<Json> storeKitDataToController(const std::optional<Json>& report) const override { return report; }

 private:
  [[noreturn]] static void fail() { throw std::runtime_error("store down"); }
};

class StoreUrlTest : public HandlersTest {
 protected:
  StoreUrlTest() {
    platform::StoreKitControl::shared().resetForTesting();
    session->resetForTesting();
    qb::presentation::registerWithOwnNetwork();
  }
  ~StoreUrlTest() override {
    session->resetForTesting();
    env.runUntilIdle();
    platform::StoreKitControl::shared().resetForTesting();
  }

  static Json preload(const char* appId, const char* viewId) {
    Json r = request({{"appId", appId}, {"viewUniqueId", viewId}, {"fail", "f"}});
    r["storeKitLoadParams"] = PMAHelperMethods::encodeToPercentEscapeString(R"({"id":"123"})");
    return r;
  }
  void preloadPage(const char* viewId) {
    store->preLoadAppPage(preload("123", viewId));
    ASSERT_TRUE(env.runUntil([&] { return session->hasAppStorePageForViewUniqueId(viewId); }));
    sent();
  }
  std::shared_ptr<platform::Window> keyWindow() {
    auto window = std::make_shared<platform::Window>(platform::Rect::make(0, 0, 390, 844));
    window->setRootViewController(std::make_shared<platform::ViewController>());
    window->makeKeyAndVisible();
    return window;
  }
  static std::vector<std::string> openedOutside() {
    std::vector<std::string> urls;
    for (const auto& r : platform::Application::shared().openURLRequests()) urls.push_back(r.url);
    return urls;
  }

  std::shared_ptr<QBAppStoreInsideSession> session = QBAppStoreInsideSession::sharedInstance();
};

TEST_F(StoreUrlTest, OpenUrlMethodMatrix) {
  const std::string url = "https://x.com/a b";
  const std::string escapedUrl = "https%3A%2F%2Fx.com%2Fa%20b";
  struct Case {
    const char* name;
    Json request;
    bool keyWindow, presented, preloaded;
    bool external;
    bool shown;
    std::vector<std::string> scripts;
  };
  const auto open = [&](const char* method, const char* viewId = "v1") {
    return request({{"url", escapedUrl.c_str()}, {"method", method}, {"viewUniqueId", viewId}, {"fail", "f"}});
  };
  const Case cases[] = {
      {"no method", request({{"url", escapedUrl.c_str()}}), true, false, true, false, false, {}},
      {"no url", request({{"method", "external_browser"}}), true, false, true, false, false, {}},
      {"external browser", open("external_browser"), false, false, false, true, false, {}},
      {"store page never preloaded", open("store", "v2"), true, false, true, true, false, {}},
      {"store without a view controller", open("store"), false, false, true, true, false, {}},
      {"store from the top-most controller", open("store"), true, false, true, false, true, {}},
      {"store from the presented controller", open("store"), false, true, true, false, true, {}},
      {"another method", open("sms"), true, false, true, false, false, {}},
      {"web view", open("webview"), false, false, false, false, false, {"openSecondary " + url + " []"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    platform::resetUIForTesting();
    session->resetForTesting();
    scriptCalls().clear();
    auto window = c.keyWindow ? keyWindow() : nullptr;
    // A presented controller lives in a window of its own (not the key one).
    auto other = std::make_shared<platform::Window>(platform::Rect::make(0, 0, 390, 844));
    other->setRootViewController(std::make_shared<platform::ViewController>());
    publisher->presented = c.presented ? other->rootViewController() : nullptr;
    if (c.preloaded) preloadPage("v1");
    store->handleOpenUrl(c.request);
    env.advance(400);
    EXPECT_EQ(openedOutside(), c.external ? std::vector<std::string>{url} : std::vector<std::string>{});
    EXPECT_EQ(session->isStorePresented("v1"), c.shown);
    if (c.shown) {
      EXPECT_EQ(session->viewControllerToPresentFrom(),
                c.presented ? publisher->presented : window->rootViewController());
    }
    EXPECT_EQ(scriptCalls(), c.scripts);
    for (const Sent& s : sent()) EXPECT_NE(s.name, "f") << s;
  }
  EXPECT_TRUE(console.contains("external url: " + url + " opened with result: success"));
}

TEST_F(StoreUrlTest, WebViewControlFramesThenOpenUrlSuccess) {
  struct Case {
    const char* frames;  // null: none given
    const char* expected;
  };
  for (const Case& c : {Case{nullptr, "[]"}, Case{"", "[]"}, Case{"%5B%7B%22x%22%3A1%7D%5D", R"([{"x":1}])"},
                        Case{"%5Bnot", "none"}, Case{"7", "none"}}) {
    scriptCalls().clear();
    Json r = request({{"url", "u"}, {"method", "webview"}});
    if (c.frames) r["controlFrames"] = c.frames;
    store->handleOpenUrl(r);
    EXPECT_EQ(scriptCalls(), std::vector<std::string>{std::string("openSecondary u ") + c.expected});
    EXPECT_TRUE(sent().empty()) << "the answer waits for the web view";
    publisher->scripts->secondaryOpened();
    EXPECT_EQ(sent(), (std::vector<Sent>{{"openUrlSuccess", Json::object(), true}}));
  }
}

TEST_F(StoreUrlTest, PreLoadValidationAndStoreReports) {
  for (const Json& invalid : {preload("", "v1"), preload("123", ""), request({{"appId", "123"}, {"fail", "f"}})}) {
    store->preLoadAppPage(invalid);
    EXPECT_EQ(sent(), (std::vector<Sent>{{"f", invalid, true}})) << "the request itself goes back";
  }
  EXPECT_EQ(console.countContaining("-[PlovermarkAdsPublisher preLoadAppPage:]: appId or viewUniqueID is null or empty"),
            3u);
  EXPECT_EQ(session->pageCount(), 0u);

  store->preLoadAppPage(preload("123", "v1"));
  ASSERT_TRUE(env.runUntil([&] { return session->hasAppStorePageForViewUniqueId("v1"); }));
  EXPECT_EQ(session->delegate(), store);
  const auto answers = sent();
  ASSERT_EQ(answers.size(), 2u);
  EXPECT_EQ(answers[0], (Sent{"appStoreInsideStarted",
                              {{"storeAppId", "123"}, {"viewUniqueId", "v1"}, {"storeKitLoadParams", {{"id", "123"}}}},
                              true}));
  EXPECT_EQ(answers[1].name, "appStoreInsideLoaded");
  EXPECT_EQ(answers[1].params["isLoaded"], true);

  store->clearStoreKitAppPage(request({{"viewUniqueId", "v1"}}));
  EXPECT_FALSE(session->hasAppStorePageForViewUniqueId("v1"));
  EXPECT_TRUE(console.contains("-[PlovermarkAdsPublisher clearStoreKitAppPage:]: for viewUniqueID: v1"));

  const Json report = {{"storeAppId", "9"}};
  store->didFailedToDisplayAppStoreInsideWithError(platform::Error{}, report);
  store->didFinishAppStoreInsideSessionWithParameters(report);
  store->didShowAppStoreInsideWithParameters(report);
  const Json converted = {{"storeAppId", "9"}, {"viewUniqueId", "-1"}};
  EXPECT_EQ(sent(), (std::vector<Sent>{{"appStoreFailedToDisplayStoreKit", converted, true},
                                       {"appStoreInsideClosed", converted, true},
                                       {"appStoreInsideDisplayStoreKit", converted, true}}));
  EXPECT_TRUE(console.contains(R"(with parameters: {"storeAppId":"9","viewUniqueId":"-1"}, with error:(null))"));
}

TEST_F(StoreUrlTest, AThrowingStoreSessionIsContained) {
  QBAppStoreInsideSessionP::registerSharedInstance(std::make_shared<ThrowingSession>());
  auto window = keyWindow();
  store->preLoadAppPage(preload("123", "v1"));
  EXPECT_TRUE(sent().empty());
  EXPECT_TRUE(console.contains("-[PlovermarkAdsPublisher preLoadAppPage:]: store down"));
  store->handleOpenUrl(request({{"url", "u"}, {"method", "store"}, {"viewUniqueId", "v1"}, {"fail", "f"}}));
  EXPECT_EQ(sent(), (std::vector<Sent>{{"f", {{"errMsg", "store down"}}, true}}));
  EXPECT_TRUE(platform::Application::shared().openURLRequests().empty());
}

}  // namespace storeurltest
