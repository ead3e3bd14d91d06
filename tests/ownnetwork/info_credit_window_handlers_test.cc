// The page-command handlers that answer at once: "adCredited",
// "onAdWindowsClosed", "setWebViewHidden" and "displayWebView" (offerwall
// credit verification and the page's user data, rewards and closes through
// the demand sources, what the display command reaches), and the info
// commands (unique ids and the page's user data in the user defaults,
// demand-source state, application info, orientation, volume, colours and
// file access).
#include <gtest/gtest.h>

#include "ownnetwork/handlers_test_support.h"

namespace infocreditwindowtest {

using handlertest::HandlersTest;
using handlertest::Sent;
using platform::Json;

// Accepts or refuses credits; also hears closes.
class OfferWallListener : public PMAOfferWallDelegate,
                          public PmaOfferWallDidReceiveCreditCall,
                          public PmaOfferWallDidCloseCall {
 public:
  bool pmaOfferWallDidReceiveCredit(const Json& credit) override {
    credits.push_back(credit);
    return accept;
  }
  void pmaOfferWallDidClose() override { ++closes; }
  bool accept = true;
  std::vector<Json> credits;
  int closes = 0;
};

// Implements no call at all.
class SilentOfferWallListener : public PMAOfferWallDelegate {};

class CreditWindowTest : public HandlersTest {
 protected:
  CreditWindowTest() {
    publisher->parameters[2] = std::make_shared<PMAGeneralParameters>("key", "user", std::weak_ptr<void>(), std::nullopt);
    publisher->offerWall = offerWall;
  }
  static std::string signature(const std::string& text) { return PMAHelperMethods::getMD5Hash(text); }
  static void storeUserData(const Json& data) {
    platform::UserDefaults::standard().setString(
        "pmaUserData", PMAHelperMethods::encodeToPercentEscapeString(platform::dumpJson(data)));
  }
  static std::optional<Json> storedUserData() {
    auto text = platform::UserDefaults::standard().string("pmaUserData");
    if (!text) return std::nullopt;
    auto parsed = platform::parseJson(PMAHelperMethods::decodeFromPercentEscapeString(*text));
    return parsed ? std::optional(parsed.value()) : std::nullopt;
  }
  Json credit(const std::string& sig) {
    Json r = request({{"productType", "OfferWall"}, {"credits", "10"}, {"total", "150"}, {"totalCreditsFlag", "false"},
                      {"timestamp", "1700"}, {"success", "ok"}, {"fail", "ko"}});
    r["signature"] = sig;
    return r;
  }

