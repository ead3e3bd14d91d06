#include "adunits/QBWaterfallLifeCycleHolder.h"

#include <algorithm>
#include <utility>

#include "adunits/QBBaseAdUnitSmash.h"
#include "foundation/QBLoggerManager.h"
#include "platform/dispatch.h"
#include "quillborne/QBAdInfo.h"
#include "quillborne/QBImpressionData.h"

namespace {

constexpr int kInternalTag = 6;

void logInternal(const char* method, const std::string& message) {
  QBLoggerManager::sharedInstance().dynamicLog(method, message, 0, kInternalTag);
}

}  // namespace

QBWaterfallLifeCycleHolder::QBWaterfallLifeCycleHolder(std::vector<std::string> disableLoadWhileShowSupportNetworks,
                                                       int64_t timeToDeleteOldWaterfallAfterAuction,
                                                       std::weak_ptr<WaterfallLifeCycleHolderEventDelegate> delegate)
    : delegate_(std::move(delegate)),
      disableLoadWhileShowSupportNetworks_(std::move(disableLoadWhileShowSupportNetworks)),
      timeToDeleteOldWaterfallAfterAuction_(timeToDeleteOldWaterfallAfterAuction) {}

std::shared_ptr<QBWaterfallLifeCycleHolder> QBWaterfallLifeCycleHolder::initWithDisableLoadWhileShowSupportNetworks(
    std::vector<std::string> disableLoadWhileShowSupportNetworks, int64_t timeToDeleteOldWaterfallAfterAuction,
    std::weak_ptr<WaterfallLifeCycleHolderEventDelegate> delegate) {
  return std::shared_ptr<QBWaterfallLifeCycleHolder>(new QBWaterfallLifeCycleHolder(
      std::move(disableLoadWhileShowSupportNetworks), timeToDeleteOldWaterfallAfterAuction, std::move(delegate)));
}

// ---- installing a waterfall ----

QBWaterfallLifeCycleHolder::Waterfall QBWaterfallLifeCycleHolder::smashesToReleaseLocked() const {
  Waterfall release;
  auto it = waterfalls_.find(currentWaterfallId_);
  if (it == waterfalls_.end()) return release;
  for (const auto& smash : it->second) {
    // An instance whose show runs keeps its adapter: its open, reward and
    // close are still to come.
    if (!smash || smash == lastActiveSmash_ || smash == showingSmash_ || smash->isShowingAd()) continue;
    release.push_back(smash);
  }
  return release;
}

QBWaterfallLifeCycleHolder::Smash QBWaterfallLifeCycleHolder::onScreenLocked() const {
  if (showingSmash_) return showingSmash_;
  return lastActiveSmash_ && lastActiveSmash_->isShowingAd() ? lastActiveSmash_ : nullptr;
}

void QBWaterfallLifeCycleHolder::pruneAdInfosLocked() {
  const auto onScreen = onScreenLocked();
  std::erase_if(adInfoMap_, [&](const auto& entry) {
    const std::string& id = entry.first;
    if (waterfalls_.count(id)) return false;
    if (lastActiveSmash_ && lastActiveSmash_->getAuctionId() == id) return false;
    return !(onScreen && onScreen->getAuctionId() == id);
  });
}

void QBWaterfallLifeCycleHolder::clearCurrentWaterfallData() {
  Waterfall release;
  {
    std::lock_guard lock(stateLock_);
    release = smashesToReleaseLocked();
  }
  for (const auto& smash : release) smash->releaseMemory();
}

void QBWaterfallLifeCycleHolder::updateWaterFallWithLoadingMode(QBAdUnitLoadingMode loadingMode, Waterfall smashes,
                                                                const std::string& currentWaterfallId) {
  logInternal(__func__, "updating new waterfall with " + currentWaterfallId);
  clearCurrentWaterfallData();

  size_t stored = 0;
  std::weak_ptr<WaterfallLifeCycleHolderEventDelegate> delegate;
  {
    std::lock_guard lock(stateLock_);
    if (loadingMode != QBAdUnitLoadingMode::AUTOMATIC_LOAD_WHILE_SHOW) {
      waterfalls_.clear();
      waterfalls_[currentWaterfallId] = std::move(smashes);
    } else {
      waterfalls_[currentWaterfallId] = std::move(smashes);
      if (!previousWaterfallId_.empty()) {
        if (isPreviousWaterfallShowing()) {
          logInternal(__func__, "ad from previous waterfall " + previousWaterfallId_ +
                                    " is still showing - the current waterfall " + currentWaterfallId_ +
                                    " will be deleted instead");
          std::swap(previousWaterfallId_, currentWaterfallId_);
        }
        scheduleDropLocked(previousWaterfallId_);
      }
    }
    previousWaterfallId_ = currentWaterfallId_;
    currentWaterfallId_ = currentWaterfallId;
    pruneAdInfosLocked();
    stored = waterfalls_.size();
    delegate = delegate_;
  }
  if (stored >= kMaxWaterfallsWarning) {
    if (auto target = delegate.lock()) target->maxWaterfallsReachedWithNumberOfWaterFalls(stored);
  }
}

