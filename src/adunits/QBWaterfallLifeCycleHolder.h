#pragma once
// The waterfalls of one object-per-waterfall manager: the waterfall
// instances of each waterfall by waterfall id, which waterfall is current and
// which was current before, the ad info of each waterfall, and the instance
// whose ad opened last.
//
// Outside AUTOMATIC_LOAD_WHILE_SHOW only the current waterfall is kept. In
// that mode a new waterfall may load while an ad of an older one is on
// screen: the holder keeps the showing waterfall, drops the other old one
// after timeToDeleteOldWaterfallAfterAuction (whole seconds, on the default
// global queue), and keeps the showing network out of the next auction when it
// cannot load while it shows.
//
// The instance on screen is the one whose show the manager started
// (setShowingSmash) until its close or show failure, else the last active
// instance while it shows. It is never released by an installation, its
// waterfall is the one kept while it shows, and its ad info outlives its
// waterfall; the ad infos of every other dropped waterfall go with it.
//
// Thread-safe: every read and write of the holder's fields happens under its
// lock; waterfall instances are released and the delegate is told outside it.
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "adunits/QBAdUnitLoadingModeManager.h"

class QBAdInfo;
class QBBaseAdUnitSmash;
class QBImpressionData;

// Implemented by the manager: the holder stores too many waterfalls.
class WaterfallLifeCycleHolderEventDelegate {
 public:
  virtual ~WaterfallLifeCycleHolderEventDelegate() = default;
  // Called on the thread that installed the waterfall.
  virtual void maxWaterfallsReachedWithNumberOfWaterFalls(uint64_t numberOfWaterfalls) = 0;
};

class QBWaterfallLifeCycleHolder : public std::enable_shared_from_this<QBWaterfallLifeCycleHolder> {
 public:
  using Smash = std::shared_ptr<QBBaseAdUnitSmash>;
  using Waterfall = std::vector<Smash>;

  // From this many stored waterfalls on, every installation tells the
  // delegate.
  static constexpr size_t kMaxWaterfallsWarning = 6;

  // disableLoadWhileShowSupportNetworks: network (reflection) names that must
  // not load while one of their ads shows. timeToDeleteOldWaterfallAfterAuction
  // in milliseconds. The delegate is held weakly.
  static std::shared_ptr<QBWaterfallLifeCycleHolder> initWithDisableLoadWhileShowSupportNetworks(
      std::vector<std::string> disableLoadWhileShowSupportNetworks, int64_t timeToDeleteOldWaterfallAfterAuction,
      std::weak_ptr<WaterfallLifeCycleHolderEventDelegate> delegate);

  // Installs `smashes` (in waterfall order) as the current waterfall under
  // `currentWaterfallId`. The outgoing current waterfall's instances release
  // their adapters, except the last active one and the one on screen. Outside
  // AUTOMATIC_LOAD_WHILE_SHOW every other waterfall is dropped at once. In
  // that mode the old ones stay and the previous one (or, while the previous
  // one's ad is on screen, the outgoing current one) is dropped after the
  // delay. Ad infos are kept only for stored waterfalls and for the waterfalls
  // of the last active instance and of the one on screen. Tells the delegate
  // when kMaxWaterfallsWarning or more are stored afterwards.
  void updateWaterFallWithLoadingMode(QBAdUnitLoadingMode loadingMode, Waterfall smashes,
                                      const std::string& currentWaterfallId);
  // The current waterfall's instances; empty when there is none.
  Waterfall getCurrentWaterfall() const;
  // Remembers the instance whose ad opened; a different earlier one releases
  // its adapter unless its ad is still on screen.
  void setLastActiveSmash(Smash smash);
  Smash lastActiveSmash() const;
  // The manager started showing `smash`: it stays on screen (see above) until
  // clearShowingSmash with the same instance.
  void setShowingSmash(Smash smash);
  void clearShowingSmash(const Smash& smash);
  // The instance on screen, or null.
  Smash showingSmash() const;
  // Whether the instance may join the next auction request. Always true unless
  // the mode is AUTOMATIC_LOAD_WHILE_SHOW and an instance is on screen; then
  // by the network adapter's load-while-show support state:
  // 2 keeps out the showing instance itself, 0 keeps out the showing network,
  // any other state keeps out the showing network when it is listed in
  // disableLoadWhileShowSupportNetworks.
  bool shouldAddSmashToWaterfallRequestWithLoadingMode(QBAdUnitLoadingMode loadingMode,
                                                       const std::string& instanceName,
                                                       const std::string& nameForReflection,
                                                       int loadWhileShowSupportState);
  // Whether the instance on screen belongs to the previous waterfall.
  bool isPreviousWaterfallShowing() const;
  // Releases the adapters of the current waterfall's instances, except the
  // last active one and the one on screen.
  void clearCurrentWaterfallData();
  // Stores the ad info of `impressionData` under `waterfallId`, replacing an
  // earlier one; nothing when the id is empty or the data is null.
  void setAdInfoWithWaterfallId(const std::string& waterfallId, const std::shared_ptr<QBImpressionData>& impressionData);
  // The stored ad info, or null.
  std::shared_ptr<const QBAdInfo> getAdInfoWithWaterfallId(const std::string& waterfallId) const;

  // Accessors (each a snapshot taken under the lock).
  std::string currentWaterfallId() const;
  void setCurrentWaterfallId(std::string waterfallId);
  std::string previousWaterfallId() const;
  void setPreviousWaterfallId(std::string waterfallId);
  std::weak_ptr<WaterfallLifeCycleHolderEventDelegate> delegate() const;
  void setDelegate(std::weak_ptr<WaterfallLifeCycleHolderEventDelegate> delegate);
  std::map<std::string, Waterfall> waterfalls() const;
  std::map<std::string, std::shared_ptr<const QBAdInfo>> adInfoMap() const;
  std::vector<std::string> disableLoadWhileShowSupportNetworks() const;
  void setDisableLoadWhileShowSupportNetworks(std::vector<std::string> networks);
  int64_t timeToDeleteOldWaterfallAfterAuction() const;
  void setTimeToDeleteOldWaterfallAfterAuction(int64_t milliseconds);
  std::recursive_mutex& stateLock() const { return stateLock_; }

 private:
  QBWaterfallLifeCycleHolder(std::vector<std::string> disableLoadWhileShowSupportNetworks,
                             int64_t timeToDeleteOldWaterfallAfterAuction,
                             std::weak_ptr<WaterfallLifeCycleHolderEventDelegate> delegate);
  // With the lock held: the current waterfall's instances to release.
  Waterfall smashesToReleaseLocked() const;
  Smash onScreenLocked() const;
  // Forgets the ad infos of waterfalls no longer stored, except those of the
  // last active instance and of the one on screen.
  void pruneAdInfosLocked();
  void scheduleDropLocked(const std::string& waterfallId);
  void dropWaterfall(const std::string& waterfallId);

  mutable std::recursive_mutex stateLock_;
  std::string currentWaterfallId_;
  std::weak_ptr<WaterfallLifeCycleHolderEventDelegate> delegate_;
  Smash lastActiveSmash_;
  Smash showingSmash_;
  std::map<std::string, Waterfall> waterfalls_;
  std::map<std::string, std::shared_ptr<const QBAdInfo>> adInfoMap_;
  std::string previousWaterfallId_;
  std::vector<std::string> disableLoadWhileShowSupportNetworks_;
  int64_t timeToDeleteOldWaterfallAfterAuction_;
};
