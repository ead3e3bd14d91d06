// The bridges through the real delegate wrappers into the real test page:
// every callback of the three ad units becomes its page callback while the
// suite is open, the application's delegates (classic and Tidewheel) hear
// nothing then and everything again after the close.
#include "events/QBBannerDelegateWrapper.h"
#include "events/QBInterstitialDelegateWrapper.h"
#include "events/QBRewardedVideoDelegateWrapper.h"
#include "quillborne/QBAdInfo.h"
#include "quillborne/QBError.h"
#include "quillborne/QBImpressionData.h"
#include "suite_support.h"
#include "support/ad_listener.h"

namespace qbtest {
namespace {

using platform::Json;
using Strings = std::vector<std::string>;

// The application's Tidewheel delegates of the three ad units, one line per
// call.
class TidewheelRecorder : public Lines,
                          public TidewheelInterstitialDelegate,
                          public TidewheelRewardedVideoDelegate,
                          public TidewheelRewardedVideoManualDelegate,
                          public TidewheelBannerDelegate {
 public:
  // Interstitial and banner share names; rewarded video's own.
  void didLoadWithAdInfo(const QBAdInfo&) override { add("load"); }
  void didFailToLoadWithError(const QBError&) override { add("loadFailed"); }
  void didOpenWithAdInfo(const QBAdInfo&) override { add("open"); }
  void didShowWithAdInfo(const QBAdInfo&) override { add("show"); }
  void didFailToShowWithError(const QBError&, const QBAdInfo&) override { add("showFailed"); }
  void didClickWithAdInfo(const QBAdInfo&) override { add("click"); }
  void didCloseWithAdInfo(const QBAdInfo&) override { add("close"); }
  void hasAvailableAdWithAdInfo(const QBAdInfo&) override { add("available"); }
  void hasNoAvailableAd() override { add("unavailable"); }
  void didClick(const QBPlacementInfo&, const QBAdInfo&) override { add("click"); }
  void didReceiveRewardForPlacement(const QBPlacementInfo&, const QBAdInfo&) override { add("reward"); }
  void didLoad(std::shared_ptr<QBBannerView>, const QBAdInfo&) override { add("load"); }
  void didLeaveApplicationWithAdInfo(const QBAdInfo&) override { add("left"); }
  void didPresentScreenWithAdInfo(const QBAdInfo&) override { add("presented"); }
  void didDismissScreenWithAdInfo(const QBAdInfo&) override { add("dismissed"); }
};

class BridgesTest : public SuiteTest {
 protected:
  BridgesTest() {
    auto rv = QBRewardedVideoDelegateWrapper::sharedInstance();
    auto is = QBInterstitialDelegateWrapper::sharedInstance();
    auto bn = QBBannerDelegateWrapper::sharedInstance();
    rv->setDelegate(classic_);
    is->setDelegate(classic_);
    bn->setDelegate(classic_);
    rv->setTidewheelDelegate(tidewheel_);
    is->setTidewheelDelegate(tidewheel_);
    bn->setTidewheelDelegate(tidewheel_);
  }

  // Every callback of the three delegate wrappers, once.
  void fireEverything() {
    auto rv = QBRewardedVideoDelegateWrapper::sharedInstance();
    auto is = QBInterstitialDelegateWrapper::sharedInstance();
    auto bn = QBBannerDelegateWrapper::sharedInstance();
    is->interstitialDidLoadWithAdInfo(info_);
    is->interstitialDidFailToLoadWithError(error_);
    is->interstitialDidOpenWithAdInfo(info_);
    is->interstitialDidShowWithAdInfo(info_);
    is->interstitialDidFailToShowWithError(error_, info_);
    is->interstitialDidClickWithAdInfo(info_);
    is->interstitialDidCloseWithAdInfo(info_);
    rv->rewardedVideoDidLoadWithAdInfo(info_);
    rv->rewardedVideoDidFailToLoadWithError(error_);
    rv->rewardedVideoHasChangedAvailability(true, info_);
    rv->rewardedVideoHasChangedAvailability(false, info_);
    rv->rewardedVideoDidOpenWithAdInfo(info_);
    rv->rewardedVideoDidStart();
    rv->rewardedVideoDidFailToShowWithError(error_, info_);
    rv->rewardedVideoDidClickForPlacement(placement_, info_);
    rv->rewardedVideoDidEnd();
    rv->rewardedVideoDidCloseWithAdInfo(info_);
    rv->didReceiveRewardForPlacement(placement_, info_);
    bn->bannerDidLoad(banner_, info_);
    bn->bannerDidFailToLoadWithError(error_);
    bn->didClickBannerWithAdInfo(info_);
    bn->bannerWillLeaveApplicationWithAdInfo(info_);
    bn->bannerWillPresentScreenWithAdInfo(info_);
    bn->bannerDidDismissScreenWithAdInfo(info_);
    env.runUntilIdle();
  }

