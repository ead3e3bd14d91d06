// The show half of the waterfall instance and its rewarded and concrete
// subclasses.
#include "adunits/QBBaseAdUnitInteractionSmash.h"

#include <stdexcept>
#include <utility>

#include "adapters/QBBaseAdAdapter.h"
#include "core/QBConfigurations.h"
#include "core/QBPlacement.h"
#include "core/QBUtilsTransId.h"
#include "events/QBAdUnitEventsWrapper.h"
#include "foundation/DurationMeasurement.h"
#include "foundation/QBAdUnitErrorsWrapper.h"
#include "foundation/QBLoggerManager.h"
#include "foundation/QBUtils.h"
#include "platform/runtime.h"

namespace {

// The manager as another of its interfaces (`as` gives it, or null), sharing
// the manager's ownership.
template <class Delegate>
std::weak_ptr<Delegate> managerAs(const std::weak_ptr<QBAdUnitManagerDelegate>& manager,
                                  Delegate* (QBAdUnitManagerDelegate::*as)()) {
  auto locked = manager.lock();
  Delegate* other = locked ? ((*locked).*as)() : nullptr;
  if (!other) return {};
  return std::shared_ptr<Delegate>(std::move(locked), other);
}

std::shared_ptr<QBBaseAdInteractionAdapter> interactionAdapterOf(std::shared_ptr<QBBaseAdAdapter> adapter) {
  QBBaseAdInteractionAdapter* interaction = adapter ? adapter->asInteractionAdapter() : nullptr;
  if (!interaction) return nullptr;
  return std::shared_ptr<QBBaseAdInteractionAdapter>(std::move(adapter), interaction);
}

}  // namespace

// ---- interaction smash ----

QBBaseAdUnitInteractionSmash::QBBaseAdUnitInteractionSmash(std::shared_ptr<const QBAdSmashData> data,
                                                           std::shared_ptr<QBBaseAdAdapter> adapter,
                                                           std::shared_ptr<QBAdapterConfig> adapterConfig,
                                                           std::weak_ptr<QBAdUnitManagerDelegate> managerDelegate)
    : QBBaseAdUnitSmash(std::move(data), adapter, std::move(adapterConfig), managerDelegate),
      interactionDelegate_(managerAs(managerDelegate, &QBAdUnitManagerDelegate::interactionManagerDelegate)),
      interactionAdapter_(interactionAdapterOf(std::move(adapter))) {}

std::shared_ptr<QBBaseAdInteractionAdapter> QBBaseAdUnitInteractionSmash::interactionAdapter() const {
  std::lock_guard lock(adapterMutex_);
  return interactionAdapter_;
}

bool QBBaseAdUnitInteractionSmash::isReadyToShow() {
  auto adData = currentAdData();
  if (!adData || state() != QBSmashState::QB_SMASH_STATE_LOADED) return false;
  auto adapter = interactionAdapter();
  if (!adapter) return false;
  bool available = false;
  if (auto caught = platform::guard([&] { available = adapter->isAdAvailableWithAdData(adData); })) {
    const std::string message = "exception = " + caught->name + " " + caught->reason;
    logFailure(__func__, message);
    sendInternalError(message);
    return false;
  }
  return available;
}

void QBBaseAdUnitInteractionSmash::reportShowChanceWithStatus(bool status) {
  if (auto events = eventsWrapper()) events->adInteraction().showChanceWithStatus(status);
}

void QBBaseAdUnitInteractionSmash::showAdWithViewController(const platform::ViewControllerRef& viewController,
                                                            std::shared_ptr<const QBPlacement> placement) {
  logInternal(__func__, "placement name= " + (placement ? placement->name() : std::string()));
  auto self = std::static_pointer_cast<QBBaseAdUnitInteractionSmash>(shared_from_this());
  auto caught = platform::guard([&] {
    setCurrentPlacement(placement);
    setState(QBSmashState::QB_SMASH_STATE_SHOWING);
    if (auto events = eventsWrapper()) events->adInteraction().showWithPlacementName(getCurrentPlacementName());
    auto adapter = interactionAdapter();
    if (!adapter) throw std::runtime_error("no interaction adapter");
    adapter->showAdWithViewController(viewController, currentAdData(),
                                      std::weak_ptr<QBAdapterAdInteractionDelegate>(self));
  });
  if (!caught) return;
  const std::string message = "showAd - exception = " + caught->name + " " + caught->reason;
  logFailure(__func__, message);
  sendInternalError(message);
  // Through the adapter's own failure path while still SHOWING, so the manager
  // hears the failure and leaves SHOWING; an adapter that already reported a
  // failure before throwing keeps that one report.
  adDidFailToShowWithErrorCode(QBAdUnitErrorsWrapper::showFailed(smashData()->adUnit()), message);
}

