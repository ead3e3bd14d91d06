// The road of a full-screen own-network ad, end to end: the real publisher
// with the presentation library registered, the project's controller page in
// a real web view served by the sandbox, on the test clock. The page drives
// the ad as a shown ad does; the table says what the page hears back and what
// the application's listener is told at each step.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>

#include "ownnetwork/api/QuillborneAdInstance.h"
#include "ownnetwork/cache/PMADownloadManager.h"
#include "ownnetwork/interfaces/QBAppStoreInsideSessionP.h"
#include "ownnetwork/interfaces/QBNAppOrientationSourceP.h"
#include "ownnetwork/interfaces/QBNPresentationServicesP.h"
#include "ownnetwork/publisher_test_support.h"
#include "platform/storekit/storekit_control.h"
#include "platform/ui/gesture.h"
#include "platform/web/url.h"
#include "presentation/QBAppStoreInsideSession.h"
#include "presentation/QBAppStoreObject.h"
#include "presentation/QBNAdViewsManager.h"
#include "presentation/QBNSecondaryWebViewJSHandler.h"
#include "presentation/QBPresentationRegistration.h"
#include "presentation/presentation_support.h"

namespace {

using platform::Json;
using Lines = std::vector<std::string>;

void resetPresentation() {
  QBAppStoreInsideSession::sharedInstance()->resetForTesting();
  QBAppStoreInsideSessionP::registerSharedInstance(nullptr);
  QBNPresentationServicesP::registerSharedInstance(nullptr);
  QBNAppOrientationSourceP::registerSharedInstance(nullptr);
  QBNAdViewsManager::sharedManager().resetForTesting();
  platform::StoreKitControl::shared().resetForTesting();
  QBNAppOrientationHolder::sharedInstance().resetForTesting();
  QBOrientationManager::sharedManager().resetForTesting();
}

class FullScreenRoadTest : public qbtest::PublisherTest {
 protected:
  FullScreenRoadTest() {
    resetPresentation();
    qb::presentation::registerWithOwnNetwork();
    window->setRootViewController(app);
    std::ofstream(dir.path() + "/second.html") << "<html><body>second</body></html>";
  }
  ~FullScreenRoadTest() override {
    publisher.reset();
    PlovermarkAdsPublisher::resetForTesting();
    env.runUntilIdle();
    resetPresentation();
  }

  // What the page heard since the last call: each call's name, with the
  // values that tell the steps apart.
  Lines pageHeardSince() {
    const Json all = page("PMA_CORE.received");
    Lines out;
    for (size_t i = heard_; i < all.size(); ++i) {
      std::string line = all[i].value("name", "");
      for (const char* key : {"isViewable", "action", "viewUniqueId"}) {
        if (all[i]["params"].contains(key)) line += " " + std::string(key) + "=" + platform::dumpJson(all[i]["params"][key]);
      }
      out.push_back(line);
    }
    heard_ = all.size();
    return out;
  }
  // The listener's calls since the last call, by name.
  Lines appHeardSince() {
    Lines out;
    for (size_t i = told_; i < listener->lines.size(); ++i) out.push_back(listener->lines[i].substr(0, listener->lines[i].find(' ')));
    told_ = listener->lines.size();
    return out;
  }
  void pageSends(const std::string& command, const Json& params) {
    page("PMA_CORE.sendForShownAd(" + platform::dumpJson(command) + ", " + platform::dumpJson(params) + ")");
  }
  std::shared_ptr<QBNSecondaryWebViewJSHandler> secondary() const {
    return std::dynamic_pointer_cast<QBNSecondaryWebViewJSHandler>(publisher->secondaryWebViewJSHandler());
  }
  std::shared_ptr<platform::StoreProductViewController> storePage() const {
    auto object = QBAppStoreInsideSession::sharedInstance()->appStoreObjectForViewUniqueId("v1");
    return object ? object->storeKitAdapter()->getStoreViewController() : nullptr;
  }

