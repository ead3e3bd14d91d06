// The hybrid ad: the split view of the controller web view and a prepared
// store page, its layout, ratio changes, hiding, and its reports to the page.
#include <gtest/gtest.h>

#include "own_presentation_support.h"
#include "platform/storekit/storekit_control.h"
#include "presentation/QBAppStoreInsideSession.h"
#include "presentation/QBNFullScreenBaseView.h"
#include "presentation/QBNHybridAdPresenter.h"

using namespace platform;
using owntest::OwnPresentationTest;

namespace {

using presentationtest::Lines;
using presentationtest::str;

Json part(const char* type, double ratio) { return Json{{"viewType", type}, {"screenRatio", ratio}}; }

class HybridPresenterTest : public OwnPresentationTest {
 protected:
  HybridPresenterTest() {
    StoreKitControl::shared().resetForTesting();
    const Json params{{"storeKitLoadParams", PMAHelperMethods::encodeToPercentEscapeString(R"({"id":"123"})")}};
    store->loadStoreWithAppId("123", "v1", params, false);
    env.runUntilIdle();
  }
  ~HybridPresenterTest() override {
    store->resetForTesting();
    StoreKitControl::shared().resetForTesting();
  }

  static Json command(const Json& layout) {
    return Json{{"viewUniqueId", "v1"},
                {"hybridJson", PMAHelperMethods::encodeToPercentEscapeString(dumpJson(layout))},
                {"fail", "onFail"}};
  }
  void show(const Json& layout) { presenter->showHybridViewControllerWithDictionary(command(layout), 1); }
  std::shared_ptr<QBSplitViewController> split() const { return presenter->splitViewCtrl(); }
  Lines frames() const {
    Lines out;
    for (const auto& v : split()->viewsArray()) out.push_back(str(v->frame()));
    return out;
  }
  std::vector<double> multipliers() const {
    std::vector<double> out;
    for (const auto& c : split()->viewHeightConstraintArray()) out.push_back(c->multiplier());
    return out;
  }

