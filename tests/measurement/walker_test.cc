// The tree walker on synthetic view trees: what each session's script hears
// ("setNativeViewHierarchy"), compared structurally; the reasons an ad view
// cannot be seen; which views a walk leaves out; obstructions; drawing order
// (NaN zPositions included); the windows it skips; the tick on the test clock.
#include <cmath>
#include <limits>
#include <nlohmann/json.hpp>

#include "measurement/state/OMIDQuilbrnStatePublisher.h"
#include "measurement/walker/OMIDQuilbrnNodeProcessor.h"
#include "measurement/walker/OMIDQuilbrnTreeWalker.h"
#include "platform/ui/view.h"
#include "session_support.h"

namespace measurementtest {
namespace {

using platform::Rect;
using platform::View;
using platform::Window;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// Key order is no part of a state: compare as sorted objects.
nlohmann::json sorted(const Json& value) { return nlohmann::json::parse(value.dump()); }

Json frame(double x, double y, double width, double height, bool clips = false) {
  return Json{{"x", x}, {"y", y}, {"width", width}, {"height", height}, {"clipsToBounds", clips}};
}
Json with(Json state, const Json& more) {
  for (const auto& [key, value] : more.items()) state[key] = value;
  return state;
}
Json children(Json state, const std::vector<Json>& childViews) {
  state["childViews"] = Json(childViews);
  return state;
}
// The root state of the main screen (390 x 844).
Json screen(const std::vector<Json>& childViews, int noOutputDevice = 0) {
  Json root = with(frame(0, 0, 390, 844, true), {{"noOutputDevice", noOutputDevice}});
  return childViews.empty() ? root : children(root, childViews);
}

std::shared_ptr<View> viewIn(const std::shared_ptr<View>& parent, Rect rect, double zPosition = 0) {
  auto view = std::make_shared<View>(rect);
  view->layer().zPosition = zPosition;
  parent->addSubview(view);
  return view;
}

class TreeWalkerTest : public SessionTest {
 protected:
  TreeWalkerTest() {
    OMIDQuilbrnTreeWalkerP::setFactoryForTesting(nullptr);
    OMIDQuilbrnSDK::sharedInstance()->resetForTesting();
    OMIDQuilbrnSDK::sharedInstance()->activate();
    platform::Application::shared().addWindow(window);
  }

  std::shared_ptr<OMIDQuilbrnTreeWalker> treeWalker() {
    return std::dynamic_pointer_cast<OMIDQuilbrnTreeWalker>(OMIDQuilbrnSDK::sharedInstance()->treeWalker());
  }
  // A started native session measuring `adView`.
  std::shared_ptr<OMIDQuilbrnAdSession> measuring(const std::shared_ptr<View>& adView) {
    auto session = nativeSession();
    if (adView) session->setMainAdView(adView);
    session->start();
    env.runUntilIdle();
    return session;
  }
  Json hierarchies(const OMIDQuilbrnAdSession& session) {
    return argumentsOf(record(session), "setNativeViewHierarchy", true);
  }
  // The state the session heard last, sorted.
  nlohmann::json lastState(const OMIDQuilbrnAdSession& session) {
    const Json all = hierarchies(session);
    return all.empty() ? nlohmann::json() : sorted(all.back());
  }
  // `n` ticks of the walker's timer, each with what it sends.
  void ticks(int n) {
    for (int i = 0; i < n; ++i) {
      env.advance(200);
      env.runUntilIdle();
    }
  }
  // One more walk, a millisecond later.
  void walk() {
    env.advance(1);
    treeWalker()->updateTreeState();
    env.runUntilIdle();
  }