  std::shared_ptr<OfferWallListener> offerWall = std::make_shared<OfferWallListener>();
  std::shared_ptr<SilentOfferWallListener> silent = std::make_shared<SilentOfferWallListener>();
  const Json kOthers = {{"other", {{"u", {{"f", 1}}}}}, {"key", {{"user", {{"keep", "x"}}}, {"u2", {{"k", 2}}}}}};
};

TEST_F(CreditWindowTest, OfferWallCreditsNeedTheSignatureAndTheDelegatesConsent) {
  const Json heard = {{"credits", "10"}, {"totalCredits", "150"}, {"totalCreditsFlag", "false"}};
  const Sent mismatch{"ko", {{"errorMsg", "Signature mismatch"}}, true};
  struct Case {
    const char* name;
    std::string signature;
    std::function<void()> setUp;
    size_t delegateCalls;
    std::vector<Sent> answers;
    bool written;
  };
  const std::string good = signature("150keyuser");
  const Case cases[] = {
      {"accepted", good, nullptr, 1, {{"ok", Json::object(), true}}, true},
      {"another signature", signature("151keyuser"), nullptr, 0, {mismatch}, false},
      {"no signature", "", nullptr, 0, {mismatch}, false},
      {"refused by the delegate", good, [this] { offerWall->accept = false; }, 1, {}, false},
      {"no delegate", good, [this] { publisher->offerWall.reset(); }, 0, {}, false},
      {"a delegate without the credit call",
       good, [this] { publisher->offerWall = silent; }, 0, {}, false},
      {"an offerwall without user id", signature("150key"),
       [this] { publisher->parameters[2] = std::make_shared<PMAProductParameters>("key", std::nullopt); }, 0,
       {mismatch}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    offerWall = std::make_shared<OfferWallListener>();
    publisher->offerWall = offerWall;
    publisher->parameters[2] = std::make_shared<PMAProductParameters>("key", "user");
    storeUserData(kOthers);
    if (c.setUp) c.setUp();
    Json r = credit(c.signature);
    if (c.signature.empty()) r.erase("signature");
    credits.handleAdCredited(r);
    EXPECT_EQ(offerWall->credits.size(), c.delegateCalls);
    if (c.delegateCalls) {
      EXPECT_EQ(offerWall->credits[0], heard);
    }
    EXPECT_EQ(sent(), c.answers);
    EXPECT_EQ(storedUserData()->at("key").at("user").contains("timestamp"), c.written);
  }
}

TEST_F(CreditWindowTest, CreditTimeStampInThePagesUserData) {
  const std::string notJson = "%7Bnot json";
  platform::Error parseError;
  PMAHelperMethods::decodeJSONObject("{not json", kPMAUTF8StringEncoding, &parseError);
  ASSERT_FALSE(parseError.message.empty());
  struct Case {
    const char* name;
    std::optional<std::string> stored;  // raw user-defaults text
    std::optional<std::string> timeStamp;
    Sent answer;
  };
  const std::string others = PMAHelperMethods::encodeToPercentEscapeString(platform::dumpJson(kOthers));
  const std::string noUser = PMAHelperMethods::encodeToPercentEscapeString(R"({"key":{"u2":{}}})");
  const Case cases[] = {
      {"nothing stored", std::nullopt, "1", {"ko", {{"errorMsg", "missing entry in userDefaults"}}, true}},
      {"not JSON", notJson, "1", {"ko", {{"errorMsg", parseError.message}}, true}},
      {"no entry for the user", noUser, "1", {"ko", {{"errorMsg", "missing entry in userDefaults"}}, true}},
      {"no time stamp", others, std::nullopt, {"ko", {{"errorMsg", "missing timestamp"}}, true}},
      {"written", others, "1700", {"ok", Json::object(), true}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto& defaults = platform::UserDefaults::standard();
    if (c.stored) {
      defaults.setString("pmaUserData", *c.stored);
    } else {
      defaults.removeObject("pmaUserData");
    }
    credits.sendAdCreditedVerificationSuccess("ok", "ko", c.timeStamp);
    EXPECT_EQ(sent(), (std::vector<Sent>{c.answer}));
    if (c.answer.name == "ok") {
      Json expected = kOthers;
      expected["key"]["user"]["timestamp"] = "1700";
      EXPECT_EQ(storedUserData(), expected) << "only the time stamp changes";
    } else {
      EXPECT_EQ(defaults.string("pmaUserData"), c.stored) << "nothing written";
    }
  }
}

TEST_F(CreditWindowTest, RewardsAndClosesReachTheDemandSources) {
  auto adListener = std::make_shared<handlertest::RecordingAdListener>();
  auto rewarded = PMADemandSource::createDemandSourceWithAdInstance(
      QuillborneAdInstanceBuilder("rv", adListener).setRewarded(true).build());
  auto plain = PMADemandSource::createDemandSourceWithAdInstance(QuillborneAdInstanceBuilder("is", adListener).build());
  auto legacy = std::make_shared<handlertest::RecordingProductListener>();
  auto& collection = PMADemandSourcesCollection::sharedInstance();
  collection.addDemandSourceWithProductType(1, rewarded);
  collection.addDemandSourceWithProductType(1, plain);
  collection.addDemandSourceWithProductType(0, PMADemandSource::createDemandSourceWithName("leg", std::nullopt, legacy));
  collection.addDemandSourceWithProductType(1, PMADemandSource::createDemandSourceWithName("leg", std::nullopt, legacy));

  credits.handleAdCredited(request({{"productType", "Interstitial"}, {"demandSourceId", "ManRewInst_rv"}, {"credits", "5"}}));
  credits.handleAdCredited(request({{"productType", "Interstitial"}, {"demandSourceName", "is"}, {"credits", "5"}}));
  credits.handleAdCredited(request({{"productType", "RewardedVideo"}, {"demandSourceName", "leg"}}));
  credits.handleAdWindowsClosed(request({{"productType", "Interstitial"}, {"demandSourceName", "leg"}}));
  credits.handleAdWindowsClosed(request({{"productType", "RewardedVideo"}, {"demandSourceName", "leg"}}));
  credits.handleAdWindowsClosed(request({{"productType", "Banner"}, {"demandSourceName", "leg"}}));
  credits.handleAdWindowsClosed(request({{"productType", "OfferWall"}}));
  env.runUntilIdle();
  EXPECT_EQ(adListener->lines,
            std::vector<std::string>{R"(rewarded ManRewInst_rv {"credits":"5"} {"credits":"5"})"})
      << "a credit reaches only a rewarded instance";
  EXPECT_EQ(legacy->lines, (std::vector<std::string>{"rvCredit {}", "isClosed", "rvClosed"}));
  EXPECT_EQ(offerWall->closes, 1);
  EXPECT_TRUE(sent().empty());
}

TEST_F(CreditWindowTest, DisplayWebViewReachesOrientationThenOnePresenter) {
  struct Case {
    const char* name;
    Json request;
    std::vector<std::string> calls;  // after the orientation override
  };
  const Json hybridShow = request({{"hybridView", "true"}, {"productType", "Banner"}, {"display", "true"}});
  const Json hybridHide = request({{"hybridView", "true"}, {"productType", "Banner"}, {"display", "false"}});
  const Json plain = request({{"productType", "Interstitial"}, {"display", "true"}});
  const Json noDisplay = request({{"hybridView", "true"}, {"productType", "Banner"}});
  const Case cases[] = {
      {"hybrid shown", hybridShow, {"showHybrid 4 " + platform::dumpJson(hybridShow)}},
      {"hybrid hidden", hybridHide, {"hideHybridAd"}},
      {"hybrid without display only logs", noDisplay, {}},
      {"presented by the product presenter", plain, {"handleWebViewVisibility " + platform::dumpJson(plain)}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    scriptCalls().clear();
    credits.handleDisplayWebViewWithparameters(c.request);
    std::vector<std::string> expected = {"setAppOrientation " + platform::dumpJson(c.request)};
    expected.insert(expected.end(), c.calls.begin(), c.calls.end());
    EXPECT_EQ(scriptCalls(), expected);
    EXPECT_TRUE(sent().empty());
  }
  EXPECT_TRUE(console.contains("-[PlovermarkAdsPublisher handleDisplayWebViewWithparameters:]: presenting using top "
                               "most view controller"));
}

// An unknown product answers the fail name; only the credit's answer is
// decoded first.
TEST_F(CreditWindowTest, UnknownProductsAnswerTheFailName) {
  const Json bad =
      request({{"productType", "Video"}, {"success", "s"}, {"fail", "f"}, {"hybridView", "true"}, {"display", "1"}});
  const Json error = {{"errMsg", "failed to find product type"}};
  credits.handleAdCredited(bad);
  credits.handleAdWindowsClosed(bad);
  credits.handleDisplayWebViewWithparameters(bad);
  EXPECT_EQ(sent(), (std::vector<Sent>{{"f", error, true}, {"f", error, false}, {"f", error, false}}));
}

TEST_F(CreditWindowTest, SetWebViewHiddenFollowsTheBooleanValue) {
  publisher->webView = PMWVWKWebView::create(platform::Rect::make(0, 0, 10, 10));
  auto view = publisher->webView->view();
  for (const auto& [hidden, expected] : std::vector<std::pair<const char*, bool>>{{"true", true}, {"0", false}, {"YES", true}}) {
    credits.handleSetWebViewHidden(request({{"hidden", hidden}}));
    EXPECT_EQ(view->isHidden(), expected) << hidden;
  }
  credits.handleSetWebViewHidden(Json::object());
  EXPECT_TRUE(view->isHidden()) << "no \"hidden\": nothing changes";
}

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

TEST_F(InfoTest, DemandSourceStateAndApplicationInfo) {
  auto source = PMADemandSource::createDemandSourceWithName("ds", Json{{"extra", "e"}}, std::weak_ptr<QBNProductDelegate>());
  source->setMediationState(3);
  PMADemandSourcesCollection::sharedInstance().addDemandSourceWithProductType(1, source);
  publisher->parameters[0] = std::make_shared<PMAProductParameters>("rvKey", "rvUser");
  publisher->parameters[1] = std::make_shared<PMAProductParameters>("isKey", "isUser");
  publisher->parameters[4] = std::make_shared<PMAProductParameters>("bnKey", std::nullopt);
  publisher->parameters[2] = std::make_shared<PMAGeneralParameters>("owKey", "owUser", std::weak_ptr<void>(),
                                                                    Json{{"custom", "c"}});
  using Handler = void (QBNInfoHandlers::*)(const Json&);
  const Handler state = &QBNInfoHandlers::handleGetDemandSourceState;
  const Handler application = &QBNInfoHandlers::handleGetApplicationInfo;
  struct Case {
    Handler handler;
    Json request;
    Sent answer;
  };
  const Json noType = {{"errMsg", "failed to find product type"}};
  const Case cases[] = {
      {state, request({{"productType", "Video"}, {"fail", "f"}}),
       {"f", {{"errMsg", "missing demand source name and demand source id"}}, false}},
      {state, request({{"demandSourceName", "ds"}, {"productType", "Video"}, {"fail", "f"}}), {"f", noType, false}},
      {state, request({{"demandSourceName", "ds"}, {"productType", "RewardedVideo"}, {"fail", "f"}}),
       {"f", {{"errMsg", "demand source is not exist"}}, false}},
      {state,
       request({{"demandSourceId", "ds"}, {"demandSourceName", "other"}, {"productType", "Interstitial"}, {"success", "s"}}),
       {"s", {{"demandSourceName", "ds"}, {"demandSourceId", "ds"}, {"productType", "Interstitial"}, {"state", 3}}, false}},
      {application, request({{"productType", "RewardedVideo"}, {"success", "s"}}),
       {"s", {{"productType", "RewardedVideo"}, {"applicationKey", "rvKey"}, {"applicationUserId", "rvUser"}}, false}},
      {application, request({{"productType", "Interstitial"}, {"demandSourceName", "ds"}, {"success", "s"}}),
       {"s",
        {{"productType", "Interstitial"}, {"applicationKey", "isKey"}, {"applicationUserId", "isUser"},
         {"demandSourceName", "ds"}, {"demandSourceId", "ds"}, {"extra", "e"}},
        false}},
      {application, request({{"productType", "Interstitial"}, {"demandSourceName", "none"}, {"success", "s"}}),
       {"s", {{"productType", "Interstitial"}, {"applicationKey", "isKey"}, {"applicationUserId", "isUser"}}, false}},
      {application, request({{"productType", "Banner"}, {"success", "s"}}),
       {"s", {{"productType", "Banner"}, {"applicationKey", "bnKey"}}, false}},
      {application, request({{"productType", "OfferWall"}, {"demandSourceName", "ds"}, {"success", "s"}}),
       {"s", {{"productType", "OfferWall"}, {"applicationKey", "owKey"}, {"applicationUserId", "owUser"}, {"custom", "c"}},
        false}},
      {application, request({{"productType", "Video"}, {"fail", "f"}}), {"f", noType, false}},
  };
  for (const Case& c : cases) {
    (info.*c.handler)(c.request);
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

}  // namespace infocreditwindowtest