void QBWaterfallLifeCycleHolder::scheduleDropLocked(const std::string& waterfallId) {
  // The delay counts in whole seconds: 1,500 ms waits 1 s, 999 ms none.
  const int64_t seconds = timeToDeleteOldWaterfallAfterAuction_ > 0 ? timeToDeleteOldWaterfallAfterAuction_ / 1000 : 0;
  std::weak_ptr<QBWaterfallLifeCycleHolder> weak = weak_from_this();
  platform::globalQueue(platform::QueuePriority::Default)
      ->after(static_cast<double>(seconds) * 1000.0, [weak, waterfallId] {
        if (auto self = weak.lock()) self->dropWaterfall(waterfallId);
      });
}

void QBWaterfallLifeCycleHolder::dropWaterfall(const std::string& waterfallId) {
  Waterfall dropped;  // freed after the lock is left
  std::lock_guard lock(stateLock_);
  logInternal(__func__, "removing waterfall with id " + waterfallId + " from memory with timer");
  if (auto it = waterfalls_.find(waterfallId); it != waterfalls_.end()) {
    dropped = std::move(it->second);
    waterfalls_.erase(it);
  }
  logInternal(__func__, "waterfall size is currently " + std::to_string(waterfalls_.size()));
  logInternal(__func__, "removing adInfo with id " + waterfallId + " from memory with timer");
  pruneAdInfosLocked();
  logInternal(__func__, "adInfo size is currently " + std::to_string(adInfoMap_.size()));
}

QBWaterfallLifeCycleHolder::Waterfall QBWaterfallLifeCycleHolder::getCurrentWaterfall() const {
  std::lock_guard lock(stateLock_);
  auto it = waterfalls_.find(currentWaterfallId_);
  return it == waterfalls_.end() ? Waterfall() : it->second;
}

// ---- the last active instance ----

void QBWaterfallLifeCycleHolder::setLastActiveSmash(Smash smash) {
  Smash old;
  {
    std::lock_guard lock(stateLock_);
    if (smash == lastActiveSmash_) return;
    old = std::exchange(lastActiveSmash_, std::move(smash));
  }
  // An ad still on screen (a second show in AUTOMATIC_LOAD_WHILE_SHOW) keeps
  // its adapter until its close; the instance goes with its waterfall.
  if (old && !old->isShowingAd()) old->releaseMemory();
}

QBWaterfallLifeCycleHolder::Smash QBWaterfallLifeCycleHolder::lastActiveSmash() const {
  std::lock_guard lock(stateLock_);
  return lastActiveSmash_;
}

void QBWaterfallLifeCycleHolder::setShowingSmash(Smash smash) {
  std::lock_guard lock(stateLock_);
  showingSmash_ = std::move(smash);
}

void QBWaterfallLifeCycleHolder::clearShowingSmash(const Smash& smash) {
  std::lock_guard lock(stateLock_);
  if (smash && showingSmash_ == smash) showingSmash_.reset();
}

QBWaterfallLifeCycleHolder::Smash QBWaterfallLifeCycleHolder::showingSmash() const {
  std::lock_guard lock(stateLock_);
  return showingSmash_;
}

bool QBWaterfallLifeCycleHolder::isPreviousWaterfallShowing() const {
  std::lock_guard lock(stateLock_);
  const auto onScreen = onScreenLocked();
  return onScreen && onScreen->getAuctionId() == previousWaterfallId_;
}

