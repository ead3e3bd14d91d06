#pragma once
// The callbacks of custom adapters. Adapters hold these delegates weakly and
// may call them on any thread (the network's own threads included); the
// receiver does its own locking and queue hops.
#include <optional>
#include <string>

// Error types of adDidFailToLoadWithErrorType.
enum QBAdapterErrorType : int {
  QBAdapterErrorTypeNoFill = 0,
  QBAdapterErrorTypeAdExpired = 1,
  QBAdapterErrorTypeOther = 2,
};

// Outcome of a network adapter's init(adData, delegate), told once per call.
class QBNetworkInitializationDelegate {
 public:
  virtual ~QBNetworkInitializationDelegate() = default;
  virtual void onInitDidSucceed() = 0;
  // message: the network's text, or none when it gave none.
  virtual void onInitDidFailWithErrorCode(int errorCode, const std::optional<std::string>& errorMessage) = 0;
};

// Load results and clicks of an ad adapter.
class QBAdapterAdDelegate {
 public:
  virtual ~QBAdapterAdDelegate() = default;
  virtual void adDidLoad() = 0;
  // errorType: a QBAdapterErrorType. errorMessage: "" when the network gave none.
  virtual void adDidFailToLoadWithErrorType(int errorType, int errorCode, const std::string& errorMessage) = 0;
  virtual void adDidClick() = 0;
};

// Show-side callbacks of an ad adapter.
class QBAdapterAdInteractionDelegate {
 public:
  virtual ~QBAdapterAdInteractionDelegate() = default;
  virtual void adDidOpen() = 0;
  virtual void adDidClose() = 0;
  virtual void adDidFailToShowWithErrorCode(int errorCode, const std::string& errorMessage) = 0;
  virtual void adDidShowSucceed() = 0;
  virtual void adDidBecomeVisible() = 0;
  virtual void adDidStart() = 0;
  virtual void adDidEnd() = 0;
};

// The reward of a rewarded ad.
class QBAdapterAdRewardedDelegate {
 public:
  virtual ~QBAdapterAdRewardedDelegate() = default;
  virtual void adRewarded() = 0;
};

// What a rewarded-video ad adapter is handed for load and show.
class QBRewardedVideoAdDelegate : public QBAdapterAdDelegate,
                                  public QBAdapterAdInteractionDelegate,
                                  public QBAdapterAdRewardedDelegate {};

// What an interstitial ad adapter is handed for load and show.
class QBInterstitialAdDelegate : public QBAdapterAdDelegate, public QBAdapterAdInteractionDelegate {};
