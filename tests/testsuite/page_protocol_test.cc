// Both directions of the test page's protocol: the eleven methods of the
// script message handler as one table (and what it ignores), the script text
// of the calls into the page, and the strings that reach the real page intact
// whatever they hold.
#include "suite_support.h"
#include "testsuite/QBTestSuiteScriptMessageHandler.h"
#include "testsuite/QBTestSuiteUtils.h"
#include "testsuite/QBTestSuiteWebViewWrapper.h"

namespace qbtest {
namespace {

using platform::Json;
using Strings = std::vector<std::string>;

// Records every operation the handler asks of it.
class RecordingAdsManager : public QBTestSuiteAdsManager, public Lines {
 public:
  RecordingAdsManager() : QBTestSuiteAdsManager(std::weak_ptr<platform::ViewController>()) {}
  void loadInterstitialAd(std::shared_ptr<QBTestSuiteLoadAdConfig> c) override {
    add("loadInterstitialAd " + RecordingSdk::describe(c));
  }
  bool isInterstitialReady() override {
    add("isInterstitialReady");
    return true;
  }
  void showInterstitialAd() override { add("showInterstitialAd"); }
  void loadRewardedVideoAd(std::shared_ptr<QBTestSuiteLoadAdConfig> c) override {
    add("loadRewardedVideoAd " + RecordingSdk::describe(c));
  }
  bool isRewardedVideoReady() override {
    add("isRewardedVideoReady");
    return false;
  }
  void showRewardedVideoAd() override { add("showRewardedVideoAd"); }
  void loadBannerAd(std::shared_ptr<QBTestSuiteLoadAdConfig> c, const std::string& description, int width,
                    int height) override {
    add("loadBannerAd " + RecordingSdk::describe(c) + " " + description + " " + std::to_string(width) + "x" +
        std::to_string(height));
  }
  void addBannerAdToScreen(double margin) override { add("addBannerAdToScreen " + Json(margin).dump()); }
  void destroyBannerAd() override { add("destroyBannerAd"); }
};

// The other three parties of the handler.
class Parties : public QBTestSuiteJavaScriptEvaluatorDelegate,
                public QBTestSuiteUIReadyDelegate,
                public QBTestSuiteOnClosedDelegate,
                public Lines {
 public:
  void onAdCallbackReceived(const std::string& name, const QBAdUnit& adUnit, const Json& args) override {
    add("callback " + QBTestSuiteWebViewWrapper::createJsScriptForMethodName(
                          "onCallbackReceived", Json::array({name, adUnit.value(), args})));
  }
  void onUIReady() override { add("onUIReady"); }
  void onClosed() override { add("onClosed"); }
};

TEST(PageProtocolTest, TheElevenMethodsForwardAndEverythingElseIsIgnored) {
  struct Case {
    Json body;
    Strings adsManager;
    Strings parties;
  };
  const std::string none = "network=none bidding=0 test=0 retain=0";
  const std::vector<Case> cases = {
      {{{"method", "loadInterstitialAd"},
        {"params", {{"adNetwork", "Tulvo"}, {"isBidding", true}, {"isTest", "YES"}, {"retainViewController", 1}}}},
       {"loadInterstitialAd network=Tulvo bidding=1 test=1 retain=1"}, {}},
      {{{"method", "isInterstitialReady"}},
       {"isInterstitialReady"},
       {"callback TestSuiteJs.onCallbackReceived('isInterstitialReady','interstitial',[1])"}},
      {{{"method", "showInterstitialAd"}}, {"showInterstitialAd"}, {}},
      {{{"method", "loadRewardedVideoAd"}, {"params", {{"adNetwork", "Quillborne"}, {"isBidding", "0"}, {"isTest", "true"}}}},
       {"loadRewardedVideoAd network=Quillborne bidding=0 test=1 retain=0"}, {}},
      {{{"method", "isRewardedVideoReady"}},
       {"isRewardedVideoReady"},
       {"callback TestSuiteJs.onCallbackReceived('isRewardedVideoReady','rewardedVideo',[0])"}},
      {{{"method", "showRewardedVideoAd"}}, {"showRewardedVideoAd"}, {}},
      {{{"method", "loadBannerAd"},
        {"params", {{"adNetwork", "Quillborne"}, {"description", "LARGE"}, {"width", "320"}, {"height", 90.9}}}},
       {"loadBannerAd network=Quillborne bidding=0 test=0 retain=0 LARGE 320x90"}, {}},
      {{{"method", "addBannerAdToScreen"}, {"params", {{"marginPercentageFromTop", 0.25}}}},
       {"addBannerAdToScreen 0.25"}, {}},
      {{{"method", "destroyBannerAd"}}, {"destroyBannerAd"}, {}},
      {{{"method", "onDataLoaded"}}, {}, {"onUIReady"}},
      {{{"method", "closeTestSuite"}}, {}, {"onClosed"}},
      // Loose values: absent booleans are false, numbers past 32 bits clamp,
      // an absent margin is 0, a margin that is a text reads as a number.
      {{{"method", "loadRewardedVideoAd"}}, {"loadRewardedVideoAd " + none}, {}},
      {{{"method", "loadInterstitialAd"}, {"params", "not a dictionary"}}, {"loadInterstitialAd " + none}, {}},
      {{{"method", "loadBannerAd"}, {"params", {{"width", 1e12}, {"height", "-99999999999"}}}},
       {"loadBannerAd " + none + "  2147483647x-2147483648"}, {}},
      {{{"method", "addBannerAdToScreen"}}, {"addBannerAdToScreen 0.0"}, {}},
      {{{"method", "addBannerAdToScreen"}, {"params", {{"marginPercentageFromTop", " .5x"}}}},
       {"addBannerAdToScreen 0.5"}, {}},
      {{{"method", "loadInterstitialAd"}, {"params", {{"adNetwork", 7}}}},
       {"loadInterstitialAd network=7 bidding=0 test=0 retain=0"}, {}},
      // Ignored.
      {{{"method", "LoadInterstitialAd"}}, {}, {}},
      {{{"method", "loadOfferwall"}}, {}, {}},
      {{{"method", 1}}, {}, {}},
      {{{"params", {{"adNetwork", "Tulvo"}}}}, {}, {}},
      {Json::array({"loadInterstitialAd"}), {}, {}},
      {"closeTestSuite", {}, {}},
      {nullptr, {}, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.body.dump());
    auto adsManager = std::make_shared<RecordingAdsManager>();
    auto parties = std::make_shared<Parties>();
    auto handler = QBTestSuiteScriptMessageHandler::initWithAdsManager(adsManager, parties, parties, parties);
    handler->userContentController("TestSuiteBridge", c.body);
    EXPECT_EQ(adsManager->lines(), c.adsManager);
    EXPECT_EQ(parties->lines(), c.parties);
    // Under another name nothing acts.
    handler->userContentController("testSuiteBridge", c.body);
    EXPECT_EQ(adsManager->lines(), c.adsManager);
    EXPECT_EQ(parties->lines(), c.parties);
  }
}

TEST(PageProtocolTest, CallsIntoThePageAreScriptLiteralsOfTheirValues) {
  struct Case {
    Json args;
    std::string script;
  };
  const std::vector<Case> cases = {
      {Json::array({"onAdReady", "interstitial", Json::array({"{\"instanceName\":\"a\"}"})}),
       R"(TestSuiteJs.m('onAdReady','interstitial',['{\"instanceName\":\"a\"}']))"},
      {Json::array({"onAdUnavailable", "rewardedVideo", Json::array()}),
       "TestSuiteJs.m('onAdUnavailable','rewardedVideo',[])"},
      {Json::array(), "TestSuiteJs.m()"},
      {Json(), "TestSuiteJs.m()"},
      {Json::array({Json{{"k", 1}}, true, 2.5, nullptr}), R"(TestSuiteJs.m({"k":1},1,2.5,null))"},
      {Json::array({Json::array({false, Json{{"a", "b"}}, Json::array({1})})}), R"(TestSuiteJs.m([0,{"a":"b"},[1]]))"},
      {Json::array({"it's", "say \"hi\"", "a\\b", "line\nbreak\ttab", "\xE2\x80\xA8"}),
       R"(TestSuiteJs.m('it\'s','say \"hi\"','a\\b','line\nbreak\ttab','\u2028'))"},
      {Json::array({std::string("nul\0here", 8)}), R"(TestSuiteJs.m('nul\u0000here'))"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args.dump());
    EXPECT_EQ(QBTestSuiteWebViewWrapper::createJsScriptForMethodName("m", c.args), c.script);
  }
  EXPECT_EQ(QBTestSuiteUtils::removeCommaSuffix("a,,"), "a,");
  EXPECT_EQ(QBTestSuiteUtils::removeCommaSuffix(""), "");
}

class PageStringsTest : public SuiteTest {};

// Every string the page is handed arrives as it was, and none can run as
// script in the page that holds the native bridge.
TEST_F(PageStringsTest, StringsReachThePageIntact) {
  auto suite = presentSuite(pageUrl("ack=0"));
  env.advance(3000);
  const Strings strings = {
      "can't load: the network doesn't answer",
      "O'Brien \"x\" \\ y",
      "'); window.injected = true; ('",
      "\\'); window.injected = true; //",
      "</script><script>window.injected = true</script>",
      "line one\nline two\r\n\ttabbed",
      std::string("nul\0byte", 8),
      "separators \xE2\x80\xA8 and \xE2\x80\xA9",
      "unicode \xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80",
  };
  for (const auto& s : strings) {
    suite->webViewWrapper()->onAdCallbackReceived("onAdLoadFailed", QBAdUnit::QB_AD_UNIT_INTERSTITIAL(),
                                                  Json::array({s, s}));
  }
  env.runUntilIdle();
  const Json callbacks = pageCallbacks(suite);
  ASSERT_EQ(callbacks.size(), strings.size());
  for (size_t i = 0; i < strings.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(callbacks[i], Json::array({"onAdLoadFailed", "interstitial", Json::array({strings[i], strings[i]})}));
  }
  EXPECT_EQ(evaluate(suite->webViewWrapper()->appWebView(), "typeof window.injected"), "undefined");
  EXPECT_TRUE(sdk->lines().empty());
}

}  // namespace
}  // namespace qbtest
