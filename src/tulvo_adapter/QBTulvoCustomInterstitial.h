#pragma once
// The Tulvo interstitial ad adapter (class name
// "QBTulvoCustomInterstitial"): loads, reports and shows one Tulvo interstitial
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

class QBTulvoCustomInterstitial : public QBBaseInterstitial, public TulvoSDK::TulvoInterstitialDelegate {
 public:
  static constexpr int kAdNotLoadedErrorCode = 2;
  static constexpr const char* kAdNotLoadedMessage = "Ad is not loaded";

  QBTulvoCustomInterstitial() = default;

  // Empties the delegate and the ad, then keeps ad unit and configuration.
  void initWithAdUnit(const QBAdUnit& adUnit, const std::shared_ptr<QBAdapterConfig>& adapterConfig) override;

  // Logs "loadAd", keeps the delegate and starts InterstitialAd::load with this
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

  // TulvoInterstitialDelegate: each logs, then tells the kept delegate (nothing
  // when there is none).
  void onInterstitialAdLoadedWithAd(const std::shared_ptr<TulvoSDK::InterstitialAd>& ad) override;
  void onInterstitialAdFailedToLoadWithError(const TulvoSDK::TulvoError& error) override;
  void onInterstitialAdShownWithAd(const std::shared_ptr<TulvoSDK::InterstitialAd>& ad) override;
  void onInterstitialAdFailedToShowWithError(const TulvoSDK::TulvoError& error) override;
  void onInterstitialImpression() override;
  void onInterstitialAdClosedWithAd(const std::shared_ptr<TulvoSDK::InterstitialAd>& ad) override;

  // The stored ad (the last one loaded), or null.
  std::shared_ptr<TulvoSDK::InterstitialAd> ad() const { return state_.ad(); }

  // The log tag: the class name.
  static const std::string& tag();

 private:
  TulvoAdAdapterState<TulvoSDK::InterstitialAd> state_;
};
