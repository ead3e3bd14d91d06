// The store view controllers and their adapters: the configuration of a load
// command, the factory, presentation, orientation and the root view's touch
// rule.
#include <gtest/gtest.h>

#include "presentation/QBAppStoreAdapterFactory.h"
#include "presentation/QBAppStoreErrors.h"
#include "store_support.h"

using namespace platform;
using storetest::StoreTest;

namespace {

TEST(QBNSKViewControllerConfigurationTest, ACommandsKeysAreReadAsThePageWritesThem) {
  const struct {
    Json params;
    int32_t type;
    int64_t style;
    bool customRoot;
    bool modal;
  } cases[] = {
      {Json::object(), 0, -1, false, false},
      {{{"shouldUseOriginalStoreKitViewController", "+007"}}, 1, -1, false, false},
      {{{"shouldUseOriginalStoreKitViewController", "no"}}, 0, -1, false, false},
      {{{"shouldUseOriginalStoreKitViewController", "-0"}}, 0, -1, false, false},
      {{{"modalPresentationStyle", "-1"}}, 0, -1, false, false},
      {{{"modalPresentationStyle", "5"}}, 0, 5, false, false},
      {{{"modalPresentationStyle", " 2abc"}}, 0, 2, false, false},
      {{{"modalPresentationStyle", "x"}}, 0, 0, false, false},
      {{{"useCustomRootView", "YES"}, {"modalInPresentation", "t"}}, 0, -1, true, true},
      {{{"useCustomRootView", "0"}, {"modalInPresentation", "false"}}, 0, -1, false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(dumpJson(c.params));
    auto configuration = QBAppStoreInsideSession::viewControllerConfigurationFromAppStoreJsParams(c.params);
    EXPECT_EQ(configuration->viewControllerType(), c.type);
    EXPECT_EQ(configuration->modalPresentationStyle(), c.style);
    EXPECT_EQ(configuration->useCustomRootView(), c.customRoot);
    EXPECT_EQ(configuration->modalInPresentation(), c.modal);
  }
  EXPECT_EQ(QBNSKViewControllerConfiguration::defaultConfiguration()->description(),
            R"(SKViewController configuration: {"viewControllerType":"QBCustomViewController",)"
            R"("useCustomRootView":"false","modalPresentationStyle":-1,"modalInPresentation":"false"})");
}

class StoreAdapterTest : public StoreTest {
 protected:
  static std::shared_ptr<QBNSKViewControllerConfiguration> configuration(int32_t type, bool customRoot = false,
                                                                         int64_t style = -1, bool modal = false) {
    auto c = QBNSKViewControllerConfiguration::defaultConfiguration();
    c->setViewControllerType(type);
    c->setUseCustomRootView(customRoot);
    c->setModalPresentationStyle(style);
    c->setModalInPresentation(modal);
    return c;
  }
  // What a show answered, once the transition has ended.
  std::vector<std::optional<Error>> show(QBAppStoreInsideVCP& adapter, const std::shared_ptr<ViewController>& from) {
    std::vector<std::optional<Error>> answers;
    adapter.showStoreFromViewController(from, [&](std::optional<Error> e) { answers.push_back(std::move(e)); });
    finishTransition();
    return answers;
  }
};

TEST_F(StoreAdapterTest, TheFactoryMakesTheConfiguredControllerAndAdapter) {
  const struct {
    const char* name;
    std::shared_ptr<QBNSKViewControllerConfiguration> configuration;
    const char* version;
    bool custom;
    bool customRoot;
    int style;
    bool modal;
  } cases[] = {
      {"none", nullptr, "17.0", true, false, ModalPresentationStyle::Automatic, false},
      {"platform", configuration(1, true, 5, true), "17.0", false, false, ModalPresentationStyle::Automatic, false},
      {"custom root, style, modal", configuration(0, true, 5, true), "13.0", true, true, 5, true},
      {"modal below 13.0", configuration(0, false, 0, true), "12.4", true, false, 0, false},
      {"any other type", configuration(7), "17.0", true, false, ModalPresentationStyle::Automatic, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    setDevice(c.version);
    auto adapter = QBAppStoreAdapterFactory::createAdapterWithViewControllerConfiguration(c.configuration);
    EXPECT_EQ(adapter->isCustomStoreKitViewController(), c.custom);
    auto controller = adapter->getStoreViewController();
    EXPECT_EQ(std::dynamic_pointer_cast<QBAppStoreViewController>(controller) != nullptr, c.custom);
    EXPECT_EQ(std::dynamic_pointer_cast<QBNAppStoreVCRootView>(controller->view()) != nullptr, c.customRoot);
    EXPECT_EQ(controller->modalPresentationStyle(), c.style);
    EXPECT_EQ(controller->isModalInPresentation(), c.modal);
  }
}

TEST_F(StoreAdapterTest, TheCustomControllerWrapsTheStoreViewAndFollowsOrientationWhileShown) {
  auto adapter = QBAppStoreAdapterFactory::createAdapterWithViewControllerConfiguration(nullptr);
  auto controller = std::static_pointer_cast<QBAppStoreViewController>(adapter->getStoreViewController());
  EXPECT_EQ(controller->view(), controller->baseViewContainer());
  ASSERT_EQ(controller->view()->subviews().size(), 1u);
  EXPECT_NE(std::dynamic_pointer_cast<StoreProductContentView>(controller->view()->subviews()[0]), nullptr);
  QBNAppOrientationHolder::sharedInstance().setExternalAppOrientation(QBOrientationLandscapeAll);
  EXPECT_EQ(controller->supportedInterfaceOrientations(), InterfaceOrientationMask::Landscape);

  EXPECT_EQ(show(*adapter, presenter), std::vector<std::optional<Error>>{std::nullopt});
  EXPECT_TRUE(controller->baseViewContainer()->shouldUpdateOreintation());
  EXPECT_TRUE(adapter->isStoreVisible());
  controller->dismissViewControllerAnimated(true);
  finishTransition();
  EXPECT_FALSE(controller->baseViewContainer()->shouldUpdateOreintation());
  EXPECT_FALSE(adapter->isStoreVisible());
}

TEST_F(StoreAdapterTest, ShowingAgainWhatIsOnScreenOrFromNothingFailsOnce) {
  const std::string blocked = QBAppStoreErrors::kAlreadyPresented;
  const std::string refused = QBAppStoreErrors::kPresentationRefused;
  const struct {
    int32_t type;
    bool blocking;
    std::string error;
  } cases[] = {{0, true, blocked}, {0, false, refused}, {1, true, refused}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.type) + (c.blocking ? " blocking" : ""));
    QBNFeaturesManager::sharedManager().updateSupplyConfigurations(
        Json{{"networkConfig", {{"BlockMultipleSKCalles", c.blocking}}}});
    auto adapter = QBAppStoreAdapterFactory::createAdapterWithViewControllerConfiguration(configuration(c.type));
    ASSERT_EQ(show(*adapter, presenter), std::vector<std::optional<Error>>{std::nullopt});
    auto again = show(*adapter, presenter);
    ASSERT_EQ(again.size(), 1u);
    EXPECT_EQ(again[0]->message, c.error);
    EXPECT_EQ(presenter->presentedViewController(), adapter->getStoreViewController());
    presenter->dismissViewControllerAnimated(false);
    finishTransition();

    auto fromNothing = show(*adapter, nullptr);
    ASSERT_EQ(fromNothing.size(), 1u);
    EXPECT_EQ(fromNothing[0]->message, refused);
  }
}

TEST_F(StoreAdapterTest, APhonePageGoesFullScreenAndThePresenterKeepsItsStyle) {
  const struct {
    const char* version;
    UserInterfaceIdiom idiom;
    bool statusBarHidden;
    int64_t configured;
    int expected;
  } cases[] = {
      {"17.0", UserInterfaceIdiom::Phone, false, -1, ModalPresentationStyle::FullScreen},
      {"8.4", UserInterfaceIdiom::Phone, false, -1, ModalPresentationStyle::FullScreen},
      {"8.3", UserInterfaceIdiom::Phone, false, -1, ModalPresentationStyle::Automatic},
      {"17.0", UserInterfaceIdiom::Pad, false, -1, ModalPresentationStyle::Automatic},
      {"17.0", UserInterfaceIdiom::Phone, true, -1, ModalPresentationStyle::Automatic},
      {"17.0", UserInterfaceIdiom::Phone, false, 5, 5},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.version) + " " + std::to_string(c.configured));
    setDevice(c.version, c.idiom);
    Application::shared().setStatusBarHidden(c.statusBarHidden);
    presenter->setModalPresentationStyle(ModalPresentationStyle::PageSheet);
    auto adapter =
        QBAppStoreAdapterFactory::createAdapterWithViewControllerConfiguration(configuration(0, false, c.configured));
    show(*adapter, presenter);
    EXPECT_EQ(adapter->getStoreViewController()->modalPresentationStyle(), c.expected);
    EXPECT_EQ(presenter->modalPresentationStyle(), ModalPresentationStyle::PageSheet);
    presenter->dismissViewControllerAnimated(false);
    finishTransition();
  }
}

