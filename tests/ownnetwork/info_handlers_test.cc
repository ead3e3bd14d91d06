// The info commands: unique ids and the page's user data in the user
// defaults, demand-source state, application info, orientation, volume,
// colours and file access.
#include <gtest/gtest.h>

#include "ownnetwork/handlers_test_support.h"

namespace infotest {

using handlertest::HandlersTest;
using handlertest::Sent;
using platform::Json;

class InfoTest : public HandlersTest {
 protected:
  platform::UserDefaults& defaults() { return platform::UserDefaults::standard(); }
};

TEST_F(InfoTest, UniqueIdsAndUserDataStayInTheirOwnKeys) {
  defaults().setString("", "host empty key");
  defaults().setString("theme", "host theme");
  struct Step {
    const char* name;
    std::function<void(QBNInfoHandlers&)> command;
    Sent answer;
  };
  using Members = std::initializer_list<std::pair<const char*, const char*>>;
  using Handler = void (QBNInfoHandlers::*)(const Json&);
  const auto command = [](Handler handler) {
    return [handler](Members members) {
      return [handler, r = request(members)](QBNInfoHandlers& h) { (h.*handler)(r); };
    };
  };
  const auto setId = command(&QBNInfoHandlers::handleSetUserUniqueId);
  const auto getId = command(&QBNInfoHandlers::handleGetUserUniqueId);
  const auto setData = command(&QBNInfoHandlers::handleSetUserDate);
  const auto getData = command(&QBNInfoHandlers::handleGetUserData);
  const Step steps[] = {
      {"unique id stored", setId({{"productType", "RewardedVideo"}, {"uniqueId", "u1"}, {"success", "s"}}),
       {"s", {{"productType", "RewardedVideo"}}, true}},
      {"unique id read", getId({{"productType", "RewardedVideo"}, {"success", "s"}}),
       {"s", {{"userUniqueId", "u1"}, {"productType", "RewardedVideo"}}, true}},
      {"unique id removed", setId({{"productType", "RewardedVideo"}, {"success", "s"}}),
       {"s", {{"productType", "RewardedVideo"}}, true}},
      {"removed id reads empty", getId({{"productType", "RewardedVideo"}, {"success", "s"}}),
       {"s", {{"userUniqueId", ""}, {"productType", "RewardedVideo"}}, true}},
      {"a product without unique id is refused",
       setId({{"productType", "Banner"}, {"uniqueId", "u2"}, {"success", "s"}, {"fail", "f"}}),
       {"f", {{"errMsg", "no user unique id for productType Banner"}}, false}},
      {"and reads empty", getId({{"productType", "Banner"}, {"success", "s"}}),
       {"s", {{"userUniqueId", ""}, {"productType", "Banner"}}, true}},
      {"page data never stored", getData({{"key", "theme"}, {"success", "s"}}), {"s", {{"theme", "{}"}}, true}},
      {"page data stored", setData({{"key", "theme"}, {"value", "dark"}, {"success", "s"}, {"fail", "f"}}),
       {"s", {{"key", "theme"}, {"value", "dark"}}, true}},
      {"page data read", getData({{"key", "theme"}, {"success", "s"}}), {"s", {{"theme", "dark"}}, true}},
      {"page data without value", setData({{"key", "x"}, {"success", "s"}, {"fail", "f"}}), {"f", Json::object(), false}},
      {"page data without key", getData({{"success", "s"}, {"fail", "f"}}), {"f", {{"errMsg", "missing key"}}, false}},
      {"the own network's user data", setData({{"key", "pmaUserData"}, {"value", "%7B%7D"}, {"success", "s"}}),
       {"s", {{"key", "pmaUserData"}, {"value", "%7B%7D"}}, true}},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(step.name);
    step.command(info);
    EXPECT_EQ(sent(), (std::vector<Sent>{step.answer}));
  }
  EXPECT_EQ(defaults().string("theme"), "host theme") << "the application's own keys are out of the page's reach";
  EXPECT_EQ(defaults().string(""), "host empty key");
  EXPECT_EQ(defaults().string("pmaUserData"), "%7B%7D");
  EXPECT_FALSE(defaults().object("x"));
  EXPECT_FALSE(defaults().object(QBNInfoHandlers::userDefaultsKeyForPageKey("x")));
}

TEST_F(InfoTest, DemandSourceStateFailuresInOrder) {
  auto source = PMADemandSource::createDemandSourceWithName("ds", std::nullopt, std::weak_ptr<QBNProductDelegate>());
  source->setMediationState(3);
  PMADemandSourcesCollection::sharedInstance().addDemandSourceWithProductType(1, source);
  struct Case {
    Json request;
    Sent answer;
  };
  const Case cases[] = {
      {request({{"productType", "Video"}, {"fail", "f"}}),
       {"f", {{"errMsg", "missing demand source name and demand source id"}}, false}},
      {request({{"demandSourceName", "ds"}, {"productType", "Video"}, {"fail", "f"}}),
       {"f", {{"errMsg", "failed to find product type"}}, false}},
      {request({{"demandSourceName", "ds"}, {"productType", "RewardedVideo"}, {"fail", "f"}}),
       {"f", {{"errMsg", "demand source is not exist"}}, false}},
      {request({{"demandSourceId", "ds"}, {"demandSourceName", "other"}, {"productType", "Interstitial"}, {"success", "s"}}),
       {"s", {{"demandSourceName", "ds"}, {"demandSourceId", "ds"}, {"productType", "Interstitial"}, {"state", 3}}, false}},
  };
  for (const Case& c : cases) {
    info.handleGetDemandSourceState(c.request);
    EXPECT_EQ(sent(), (std::vector<Sent>{c.answer})) << platform::dumpJson(c.request);
  }
}

TEST_F(InfoTest, ApplicationInfoPerProduct) {
  publisher->parameters[0] = std::make_shared<PMAProductParameters>("rvKey", "rvUser");
  publisher->parameters[1] = std::make_shared<PMAProductParameters>("isKey", "isUser");
  publisher->parameters[4] = std::make_shared<PMAProductParameters>("bnKey", std::nullopt);
  publisher->parameters[2] = std::make_shared<PMAGeneralParameters>("owKey", "owUser", std::weak_ptr<void>(),
                                                                    Json{{"custom", "c"}});
  PMADemandSourcesCollection::sharedInstance().addDemandSourceWithProductType(
      1, PMADemandSource::createDemandSourceWithName("ds", Json{{"extra", "e"}}, std::weak_ptr<QBNProductDelegate>()));
  struct Case {
    Json request;
    Sent answer;
  };
  const Case cases[] = {
      {request({{"productType", "RewardedVideo"}, {"success", "s"}}),
       {"s", {{"productType", "RewardedVideo"}, {"applicationKey", "rvKey"}, {"applicationUserId", "rvUser"}}, false}},
      {request({{"productType", "Interstitial"}, {"demandSourceName", "ds"}, {"success", "s"}}),
       {"s",
        {{"productType", "Interstitial"}, {"applicationKey", "isKey"}, {"applicationUserId", "isUser"},
         {"demandSourceName", "ds"}, {"demandSourceId", "ds"}, {"extra", "e"}},
        false}},
      {request({{"productType", "Interstitial"}, {"demandSourceName", "none"}, {"success", "s"}}),
       {"s", {{"productType", "Interstitial"}, {"applicationKey", "isKey"}, {"applicationUserId", "isUser"}}, false}},
      {request({{"productType", "Banner"}, {"success", "s"}}),
       {"s", {{"productType", "Banner"}, {"applicationKey", "bnKey"}}, false}},
      {request({{"productType", "OfferWall"}, {"demandSourceName", "ds"}, {"success", "s"}}),
       {"s", {{"productType", "OfferWall"}, {"applicationKey", "owKey"}, {"applicationUserId", "owUser"}, {"custom", "c"}},
        false}},
      {request({{"productType", "Video"}, {"fail", "f"}}), {"f", {{"errMsg", "failed to find product type"}}, false}},
  };
  for (const Case& c : cases) {
    info.handleGetApplicationInfo(c.request);
    EXPECT_EQ(sent(), (std::vector<Sent>{c.answer})) << platform::dumpJson(c.request);
  }
}

TEST_F(InfoTest, OrientationAndVolumeAnswers) {
  using platform::InterfaceOrientation;
  for (const auto& [orientation, text] : std::vector<std::pair<InterfaceOrientation, const char*>>{
           {InterfaceOrientation::Unknown, "portrait"},
           {InterfaceOrientation::Portrait, "portrait"},
           {InterfaceOrientation::PortraitUpsideDown, "portrait"},
           {InterfaceOrientation::LandscapeLeft, "landscape"},
           {InterfaceOrientation::LandscapeRight, "landscape"}}) {
    platform::Application::shared().setStatusBarOrientation(orientation);
    info.handleGetOrientation(request({{"success", "s"}}));
    EXPECT_EQ(sent(), (std::vector<Sent>{{"s", {{"orientation", text}}, true}})) << text;
  }
  publisher->allowAppDelegate = false;
  info.handleGetAppOrientationData(request({{"success", "s"}}));
  EXPECT_EQ(sent(), (std::vector<Sent>{{"s", services->applicationOrientationData(false), true}}));
  setDevice([](platform::DeviceFacts& facts) { facts.outputVolume = 0.25; });
  info.handleGetDeviceVolume(request({{"success", "s"}}));
  EXPECT_EQ(sent(), (std::vector<Sent>{{"s", {{"deviceVolume", 0.25}}, false}}));
}

TEST_F(InfoTest, BackgroundColoursAndFileAccess) {
  publisher->webView = PMWVWKWebView::create(platform::Rect::make(0, 0, 10, 10));
  auto controllerView = publisher->webView->view();
  auto adView = std::make_shared<platform::View>(platform::Rect::make(0, 0, 5, 5));
  services->adViews["ad1"] = adView;
  struct Case {
    Json request;
    std::shared_ptr<platform::View> target;
    platform::Color color;
  };
  const Case cases[] = {
      {request({{"color", "transparent"}}), controllerView, platform::Color{0, 0, 0, 0}},
      {request({{"color", "%23ff0000"}}), controllerView, platform::Color{1, 0, 0, 1}},
      {request({{"color", "0f0"}, {"adViewId", "ad1"}}), adView, platform::Color{0, 1, 0, 1}},
      {request({{"color", "%2311223344"}}), controllerView,
       platform::Color{0x11 / 255.0, 0x22 / 255.0, 0x33 / 255.0, 0x44 / 255.0}},
  };
  for (const Case& c : cases) {
    info.handleSetBackgroundColor(c.request);
    EXPECT_EQ(c.target->backgroundColor(), c.color) << platform::dumpJson(c.request);
  }
  info.handleSetBackgroundColor(request({{"color", "fff"}, {"adViewId", "unknown"}}));
  info.handleSetBackgroundColor(request({{"adViewId", "ad1"}}));
  EXPECT_EQ(adView->backgroundColor(), (platform::Color{0, 1, 0, 1})) << "no ad view, or no colour: nothing changes";
  EXPECT_NE(controllerView->backgroundColor(), platform::Color::white());

  const auto access = [&] {
    return publisher->webView->configuration().preferences->value(platform::Preferences::kAllowFileAccessFromFileURLs);
  };
  info.handleAllowFileAccessFromFileURLs(request({{"allowFileAccess", "true"}}));
  EXPECT_EQ(access(), true);
  info.handleAllowFileAccessFromFileURLs(request({{"allowFileAccess", "false"}}));
  EXPECT_EQ(access(), false);
  EXPECT_TRUE(sent().empty());
}

}  // namespace infotest