bool QBWaterfallLifeCycleHolder::shouldAddSmashToWaterfallRequestWithLoadingMode(QBAdUnitLoadingMode loadingMode,
                                                                                 const std::string& instanceName,
                                                                                 const std::string& nameForReflection,
                                                                                 int loadWhileShowSupportState) {
  bool add = true;
  {
    std::lock_guard lock(stateLock_);
    const auto onScreen = onScreenLocked();
    if (loadingMode != QBAdUnitLoadingMode::AUTOMATIC_LOAD_WHILE_SHOW || !onScreen) return true;
    const bool sameNetwork = nameForReflection == onScreen->getNameForReflection();
    if (loadWhileShowSupportState == 2 && instanceName == onScreen->getInstanceName()) {
      add = false;
    } else if (loadWhileShowSupportState == 0) {
      add = !sameNetwork;
    } else {
      const auto& listed = disableLoadWhileShowSupportNetworks_;
      const bool isListed = std::find(listed.begin(), listed.end(), nameForReflection) != listed.end();
      add = !(isListed && sameNetwork);
    }
  }
  if (!add) logInternal(__func__, instanceName + " does not support load while show and will not be added to the auction request");
  return add;
}

// ---- ad infos ----

void QBWaterfallLifeCycleHolder::setAdInfoWithWaterfallId(const std::string& waterfallId,
                                                          const std::shared_ptr<QBImpressionData>& impressionData) {
  if (waterfallId.empty() || !impressionData) return;
  std::shared_ptr<const QBAdInfo> info = QBAdInfo::initWithImpressionData(impressionData);
  std::lock_guard lock(stateLock_);
  adInfoMap_[waterfallId] = std::move(info);
}

std::shared_ptr<const QBAdInfo> QBWaterfallLifeCycleHolder::getAdInfoWithWaterfallId(const std::string& waterfallId) const {
  std::lock_guard lock(stateLock_);
  auto it = adInfoMap_.find(waterfallId);
  return it == adInfoMap_.end() ? nullptr : it->second;
}

// ---- accessors ----

std::string QBWaterfallLifeCycleHolder::currentWaterfallId() const {
  std::lock_guard lock(stateLock_);
  return currentWaterfallId_;
}

void QBWaterfallLifeCycleHolder::setCurrentWaterfallId(std::string waterfallId) {
  std::lock_guard lock(stateLock_);
  currentWaterfallId_ = std::move(waterfallId);
}

std::string QBWaterfallLifeCycleHolder::previousWaterfallId() const {
  std::lock_guard lock(stateLock_);
  return previousWaterfallId_;
}

void QBWaterfallLifeCycleHolder::setPreviousWaterfallId(std::string waterfallId) {
  std::lock_guard lock(stateLock_);
  previousWaterfallId_ = std::move(waterfallId);
}

std::weak_ptr<WaterfallLifeCycleHolderEventDelegate> QBWaterfallLifeCycleHolder::delegate() const {
  std::lock_guard lock(stateLock_);
  return delegate_;
}

void QBWaterfallLifeCycleHolder::setDelegate(std::weak_ptr<WaterfallLifeCycleHolderEventDelegate> delegate) {
  std::lock_guard lock(stateLock_);
  delegate_ = std::move(delegate);
}

std::map<std::string, QBWaterfallLifeCycleHolder::Waterfall> QBWaterfallLifeCycleHolder::waterfalls() const {
  std::lock_guard lock(stateLock_);
  return waterfalls_;
}

std::map<std::string, std::shared_ptr<const QBAdInfo>> QBWaterfallLifeCycleHolder::adInfoMap() const {
  std::lock_guard lock(stateLock_);
  return adInfoMap_;
}

std::vector<std::string> QBWaterfallLifeCycleHolder::disableLoadWhileShowSupportNetworks() const {
  std::lock_guard lock(stateLock_);
  return disableLoadWhileShowSupportNetworks_;
}

void QBWaterfallLifeCycleHolder::setDisableLoadWhileShowSupportNetworks(std::vector<std::string> networks) {
  std::lock_guard lock(stateLock_);
  disableLoadWhileShowSupportNetworks_ = std::move(networks);
}

int64_t QBWaterfallLifeCycleHolder::timeToDeleteOldWaterfallAfterAuction() const {
  std::lock_guard lock(stateLock_);
  return timeToDeleteOldWaterfallAfterAuction_;
}

void QBWaterfallLifeCycleHolder::setTimeToDeleteOldWaterfallAfterAuction(int64_t milliseconds) {
  std::lock_guard lock(stateLock_);
  timeToDeleteOldWaterfallAfterAuction_ = milliseconds;
}
