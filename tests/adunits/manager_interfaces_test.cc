// A manager answers as its show-side and reward interfaces, and an ad adapter
// as a full-screen adapter, with what a dynamic_cast would find: the library's
// own managers and adapter bases say so themselves, any other class through
// the default, which asks dynamic_cast.
#include "adunits_test_support.h"

namespace adunits_test {
namespace {

using Smash = std::shared_ptr<QBBaseAdUnitSmash>;

class LoadOnly : public QBAdUnitManagerDelegate {
 public:
  void onAdLoadSuccess(const Smash&, int64_t) override {}
  void onAdLoadFailed(const Smash&, const QBError&, int64_t) override {}
  void onAdClicked(const Smash&) override {}
};

// Adopts all three interfaces without saying so.
class AllThree : public LoadOnly, public QBAdUnitInteractionManagerDelegate, public QBAdUnitRewardedManagerDelegate {
 public:
  void onAdShowSuccess(const Smash&) override {}
  void onAdShowFailed(const Smash&, const QBError&) override {}
  void onAdOpened(const Smash&) override {}
  void onAdClosed(const Smash&) override {}
  void onAdStarted(const Smash&) override {}
  void onAdEnded(const Smash&) override {}
  std::string getOtherAvailableInstances() override { return ""; }
  void onAdRewarded(const Smash&, const std::shared_ptr<const QBPlacement>&) override {}
};

// An ad adapter that cannot show.
class LoadOnlyAd : public QBBaseAdAdapter {
 public:
  void loadAdWithAdData(const std::shared_ptr<QBAdData>&, std::weak_ptr<QBAdapterAdDelegate>) override {}
};

class ManagerAndAdapterInterfaces : public AdUnitsTest {};

TEST_F(ManagerAndAdapterInterfaces, AnswerWhatADynamicCastFinds) {
  LoadOnly loadOnly;
  EXPECT_EQ(loadOnly.interactionManagerDelegate(), nullptr);
  EXPECT_EQ(loadOnly.rewardedManagerDelegate(), nullptr);

  AllThree all;
  QBAdUnitManagerDelegate& asManager = all;
  EXPECT_EQ(asManager.interactionManagerDelegate(), static_cast<QBAdUnitInteractionManagerDelegate*>(&all));
  EXPECT_EQ(asManager.rewardedManagerDelegate(), static_cast<QBAdUnitRewardedManagerDelegate*>(&all));

  auto rewarded = QBRewardedVideoAdManager::initWithProvidersPool({}, nullptr, nullptr, false, true, nullptr,
                                                                  std::nullopt, false);
  ASSERT_TRUE(rewarded);
  QBAdUnitManagerDelegate& rewardedManager = *rewarded;
  EXPECT_EQ(rewardedManager.interactionManagerDelegate(),
            dynamic_cast<QBAdUnitInteractionManagerDelegate*>(&rewardedManager));
  EXPECT_EQ(rewardedManager.rewardedManagerDelegate(), dynamic_cast<QBAdUnitRewardedManagerDelegate*>(&rewardedManager));
  EXPECT_NE(rewardedManager.rewardedManagerDelegate(), nullptr);

  LoadOnlyAd loadOnlyAd;
  EXPECT_EQ(loadOnlyAd.asInteractionAdapter(), nullptr);
  FakeAd<QBBaseRewardedVideo> video;
  FakeAd<QBBaseInterstitial> interstitial;
  QBBaseAdAdapter& videoAd = video;
  QBBaseAdAdapter& interstitialAd = interstitial;
  EXPECT_EQ(videoAd.asInteractionAdapter(), dynamic_cast<QBBaseAdInteractionAdapter*>(&videoAd));
  EXPECT_EQ(interstitialAd.asInteractionAdapter(), static_cast<QBBaseAdInteractionAdapter*>(&interstitial));
}

}  // namespace
}  // namespace adunits_test
