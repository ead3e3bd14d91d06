#include "events/QBRewardedVideoDelegateWrapper.h"

#include "events/QBDelegateWrapperSupport.h"
#include "quillborne/TidewheelRewardedVideoDelegate.h"
#include "quillborne/TidewheelRewardedVideoManualDelegate.h"

using qbevents::adInfoOrEmpty;
using qbevents::logCallback;

namespace {

// Load results reach only delegates that adopt the manual protocols.
QBRewardedVideoManualDelegate* manual(QBRewardedVideoDelegate& delegate) {
  return dynamic_cast<QBRewardedVideoManualDelegate*>(&delegate);
}
TidewheelRewardedVideoManualDelegate* manual(TidewheelRewardedVideoBaseDelegate& delegate) {
  return dynamic_cast<TidewheelRewardedVideoManualDelegate*>(&delegate);
}

void tellAvailability(TidewheelRewardedVideoBaseDelegate& delegate, bool available, const QBAdInfo& info) {
  auto automatic = dynamic_cast<TidewheelRewardedVideoDelegate*>(&delegate);
  if (!automatic) return;
  if (available) {
    automatic->hasAvailableAdWithAdInfo(info);
  } else {
    automatic->hasNoAvailableAd();
  }
}

}  // namespace

std::shared_ptr<QBRewardedVideoDelegateWrapper> QBRewardedVideoDelegateWrapper::sharedInstance() {
  static const auto& instance = *new std::shared_ptr<QBRewardedVideoDelegateWrapper>(std::make_shared<QBRewardedVideoDelegateWrapper>());  // never destroyed
  return instance;
}

void QBRewardedVideoDelegateWrapper::rewardedVideoDidLoadWithAdInfo(std::shared_ptr<const QBAdInfo> adInfo) {
  QBAdInfo info = adInfoOrEmpty(adInfo);
  logCallback(__func__, [&] { return info.description(); });
  recipients_.deliver(
      [](QBRewardedVideoDelegate& d) {
        if (auto m = manual(d)) m->rewardedVideoDidLoad();
      },
      [info](TidewheelRewardedVideoBaseDelegate& d) {
        if (auto m = manual(d)) m->didLoadWithAdInfo(info);
      });
}

void QBRewardedVideoDelegateWrapper::rewardedVideoDidFailToLoadWithError(const QBError& error) {
  logCallback(__func__, [&] { return error.description(); });
  recipients_.deliver(
      [error](QBRewardedVideoDelegate& d) {
        if (auto m = manual(d)) m->rewardedVideoDidFailToLoadWithError(error);
      },
      [error](TidewheelRewardedVideoBaseDelegate& d) {
        if (auto m = manual(d)) m->didFailToLoadWithError(error);
      });
}

void QBRewardedVideoDelegateWrapper::rewardedVideoHasChangedAvailability(bool available,
                                                                         std::shared_ptr<const QBAdInfo> adInfo) {
  QBAdInfo info = adInfoOrEmpty(adInfo);
  logCallback(__func__, [&] { return std::string(available ? "true " : "false ") + info.description(); });
  recipients_.deliver([available](QBRewardedVideoDelegate& d) { d.rewardedVideoHasChangedAvailability(available); },
                      [available, info](TidewheelRewardedVideoBaseDelegate& d) {
                        tellAvailability(d, available, info);
                      });
}

void QBRewardedVideoDelegateWrapper::rewardedVideoDidOpenWithAdInfo(std::shared_ptr<const QBAdInfo> adInfo) {
  QBAdInfo info = adInfoOrEmpty(adInfo);
  logCallback(__func__, [&] { return info.description(); });
  recipients_.deliver([](QBRewardedVideoDelegate& d) { d.rewardedVideoDidOpen(); },
                      [info](TidewheelRewardedVideoBaseDelegate& d) { d.didOpenWithAdInfo(info); });
}

void QBRewardedVideoDelegateWrapper::rewardedVideoDidFailToShowWithError(const QBError& error,
                                                                         std::shared_ptr<const QBAdInfo> adInfo) {
  QBAdInfo info = adInfoOrEmpty(adInfo);
  logCallback(__func__, [&] { return error.description(); });
  recipients_.deliver([error](QBRewardedVideoDelegate& d) { d.rewardedVideoDidFailToShowWithError(error); },
                      [error, info](TidewheelRewardedVideoBaseDelegate& d) { d.didFailToShowWithError(error, info); });
}

void QBRewardedVideoDelegateWrapper::rewardedVideoDidStart() {
  logCallback(__func__);
  recipients_.deliverToClassic([](QBRewardedVideoDelegate& d) { d.rewardedVideoDidStart(); });
}

void QBRewardedVideoDelegateWrapper::rewardedVideoDidClickForPlacement(const QBPlacementInfo& placementInfo,
                                                                       std::shared_ptr<const QBAdInfo> adInfo) {
  QBAdInfo info = adInfoOrEmpty(adInfo);
  logCallback(__func__, [&] { return placementInfo.description(); });
  recipients_.deliver(
      [placementInfo](QBRewardedVideoDelegate& d) { d.didClickRewardedVideo(placementInfo); },
      [placementInfo, info](TidewheelRewardedVideoBaseDelegate& d) { d.didClick(placementInfo, info); });
}

void QBRewardedVideoDelegateWrapper::rewardedVideoDidEnd() {
  logCallback(__func__);
  recipients_.deliverToClassic([](QBRewardedVideoDelegate& d) { d.rewardedVideoDidEnd(); });
}

void QBRewardedVideoDelegateWrapper::didReceiveRewardForPlacement(const QBPlacementInfo& placementInfo,
                                                                  std::shared_ptr<const QBAdInfo> adInfo) {
  QBAdInfo info = adInfoOrEmpty(adInfo);
  logCallback(__func__, [&] { return placementInfo.description(); });
  recipients_.deliver(
      [placementInfo](QBRewardedVideoDelegate& d) { d.didReceiveRewardForPlacement(placementInfo); },
      [placementInfo, info](TidewheelRewardedVideoBaseDelegate& d) {
        d.didReceiveRewardForPlacement(placementInfo, info);
      });
}

void QBRewardedVideoDelegateWrapper::rewardedVideoDidCloseWithAdInfo(std::shared_ptr<const QBAdInfo> adInfo) {
  QBAdInfo info = adInfoOrEmpty(adInfo);
  logCallback(__func__, [&] { return info.description(); });
  recipients_.deliver([](QBRewardedVideoDelegate& d) { d.rewardedVideoDidClose(); },
                      [info](TidewheelRewardedVideoBaseDelegate& d) { d.didCloseWithAdInfo(info); });
}
