#pragma once
// The Tulvo interstitial ad adapter (class name
// "QBTulvoCustomInterstitial"): loads, reports and shows one Tulvo interstitial
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

class QBTulvoCustomInterstitial
    : public TulvoAdAdapter<QBTulvoCustomInterstitial, QBBaseInterstitial, TulvoSDK::InterstitialAd,
                            TulvoSDK::TulvoInterstitialDelegate> {
 public:
  static constexpr const char* kClassName = "QBTulvoCustomInterstitial";
  static constexpr const char* kCallbackName = "Interstitial";

  QBTulvoCustomInterstitial() = default;

  // TulvoInterstitialDelegate: each logs, then tells the kept delegate
  // (nothing when there is none).
  void onInterstitialAdLoadedWithAd(const std::shared_ptr<TulvoSDK::InterstitialAd>& ad) override;
  void onInterstitialAdFailedToLoadWithError(const TulvoSDK::TulvoError& error) override;
  void onInterstitialAdShownWithAd(const std::shared_ptr<TulvoSDK::InterstitialAd>& ad) override;
  void onInterstitialAdFailedToShowWithError(const TulvoSDK::TulvoError& error) override;
  void onInterstitialImpression() override;
  void onInterstitialAdClosedWithAd(const std::shared_ptr<TulvoSDK::InterstitialAd>& ad) override;
};
