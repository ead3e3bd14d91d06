// The own network's instance callbacks, mapped onto the mediation's adapter
// delegates: rewarded instances first, then banners, every other instance is
// an interstitial. Load outcomes go to the delegate of the name's last load,
// and only when they answer that load (a late answer of a load given up on
// is dropped); show outcomes to the delegate of the ad its last show put on
// screen.
#include <algorithm>

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
void logDroppedAnswer(const char* method, const QBNAdInstanceRef& ad) {
  logDelegate(method, "demandSourceName = " + ad->name() + " - the answer of a load given up on, dropped");
}
// The delegate of the name's last load, when what the instance's listener
// hears answers that load; read under the lock under which the loads store
// the delegate and number the load.
template <class Map>
auto loadAnswerLookup(const char* method, std::mutex& mutex, const Map& map, const QBNAdInstanceRef& ad)
    -> decltype(map.begin()->second.lock()) {
  {
    std::lock_guard<std::mutex> lock(mutex);
    if (ad->answersLatestLoad()) {
      auto found = map.find(ad->name());
      return found == map.end() ? nullptr : found->second.lock();
    }
  }
  logDroppedAnswer(method, ad);
  return nullptr;
}
}  // namespace

std::shared_ptr<QBBannerAdapterDelegate> QBQuillborneAdapter::bnDelegate(const std::string& name) const {
  return lockedLookup(mutex_, demandSourceIdToBnDelegate_, name);
}

std::shared_ptr<QBRewardedVideoAdapterDelegate> QBQuillborneAdapter::rvLoadDelegate(const QBNAdInstanceRef& ad) const {
  return loadAnswerLookup(__func__, mutex_, demandSourceIdToRvDelegate_, ad);
}

std::shared_ptr<QBInterstitialAdapterDelegate> QBQuillborneAdapter::isLoadDelegate(const QBNAdInstanceRef& ad) const {
  return loadAnswerLookup(__func__, mutex_, demandSourceIdToIsDelegate_, ad);
}

std::shared_ptr<QBBannerAdapterDelegate> QBQuillborneAdapter::bnLoadDelegate(const QBNAdInstanceRef& ad, bool loaded) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<std::shared_ptr<QuillborneAdInstance>> noBanners;
    const std::string& name = ad->name();
    bool answers = ad->answersLatestLoad();
    auto loading = demandSourceIdToBnLoading_.find(name);
    auto& list = loading != demandSourceIdToBnLoading_.end() ? loading->second : noBanners;
    if (auto it = std::find(list.begin(), list.end(), ad); it != list.end()) {
      // A load under way: only the newest one of the name has a delegate
      // waiting for it.
      answers = answers && it + 1 == list.end();
      list.erase(it);
      if (list.empty() && loading != demandSourceIdToBnLoading_.end()) demandSourceIdToBnLoading_.erase(loading);
    } else if (std::any_of(withdrawnBanners_.begin(), withdrawnBanners_.end(),
                           [&](const auto& gone) { return gone.lock() == ad; })) {
      answers = false;  // destroyed while it loaded
      loaded = false;   // and withdrawn at the page already
    }
    // A loaded banner stays until its name is destroyed, even one whose
    // answer nobody hears: the destroy withdraws it at the page.
    if (loaded) demandSourceIdToBnAd_[name].push_back(ad);
    if (answers) {
      auto found = demandSourceIdToBnDelegate_.find(name);
      return found == demandSourceIdToBnDelegate_.end() ? nullptr : found->second.lock();
    }
  }
  logDroppedAnswer(__func__, ad);
  return nullptr;
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
    auto d = rvLoadDelegate(ad);
    if (!d) return;
    d->adapterRewardedVideoDidLoad();
    bool demandOnly;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      demandOnly = isRVDemandOnly_;
    }
    if (!demandOnly) d->adapterRewardedVideoHasChangedAvailability(true);
  } else if (auto d = isLoadDelegate(ad)) {
    d->adapterInterstitialDidLoad();
  }
}

void QBQuillborneAdapter::adInstanceFailedToLoad(const QBNAdInstanceRef& ad, const platform::Error& error, const Json&) {
  logDelegate(__func__, "demandSourceName = " + ad->name() + " - error = " + error.message);
  if (ad->isRewarded()) {
    auto d = rvLoadDelegate(ad);
    if (!d) return;
    d->adapterRewardedVideoDidFailToLoadWithError(toQBError(error));
    bool demandOnly;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      demandOnly = isRVDemandOnly_;
    }
    if (!demandOnly) d->adapterRewardedVideoHasChangedAvailability(false);
  } else if (ad->isBanner()) {
    if (auto d = bnLoadDelegate(ad, false)) d->adapterBannerDidFailToLoadWithError(toQBError(error));
  } else if (auto d = isLoadDelegate(ad)) {
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
  if (auto d = bnLoadDelegate(ad, true)) d->adapterBannerDidLoad(adContainer);
}
