// Window scenes and their notices, and the status bar that follows the key
// window's view controllers.
#include <gtest/gtest.h>

#include "platform/ui/window_scene.h"
#include "ui_support.h"

namespace {

using namespace platform;

class SceneTest : public uitest::UITest {
 protected:
  SceneTest() {
    NotificationCenter::defaultCenter().addObserver("", nullptr, [this](const Notification& n) {
      const auto scene = WindowScene::fromNotification(n);
      if (!scene) return;
      log.add(n.name() + " " + scene->identifier() + " " + sceneActivationStateName(scene->activationState()));
    });
  }
  std::vector<std::string> take() {
    auto lines = log.lines();
    log.clear();
    return lines;
  }
  std::shared_ptr<WindowScene> scene = WindowScene::create("one");
};

TEST_F(SceneTest, TheHostDrivesAScenesLifeAndEachStepIsNoticedWithTheScene) {
  auto& app = Application::shared();
  const struct {
    const char* step;
    std::function<bool()> run;
    bool done;
    std::vector<std::string> notices;
  } steps[] = {
      {"activate before connecting", [&] { return scene->activate(); }, false, {}},
      {"connect", [&] { return app.connectScene(scene); }, true,
       {"UISceneWillConnectNotification one UISceneActivationStateUnattached"}},
      {"connect again", [&] { return app.connectScene(scene); }, false, {}},
      {"activate", [&] { return scene->activate(); }, true,
       {"UISceneDidActivateNotification one UISceneActivationStateForegroundActive"}},
      {"activate again", [&] { return scene->activate(); }, false, {}},
      {"deactivate", [&] { return scene->deactivate(); }, true,
       {"UISceneWillDeactivateNotification one UISceneActivationStateForegroundActive"}},
      {"activate", [&] { return scene->activate(); }, true,
       {"UISceneDidActivateNotification one UISceneActivationStateForegroundActive"}},
      {"background", [&] { return scene->enterBackground(); }, true,
       {"UISceneWillDeactivateNotification one UISceneActivationStateForegroundActive",
        "UISceneDidEnterBackgroundNotification one UISceneActivationStateBackground"}},
      {"background again", [&] { return scene->enterBackground(); }, false, {}},
      {"deactivate in the background", [&] { return scene->deactivate(); }, false, {}},
      {"foreground", [&] { return scene->enterForeground(); }, true,
       {"UISceneWillEnterForegroundNotification one UISceneActivationStateBackground"}},
      {"background while inactive", [&] { return scene->enterBackground(); }, true,
       {"UISceneDidEnterBackgroundNotification one UISceneActivationStateBackground"}},
      {"disconnect", [&] { return app.disconnectScene(scene); }, true,
       {"UISceneDidDisconnectNotification one UISceneActivationStateUnattached"}},
      {"disconnect again", [&] { return app.disconnectScene(scene); }, false, {}},
  };
  for (const auto& s : steps) {
    SCOPED_TRACE(s.step);
    EXPECT_EQ(s.run(), s.done);
    EXPECT_EQ(take(), s.notices);
  }
  EXPECT_TRUE(app.connectedScenes().empty());
  EXPECT_FALSE(app.connectScene(nullptr));
}

TEST_F(SceneTest, OnlySceneNoticesCarryTheirScene) {
  NotificationCenter::defaultCenter().postWithObject(kUISceneDidActivateNotification, std::string("not a scene"));
  NotificationCenter::defaultCenter().postWithObject("SomethingElse", scene);
  NotificationCenter::defaultCenter().post(kUISceneDidActivateNotification);
  EXPECT_TRUE(take().empty());
  Notification note(kUISceneWillEnterForegroundNotification, nullptr, scene);
  EXPECT_EQ(WindowScene::fromNotification(note), scene);
}

TEST_F(SceneTest, WindowsBelongToOneSceneAndLeaveItWhenItDisconnects) {
  auto& app = Application::shared();
  auto other = WindowScene::create("two");
  app.connectScene(scene);
  app.connectScene(other);
  EXPECT_EQ(app.connectedScenes(), (std::vector<std::shared_ptr<WindowScene>>{scene, other}));
  EXPECT_TRUE(other->isConnected());

  auto first = std::make_shared<Window>(Rect::make(0, 0, 390, 844));
  auto second = std::make_shared<Window>(Rect::make(0, 0, 390, 844));
  first->setWindowScene(scene);
  second->setWindowScene(scene);
  EXPECT_EQ(scene->windows(), (std::vector<std::shared_ptr<Window>>{first, second}));
  second->setWindowScene(other);
  EXPECT_EQ(scene->windows(), std::vector<std::shared_ptr<Window>>{first});
  EXPECT_EQ(other->windows(), std::vector<std::shared_ptr<Window>>{second});

  EXPECT_EQ(scene->keyWindow(), nullptr);
  second->makeKeyAndVisible();
  EXPECT_EQ(other->keyWindow(), second);
  EXPECT_EQ(app.keyWindow()->windowScene(), other);
  EXPECT_EQ(scene->keyWindow(), nullptr);

  app.disconnectScene(other);
  EXPECT_EQ(second->windowScene(), nullptr);
  EXPECT_TRUE(other->windows().empty());
  EXPECT_FALSE(other->isConnected());

  first.reset();  // a window that goes leaves its scene
  EXPECT_TRUE(scene->windows().empty());
}

TEST_F(SceneTest, SeveralScenesAreSupportedWhenTheManifestOrTheHostSaysSo) {
  auto& app = Application::shared();
  EXPECT_FALSE(app.supportsMultipleScenes());
  setAppInfo(Json{{kUIApplicationSceneManifestKey, {{kUIApplicationSupportsMultipleScenesKey, true}}}});
  EXPECT_TRUE(app.supportsMultipleScenes());
  setAppInfo(Json{{kUIApplicationSceneManifestKey, {{kUIApplicationSupportsMultipleScenesKey, "YES"}}}});
  EXPECT_FALSE(app.supportsMultipleScenes()) << "only a boolean counts";
  app.setSupportsMultipleScenes(true);
  EXPECT_TRUE(app.supportsMultipleScenes());
  app.setSupportsMultipleScenes(std::nullopt);
  EXPECT_FALSE(app.supportsMultipleScenes());
}

// ------------------------------------------------------------------ status bar

// A controller whose status-bar and orientation answers a test sets.
class Answering : public ViewController {
 public:
  Answering(uint64_t mask = InterfaceOrientationMask::AllButUpsideDown, bool autorotate = true, bool hidden = false,
            int style = ModalPresentationStyle::FullScreen)
      : mask_(mask), autorotate_(autorotate), hidden_(hidden) {
    setModalPresentationStyle(style);
  }
  uint64_t supportedInterfaceOrientations() const override { return mask_; }
  bool shouldAutorotate() const override { return autorotate_; }
  bool prefersStatusBarHidden() const override { return hidden_; }
  InterfaceOrientation preferredInterfaceOrientationForPresentation() const override {
    return preferred_ ? *preferred_ : ViewController::preferredInterfaceOrientationForPresentation();
  }
  std::optional<InterfaceOrientation> preferred_;

