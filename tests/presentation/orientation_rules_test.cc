// Orientation rules: conversions, the facts and their dictionary, the
// application's mask and the orientation manager.
#include <gtest/gtest.h>

#include <limits>

#include "presentation/PMEOrientationContext.h"
#include "presentation/QBOrientationData.h"
#include "presentation/QBOrientationPolicy.h"
#include "presentation/QBViewUtils.h"
#include "presentation_support.h"

using namespace platform;
using presentationtest::FixedController;
using presentationtest::PresentationTest;

namespace {

using OrientationTest = PresentationTest;

TEST_F(OrientationTest, ControllerStringsBecomeMasks) {
  const std::pair<const char*, QBOrientation> cases[] = {
      {"portrait", 6},        {"landscape", 24},      {"portraitFront", 2}, {"portraitUpsideDown", 4},
      {"landscapeLeft", 16},  {"landscapeRight", 8},  {"allButUpsideDown", 26}, {"free", 30},
      {"24", 24},             {"16", 16},             {" 8 degrees", 8},  {"0", 0},
      {"Portrait", 0},        {"", 0},                {"application", 0},
  };
  for (const auto& [text, mask] : cases) {
    EXPECT_EQ(QBOrientationUtillis::convertControllerStringOrientationToQBOrientation(text), mask) << text;
  }
}

// What the page is told of a mask: its locked state as the controller names it.
TEST_F(OrientationTest, MasksGiveTheControllerStringOfTheirLockedState) {
  const std::pair<QBOrientation, const char*> cases[] = {
      {0, "unknown"},    {1, "unknown"},    {2, "portrait"}, {4, "portrait"}, {6, "portrait"},
      {8, "landscape"}, {16, "landscape"}, {24, "landscape"}, {26, "none"},  {30, "none"},
  };
  for (const auto& [mask, name] : cases) {
    EXPECT_EQ(QBOrientationUtillis::lockedStateAsControllerString(
                  QBOrientationUtillis::orientationLockedStateFromOrientation(mask)),
              name)
        << mask;
  }
  EXPECT_EQ(QBOrientationUtillis::lockedStateAsControllerString(4), std::nullopt);
  EXPECT_EQ(QBOrientationUtillis::lockedStateAsControllerString(-1), std::nullopt);
}

TEST_F(OrientationTest, CalculatorMatrix) {
  const struct {
    const char* name;
    QBOrientation external;
    uint64_t window, topMost, presenting;
    bool fallback;
    int64_t statusBar;
    uint64_t expected;
  } cases[] = {
      {"the page's override wins", 16, 30, 2, 8, true, 1, 16},
      {"window and top-most share", 0, 30, 2, 0, false, 1, 2},
      {"no share, window fallback on", 0, 24, 2, 0, true, 1, 24},
      {"no share, window fallback off", 0, 24, 2, 0, false, 1, 2},
      {"the presenting mask replaces the top-most", 0, 30, 2, 24, false, 1, 24},
      {"nothing to go by: the status bar's own mask", 0, 24, 0, 0, false, 3, 8},
      {"nothing to go by, unknown status bar", 0, 24, 0, 0, false, 0, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    QBNAppOrientationCalculator::setUseWindowOrientationFallbackSource([&] { return c.fallback; });
    QBOrientationData data;
    data.setWindowOrientation(c.window);
    data.setTopMostViewControllerOrientation(c.topMost);
    data.setStatusBarOrientation(c.statusBar);
    EXPECT_EQ(QBNAppOrientationCalculator::calculateApplicationSupportedOrientationMaskFromOrientationData(
                  data, c.external, c.presenting),
              c.expected);
  }
}

struct DelegateHook : ApplicationDelegate, ApplicationDelegateOrientations {
  uint64_t supportedInterfaceOrientationsForWindow(Application&, const std::shared_ptr<Window>&) override {
    return 2;
  }
};

TEST_F(OrientationTest, FactsAndTheirDictionary) {
  auto empty = PMEOrientationContext::applicationOrientationData();
  EXPECT_EQ(empty->topMostViewControllerOrientation(), 0u) << "no root view controller";
  EXPECT_FALSE(empty->topMostViewControllerShouldAutorotate());
  EXPECT_EQ(empty->dictionaryRepresentation(),
            Json::parse(R"({"currentDeviceOrientation": "1", "windowOrientation": "26",
                            "topMostViewControllerOrientation": "0", "topMostViewControllerShouldAutorotate": "false",
                            "preferredInterfaceOrientationForPresentation": "0", "statusBarOrientation": "1",
                            "isWindowOrientationOverrided": "false"})"))
      << "no \"plistOrientation\" without the key";

  auto window = std::make_shared<Window>(Rect::make(0, 0, 390, 844));
  window->setRootViewController(std::make_shared<FixedController>(24, false));
  window->makeKeyAndVisible();
  setPlistOrientations({"UIInterfaceOrientationPortrait", "UIInterfaceOrientationLandscapeRight"});
  auto hook = std::make_shared<DelegateHook>();
  Application::shared().setDelegate(hook);
  Application::shared().setStatusBarOrientation(InterfaceOrientation::LandscapeRight);
  Device::current().setOrientation(DeviceOrientation::FaceUp);

  const auto dict = PMEOrientationContext::applicationOrientationDataWithAppDelegateDataIfAllowed(false)
                        ->dictionaryRepresentation();
  EXPECT_EQ(dict, Json::parse(R"({"currentDeviceOrientation": "5",
      "plistOrientation": ["UIInterfaceOrientationPortrait", "UIInterfaceOrientationLandscapeRight"],
      "windowOrientation": "10", "topMostViewControllerOrientation": "24",
      "topMostViewControllerShouldAutorotate": "false", "preferredInterfaceOrientationForPresentation": "3",
      "statusBarOrientation": "3", "isWindowOrientationOverrided": "true"})"));
  EXPECT_EQ(PMEOrientationContext::applicationOrientationDataWithAppDelegateDataIfAllowed(true)->windowOrientation(),
            2u)
      << "the delegate's answer only when allowed";
  Application::shared().setDelegate(std::make_shared<ApplicationDelegate>());
  EXPECT_EQ(PMEOrientationContext::applicationOrientationDataWithAppDelegateDataIfAllowed(true)->windowOrientation(),
            10u)
      << "a delegate without the hook (here already gone) is not asked";

  EXPECT_EQ(PMEOrientationContext::supportedOrientationForViewController(nullptr),
            std::numeric_limits<uint64_t>::max());
}

TEST_F(OrientationTest, ParentViewControllerWalksTheResponderChain) {
  auto window = keyWindow(30);
  auto root = window->rootViewController();
  auto nested = std::make_shared<View>();
  auto deeper = std::make_shared<View>();
  root->view()->addSubview(nested);
  nested->addSubview(deeper);
  EXPECT_EQ(QBViewUtils::parentViewController(*root->view()), root);
  EXPECT_EQ(QBViewUtils::parentViewController(*deeper), root);
  EXPECT_EQ(QBViewUtils::parentViewController(*std::make_shared<View>()), nullptr);
  EXPECT_EQ(QBViewUtils::parentViewController(*window), nullptr);
}

TEST_F(OrientationTest, PlistMaskIsReadOnceAndTheStatusBarDecidesWithoutOne) {
  Application::shared().setStatusBarOrientation(InterfaceOrientation::LandscapeRight);
  EXPECT_EQ(QBOrientationUtillis::plistSupportedOrientationMask(), 8u) << "no key: the status bar decides";
  Application::shared().setStatusBarOrientation(InterfaceOrientation::LandscapeLeft);
  EXPECT_EQ(QBOrientationUtillis::plistSupportedOrientationMask(), 16u) << "at each call";

  QBOrientationUtillis::resetPlistSupportedOrientationMaskForTesting();
  setPlistOrientations({"UIInterfaceOrientationLandscapeLeft", "UIInterfaceOrientationPortraitUpsideDown"});
  EXPECT_EQ(QBOrientationUtillis::plistSupportedOrientationMask(), 20u);
  setPlistOrientations({"UIInterfaceOrientationPortrait"});
  EXPECT_EQ(QBOrientationUtillis::plistSupportedOrientationMask(), 20u) << "once per process";
}

TEST_F(OrientationTest, HolderRecomputesOnEveryChangeAndTellsItsObserver) {
  auto window = keyWindow(26);
  setPlistOrientations({"UIInterfaceOrientationPortrait", "UIInterfaceOrientationLandscapeLeft",
                        "UIInterfaceOrientationLandscapeRight"});
  auto& holder = QBNAppOrientationHolder::sharedInstance();
  std::vector<uint64_t> heard;
  holder.setAppOrientationObserver([&](uint64_t mask) { heard.push_back(mask); });
  auto hook = std::make_shared<DelegateHook>();
  Application::shared().setDelegate(hook);

  auto presenter = std::make_shared<FixedController>(24);
  holder.setPresentingViewController(presenter);  // window 26 and presenter 24 share 24
  holder.setExternalAppOrientation(QBOrientationUtillis::convertControllerStringOrientationToQBOrientation("portrait"));
  holder.setExternalAppOrientation(QBOrientationUtillis::convertControllerStringOrientationToQBOrientation("bogus"));
  holder.setSessionConfiguration(QBNNativeSessionConfiguration::defaultConfiguration());  // delegate's 2 & 24
  presenter.reset();
  holder.updateAppOrientation();  // the presenter is gone: window 2 with the top-most 26
  EXPECT_EQ(heard, (std::vector<uint64_t>{2, 24, 6, 24, 24, 2})) << "the first is the mask of the last recompute";
  EXPECT_EQ(QBOrientationUtillis::lockedStateAsControllerString(
                QBOrientationUtillis::orientationLockedStateFromOrientation(holder.appOrientation())),
            "portrait");
  EXPECT_EQ(holder.presentingViewController(), nullptr) << "held weakly";
}

TEST_F(OrientationTest, DeviceNoticesReorderTheRecentOrientations) {
  auto& manager = QBOrientationManager::sharedManager();
  using Recent = std::array<QBOrientation, 4>;
  EXPECT_EQ(manager.recentOrientations(), (Recent{2, 8, 16, 4}));
  auto view = std::make_shared<View>();
  manager.insertView(view);

  const struct {
    DeviceOrientation device;
    Recent recent;
  } steps[] = {
      {DeviceOrientation::LandscapeRight, {8, 2, 16, 4}},
      {DeviceOrientation::FaceUp, {8, 2, 16, 4}},
      {DeviceOrientation::LandscapeLeft, {16, 8, 2, 4}},
      {DeviceOrientation::PortraitUpsideDown, {4, 16, 8, 2}},
      {DeviceOrientation::Portrait, {2, 4, 16, 8}},
  };
  int layouts = view->layoutCountForTesting();
  for (const auto& step : steps) {
    Device::current().setOrientation(step.device);
    EXPECT_EQ(manager.recentOrientations(), step.recent) << static_cast<int>(step.device);
    EXPECT_EQ(view->layoutCountForTesting(), ++layouts) << "laid out on every notice";
  }
  EXPECT_EQ(manager.preferredOrientation(24), 16u);
  EXPECT_EQ(manager.preferredOrientation(6), 2u);
  EXPECT_EQ(manager.preferredOrientation(1), 0u);
}

}  // namespace
