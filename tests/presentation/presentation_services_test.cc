// What the own-network core reaches of the presentation library: the
// registration of services and handler factories, product names, the ad-view
// lookup, the orientation data and the page's native session setting.
#include <gtest/gtest.h>

#include "own_presentation_support.h"
#include "ownnetwork/interfaces/QBAppStoreInsideSessionP.h"
#include "ownnetwork/interfaces/QBNScriptHandlerFactories.h"
#include "presentation/QBNAdUnitWebViewJSInterfaceHandler.h"
#include "presentation/QBNPresentationServices.h"
#include "presentation/QBNViewVisibilityParameters.h"
#include "presentation/QBPresentationRegistration.h"

using namespace platform;
using owntest::OwnPresentationTest;

namespace {

class PresentationServicesTest : public OwnPresentationTest {
 protected:
  ~PresentationServicesTest() override {
    QBNScriptHandlerFactories::resetForTesting();
    QBNPresentationServicesP::registerSharedInstance(nullptr);
    QBAppStoreInsideSessionP::registerSharedInstance(nullptr);
  }
};

TEST_F(PresentationServicesTest, RegistrationGivesTheCoreTheServicesAndTheHandlersOfThisLibrary) {
  QBNScriptHandlerFactories::resetForTesting();
  QBNPresentationServicesP::registerSharedInstance(nullptr);
  qb::presentation::registerWithOwnNetwork();
  qb::presentation::registerWithOwnNetwork();
  EXPECT_EQ(QBNPresentationServicesP::sharedInstance(), QBNPresentationServices::sharedInstance());
  const auto factories = QBNScriptHandlerFactories::current();
  ASSERT_TRUE(factories.presenterHandler && factories.adViewHandler && factories.adUnitWebViewHandler &&
              factories.orientationHandler && factories.secondaryWebViewHandler && factories.hybridAdPresenter);
  EXPECT_FALSE(factories.jsInterfaceHandler);

  // The handlers answer through the publisher they were made with.
  auto adViews = factories.adViewHandler(publisher);
  adViews->invokeAPIWithJSParams(Json{{"fail", "onFail"}});
  factories.adUnitWebViewHandler(publisher)->invokeAPIWithJSParams(adViewAPI("resize", Json::object()));
  auto presenter = factories.presenterHandler(publisher);
  presenter->handleWebViewVisibility(Json{{"fail", "onFail"}});
  presenter->productPresenter()->dismissProduct(0, nullptr);
  factories.orientationHandler(publisher)->setPresentationOrientation(Json{{"fail", "onFail"}}, true);
  factories.secondaryWebViewHandler(publisher)->moveSecondaryToFrontAndSendCloseMessage();
  auto hybrid = factories.hybridAdPresenter(publisher);
  hybrid->showHybridViewControllerWithDictionary(Json{{"fail", "onFail"}, {"hybridJson", "%5B%5D"}}, 1);
  env.runUntilIdle();
  EXPECT_TRUE(hybrid->isPresented());
  EXPECT_EQ(page().lines(), (std::vector<std::string>{R"(onFail {"errMsg":"unsupported API","adViewId":""})",
                                                       R"(onFail {"errMsg":"missing display param"})",
                                                       R"(onFail {"errMsg":"missing orientation param"})",
                                                       R"(engageEnd {"action":"secondaryClose"})",
                                                       R"(onFail {"errMsg":"Deprecated"})",  // posted
                                                       R"(viewableChange {"isViewable":true})",
                                                       R"(appStoreInsideDisplayHybrid {"viewUniqueId":""})"}));
  hybrid->hideHybridAd();
  env.advance(400);
}

TEST_F(PresentationServicesTest, ProductNamesAreMatchedWithoutRegardToCase) {
  const auto services = QBNPresentationServices::sharedInstance();
  const struct {
    std::optional<std::string> name;
    std::optional<uint32_t> type;
  } cases[] = {
      {"RewardedVideo", 0}, {"rewardedvideo", 0}, {"INTERSTITIAL", 1}, {"OfferWall", 2}, {"banner", 4},
      {"3", std::nullopt}, {"", std::nullopt}, {"Banners", std::nullopt}, {std::nullopt, std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name.value_or("(none)"));
    const auto result = services->convertProductNameToProductType(c.name);
    ASSERT_EQ(result.ok(), c.type.has_value());
    if (c.type) {
      EXPECT_EQ(result.value(), *c.type);
    } else {
      EXPECT_EQ(result.error().message, "failed to find product type");
    }
  }
}

TEST_F(PresentationServicesTest, TheAdViewLookupTellsAContainerFromAPlainWebView) {
  auto handler = QBNAdUnitWebViewJSInterfaceHandler::create(publisher);
  handler->invokeAPIWithJSParams(adViewAPI("loadWithUrl", {{"adViewId", "plain"}, {"urlForWebView", "./ads/ad_unit.html"}}));
  handler->invokeAPIWithJSParams(adViewAPI(
      "loadWithUrl", {{"adViewId", "banner"}, {"urlForWebView", "./ads/ad_unit.html"}, {"shouldCreateContainer", "1"}}));
  const auto services = QBNPresentationServices::sharedInstance();
  EXPECT_FALSE(services->getAdUnitWebViewById("none"));
  const auto plain = services->getAdUnitWebViewById("plain");
  ASSERT_TRUE(plain);
  EXPECT_FALSE(plain->isAdContainer);
  EXPECT_EQ(plain->containerView, nullptr);
  const auto banner = services->getAdUnitWebViewById("banner");
  ASSERT_TRUE(banner);
  EXPECT_TRUE(banner->isAdContainer);
  ASSERT_NE(banner->containerView, nullptr);
  EXPECT_EQ(banner->viewToPresent->superview(), banner->containerView);
}

TEST_F(PresentationServicesTest, TheSessionSettingReachesTheOrientationHolder) {
  const auto services = QBNPresentationServices::sharedInstance();
  const auto given = QBNNativeSessionConfiguration::defaultConfiguration();
  for (const bool allow : {false, true}) {
    given->setAllowOrientationFromAppDelegate(allow);
    services->setSessionConfiguration(given);
    const auto configuration = QBNAppOrientationHolder::sharedInstance().sessionConfiguration();
    EXPECT_EQ(configuration, given);
    EXPECT_EQ(configuration->allowOrientationFromAppDelegate(), allow);
  }
  EXPECT_EQ(services->supportedOrientationForViewController(root), 30u);
}

TEST_F(PresentationServicesTest, VisibilityHelpersReadTheViewTree) {
  auto outer = std::make_shared<View>();
  auto inner = std::make_shared<View>();
  outer->addSubview(inner);
  root->view()->addSubview(outer);
  EXPECT_TRUE(QBNViewVisibilityParameters::isViewFoundInHierarchy(inner));
  EXPECT_TRUE(QBNViewVisibilityParameters::isViewHierarchyVisible(inner));
  EXPECT_TRUE(QBNViewVisibilityParameters::isViewVisible(inner));
  inner->setOpaque(false);
  EXPECT_FALSE(QBNViewVisibilityParameters::isViewVisible(inner));
  outer->setHidden(true);
  EXPECT_FALSE(QBNViewVisibilityParameters::isViewHierarchyVisible(inner));
  // The topmost view's own flag does not count.
  window->setHidden(true);
  EXPECT_TRUE(QBNViewVisibilityParameters::isViewHierarchyVisible(root->view()));
  EXPECT_TRUE(QBNViewVisibilityParameters::isViewHierarchyVisible(window));
  outer->removeFromSuperview();
  EXPECT_FALSE(QBNViewVisibilityParameters::isViewFoundInHierarchy(inner));
  EXPECT_EQ(QBNViewVisibilityParameters::collectViewVisibilityParametersIntoDictionary(nullptr),
            (Json{{"isViewVisible", false}, {"isHidden", false}, {"isOpaque", false}, {"isKeyWindow", false},
                  {"isOffScreenView", false}}));
}

}  // namespace
