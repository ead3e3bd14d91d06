// The project's measurement scripts on their own: the share of an ad view
// that the service script finds in view in a view hierarchy, and the
// verification script's "viewable" on the page's clock; then both under a
// native session with the SDK's own walk of a window and its application
// state.
#include "measurement/executor/OMIDQuilbrnLightJSExecutor.h"
#include "measurement_support.h"
#include "platform/web/web_view.h"
#include "session_support.h"

namespace measurementtest::viewability {
namespace {

using platform::Json;

Json frame(double x, double y, double w, double h, Json more = Json::object()) {
  Json state = {{"x", x}, {"y", y}, {"width", w}, {"height", h}, {"clipsToBounds", false}};
  for (const auto& [key, value] : more.items()) state[key] = value;
  return state;
}

// A 400 x 800 screen holding one window with `children`.
Json screen(Json children) {
  Json root = frame(0, 0, 400, 800, {{"clipsToBounds", true}});
  root["childViews"] = Json::array({frame(0, 0, 400, 800, {{"childViews", std::move(children)}})});
  return root;
}

const Json kAd = frame(0, 0, 400, 400, {{"adSessionId", "s1"}});

TEST(ServiceScriptTest, PercentageInViewOfTheSessionsAdView) {
  struct Case {
    const char* what;
    Json state;
    Json expected;  // {percentageInView[, notVisibleReason]}
  };
  const Json friendly = frame(0, 0, 400, 200, {{"isFriendlyObstructionFor", Json::array({"s0", "s1"})}});
  const Json othersFriend = frame(0, 0, 400, 200, {{"isFriendlyObstructionFor", Json::array({"s2"})}});
  // A friendly close button whose icon fills it, the icon holding a mark.
  Json closeButton = frame(0, 0, 400, 100, {{"isFriendlyObstructionFor", Json::array({"s1"})}});
  Json icon = frame(0, 0, 400, 100);
  icon["childViews"] = Json::array({frame(0, 0, 50, 50)});
  closeButton["childViews"] = Json::array({icon});
  Json othersButton = closeButton;
  othersButton["isFriendlyObstructionFor"] = Json::array({"s2"});
  // A friendly frame holding the ad and, above it, a bar of its own.
  Json friendlyFrame = frame(0, 0, 400, 800, {{"isFriendlyObstructionFor", Json::array({"s1"})}});
  friendlyFrame["childViews"] = Json::array({kAd, frame(0, 0, 400, 100)});
  Json clipper = frame(0, 0, 400, 100, {{"clipsToBounds", true}});
  clipper["childViews"] = Json::array({kAd});
  Json clippedCover = frame(0, 300, 400, 10, {{"clipsToBounds", true}});
  clippedCover["childViews"] = Json::array({frame(0, 0, 400, 400)});  // cut to 10 points by its parent
  const std::vector<Case> cases = {
      {"on screen, nothing above", screen(Json::array({kAd})), {{"percentageInView", 100}}},
      {"half off the screen's left edge", screen(Json::array({frame(-200, 0, 400, 400, {{"adSessionId", "s1"}})})),
       {{"percentageInView", 50}}},
      {"a clipping ancestor shows a quarter", screen(Json::array({clipper})), {{"percentageInView", 25}}},
      {"drawn below does not cover", screen(Json::array({frame(0, 0, 400, 400), kAd})), {{"percentageInView", 100}}},
      {"drawn above covers", screen(Json::array({kAd, frame(0, 0, 400, 100)})), {{"percentageInView", 75}}},
      {"overlapping covers count once", screen(Json::array({kAd, frame(0, 0, 400, 100), frame(0, 50, 400, 100)})),
       {{"percentageInView", 62.5}}},
      {"cover outside the ad", screen(Json::array({kAd, frame(0, 500, 400, 100)})), {{"percentageInView", 100}}},
      {"a cover cut by its own clipping parent", screen(Json::array({kAd, clippedCover})), {{"percentageInView", 97.5}}},
      {"the session's friendly obstruction", screen(Json::array({kAd, friendly})), {{"percentageInView", 100}}},
      {"another session's friendly obstruction", screen(Json::array({kAd, othersFriend})), {{"percentageInView", 50}}},
      {"the subviews of the session's friendly obstruction", screen(Json::array({kAd, closeButton})),
       {{"percentageInView", 100}}},
      {"the subviews of another session's friendly obstruction", screen(Json::array({kAd, othersButton})),
       {{"percentageInView", 75}}},
      {"within a friendly ancestor", screen(Json::array({friendlyFrame})), {{"percentageInView", 100}}},
      {"a third of a point", screen(Json::array({kAd, frame(0, 0, 400, 400.0 / 3)})), {{"percentageInView", 66.67}}},
      {"not visible, with the reason",
       screen(Json::array({frame(0, 0, 0, 0, {{"adSessionId", "s1"}, {"notVisibleReason", "hidden"}})})),
       {{"percentageInView", 0}, {"notVisibleReason", "hidden"}}},
      {"another session's ad only", screen(Json::array({frame(0, 0, 400, 400, {{"adSessionId", "s2"}})})), {{"percentageInView", 0}}},
      {"an ad of no area", screen(Json::array({frame(10, 10, 0, 50, {{"adSessionId", "s1"}})})), {{"percentageInView", 0}}},
      {"no hierarchy", nullptr, {{"percentageInView", 0}}},
      {"frames that are no numbers",
       screen(Json::array({Json{{"x", "a"}, {"y", nullptr}, {"width", 400}, {"height", 400}, {"adSessionId", "s1"}},
               Json{{"x", 0}, {"y", 0}, {"width", "wide"}, {"height", 400}}})),
       {{"percentageInView", 100}}},
  };
  auto context = serviceContext();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(scriptJson(*context, "omidService.percentageInView(" + platform::dumpJson(c.state) + ", 's1')"),
              c.expected);
  }
}

TEST(ServiceScriptTest, GeometryIsMeasuredForTheSessionOnceItStarted) {
  auto context = serviceContext();
  // Published before the start: measured against the session it then gets.
  ASSERT_TRUE(context->evaluate("omidBridge.setNativeViewHierarchy(" +
                                platform::dumpJson(screen(Json::array({kAd, frame(0, 0, 400, 100)}))) + ")").ok());
  ASSERT_TRUE(context->evaluate("omidBridge.startSession('s1', {adSessionType: 'html'}, null, null)").ok());
  const Json events = scriptJson(*context, "omidService.events()");
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[1]["type"], "geometry");
  EXPECT_EQ(events[1]["data"]["percentageInView"], 75);
  EXPECT_TRUE(events[1]["data"]["viewState"].is_object());
}

