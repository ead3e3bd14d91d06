#pragma once
// The show side of the object-per-waterfall managers: QBBaseAdUnitInteractionManager
// (showable ad units) and QBBaseAdUnitRewardManager (adds the reward).
//
// showAd decides under the state lock: placement, the show-requested event,
// the refusals in order (already showing 1036/1022, not ready 509, no
// placement 1020/1021, capped placement 524), then the first instance of the
// current waterfall that is ready to show; the manager becomes SHOWING and the
// adapter's show runs after the lock is left. The instances' show callbacks
// arrive through QBAdUnitInteractionManagerDelegate on any thread and go to
// the application through the listener wrapper (main queue).
//
// A show belongs to its own waterfall: when the manager chooses the instance
// it keeps that waterfall's item of the instance, its generic notifications
// and conversion-value parameters, and tells the waterfall holder which
// instance is on screen. The open and a show failure read these (the
// impression, the conversion value, the ad info stored under the instance's
// own waterfall id), so a waterfall installed during the show (in
// AUTOMATIC_LOAD_WHILE_SHOW) never mixes with it, and the holder never
// releases the instance on screen. Every show callback carries the ad info of
// the instance's own waterfall; the open, click and impression report the
// placement of the accepted show, which a refused call never changes.
#include <memory>
#include <mutex>
#include <string>

#include "adunits/QBAdUnitManagerDelegate.h"
#include "adunits/QBBaseAdUnitManager.h"
#include "platform/ui.h"

class QBBaseAdUnitInteractionSmash;

class QBBaseAdUnitInteractionManager : public QBBaseAdUnitManager, public QBAdUnitInteractionManagerDelegate {
 public:
  QBAdUnitInteractionManagerDelegate* interactionManagerDelegate() override { return this; }

  // The message of a show while a show runs.
  static constexpr const char* kShowDuringShowMessage = "can't show ad while an ad is already showing";
  static constexpr int kNoAdsToShowErrorCode = 509;
  static constexpr const char* kNotReadyMessage = "show called while no ads are available";
  static constexpr const char* kEmptyPlacementMessage = "show called with empty default placement";
  static constexpr int kPlacementCappedErrorCode = 524;
  static constexpr int kInstanceMissingErrorCode = 1011;

  // The application's show call: shows the first ready instance of the
  // current waterfall on `placementName` (a name that matches no placement
  // means the default placement). Returns at once; a refusal or a failure
  // reaches the application as adDidFailToShowWithError through the listener
  // wrapper, with the show-failed event. Any thread; the adapter's show runs on
  // the calling thread.
  virtual void showAd(platform::ViewControllerRef viewController, const std::string& placementName);
  // READY_TO_SHOW, not unreachable while reachability is tracked, and an
  // instance of the current waterfall ready to show.
  bool isAdReady() override;
  // Reports a show failure: the show-failed event with `expiredSmashes` and
  // the current placement, the loading mode's showError, the listener with the
  // current waterfall's ad info and, in an automatic mode, availability false.
  // The state is left alone.
  void handleShowFailed(const QBError& error, const std::string& expiredSmashes);

  // ---- QBAdUnitInteractionManagerDelegate (instances, any thread) ----
  void onAdShowSuccess(const std::shared_ptr<QBBaseAdUnitSmash>& smash) override;
  // Performance code 3, SHOWING -> READY_TO_LOAD (only from SHOWING), then
  // the failure report.
  void onAdShowFailed(const std::shared_ptr<QBBaseAdUnitSmash>& smash, const QBError& error) override;
  // In order: last active instance, session capping, placement counter,
  // session depth, impression and conversion-value reports with the ad info,
  // the application's open, then in an automatic mode the availability. That
  // is false, and showStarted follows, unless a newer waterfall loaded while
  // the show was starting (AUTOMATIC_LOAD_WHILE_SHOW): then the application
  // keeps hearing that an ad is ready and no reload throws it away.
  void onAdOpened(const std::shared_ptr<QBBaseAdUnitSmash>& smash) override;
  // SHOWING -> READY_TO_LOAD, the instance leaves the screen, showEnded, the
  // application's close.
  void onAdClosed(const std::shared_ptr<QBBaseAdUnitSmash>& smash) override;
  void onAdStarted(const std::shared_ptr<QBBaseAdUnitSmash>& smash) override;
  void onAdEnded(const std::shared_ptr<QBBaseAdUnitSmash>& smash) override;
  // "" unless READY_TO_SHOW; then the loaded instances' names, each followed
  // by ";". Takes no manager lock.
  std::string getOtherAvailableInstances() override;

 protected:
  using QBBaseAdUnitManager::QBBaseAdUnitManager;
  // In an automatic mode stops the expiry scheduler, then shows `smash`.
  void showAdInternal(const platform::ViewControllerRef& viewController,
                      const std::shared_ptr<QBBaseAdUnitInteractionSmash>& smash,
                      const std::shared_ptr<const QBPlacement>& placement);
  // The ad info stored for the instance's waterfall (null when none).
  std::shared_ptr<const QBAdInfo> adInfoOf(const std::shared_ptr<QBBaseAdUnitSmash>& smash) const;

 private:
  // What a show keeps of its own waterfall, from the choice of its instance.
  struct ShowRecord {
    std::weak_ptr<QBBaseAdUnitSmash> smash;
    std::shared_ptr<QBAuctionResponseItem> item;
    std::shared_ptr<QBAuctionResponseItem> genericNotifications;
    platform::Json conversionValueParameters;
  };
  void handleShowFailed(const QBError& error, const std::string& expiredSmashes, const std::string& placementName,
                        const std::string& waterfallId);
  // The show record of `smash`; for an instance whose show the manager did not
  // start, what the current waterfall holds for it (nothing when the instance
  // belongs to another waterfall).
  ShowRecord showRecordOf(const std::shared_ptr<QBBaseAdUnitSmash>& smash) const;

  mutable std::mutex showMutex_;  // leaf lock of showRecord_
  ShowRecord showRecord_;
};

class QBBaseAdUnitRewardManager : public QBBaseAdUnitInteractionManager, public QBAdUnitRewardedManagerDelegate {
 public:
  QBAdUnitRewardedManagerDelegate* rewardedManagerDelegate() override { return this; }

  // ---- QBAdUnitRewardedManagerDelegate ----
  // The application's reward with the placement's info and the instance's
  // ad info.
  void onAdRewarded(const std::shared_ptr<QBBaseAdUnitSmash>& smash,
                    const std::shared_ptr<const QBPlacement>& placement) override;

 protected:
  using QBBaseAdUnitInteractionManager::QBBaseAdUnitInteractionManager;
};
