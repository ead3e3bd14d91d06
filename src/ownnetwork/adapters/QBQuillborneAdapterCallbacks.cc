// The own network's instance callbacks, mapped onto the mediation's adapter
// delegates: rewarded instances first, then banners, every other instance is
// an interstitial. Load outcomes go to the delegate of the name's last load,
// show outcomes to the delegate of the ad its last show put on screen.
#include "ownnetwork/adapters/QBOwnNetworkAdapterSupport.h"
#include "ownnetwork/adapters/QBQuillborneAdapter.h"
#include "ownnetwork/api/QuillborneAdInstance.h"

using platform::Json;
using qbown::logDelegate;
using qbown::toQBError;

namespace {
template <class Map>
auto lockedLookup(std::mutex& mutex, const Map& map, const std::string& name) -> decltype(map.begin()->second.lock()) {
  std::lock_guard<std::mutex> lock(mutex);
  auto found = map.find(name);
  return found == map.end() ? nullptr : found->second.lock();
}
// The delegate kept for the name's shown ad; the load's until a show went
// out. A shown ad whose delegate has gone reaches nobody, not the load's.
template <class Map>
auto shownOrLoadedLookup(std::mutex& mutex, const Map& shown, const Map& loaded, const std::string& name)
    -> decltype(shown.begin()->second.lock()) {
  std::lock_guard<std::mutex> lock(mutex);
  auto found = shown.find(name);
  if (found != shown.end()) return found->second.lock();
  found = loaded.find(name);
  return found == loaded.end() ? nullptr : found->second.lock();
}
}  // namespace

std::shared_ptr<QBRewardedVideoAdapterDelegate> QBQuillborneAdapter::rvDelegate(const std::string& name) const {
  return lockedLookup(mutex_, demandSourceIdToRvDelegate_, name);
}
std::shared_ptr<QBInterstitialAdapterDelegate> QBQuillborneAdapter::isDelegate(const std::string& name) const {
  return lockedLookup(mutex_, demandSourceIdToIsDelegate_, name);
}
std::shared_ptr<QBBannerAdapterDelegate> QBQuillborneAdapter::bnDelegate(const std::string& name) const {
  return lockedLookup(mutex_, demandSourceIdToBnDelegate_, name);
}
std::shared_ptr<QBRewardedVideoAdapterDelegate> QBQuillborneAdapter::rvShowDelegate(const std::string& name) const {
  return shownOrLoadedLookup(mutex_, demandSourceIdToRvShowDelegate_, demandSourceIdToRvDelegate_, name);
}
std::shared_ptr<QBInterstitialAdapterDelegate> QBQuillborneAdapter::isShowDelegate(const std::string& name) const {
  return shownOrLoadedLookup(mutex_, demandSourceIdToIsShowDelegate_, demandSourceIdToIsDelegate_, name);
}

void QBQuillborneAdapter::adInstanceLoaded(const QBNAdInstanceRef& ad, const Json&) {
  logDelegate(__func__, "demandSourceName = " + ad->name());
  if (ad->isRewarded()) {
    auto d = rvDelegate(ad->name());
    if (!d) return;
    d->adapterRewardedVideoDidLoad();
    bool demandOnly;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      demandOnly = isRVDemandOnly_;
    }
    if (!demandOnly) d->adapterRewardedVideoHasChangedAvailability(true);
  } else if (auto d = isDelegate(ad->name())) {
    d->adapterInterstitialDidLoad();
  }
}

void QBQuillborneAdapter::adInstanceFailedToLoad(const QBNAdInstanceRef& ad, const platform::Error& error, const Json&) {
  logDelegate(__func__, "demandSourceName = " + ad->name() + " - error = " + error.message);
  if (ad->isRewarded()) {
    auto d = rvDelegate(ad->name());
    if (!d) return;
    d->adapterRewardedVideoDidFailToLoadWithError(toQBError(error));
    bool demandOnly;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      demandOnly = isRVDemandOnly_;
    }
    if (!demandOnly) d->adapterRewardedVideoHasChangedAvailability(false);
  } else if (ad->isBanner()) {
    if (auto d = bnDelegate(ad->name())) d->adapterBannerDidFailToLoadWithError(toQBError(error));
  } else if (auto d = isDelegate(ad->name())) {
    d->adapterInterstitialDidFailToLoadWithError(toQBError(error));
  }
}