 private:
  uint64_t mask_;
  bool autorotate_;
  bool hidden_;
};

using StatusBarTest = uitest::UITest;

TEST_F(StatusBarTest, ItsVisibilityFollowsTheControllerThatRulesItsAppearance) {
  const struct {
    const char* label;
    int style;
    bool captures;
    const char* system;
    bool hidden;  // the presented controller prefers it hidden, the root not
  } cases[] = {
      {"full screen", ModalPresentationStyle::FullScreen, false, "17.0", true},
      {"over full screen", ModalPresentationStyle::OverFullScreen, false, "17.0", true},
      {"a sheet", ModalPresentationStyle::PageSheet, false, "17.0", false},
      {"a sheet that captures the status bar", ModalPresentationStyle::PageSheet, true, "17.0", true},
      {"automatic from 13.0 is a sheet", ModalPresentationStyle::Automatic, false, "13.0", false},
      {"automatic before 13.0 is full screen", ModalPresentationStyle::Automatic, false, "12.4", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    reset();
    DeviceFacts facts;
    facts.osVersion = c.system;
    setDeviceFactsForTesting(facts);
    auto root = std::make_shared<Answering>();
    auto window = keyWindow(root);
    EXPECT_FALSE(Application::shared().isStatusBarHidden());
    auto top = std::make_shared<Answering>(InterfaceOrientationMask::AllButUpsideDown, true, true, c.style);
    top->setModalPresentationCapturesStatusBarAppearance(c.captures);
    ASSERT_TRUE(root->presentViewController(top, false));
    env.runUntilIdle();
    EXPECT_EQ(Application::shared().isStatusBarHidden(), c.hidden);
    EXPECT_EQ(Application::shared().statusBarAppearanceController(), c.hidden ? top : root);
    root->dismissViewControllerAnimated(false);
    EXPECT_FALSE(Application::shared().isStatusBarHidden());
  }
  reset();
  EXPECT_FALSE(Application::shared().isStatusBarHidden()) << "no key window: shown";
}

TEST_F(StatusBarTest, TheHostsValuesOverrideTheControllersUntilCleared) {
  auto window = keyWindow(std::make_shared<Answering>(InterfaceOrientationMask::Portrait, true, true));
  EXPECT_TRUE(Application::shared().isStatusBarHidden());
  Application::shared().setStatusBarHidden(false);
  Application::shared().setStatusBarOrientation(InterfaceOrientation::LandscapeLeft);
  EXPECT_FALSE(Application::shared().isStatusBarHidden());
  EXPECT_EQ(Application::shared().statusBarOrientation(), InterfaceOrientation::LandscapeLeft);
  Application::shared().clearStatusBarHiddenOverride();
  Application::shared().clearStatusBarOrientationOverride();
  EXPECT_TRUE(Application::shared().isStatusBarHidden());
  EXPECT_EQ(Application::shared().statusBarOrientation(), InterfaceOrientation::Portrait);
}

TEST_F(StatusBarTest, ItsOrientationFollowsTheTopFullScreenControllerAndTheDevice) {
  auto& app = Application::shared();
  auto root = std::make_shared<Answering>();
  auto window = keyWindow(root);
  EXPECT_EQ(app.statusBarOrientation(), InterfaceOrientation::Portrait);
  Device::current().setOrientation(DeviceOrientation::LandscapeLeft);
  EXPECT_EQ(app.statusBarOrientation(), InterfaceOrientation::LandscapeRight) << "the interface turns with the device";
  Device::current().setOrientation(DeviceOrientation::FaceUp);
  EXPECT_EQ(app.statusBarOrientation(), InterfaceOrientation::LandscapeRight) << "lying flat changes nothing";
  Device::current().setOrientation(DeviceOrientation::PortraitUpsideDown);
  EXPECT_EQ(app.statusBarOrientation(), InterfaceOrientation::LandscapeRight) << "upside down is not supported";

  // A portrait-only controller over it turns the interface back; a sheet does not count.
  auto sheet = std::make_shared<Answering>(InterfaceOrientationMask::Portrait, true, false,
                                           ModalPresentationStyle::PageSheet);
  ASSERT_TRUE(root->presentViewController(sheet, false));
  EXPECT_EQ(app.statusBarOrientation(), InterfaceOrientation::LandscapeRight);
  EXPECT_EQ(app.interfaceOrientationController(), root);
  root->dismissViewControllerAnimated(false);
  env.runUntilIdle();
  auto portrait = std::make_shared<Answering>(InterfaceOrientationMask::Portrait);
  ASSERT_TRUE(root->presentViewController(portrait, false));
  EXPECT_EQ(app.statusBarOrientation(), InterfaceOrientation::Portrait);
  env.runUntilIdle();

  // Landscape only, not autorotating: its preferred orientation, else the first it supports.
  auto landscape = std::make_shared<Answering>(InterfaceOrientationMask::Landscape, false);
  ASSERT_TRUE(portrait->presentViewController(landscape, false));
  EXPECT_EQ(app.statusBarOrientation(), InterfaceOrientation::LandscapeLeft);
  Device::current().setOrientation(DeviceOrientation::LandscapeLeft);
  EXPECT_EQ(app.statusBarOrientation(), InterfaceOrientation::LandscapeLeft) << "it does not autorotate";
  portrait->dismissViewControllerAnimated(false);
  env.runUntilIdle();
  landscape->preferred_ = InterfaceOrientation::LandscapeRight;
  Device::current().setOrientation(DeviceOrientation::Portrait);
  app.statusBarOrientation();
  ASSERT_TRUE(portrait->presentViewController(landscape, false));
  EXPECT_EQ(app.statusBarOrientation(), InterfaceOrientation::LandscapeRight);
}

TEST_F(StatusBarTest, TheApplicationsOrientationsBoundTheControllers) {
  auto& app = Application::shared();
  auto window = keyWindow(std::make_shared<Answering>(InterfaceOrientationMask::All));
  setAppInfo(Json{{kUISupportedInterfaceOrientationsKey, {"UIInterfaceOrientationPortrait"}}});
  Device::current().setOrientation(DeviceOrientation::LandscapeRight);
  EXPECT_EQ(app.statusBarOrientation(), InterfaceOrientation::Portrait);

  // The delegate's answer counts instead.
  struct Delegate : ApplicationDelegate, ApplicationDelegateOrientations {
    uint64_t supportedInterfaceOrientationsForWindow(Application&, const std::shared_ptr<Window>&) override {
      return InterfaceOrientationMask::Landscape;
    }
  };
  auto delegate = std::make_shared<Delegate>();
  app.setDelegate(delegate);
  EXPECT_EQ(app.statusBarOrientation(), InterfaceOrientation::LandscapeLeft);

  // Nothing in common: the controller's own orientations.
  auto portraitOnly = std::make_shared<Answering>(InterfaceOrientationMask::Portrait);
  window->setRootViewController(portraitOnly);
  EXPECT_EQ(app.statusBarOrientation(), InterfaceOrientation::Portrait);
}

}  // namespace
