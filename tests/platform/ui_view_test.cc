// Views: the tree, geometry, hit-testing and taps, animation, the layout pass
// and constraints; the device and the application's orientation facts.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "ui_support.h"

using namespace platform;
using uitest::UITest;

namespace {

using ViewRef = std::shared_ptr<View>;

ViewRef view(double x, double y, double w, double h) { return std::make_shared<View>(Rect::make(x, y, w, h)); }

class CountingView : public View {
 public:
  using View::View;
  void didMoveToWindow() override { ++moves; }
  int moves = 0;
};

using ViewTest = UITest;

TEST_F(ViewTest, DidMoveToWindowReachesEveryDescendantOnEachChange) {
  auto window = keyWindow();
  auto top = std::make_shared<CountingView>();
  auto middle = std::make_shared<CountingView>();
  auto leaf = std::make_shared<CountingView>();
  top->addSubview(middle);
  middle->addSubview(leaf);
  EXPECT_EQ(leaf->moves, 0) << "no window before or after";

  window->addSubview(top);
  EXPECT_EQ(std::vector<int>({top->moves, middle->moves, leaf->moves}), std::vector<int>({1, 1, 1}));
  EXPECT_EQ(leaf->window(), window);
  window->rootViewController()->view()->addSubview(top);  // same window: no notice
  EXPECT_EQ(leaf->moves, 1);
  top->removeFromSuperview();
  EXPECT_EQ(std::vector<int>({top->moves, middle->moves, leaf->moves}), std::vector<int>({2, 2, 2}));
  EXPECT_FALSE(leaf->window());
}

TEST_F(ViewTest, InsertAboveOrBelowGoesNextToTheDirectChildHoldingTheSibling) {
  struct Case {
    const char* name;
    bool above;
    int sibling;  // 0, 1: direct children; 2: inside child 1; 3: elsewhere; -1: none; 4: the moved view
    std::vector<int> order;  // of the parent's subviews: 0, 1, 9 (the inserted view)
  } cases[] = {
      {"above a direct child", true, 0, {0, 9, 1}},
      {"below a direct child", false, 1, {0, 9, 1}},
      {"above a nested view", true, 2, {0, 1, 9}},
      {"below a nested view", false, 2, {0, 9, 1}},
      {"sibling outside the tree", false, 3, {0, 1, 9}},
      {"no sibling", false, -1, {0, 1, 9}},
      {"sibling inside the moved view", false, 4, {0, 1, 9}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto parent = std::make_shared<View>();
    std::vector<ViewRef> kids = {std::make_shared<View>(), std::make_shared<View>()};
    for (auto& k : kids) parent->addSubview(k);
    auto nested = std::make_shared<View>();
    kids[1]->addSubview(nested);
    auto moved = std::make_shared<View>();
    auto inside = std::make_shared<View>();
    moved->addSubview(inside);
    const ViewRef siblings[] = {kids[0], kids[1], nested, std::make_shared<View>(), nullptr, inside};
    const auto& sibling = siblings[c.sibling < 0 ? 4 : (c.sibling == 4 ? 5 : c.sibling)];
    if (c.above) {
      parent->insertSubviewAboveSubview(moved, sibling);
    } else {
      parent->insertSubviewBelowSubview(moved, sibling);
    }
    std::vector<int> order;
    for (const auto& v : parent->subviews()) order.push_back(v == moved ? 9 : (v == kids[0] ? 0 : 1));
    EXPECT_EQ(order, c.order);
  }

  // Moving a view already among the subviews counts positions without it.
  auto parent = std::make_shared<View>();
  auto a = std::make_shared<View>(), b = std::make_shared<View>(), c = std::make_shared<View>();
  for (auto& v : {a, b, c}) parent->addSubview(v);
  parent->insertSubviewAboveSubview(a, c);
  EXPECT_EQ(parent->subviews(), (std::vector<ViewRef>{b, c, a}));
  parent->insertSubviewBelowSubview(a, b);
  EXPECT_EQ(parent->subviews(), (std::vector<ViewRef>{a, b, c}));
}

TEST_F(ViewTest, TransformsTurnTheFrameAboutTheCentreAndConvertPoints) {
  auto root = view(0, 0, 400, 800);
  auto turned = view(50, 100, 300, 200);  // centre (200, 200)
  root->addSubview(turned);
  turned->setTransform(AffineTransform::rotation(std::numbers::pi / 2));
  EXPECT_EQ(turned->frame(), Rect::make(100, 50, 200, 300));
  EXPECT_EQ(turned->bounds().size, (Size{300, 200}));
  // A quarter turn clockwise: the bounds' top-left corner lands top-right.
  const Point corner = turned->convertPoint(Point{0, 0}, root.get());
  EXPECT_NEAR(corner.x, 300, 1e-9);
  EXPECT_NEAR(corner.y, 50, 1e-9);
  const Point back = turned->convertPointFromView(corner, root.get());
  EXPECT_NEAR(back.x, 0, 1e-9);
  EXPECT_NEAR(back.y, 0, 1e-9);

  turned->setFrame(Rect::make(0, 0, 400, 800));
  EXPECT_EQ(turned->bounds().size, (Size{800, 400})) << "the turned bounds fill the frame";
  EXPECT_EQ(turned->frame(), Rect::make(0, 0, 400, 800));
}

// Rectangles: the box around the converted corners; a window's frame is its
// place on its screen, and windows meet in screen coordinates.
TEST_F(ViewTest, RectanglesConvertThroughWindowsAndTheirScreens) {
  auto window = std::make_shared<Window>(Rect::make(0, 100, 400, 700));
  auto turned = view(50, 100, 300, 200);
  window->addSubview(turned);
  turned->setTransform(AffineTransform::rotation(std::numbers::pi / 2));
  const Rect inWindow = turned->convertRect(turned->bounds(), nullptr);
  EXPECT_NEAR(inWindow.origin.x, 100, 1e-9);
  EXPECT_NEAR(inWindow.origin.y, 50, 1e-9);
  EXPECT_NEAR(inWindow.size.width, 200, 1e-9);
  EXPECT_NEAR(inWindow.size.height, 300, 1e-9);
  EXPECT_EQ(window->convertRectToWindow(Rect::make(10, 20, 30, 40), nullptr), Rect::make(10, 120, 30, 40));
  auto other = std::make_shared<Window>(Rect::make(50, 0, 200, 200));
  EXPECT_EQ(window->convertRectToWindow(Rect::make(10, 20, 30, 40), other.get()), Rect::make(-40, 120, 30, 40));

  EXPECT_EQ(&window->screen(), &Screen::main());
  auto external = std::make_shared<Screen>();
  window->setScreen(external);
  EXPECT_EQ(&window->screen(), external.get());
  window->setScreen(nullptr);
  EXPECT_EQ(&window->screen(), &Screen::main());
  EXPECT_STREQ(window->windowClassName(), "UIWindow");
  EXPECT_STREQ(RemoteKeyboardWindow().windowClassName(), "UIRemoteKeyboardWindow");
  EXPECT_STREQ(TextEffectsWindow().windowClassName(), "UITextEffectsWindow");
}

// Refuses every point, like an overlay that lets touches through.
class PassThrough : public View {
 public:
  using View::View;
  bool pointInside(Point) const override { return false; }
};

class AllowAll : public GestureRecognizerDelegate {
 public:
  bool shouldRecognizeSimultaneouslyWithGestureRecognizer(GestureRecognizer&, GestureRecognizer&) override {
    return true;
  }
};

class TouchRecorder : public View {
 public:
  TouchRecorder(Rect frame, qbtest::Lines& log) : View(frame), log_(log) {}
  void touchesBegan(const std::vector<Touch>& touches, const Event& event) override {
    log_.add("touches " + std::to_string(event.type));
    View::touchesBegan(touches, event);
  }

 private:
  qbtest::Lines& log_;
};

TEST_F(ViewTest, TapsPassThroughARefusingViewAndReachRecognizersDeepestFirst) {
  auto window = keyWindow();
  auto below = std::make_shared<TouchRecorder>(Rect::make(0, 0, 390, 844), log);
  auto overlay = std::make_shared<PassThrough>(Rect::make(0, 0, 390, 844));
  auto overlayChild = view(0, 0, 390, 844);
  overlay->addSubview(overlayChild);
  window->addSubview(below);
  window->addSubview(overlay);
  auto belowTap = TapGestureRecognizer::create([&](GestureRecognizer& r) {
    const Point p = r.locationInView(below.get());
    log.add("below " + std::to_string(int(p.x)) + "," + std::to_string(int(p.y)));
  });
  auto windowTap = TapGestureRecognizer::create([&](GestureRecognizer&) { log.add("window"); });
  auto overlayTap = TapGestureRecognizer::create([&](GestureRecognizer&) { log.add("overlay"); });
  below->addGestureRecognizer(belowTap);
  window->addGestureRecognizer(windowTap);
  overlay->addGestureRecognizer(overlayTap);

  EXPECT_EQ(TouchDriver::tap(window, Point{370, 10}), below) << "the overlay's subtree is hidden from the tap";
  EXPECT_EQ(log.lines(), (std::vector<std::string>{"touches 0", "below 370,10"}))
      << "the window's recognizer may not recognize with the first one";

  log.clear();
  auto allow = std::make_shared<AllowAll>();
  windowTap->setDelegate(allow);
  TouchDriver::tap(window, Point{5, 5});
  EXPECT_EQ(log.lines(), (std::vector<std::string>{"touches 0", "below 5,5", "window"}));

  log.clear();
  belowTap->setEnabled(false);
  TouchDriver::tap(window, Point{5, 5}, 2);
  EXPECT_EQ(log.lines(), (std::vector<std::string>{"touches 0"})) << "no recognizer takes a double tap";
}

TEST_F(ViewTest, ATappedButtonSendsItsActionAndKeepsTheTapFromItsAncestors) {
  auto window = keyWindow();
  auto button = std::make_shared<Button>(Rect::make(10, 10, 20, 20));
  window->addSubview(button);
  window->addGestureRecognizer(TapGestureRecognizer::create([&](GestureRecognizer&) { log.add("window"); }));
  button->addTarget([&](Control&) { log.add("button"); }, ControlEvents::TouchUpInside);
  EXPECT_EQ(TouchDriver::tap(button, Point{1, 1}), button);
  EXPECT_EQ(log.lines(), (std::vector<std::string>{"button"}));
  button->setEnabled(false);
  TouchDriver::tap(button, Point{1, 1});
  EXPECT_EQ(log.lines(), (std::vector<std::string>{"button", "window"})) << "a disabled control is a plain view";
}

TEST_F(ViewTest, AnimationAppliesAtOnceAndCompletesOnlyAfterItsDuration) {
  auto v = view(0, 0, 10, 10);
  View::animateWithDuration(0.3, [&] { v->setAlpha(0); }, [&](bool finished) { log.add(finished ? "done" : "cut"); });
  View::animateWithDuration(0, [&] { v->setHidden(true); }, [&](bool) { log.add("instant"); });
  EXPECT_EQ(v->alpha(), 0);
  EXPECT_TRUE(v->isHidden());
  EXPECT_TRUE(log.lines().empty()) << "never inline";
  env.advance(299);
  EXPECT_EQ(log.lines(), (std::vector<std::string>{"instant"}));
  env.advance(1);
  EXPECT_EQ(log.lines(), (std::vector<std::string>{"instant", "done"}));
  EXPECT_EQ(View::animationDurationsForTesting(), (std::vector<double>{0.3, 0}));
}

TEST_F(ViewTest, TheLayoutPassRunsOnceAtTheEndOfTheTurnForViewsInAWindow) {
  auto window = keyWindow();
  auto shown = std::make_shared<View>();
  auto detached = std::make_shared<View>();
  window->addSubview(shown);
  env.runUntilIdle();
  const int before = shown->layoutCountForTesting();

  shown->setNeedsLayout();
  shown->setNeedsLayout();
  detached->setNeedsLayout();
  EXPECT_EQ(shown->layoutCountForTesting(), before) << "not inline";
  env.runUntilIdle();
  EXPECT_EQ(shown->layoutCountForTesting(), before + 1);
  EXPECT_EQ(detached->layoutCountForTesting(), 0) << "a view outside any window waits for layoutIfNeeded";
  detached->layoutIfNeeded();
  detached->layoutIfNeeded();
  EXPECT_EQ(detached->layoutCountForTesting(), 1);

  // Marked inside a main-queue block: laid out before the next block runs.
  int seen = -1;
  mainQueue()->async([&] { shown->setNeedsLayout(); });
  mainQueue()->async([&] { seen = shown->layoutCountForTesting(); });
  env.runUntilIdle();
  EXPECT_EQ(seen, before + 2);
}

TEST_F(ViewTest, ConstraintsPlaceViewsAndLeaveWithTheirViews) {
  auto window = keyWindow();
  auto root = view(0, 0, 400, 1000);
  window->addSubview(root);
  auto top = std::make_shared<View>();
  auto bottom = std::make_shared<View>();
  for (auto& v : {top, bottom}) {
    v->setTranslatesAutoresizingMaskIntoConstraints(false);
    root->addSubview(v);
  }
  using A = LayoutAttribute;
  auto make = [](ViewRef a, A aa, ViewRef b, A ba, double m) {
    return LayoutConstraint::constraintWithItem(a, aa, LayoutRelation::Equal, b, ba, m, 0);
  };
  // A split: top 60 % from the top, bottom 40 % under it; both full width.
  std::vector<std::shared_ptr<LayoutConstraint>> split = {
      make(bottom, A::Top, top, A::Bottom, 1),   make(top, A::Top, root, A::Top, 1),
      make(top, A::Leading, root, A::Leading, 1), make(root, A::Trailing, top, A::Trailing, 1),
      make(top, A::Height, root, A::Height, 0.6), make(bottom, A::Leading, root, A::Leading, 1),
      make(root, A::Trailing, bottom, A::Trailing, 1), make(bottom, A::Height, root, A::Height, 0.4),
  };
  LayoutConstraint::activateConstraints(split);
  EXPECT_EQ(root->constraints().size(), split.size()) << "the common ancestor holds them";
  env.runUntilIdle();
  EXPECT_EQ(top->frame(), Rect::make(0, 0, 400, 600));
  EXPECT_EQ(bottom->frame(), Rect::make(0, 600, 400, 400));

  // A quarter-turned view crossing its sizes fills the screen turned.
  auto turned = std::make_shared<View>();
  turned->setTranslatesAutoresizingMaskIntoConstraints(false);
  root->addSubview(turned);
  turned->setTransform(AffineTransform::rotation(std::numbers::pi / 2));
  LayoutConstraint::activateConstraints({make(turned, A::Height, root, A::Width, 1),
                                         make(turned, A::Width, root, A::Height, 1),
                                         make(turned, A::CenterX, root, A::CenterX, 1),
                                         make(turned, A::CenterY, root, A::CenterY, 1)});
  env.runUntilIdle();
  EXPECT_EQ(turned->bounds().size, (Size{1000, 400}));
  EXPECT_EQ(turned->frame(), Rect::make(0, 0, 400, 1000));

  top->removeFromSuperview();
  EXPECT_FALSE(split[0]->isActive()) << "ties to the removed view are dropped";
  EXPECT_TRUE(split[5]->isActive());
  auto stranger = std::make_shared<View>();
  auto loose = make(stranger, A::Width, root, A::Width, 1);
  loose->setActive(true);
  EXPECT_FALSE(loose->isActive()) << "no common ancestor";
}

TEST_F(ViewTest, DeviceOrientationNoticesAndTheApplicationsOrientationFacts) {
  int notices = 0;
  NotificationCenter::defaultCenter().addObserver(kUIDeviceOrientationDidChangeNotification, nullptr,
                                                  [&](const Notification&) { ++notices; });
  auto& device = Device::current();
  EXPECT_EQ(device.orientation(), DeviceOrientation::Portrait);
  device.setOrientation(DeviceOrientation::Portrait);
  device.setOrientation(DeviceOrientation::LandscapeLeft);
  device.setOrientation(DeviceOrientation::LandscapeLeft);
  EXPECT_EQ(notices, 1) << "only a change is posted";
  EXPECT_EQ(device.orientation(), DeviceOrientation::LandscapeLeft);

  EXPECT_TRUE(device.isSystemVersionAtLeast("17"));
  EXPECT_FALSE(device.isSystemVersionAtLeast("17.0.1"));
  EXPECT_GT(compareSystemVersions("13.10", "13.9"), 0) << "number by number, not as text";

  auto& app = Application::shared();
  EXPECT_EQ(app.supportedInterfaceOrientationsForWindow(nullptr), InterfaceOrientationMask::AllButUpsideDown);
  setAppInfo(Json{{"UISupportedInterfaceOrientations",
                   {"UIInterfaceOrientationLandscapeLeft", "UIInterfaceOrientationPortrait", "other", 7}}});
  EXPECT_EQ(app.supportedInterfaceOrientationsForWindow(nullptr), 18u);

  struct Hook : ApplicationDelegate, ApplicationDelegateOrientations {
    uint64_t supportedInterfaceOrientationsForWindow(Application&, const std::shared_ptr<Window>&) override {
      return 2;
    }
  };
  auto plain = std::make_shared<ApplicationDelegate>();
  app.setDelegate(plain);
  EXPECT_EQ(app.delegateOrientations(), nullptr);
  auto hook = std::make_shared<Hook>();
  app.setDelegate(hook);
  ASSERT_NE(app.delegateOrientations(), nullptr);
  hook.reset();
  EXPECT_EQ(app.delegateOrientations(), nullptr) << "the delegate is held weakly";
}

// Real mode: the host's main loop runs the layout pass at the end of its turn.
TEST(UIRealMode, TheMainLoopLaysOutMarkedWindows) {
  auto window = std::make_shared<Window>(Rect::make(0, 0, 100, 100));
  auto shown = std::make_shared<View>();
  mainQueue()->async([&] { window->addSubview(shown); });
  EXPECT_TRUE(runMainUntil([&] { return shown->layoutCountForTesting() == 1; }, 10'000));
  // The block that guaranteed the layout's turn may still wait in the main
  // queue; left there, later tests in a test environment would never get a
  // layout pass queued.
  bool drained = false;
  mainQueue()->async([&] { drained = true; });
  EXPECT_TRUE(runMainUntil([&] { return drained; }, 10'000));
}

}  // namespace
