#include "tulvo_adapter/QBTulvoCustomInterstitial.h"
#include "tulvo_adapter/QBTulvoCustomRewardedVideo.h"
#include "tulvo_test_support.h"

using platform::Json;
using TulvoSDK::AdKind;
using TulvoSDK::LogLine;
using namespace tulvo_test;

namespace {

class TulvoAdAdaptersTest : public TulvoTest {
 protected:
  TulvoAdAdaptersTest() {
    rv->initWithAdUnit(QBAdUnit::QB_AD_UNIT_REWARDED_VIDEO(), config(QBAdUnit::QB_AD_UNIT_REWARDED_VIDEO(), Json::object()));
    is->init(config(QBAdUnit::QB_AD_UNIT_INTERSTITIAL(), Json::object()));
  }

  std::vector<std::string> logsOf(const std::string& tag) {
    std::vector<std::string> out;
    for (const auto& line : sdk.logLines())
      if (line.tag == tag) out.push_back(line.message);
    return out;
  }

  std::shared_ptr<QBTulvoCustomRewardedVideo> rv = std::make_shared<QBTulvoCustomRewardedVideo>();
  std::shared_ptr<QBTulvoCustomInterstitial> is = std::make_shared<QBTulvoCustomInterstitial>();
  std::shared_ptr<RewardedDelegate> loader = std::make_shared<RewardedDelegate>();
  std::shared_ptr<RewardedDelegate> shower = std::make_shared<RewardedDelegate>();
  std::shared_ptr<InterstitialDelegate> isDelegate = std::make_shared<InterstitialDelegate>();
  std::shared_ptr<QBAdData> data = adData(Json::object());
  platform::ViewControllerRef screen = std::make_shared<platform::ViewController>();
};

TEST_F(TulvoAdAdaptersTest, RewardedLoadAndShowRunTheWholeWay) {
  rv->loadAdWithAdData(data, loader);
  EXPECT_FALSE(rv->isAdAvailableWithAdData(data));
  env.advance(50);
  EXPECT_TRUE(rv->isAdAvailableWithAdData(data));

  rv->showAdWithViewController(screen, data, shower);
  env.advance(50);
  EXPECT_EQ(loader->texts(), std::vector<std::string>{"load"});
  // The impression makes no call; click, show-succeed, visible, start and end
  // never come.
  EXPECT_EQ(shower->texts(), (std::vector<std::string>{"open", "reward", "close"}));
  ASSERT_EQ(sdk.showCalls().size(), 1u);
  EXPECT_EQ(sdk.showCalls()[0].viewController, screen);
  EXPECT_EQ(logsOf("QBTulvoCustomRewardedVideo"),
            (std::vector<std::string>{"loadAd", "onRewardedAdLoaded", "showAd", "onRewardedAdShown",
                                      "onRewardedImpression", "onRewardReceived", "onRewardedAdClosed"}));
  EXPECT_EQ(sdk.logLines().size(), 7u);  // every line carries the class name as tag
  // The ad stays stored after the show; availability follows the SDK.
  EXPECT_NE(rv->ad(), nullptr);
  EXPECT_FALSE(rv->isAdAvailableWithAdData(data));
}

TEST_F(TulvoAdAdaptersTest, InterstitialHasNoRewardAndLogsItsOwnLines) {
  is->loadAdWithAdData(data, isDelegate);
  env.advance(50);
  is->showAdWithViewController(screen, data, isDelegate);
  env.advance(50);
  EXPECT_EQ(isDelegate->texts(), (std::vector<std::string>{"load", "open", "close"}));
  EXPECT_EQ(logsOf("QBTulvoCustomInterstitial"),
            (std::vector<std::string>{"loadAd", "onInterstitialAdLoaded", "showAd", "onInterstitialAdShown",
                                      "onInterstitialImpression", "onInterstitialAdClosed"}));
  EXPECT_EQ(sdk.loadCount(AdKind::Rewarded), 0);
}

TEST_F(TulvoAdAdaptersTest, ShowBeforeAnyLoadFailsOnTheShowsDelegateWithoutTheSdk) {
  rv->showAdWithViewController(screen, data, shower);
  is->showAdWithViewController(screen, data, isDelegate);
  EXPECT_EQ(shower->texts(), std::vector<std::string>{"showFailed:2:Ad is not loaded"});
  EXPECT_EQ(isDelegate->texts(), std::vector<std::string>{"showFailed:2:Ad is not loaded"});
  EXPECT_TRUE(sdk.showCalls().empty());
  EXPECT_EQ(logsOf("QBTulvoCustomInterstitial"), (std::vector<std::string>{"showAd", "showAd Ad is not loaded"}));

  // A load that failed stores no ad either.
  sdk.scriptLoad({.fill = false});
  rv->loadAdWithAdData(data, loader);
  env.advance(50);
  rv->showAdWithViewController(screen, data, shower);
  EXPECT_EQ(shower->texts().back(), "showFailed:2:Ad is not loaded");
  EXPECT_TRUE(sdk.showCalls().empty());
}

TEST_F(TulvoAdAdaptersTest, ShowOfAnAdNoLongerLoadedKeepsTheLoadsDelegate) {
  rv->loadAdWithAdData(data, loader);
  env.advance(50);
  rv->ad()->setLoadedForTesting(false);
  rv->showAdWithViewController(screen, data, shower);
  EXPECT_EQ(shower->texts(), std::vector<std::string>{"showFailed:2:Ad is not loaded"});
  EXPECT_TRUE(sdk.showCalls().empty());

  // A late SDK callback still goes to the delegate of the load.
  rv->onRewardedAdClosedWithAd(rv->ad());
  EXPECT_EQ(loader->texts(), (std::vector<std::string>{"load", "close"}));
  EXPECT_EQ(shower->texts().size(), 1u);
}

TEST_F(TulvoAdAdaptersTest, LoadFailureIsTypeOtherWithTheSdksCodeAndKeepsTheEarlierAd) {
  rv->loadAdWithAdData(data, loader);
  env.advance(50);
  auto earlier = rv->ad();
  sdk.scriptLoad({.fill = false, .errorCode = 1203, .errorMessage = std::string("no inventory")});
  sdk.scriptLoad({.fill = false, .errorCode = 5, .errorMessage = std::nullopt});
  rv->loadAdWithAdData(data, loader);
  env.advance(50);
  rv->loadAdWithAdData(data, loader);
  env.advance(50);

  EXPECT_EQ(loader->texts(), (std::vector<std::string>{"load", "loadFailed:2:1203:no inventory", "loadFailed:2:5:"}));
  EXPECT_EQ(rv->ad(), earlier);
  EXPECT_TRUE(rv->isAdAvailableWithAdData(data));
  auto logs = logsOf("QBTulvoCustomRewardedVideo");
  EXPECT_EQ(logs[3], "onRewardedAdFailedToLoad::no inventory");
  EXPECT_EQ(logs[5], "onRewardedAdFailedToLoad::");
}

TEST_F(TulvoAdAdaptersTest, ShowFailureFromTheSdkPassesCodeAndMessage) {
  is->loadAdWithAdData(data, isDelegate);
  env.advance(50);
  sdk.scriptShow({.success = false, .errorCode = 17, .errorMessage = std::string("presenting already")});
  is->showAdWithViewController(screen, data, isDelegate);
  env.advance(50);
  EXPECT_EQ(isDelegate->texts(), (std::vector<std::string>{"load", "showFailed:17:presenting already"}));
  EXPECT_EQ(logsOf("QBTulvoCustomInterstitial").back(), "onInterstitialAdFailedToShow::presenting already");
}

TEST_F(TulvoAdAdaptersTest, CallbacksBeforeAnyLoadOnlyLog) {
  TulvoSDK::TulvoError error{3, std::string("late")};
  rv->onRewardedAdFailedToLoadWithError(error);
  rv->onRewardReceivedWithAd(nullptr);
  is->onInterstitialAdFailedToShowWithError(error);
  EXPECT_EQ(logsOf("QBTulvoCustomRewardedVideo"),
            (std::vector<std::string>{"onRewardedAdFailedToLoad::late", "onRewardReceived"}));
  EXPECT_EQ(logsOf("QBTulvoCustomInterstitial"), std::vector<std::string>{"onInterstitialAdFailedToShow::late"});
}

TEST_F(TulvoAdAdaptersTest, AnAdapterGoneBeforeTheAnswerIsNotCalled) {
  rv->loadAdWithAdData(data, loader);
  rv.reset();  // the SDK holds its delegate weakly
  env.advance(50);
  EXPECT_TRUE(loader->texts().empty());
  EXPECT_EQ(sdk.rewardedAds().size(), 1u);
}

}  // namespace
