// The state publishers, the state watcher, the activity monitor and the SDK's
// start/stop switch: commands under a comma-decimal locale, the timestamp
// gate, one state once per container, the application's and the scenes'
// states, the volume and the last activity.
#include <clocale>
#include <cstdlib>
#include <locale>

#include "measurement/state/OMIDQuilbrnActivityMonitor.h"
#include "measurement/state/OMIDQuilbrnStatePublisher.h"
#include "platform/storage.h"
#include "platform/ui/view.h"
#include "session_support.h"
#include "support/temp_dir.h"

namespace measurementtest {
namespace {

using platform::WindowScene;

// A comma-decimal locale for the C library (compiled with localedef into a
// temporary folder) and for the C++ streams, put back at the end.
class CommaDecimalLocale {
 public:
  CommaDecimalLocale() : previousCpp_(std::locale::global(std::locale(std::locale::classic(), new Comma))) {
    const char* previous = std::setlocale(LC_NUMERIC, nullptr);
    previousC_ = previous ? previous : "C";
    const std::string definition = dir_.path() + "/comma";
    (void)platform::writeFileAtomically(definition,
                        "LC_NUMERIC\ndecimal_point \"<U002C>\"\nthousands_sep \"<U002E>\"\ngrouping 3;3\nEND LC_NUMERIC\n");
    const std::string command = "localedef -c -i " + definition + " -f UTF-8 " + dir_.path() + "/comma.UTF-8 >/dev/null 2>&1";
    (void)std::system(command.c_str());
    setenv("LOCPATH", dir_.path().c_str(), 1);
    cInstalled_ = std::setlocale(LC_NUMERIC, "comma.UTF-8") != nullptr;
  }
  ~CommaDecimalLocale() {
    std::setlocale(LC_NUMERIC, previousC_.c_str());
    unsetenv("LOCPATH");
    std::locale::global(previousCpp_);
  }
  // Whether the C library's numbers now have a decimal comma.
  bool cInstalled() const { return cInstalled_; }