TEST_F(StoreAdapterTest, ThePlatformControllerNeedsPortraitAmongTheApplicationsOrientations) {
  const struct {
    QBOrientation app;
    bool supported;
  } cases[] = {{QBOrientationPortraitFront, true}, {QBOrientationAll, true},
               {QBOrientationLandscapeAll, false}, {QBOrientationPortraitUpsideDown, false}};
  QBNAppOrientationHolder::sharedInstance().setExternalAppOrientation(QBOrientationLandscapeAll);
  EXPECT_TRUE(QBAppStoreAdapterFactory::createAdapterWithViewControllerConfiguration(configuration(0))
                  ->isStoreKitOrientationSupported());
  for (const auto& c : cases) {
    QBNAppOrientationHolder::sharedInstance().setExternalAppOrientation(c.app);
    EXPECT_EQ(QBAppStoreInsideSKStoreViewControllerAdapter().isStoreKitOrientationSupported(), c.supported) << c.app;
  }
}

TEST_F(StoreAdapterTest, ATouchOutsideTheStoreContentClosesAPageWithTheCustomRootView) {
  const struct {
    const char* name;
    bool customRoot;
    bool emptyRoot;
    Point touch;
    bool closes;
  } cases[] = {
      {"outside the content", true, false, {100, 800}, true},
      {"on the content", true, false, {100, 100}, false},
      {"plain root view", false, false, {100, 800}, false},
      {"no subview", true, true, {100, 800}, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    delegate->lines.clear();
    load("v1", command({{"id", "123"}}, {{"useCustomRootView", c.customRoot ? "true" : "false"}}));
    env.runUntilIdle();
    session->showStoreForUniqueId("v1");
    finishTransition();
    auto page = storeOf("v1");
    ASSERT_EQ(presenter->presentedViewController(), page);
    auto content = page->view()->subviews().at(0);
    content->setFrame(Rect::make(0, 0, 390, 400));
    if (c.emptyRoot) content->removeFromSuperview();
    delegate->lines.clear();

    TouchDriver::tap(window, c.touch);
    finishTransition();
    EXPECT_EQ(presenter->presentedViewController() == nullptr, c.closes);
    EXPECT_EQ(delegate->lines.size(), c.closes ? 1u : 0u);
    if (!c.closes) {
      presenter->dismissViewControllerAnimated(false);
      finishTransition();
    }
  }
}

}  // namespace
