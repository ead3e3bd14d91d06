#pragma once
// The Tulvo rewarded-video ad adapter (class name
// "QBTulvoCustomRewardedVideo"): loads, reports and shows one Tulvo rewarded
// ad per waterfall instance and turns the SDK's callbacks into the
// mediation's adapter-delegate calls. Relies on QBTulvoCustomAdapter having
// initialised the SDK; logs through the SDK's Logger with its class name as
// tag.
//
// Load, availability, show, ad() and tag() are TulvoAdAdapter's (see
// TulvoAdAdapterSupport.h for their contracts and the threading rules).
#include <memory>

#include "adapters/QBBaseAdAdapter.h"
#include "platform/tulvo/tulvo_sdk.h"
#include "tulvo_adapter/TulvoAdAdapterSupport.h"

class QBTulvoCustomRewardedVideo
    : public TulvoAdAdapter<QBTulvoCustomRewardedVideo, QBBaseRewardedVideo, TulvoSDK::RewardedAd,
                            TulvoSDK::TulvoRewardedDelegate> {
 public:
  static constexpr const char* kClassName = "QBTulvoCustomRewardedVideo";
  static constexpr const char* kCallbackName = "Rewarded";

  QBTulvoCustomRewardedVideo() = default;

  // TulvoRewardedDelegate: each logs, then tells the kept delegate (nothing
  // when there is none).
  void onRewardedAdLoadedWithAd(const std::shared_ptr<TulvoSDK::RewardedAd>& ad) override;
  void onRewardedAdFailedToLoadWithError(const TulvoSDK::TulvoError& error) override;
  void onRewardedAdShownWithAd(const std::shared_ptr<TulvoSDK::RewardedAd>& ad) override;
  void onRewardedAdFailedToShowWithError(const TulvoSDK::TulvoError& error) override;
  void onRewardReceivedWithAd(const std::shared_ptr<TulvoSDK::RewardedAd>& ad) override;
  void onRewardedImpression() override;
  void onRewardedAdClosedWithAd(const std::shared_ptr<TulvoSDK::RewardedAd>& ad) override;
};
