#pragma once
// The listener wrappers of the object-per-waterfall managers: one ad-unit
// neutral vocabulary that each manager speaks, forwarded by the concrete
// wrapper to the process-wide carrier of its ad unit
// (QBRewardedVideoDelegateWrapper, QBInterstitialDelegateWrapper), which
// delivers to the application on the main queue.
//
// The base class implements every operation by logging "Unsupported method"
// (level 2, tag INTERNAL) with the operation's name; the concrete wrappers
// override what their ad unit supports. No state, no lock, no thread change:
// every call returns at once on the caller's thread. Load failures do not pass
// through here (the manager uses QBDelegateThrottler).
#include <memory>

#include "quillborne/QBAdInfo.h"
#include "quillborne/QBError.h"
#include "quillborne/QBPlacementInfo.h"

class QBAdUnitDelegateWrapper {
 public:
  using AdInfo = std::shared_ptr<const QBAdInfo>;

  virtual ~QBAdUnitDelegateWrapper() = default;

  virtual void adDidLoadWithAdInfo(AdInfo adInfo);
  virtual void adHasChangedAvailability(bool available, AdInfo adInfo);
  virtual void adDidShowWithAdInfo(AdInfo adInfo);
  virtual void adDidFailToShowWithError(const QBError& error, AdInfo adInfo);
  virtual void adDidOpenWithAdInfo(AdInfo adInfo);
  virtual void adDidCloseWithAdInfo(AdInfo adInfo);
  virtual void adDidClick(const QBPlacementInfo& placementInfo, AdInfo adInfo);
  virtual void adDidReceiveReward(const QBPlacementInfo& placementInfo, AdInfo adInfo);
  virtual void adDidStart();
  virtual void adDidEnd();
};

// Rewarded video: everything but the show success.
class QBRewardedVideoAdDelegateWrapper : public QBAdUnitDelegateWrapper {
 public:
  void adDidLoadWithAdInfo(AdInfo adInfo) override;
  void adHasChangedAvailability(bool available, AdInfo adInfo) override;
  void adDidFailToShowWithError(const QBError& error, AdInfo adInfo) override;
  void adDidOpenWithAdInfo(AdInfo adInfo) override;
  void adDidCloseWithAdInfo(AdInfo adInfo) override;
  void adDidClick(const QBPlacementInfo& placementInfo, AdInfo adInfo) override;
  void adDidReceiveReward(const QBPlacementInfo& placementInfo, AdInfo adInfo) override;
  void adDidStart() override;
  void adDidEnd() override;
};

// Interstitial: load, show success and failure, open, close and click (the
// click's placement is dropped); no availability, reward, start or end.
class QBInterstitialAdDelegateWrapper : public QBAdUnitDelegateWrapper {
 public:
  void adDidLoadWithAdInfo(AdInfo adInfo) override;
  void adDidShowWithAdInfo(AdInfo adInfo) override;
  void adDidFailToShowWithError(const QBError& error, AdInfo adInfo) override;
  void adDidOpenWithAdInfo(AdInfo adInfo) override;
  void adDidCloseWithAdInfo(AdInfo adInfo) override;
  void adDidClick(const QBPlacementInfo& placementInfo, AdInfo adInfo) override;
};
