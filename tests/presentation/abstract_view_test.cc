// The full-screen view bases: the orientation decision, the rotation table,
// the constraint helper and the view controller's answers.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "presentation/QBAbstractView.h"
#include "presentation/QBAbstractViewController.h"
#include "presentation/QBConstrainsHelper.h"
#include "presentation/QBOrientationPolicy.h"
#include "presentation_support.h"

using namespace platform;
using presentationtest::PresentationTest;

namespace {

constexpr double pi = std::numbers::pi;
using A = LayoutAttribute;

// One constraint as "first.attr = second.attr * m" with the items named.
std::string describe(const LayoutConstraint& c, const View* view) {
  auto name = [&](const std::shared_ptr<View>& v) { return v.get() == view ? "view" : "super"; };
  static const char* attrs[] = {"-", "left", "right", "top", "bottom", "leading", "trailing",
                                "width", "height", "centerX", "centerY"};
  char m[32];
  std::snprintf(m, sizeof m, "%g", c.multiplier());
  return std::string(name(c.firstItem())) + "." + attrs[int(c.firstAttribute())] + "=" + name(c.secondItem()) + "." +
         attrs[int(c.secondAttribute())] + "*" + m + (c.isActive() ? "" : " (inactive)");
}

std::vector<std::string> describe(const QBConstrainsHelper::Constraints& cs, const View* view) {
  std::vector<std::string> out;
  for (const auto& c : cs) out.push_back(describe(*c, view));
  return out;
}

const std::vector<std::string> kFull = {"view.width=super.width*1", "view.height=super.height*1",
                                        "view.centerX=super.centerX*1", "view.centerY=super.centerY*1"};
const std::vector<std::string> kCrossed = {"view.height=super.width*1", "view.width=super.height*1",
                                           "view.centerX=super.centerX*1", "view.centerY=super.centerY*1"};

class AbstractViewTest : public PresentationTest {
 protected:
  AbstractViewTest() {
    window = keyWindow(30);
    container = window->rootViewController()->view();
    container->addSubview(view);
  }

  void setStatusBar(int64_t s) { Application::shared().setStatusBarOrientation(static_cast<InterfaceOrientation>(s)); }
  // The application's mask and the ad's allowed orientations.
  void setMasks(QBOrientation app, QBOrientation allowed) {
    QBNAppOrientationHolder::sharedInstance().setExternalAppOrientation(app);
    manager.updateOrientationPolicy(QBOrientationPolicy::initWithWithOrientation(allowed));
  }