  std::shared_ptr<QBAppStoreInsideSession> store = QBAppStoreInsideSession::sharedInstance();
  std::shared_ptr<QBNHybridAdPresenter> presenter = QBNHybridAdPresenter::create(publisher);
};

TEST_F(HybridPresenterTest, PartsStackInContainersOfTheirRatiosAndTheDisplayIsReportedOncePresented) {
  const auto storeController = store->getAppStoreViewCtrlByViewUniqueId("v1");
  ASSERT_TRUE(storeController);
  const struct {
    const char* name;
    Json layout;
    Lines frames;
    int controllerPart;  // which container shows the controller web view (-1: none)
  } cases[] = {
      {"controller only", Json::array({part("controller", 1)}), {"(0,0,390,844)"}, 0},
      {"store over controller", Json::array({part("store", 0.6), part("controller", 0.4)}),
       {"(0,0,390,506.4)", "(0,506.4,390,337.6)"}, 1},
      {"unknown part keeps its place", Json::array({part("banner", 0.5), part("controller", 0.5)}),
       {"(0,0,390,422)", "(0,422,390,422)"}, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    page().calls.clear();
    show(c.layout);
    ASSERT_EQ(root->presentedViewController(), split());
    EXPECT_TRUE(page().lines().empty()) << "nothing before the presentation completes";
    env.runUntilIdle();
    EXPECT_EQ(page().lines(), (Lines{R"(viewableChange {"isViewable":true})",
                                     R"(appStoreInsideDisplayHybrid {"viewUniqueId":"v1"})"}));
    EXPECT_EQ(frames(), c.frames);
    const auto controllerPart = split()->viewsArray()[c.controllerPart]->subviews().at(0);
    ASSERT_TRUE(std::dynamic_pointer_cast<QBNFullScreenBaseView>(controllerPart));
    EXPECT_EQ(publisher->controllerWebView->superview(), controllerPart);
    EXPECT_FALSE(publisher->controllerWebView->isHidden());
    const bool withStore = c.layout[0]["viewType"] == "store";
    EXPECT_EQ(storeController->parentViewController(), withStore ? split() : nullptr);
    if (withStore) {
      EXPECT_EQ(storeController->view()->superview(), split()->viewsArray()[0]);
    }
    EXPECT_TRUE(split()->modalPresentationCapturesStatusBarAppearance());
    EXPECT_TRUE(presenter->isPresented());
    EXPECT_EQ(presenter->presentedViewController(), split());
    presenter->hideHybridAd();
    env.advance(400);
  }
}

TEST_F(HybridPresenterTest, RatioChangesSwapTheHeightConstraints) {
  presenter->handleHybridViewRatioConstrains(command(Json::array({part("controller", 1)})));  // nothing shown
  show(Json::array({part("store", 0.6), part("controller", 0.4)}));
  env.runUntilIdle();
  EXPECT_EQ(multipliers(), (std::vector<double>{0.6, 0.4}));
  const auto old = split()->viewHeightConstraintArray();
  const struct {
    const char* name;
    Json layout;
    std::vector<double> multipliers;
    Lines frames;
  } cases[] = {
      {"new ratios, types not read again", Json::array({part("x", 0.25), part("y", 0.75)}), {0.25, 0.75},
       {"(0,0,390,211)", "(0,211,390,633)"}},
      {"ratios as texts", Json::array({{{"screenRatio", "0.5"}}, {{"screenRatio", "0.5"}}}), {0.5, 0.5},
       {"(0,0,390,422)", "(0,422,390,422)"}},
      {"another length changes nothing", Json::array({part("controller", 1)}), {0.5, 0.5},
       {"(0,0,390,422)", "(0,422,390,422)"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    presenter->handleHybridViewRatioConstrains(command(c.layout));
    env.runUntilIdle();
    EXPECT_EQ(multipliers(), c.multipliers);
    EXPECT_EQ(frames(), c.frames);
  }
  for (size_t i = 0; i < old.size(); ++i) {
    const auto& now = split()->viewHeightConstraintArray()[i];
    EXPECT_FALSE(old[i]->isActive());
    EXPECT_TRUE(now->isActive());
    EXPECT_EQ(now->firstItem(), old[i]->firstItem());
    EXPECT_EQ(now->secondItem(), old[i]->secondItem());
  }
}

TEST_F(HybridPresenterTest, HidingFadesThenDismissesThenReports) {
  for (const bool storeOnTop : {false, true}) {
    SCOPED_TRACE(storeOnTop ? "a store page shown over it" : "alone");
    show(Json::array({part("controller", 1)}));
    env.runUntilIdle();
    if (storeOnTop) {
      ASSERT_TRUE(split()->presentViewController(std::make_shared<ViewController>(), false));
      env.runUntilIdle();
    }
    page().calls.clear();
    presenter->hideHybridAd();
    EXPECT_EQ(window->subviews().front(), publisher->controllerWebView);
    EXPECT_TRUE(publisher->controllerWebView->isHidden());
    EXPECT_EQ(split()->view()->alpha(), 0.0);
    env.advance(299);
    EXPECT_TRUE(page().lines().empty());
    EXPECT_TRUE(presenter->isPresented());
    env.advance(1);
    env.runUntilIdle();
    EXPECT_EQ(page().lines(), (Lines{R"(viewableChange {"isViewable":false})",
                                     R"(appStoreInsideHideHybrid {"viewUniqueId":"v1"})"}));
    EXPECT_EQ(root->presentedViewController(), nullptr);
    EXPECT_FALSE(presenter->isPresented());
  }
}

// A second display while one is shown used to present over the first, which
// no hide could reach afterwards; it is now refused and the first stays the
// one a hide removes.
TEST_F(HybridPresenterTest, ASecondDisplayWhileShownIsRefused) {
  show(Json::array({part("controller", 1)}));
  env.runUntilIdle();
  const auto first = split();
  page().calls.clear();
  show(Json::array({part("store", 0.5), part("controller", 0.5)}));
  env.runUntilIdle();
  EXPECT_EQ(page().lines(), Lines{R"(onFail {"errMsg":"some product is already presented on screen"})"});
  EXPECT_EQ(split(), first);
  presenter->hideHybridAd();
  env.advance(400);
  EXPECT_EQ(root->presentedViewController(), nullptr);

  show(Json::array({part("controller", 1)}));  // once hidden, the next one shows
  env.runUntilIdle();
  EXPECT_EQ(root->presentedViewController(), split());
  EXPECT_NE(split(), first);
}

TEST_F(HybridPresenterTest, LayoutsThatAreNoListShowNothing) {
  const struct {
    const char* name;
    Json params;
    const char* logged;
  } cases[] = {
      {"not JSON", {{"viewUniqueId", "v1"}, {"hybridJson", "%7Bnope"}}, "Error in Call PlovermarkAds Function: "},
      {"no layout", {{"viewUniqueId", "v1"}}, "Error in Call PlovermarkAds Function: "},
      {"an object", command({{"viewType", "controller"}}), nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    console.clear();
    presenter->showHybridViewControllerWithDictionary(c.params, 1);
    env.advance(400);
    EXPECT_EQ(root->presentedViewController(), nullptr);
    EXPECT_EQ(split(), nullptr);
    EXPECT_TRUE(page().lines().empty());
    if (c.logged) {
      EXPECT_TRUE(console.contains(c.logged));
    }
  }
}

TEST_F(HybridPresenterTest, NothingToPresentFromFailsAndKeepsTheControllerPage) {
  root->view()->removeFromSuperview();  // the top-most controller is outside any window
  show(Json::array({part("controller", 1)}));
  env.runUntilIdle();
  EXPECT_EQ(page().lines(), Lines{R"(onFail {"errMsg":"did not find view controller to present from"})"});
  EXPECT_EQ(window->subviews().front(), publisher->controllerWebView);
  EXPECT_TRUE(publisher->controllerWebView->isHidden());
  EXPECT_FALSE(presenter->isPresented());
}

}  // namespace
