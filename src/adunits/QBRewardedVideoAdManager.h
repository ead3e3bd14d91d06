#pragma once
// The two concrete object-per-waterfall managers. Each fills its settings
// record from the ad unit's settings and the auction settings, chooses its
// loading mode, and supplies its name, listener wrapper and the class of its
// waterfall instances; everything else is inherited.
//
//                     rewarded video                          interstitial
//   loading mode      MANUAL when isManual, else              MANUAL
//                     AUTOMATIC_LOAD_WHILE_SHOW with the
//                     auction's isLoadWhileShow, else
//                     AUTOMATIC_LOAD_AFTER_CLOSE
//   reload intervals  minTimeBeforeRvAuctionMs after a show,  none
//                     auctionRetryIntervalRvMs after a failure
//   expiry            expiredDurationInMinutes                never
//   ad adapter class  QBBaseRewardedVideo                     QBBaseAdInteractionAdapter
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "adunits/QBBaseAdUnitInteractionManager.h"
#include "core/QBProductSettings.h"

class QBRewardedVideoAdManager : public QBBaseAdUnitRewardManager {
 public:
  static constexpr const char* kManagerName = "OPW_RV";

  // Builds and starts the manager (construction ends in READY_TO_LOAD; in an
  // automatic mode it then issues the first load). providersPool: the
  // configured rewarded-video instances in configuration order. Null settings
  // or auction settings count as all defaults. impressionDataDelegates: the
  // application's shared listener set (null: an empty one).
  static std::shared_ptr<QBRewardedVideoAdManager> initWithProvidersPool(
      std::vector<std::shared_ptr<QBAdapterConfig>> providersPool, std::shared_ptr<const QBProductSettings> settings,
      std::shared_ptr<const QBAuctionSettings> auctionSettings, bool isEncryptedAuctionResponse, bool isManual,
      std::shared_ptr<QBImpressionDataDelegates> impressionDataDelegates, std::optional<QBSegment> segment,
      bool isOneToken);

  std::string managerName() const override;
  std::shared_ptr<QBAdUnitDelegateWrapper> createAdUnitListenerWrapper() override;
  // A rewarded-video instance for a QBBaseRewardedVideo adapter; null (logged
  // "error creating adapter") for any other adapter.
  std::shared_ptr<QBBaseAdUnitSmash> createSmashWithAdapterConfig(const std::shared_ptr<QBAdapterConfig>& config,
                                                                  const std::shared_ptr<QBBaseAdAdapter>& adapter,
                                                                  int32_t sessionDepth,
                                                                  const std::string& currentAuctionId) override;

 protected:
  // A QBRewardedVideoAdSmash.
  std::shared_ptr<QBBaseAdUnitSmash> makeSmash(std::shared_ptr<const QBAdSmashData> data,
                                               std::shared_ptr<QBBaseAdAdapter> adapter) override;

 private:
  using QBBaseAdUnitRewardManager::QBBaseAdUnitRewardManager;
};

class QBInterstitialAdManager : public QBBaseAdUnitInteractionManager {
 public:
  static constexpr const char* kManagerName = "OPW_IS";

  // As the rewarded-video factory, always in MANUAL mode.
  static std::shared_ptr<QBInterstitialAdManager> initWithProvidersPool(
      std::vector<std::shared_ptr<QBAdapterConfig>> providersPool, std::shared_ptr<const QBProductSettings> settings,
      std::shared_ptr<const QBAuctionSettings> auctionSettings, bool isEncryptedAuctionResponse,
      std::shared_ptr<QBImpressionDataDelegates> impressionDataDelegates, std::optional<QBSegment> segment,
      bool isOneToken);

  std::string managerName() const override;
  std::shared_ptr<QBAdUnitDelegateWrapper> createAdUnitListenerWrapper() override;
  // An interstitial instance for a QBBaseAdInteractionAdapter; null (logged
  // "error creating adapter") for any other adapter.
  std::shared_ptr<QBBaseAdUnitSmash> createSmashWithAdapterConfig(const std::shared_ptr<QBAdapterConfig>& config,
                                                                  const std::shared_ptr<QBBaseAdAdapter>& adapter,
                                                                  int32_t sessionDepth,
                                                                  const std::string& currentAuctionId) override;

 protected:
  // A QBInterstitialAdSmash.
  std::shared_ptr<QBBaseAdUnitSmash> makeSmash(std::shared_ptr<const QBAdSmashData> data,
                                               std::shared_ptr<QBBaseAdAdapter> adapter) override;

 private:
  using QBBaseAdUnitInteractionManager::QBBaseAdUnitInteractionManager;
};
