// "displayWebView" through the product presenter's handler, with both
// presentation strategies: the reply table, the order of viewability and
// replies, two presents in one turn, nothing to present from, the options of
// the command, the registered view controllers and the return of the shown
// view after dismissal; force close on the test clock (a tap in the shown
// view's top-right corner, the 5 s countdown, "removeCloseEventHandler").
#include <gtest/gtest.h>

#include "own_presentation_support.h"
#include "platform/ui/application.h"
#include "platform/ui/gesture.h"
#include "presentation/QBNAdUnitWebViewJSInterfaceHandler.h"
#include "presentation/QBNForceCloseHandler.h"
#include "presentation/QBNPresentationStrategies.h"
#include "presentation/QBNProductPresenterJSHandler.h"
#include "presentation/QBOrientationPolicy.h"

using namespace platform;
using owntest::OwnPresentationTest;

namespace {

using presentationtest::Lines;

const char kViewable[] = R"(viewableChange {"isViewable":true})";
const char kNotViewable[] = R"(viewableChange {"isViewable":false})";
const char kOk[] = "onOk {}";
const char kForceCloseEnd[] = R"(engageEnd {"action":"forceClose"})";

std::string failure(const std::string& message) { return R"(onFail {"errMsg":")" + message + R"("})"; }

class ProductPresenterTest : public OwnPresentationTest {
 protected:
  // Sends the command and lets every transition finish.
  void command(const Json& params) {
    handler->handleWebViewVisibility(params);
    env.advance(1000);
  }
  std::shared_ptr<QBNProductPresenter> presenter() const { return handler->presenter(); }
  std::shared_ptr<View> shown() const { return publisher->controllerWebView; }
  size_t engaged() const { return publisher->manager->linesOf("engageEnd").size(); }