  QBOrientationManager& manager = QBOrientationManager::sharedManager();
  std::shared_ptr<Window> window;
  std::shared_ptr<View> container;
  std::shared_ptr<QBAbstractView> view = std::make_shared<QBAbstractView>();
};

TEST_F(AbstractViewTest, TheRotationTableTurnsTheContentIntoThePreferredOrientation) {
  view->setOrientationUpdates(true);
  const struct {
    int64_t statusBar;
    QBOrientation preferred;
    double angle;
    bool crossed;
  } cells[] = {
      {1, 4, pi, false},      {1, 8, -pi / 2, true},  {1, 16, pi / 2, true},
      {2, 2, pi, false},      {2, 8, pi / 2, true},   {2, 16, -pi / 2, true},
      {3, 2, -pi / 2, true},  {3, 4, pi / 2, true},   {3, 16, pi, false},
      {4, 2, pi / 2, true},   {4, 4, -pi / 2, true},  {4, 8, pi, false},
  };
  for (const auto& cell : cells) {
    SCOPED_TRACE("status bar " + std::to_string(cell.statusBar) + ", preferred " + std::to_string(cell.preferred));
    setStatusBar(cell.statusBar);
    setMasks(cell.preferred, cell.preferred);  // shared, and the status bar's orientation is not allowed
    manager.updateViewsOrientation();
    EXPECT_NEAR(std::remainder(view->transform().angle() - cell.angle, 2 * pi), 0, 1e-9);
    EXPECT_EQ(describe(view->viewConstraintsArray(), view.get()), cell.crossed ? kCrossed : kFull);
    EXPECT_EQ(view->currentOrientation(), cell.preferred);
    env.runUntilIdle();
    EXPECT_EQ(view->frame(), container->bounds()) << "turned, it still covers its superview";
    EXPECT_EQ(view->bounds().size, cell.crossed ? (Size{844, 390}) : (Size{390, 844}));
  }
}

TEST_F(AbstractViewTest, RevertCasesAndTheTurnWithNothingShared) {
  view->setOrientationUpdates(true);
  setStatusBar(1);
  setMasks(24, 24);
  ASSERT_EQ(view->currentOrientation(), 8u) << "turned (-pi/2) into the most recent landscape";

  // The status bar in an allowed orientation: reverted to it.
  setStatusBar(3);
  setMasks(8, 8);
  EXPECT_TRUE(view->transform().isIdentity());
  EXPECT_EQ(describe(view->viewConstraintsArray(), view.get()), kFull);
  EXPECT_EQ(view->currentOrientation(), 8u);

  // Nothing shared and nothing allowed: the transform stays, the constraints go.
  setStatusBar(1);
  setMasks(24, 24);
  const auto turned = view->viewConstraintsArray();
  setMasks(24, 0);
  EXPECT_NEAR(view->transform().angle(), -pi / 2, 1e-9);
  EXPECT_EQ(view->viewConstraintsArray(), turned);
  EXPECT_FALSE(turned[0]->isActive());

  // Nothing shared but something allowed: turned to it, where standing as the
  // status bar needs no turn at all.
  setMasks(24, 2);
  EXPECT_TRUE(view->transform().isIdentity());
  EXPECT_EQ(describe(view->viewConstraintsArray(), view.get()), kFull);
  EXPECT_EQ(view->currentOrientation(), 2u);

  // Without a superview: reverted, no constraints made, the array kept.
  const auto kept = view->viewConstraintsArray();
  view->removeFromSuperview();
  setStatusBar(4);
  view->setOrientationUpdates(false);
  EXPECT_TRUE(view->transform().isIdentity());
  EXPECT_EQ(view->viewConstraintsArray(), kept);
  EXPECT_EQ(view->currentOrientation(), 16u);
}

TEST_F(AbstractViewTest, PolicyChangesAndUnregisteringLayOutEachRegisteredViewOnce) {
  auto other = std::make_shared<QBAbstractView>();
  container->addSubview(other);
  view->setOrientationUpdates(true);
  other->setOrientationUpdates(true);
  env.runUntilIdle();
  auto counts = [&] { return std::make_pair(view->layoutCountForTesting(), other->layoutCountForTesting()); };
  auto [v0, o0] = counts();

  manager.updateOrientationPolicy(QBOrientationPolicy::initWithStringOrientation("landscape"));
  EXPECT_EQ(counts(), std::make_pair(v0 + 1, o0 + 1)) << "laid out before the call returns";
  EXPECT_EQ(manager.orientationPolicy()->allowedOrientations(), 24u);
  env.runUntilIdle();
  std::tie(v0, o0) = counts();
  manager.updateOrientationPolicy(QBOrientationPolicy::initWithStringOrientation("24"));
  EXPECT_EQ(counts(), std::make_pair(v0, o0)) << "an equal policy lays out nothing";

  other->setOrientationUpdates(false);
  EXPECT_EQ(counts(), std::make_pair(v0 + 1, o0 + 1));
  EXPECT_FALSE(other->shouldUpdateOreintation());
  EXPECT_EQ(manager.viewsArray(), (std::vector<std::shared_ptr<View>>{view}));
  EXPECT_TRUE(other->transform().isIdentity()) << "reverted on its last layout";
}

TEST_F(AbstractViewTest, ViewControllerFollowsWhatTheApplicationAndTheAdShare) {
  auto controller = std::make_shared<QBAbstractViewController>();
  const struct {
    QBOrientation app, allowed;
    uint64_t supported;
    bool autorotate;
  } cases[] = {{30, 24, 24, true}, {26, 6, 6, true}, {6, 24, 6, false}, {24, 0, 24, false}, {31, 0, 30, false}};
  for (const auto& c : cases) {
    setMasks(c.app, c.allowed);
    EXPECT_EQ(controller->supportedInterfaceOrientations(), c.supported) << c.app << "/" << c.allowed;
    EXPECT_EQ(controller->shouldAutorotate(), c.autorotate) << c.app << "/" << c.allowed;
  }
}

}  // namespace
