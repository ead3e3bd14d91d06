#pragma once
// The Tulvo rewarded-video ad adapter (class name
// "QBTulvoCustomRewardedVideo"): loads, reports and shows one Tulvo rewarded
// ad per waterfall instance and turns the SDK's callbacks into the
// mediation's adapter-delegate calls. Relies on QBTulvoCustomAdapter having
// initialised the SDK; logs through the SDK's Logger with its class name as
// tag.
//
// Thread-safe: load, availability and show may run on any thread while the
// SDK calls back on its own; the delegate and the loaded ad are guarded by a
// mutex and delegates are called outside it, on the SDK's thread.
#include <memory>
#include <string>

#include "adapters/QBBaseAdAdapter.h"
#include "platform/tulvo/tulvo_sdk.h"
#include "tulvo_adapter/TulvoAdAdapterSupport.h"

class QBTulvoCustomRewardedVideo : public QBBaseRewardedVideo, public TulvoSDK::TulvoRewardedDelegate {
 public:
  static constexpr int kAdNotLoadedErrorCode = 2;
  static constexpr const char* kAdNotLoadedMessage = "Ad is not loaded";

  QBTulvoCustomRewardedVideo() = default;

  // Empties the delegate and the ad, then keeps ad unit and configuration.
  void initWithAdUnit(const QBAdUnit& adUnit, const std::shared_ptr<QBAdapterConfig>& adapterConfig) override;

  // Logs "loadAd", keeps the delegate and starts RewardedAd::load with this
  // adapter as the SDK delegate. adData is not read. The outcome comes later:
  // adDidLoad, or adDidFailToLoadWithErrorType(2, the SDK's code and message).
  void loadAdWithAdData(const std::shared_ptr<QBAdData>& adData,
                        std::weak_ptr<QBAdapterAdDelegate> delegate) override;
  // Whether an ad was loaded and the SDK says it still is.
  bool isAdAvailableWithAdData(const std::shared_ptr<QBAdData>& adData) override;
  // Logs "showAd". With a loaded ad: keeps the delegate and shows the ad from
  // viewController. Otherwise logs "showAd Ad is not loaded" and calls this
  // call's delegate with adDidFailToShowWithErrorCode(2, "Ad is not loaded")
  // at once; the kept delegate stays.
  void showAdWithViewController(const QBViewController& viewController, const std::shared_ptr<QBAdData>& adData,
                                std::weak_ptr<QBAdapterAdInteractionDelegate> delegate) override;

  // TulvoRewardedDelegate: each logs, then tells the kept delegate (nothing
  // when there is none).
  void onRewardedAdLoadedWithAd(const std::shared_ptr<TulvoSDK::RewardedAd>& ad) override;
  void onRewardedAdFailedToLoadWithError(const TulvoSDK::TulvoError& error) override;
  void onRewardedAdShownWithAd(const std::shared_ptr<TulvoSDK::RewardedAd>& ad) override;
  void onRewardedAdFailedToShowWithError(const TulvoSDK::TulvoError& error) override;
  void onRewardReceivedWithAd(const std::shared_ptr<TulvoSDK::RewardedAd>& ad) override;
  void onRewardedImpression() override;
  void onRewardedAdClosedWithAd(const std::shared_ptr<TulvoSDK::RewardedAd>& ad) override;

  // The stored ad (the last one loaded), or null.
  std::shared_ptr<TulvoSDK::RewardedAd> ad() const { return state_.ad(); }

  // The log tag: the class name.
  static const std::string& tag();

 private:
  TulvoAdAdapterState<TulvoSDK::RewardedAd> state_;
};
