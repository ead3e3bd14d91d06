// What the application hears, one line per callback, from any thread:
// rewarded video as it is ("opened"), interstitial after "is ", banner after
// "banner "; failures with code and message.
#pragma once

#include <memory>
#include <mutex>
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
  void bannerDidLoad(std::shared_ptr<QBBannerView> view) override {
    {
      std::lock_guard lock(bannerMutex_);
      banner_ = view;
    }
    add("banner loaded");
  }
  void bannerDidFailToLoadWithError(const QBError& e) override { add(failure("banner loadFailed", e)); }
  void didClickBanner() override { add("banner clicked"); }
  void bannerWillLeaveApplication() override { add("banner left"); }
  void bannerWillPresentScreen() override { add("banner presented"); }
  void bannerDidDismissScreen() override { add("banner dismissed"); }
  // The last banner heard of.
  std::shared_ptr<QBBannerView> banner() const {
    std::lock_guard lock(bannerMutex_);
    return banner_;
  }

 private:
  static std::string failure(const char* what, const QBError& e) {
    return std::string(what) + " " + std::to_string(e.code()) + " " + e.message();
  }
  mutable std::mutex bannerMutex_;
  std::shared_ptr<QBBannerView> banner_;
};

}  // namespace qbtest
