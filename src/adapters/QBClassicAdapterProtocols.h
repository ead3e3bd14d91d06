#pragma once
// Classic adapter protocols: what a classic adapter (a QBBaseAdapter subclass)
// offers per ad unit, and the delegates it reports to. Adapters hold their
// delegates weakly and may call them on any thread. Adapter methods are
// outside code, called through platform::guard by the instance wrappers.
//
// adData arguments are the ad-unit data dictionary; serverData is the bid
// payload of the waterfall item; userId is the user id for networks ("" when
// none).
#include <memory>
#include <optional>
#include <string>

#include "platform/json.h"
#include "platform/ui.h"
#include "quillborne/QBError.h"

class QBAdapterConfig;
class QBBannerSize;

// ------------------------------------------------------------------ delegates

class QBRewardedVideoAdapterDelegate {
 public:
  virtual ~QBRewardedVideoAdapterDelegate() = default;
  virtual void adapterRewardedVideoInitSuccess() = 0;
  virtual void adapterRewardedVideoDidLoad() = 0;
  virtual void adapterRewardedVideoHasChangedAvailability(bool available) = 0;
  virtual void adapterRewardedVideoDidFailToLoadWithError(const QBError& error) = 0;
  virtual void adapterRewardedVideoDidOpen() = 0;
  virtual void adapterRewardedVideoDidClose() = 0;
  virtual void adapterRewardedVideoDidFailToShowWithError(const QBError& error) = 0;
  virtual void adapterRewardedVideoDidClick() = 0;
  virtual void adapterRewardedVideoDidReceiveReward() = 0;
  virtual void adapterRewardedVideoDidBecomeVisible() = 0;
};

class QBInterstitialAdapterDelegate {
 public:
  virtual ~QBInterstitialAdapterDelegate() = default;
  virtual void adapterInterstitialInitSuccess() = 0;
  virtual void adapterInterstitialDidLoad() = 0;
  virtual void adapterInterstitialDidFailToLoadWithError(const QBError& error) = 0;
  virtual void adapterInterstitialDidOpen() = 0;
  virtual void adapterInterstitialDidClose() = 0;
  virtual void adapterInterstitialDidShow() = 0;
  virtual void adapterInterstitialDidFailToShowWithError(const QBError& error) = 0;
  virtual void adapterInterstitialDidClick() = 0;
  virtual void adapterInterstitialDidBecomeVisible() = 0;
};

class QBBannerAdapterDelegate {
 public:
  virtual ~QBBannerAdapterDelegate() = default;
  virtual void adapterBannerInitSuccess() = 0;
  virtual void adapterBannerDidLoad(const platform::ViewRef& bannerView) = 0;
  virtual void adapterBannerDidFailToLoadWithError(const QBError& error) = 0;
  virtual void adapterBannerDidClick() = 0;
  virtual void adapterBannerDidShow() = 0;
  virtual void adapterBannerWillLeaveApplication() = 0;
  // A full-screen view opened from the banner (a landing page, a store page)
  // appears / went away. Networks that open none never call these.
  virtual void adapterBannerWillPresentScreen() {}
  virtual void adapterBannerDidDismissScreen() {}
};

class QBOfferwallAdapterDelegate {
 public:
  virtual ~QBOfferwallAdapterDelegate() = default;
  // error: none when the offerwall became available.
  virtual void adapterOfferwallHasChangedAvailability(bool available, const std::optional<QBError>& error) = 0;
  virtual void adapterOfferwallDidShow() = 0;
  virtual void adapterOfferwallDidFailToShowWithError(const QBError& error) = 0;
  virtual void adapterOfferwallDidClose() = 0;
  // Returns whether the credits were taken.
  virtual bool adapterOfferwallDidReceiveCredits(const platform::Json& credits) = 0;
  virtual void adapterOfferwallDidFailToReceiveCreditsWithError(const QBError& error) = 0;
};

// ------------------------------------------------------------------ protocols

using QBAdapterConfigRef = std::shared_ptr<QBAdapterConfig>;