void QBBaseAdUnitInteractionSmash::adDidShowSucceed() {
  logInternal(__func__);
  if (auto events = eventsWrapper()) events->adInteraction().showSuccessWithPlacementName(getCurrentPlacementName());
  if (auto manager = interactionDelegate_.lock()) manager->onAdShowSuccess(shared_from_this());
}

void QBBaseAdUnitInteractionSmash::adDidBecomeVisible() {
  logInternal(__func__);
  if (auto events = eventsWrapper()) events->adInteraction().adVisibleWithPlacementName(getCurrentPlacementName());
}

void QBBaseAdUnitInteractionSmash::adDidOpen() {
  logInternal(__func__);
  if (auto events = eventsWrapper()) events->adInteraction().adOpenedWithPlacementName(getCurrentPlacementName());
  if (auto manager = interactionDelegate_.lock()) manager->onAdOpened(shared_from_this());
}

void QBBaseAdUnitInteractionSmash::adDidStart() {
  logInternal(__func__);
  if (auto events = eventsWrapper()) events->adInteraction().adStartedWithPlacementName(getCurrentPlacementName());
  if (auto manager = interactionDelegate_.lock()) manager->onAdStarted(shared_from_this());
}

void QBBaseAdUnitInteractionSmash::adDidEnd() {
  logInternal(__func__);
  if (auto events = eventsWrapper()) events->adInteraction().adEndedWithPlacementName(getCurrentPlacementName());
  if (auto manager = interactionDelegate_.lock()) manager->onAdEnded(shared_from_this());
}

void QBBaseAdUnitInteractionSmash::adDidFailToShowWithErrorCode(int errorCode, const std::string& errorMessage) {
  logInternal(__func__, "error - " + std::to_string(errorCode) + ", " + errorMessage);
  {
    std::lock_guard lock(stateLock());
    if (state() != QBSmashState::QB_SMASH_STATE_SHOWING) {
      if (auto events = eventsWrapper()) {
        events->troubleshoot().unexpectedShowFailedWithReason("unexpected show failed for " + getInstanceSignature() +
                                                              ", error - " + std::to_string(errorCode) + ", " +
                                                              errorMessage);
      }
      return;
    }
    if (auto events = eventsWrapper()) {
      events->adInteraction().showFailedWithPlacementName(getCurrentPlacementName(), errorCode, errorMessage, "");
    }
    setState(QBSmashState::QB_SMASH_STATE_FAILED);
  }
  if (auto manager = interactionDelegate_.lock()) {
    manager->onAdShowFailed(shared_from_this(), QBError::createError(errorCode, errorMessage));
  }
}

std::string QBBaseAdUnitInteractionSmash::closeData() {
  if (!(smashData()->adUnit() == QBAdUnit::QB_AD_UNIT_REWARDED_VIDEO())) return "";
  auto manager = interactionDelegate_.lock();
  const std::string others = manager ? manager->getOtherAvailableInstances() : std::string();
  return std::string("otherInstanceAvailable = ") + (others.empty() ? "false" : "true|" + others);
}

void QBBaseAdUnitInteractionSmash::adDidClose() {
  logInternal(__func__);
  {
    std::lock_guard lock(stateLock());
    if (state() != QBSmashState::QB_SMASH_STATE_SHOWING) {
      if (auto events = eventsWrapper()) {
        events->troubleshoot().unexpectedClosedWithReason("unexpected closed for " + getInstanceSignature());
      }
      return;
    }
    setState(QBSmashState::QB_SMASH_STATE_NONE);
    const std::string data = closeData();
    if (auto events = eventsWrapper()) events->adInteraction().adClosedWithPlacementName(getCurrentPlacementName(), data);
  }
  if (auto manager = interactionDelegate_.lock()) manager->onAdClosed(shared_from_this());
}