  std::shared_ptr<QBNProductPresenterJSHandler> handler = QBNProductPresenterJSHandler::create(publisher);
  std::shared_ptr<ViewController> stray;
};

TEST_F(ProductPresenterTest, DisplayWebViewAnswersFromItsReplyTable) {
  const struct {
    const char* name;
    Json params;
    Lines expected;
  } cases[] = {
      {"no display", {{"productType", "Interstitial"}, {"fail", "onFail"}}, {failure("missing display param")}},
      {"no product", {{"display", "true"}, {"fail", "onFail"}}, {failure("failed to find product type")}},
      {"dismiss of nothing", display(false), {failure("no product presented on screen")}},
      {"unknown ad view", display(true, {{"adViewId", "nope"}}), {failure("did not receive view to present")}},
      {"unknown ad view, standalone", display(true, {{"adViewId", "nope"}, {"standaloneView", "true"}}),
       {failure("did not receive view to present")}},
      {"rewarded video in any case", display(true, {{"productType", "rewardedvideo"}}), {kViewable, kOk}},
      {"banner", display(true, {{"productType", "BANNER"}}), {kViewable, kOk}},
      {"no callback names", {{"display", "1"}, {"productType", "OfferWall"}}, {kViewable}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    publisher->manager->calls.clear();
    command(c.params);
    EXPECT_EQ(publisher->manager->lines(), c.expected);
    for (const auto& call : publisher->manager->calls) EXPECT_EQ(call.encoding, 2) << call.line();
    if (presenter()->isCurrentlyPresented()) command(display(false));
    EXPECT_FALSE(presenter()->isCurrentlyPresented());
  }
}

TEST_F(ProductPresenterTest, BothStrategiesPresentAndDismissWithViewabilityBeforeTheReply) {
  for (const bool standalone : {false, true}) {
    SCOPED_TRACE(standalone ? "standalone" : "view controller");
    publisher->manager->calls.clear();
    const Json options = standalone ? Json{{"standaloneView", "true"}} : Json::object();
    handler->handleWebViewVisibility(display(true, options));
    EXPECT_TRUE(publisher->manager->calls.empty());  // only after the hop to the main queue
    env.advance(1000);
    EXPECT_EQ(publisher->manager->lines(), (Lines{kViewable, kOk}));
    for (const auto& call : publisher->manager->calls) EXPECT_TRUE(call.onMain);

    ASSERT_TRUE(presenter()->isCurrentlyPresented());
    EXPECT_EQ(presenter()->presentedView(), shown());
    const auto container = std::dynamic_pointer_cast<QBNFullScreenBaseView>(shown()->superview());
    ASSERT_NE(container, nullptr);
    EXPECT_FALSE(shown()->isHidden());
    EXPECT_EQ(container->alpha(), 1.0);
    const auto presented = presenter()->presentedViewController();
    if (standalone) {
      // The container sits in the presenting controller's view, and that
      // controller is what the presenter reports.
      EXPECT_EQ(container->superview(), root->view());
      EXPECT_EQ(presented, root);
    } else {
      ASSERT_NE(std::dynamic_pointer_cast<QBNProductViewController>(presented), nullptr);
      EXPECT_EQ(presented->presentingViewController(), root);
      EXPECT_EQ(container->superview(), presented->view());
    }
    // Laid out to fill the screen.
    EXPECT_EQ(shown()->bounds().size, (Size{390, 844}));

    publisher->manager->calls.clear();
    handler->handleWebViewVisibility(display(false));
    EXPECT_TRUE(publisher->manager->calls.empty());
    env.advance(1000);
    EXPECT_EQ(publisher->manager->lines(), (Lines{kNotViewable, kOk}));
    EXPECT_FALSE(presenter()->isCurrentlyPresented());
    EXPECT_EQ(presenter()->strategy(), nullptr);
    EXPECT_EQ(root->presentedViewController(), nullptr);
    // The shown view is back in the key window, behind everything.
    EXPECT_EQ(window->subviews().front(), shown());
    EXPECT_TRUE(container->isHidden());
  }
}

TEST_F(ProductPresenterTest, AnAdViewIsShownAndNotPutBackIntoTheKeyWindow) {
  auto adViews = QBNAdUnitWebViewJSInterfaceHandler::create(publisher);
  adViews->invokeAPIWithJSParams(adViewAPI("loadWithUrl", {{"adViewId", "a1"}, {"urlForWebView", "./ads/ad_unit.html"}}));
  env.runUntilIdle();
  const auto adView = QBNAdViewsManager::sharedManager().getAdUnitWebViewById("a1")->getViewToPresent();
  for (const bool standalone : {false, true}) {
    SCOPED_TRACE(standalone ? "standalone" : "view controller");
    publisher->manager->calls.clear();
    command(display(true, {{"adViewId", "a1"}, {"standaloneView", standalone}}));
    EXPECT_EQ(publisher->manager->linesOf("onOk"), Lines{kOk});
    EXPECT_EQ(presenter()->presentedView(), adView);
    const auto container = adView->superview();
    command(display(false));
    EXPECT_EQ(adView->superview(), container);
    EXPECT_FALSE(adView->isDescendantOfView(window.get()));
  }
}

TEST_F(ProductPresenterTest, OfTwoPresentsInOneTurnTheFirstShowsWithItsOwnOptionsAndTheSecondIsRefused) {
  handler->handleWebViewVisibility(display(true, {{"standaloneView", "true"}}));
  handler->handleWebViewVisibility(display(true, {{"success", "onOk2"}, {"fail", "onFail2"}}));
  env.advance(1000);
  EXPECT_EQ(publisher->manager->lines(),
            (Lines{kViewable, kOk, R"(onFail2 {"errMsg":"some product is already presented on screen"})"}));
  EXPECT_NE(std::dynamic_pointer_cast<QBNPresentationStrategyStandAloneView>(presenter()->strategy()), nullptr);
  EXPECT_EQ(root->presentedViewController(), nullptr);

  // While presented, the handler refuses at once and the strategy stays.
  const auto strategy = presenter()->strategy();
  publisher->manager->calls.clear();
  handler->handleWebViewVisibility(display(true));
  EXPECT_EQ(publisher->manager->lines(), Lines{failure("some product is already presented on screen")});
  EXPECT_EQ(presenter()->strategy(), strategy);
}

TEST_F(ProductPresenterTest, WithNothingToPresentFromBothStrategiesFailAndStayInvisible) {
  const struct {
    const char* name;
    Json options;
    std::function<void()> setUp;
    std::string error;
  } cases[] = {
      {"view controller, no key window", Json::object(), [] { Application::shared().resetForTesting(); },
       "did not find view controller to present from"},
      {"standalone, no key window", {{"standaloneView", "true"}},
       [] { Application::shared().resetForTesting(); }, "did not find view controller to present from"},
      {"view controller, registered one outside any window", Json::object(),
       [this] {
         stray = std::make_shared<ViewController>();
         presenter()->setViewControllerForProductType(1, stray);
       },
       "view controller refused to present the product"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    c.setUp();
    publisher->manager->calls.clear();
    command(display(true, c.options));
    EXPECT_EQ(publisher->manager->lines(), Lines{failure(c.error)});
    EXPECT_FALSE(presenter()->isCurrentlyPresented());
    window->makeKeyAndVisible();
  }
  // The refused presentation put the shown view back.
  EXPECT_EQ(window->subviews().front(), shown());
}

TEST_F(ProductPresenterTest, TheRegisteredViewControllerIsPresentedFromUntilItIsFreed) {
  for (const bool standalone : {false, true}) {
    SCOPED_TRACE(standalone ? "standalone" : "view controller");
    const Json options{{"standaloneView", standalone}, {"calcTopViewController", "false"}};
    auto registered = std::make_shared<ViewController>();
    root->view()->addSubview(registered->view());
    presenter()->setViewControllerForProductType(1, registered);
    command(display(true, options));
    EXPECT_EQ(standalone ? presenter()->presentedViewController()
                         : presenter()->presentedViewController()->presentingViewController(),
              registered);
    command(display(false));
    // A dismissal forgets the registration.
    EXPECT_EQ(presenter()->viewControllerForProductType(1), nullptr);

    presenter()->setViewControllerForProductType(1, registered);
    registered->view()->removeFromSuperview();
    registered.reset();
    EXPECT_EQ(presenter()->viewControllerForProductType(1), nullptr);
    command(display(true, options));
    EXPECT_EQ(standalone ? presenter()->presentedViewController()
                         : presenter()->presentedViewController()->presentingViewController(),
              root);
    command(display(false));
  }
}

TEST_F(ProductPresenterTest, TheCommandsOptionsReachTheStrategies) {
  // The view-controller strategy.
  const struct {
    Json options;
    int style;
    bool autorotate;
    bool statusBarHidden;
    bool animated;
    double fade;  // the container's fade-in; 0: shown at once
  } controllers[] = {
      {Json::object(), ModalPresentationStyle::Automatic, true, true, false, 0.3},
      {{{"ModalPresentationStyle", "0"}, {"shouldAutorotateVC", "0"}, {"hideStatusBar", "no"}}, 0, false, false,
       false, 0.3},
      {{{"ModalPresentationStyle", "-1"}, {"shouldAutorotateVC", "1"}, {"animateIn", "YES"}, {"fadeTime", " 0.5"}},
       ModalPresentationStyle::Automatic, true, true, true, 0.5},
      {{{"fadeTime", "0"}, {"animateOut", "true"}}, ModalPresentationStyle::Automatic, true, true, false, 0},
      {{{"fadeTime", "abc"}}, ModalPresentationStyle::Automatic, true, true, false, 0},
  };
  QBOrientationManager::sharedManager().updateOrientationPolicy(QBOrientationPolicy::initWithWithOrientation(30));
  for (const auto& c : controllers) {
    SCOPED_TRACE(dumpJson(c.options));
    View::resetAnimationsForTesting();
    command(display(true, c.options));
    const auto controller = std::dynamic_pointer_cast<QBNProductViewController>(presenter()->presentedViewController());
    ASSERT_NE(controller, nullptr);
    EXPECT_EQ(controller->modalPresentationStyle(), c.style);
    EXPECT_EQ(controller->shouldAutorotate(), c.autorotate);
    EXPECT_EQ(controller->prefersStatusBarHidden(), c.statusBarHidden);
    EXPECT_EQ(controller->lastPresentationAnimatedForTesting(), c.animated);
    EXPECT_EQ(View::animationDurationsForTesting(), c.fade > 0 ? std::vector<double>{c.fade} : std::vector<double>{});
    EXPECT_EQ(controller->containerView()->alpha(), 1.0);
    command(display(false));
    EXPECT_EQ(controller->lastDismissalAnimatedForTesting(), c.options.contains("animateOut"));
    EXPECT_FALSE(controller->isObservingDeviceOrientationForTesting());
  }
  // The standalone strategy's fade.
  for (const auto& [fade, expected] : std::vector<std::pair<const char*, double>>{{"0", 0}, {"0.5", 0.5}, {"-2", 0}}) {
    SCOPED_TRACE(fade);
    View::resetAnimationsForTesting();
    handler->handleWebViewVisibility(display(true, {{"standaloneView", "true"}, {"fadeTime", fade}}));
    env.runUntilIdle();
    const auto strategy = std::dynamic_pointer_cast<QBNPresentationStrategyStandAloneView>(presenter()->strategy());
    ASSERT_NE(strategy, nullptr);
    EXPECT_EQ(strategy->containerView()->alpha(), 1.0);
    EXPECT_EQ(View::animationDurationsForTesting(), expected > 0 ? std::vector<double>{expected} : std::vector<double>{});
    command(display(false));
  }
}

TEST_F(ProductPresenterTest, OnATabletTheControllersFrameIsLeftAtDismissal) {
  for (const auto idiom : {UserInterfaceIdiom::Phone, UserInterfaceIdiom::Pad}) {
    DeviceFacts facts;
    facts.interfaceIdiom = idiom;
    setDeviceFactsForTesting(facts);
    command(display(true));
    const auto controller = presenter()->presentedViewController();
    controller->view()->setFrame(Rect::make(10, 10, 100, 100));
    command(display(false));
    EXPECT_EQ(controller->view()->frame(),
              idiom == UserInterfaceIdiom::Pad ? Rect::make(10, 10, 100, 100) : Screen::main().bounds());
  }
}

using ForceCloseTest = ProductPresenterTest;

TEST_F(ForceCloseTest, ATapInTheCornerEndsTheAdAfterFiveSecondsUnlessDisarmed) {
  enum Kind { CornerTap, MiddleTap, Disarm, Dismiss };
  struct Step {
    int64_t atMs;
    Kind kind;
  };
  const struct {
    const char* name;
    std::vector<Step> steps;
    std::optional<int64_t> engageAtMs;
    const char* supportsForceClose;  // null: absent
  } cases[] = {
      {"corner tap", {{0, CornerTap}}, 5000, nullptr},
      {"tap elsewhere", {{0, MiddleTap}}, std::nullopt, nullptr},
      {"second tap after 3 s", {{0, CornerTap}, {3000, CornerTap}}, 8000, nullptr},
      {"tap elsewhere during the countdown", {{0, CornerTap}, {3000, MiddleTap}}, 5000, nullptr},
      {"removeCloseEventHandler, then a tap", {{0, CornerTap}, {2000, Disarm}, {3000, CornerTap}}, std::nullopt, nullptr},
      {"dismissal during the countdown", {{0, CornerTap}, {2000, Dismiss}}, std::nullopt, nullptr},
      {"force close off", {{0, CornerTap}}, std::nullopt, "false"},
      {"force close off, removeCloseEventHandler", {{0, Disarm}, {1, CornerTap}}, std::nullopt, "0"},
  };
  for (const bool standalone : {false, true}) {
    for (const auto& c : cases) {
      SCOPED_TRACE(std::string(standalone ? "standalone: " : "view controller: ") + c.name);
      // Made smaller than the screen: arming happens before the shown view
      // is laid out to fill it.
      shown()->setFrame(Rect::make(0, 0, 320, 480));
      Json options{{"standaloneView", standalone}};
      if (c.supportsForceClose) options["supportsForceClose"] = c.supportsForceClose;
      handler->handleWebViewVisibility(display(true, options));
      env.advance(1000);
      ASSERT_TRUE(handler->presenter()->isCurrentlyPresented());
      ASSERT_EQ(shown()->bounds().size, (Size{390, 844}));
      EXPECT_EQ(shown()->gestureRecognizers().size(), c.supportsForceClose ? 0u : 1u);
      publisher->manager->calls.clear();

      int64_t now = 0;
      auto moveTo = [&](int64_t t) {
        env.advance(t - now);
        now = t;
      };
      for (const auto& step : c.steps) {
        moveTo(step.atMs);
        switch (step.kind) {
          case CornerTap: TouchDriver::tap(shown(), Point{385, 5}); break;
          case MiddleTap: TouchDriver::tap(shown(), Point{195, 400}); break;
          case Disarm: handler->handleForceCloseApi(Json::object()); break;
          case Dismiss: handler->handleWebViewVisibility(display(false)); break;
        }
      }
      if (c.engageAtMs) {
        moveTo(*c.engageAtMs - 1);
        EXPECT_EQ(engaged(), 0u);
        moveTo(*c.engageAtMs);
        EXPECT_EQ(engaged(), 1u);
      }
      moveTo(20000);
      EXPECT_EQ(engaged(), c.engageAtMs ? 1u : 0u);
      if (c.engageAtMs) {
        EXPECT_EQ(publisher->manager->linesOf("engageEnd"), Lines{kForceCloseEnd});
        for (const auto& call : publisher->manager->calls) {
          if (call.function == "engageEnd") {
            EXPECT_EQ(call.encoding, 0);
          }
        }
      }
      if (handler->presenter()->isCurrentlyPresented()) {
        handler->handleWebViewVisibility(display(false));
        env.advance(1000);
      }
      EXPECT_TRUE(shown()->gestureRecognizers().empty());
    }
  }
}

TEST_F(ForceCloseTest, AHandlerWithoutTimeoutOrViewWatchesNothing) {
  auto view = std::make_shared<View>(Rect::make(0, 0, 100, 100));
  auto disabled = QBNForceCloseHandler::create(view, 0);
  disabled->startHandlingTouchEvents();
  EXPECT_FALSE(disabled->isWatching());

  auto handler = QBNForceCloseHandler::create(view, 1);
  int fired = 0;
  handler->setReachedTimeoutBlock([&] { ++fired; });
  handler->startHandlingTouchEvents();
  ASSERT_TRUE(handler->isWatching());
  // The recognizer shares the tap with the page's own recognizers.
  auto pageTap = TapGestureRecognizer::create();
  view->addGestureRecognizer(pageTap);
  int pageTaps = 0;
  pageTap->addTarget([&](GestureRecognizer&) { ++pageTaps; });
  TouchDriver::tap(view, Point{99, 0});
  EXPECT_EQ(pageTaps, 1);
  EXPECT_TRUE(handler->isCountingDown());
  // Freed while counting down: nothing fires, and the view keeps only its own
  // recognizer.
  handler.reset();
  env.advance(2000);
  EXPECT_EQ(fired, 0);
  EXPECT_EQ(view->gestureRecognizers().size(), 1u);

  auto gone = QBNForceCloseHandler::create(std::make_shared<View>(), 5);
  gone->startHandlingTouchEvents();
  EXPECT_FALSE(gone->isWatching());
  EXPECT_EQ(gone->frameForCloseButton(), Rect{});
}

}  // namespace
