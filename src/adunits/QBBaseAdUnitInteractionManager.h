#pragma once
// The show side of the object-per-waterfall managers: QBBaseAdUnitInteractionManager
// (showable ad units) and QBBaseAdUnitRewardManager (adds the reward).
//
// This layer holds the extension points the show side fills in: showAd, the
// readiness answer and the instances' show callbacks. Until the full show
// road is in place, isAdReady answers from the manager state, reachability
// and the loaded instances of the current waterfall, and showAd reports a
// show failure.
#include <memory>
#include <string>

#include "adunits/QBAdUnitManagerDelegate.h"
#include "adunits/QBBaseAdUnitManager.h"
#include "platform/ui.h"

class QBBaseAdUnitInteractionManager : public QBBaseAdUnitManager, public QBAdUnitInteractionManagerDelegate {
 public:
  // The application's show call: shows the first ready instance of the
  // current waterfall on `placementName` ("" for the default placement). The
  // outcome reaches the application through the listener wrapper.
  virtual void showAd(platform::ViewControllerRef viewController, const std::string& placementName);
  // READY_TO_SHOW, not unreachable while reachability is tracked, and a loaded
  // instance in the current waterfall.
  bool isAdReady() override;

  // ---- QBAdUnitInteractionManagerDelegate (instances, any thread) ----
  void onAdShowSuccess(const std::shared_ptr<QBBaseAdUnitSmash>& smash) override;
  void onAdShowFailed(const std::shared_ptr<QBBaseAdUnitSmash>& smash, const QBError& error) override;
  void onAdOpened(const std::shared_ptr<QBBaseAdUnitSmash>& smash) override;
  void onAdClosed(const std::shared_ptr<QBBaseAdUnitSmash>& smash) override;
  void onAdStarted(const std::shared_ptr<QBBaseAdUnitSmash>& smash) override;
  void onAdEnded(const std::shared_ptr<QBBaseAdUnitSmash>& smash) override;
  // "" unless READY_TO_SHOW; then the loaded instances' names, each followed
  // by ";". Takes no lock.
  std::string getOtherAvailableInstances() override;

 protected:
  using QBBaseAdUnitManager::QBBaseAdUnitManager;
};

class QBBaseAdUnitRewardManager : public QBBaseAdUnitInteractionManager, public QBAdUnitRewardedManagerDelegate {
 public:
  // ---- QBAdUnitRewardedManagerDelegate ----
  void onAdRewarded(const std::shared_ptr<QBBaseAdUnitSmash>& smash,
                    const std::shared_ptr<const QBPlacement>& placement) override;

 protected:
  using QBBaseAdUnitInteractionManager::QBBaseAdUnitInteractionManager;
};
