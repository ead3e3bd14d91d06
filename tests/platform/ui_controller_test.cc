// View controllers: modal presentation and dismissal, refusals, children and
// the responder chain.
#include <gtest/gtest.h>

#include "ui_support.h"

using namespace platform;
using uitest::UITest;
using Lines = std::vector<std::string>;

namespace {

// Records its appearance calls as "<name> <call>".
class Recording : public ViewController {
 public:
  Recording(std::string name, qbtest::Lines& log) : name_(std::move(name)), log_(log) {}
  void viewWillAppear(bool) override { log_.add(name_ + " willAppear"); }
  void viewDidAppear(bool) override { log_.add(name_ + " didAppear"); }
  void viewWillDisappear(bool) override { log_.add(name_ + " willDisappear"); }
  void viewDidDisappear(bool) override { log_.add(name_ + " didDisappear"); }

 private:
  std::string name_;
  qbtest::Lines& log_;
};

class ControllerTest : public UITest {
 protected:
  std::shared_ptr<Recording> make(const std::string& name) { return std::make_shared<Recording>(name, log); }
  std::function<void()> note(const std::string& line) {
    return [this, line] { log.add(line); };
  }
};

TEST_F(ControllerTest, PresentAndDismissCallInOrderWithTheLinksSetAtOnce) {
  for (const bool animated : {false, true}) {
    SCOPED_TRACE(animated ? "animated" : "not animated");
    log.clear();
    auto root = std::make_shared<ViewController>();
    auto window = keyWindow(root);
    auto ad = make("ad");
    auto child = make("child");
    ad->addChildViewController(child);

    ASSERT_TRUE(root->presentViewController(ad, animated, note("presented")));
    EXPECT_EQ(root->presentedViewController(), ad);
    EXPECT_EQ(ad->presentingViewController(), root);
    EXPECT_EQ(ad->view()->window(), window) << "on top of the presenter's window at once";
    EXPECT_EQ(window->subviews().back(), ad->view());
    EXPECT_EQ(log.lines(), (Lines{"ad willAppear", "child willAppear"}));
    env.runUntilIdle();
    if (animated) {
      EXPECT_EQ(log.lines().size(), 2u) << "an animated transition waits for its duration";
      env.advance(299);
      EXPECT_EQ(log.lines().size(), 2u);
      env.advance(1);
    }
    EXPECT_EQ(log.lines(), (Lines{"ad willAppear", "child willAppear", "ad didAppear", "child didAppear", "presented"}));

    log.clear();
    ad->dismissViewControllerAnimated(animated, note("dismissed"));
    EXPECT_FALSE(root->presentedViewController());
    EXPECT_FALSE(ad->presentingViewController());
    EXPECT_EQ(log.lines(), (Lines{"ad willDisappear", "child willDisappear"}));
    EXPECT_TRUE(ad->view()->window()) << "the view leaves when the transition ends";
    env.advance(animated ? 300 : 0);
    EXPECT_EQ(log.lines(), (Lines{"ad willDisappear", "child willDisappear", "ad didDisappear", "child didDisappear",
                                  "dismissed"}));
    EXPECT_FALSE(ad->view()->window());
    EXPECT_EQ(ad->lastPresentationAnimatedForTesting(), animated);
    EXPECT_EQ(ad->lastDismissalAnimatedForTesting(), animated);
  }
}

TEST_F(ControllerTest, RefusesWithoutTouchingAnythingOrCallingTheCompletion) {
  auto root = make("root");
  keyWindow(root);
  auto presented = make("presented");
  ASSERT_TRUE(root->presentViewController(presented, false));
  env.runUntilIdle();
  auto orphan = std::make_shared<ViewController>();  // its view is in no window
  orphan->view();
  auto unloaded = std::make_shared<ViewController>();
  auto parent = std::make_shared<ViewController>();
  auto child = make("child");
  parent->addChildViewController(child);
  log.clear();

  struct Case {
    const char* name;
    std::shared_ptr<ViewController> presenter;
    std::shared_ptr<ViewController> controller;
  } cases[] = {
      {"presenter already presents", root, make("second")},
      {"presenter's view in no window", orphan, make("second")},
      {"presenter's view not loaded", unloaded, make("second")},
      {"already presented elsewhere", presented, presented},
      {"a child controller", presented, child},
      {"nothing to present", presented, nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_FALSE(c.presenter->presentViewController(c.controller, false, note("completion")));
    env.advance(1000);
    EXPECT_EQ(log.lines(), Lines{});
  }
  EXPECT_EQ(root->presentedViewController(), presented);
  EXPECT_FALSE(presented->presentedViewController());
  EXPECT_FALSE(orphan->presentedViewController());
  EXPECT_EQ(child->parentViewController(), parent);
}

TEST_F(ControllerTest, DismissWithNothingPresentedCompletesOnTheNextTurn) {
  auto lonely = make("lonely");
  lonely->dismissViewControllerAnimated(true, note("completion"));
  EXPECT_EQ(log.lines(), Lines{}) << "never inline";
  env.runUntilIdle();
  EXPECT_EQ(log.lines(), (Lines{"completion"}));
}

TEST_F(ControllerTest, AChildDismissesItsPresentedAncestor) {
  auto root = make("root");
  keyWindow(root);
  auto container = make("container");
  auto inner = make("inner");
  auto child = make("child");
  container->addChildViewController(inner);
  inner->addChildViewController(child);
  root->presentViewController(container, false);
  env.runUntilIdle();

  child->dismissViewControllerAnimated(false, note("done"));
  EXPECT_FALSE(root->presentedViewController());
  env.runUntilIdle();
  EXPECT_TRUE(log.heard("done"));
}

TEST_F(ControllerTest, DismissFromThePresenterTakesTheWholeStackTopFirst) {
  auto root = make("root");
  keyWindow(root);
  auto first = make("first");
  auto second = make("second");
  root->presentViewController(first, false);
  env.runUntilIdle();
  first->presentViewController(second, false);
  env.runUntilIdle();
  log.clear();

  root->dismissViewControllerAnimated(false, note("done"));
  EXPECT_FALSE(first->presentedViewController());
  EXPECT_FALSE(second->presentingViewController());
  env.runUntilIdle();
  EXPECT_EQ(log.lines(), (Lines{"second willDisappear", "first willDisappear", "second didDisappear",
                                "first didDisappear", "done"}));
  EXPECT_EQ(root->view()->window()->subviews().size(), 1u);
}

TEST_F(ControllerTest, DismissAskedDuringThePresentationWaitsForItsEnd) {
  auto root = make("root");
  keyWindow(root);
  auto ad = make("ad");
  root->presentViewController(ad, true, note("presented"));
  root->dismissViewControllerAnimated(false, note("dismissed"));
  EXPECT_EQ(root->presentedViewController(), ad) << "the dismissal has not started";
  env.advance(300);
  EXPECT_EQ(log.lines(), (Lines{"ad willAppear", "ad didAppear", "presented", "ad willDisappear", "ad didDisappear",
                                "dismissed"}));
  EXPECT_FALSE(root->presentedViewController());
}

TEST_F(ControllerTest, ResponderChainAndParentLinks) {
  auto root = std::make_shared<ViewController>();
  auto window = keyWindow(root);
  auto sub = std::make_shared<View>();
  root->view()->addSubview(sub);
  EXPECT_EQ(root->view()->nextResponder(), root) << "a root view answers its controller";
  EXPECT_EQ(sub->nextResponder(), root->view()) << "a subview answers its superview";
  EXPECT_EQ(root->nextResponder(), window) << "a controller answers its view's superview";

  auto ad = std::make_shared<ViewController>();
  root->presentViewController(ad, false);
  ad->view()->removeFromSuperview();
  EXPECT_EQ(ad->nextResponder(), root) << "without a superview, the presenter";

  auto other = std::make_shared<ViewController>();
  auto child = std::make_shared<ViewController>();
  root->addChildViewController(child);
  other->addChildViewController(child);
  EXPECT_EQ(child->parentViewController(), other) << "a child leaves its old parent";
  EXPECT_TRUE(root->childViewControllers().empty());
  child->removeFromParentViewController();
  EXPECT_FALSE(child->parentViewController());
  EXPECT_TRUE(other->childViewControllers().empty());
}

}  // namespace
