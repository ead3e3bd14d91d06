#pragma once
// The show half of a waterfall instance: QBBaseAdUnitInteractionSmash shows
// its loaded ad and turns the ad adapter's show callbacks into instance-level
// events and manager calls (QBAdUnitInteractionManagerDelegate);
// QBBaseAdUnitRewardSmash adds the reward. QBInterstitialAdSmash and
// QBRewardedVideoAdSmash are the classes the two managers make.
//
// Show-side states: LOADED -> SHOWING by showAdWithViewController, SHOWING ->
// NONE by the close, SHOWING -> FAILED by a show failure (reported by the
// adapter, or an exception of the adapter's show call). A failure or close
// outside SHOWING sends only a troubleshooting event.
//
// Threads: adapter callbacks may arrive on any thread, also inline from inside
// the show call. The close and show-failure tests and their state changes run
// under the smash's lock; the manager is told after it is left.
#include <memory>
#include <mutex>
#include <string>

#include "adunits/QBBaseAdUnitSmash.h"
#include "platform/ui.h"

class QBBaseAdInteractionAdapter;

class QBBaseAdUnitInteractionSmash : public QBBaseAdUnitSmash, public QBAdapterAdInteractionDelegate {
 public:
  // Shows the loaded ad on `placement`: current placement, SHOWING, the
  // show-requested event, then the adapter's show with this smash as delegate
  // (outcomes arrive later, possibly inline). When the adapter's show throws,
  // the manager hears a show failure with the ad unit's show-failed code
  // (1038 rewarded video, 1039 interstitial) and "showAd - exception = ...".
  void showAdWithViewController(const platform::ViewControllerRef& viewController,
                                std::shared_ptr<const QBPlacement> placement);
  // LOADED with ad data and the adapter says available; an adapter exception
  // answers false (logged, internal-error event). Takes no lock.
  bool isReadyToShow();
  // The show-chance event with `status`.
  void reportShowChanceWithStatus(bool status);
  // The base release, then the interaction adapter's releaseMemory (guarded),
  // then the interaction adapter is dropped.
  void releaseMemory() override;

  // Null after releaseMemory().
  std::shared_ptr<QBBaseAdInteractionAdapter> interactionAdapter() const;
  std::weak_ptr<QBAdUnitInteractionManagerDelegate> interactionDelegate() const { return interactionDelegate_; }

  // ---- QBAdapterAdInteractionDelegate (any thread) ----
  void adDidOpen() override;
  void adDidClose() override;
  void adDidFailToShowWithErrorCode(int errorCode, const std::string& errorMessage) override;
  void adDidShowSucceed() override;
  void adDidBecomeVisible() override;
  void adDidStart() override;
  void adDidEnd() override;

 protected:
  QBBaseAdUnitInteractionSmash(std::shared_ptr<const QBAdSmashData> data, std::shared_ptr<QBBaseAdAdapter> adapter,
                               std::shared_ptr<QBAdapterConfig> adapterConfig,
                               std::weak_ptr<QBAdUnitManagerDelegate> managerDelegate);

 private:
  // The closed event's data: for rewarded video "otherInstanceAvailable = "
  // then "true|<names>" or "false"; "" for other ad units.
  std::string closeData();

  const std::weak_ptr<QBAdUnitInteractionManagerDelegate> interactionDelegate_;
  mutable std::mutex adapterMutex_;
  std::shared_ptr<QBBaseAdInteractionAdapter> interactionAdapter_;
};

class QBBaseAdUnitRewardSmash : public QBBaseAdUnitInteractionSmash, public QBAdapterAdRewardedDelegate {
 public:
  // Drops the close stopwatch, then the interaction smash's open.
  void adDidOpen() override;
  // Starts the close stopwatch, then the interaction smash's close.
  void adDidClose() override;
  // With a current placement: the rewarded event ("custom_" server
  // parameters, millisecond timestamp, transaction id, milliseconds since the
  // close or 0, dynamic user id), then the manager's onAdRewarded. Without
  // one: only the internal-error event "placement is null". No state test.
  void adRewarded() override;

  // Null from the open until the close.
  std::shared_ptr<DurationMeasurement> rewardDurationAfterClose() const;
  void setRewardDurationAfterClose(std::shared_ptr<DurationMeasurement> stopwatch);
  std::weak_ptr<QBAdUnitRewardedManagerDelegate> rewardedDelegate() const { return rewardedDelegate_; }

 protected:
  QBBaseAdUnitRewardSmash(std::shared_ptr<const QBAdSmashData> data, std::shared_ptr<QBBaseAdAdapter> adapter,
                          std::shared_ptr<QBAdapterConfig> adapterConfig,
                          std::weak_ptr<QBAdUnitManagerDelegate> managerDelegate);

 private:
  const std::weak_ptr<QBAdUnitRewardedManagerDelegate> rewardedDelegate_;
  mutable std::mutex rewardMutex_;
  std::shared_ptr<DurationMeasurement> rewardDurationAfterClose_;
};

// The instance class of the interstitial manager.
class QBInterstitialAdSmash : public QBBaseAdUnitInteractionSmash {
 public:
  // As QBBaseAdUnitSmash::initWithData.
  static std::shared_ptr<QBInterstitialAdSmash> initWithData(std::shared_ptr<const QBAdSmashData> data,
                                                             std::shared_ptr<QBBaseAdAdapter> adapter,
                                                             std::shared_ptr<QBAdapterConfig> adapterConfig,
                                                             std::weak_ptr<QBAdUnitManagerDelegate> managerDelegate);

 private:
  using QBBaseAdUnitInteractionSmash::QBBaseAdUnitInteractionSmash;
};

// The instance class of the rewarded-video manager.
class QBRewardedVideoAdSmash : public QBBaseAdUnitRewardSmash {
 public:
  static std::shared_ptr<QBRewardedVideoAdSmash> initWithData(std::shared_ptr<const QBAdSmashData> data,
                                                              std::shared_ptr<QBBaseAdAdapter> adapter,
                                                              std::shared_ptr<QBAdapterConfig> adapterConfig,
                                                              std::weak_ptr<QBAdUnitManagerDelegate> managerDelegate);

 private:
  using QBBaseAdUnitRewardSmash::QBBaseAdUnitRewardSmash;
};