class QBRewardedVideoAdapterProtocol {
 public:
  virtual ~QBRewardedVideoAdapterProtocol() = default;
  virtual void initAndLoadRewardedVideoWithUserId(const std::string& userId, const QBAdapterConfigRef& adapterConfig,
                                                  const platform::Json& adData,
                                                  std::weak_ptr<QBRewardedVideoAdapterDelegate> delegate) = 0;
  virtual void initRewardedVideoForCallbacksWithUserId(const std::string& userId,
                                                       const QBAdapterConfigRef& adapterConfig,
                                                       std::weak_ptr<QBRewardedVideoAdapterDelegate> delegate) = 0;
  virtual void initRewardedVideoForDemandOnlyWithUserId(const std::string& userId,
                                                        const QBAdapterConfigRef& adapterConfig,
                                                        std::weak_ptr<QBRewardedVideoAdapterDelegate> delegate) = 0;
  virtual void loadRewardedVideoWithAdapterConfig(const QBAdapterConfigRef& adapterConfig,
                                                  const platform::Json& adData,
                                                  std::weak_ptr<QBRewardedVideoAdapterDelegate> delegate) = 0;
  virtual void loadRewardedVideoForBiddingWithAdapterConfig(
      const QBAdapterConfigRef& adapterConfig, const platform::Json& adData, const std::string& serverData,
      std::weak_ptr<QBRewardedVideoAdapterDelegate> delegate) = 0;
  virtual void loadRewardedVideoForDemandOnlyWithAdapterConfig(
      const QBAdapterConfigRef& adapterConfig, std::weak_ptr<QBRewardedVideoAdapterDelegate> delegate) = 0;
  virtual void loadRewardedVideoForDemandOnlyForBiddingWithAdapterConfig(
      const QBAdapterConfigRef& adapterConfig, const std::string& serverData,
      std::weak_ptr<QBRewardedVideoAdapterDelegate> delegate) = 0;
  virtual void showRewardedVideoWithViewController(const platform::ViewControllerRef& viewController,
                                                   const QBAdapterConfigRef& adapterConfig,
                                                   std::weak_ptr<QBRewardedVideoAdapterDelegate> delegate) = 0;
  virtual bool hasRewardedVideoWithAdapterConfig(const QBAdapterConfigRef& adapterConfig) = 0;
  // The bidder token dictionary, or none.
  virtual std::optional<platform::Json> getRewardedVideoBiddingDataWithAdapterConfig(
      const QBAdapterConfigRef& adapterConfig, const platform::Json& adData) = 0;
};

class QBInterstitialAdapterProtocol {
 public:
  virtual ~QBInterstitialAdapterProtocol() = default;
  virtual void initInterstitialWithUserId(const std::string& userId, const QBAdapterConfigRef& adapterConfig,
                                          std::weak_ptr<QBInterstitialAdapterDelegate> delegate) = 0;
  virtual void initInterstitialForBiddingWithUserId(const std::string& userId,
                                                    const QBAdapterConfigRef& adapterConfig,
                                                    std::weak_ptr<QBInterstitialAdapterDelegate> delegate) = 0;
  virtual void loadInterstitialWithAdapterConfig(const QBAdapterConfigRef& adapterConfig,
                                                 const platform::Json& adData,
                                                 std::weak_ptr<QBInterstitialAdapterDelegate> delegate) = 0;
  virtual void loadInterstitialForBiddingWithAdapterConfig(const QBAdapterConfigRef& adapterConfig,
                                                           const platform::Json& adData,
                                                           const std::string& serverData,
                                                           std::weak_ptr<QBInterstitialAdapterDelegate> delegate) = 0;
  virtual void showInterstitialWithViewController(const platform::ViewControllerRef& viewController,
                                                  const QBAdapterConfigRef& adapterConfig,
                                                  std::weak_ptr<QBInterstitialAdapterDelegate> delegate) = 0;
  virtual bool hasInterstitialWithAdapterConfig(const QBAdapterConfigRef& adapterConfig) = 0;
  virtual std::optional<platform::Json> getInterstitialBiddingDataWithAdapterConfig(
      const QBAdapterConfigRef& adapterConfig, const platform::Json& adData) = 0;
};

class QBBannerAdapterProtocol {
 public:
  virtual ~QBBannerAdapterProtocol() = default;
  virtual void initBannerForBiddingWithUserId(const std::string& userId, const QBAdapterConfigRef& adapterConfig,
                                              std::weak_ptr<QBBannerAdapterDelegate> delegate) = 0;
  virtual void loadBannerForBiddingWithAdapterConfig(const QBAdapterConfigRef& adapterConfig,
                                                     const platform::Json& adData, const std::string& serverData,
                                                     const platform::ViewControllerRef& viewController,
                                                     const std::shared_ptr<QBBannerSize>& size,
                                                     std::weak_ptr<QBBannerAdapterDelegate> delegate) = 0;
  virtual void destroyBannerWithAdapterConfig(const QBAdapterConfigRef& adapterConfig) = 0;
  virtual std::optional<platform::Json> getBannerBiddingDataWithAdapterConfig(const QBAdapterConfigRef& adapterConfig,
                                                                              const platform::Json& adData) = 0;
};

class QBOfferwallAdapterProtocol {
 public:
  virtual ~QBOfferwallAdapterProtocol() = default;
  virtual void initOfferWallWithUserId(const std::string& userId, const QBAdapterConfigRef& adapterConfig,
                                       std::weak_ptr<QBOfferwallAdapterDelegate> delegate) = 0;
  virtual void showOfferwallWithViewController(const platform::ViewControllerRef& viewController,
                                               const std::string& placement) = 0;
  virtual void getOfferWallCreditsWithUserId(const std::string& userId) = 0;
  virtual bool hasOfferwall() = 0;
};

// A classic adapter's own-network bidding data (the raw token dictionary).
class QBBiddingDataAdapterProtocol {
 public:
  virtual ~QBBiddingDataAdapterProtocol() = default;
  // The token dictionary, or none. May throw.
  virtual std::optional<platform::Json> getPlayerBiddingData() = 0;
};
