// A store page shown over the product view controller: whether the status
// bar shows decides whether the page goes full screen, and the product view
// controller rules the status bar while it is on screen.
#include <gtest/gtest.h>

#include "own_presentation_support.h"
#include "platform/ui/application.h"
#include "presentation/QBAppStoreAdapterFactory.h"
#include "presentation/QBNProductPresenterJSHandler.h"

using namespace platform;
using owntest::OwnPresentationTest;

namespace {

class StoreOverProductTest : public OwnPresentationTest {
 protected:
  std::shared_ptr<QBNProductPresenterJSHandler> handler = QBNProductPresenterJSHandler::create(publisher);
};

TEST_F(StoreOverProductTest, ThePageGoesFullScreenOnlyWhenTheProductShowsTheStatusBar) {
  const struct {
    const char* hideStatusBar;  // the "displayWebView" option; null: the default
    bool hidden;
    int style;
  } cases[] = {
      {nullptr, true, ModalPresentationStyle::Automatic},
      {"true", true, ModalPresentationStyle::Automatic},
      {"false", false, ModalPresentationStyle::FullScreen},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.hideStatusBar ? c.hideStatusBar : "default");
    EXPECT_FALSE(Application::shared().isStatusBarHidden()) << "the application's controller shows it";
    Json options = Json::object();
    if (c.hideStatusBar) options["hideStatusBar"] = c.hideStatusBar;
    handler->handleWebViewVisibility(display(true, options));
    env.advance(1000);
    const auto product = handler->presenter()->presentedViewController();
    ASSERT_TRUE(product);
    EXPECT_EQ(Application::shared().statusBarAppearanceController(), product);
    EXPECT_EQ(Application::shared().isStatusBarHidden(), c.hidden);

    auto adapter = QBAppStoreAdapterFactory::createAdapterWithViewControllerConfiguration(nullptr);
    std::vector<std::optional<Error>> answers;
    adapter->showStoreFromViewController(product, [&](std::optional<Error> e) { answers.push_back(std::move(e)); });
    env.advance(1000);
    ASSERT_EQ(answers.size(), 1u);
    EXPECT_FALSE(answers[0]);
    EXPECT_EQ(adapter->getStoreViewController()->modalPresentationStyle(), c.style);
    EXPECT_TRUE(Application::shared().isStatusBarHidden()) << "the store page hides it";

    product->dismissViewControllerAnimated(false);
    env.advance(1000);
    handler->handleWebViewVisibility(display(false));
    env.advance(1000);
    ASSERT_FALSE(handler->presenter()->isCurrentlyPresented());
  }
}

}  // namespace
