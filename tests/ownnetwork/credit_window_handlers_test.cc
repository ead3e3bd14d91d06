// "adCredited", "onAdWindowsClosed", "setWebViewHidden" and
// "displayWebView": offerwall credit verification and the page's user data,
// rewards and closes through the demand sources, and what the display
// command reaches.
#include <gtest/gtest.h>

#include "ownnetwork/handlers_test_support.h"

namespace creditwindowtest {

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

}  // namespace creditwindowtest