  std::shared_ptr<Window> window = std::make_shared<Window>(Rect::make(0, 0, 390, 844));
};

// Counts what each walk reports.
class TimeLogger : public OMIDQuilbrnTreeWalkerTimeLogger {
 public:
  void didProcessObjectsCount(unsigned count, double milliseconds) override {
    reports.emplace_back(count, milliseconds);
  }
  std::vector<std::pair<unsigned, double>> reports;
};

TEST_F(TreeWalkerTest, WalksOnlyWhatLiesOnAndAboveTheAdViewsPath) {
  auto below = viewIn(window, Rect::make(0, 0, 390, 844));
  viewIn(below, Rect::make(0, 0, 10, 10));
  auto container = viewIn(window, Rect::make(10, 20, 300, 400));
  container->setClipsToBounds(true);
  viewIn(container, Rect::make(0, 0, 10, 10));  // under the ad view
  auto ad = viewIn(container, Rect::make(5, 5, 100, 50));
  viewIn(ad, Rect::make(0, 0, 10, 10));  // the ad's own content
  viewIn(container, Rect::make(0, 0, 20, 20));
  auto above = viewIn(window, Rect::make(0, 700, 390, 144));
  auto close = viewIn(above, Rect::make(350, 0, 40, 40));
  viewIn(close, Rect::make(1, 1, 2, 2));
  viewIn(above, Rect::make(0, 0, 5, 5))->setHidden(true);
  viewIn(above, Rect::make(0, 0, 6, 6))->setAlpha(0);
  viewIn(above, Rect::make(0, 0, 7, 7))->setAlpha(kNaN);  // not exactly 0: walked

  auto session = nativeSession();
  session->setMainAdView(ad);
  ASSERT_TRUE(session->addFriendlyObstruction(close, OMIDQuilbrnFriendlyObstructionCloseAd, "close button", nullptr));
  ASSERT_TRUE(session->addFriendlyObstruction(ad, OMIDQuilbrnFriendlyObstructionOther, std::nullopt, nullptr));
  auto logger = std::make_shared<TimeLogger>();
  treeWalker()->setTimeLogger(logger);
  session->start();  // the first session starts the SDK, which walks at once
  env.runUntilIdle();

  const Json closeState = with(frame(350, 700, 40, 40), {{"isFriendlyObstructionFor", {session->identifier()}},
                                                        {"friendlyObstructionClass", "platform::View"},
                                                        {"friendlyObstructionPurpose", "CLOSE_AD"},
                                                        {"friendlyObstructionReason", "close button"}});
  const Json expected = screen({children(
      frame(0, 0, 390, 844),
      {children(frame(10, 20, 300, 400, true),
                {with(frame(15, 25, 100, 50), {{"adSessionId", session->identifier()}}), frame(10, 20, 20, 20)}),
       children(frame(0, 700, 390, 144), {children(closeState, {frame(351, 701, 2, 2)}), frame(0, 700, 7, 7)})})});
  ASSERT_EQ(hierarchies(*session).size(), 1u);
  EXPECT_EQ(lastState(*session), sorted(expected));
  // Window, container, ad, the view over it, the bar, the button, its
  // content and the NaN-alpha view.
  ASSERT_FALSE(logger->reports.empty());
  EXPECT_EQ(logger->reports.back(), std::make_pair(8u, 0.0));
  treeWalker()->pause();
  EXPECT_EQ(logger->reports.back(), std::make_pair(0u, 0.0));
}

// Each reason, with the frame of the ad view on the screen (zero when it has
// no window, or there is no ad view), in a root state of its own.
TEST_F(TreeWalkerTest, SessionsThatCannotBeSeenNameTheReason) {
  struct Case {
    const char* name;
    std::function<std::shared_ptr<View>(const std::shared_ptr<View>& parent)> place;  // the ad view
    const char* reason;
    Json frame;
  };
  const std::vector<Case> cases = {
      {"no ad view", [](const auto&) { return nullptr; }, "noAdView", frame(0, 0, 0, 0)},
      {"hidden ancestor",
       [](const auto& parent) {
         auto middle = viewIn(parent, Rect::make(10, 10, 200, 200));
         middle->setHidden(true);
         return viewIn(middle, Rect::make(5, 5, 50, 50));
       },
       "viewHidden", frame(15, 115, 50, 50)},
      {"hidden ad view",
       [](const auto& parent) {
         auto ad = viewIn(parent, Rect::make(1, 2, 3, 4));
         ad->setHidden(true);
         return ad;
       },
       "viewHidden", frame(1, 102, 3, 4)},
      {"transparent ancestor",
       [](const auto& parent) {
         auto middle = viewIn(parent, Rect::make(10, 10, 200, 200));
         middle->setAlpha(0);
         return viewIn(middle, Rect::make(5, 5, 50, 50));
       },
       "viewAlphaZero", frame(15, 115, 50, 50)},
      {"no window", [](const auto&) { return std::make_shared<View>(Rect::make(5, 5, 50, 50)); }, "notAttached",
       frame(0, 0, 0, 0)},
  };
  window->setFrame(Rect::make(0, 100, 390, 744));
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto parent = viewIn(window, Rect::make(0, 0, 390, 744));
    auto adView = c.place(parent);
    auto session = measuring(adView);
    const Json child = with(c.frame, {{"adSessionId", session->identifier()},
                                      {"notVisibleReason", c.reason},
                                      {"noOutputDevice", 0}});
    EXPECT_EQ(lastState(*session), sorted(screen({child})));
    session->finish();
    parent->removeFromSuperview();
    env.runUntilIdle();
  }
}

// An ad view that leaves its window becomes "notAttached".
TEST_F(TreeWalkerTest, AnAdViewTakenOutOfItsWindowIsNotAttached) {
  auto ad = viewIn(window, Rect::make(0, 0, 50, 50));
  auto session = measuring(ad);
  EXPECT_EQ(lastState(*session)["childViews"][0]["childViews"][0]["adSessionId"], session->identifier());
  ad->removeFromSuperview();
  walk();
  EXPECT_EQ(lastState(*session)["childViews"][0]["notVisibleReason"], "notAttached");
}

// Frames are in screen coordinates: the window's place, every ancestor's
// offset, a scrolled bounds origin and a transform.
TEST_F(TreeWalkerTest, FramesAreOnTheScreen) {
  window->setFrame(Rect::make(0, 100, 390, 744));
  auto scroller = viewIn(window, Rect::make(10, 10, 300, 600));
  scroller->setBounds(Rect::make(0, 50, 300, 600));  // scrolled down by 50
  auto scaled = viewIn(scroller, Rect::make(0, 100, 100, 100));
  scaled->setTransform(platform::AffineTransform::scale(2, 2));  // about its centre (50, 150)
  auto ad = viewIn(scaled, Rect::make(0, 0, 10, 10));
  auto session = measuring(ad);
  const Json expected = screen({children(
      frame(0, 100, 390, 744),
      {children(frame(10, 110, 300, 600),
                {children(frame(-40, 110, 200, 200), {with(frame(-40, 110, 20, 20), {{"adSessionId", session->identifier()}})})})})});
  EXPECT_EQ(lastState(*session), sorted(expected));
}

// Subviews in drawing order decide what lies below the ad view: zPositions
// 0, 5, 0 (the ad), -1 are drawn -1, 0, 0 (the ad), 5; a NaN zPosition is
// drawn after every number.
TEST_F(TreeWalkerTest, DrawingOrderFollowsZPositionWithNaNLast) {
  struct Case {
    const char* name;
    std::vector<double> zPositions;  // of the siblings; the ad view is the third
    std::vector<size_t> expected;    // the siblings the state holds, by index, in order
  };
  const std::vector<Case> cases = {
      {"numbers", {0, 5, 0, -1}, {2, 1}},
      {"NaN", {0, kNaN, 0, -1}, {2, 1}},
      {"NaN first", {kNaN, 0, 0, kNaN}, {2, 0, 3}},
      {"all zero", {0, 0, 0, 0}, {2, 3}},
      {"the ad above", {1, 2, 3, -0.0}, {2}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto parent = viewIn(window, Rect::make(0, 0, 390, 844));
    std::vector<std::shared_ptr<View>> siblings;
    for (size_t i = 0; i < c.zPositions.size(); ++i) {
      siblings.push_back(viewIn(parent, Rect::make(static_cast<double>(i), 0, 1, 1), c.zPositions[i]));
    }
    auto session = measuring(siblings[2]);
    std::vector<Json> states;
    for (size_t index : c.expected) {
      Json state = frame(static_cast<double>(index), 0, 1, 1);
      if (index == 2) state["adSessionId"] = session->identifier();
      states.push_back(state);
    }
    EXPECT_EQ(lastState(*session), sorted(screen({children(frame(0, 0, 390, 844), {children(frame(0, 0, 390, 844), states)})})));
    session->finish();
    parent->removeFromSuperview();
    env.runUntilIdle();
  }
  // The processor's order itself: groups ascending, NaN after every number,
  // subview order within a group.
  auto parent = std::make_shared<View>();
  std::vector<std::shared_ptr<View>> views;
  for (double z : {kNaN, 3.0, 0.0, -2.0, kNaN, 3.0, -0.0}) views.push_back(viewIn(parent, {}, z));
  OMIDQuilbrnViewProcessor processor;
  EXPECT_EQ(processor.orderedChildrenForView(parent),
            (std::vector<std::shared_ptr<View>>{views[3], views[2], views[6], views[1], views[5], views[0], views[4]}));
}

// Two sessions registering one view: one array of both identifiers,
// ascending; the class, purpose and reason of the session that started
// first. Each session's own ad view carries its identifier.
TEST_F(TreeWalkerTest, AnObstructionSharedBySessionsNamesThemAll) {
  auto adA = viewIn(window, Rect::make(0, 0, 100, 100));
  auto adB = viewIn(window, Rect::make(0, 100, 100, 100));
  auto shade = viewIn(window, Rect::make(0, 0, 390, 300));
  auto first = nativeSession();
  auto second = nativeSession();
  first->setMainAdView(adA);
  second->setMainAdView(adB);
  ASSERT_TRUE(first->addFriendlyObstruction(shade, OMIDQuilbrnFriendlyObstructionOther, "first", nullptr));
  ASSERT_TRUE(second->addFriendlyObstruction(shade, OMIDQuilbrnFriendlyObstructionMediaControls, "second", nullptr));
  first->start();
  second->start();
  env.runUntilIdle();
  walk();
  std::set<std::string> ids{first->identifier(), second->identifier()};
  const Json expected = screen({children(
      frame(0, 0, 390, 844),
      {with(frame(0, 0, 100, 100), {{"adSessionId", first->identifier()}}),
       with(frame(0, 100, 100, 100), {{"adSessionId", second->identifier()}}),
       with(frame(0, 0, 390, 300), {{"isFriendlyObstructionFor", Json(std::vector<std::string>(ids.begin(), ids.end()))},
                                    {"friendlyObstructionClass", "platform::View"},
                                    {"friendlyObstructionPurpose", "OTHER"},
                                    {"friendlyObstructionReason", "first"}})})});
  EXPECT_EQ(lastState(*first), sorted(expected));
  EXPECT_EQ(lastState(*second), sorted(expected));
}

// Keyboard and text-effects windows and windows of another screen never
// appear; the root state says when the audio route has no output.
TEST_F(TreeWalkerTest, SkipsSystemWindowsAndOtherScreens) {
  auto& application = platform::Application::shared();
  auto keyboard = std::make_shared<platform::RemoteKeyboardWindow>(Rect::make(0, 500, 390, 344));
  auto effects = std::make_shared<platform::TextEffectsWindow>(Rect::make(0, 0, 390, 844));
  auto external = std::make_shared<Window>(Rect::make(0, 0, 1920, 1080));
  external->setScreen(std::make_shared<platform::Screen>());
  for (const std::shared_ptr<Window>& other : std::vector<std::shared_ptr<Window>>{keyboard, effects, external}) {
    viewIn(other, Rect::make(0, 0, 10, 10));
    application.addWindow(other);
  }
  auto ad = viewIn(window, Rect::make(0, 0, 10, 10));
  platform::AudioSession::shared().setRouteOutputs({});
  auto session = measuring(ad);
  EXPECT_EQ(lastState(*session),
            sorted(screen({children(frame(0, 0, 390, 844), {with(frame(0, 0, 10, 10), {{"adSessionId", session->identifier()}})})},
                          1)));
}

// The walk every 0.2 s: an unchanged state is not sent again, a change goes
// out at the next tick; no walk while paused; a stop makes the next start
// send everything again.
TEST_F(TreeWalkerTest, TicksPauseResumeAndStop) {
  auto& application = platform::Application::shared();
  auto ad = viewIn(window, Rect::make(0, 0, 10, 10));
  auto session = measuring(ad);
  auto walker = treeWalker();
  ASSERT_TRUE(walker->isRunning());
  env.advance(1000);
  EXPECT_EQ(hierarchies(*session).size(), 1u);
  ad->setFrame(Rect::make(0, 0, 20, 20));
  env.advance(199);
  EXPECT_EQ(hierarchies(*session).size(), 1u);
  env.advance(1);
  EXPECT_EQ(hierarchies(*session).size(), 2u);

  ASSERT_TRUE(application.resignActive());
  EXPECT_FALSE(walker->isRunning());
  ad->setFrame(Rect::make(0, 0, 30, 30));
  env.advance(1000);
  EXPECT_EQ(hierarchies(*session).size(), 2u);
  ASSERT_TRUE(application.becomeActive());  // walks at once
  env.runUntilIdle();
  EXPECT_EQ(hierarchies(*session).size(), 3u);
  EXPECT_EQ(lastState(*session)["childViews"][0]["childViews"][0]["width"], 30);

  walker->stop();
  EXPECT_FALSE(walker->isRunning());
  walker->start();
  env.runUntilIdle();
  EXPECT_EQ(hierarchies(*session).size(), 4u);  // unchanged, sent again
  EXPECT_TRUE(walker->isRunning());
  auto logger = std::make_shared<TimeLogger>();
  walker->setTimeLogger(logger);
  walker->start();  // walks again, and keeps its one timer
  env.advance(200);
  EXPECT_EQ(logger->reports.size(), 2u);
  EXPECT_EQ(hierarchies(*session).size(), 4u);

  // The last session's finish stops the SDK, and the walker with it.
  session->finish();
  env.runUntilIdle();
  EXPECT_FALSE(walker->isRunning());
}

// A container whose sessions cannot be seen sends their states on every
// tick; beside a visible session both states go out on every tick.
TEST_F(TreeWalkerTest, NotVisibleStatesAreSentOnEveryTick) {
  auto hiddenOnly = measuring(nullptr);
  ticks(5);
  EXPECT_EQ(hierarchies(*hiddenOnly).size(), 6u);  // the start's walk and five ticks
  auto visible = measuring(viewIn(window, Rect::make(0, 0, 10, 10)));
  ticks(1);  // the container's memory still held the not-visible state: only the visible one goes
  const size_t before = hierarchies(*hiddenOnly).size();
  ticks(5);
  EXPECT_EQ(hierarchies(*hiddenOnly).size(), before + 5);
  EXPECT_EQ(hierarchies(*visible).size(), 6u);  // from the first tick after its start
  EXPECT_EQ(lastState(*hiddenOnly)["childViews"][0]["notVisibleReason"], "noAdView");
  EXPECT_EQ(lastState(*visible)["childViews"][0]["childViews"][0]["adSessionId"], visible->identifier());
}

// With scenes, each scene's sessions hear their own scene's windows; an ad
// view out of every window belongs to the one connected scene.
TEST_F(TreeWalkerTest, ScenesAreWalkedApart) {
  auto& application = platform::Application::shared();
  application.setSupportsMultipleScenes(true);
  auto only = platform::WindowScene::create("only");
  ASSERT_TRUE(application.connectScene(only));
  ASSERT_TRUE(only->activate());
  auto detached = measuring(std::make_shared<View>(Rect::make(0, 0, 5, 5)));
  EXPECT_EQ(lastState(*detached)["childViews"][0]["notVisibleReason"], "notAttached");

  auto other = platform::WindowScene::create("other");
  ASSERT_TRUE(application.connectScene(other));
  ASSERT_TRUE(other->activate());
  window->setWindowScene(only);
  auto otherWindow = std::make_shared<Window>(Rect::make(0, 0, 390, 844));
  otherWindow->setWindowScene(other);
  application.addWindow(otherWindow);
  auto inOnly = measuring(viewIn(window, Rect::make(0, 0, 10, 10)));
  auto inOther = measuring(viewIn(otherWindow, Rect::make(0, 0, 20, 20)));
  walk();
  EXPECT_EQ(lastState(*inOnly), sorted(screen({children(frame(0, 0, 390, 844),
                                                         {with(frame(0, 0, 10, 10), {{"adSessionId", inOnly->identifier()}})})})));
  EXPECT_EQ(lastState(*inOther), sorted(screen({children(frame(0, 0, 390, 844),
                                                          {with(frame(0, 0, 20, 20), {{"adSessionId", inOther->identifier()}})})})));
}

// A view set and measured within one millisecond: its first state is not
// lost to the session's gate.
TEST_F(TreeWalkerTest, TheFirstStateOfAViewSetInTheSameMillisecondArrives) {
  auto session = nativeSession();
  session->setMainAdView(viewIn(window, Rect::make(0, 0, 10, 10)));
  session->start();  // walks in the same millisecond
  env.runUntilIdle();
  EXPECT_EQ(hierarchies(*session).size(), 1u);
}

}  // namespace
}  // namespace measurementtest