  std::shared_ptr<AdListener> classic_ = std::make_shared<AdListener>();
  std::shared_ptr<TidewheelRecorder> tidewheel_ = std::make_shared<TidewheelRecorder>();
  // An instance name a server may send, with both quotes and a backslash.
  std::shared_ptr<QBImpressionData> data_ = QBImpressionData::initWithJsonText(
      R"({"auctionId":"a1","adUnit":"interstitial","instanceName":"O'Brien \"x\" \\ y","instanceId":"7","revenue":0.5})");
  std::shared_ptr<const QBAdInfo> info_ = QBAdInfo::initWithImpressionData(data_);
  QBError error_ = QBError::createError(509, "the network can't fill");
  QBPlacementInfo placement_{"Level 'One'", "coins", 10};
  std::shared_ptr<QBBannerView> banner_ = std::make_shared<QBBannerView>();
};

TEST_F(BridgesTest, EveryCallbackReachesThePageAndTheApplicationOnlyAfterTheClose) {
  auto suite = presentSuite(pageUrl("ack=0"));
  env.advance(3000);
  fireEverything();

  const std::string info = info_->description();
  const std::string error = error_.description();
  ASSERT_NE(info.find("O'Brien"), std::string::npos);
  auto row = [](const char* name, const char* adUnit, Json args) { return Json::array({name, adUnit, args}); };
  const Json expected = Json::array({
      row("onAdReady", "interstitial", {info}),
      row("onAdLoadFailed", "interstitial", {error}),
      row("onAdOpened", "interstitial", {info}),
      row("onAdShowSucceeded", "interstitial", {info}),
      row("onAdShowFailed", "interstitial", {error, info}),
      row("onAdClicked", "interstitial", {info}),
      row("onAdClosed", "interstitial", {info}),
      row("onAdReady", "rewardedVideo", {info}),
      row("onAdLoadFailed", "rewardedVideo", {error}),
      row("onAdAvailable", "rewardedVideo", {info}),
      row("onAdUnavailable", "rewardedVideo", Json::array()),
      row("onAdOpened", "rewardedVideo", {info}),
      row("onAdShowFailed", "rewardedVideo", {error, info}),
      row("onAdClicked", "rewardedVideo", {"Level 'One'", info}),
      row("onAdClosed", "rewardedVideo", {info}),
      row("onAdRewarded", "rewardedVideo", {"Level 'One'", info}),
      row("onAdLoaded", "banner", {info}),
      row("onAdLoadFailed", "banner", {error}),
      row("onAdClicked", "banner", {info}),
      row("onAdLeftApplication", "banner", {info}),
      row("onAdScreenPresented", "banner", {info}),
      row("onAdScreenDismissed", "banner", {info}),
  });
  const Json callbacks = pageCallbacks(suite);
  ASSERT_EQ(callbacks.size(), expected.size()) << callbacks.dump();
  for (size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(callbacks[i], expected[i]) << i;
  // The ad info the page holds is the record the server sent.
  EXPECT_EQ(Json::parse(callbacks[0][2][0].get<std::string>())["instanceName"], "O'Brien \"x\" \\ y");
  // The loaded banner is the suite's.
  EXPECT_EQ(suite->adsManager()->bannerView(), banner_);
  EXPECT_TRUE(classic_->lines().empty());
  EXPECT_TRUE(tidewheel_->lines().empty());

  suite->onClosed();
  env.runUntilIdle();
  EXPECT_FALSE(QBInterstitialDelegateWrapper::sharedInstance()->testSuiteTidewheelDelegate());
  EXPECT_FALSE(QBRewardedVideoDelegateWrapper::sharedInstance()->testSuiteTidewheelDelegate());
  EXPECT_FALSE(QBBannerDelegateWrapper::sharedInstance()->testSuiteTidewheelDelegate());
  fireEverything();
  EXPECT_EQ(tidewheel_->lines(), (Strings{"load", "loadFailed", "open", "show", "showFailed", "click", "close",
                                          "load", "loadFailed", "available", "unavailable", "open", "showFailed",
                                          "click", "close", "reward", "load", "loadFailed", "click", "left",
                                          "presented", "dismissed"}));
  EXPECT_EQ(classic_->lines().size(), 21u);
  EXPECT_TRUE(classic_->heard("reward Level 'One' 10"));
  EXPECT_TRUE(classic_->heard("banner dismissed"));
}

}  // namespace
}  // namespace qbtest