// Both scripts where they run: in a page of a web view (HTML sessions) and
// in a native session's script context, the verification script as the
// host's own, its observer keeping what it reported in `seen`.
class VerificationScriptTest : public MeasurementTest, public ::testing::WithParamInterface<bool> {
 protected:
  VerificationScriptTest() {
    const Json properties = {{"injectionId", "own"},
                             {"vendorKey", "v"},
                             {"verificationParameters", R"({"beaconUrl":"http://127.0.0.1:9/beacon"})"}};
    const std::string setUp = "var seen = []; var omidVerificationProperties = " + platform::dumpJson(properties) +
                              "; omidVerificationProperties.observer = function (type, data) { seen.push([type, data]); };";
    if (inPage()) {
      webView = std::make_shared<platform::WebView>(platform::Rect::make(0, 0, 400, 400));
      webView->loadHTMLString("<html><head><script>" + qbtest::measurementServiceScript() + "</script><script>" +
                                  setUp + "</script><script>" + qbtest::verificationScript() + "</script></head></html>",
                              "https://ads.example/ad.html");
    } else {
      executor = OMIDQuilbrnLightJSExecutor::lightJSExecutor();
      for (const auto& script : {qbtest::measurementServiceScript(), setUp, qbtest::verificationScript()}) {
        executor->injectJavaScriptFromString(script);
      }
    }
    env.runUntilIdle();
    run("omidBridge.startSession('s1', {adSessionType: 'native'}, null, null)");
  }

  static bool inPage() { return GetParam(); }

  Json run(const std::string& script) {
    if (executor) {
      Json out;
      executor->dispatchQueue()->sync([&] { out = scriptJson(*executor->jsEnvironment().scriptContext, script); });
      return out;
    }
    std::optional<platform::ScriptEvaluation> result;
    webView->evaluateJavaScript(script, [&](const platform::ScriptEvaluation& r) { result = r; });
    EXPECT_TRUE(env.runUntil([&] { return result.has_value(); }, 10'000));
    EXPECT_TRUE(result && result->ok());
    return result && result->ok() ? result->value : Json();
  }
  // Publishes a hierarchy showing `percent` of the ad (a cover over the rest).
  void inView(int percent) {
    const Json cover = frame(0, 0, 400, 400 * (100 - percent) / 100.0);
    run("omidBridge.setNativeViewHierarchy(" + platform::dumpJson(screen(Json::array({kAd, cover}))) + "), 0");
  }
  // The "viewable" reports so far.
  Json viewable() { return run("seen.filter(function (s) { return s[0] === 'viewable'; })"); }

  std::shared_ptr<platform::WebView> webView;
  std::shared_ptr<OMIDQuilbrnLightJSExecutor> executor;
};

INSTANTIATE_TEST_SUITE_P(PageAndScriptContext, VerificationScriptTest, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Page" : "ScriptContext"; });

TEST_P(VerificationScriptTest, ViewableAfterASecondAtHalfOrMore) {
  inView(60);
  env.advance(999);
  EXPECT_EQ(viewable(), Json::array());
  inView(80);  // still in view: the second keeps running
  env.advance(1);
  EXPECT_EQ(viewable(), Json::parse(R"([["viewable", {"percentageInView": 60}]])"));
  inView(40);
  inView(90);
  env.advance(5000);
  EXPECT_EQ(viewable().size(), 1u);  // once per session
}

TEST_P(VerificationScriptTest, ADropBelowHalfStartsTheSecondOver) {
  inView(50);
  env.advance(600);
  inView(49);
  env.advance(600);
  EXPECT_EQ(viewable(), Json::array());
  inView(70);
  env.advance(999);
  EXPECT_EQ(viewable(), Json::array());
  env.advance(1);
  EXPECT_EQ(viewable(), Json::parse(R"([["viewable", {"percentageInView": 70}]])"));
}

// In the background the ad is seen by no one: the native side pauses its
// walk there and, once back, sends no geometry while nothing moved, so the
// state events alone stop the second and start it over.
TEST_P(VerificationScriptTest, TheBackgroundStopsTheSecondAndTheForegroundStartsItOver) {
  inView(100);
  env.advance(500);
  run("omidBridge.setState('backgrounded'), 0");
  env.advance(2000);
  EXPECT_EQ(viewable(), Json::array());
  inView(90);  // a hierarchy that comes while in the background starts nothing
  env.advance(2000);
  EXPECT_EQ(viewable(), Json::array());
  run("omidBridge.setState('foregrounded'), 0");
  env.advance(999);
  EXPECT_EQ(viewable(), Json::array());
  env.advance(1);
  EXPECT_EQ(viewable(), Json::parse(R"([["viewable", {"percentageInView": 90}]])"));
}

// A short trip to the background starts the second over, and coming back
// with less than half in view starts nothing.
TEST_P(VerificationScriptTest, AShortTripToTheBackgroundStartsTheSecondOver) {
  run("omidBridge.setState('backgrounded'), 0");
  inView(30);
  run("omidBridge.setState('foregrounded'), 0");
  env.advance(2000);
  EXPECT_EQ(viewable(), Json::array());
  inView(60);
  env.advance(500);
  run("omidBridge.setState('backgrounded'), 0");
  env.advance(100);
  run("omidBridge.setState('foregrounded'), 0");
  env.advance(999);
  EXPECT_EQ(viewable(), Json::array());
  env.advance(1);
  EXPECT_EQ(viewable(), Json::parse(R"([["viewable", {"percentageInView": 60}]])"));
}

TEST_P(VerificationScriptTest, TheFinishEndsTheSecondAndGeometryReportsOnlyTheMeasure) {
  inView(100);
  run("omidBridge.finishSession()");
  env.advance(2000);
  EXPECT_EQ(viewable(), Json::array());
  const Json geometry = run("seen.filter(function (s) { return s[0] === 'geometry'; })[0][1]");
  EXPECT_EQ(geometry, (Json{{"percentageInView", 100}}));  // not the hierarchy
}

// A native session measuring an ad view of a window of the application,
// walked by the SDK's tree walker, with the verification script run in the
// session's script context as the host's own.
class MeasuredWindowTest : public SessionTest {
 protected:
  MeasuredWindowTest() {
    OMIDQuilbrnTreeWalkerP::setFactoryForTesting(nullptr);
    OMIDQuilbrnSDK::sharedInstance()->resetForTesting();
    OMIDQuilbrnSDK::sharedInstance()->activate();
    platform::Application::shared().addWindow(window);
    window->addSubview(ad);
    session = nativeSession();
  }

  // Starts the session and the verification script in its context.
  void start() {
    session->setMainAdView(ad);
    session->start();
    env.advance(200);  // a walk
    auto executor = std::dynamic_pointer_cast<OMIDQuilbrnLightJSExecutor>(session->bridge()->jsExecutor());
    ASSERT_TRUE(executor);
    executor->injectJavaScriptFromString(
        "var seen = []; var omidVerificationProperties = {injectionId: 'own', vendorKey: 'v', "
        "verificationParameters: 'http://127.0.0.1:9/beacon', observer: function (type, data) { seen.push([type, data]); }};");
    executor->injectJavaScriptFromString(qbtest::verificationScript());
    env.runUntilIdle();
  }
  // The share measured by the last geometry event.
  Json lastShare() {
    return scriptValue(*session, "omidService.events().filter(function (e) { return e.type === 'geometry'; })"
                                 ".pop().data.percentageInView");
  }
  Json viewable() { return scriptValue(*session, "seen.filter(function (s) { return s[0] === 'viewable'; })"); }

  std::shared_ptr<platform::Window> window = std::make_shared<platform::Window>(platform::Rect::make(0, 0, 390, 844));
  std::shared_ptr<platform::View> ad = std::make_shared<platform::View>(platform::Rect::make(0, 0, 390, 400));
  std::shared_ptr<OMIDQuilbrnAdSession> session;
};

// Resigning active stops the walk with the ad still fully in view; the
// state the application sends is what keeps it from counting.
// A friendly close button over the ad, with its icon: what the walk puts
// under the button is the button's, and covers nothing.
TEST_F(MeasuredWindowTest, AFriendlyCloseButtonAndItsIconLeaveTheAdInView) {
  auto button = std::make_shared<platform::View>(platform::Rect::make(0, 0, 390, 100));
  button->addSubview(std::make_shared<platform::View>(platform::Rect::make(0, 0, 390, 100)));
  window->addSubview(button);
  ASSERT_TRUE(session->addFriendlyObstruction(button, OMIDQuilbrnFriendlyObstructionCloseAd, "close", nullptr));
  start();
  EXPECT_EQ(lastShare(), 100);
  // Not friendly any more: the button and its icon cover a quarter.
  session->removeAllFriendlyObstructions();
  env.advance(200);
  EXPECT_EQ(lastShare(), 75);
}

TEST_F(MeasuredWindowTest, NotViewableWhileTheApplicationIsInTheBackground) {
  auto& application = platform::Application::shared();
  start();
  EXPECT_EQ(lastShare(), 100);
  ASSERT_TRUE(application.enterBackground());
  env.advance(2000);
  EXPECT_EQ(viewable(), Json::array());
  ASSERT_TRUE(application.enterForeground());
  env.runUntilIdle();
  env.advance(999);
  EXPECT_EQ(viewable(), Json::array());
  env.advance(1);
  EXPECT_EQ(viewable(), Json::parse(R"([["viewable", {"percentageInView": 100}]])"));
}

}  // namespace
}  // namespace measurementtest::viewability
