// What the application hears, one line per callback, from any thread:
// rewarded video as it is ("opened"), interstitial after "is ", banner after
// "banner "; failures with code and message.
#pragma once

#include <memory>
#include <string>

#include "quillborne/QBBannerDelegate.h"
#include "quillborne/QBInterstitialDelegate.h"
#include "quillborne/QBRewardedVideoDelegate.h"
#include "support/lines.h"

namespace qbtest {

class AdListener : public Lines,
                   public QBRewardedVideoManualDelegate,
                   public QBInterstitialDelegate,
                   public QBBannerDelegate {
 public:
  void rewardedVideoHasChangedAvailability(bool available) override { add(available ? "available" : "unavailable"); }
  void rewardedVideoDidLoad() override { add("loaded"); }
  void rewardedVideoDidFailToLoadWithError(const QBError& e) override { add(failure("loadFailed", e)); }
  void didReceiveRewardForPlacement(const QBPlacementInfo& info) override {
    add("reward " + info.placementName() + " " + std::to_string(info.rewardAmount()));
  }
  void rewardedVideoDidFailToShowWithError(const QBError& e) override { add(failure("showFailed", e)); }
  void rewardedVideoDidOpen() override { add("opened"); }
  void rewardedVideoDidClose() override { add("closed"); }
  void rewardedVideoDidStart() override {}
  void rewardedVideoDidEnd() override {}
  void didClickRewardedVideo(const QBPlacementInfo& info) override { add("clicked " + info.placementName()); }
  void interstitialDidLoad() override { add("is loaded"); }
  void interstitialDidFailToLoadWithError(const QBError& e) override { add(failure("is loadFailed", e)); }
  void interstitialDidOpen() override { add("is opened"); }
  void interstitialDidClose() override { add("is closed"); }
  void interstitialDidShow() override { add("is shown"); }
  void interstitialDidFailToShowWithError(const QBError& e) override { add(failure("is showFailed", e)); }
  void didClickInterstitial() override {}
  void bannerDidLoad(std::shared_ptr<QBBannerView>) override { add("banner loaded"); }
  void bannerDidFailToLoadWithError(const QBError& e) override { add(failure("banner loadFailed", e)); }
  void didClickBanner() override {}
  void bannerWillLeaveApplication() override {}
  void bannerWillPresentScreen() override {}
  void bannerDidDismissScreen() override {}

 private:
  static std::string failure(const char* what, const QBError& e) {
    return std::string(what) + " " + std::to_string(e.code()) + " " + e.message();
  }
};

}  // namespace qbtest
