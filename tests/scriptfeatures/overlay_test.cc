// The page's store overlays: the handler made by the registered factory,
// driven with requests as the dispatcher parses them, the overlays shown by
// the store stand-in in the window scene of the top-most view controller, and
// the events the page hears through the publisher.
#include <gtest/gtest.h>

#include "ownnetwork/interfaces/QBNScriptHandlerFactories.h"
#include "platform/test_environment.h"
#include "scriptfeatures/QBScriptFeaturesRegistration.h"
#include "scriptfeatures/storekit/QBNOverlayJSInterfaceHandler.h"
#include "scriptfeatures/storekit_support.h"

namespace {

using platform::Json;
using platform::StoreKitControl;
using storekittest::escaped;
using storekittest::request;

std::string overlayQuery(const std::string& functionName, const std::optional<Json>& params) {
  std::string query = "functionName=" + functionName + "&success=ok&fail=ko";
  if (params) query += "&functionParams=" + escaped(*params);
  return query;
}

const Json kOverlay = {{"overlayId", "o1"}, {"advertisedAppId", "1460000001"}};
const std::vector<std::string> kPresented = {"overlayWillStartPresentation option 0",
                                             "overlayDidFinishPresentation option 0"};
const Json kEventData = {{"overlayId", "o1"}, {"advertisedAppId", "1460000001"}, {"userDismissible", false},
                         {"position", 0}};

class OverlayTest : public ::testing::Test {
 protected:
  OverlayTest() {
    storekittest::resetStoreFeatures();
    QBNPublisherAgent::registerSharedInstance(publisher);
    QBNScriptHandlerFactories::resetForTesting();
    qb::scriptfeatures::registerWithOwnNetwork();
    handler = QBNScriptHandlerFactories::current().overlayHandler(publisher->page);
  }
  ~OverlayTest() override {
    env.runUntilIdle();
    QBNScriptHandlerFactories::resetForTesting();
    storekittest::resetStoreFeatures();
  }

  void send(const std::string& query) { handler->invokeAPIWithJSParams(request(query)); }
  // Sends the query and lets every transition finish.
  std::vector<std::string> replies(const std::string& query) {
    send(query);
    env.advance(1000);
    env.runUntilIdle();
    return publisher->page->takeLines();
  }
  std::vector<storekittest::Sent> sent(const std::string& query) {
    send(query);
    env.advance(1000);
    env.runUntilIdle();
    return publisher->page->take();
  }

