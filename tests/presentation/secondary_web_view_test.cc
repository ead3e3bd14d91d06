// The secondary web view on the test clock: real pages in the headless web
// view, over a controller web view shown full screen in the key window.
#include <gtest/gtest.h>

#include <fstream>

#include "own_presentation_support.h"
#include "platform/ui/gesture.h"
#include "presentation/QBNSecondaryWebViewJSHandler.h"

using namespace platform;
using owntest::OwnPresentationTest;

namespace {

using presentationtest::Lines;
using presentationtest::str;

const char kEngageEnd[] = R"(engageEnd {"action":"secondaryClose"})";

class SecondaryWebViewTest : public OwnPresentationTest {
 protected:
  SecondaryWebViewTest() {
    adView->addSubview(controller());
    controller()->setHidden(false);
    window->addSubview(adView);
    for (const char* name : {"one", "two"}) {
      std::ofstream(dataRoot.path() + "/" + name + ".html") << "<html><body>" << name << "</body></html>";
    }
  }

  std::string pageURL(const std::string& name) const {
    return fileURLFromPath(dataRoot.path() + "/" + name + ".html", false);
  }
  const std::shared_ptr<PMWVWKWebView>& controller() const { return publisher->controllerWebView; }
  std::shared_ptr<View> container() const { return handler->secondaryViewContainer(); }
  void open(const std::string& name, std::optional<Json> frames = Json::array(), bool hidden = false) {
    handler->openSecondaryWebviewWithUrl(pageURL(name), frames, hidden, [this] { ++completions; });
  }
  void waitForPage() {
    ASSERT_TRUE(env.runUntil([&] { return !handler->pmaSecondWebView()->isLoading(); }));
    env.runUntilIdle();
  }
  // Where the container lies among the ad view's subviews, from the
  // controller web view: 1 just above, -1 just below, 0 elsewhere.
  int place() const {
    const auto& views = adView->subviews();
    const auto at = [&](const std::shared_ptr<View>& v) {
      return std::find(views.begin(), views.end(), v) - views.begin();
    };
    if (!container() || container()->superview() != adView) return 0;
    const auto d = at(container()) - at(controller());
    return d == 1 ? 1 : d == -1 ? -1 : 0;
  }
  std::shared_ptr<Button> closeButton() const {
    for (const auto& v : container()->subviews()) {
      if (auto button = std::dynamic_pointer_cast<Button>(v)) return button;
    }
    return nullptr;
  }
  Lines engageEnds() const { return publisher->manager->linesOf("engageEnd"); }