void QBBaseAdUnitInteractionSmash::releaseMemory() {
  QBBaseAdUnitSmash::releaseMemory();
  std::shared_ptr<QBBaseAdInteractionAdapter> adapter;
  {
    std::lock_guard lock(adapterMutex_);
    adapter = std::move(interactionAdapter_);
  }
  if (!adapter) return;
  if (auto caught = platform::guard([&] { adapter->releaseMemory(); })) {
    QBLoggerManager::sharedInstance().dynamicLog(
        __func__, createLogMessage("releaseMemory - exception = " + caught->name + " " + caught->reason), 0, 6);
  }
}

// ---- reward smash ----

QBBaseAdUnitRewardSmash::QBBaseAdUnitRewardSmash(std::shared_ptr<const QBAdSmashData> data,
                                                 std::shared_ptr<QBBaseAdAdapter> adapter,
                                                 std::shared_ptr<QBAdapterConfig> adapterConfig,
                                                 std::weak_ptr<QBAdUnitManagerDelegate> managerDelegate)
    : QBBaseAdUnitInteractionSmash(std::move(data), std::move(adapter), std::move(adapterConfig), managerDelegate),
      rewardedDelegate_(managerAs(managerDelegate, &QBAdUnitManagerDelegate::rewardedManagerDelegate)) {}

std::shared_ptr<DurationMeasurement> QBBaseAdUnitRewardSmash::rewardDurationAfterClose() const {
  std::lock_guard lock(rewardMutex_);
  return rewardDurationAfterClose_;
}

void QBBaseAdUnitRewardSmash::setRewardDurationAfterClose(std::shared_ptr<DurationMeasurement> stopwatch) {
  std::lock_guard lock(rewardMutex_);
  rewardDurationAfterClose_ = std::move(stopwatch);
}

void QBBaseAdUnitRewardSmash::adDidOpen() {
  setRewardDurationAfterClose(nullptr);
  QBBaseAdUnitInteractionSmash::adDidOpen();
}

void QBBaseAdUnitRewardSmash::adDidClose() {
  setRewardDurationAfterClose(DurationMeasurement::create());
  QBBaseAdUnitInteractionSmash::adDidClose();
}

void QBBaseAdUnitRewardSmash::adRewarded() {
  logInternal(__func__);
  auto placement = currentPlacement();
  if (!placement) {
    sendInternalError("placement is null");
    return;
  }
  logInternal(__func__, "placement is " + placement->name());
  auto& configurations = QBConfigurations::getConfigurations();
  platform::Json serverParams = platform::Json::object();
  const platform::Json configured = configurations.rvServerParams();
  if (configured.is_object()) {
    for (auto it = configured.begin(); it != configured.end(); ++it) serverParams["custom_" + it.key()] = it.value();
  }
  const std::string timestamp = QBUtils::timeInMilliSeconds();
  const std::string transId = QBUtils::getTransIdWithTimestamp(timestamp, getInstanceName());
  const int64_t timeAfterClosed = measuredDuration(rewardDurationAfterClose());
  if (auto events = eventsWrapper()) {
    events->adInteraction().adRewardedWithPlacementName(placement->name(), placement->rewardName(),
                                                        placement->rewardAmount(), timestamp, transId,
                                                        timeAfterClosed, serverParams, configurations.dynamicUserId());
  }
  if (auto manager = rewardedDelegate_.lock()) manager->onAdRewarded(shared_from_this(), placement);
}

// ---- concrete smashes ----

std::shared_ptr<QBInterstitialAdSmash> QBInterstitialAdSmash::initWithData(
    std::shared_ptr<const QBAdSmashData> data, std::shared_ptr<QBBaseAdAdapter> adapter,
    std::shared_ptr<QBAdapterConfig> adapterConfig, std::weak_ptr<QBAdUnitManagerDelegate> managerDelegate) {
  std::shared_ptr<QBInterstitialAdSmash> smash(new QBInterstitialAdSmash(
      std::move(data), std::move(adapter), std::move(adapterConfig), std::move(managerDelegate)));
  smash->start();
  return smash;
}

std::shared_ptr<QBRewardedVideoAdSmash> QBRewardedVideoAdSmash::initWithData(
    std::shared_ptr<const QBAdSmashData> data, std::shared_ptr<QBBaseAdAdapter> adapter,
    std::shared_ptr<QBAdapterConfig> adapterConfig, std::weak_ptr<QBAdUnitManagerDelegate> managerDelegate) {
  std::shared_ptr<QBRewardedVideoAdSmash> smash(new QBRewardedVideoAdSmash(
      std::move(data), std::move(adapter), std::move(adapterConfig), std::move(managerDelegate)));
  smash->start();
  return smash;
}