 private:
  struct Comma : std::numpunct<char> {
    char do_decimal_point() const override { return ','; }
  };
  qbtest::TempDir dir_;
  std::locale previousCpp_;
  std::string previousC_;
  bool cInstalled_ = false;
};

// The command a session state publisher sends, through a recording bridge.
class StatePublisherCommands : public SessionTest {
 protected:
  std::shared_ptr<RecordingExecutor> executor = std::make_shared<RecordingExecutor>(true);
  std::shared_ptr<OMIDQuilbrnAdSessionStatePublisher> publisher =
      OMIDQuilbrnAdSessionStatePublisher::initWithCommandPublisher(OMIDQuilbrnBridge::initWithJSExecutor(executor));
};

std::string command(const std::string& call) {
  return "(function(){if(this.omidBridge!==undefined){this.omidBridge." + call + "}})()";
}

// Under a comma-decimal locale the volume is still "0.50", one argument.
TEST_F(StatePublisherCommands, NumbersKeepTheirPointUnderACommaLocale) {
  CommaDecimalLocale comma;
  char printed[16];
  std::snprintf(printed, sizeof printed, "%.2f", 0.5);
  if (comma.cInstalled()) {
    EXPECT_STREQ(printed, "0,50");  // the locale is really in force
  }
  publisher->publishDeviceVolume(0.5);
  publisher->publishDeviceVolume(1);
  publisher->publishDeviceVolume(0.125);
  publisher->publishDeviceVolume(0);
  publisher->publishLastActivity(1500);
  publisher->publishAppState("backgrounded");
  EXPECT_EQ(executor->scripts(), (std::vector<std::string>{
                                     command("setDeviceVolume(0.50)"), command("setDeviceVolume(1.00)"),
                                     command("setDeviceVolume(0.12)"), command("setDeviceVolume(0.00)"),
                                     command("setLastActivity({\"timestamp\":1500})"),
                                     command("setState('backgrounded')")}));
  auto service = serviceContext();
  for (const auto& script : executor->scripts()) ASSERT_TRUE(service->evaluate(script).ok());
  const Json record = scriptJson(*service, "omidService.record()");
  EXPECT_EQ(record[0]["args"], Json::array({0.5}));
  EXPECT_EQ(record[4]["args"], Json::parse(R"([{"timestamp":1500}])"));
  // JSON arguments too.
  auto session = nativeSession();
  session->bridge()->publishMediaEventWithName("volumeChange", Json{{"mediaPlayerVolume", 0.25}});
  EXPECT_EQ(this->record(*session).back()["args"], Json::parse(R"(["volumeChange",{"mediaPlayerVolume":0.25}])"));
}

// Only states taken after the gate (creation, or the last change of the ad
// view) are sent; an equal timestamp is dropped.
TEST_F(StatePublisherCommands, ViewStatesPassTheTimestampGate) {
  const double gate = publisher->timestamp();
  EXPECT_EQ(gate, 1'760'000'000.0);
  publisher->publishNativeViewStateWithHierarchy("{\"x\":1}", gate);
  publisher->publishNativeViewStateWithHierarchy("{\"x\":2}", gate + 0.001);
  publisher->publishNativeViewStateWithHierarchy(std::nullopt, gate + 0.002);
  env.advance(5000);
  publisher->cleanupAdState();
  publisher->publishNativeViewStateWithHierarchy("{\"x\":3}", gate + 4.9);
  publisher->publishNativeViewStateWithHierarchy("{\"x\":4}", gate + 5.5);
  EXPECT_EQ(executor->scripts(),
            (std::vector<std::string>{command("setNativeViewHierarchy({\"x\":2})"),
                                      command("error('generic','Bad view hierarchy data for OMID geometry event')"),
                                      command("setNativeViewHierarchy({\"x\":4})")}));
}

// The SDK's state publisher: text is made off the main thread, and a
// container's sessions hear a state once, as long as it does not change.
TEST_F(SessionTest, StatePublisherSendsEachContainersStateOnceWhileUnchanged) {
  auto publisher = OMIDQuilbrnStatePublisher::initWithAdSessionRegistry(
      registry(), platform::createSerialQueue(OMIDQuilbrnStatePublisher::kQueueLabel));
  auto first = nativeSession();
  auto second = nativeSession();
  auto outsider = nativeSession();
  first->start();
  second->start();
  outsider->start();
  outsider->setLastPublishedViewStateWasPopulated(false);
  const auto app = OMIDQuilbrnWindowContainer::application();
  const double later = first->statePublisher()->timestamp() + 1;
  const Json state = {{"x", 0}, {"childViews", Json::array({{{"adSessionId", first->identifier()}}})}};
  publisher->publishState(state, {first->identifier(), second->identifier()}, later, app);
  publisher->publishState(state, {first->identifier(), second->identifier()}, later + 1, app);  // unchanged
  publisher->publishState(Json{{"x", std::nan("")}}, {first->identifier()}, later + 2, app);   // no JSON text
  env.runUntilIdle();
  const auto hierarchies = [&](OMIDQuilbrnAdSession& session) {
    return argumentsOf(record(session), "setNativeViewHierarchy", true);
  };
  EXPECT_EQ(hierarchies(*first), Json::array({state}));
  EXPECT_EQ(hierarchies(*second), Json::array({state}));
  EXPECT_EQ(hierarchies(*outsider), Json::array());
  EXPECT_FALSE(outsider->lastPublishedViewStateWasPopulated());
  EXPECT_EQ(publisher->publishedStateForContainer(app), platform::dumpJson(state));

  // A changed state goes out; forgetting the container's text sends the same
  // state again; states come in the order they were published.
  for (int i = 1; i <= 20; ++i) publisher->publishState(Json{{"x", i}}, {first->identifier()}, later + 3, app);
  env.runUntilIdle();
  publisher->cleanupCacheForContainer(app);
  publisher->publishState(Json{{"x", 20}}, {first->identifier()}, later + 4, app);
  env.runUntilIdle();
  Json expected = Json::array({state});
  for (int i = 1; i <= 20; ++i) expected.push_back(Json{{"x", i}});
  expected.push_back(Json{{"x", 20}});
  EXPECT_EQ(hierarchies(*first), expected);

  // A session in another container hears nothing of this container's state,
  // even when named.
  const auto [sceneA, sceneB] = twoScenes();
  auto window = placeIn(*outsider, sceneB);
  const Json same = {{"same", true}};
  publisher->publishState(same, {first->identifier(), outsider->identifier()}, later + 10,
                          OMIDQuilbrnWindowContainer::scene(sceneA));
  publisher->publishState(same, {first->identifier(), outsider->identifier()}, later + 10,
                          OMIDQuilbrnWindowContainer::scene(sceneB));
  env.runUntilIdle();
  EXPECT_EQ(hierarchies(*outsider), Json::array({same}));  // once: its own container's
  EXPECT_TRUE(outsider->lastPublishedViewStateWasPopulated());
  EXPECT_EQ(hierarchies(*first).size(), expected.size());  // its container is neither scene
  publisher->cleanupCaches();
  EXPECT_FALSE(publisher->publishedStateForContainer(OMIDQuilbrnWindowContainer::scene(sceneA)));
}

// Background and foreground: the container's sessions hear "setState", the
// SDK pauses and restarts the tree walker; a second resign changes nothing;
// the activation is an activity.
TEST_F(SessionTest, ApplicationStateReachesSessionsAndTheWalker) {
  auto& application = platform::Application::shared();
  auto session = nativeSession();
  session->start();
  ASSERT_TRUE(application.enterBackground());  // will resign, then did enter background
  EXPECT_FALSE(application.resignActive());
  OMIDQuilbrnSDK::sharedInstance()->stateWatcher()->updateWithAppState(OMIDQuilbrnAppStateBackgrounded,
                                                                       OMIDQuilbrnWindowContainer::application());
  env.advance(2500);
  ASSERT_TRUE(application.enterForeground());
  env.advance(500);
  ASSERT_TRUE(application.resignActive());
  ASSERT_TRUE(application.becomeActive());
  const Json all = record(*session);
  EXPECT_EQ(argumentsOf(all, "setState", true),
            Json::parse(R"(["foregrounded","backgrounded","foregrounded","backgrounded","foregrounded"])"));
  EXPECT_EQ(argumentsOf(all, "setLastActivity", true),
            Json::parse(R"([{"timestamp":1760000002500},{"timestamp":1760000003000}])"));
  EXPECT_EQ(walker->calls, (std::vector<std::string>{"start", "pause", "start", "pause", "start"}));
  // A session started now hears the last activity and the current state.
  auto late = nativeSession();
  late->start();
  EXPECT_EQ(commands(*late), (std::vector<std::string>{"init", "setLastActivity", "setDeviceVolume", "startSession",
                                                       "setState"}));
}

// The activity monitor keeps only later dates.
TEST_F(SessionTest, ActivityIsRecordedOnlyWhenLater) {
  auto monitor = OMIDQuilbrnSDK::sharedInstance()->activityMonitor();
  ASSERT_TRUE(monitor->isStarted());
  EXPECT_FALSE(monitor->lastActivityDate());
  auto session = nativeSession();
  session->start();
  OMIDQuilbrnSDK::sharedInstance()->updateLastActivity();
  OMIDQuilbrnSDK::sharedInstance()->updateLastActivity();  // the same time
  env.setWallMs(1'759'000'000'000);
  OMIDQuilbrnSDK::sharedInstance()->updateLastActivity();  // earlier
  EXPECT_EQ(monitor->lastActivityDate(), 1'760'000'000'000);
  env.setWallMs(1'760'000'000'001);
  OMIDQuilbrnSDK::sharedInstance()->updateLastActivity();
  EXPECT_EQ(argumentsOf(record(*session), "setLastActivity", true),
            Json::parse(R"([{"timestamp":1760000000000},{"timestamp":1760000000001}])"));
}

// With scenes, each scene is a container: its sessions hear its state, and
// the application counts as active while any scene is.
TEST_F(SessionTest, ScenesAreContainersOfTheirOwn) {
  auto& application = platform::Application::shared();
  const auto [sceneA, sceneB] = twoScenes();
  ASSERT_TRUE(sceneA->activate());
  ASSERT_TRUE(sceneB->activate());
  auto inA = nativeSession();
  auto inB = nativeSession();
  auto windowA = placeIn(*inA, sceneA);
  auto windowB = placeIn(*inB, sceneB);
  inA->start();
  inB->start();
  ASSERT_TRUE(sceneA->deactivate());  // B stays active: the application still counts as active
  ASSERT_TRUE(sceneA->enterBackground());
  ASSERT_TRUE(sceneB->deactivate());  // now none is
  ASSERT_TRUE(sceneB->activate());
  // A scene that connects later is cached silently; its first activation
  // counts as a change from backgrounded.
  auto sceneC = WindowScene::create("c");
  ASSERT_TRUE(application.connectScene(sceneC));
  ASSERT_TRUE(sceneC->activate());
  ASSERT_TRUE(application.disconnectScene(sceneC));
  const auto states = [&](OMIDQuilbrnAdSession& session) { return argumentsOf(record(session), "setState", true); };
  EXPECT_EQ(states(*inA), Json::parse(R"(["foregrounded","backgrounded"])"));
  EXPECT_EQ(states(*inB), Json::parse(R"(["foregrounded","backgrounded","foregrounded"])"));
  EXPECT_EQ(walker->calls, (std::vector<std::string>{"start", "start", "pause", "start", "start"}));
}

// Started while the application is inactive: the watcher runs, the walker
// waits for the activation.
TEST_F(SessionTest, WalkerWaitsForAnActiveApplication) {
  auto& application = platform::Application::shared();
  ASSERT_TRUE(application.resignActive());
  auto session = nativeSession();
  session->start();
  EXPECT_TRUE(walker->calls.empty());
  EXPECT_EQ(record(*session).back()["args"], Json::array({"backgrounded"}));
  ASSERT_TRUE(application.becomeActive());
  EXPECT_EQ(walker->calls, std::vector<std::string>{"start"});
  EXPECT_EQ(commands(*session).back(), "setState");
  EXPECT_EQ(OMIDQuilbrnSDK::sharedInstance()->activityMonitor()->lastActivityDate(), 1'760'000'000'000);
}

}  // namespace
}  // namespace measurementtest