  platform::TestEnvironment env;
  std::shared_ptr<storekittest::EventsPublisher> publisher = std::make_shared<storekittest::EventsPublisher>();
  std::shared_ptr<QBNJSInterfaceHandlerP> handler;
};

TEST_F(OverlayTest, RepliesOfEverySubCommand) {
  const auto ko = [](const std::string& message) { return "ko option 1 errMsg=" + message; };
  const struct {
    const char* label;
    std::vector<std::string> before;  // commands sent first, their replies dropped
    std::string query;
    std::vector<std::string> expected;
  } cases[] = {
      {"create", {}, overlayQuery("createOverlay", kOverlay), {"ok option 1"}},
      {"create without an app", {}, overlayQuery("createOverlay", Json{{"overlayId", "o1"}}),
       {ko("Missing overlay advertised app track ID in config")}},
      {"create with empty parameters", {}, "functionName=createOverlay&functionParams=&success=ok&fail=ko",
       {ko("Missing overlay advertised app track ID in config")}},
      {"create without an id", {}, overlayQuery("createOverlay", Json{{"advertisedAppId", "1"}}),
       {ko("Missing overlayId in config")}},
      {"create with an empty id", {}, overlayQuery("createOverlay", Json{{"advertisedAppId", "1"}, {"overlayId", ""}}),
       {ko("Missing overlayId in config")}},
      {"create with a number as the app", {},
       overlayQuery("createOverlay", Json{{"advertisedAppId", 1}, {"overlayId", "o"}}),
       {ko("Missing overlay advertised app track ID in config")}},
      {"present an unknown id", {}, overlayQuery("presentOverlay", Json{{"overlayId", "x"}}),
       {ko("Missing overlay when trying to present")}},
      {"present without an id", {overlayQuery("createOverlay", kOverlay)},
       overlayQuery("presentOverlay", Json::object()),
       {ko("Missing overlay when trying to present")}},
      {"dismiss with nothing on screen", {}, overlayQuery("dismissOverlay", std::nullopt), {}},
      {"remove", {overlayQuery("createOverlay", kOverlay)}, overlayQuery("removeOverlay", Json{{"overlayId", "o1"}}),
       {"ok option 1"}},
      {"remove an unknown id", {}, overlayQuery("removeOverlay", Json{{"overlayId", "x y"}}),
       {ko("No Overlay exists for overlayId x y")}},
      {"remove without an id", {overlayQuery("createOverlay", kOverlay)}, overlayQuery("removeOverlay", Json::object()),
       {ko("Missing overlayId in config")}},
      {"remove with an empty id", {}, overlayQuery("removeOverlay", Json{{"overlayId", ""}}),
       {ko("Missing overlayId in config")}},
      {"an unknown function", {}, overlayQuery("hideOverlay", kOverlay), {ko("unsupported API")}},
      {"no function name", {}, "functionParams=%7B%7D&success=ok&fail=ko", {ko("missing function name")}},
      {"parameters that are no JSON", {}, "functionName=createOverlay&functionParams=%7Bx&success=ok&fail=ko",
       {ko("error when trying to decode and convert function params")}},
      {"parameters that are an array", {}, overlayQuery("createOverlay", Json::array({kOverlay})),
       {ko("function params are not a JSON object")}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    storekittest::resetStoreFeatures();
    QBNPublisherAgent::registerSharedInstance(publisher);
    storekittest::SceneWindow screen;
    for (const auto& query : c.before) replies(query);
    EXPECT_EQ(replies(c.query), c.expected);
  }
}

TEST_F(OverlayTest, RepliesCarryTheDecodedParametersAsTheyAre) {
  storekittest::SceneWindow screen;
  const Json params = {{"overlayId", "a+b %20"}, {"advertisedAppId", "1"}, {"campaignToken", "x+y"}};
  auto created = sent(overlayQuery("createOverlay", params));
  ASSERT_EQ(created.size(), 1u);
  EXPECT_EQ(created[0].params, params) << "decoded once, then only encoded: the '+' stays";
  auto unknown = sent(overlayQuery("hideOverlay", params));
  ASSERT_EQ(unknown.size(), 1u);
  Json expected = params;
  expected["errMsg"] = "unsupported API";
  EXPECT_EQ(unknown[0].params, expected);
  auto nameless = sent("functionParams=%7B%7D&success=ok&fail=ko&extra=a%2Bb");
  ASSERT_EQ(nameless.size(), 1u);
  EXPECT_EQ(nameless[0].params, (Json{{"functionParams", "{}"}, {"success", "ok"}, {"fail", "ko"}, {"extra", "a+b"},
                                      {"errMsg", "missing function name"}}));
}

TEST_F(OverlayTest, AnOverlayLivesFromCreateThroughPresentAndDismissToRemove) {
  storekittest::SceneWindow screen;
  EXPECT_EQ(replies(overlayQuery("createOverlay", kOverlay)), std::vector<std::string>{"ok option 1"});

  send(overlayQuery("presentOverlay", Json{{"overlayId", "o1"}}));
  env.runUntilIdle();
  auto events = publisher->page->take();
  ASSERT_EQ(events.size(), 1u) << "the presentation has started, not finished";
  EXPECT_EQ(events[0].function, "overlayWillStartPresentation");
  EXPECT_EQ(events[0].option, 0);
  EXPECT_EQ(events[0].params, kEventData);
  env.advance(platform::SKOverlay::kTransitionDurationSeconds * 1000);
  env.runUntilIdle();
  events = publisher->page->take();
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].function, "overlayDidFinishPresentation");
  EXPECT_EQ(events[0].params, kEventData);
  const auto shown = platform::SKOverlay::overlayInScene(screen.scene);
  ASSERT_TRUE(shown);
  EXPECT_EQ(shown, QBNOverlaysHolder::sharedHolder().overlayForOverlayId("o1"));

  EXPECT_EQ(replies(overlayQuery("dismissOverlay", std::nullopt)),
            (std::vector<std::string>{"overlayWillStartDismissal option 0", "overlayDidFinishDismissal option 0"}));
  EXPECT_EQ(platform::SKOverlay::overlayInScene(screen.scene), nullptr);
  EXPECT_TRUE(QBNOverlaysHolder::sharedHolder().overlayForOverlayId("o1")) << "dismissing keeps it";
  EXPECT_EQ(replies(overlayQuery("removeOverlay", Json{{"overlayId", "o1"}})), std::vector<std::string>{"ok option 1"});
  EXPECT_EQ(QBNOverlaysHolder::sharedHolder().heldOverlaysCount(), 0u);

