// Ad sessions and their registry: each session event once and in order, the
// registry's observer calls as sessions start and finish, a view moving
// between sessions, friendly obstructions, error reports and the container
// that holds a session's ad.
#include <thread>

#include "measurement/sdk/OMIDQuilbrnError.h"
#include "platform/ui/view.h"
#include "session_support.h"

namespace measurementtest {
namespace {

namespace C = OMIDQuilbrnErrorCode;
using platform::View;
using platform::Window;
using platform::WindowScene;

// Records what a session tells its delegate (in place of the registry).
class RecordingSessionDelegate : public OMIDQuilbrnAdSessionDelegate {
 public:
  void adSessionDidStart(const std::shared_ptr<OMIDQuilbrnAdSession>&) override { calls.push_back("start"); }
  void adSessionDidFinish(const std::shared_ptr<OMIDQuilbrnAdSession>&) override { calls.push_back("finish"); }
  void adSession(const std::shared_ptr<OMIDQuilbrnAdSession>&, const std::shared_ptr<View>&) override {
    calls.push_back("view");
  }
  std::vector<std::string> calls;
};

TEST_F(SessionTest, EachSessionEventOnceAfterInit) {
  auto observer = std::make_shared<RecordingRegistryObserver>();
  registry()->addStateObserver(observer);
  auto session = nativeSession();
  ASSERT_TRUE(session);
  EXPECT_EQ(registry()->adSessions(), std::vector{session});
  EXPECT_TRUE(registry()->activeAdSessions().empty());
  session->start();
  session->start();
  EXPECT_EQ(registry()->activeAdSessions(), std::vector{session});
  session->finish();
  session->finish();
  session->start();
  EXPECT_EQ(commands(*session),
            (std::vector<std::string>{"init", "setDeviceVolume", "startSession", "setState", "finishSession"}));
  EXPECT_TRUE(registry()->adSessions().empty());
  EXPECT_TRUE(registry()->activeAdSessions().empty());
  EXPECT_EQ(observer->calls, (std::vector<std::string>{"active", "session " + session->identifier(), "resign"}));

  const Json startArgs = record(*session)[2]["args"];
  EXPECT_EQ(startArgs[0], session->identifier());
  EXPECT_EQ(startArgs[1]["adSessionType"], "native");
  EXPECT_EQ(startArgs[1]["omidNativeInfo"], (Json{{"partnerName", "Quilbrn"}, {"partnerVersion", "7"}}));
  EXPECT_EQ(startArgs[2], (Json{{"vendor-a", "{\"tag\":\"a\"}"}}));
  EXPECT_EQ(record(*session)[1]["args"], Json::array({0.5}));
  // The volume published before the start reaches the verification scripts
  // right after "sessionStart".
  EXPECT_EQ(eventTypes(*session), (std::vector<std::string>{"sessionStart", "volume", "state", "sessionFinish"}));
}

TEST_F(SessionTest, MissingContextOrConfiguration) {
  platform::Error error;
  EXPECT_FALSE(OMIDQuilbrnAdSession::initWithConfiguration(configuration(), nullptr, &error));
  EXPECT_EQ(error.code, C::NoContext);
  EXPECT_EQ(error.message, "Context can not be nil.");
  EXPECT_FALSE(OMIDQuilbrnAdSession::initWithConfiguration(configuration(), nullptr, nullptr));
  // A session without a configuration reports every owner as none.
  auto session = nativeSession(nullptr);
  ASSERT_TRUE(session);
  EXPECT_EQ(record(*session)[0]["args"],
            Json::array({{{"impressionOwner", "none"}, {"videoEventsOwner", "none"}, {"isolateVerificationScripts", false}}}));
}

// The first session started makes the registry active and starts the SDK (the
// state watcher, and the tree walker while the application is active); a
// second one does not start it again; the last one finished stops it.
TEST_F(SessionTest, RegistryBecomesActiveOnceAndResignsWithTheLastSession) {
  auto observer = std::make_shared<RecordingRegistryObserver>();
  registry()->addStateObserver(observer);
  auto first = nativeSession();
  auto second = nativeSession();
  first->start();
  second->start();
  EXPECT_TRUE(registry()->isActive());
  EXPECT_EQ(walker->calls, std::vector<std::string>{"start"});
  first->finish();
  EXPECT_TRUE(registry()->isActive());
  second->finish();
  EXPECT_FALSE(registry()->isActive());
  EXPECT_EQ(observer->calls, (std::vector<std::string>{"active", "session " + first->identifier(),
                                                       "session " + second->identifier(), "resign"}));
  EXPECT_EQ(walker->calls, (std::vector<std::string>{"start", "stop"}));
  // The SDK observes the registry once, however often it is activated.
  EXPECT_TRUE(OMIDQuilbrnSDK::sharedInstance()->activate());
  EXPECT_EQ(registry()->observers().size(), 2u);
  // Stopped: the application's notices reach nobody.
  ASSERT_TRUE(platform::Application::shared().resignActive());
  EXPECT_EQ(walker->calls.size(), 2u);
  // A session the application lets go of before it starts leaves the registry.
  auto unstarted = nativeSession();
  EXPECT_EQ(registry()->adSessions().size(), 1u);
  unstarted.reset();
  EXPECT_TRUE(registry()->adSessions().empty());
}

// One view is measured by one session: registering it with a second session
// takes it from the first; setting the same view again changes nothing.
TEST_F(SessionTest, MainAdViewMovesBetweenSessions) {
  auto window = std::make_shared<Window>(platform::Rect::make(0, 0, 320, 480));
  auto adView = std::make_shared<View>(platform::Rect::make(0, 0, 320, 50));
  window->addSubview(adView);
  auto first = nativeSession();
  auto second = nativeSession();
  first->setMainAdView(adView);
  EXPECT_EQ(first->mainAdView(), adView);
  second->setMainAdView(adView);
  EXPECT_EQ(second->mainAdView(), adView);
  EXPECT_FALSE(first->mainAdView());

  // The same view again: the state publisher's gate stays, the registry hears
  // nothing.
  auto delegate = std::make_shared<RecordingSessionDelegate>();
  second->setDelegate(delegate);
  const double gate = second->statePublisher()->timestamp();
  env.advance(1000);
  second->setMainAdView(adView);
  EXPECT_EQ(second->statePublisher()->timestamp(), gate);
  EXPECT_TRUE(delegate->calls.empty());
  // Another view moves the gate to now and is registered; none moves it too.
  auto other = std::make_shared<View>();
  second->setMainAdView(other);
  // (Reads within one millisecond are a microsecond apart.)
  EXPECT_NEAR(second->statePublisher()->timestamp(), gate + 1, 0.001);
  env.advance(1000);
  second->setMainAdView(nullptr);
  EXPECT_NEAR(second->statePublisher()->timestamp(), gate + 2, 0.001);
  EXPECT_EQ(delegate->calls, std::vector<std::string>{"view"});
  // After the finish the view stays as it was.
  second->setMainAdView(other);
  second->finish();
  second->setMainAdView(adView);
  EXPECT_EQ(second->mainAdView(), other);
}

TEST_F(SessionTest, FriendlyObstructionChecks) {
  auto session = nativeSession();
  auto closeButton = std::make_shared<View>();
  auto controls = std::make_shared<View>();
  auto spare = std::make_shared<View>();
  const std::string fifty(50, 'a');
  struct Case {
    const char* what;
    std::shared_ptr<View> view;
    std::optional<std::string> reason;
    bool offMain;
    bool added;
    int code;  // 0: no error
  };
  const std::vector<Case> cases = {
      {"no view", nullptr, "x!", false, false, C::NoFriendlyObstruction},
      {"51 units", spare, fifty + "b", false, false, C::BadDetailedReason},
      {"empty reason", spare, "", false, false, C::BadDetailedReason},
      {"punctuation", spare, "close button!", false, false, C::BadDetailedReason},
      {"not ASCII", spare, "ferm\xC3\xA9", false, false, C::BadDetailedReason},
      {"a bad reason before the thread", spare, "x-y", true, false, C::BadDetailedReason},
      {"off the main thread", spare, "Close 1", true, false, C::NotOnMainThread},
      {"50 units", closeButton, fifty, false, true, 0},
      {"again the same view", closeButton, "other reason", false, false, 0},
      {"no reason", controls, std::nullopt, false, true, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const auto add = [&](platform::Error* error) {
      bool added = false;
      const auto call = [&] {
        added = session->addFriendlyObstruction(c.view, OMIDQuilbrnFriendlyObstructionCloseAd, c.reason, error);
      };
      if (c.offMain) {
        std::thread worker(call);
        worker.join();
      } else {
        call();
      }
      return added;
    };
    platform::Error error;
    EXPECT_EQ(add(&error), c.added);
    EXPECT_EQ(error.code, c.code);
    if (c.code != 0) {
      EXPECT_EQ(error.domain, "com.omid.library");
      EXPECT_EQ(error.message, OMIDQuilbrnError::messageForCode(c.code));
      EXPECT_FALSE(add(nullptr));  // without an error out-pointer the call still fails
    }
  }
  auto list = session->friendlyObstructions();
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[0]->obstructionView(), closeButton);
  EXPECT_EQ(list[0]->obstructionViewClass(), "platform::View");
  EXPECT_EQ(list[0]->purpose(), OMIDQuilbrnFriendlyObstructionCloseAd);
  EXPECT_EQ(list[0]->detailedReason(), fifty);
  EXPECT_EQ(list[1]->obstructionView(), controls);
  EXPECT_FALSE(list[1]->detailedReason());
  list.clear();

  // An obstruction whose view died leaves the list.
  auto doomed = std::make_shared<View>();
  EXPECT_TRUE(session->addFriendlyObstruction(doomed, 0, std::nullopt, nullptr));
  EXPECT_EQ(session->friendlyObstructions().size(), 3u);
  doomed.reset();
  EXPECT_EQ(session->friendlyObstructions().size(), 2u);
  session->removeFriendlyObstruction(spare);  // not registered
  session->removeFriendlyObstruction(closeButton);
  ASSERT_EQ(session->friendlyObstructions().size(), 1u);
  EXPECT_EQ(session->friendlyObstructions()[0]->obstructionView(), controls);
  session->removeAllFriendlyObstructions();
  EXPECT_TRUE(session->friendlyObstructions().empty());
  // After the finish: refused without an error, and the list stays.
  EXPECT_TRUE(session->addFriendlyObstruction(closeButton, 0, std::nullopt, nullptr));
  session->finish();
  platform::Error error;
  EXPECT_FALSE(session->addFriendlyObstruction(spare, 0, std::nullopt, &error));
  EXPECT_EQ(error.code, 0);
  session->removeAllFriendlyObstructions();
  EXPECT_EQ(session->friendlyObstructions().size(), 1u);
}

TEST_F(SessionTest, ErrorsReachTheScriptUntilTheFinish) {
  auto session = nativeSession();
  session->logErrorWithType(OMIDQuilbrnErrorTypeVideo, "decoder 'failed'\n");
  session->logErrorWithType(OMIDQuilbrnErrorTypeGeneric, "");
  session->start();
  session->logErrorWithType(OMIDQuilbrnErrorTypeGeneric, "late");
  session->finish();
  session->logErrorWithType(OMIDQuilbrnErrorTypeGeneric, "after the finish");
  EXPECT_EQ(argumentsOf(record(*session), "error"),
            Json::parse(R"([["video","decoder 'failed'\n"],["generic","late"]])"));
}

// The container of a session's ad: the application, unless the application
// shows several scenes on system 13 or later; then the scene of the ad view's
// window, else the one connected scene, else none.
TEST_F(SessionTest, WindowContainerFollowsScenes) {
  auto session = nativeSession();
  auto& application = platform::Application::shared();
  auto sceneA = WindowScene::create("a");
  auto sceneB = WindowScene::create("b");
  auto window = std::make_shared<Window>();
  auto adView = std::make_shared<View>();
  window->addSubview(adView);
  session->setMainAdView(adView);
  EXPECT_TRUE(session->windowContainer().isApplication());

  application.setSupportsMultipleScenes(true);
  platform::DeviceFacts facts = platform::deviceFacts().facts();
  facts.osVersion = "12.4";
  platform::setDeviceFactsForTesting(facts);
  EXPECT_TRUE(session->windowContainer().isApplication());
  facts.osVersion = "13.0";
  platform::setDeviceFactsForTesting(facts);
  EXPECT_FALSE(session->windowContainer());  // no scene at all
  ASSERT_TRUE(application.connectScene(sceneA));
  EXPECT_EQ(session->windowContainer(), OMIDQuilbrnWindowContainer::scene(sceneA));  // the only one
  ASSERT_TRUE(application.connectScene(sceneB));
  EXPECT_FALSE(session->windowContainer());  // two, and the window has none
  window->setWindowScene(sceneB);
  EXPECT_EQ(session->windowContainer(), OMIDQuilbrnWindowContainer::scene(sceneB));
  EXPECT_FALSE(session->windowContainer() == OMIDQuilbrnWindowContainer::scene(WindowScene::create("b")));
}

}  // namespace
}  // namespace measurementtest