  std::shared_ptr<View> adView = std::make_shared<View>(Rect::make(0, 0, 390, 844));
  std::shared_ptr<QBNSecondaryWebViewJSHandler> handler = QBNSecondaryWebViewJSHandler::create(publisher);
  int completions = 0;
};

TEST_F(SecondaryWebViewTest, OpeningSlidesInAboveTheControllerAndControlFramesPutItBelow) {
  const Json frames = Json::array({{{"width", "40"}, {"height", "40"}, {"margin", "10"}, {"position", "top-right"}},
                                   {{"width", 50}, {"height", 30}, {"position", {{"x", 5}, {"y", 700}}}}});
  const struct {
    const char* name;
    std::optional<Json> frames;
    bool closeButton;
    std::vector<std::string> responding;
    int placeAfterFollowUp;
  } cases[] = {
      {"empty list", Json::array(), true, {}, 1},
      {"none (text that did not parse)", std::nullopt, true, {}, 1},
      {"two frames", frames, false, {"(340,10,40,40)", "(5,700,50,30)"}, -1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    completions = 0;
    open("one", c.frames);
    // The slide: from just beyond the right edge (set before the animation,
    // which applies its change at once) to the screen over 0.3 s.
    EXPECT_EQ(View::animationDurationsForTesting().back(), 0.3);
    EXPECT_EQ(str(handler->pmaSecondWebView()->frame()), "(0,0,390,844)");
    EXPECT_EQ(place(), 1);
    EXPECT_EQ(closeButton() != nullptr, c.closeButton);
    EXPECT_TRUE(handler->secondarySpinner()->isAnimating());
    env.advance(299);
    EXPECT_EQ(completions, 0);
    env.advance(1);
    EXPECT_EQ(str(container()->frame()), "(0,0,390,844)");
    EXPECT_EQ(str(container()->superview()->frame()), "(0,0,390,844)");
    EXPECT_EQ(completions, 1);
    std::vector<std::string> responding;
    for (const auto& r : controller()->respondingFrames()) responding.push_back(str(r));
    EXPECT_EQ(responding, c.responding);
    env.advance(99);
    EXPECT_EQ(place(), 1);
    env.advance(1);
    EXPECT_EQ(place(), c.placeAfterFollowUp);
    waitForPage();
    EXPECT_FALSE(handler->secondarySpinner()->isAnimating());
    handler->animateSecondaryClose();
    env.advance(300);
    EXPECT_FALSE(handler->hasSecondaryView());
  }
  EXPECT_TRUE(engageEnds().empty());
}

TEST_F(SecondaryWebViewTest, BackWithoutHistoryClosesAfterTheTimerAndTheSlideOut) {
  open("one", Json::array({{{"width", 40}, {"height", 40}, {"position", "top-left"}}}));
  env.advance(400);
  waitForPage();
  ASSERT_EQ(place(), -1);
  const auto shown = container();

  handler->handleSecondaryWebViewCallbackWithAction("back");
  EXPECT_EQ(place(), 1) << "the page comes to the front while the controller page answers";
  ASSERT_EQ(engageEnds(), Lines{kEngageEnd});
  EXPECT_EQ(publisher->manager->calls.back().encoding, 2);
  env.advance(999);
  EXPECT_FALSE(handler->isAnimating());
  env.advance(1);
  EXPECT_TRUE(handler->isAnimating());
  EXPECT_EQ(str(shown->frame()), "(390,0,390,844)");
  env.advance(299);
  EXPECT_TRUE(handler->hasSecondaryView());
  EXPECT_FALSE(controller()->respondingFrames().empty());
  env.advance(1);
  EXPECT_FALSE(handler->hasSecondaryView());
  EXPECT_EQ(shown->superview(), nullptr);
  EXPECT_TRUE(controller()->respondingFrames().empty());
  EXPECT_EQ(engageEnds().size(), 1u);
}

TEST_F(SecondaryWebViewTest, AFurtherCloseRequestSendsEngageEndAgainAndRestartsTheSecond) {
  open("one");
  env.advance(300);
  handler->handleSecondaryWebViewCallbackWithAction("close");
  env.advance(500);
  handler->handleSecondaryWebViewCallbackWithAction("close");
  EXPECT_EQ(engageEnds(), (Lines{kEngageEnd, kEngageEnd}));
  env.advance(999);
  EXPECT_FALSE(handler->isAnimating()) << "the first request's timer no longer runs";
  env.advance(1);
  EXPECT_TRUE(handler->isAnimating());
  // A closing asked while one runs only cancels the timer.
  const size_t animations = View::animationDurationsForTesting().size();
  handler->moveSecondaryToFrontAndSendCloseMessage();
  handler->animateSecondaryClose();
  EXPECT_EQ(View::animationDurationsForTesting().size(), animations);
  env.advance(2000);
  EXPECT_FALSE(handler->hasSecondaryView());
  EXPECT_EQ(engageEnds().size(), 3u);
}

// The navigation's end (animateSecondaryClose) is driven by the other tests.
TEST_F(SecondaryWebViewTest, TheCloseButtonClosesWithoutEngageEnd) {
  open("one");
  env.advance(300);
  ASSERT_EQ(str(closeButton()->frame()), "(366,4,20,20)");
  EXPECT_EQ(closeButton()->title(), "X");
  TouchDriver::tap(closeButton(), Point{10, 10});
  EXPECT_TRUE(handler->isAnimating());
  env.advance(300);
  EXPECT_FALSE(handler->hasSecondaryView());
  EXPECT_TRUE(engageEnds().empty());
}

TEST_F(SecondaryWebViewTest, ActionsMoveThroughTheHistoryAndAnOpenWhileOpenOnlyLoads) {
  open("one");
  env.advance(300);
  waitForPage();
  open("two", Json::array(), true);
  waitForPage();
  EXPECT_EQ(completions, 1) << "an open while open does not answer";
  EXPECT_TRUE(container()->isHidden());
  const auto web = handler->pmaSecondWebView();
  const struct {
    const char* action;
    const char* page;
  } steps[] = {  // "forward" is no action: ignored
      {"back", "one"}, {"forward", "one"}, {"next", "two"}, {"reload", "two"}, {"next", "two"}};
  for (const auto& s : steps) {
    SCOPED_TRACE(s.action);
    handler->handleSecondaryWebViewCallbackWithAction(s.action);
    if (std::string(s.action) == "reload") {
      EXPECT_TRUE(web->isLoading());
    }
    waitForPage();
    EXPECT_EQ(web->url(), pageURL(s.page));
  }
  EXPECT_TRUE(engageEnds().empty());
  EXPECT_TRUE(handler->hasSecondaryView());
}

// An open while a close is pending used to load into the closing view and
// never answer; it now opens afresh after the close and answers.
TEST_F(SecondaryWebViewTest, AnOpenWhileACloseIsPendingOpensAfterItAndAnswers) {
  for (const int wait : {500, 1100}) {
    SCOPED_TRACE(wait == 500 ? "close requested" : "sliding out");
    completions = 0;
    open("one");
    env.advance(300);
    const auto first = container();
    handler->handleSecondaryWebViewCallbackWithAction("close");
    env.advance(wait);
    open("two", Json::array({{{"width", 40}, {"height", 40}, {"position", "top-left"}}}));
    EXPECT_EQ(completions, 1);
    EXPECT_TRUE(handler->isAnimating()) << "the requested close runs at once";
    env.advance(300);
    EXPECT_EQ(first->superview(), nullptr);
    ASSERT_TRUE(handler->hasSecondaryView());
    EXPECT_EQ(handler->pmaSecondWebView()->url(), pageURL("two"));
    env.advance(300);
    EXPECT_EQ(completions, 2);
    EXPECT_EQ(controller()->respondingFrames().size(), 1u);
    env.advance(3000);
    EXPECT_TRUE(handler->hasSecondaryView()) << "no close is left over";
    EXPECT_EQ(place(), -1);
    handler->animateSecondaryClose();
    env.advance(300);
  }
}

TEST_F(SecondaryWebViewTest, ATerminatedPageClosesWhenTheNetworkSaysSo) {
  for (const bool handle : {false, true}) {
    SCOPED_TRACE(handle ? "handled" : "not handled");
    QBNFeaturesManager::sharedManager().updateSupplyConfigurations(
        Json{{"networkConfig", {{"handleWebViewTerminated", handle}}}});
    publisher->manager->calls.clear();
    open("one");
    env.advance(300);
    waitForPage();
    handler->pmaSecondWebView()->terminateWebContentProcess();
    env.runUntilIdle();
    if (handle) {
      EXPECT_EQ(publisher->manager->lines(),
                (Lines{kEngageEnd, R"(webViewTerminated {"class":"secondaryWebView"})"}));
      EXPECT_EQ(publisher->manager->calls.back().encoding, 0);
    } else {
      EXPECT_TRUE(publisher->manager->lines().empty());
    }
    EXPECT_TRUE(console.contains("secondaryWebView failed with error: webViewWebContentProcessDidTerminate"));
    handler->animateSecondaryClose();
    env.advance(300);
  }
}

}  // namespace