  std::vector<std::string> steps;
  for (const auto& step : StoreKitControl::shared().overlayRecords()) {
    steps.push_back(std::string(platform::overlayStepName(step.step)) + " " + step.appIdentifier);
  }
  EXPECT_EQ(steps, (std::vector<std::string>{"present asked 1460000001", "will present 1460000001",
                                             "presented 1460000001", "dismiss asked 1460000001",
                                             "will dismiss 1460000001", "dismissed 1460000001"}));
}

TEST_F(OverlayTest, AFailedLoadReachesThePageAsAnEventWithTheNativeText) {
  storekittest::SceneWindow screen;
  replies(overlayQuery("createOverlay", kOverlay));
  StoreKitControl::shared().failNextOverlayLoad(platform::Error{"SKErrorDomain", 2, "no store + no 100%"});
  const auto events = sent(overlayQuery("presentOverlay", Json{{"overlayId", "o1"}}));
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].function, "overlayLoadFailed");
  EXPECT_EQ(events[0].option, 1) << "encoded, never decoded: the native text arrives as it is";
  Json expected = kEventData;
  expected["errCode"] = 2;
  expected["errMsg"] = "no store + no 100%";
  EXPECT_EQ(events[0].params, expected);
}

TEST_F(OverlayTest, ASecondOverlayUnderOneIdReplacesTheFirstWhoseEventsLoseTheId) {
  storekittest::SceneWindow screen;
  replies(overlayQuery("createOverlay", kOverlay));
  replies(overlayQuery("presentOverlay", Json{{"overlayId", "o1"}}));
  const auto first = platform::SKOverlay::overlayInScene(screen.scene);
  Json second = kOverlay;
  second["advertisedAppId"] = "2";
  replies(overlayQuery("createOverlay", second));
  EXPECT_NE(QBNOverlaysHolder::sharedHolder().overlayForOverlayId("o1"), first);
  const auto events = sent(overlayQuery("dismissOverlay", std::nullopt));
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[1].params, (Json{{"advertisedAppId", "1460000001"}, {"userDismissible", false}, {"position", 0}}));

  // Presenting the second replaces nothing then; presenting it again does nothing.
  EXPECT_EQ(replies(overlayQuery("presentOverlay", Json{{"overlayId", "o1"}})),
            kPresented);
  EXPECT_EQ(replies(overlayQuery("presentOverlay", Json{{"overlayId", "o1"}})), std::vector<std::string>{});
}