void QBQuillborneAdapter::adInstanceOpened(const QBNAdInstanceRef& ad, const Json&) {
  logDelegate(__func__, "demandSourceName = " + ad->name());
  if (ad->isRewarded()) {
    if (auto d = rvShowDelegate(ad->name())) d->adapterRewardedVideoDidOpen();
  } else if (auto d = isShowDelegate(ad->name())) {
    d->adapterInterstitialDidOpen();
  }
}

void QBQuillborneAdapter::adInstanceClosed(const QBNAdInstanceRef& ad, const Json&) {
  logDelegate(__func__, "demandSourceName = " + ad->name());
  if (ad->isRewarded()) {
    if (auto d = rvShowDelegate(ad->name())) d->adapterRewardedVideoDidClose();
  } else if (auto d = isShowDelegate(ad->name())) {
    d->adapterInterstitialDidClose();
  }
}

void QBQuillborneAdapter::adInstanceShowSuccess(const QBNAdInstanceRef& ad, const Json&) {
  logDelegate(__func__, "demandSourceName = " + ad->name());
  // The rewarded-video delegate has no show success, demand-only or not; an
  // interstitial of the same name must not hear a rewarded show.
  if (ad->isRewarded()) return;
  if (auto d = isShowDelegate(ad->name())) d->adapterInterstitialDidShow();
}

void QBQuillborneAdapter::adInstanceFailedToShow(const QBNAdInstanceRef& ad, const platform::Error& error, const Json&) {
  logDelegate(__func__, "demandSourceName = " + ad->name() + " - error = " + error.message);
  if (ad->isRewarded()) {
    if (auto d = rvShowDelegate(ad->name())) d->adapterRewardedVideoDidFailToShowWithError(toQBError(error));
  } else if (auto d = isShowDelegate(ad->name())) {
    d->adapterInterstitialDidFailToShowWithError(toQBError(error));
  }
}

void QBQuillborneAdapter::adInstanceClicked(const QBNAdInstanceRef& ad, const Json&) {
  logDelegate(__func__, "demandSourceName = " + ad->name());
  if (ad->isRewarded()) {
    if (auto d = rvShowDelegate(ad->name())) d->adapterRewardedVideoDidClick();
  } else if (ad->isBanner()) {
    if (auto d = bnDelegate(ad->name())) d->adapterBannerDidClick();
  } else if (auto d = isShowDelegate(ad->name())) {
    d->adapterInterstitialDidClick();
  }
}

void QBQuillborneAdapter::adInstanceRewarded(const QBNAdInstanceRef& ad, const Json&, const Json&) {
  logDelegate(__func__, "demandSourceName = " + ad->name());
  if (!ad->isRewarded()) return;
  if (auto d = rvShowDelegate(ad->name())) d->adapterRewardedVideoDidReceiveReward();
}

void QBQuillborneAdapter::adInstanceLeaveApplication(const QBNAdInstanceRef& ad, const Json&) {
  if (ad->isRewarded() || !ad->isBanner()) return;
  if (auto d = bnDelegate(ad->name())) d->adapterBannerWillLeaveApplication();
}

void QBQuillborneAdapter::adInstanceReceivedNotificationWithInstance(const QBNAdInstanceRef& ad,
                                                                     const std::string& eventName, const Json&,
                                                                     const Json&) {
  logDelegate(__func__, "demandSourceName = " + ad->name());
  if (eventName != "impressions") return;
  if (ad->isRewarded()) {
    if (auto d = rvShowDelegate(ad->name())) d->adapterRewardedVideoDidBecomeVisible();
  } else if (ad->isBanner()) {
    if (auto d = bnDelegate(ad->name())) d->adapterBannerDidShow();
  } else if (auto d = isShowDelegate(ad->name())) {
    d->adapterInterstitialDidBecomeVisible();
  }
}

void QBQuillborneAdapter::adInstanceLoadedWithAdContainer(const QBNAdInstanceRef& ad, const Json&,
                                                          const std::shared_ptr<platform::View>& adContainer) {
  logDelegate(__func__, "demandSourceName = " + ad->name());
  {
    std::lock_guard<std::mutex> lock(mutex_);
    demandSourceIdToBnAd_[ad->name()].push_back(ad);
  }
  if (auto d = bnDelegate(ad->name())) d->adapterBannerDidLoad(adContainer);
}
