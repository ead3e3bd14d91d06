#pragma once
// Stand-in for the outside Tulvo ad SDK that the host application supplies.
// It offers exactly the surface the Tulvo adapter calls, with a plausible
// default behaviour for the demo and scriptable answers for tests
// (tulvo_control.h).
//
// Default behaviour: initialisation answers success 50 ms after the call on a
// global queue; every load fills 50 ms after the call; show reports shown,
// impression, (reward) and closed 50 ms after the call. Answers arrive on a
// global queue, on a dedicated foreign thread, or inline, as the test scripts.
//
// The SDK holds every delegate weakly: an answer for a delegate that is gone
// is dropped. Callbacks are never made under an SDK lock.
#include <atomic>
#include <memory>
#include <optional>
#include <string>

#include "platform/ui.h"

namespace TulvoSDK {

// An error the SDK reports: a code and an optional message.
struct TulvoError {
  int errorCode = 0;
  std::optional<std::string> message;
};

// Told the outcome of Tulvo::initializeWithPublisherID. Both callbacks are
// optional (empty by default).
class TulvoInitDelegate {
 public:
  virtual ~TulvoInitDelegate() = default;
  virtual void onInitSuccess() {}
  virtual void onInitError(const std::optional<std::string>& message) { (void)message; }
};

class RewardedAd;
class InterstitialAd;

// Callbacks of a rewarded ad, all optional.
class TulvoRewardedDelegate {
 public:
  virtual ~TulvoRewardedDelegate() = default;
  virtual void onRewardedAdLoadedWithAd(const std::shared_ptr<RewardedAd>& ad) { (void)ad; }
  virtual void onRewardedAdFailedToLoadWithError(const TulvoError& error) { (void)error; }
  virtual void onRewardedAdShownWithAd(const std::shared_ptr<RewardedAd>& ad) { (void)ad; }
  virtual void onRewardedAdFailedToShowWithError(const TulvoError& error) { (void)error; }
  virtual void onRewardReceivedWithAd(const std::shared_ptr<RewardedAd>& ad) { (void)ad; }
  virtual void onRewardedImpression() {}
  virtual void onRewardedAdClosedWithAd(const std::shared_ptr<RewardedAd>& ad) { (void)ad; }
};

// Callbacks of an interstitial ad, all optional.
class TulvoInterstitialDelegate {
 public:
  virtual ~TulvoInterstitialDelegate() = default;
  virtual void onInterstitialAdLoadedWithAd(const std::shared_ptr<InterstitialAd>& ad) { (void)ad; }
  virtual void onInterstitialAdFailedToLoadWithError(const TulvoError& error) { (void)error; }
  virtual void onInterstitialAdShownWithAd(const std::shared_ptr<InterstitialAd>& ad) { (void)ad; }
  virtual void onInterstitialAdFailedToShowWithError(const TulvoError& error) { (void)error; }
  virtual void onInterstitialImpression() {}
  virtual void onInterstitialAdClosedWithAd(const std::shared_ptr<InterstitialAd>& ad) { (void)ad; }
};

// The SDK's shared object.
class Tulvo {
 public:
  // The one shared object (always present).
  static std::shared_ptr<Tulvo> instance();

  // True once an initialisation has answered success (or a test said so).
  bool isSDKInitialized() const;
  // Names the mediation that drives the SDK.
  static void setMediation(const std::string& mediation);
  // Starts an initialisation and returns at once; the delegate hears
  // onInitSuccess or onInitError later. Every call is answered, also a call
  // made while an earlier one is still running.
  void initializeWithPublisherID(const std::string& publisherId, const std::string& securityToken,
                                 std::weak_ptr<TulvoInitDelegate> delegate);

  Tulvo() = default;
};

class DeviceUtils {
 public:
  // The SDK's version text.
  static std::string getActualSDKVersion();
};

// The SDK's console log.
class Logger {
 public:
  static void d(const std::string& tag, const std::string& message);
};

// One rewarded ad. load() makes a new one for each fill and hands it to the
// delegate; show() reports to the delegate given to the load.
class RewardedAd : public std::enable_shared_from_this<RewardedAd> {
 public:
  static void load(std::weak_ptr<TulvoRewardedDelegate> delegate);

  // True from the fill until a successful show starts (or a test says else).
  bool isLoaded() const { return loaded_.load(); }
  void show(const platform::ViewControllerRef& viewController);

  // Makes isLoaded() answer `loaded`.
  void setLoadedForTesting(bool loaded) { loaded_.store(loaded); }

  explicit RewardedAd(std::weak_ptr<TulvoRewardedDelegate> delegate, bool loaded)
      : delegate_(std::move(delegate)), loaded_(loaded) {}
  const std::weak_ptr<TulvoRewardedDelegate>& delegate() const { return delegate_; }

 private:
  std::weak_ptr<TulvoRewardedDelegate> delegate_;
  std::atomic<bool> loaded_;
};

// One interstitial ad; as RewardedAd without the reward.
class InterstitialAd : public std::enable_shared_from_this<InterstitialAd> {
 public:
  static void load(std::weak_ptr<TulvoInterstitialDelegate> delegate);

  bool isLoaded() const { return loaded_.load(); }
  void show(const platform::ViewControllerRef& viewController);

  void setLoadedForTesting(bool loaded) { loaded_.store(loaded); }

  explicit InterstitialAd(std::weak_ptr<TulvoInterstitialDelegate> delegate, bool loaded)
      : delegate_(std::move(delegate)), loaded_(loaded) {}
  const std::weak_ptr<TulvoInterstitialDelegate>& delegate() const { return delegate_; }

 private:
  std::weak_ptr<TulvoInterstitialDelegate> delegate_;
  std::atomic<bool> loaded_;
};

}  // namespace TulvoSDK