TEST_F(OverlayTest, TheConfigurationFollowsThePageAndTheSystem) {
  const Json full = {{"overlayId", "o"},
                     {"advertisedAppId", "1460000001"},
                     {"position", 1},
                     {"userDismissible", true},
                     {"customProductPageIdentifier", "ppid-1"},
                     {"latestReleaseID", "7.1"},
                     {"campaignToken", "camp"},
                     {"providerToken", "prov"},
                     {"SKANData",
                      {{"adNetworkNonce", "68483ef6-0678-41b1-a2b3-3a2e4b2f5c1d"}, {"adNetworkVersion", "4.0"}}}};
  Json badNonce = full;
  badNonce["SKANData"]["adNetworkNonce"] = "not-a-uuid";
  const struct {
    const char* system;
    Json params;
    Json configuration;
  } cases[] = {
      {"15.0", full,
       {{"appIdentifier", "1460000001"},
        {"position", 1},
        {"userDismissible", true},
        {"campaignToken", "camp"},
        {"providerToken", "prov"},
        {"customProductPageIdentifier", "ppid-1"},
        {"latestReleaseID", "7.1"},
        {"additionalValues",
         {{"adNetworkNonce", "68483EF6-0678-41B1-A2B3-3A2E4B2F5C1D"}, {"adNetworkVersion", "4.0"}}}}},
      {"14.0", badNonce,
       {{"appIdentifier", "1460000001"},
        {"position", 1},
        {"userDismissible", true},
        {"campaignToken", "camp"},
        {"providerToken", "prov"},
        {"additionalValues", {{"adNetworkVersion", "4.0"}}}}},
      {"17.0", {{"overlayId", "o"}, {"advertisedAppId", "9"}, {"position", "1"}, {"SKANData", "text"}},
       {{"appIdentifier", "9"}, {"position", 1}, {"userDismissible", false}}},
      {"17.0", {{"overlayId", "o"}, {"advertisedAppId", "9"}, {"userDismissible", "YES"}, {"campaignToken", 5}},
       {{"appIdentifier", "9"}, {"position", 0}, {"userDismissible", true}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(platform::dumpJson(c.params));
    storekittest::resetStoreFeatures();
    storekittest::setSystemVersion(c.system);
    EXPECT_EQ(replies(overlayQuery("createOverlay", c.params)), std::vector<std::string>{"ok option 1"});
    const auto overlay = QBNOverlaysHolder::sharedHolder().overlayForOverlayId("o");
    ASSERT_TRUE(overlay);
    EXPECT_EQ(overlay->configuration()->toJson(), c.configuration);
    const Json skan = c.params.value("SKANData", Json());
    if (skan.is_object() && skan["adNetworkNonce"] == full["SKANData"]["adNetworkNonce"]) {
      EXPECT_TRUE(std::holds_alternative<platform::Uuid>(
          *overlay->configuration()->additionalValueForKey("adNetworkNonce")));
    }
  }
}

TEST_F(OverlayTest, PresentingAndDismissingNeedTheTopControllersWindowScene) {
  const auto ko = [](const std::string& message) { return "ko option 1 errMsg=" + message; };
  replies(overlayQuery("createOverlay", kOverlay));
  // No key window: no top-most controller.
  const std::string present = overlayQuery("presentOverlay", Json{{"overlayId", "o1"}});
  const std::string dismiss = overlayQuery("dismissOverlay", std::nullopt);
  EXPECT_EQ(replies(present), std::vector<std::string>{ko("Topmost view controller is nil")});
  EXPECT_EQ(replies(dismiss), std::vector<std::string>{ko("Topmost view controller is nil")});

  // A window in no scene, with a controller presented over its root.
  auto window = std::make_shared<platform::Window>(platform::Rect::make(0, 0, 390, 844));
  auto root = std::make_shared<platform::ViewController>();
  window->setRootViewController(root);
  window->makeKeyAndVisible();
  auto top = std::make_shared<platform::ViewController>();
  ASSERT_TRUE(root->presentViewController(top, false));
  env.runUntilIdle();
  EXPECT_EQ(replies(present), std::vector<std::string>{ko("Window scene is nil")});
  EXPECT_EQ(replies(dismiss), std::vector<std::string>{ko("Window scene is nil")});

  // Once the window joins a scene the overlay shows there.
  auto scene = platform::WindowScene::create();
  platform::Application::shared().connectScene(scene);
  window->setWindowScene(scene);
  EXPECT_EQ(replies(overlayQuery("presentOverlay", Json{{"overlayId", "o1"}})),
            kPresented);
  EXPECT_TRUE(platform::SKOverlay::overlayInScene(scene));
}

TEST_F(OverlayTest, WithoutTheOverlayClassNothingIsCreated) {
  storekittest::SceneWindow screen;
  platform::ClassRegistry::shared().unregisterClass("SKOverlay");
  EXPECT_EQ(replies(overlayQuery("createOverlay", kOverlay)),
            std::vector<std::string>{"ko option 1 errMsg=Overlay is nil"});
  EXPECT_EQ(QBNOverlaysHolder::sharedHolder().heldOverlaysCount(), 0u);
}

TEST_F(OverlayTest, TheHolderKeepsAtMostItsCapOfIds) {
  const size_t cap = QBNOverlaysHolder::kMaxHeldOverlays;
  for (size_t i = 0; i < cap; ++i) {
    send(overlayQuery("createOverlay", Json{{"overlayId", "o" + std::to_string(i)}, {"advertisedAppId", "1"}}));
  }
  env.runUntilIdle();
  EXPECT_EQ(publisher->page->takeLines(), std::vector<std::string>(cap, "ok option 1"));
  const std::string refused =
      "ko option 1 errMsg=Too many overlays held (" + std::to_string(cap) + "): remove one before creating another";
  EXPECT_EQ(replies(overlayQuery("createOverlay", Json{{"overlayId", "new"}, {"advertisedAppId", "1"}})),
            std::vector<std::string>{refused});
  EXPECT_EQ(replies(overlayQuery("createOverlay", Json{{"overlayId", "o0"}, {"advertisedAppId", "2"}})),
            std::vector<std::string>{"ok option 1"})
      << "a held id is replaced";
  replies(overlayQuery("removeOverlay", Json{{"overlayId", "o1"}}));
  EXPECT_EQ(replies(overlayQuery("createOverlay", Json{{"overlayId", "new"}, {"advertisedAppId", "1"}})),
            std::vector<std::string>{"ok option 1"});
  EXPECT_EQ(QBNOverlaysHolder::sharedHolder().heldOverlaysCount(), cap);
}

}  // namespace