  std::shared_ptr<platform::ViewController> app = std::make_shared<presentationtest::FixedController>(30);
  std::shared_ptr<handlertest::RecordingAdListener> listener = std::make_shared<handlertest::RecordingAdListener>();
  size_t heard_ = 0;
  size_t told_ = 0;
};

TEST_F(FullScreenRoadTest, FromTheShowToTheDismissal) {
  // The page displays its web view once the show succeeded.
  start(Json{{"commands", {{"showInterstitial", {{"then", Json::array({Json::array({"displayWebView", {{"display", "true"}, {"productType", "Interstitial"}}})})}}}}}});
  auto instance = QuillborneAdInstanceBuilder("is1", listener).build();
  const Json store{{"appId", "123"}, {"viewUniqueId", "v1"}, {"storeKitLoadParams", {{"id", "123"}}}};
  const std::string secondPage = platform::fileURLFromPath(dir.path() + "/second.html", false);

  const struct {
    const char* name;
    std::function<void()> act;
    int64_t advanceMs;
    Lines pageHeard;
    Lines appHeard;
    bool presented;
  } steps[] = {
      {"load", [&] { publisher->loadAdWithAdInstance(instance, Json::object()); }, 0,
       {"initInterstitial", "loadInterstitial"}, {"loaded"}, false},
      {"show from the application's controller, display",
       [&] { publisher->showAdWithAdInstance(instance, app, Json::object()); }, 1000,
       {"showInterstitial", "viewableChange isViewable=true"}, {"opened", "showSuccess"}, true},
      {"a tap in the corner, force close after 5 s",
       [&] {
         auto shown = publisher->webViewController();
         platform::TouchDriver::tap(shown, platform::Point{shown->bounds().size.width - 5, 5});
       },
       5000, {"engageEnd action=\"forceClose\""}, {}, true},
      {"store page preloaded", [&] { pageSends("preLoadAppPage", store); }, 0,
       {"appStoreInsideStarted viewUniqueId=\"v1\"", "appStoreInsideLoaded viewUniqueId=\"v1\""}, {}, true},
      {"store page opened over the ad",
       [&] { pageSends("openUrl", {{"url", "https://store.example/app/id123"}, {"method", "store"}, {"viewUniqueId", "v1"}}); },
       1000, {"appStoreInsideDisplayStoreKit viewUniqueId=\"v1\""}, {}, true},
      {"the user closes the store page", [&] { platform::StoreKitControl::closeByUser(storePage()); }, 1000,
       {"appStoreInsideClosed viewUniqueId=\"v1\""}, {}, true},
      {"store page cleared", [&] { pageSends("clearAppPage", {{"viewUniqueId", "v1"}}); }, 0, {}, {}, true},
      {"secondary page opened", [&] { pageSends("openUrl", {{"url", secondPage}, {"method", "webview"}}); }, 300,
       {"openUrlSuccess"}, {}, true},
      {"secondary page asked to close", [&] { pageSends("controlSecondaryWebView", {{"action", "close"}}); }, 0,
       {"engageEnd action=\"secondaryClose\""}, {}, true},
      {"the page ends its navigation", [&] { pageSends("navigationModeChange", {{"state", "false"}}); }, 300, {}, {},
       true},
      {"dismissal", [&] {
         pageSends("displayWebView", {{"display", "false"}});
         pageSends("onAdWindowsClosed", Json::object());
       },
       1000, {"viewableChange isViewable=false"}, {"closed"}, false},
  };
  for (const auto& step : steps) {
    SCOPED_TRACE(step.name);
    step.act();
    env.runUntilIdle();
    env.advance(step.advanceMs);
    env.runUntilIdle();
    EXPECT_EQ(pageHeardSince(), step.pageHeard);
    EXPECT_EQ(appHeardSince(), step.appHeard);
    EXPECT_EQ(publisher->isAnyViewPresented(), step.presented);
  }
  EXPECT_FALSE(secondary()->hasSecondaryView());
  EXPECT_FALSE(QBAppStoreInsideSession::sharedInstance()->hasAppStorePageForViewUniqueId("v1"));
  EXPECT_EQ(app->presentedViewController(), nullptr);
}

// An ad page that fails while it is on screen ends the show: the library
// takes it off screen at once, the controller page hears "adViewFailed" and
// reports the close of the ad (the show was answered before the ad page went
// up), and nothing stays on screen.
TEST_F(FullScreenRoadTest, AnAdPageThatLoopsEndsTheShowWithTheClose) {
  QBNAdViewWebPresenter::setScriptTimeLimitMsForTesting(50);
  struct Case {
    const char* label;
    const char* page;
  };
  const Case cases[] = {
      {"loops while it loads", "<script>for (;;) {}</script>"},
      {"loops once shown",
       "<script>window.pma = {onMessageReceived: function (m) { if (m.action === 'click') for (;;) {} }};"
       "webkit.messageHandlers.containerMsgHandler.postMessage(JSON.stringify({method: 'adReady'}));</script>"},
  };
  const std::string ads = PMADownloadManager::getInstanceRootDirectory() + "/ads";
  std::filesystem::create_directories(ads);
  start(Json{{"commands", {{"showInterstitial", {{"present", {{"url", "./ads/failing.html"}, {"actions", Json::array({Json::array({"click", 0})})}}},
                                                  {"then", Json::array({Json::array({"onAdWindowsClosed", Json::object()})})}}}}}});
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    std::ofstream(ads + "/failing.html") << c.page;
    auto instance = QuillborneAdInstanceBuilder("is1", listener).build();
    publisher->loadAdWithAdInstance(instance, Json::object());
    env.runUntilIdle();
    EXPECT_EQ(appHeardSince(), (Lines{"loaded"}));
    publisher->showAdWithAdInstance(instance, app, Json::object());
    env.runUntilIdle();
    env.advance(2000);
    env.runUntilIdle();
    EXPECT_EQ(appHeardSince(), (Lines{"opened", "showSuccess", "closed"}));
    Lines failures;
    for (const auto& heard : pageHeardSince()) {
      if (heard.rfind("adViewFailed", 0) == 0) failures.push_back(heard);
    }
    EXPECT_EQ(failures.size(), 1u);
    EXPECT_FALSE(publisher->isAnyViewPresented());
    EXPECT_EQ(app->presentedViewController(), nullptr);
    EXPECT_TRUE(QBNAdViewsManager::sharedManager().adViews().empty()) << "the page removes the ad view";
  }
  QBNAdViewWebPresenter::setScriptTimeLimitMsForTesting(0);
}

}  // namespace
