#include "ownnetwork/adapters/QBQuillborneCustomAdapters.h"

#include <type_traits>

#include "adapters/QBAdapterRepository.h"
#include "core/QBAdapterConfig.h"
#include "ownnetwork/adapters/QBOwnNetworkAdapterSupport.h"
#include "ownnetwork/adapters/QBQuillborneAdapter.h"
#include "ownnetwork/api/QuillborneNetwork.h"

using platform::Json;

namespace {

constexpr int kNoAdapterCode = 1000;
constexpr const char* kNoAdapterMessage = "own network adapter not available";

// The own network's load errors keep their code; "No fill" counts as no fill.
int errorTypeOf(const QBError& error) {
  return error.message().find("No fill") != std::string::npos ? QBAdapterErrorTypeNoFill : QBAdapterErrorTypeOther;
}

// Tells the load's delegate that the own network cannot be reached.
void failLoad(const std::weak_ptr<QBAdapterAdDelegate>& delegate) {
  if (auto d = delegate.lock()) d->adDidFailToLoadWithErrorType(QBAdapterErrorTypeOther, kNoAdapterCode, kNoAdapterMessage);
}

void failShow(const std::weak_ptr<QBAdapterAdInteractionDelegate>& delegate) {
  if (auto d = delegate.lock()) d->adDidFailToShowWithErrorCode(kNoAdapterCode, kNoAdapterMessage);
}

}  // namespace

void QBQuillborneBridgeDelegates::setLoad(std::weak_ptr<QBAdapterAdDelegate> delegate) {
  std::lock_guard<std::mutex> lock(mutex_);
  load_ = std::move(delegate);
}

void QBQuillborneBridgeDelegates::setShow(std::weak_ptr<QBAdapterAdInteractionDelegate> delegate) {
  std::lock_guard<std::mutex> lock(mutex_);
  show_ = std::move(delegate);
}

std::shared_ptr<QBAdapterAdDelegate> QBQuillborneBridgeDelegates::load() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return load_.lock();
}

template <class Delegate>
std::shared_ptr<Delegate> QBQuillborneBridgeDelegates::current() const {
  std::shared_ptr<QBAdapterAdInteractionDelegate> shown;
  std::shared_ptr<QBAdapterAdDelegate> loaded;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    shown = show_.lock();
    loaded = load_.lock();
  }
  if constexpr (std::is_same_v<Delegate, QBAdapterAdInteractionDelegate>) {
    if (shown) return shown;
  } else {
    if (auto d = std::dynamic_pointer_cast<Delegate>(shown)) return d;
  }
  return std::dynamic_pointer_cast<Delegate>(loaded);
}

std::shared_ptr<QBQuillborneAdapter> quillborneClassicAdapterFor(const std::shared_ptr<QBAdapterConfig>& config) {
  if (!config) return nullptr;
  return std::dynamic_pointer_cast<QBQuillborneAdapter>(QBAdapterRepository::sharedRepository().getAdapter(config));
}

// ------------------------------------------------------------------ network adapter

void QBQuillborneCustomAdapter::init(const std::shared_ptr<QBAdData>& adData,
                                     std::weak_ptr<QBNetworkInitializationDelegate> delegate) {
  auto classic = quillborneClassicAdapterFor(adData ? adData->adapterConfig() : nullptr);
  auto d = delegate.lock();
  if (!d) return;
  if (classic) {
    d->onInitDidSucceed();
  } else {
    d->onInitDidFailWithErrorCode(kNoAdapterCode, std::string(kNoAdapterMessage));
  }
}

std::string QBQuillborneCustomAdapter::networkSDKVersion() { return QuillborneNetwork::getVersion(); }

std::string QBQuillborneCustomAdapter::adapterVersion() { return qbown::kMediationSdkVersion; }

std::optional<Json> QBQuillborneCustomAdapter::getBiddingDataWithAdData(const std::shared_ptr<QBAdData>& adData) {
  auto classic = quillborneClassicAdapterFor(adData ? adData->adapterConfig() : nullptr);
  if (!classic) return std::nullopt;
  return classic->getToken();
}

// ------------------------------------------------------------------ rewarded video

void QBQuillborneCustomRewardedVideo::loadAdWithAdData(const std::shared_ptr<QBAdData>& adData,
                                                       std::weak_ptr<QBAdapterAdDelegate> delegate) {
  delegates_.setLoad(delegate);
  auto config = adapterConfig();
  auto classic = quillborneClassicAdapterFor(config);
  if (!classic) {
    return failLoad(delegate);
  }
  auto self = std::dynamic_pointer_cast<QBRewardedVideoAdapterDelegate>(shared_from_this());
  const Json adUnitData = adData ? adData->adUnitData() : Json::object();
  if (adData && !adData->serverData().empty()) {
    classic->loadRewardedVideoForBiddingWithAdapterConfig(config, adUnitData, adData->serverData(), self);
  } else {
    classic->loadRewardedVideoWithAdapterConfig(config, adUnitData, self);
  }
}

void QBQuillborneCustomRewardedVideo::showAdWithViewController(const QBViewController& viewController,
                                                               const std::shared_ptr<QBAdData>&,
                                                               std::weak_ptr<QBAdapterAdInteractionDelegate> delegate) {
  delegates_.setShow(delegate);
  auto config = adapterConfig();
  auto classic = quillborneClassicAdapterFor(config);
  if (!classic) {
    return failShow(delegate);
  }
  classic->showRewardedVideoWithViewController(viewController, config,
                                               std::dynamic_pointer_cast<QBRewardedVideoAdapterDelegate>(shared_from_this()));
}

bool QBQuillborneCustomRewardedVideo::isAdAvailableWithAdData(const std::shared_ptr<QBAdData>&) {
  auto classic = quillborneClassicAdapterFor(adapterConfig());
  return classic && classic->hasRewardedVideoWithAdapterConfig(adapterConfig());
}

void QBQuillborneCustomRewardedVideo::adapterRewardedVideoDidLoad() {
  if (auto d = delegates_.load()) d->adDidLoad();
}

void QBQuillborneCustomRewardedVideo::adapterRewardedVideoDidFailToLoadWithError(const QBError& error) {
  if (auto d = delegates_.load()) d->adDidFailToLoadWithErrorType(errorTypeOf(error), error.code(), error.message());
}

void QBQuillborneCustomRewardedVideo::adapterRewardedVideoDidOpen() {
  if (auto d = delegates_.current<QBAdapterAdInteractionDelegate>()) d->adDidOpen();
}
void QBQuillborneCustomRewardedVideo::adapterRewardedVideoDidClose() {
  if (auto d = delegates_.current<QBAdapterAdInteractionDelegate>()) d->adDidClose();
}
void QBQuillborneCustomRewardedVideo::adapterRewardedVideoDidFailToShowWithError(const QBError& error) {
  if (auto d = delegates_.current<QBAdapterAdInteractionDelegate>()) d->adDidFailToShowWithErrorCode(error.code(), error.message());
}
void QBQuillborneCustomRewardedVideo::adapterRewardedVideoDidClick() {
  if (auto d = delegates_.current<QBAdapterAdDelegate>()) d->adDidClick();
}
void QBQuillborneCustomRewardedVideo::adapterRewardedVideoDidReceiveReward() {
  if (auto d = delegates_.current<QBAdapterAdRewardedDelegate>()) d->adRewarded();
}
void QBQuillborneCustomRewardedVideo::adapterRewardedVideoDidBecomeVisible() {
  if (auto d = delegates_.current<QBAdapterAdInteractionDelegate>()) d->adDidBecomeVisible();
}

// ------------------------------------------------------------------ interstitial

void QBQuillborneCustomInterstitial::loadAdWithAdData(const std::shared_ptr<QBAdData>& adData,
                                                      std::weak_ptr<QBAdapterAdDelegate> delegate) {
  delegates_.setLoad(delegate);
  auto config = adapterConfig();
  auto classic = quillborneClassicAdapterFor(config);
  if (!classic) {
    return failLoad(delegate);
  }
  auto self = std::dynamic_pointer_cast<QBInterstitialAdapterDelegate>(shared_from_this());
  classic->initInterstitialWithUserId("", config, self);
  const Json adUnitData = adData ? adData->adUnitData() : Json::object();
  if (adData && !adData->serverData().empty()) {
    classic->loadInterstitialForBiddingWithAdapterConfig(config, adUnitData, adData->serverData(), self);
  } else {
    classic->loadInterstitialWithAdapterConfig(config, adUnitData, self);
  }
}

void QBQuillborneCustomInterstitial::showAdWithViewController(const QBViewController& viewController,
                                                              const std::shared_ptr<QBAdData>&,
                                                              std::weak_ptr<QBAdapterAdInteractionDelegate> delegate) {
  delegates_.setShow(delegate);
  auto config = adapterConfig();
  auto classic = quillborneClassicAdapterFor(config);
  if (!classic) {
    return failShow(delegate);
  }
  classic->showInterstitialWithViewController(viewController, config,
                                              std::dynamic_pointer_cast<QBInterstitialAdapterDelegate>(shared_from_this()));
}

bool QBQuillborneCustomInterstitial::isAdAvailableWithAdData(const std::shared_ptr<QBAdData>&) {
  auto classic = quillborneClassicAdapterFor(adapterConfig());
  return classic && classic->hasInterstitialWithAdapterConfig(adapterConfig());
}

void QBQuillborneCustomInterstitial::adapterInterstitialDidLoad() {
  if (auto d = delegates_.load()) d->adDidLoad();
}

void QBQuillborneCustomInterstitial::adapterInterstitialDidFailToLoadWithError(const QBError& error) {
  if (auto d = delegates_.load()) d->adDidFailToLoadWithErrorType(errorTypeOf(error), error.code(), error.message());
}

void QBQuillborneCustomInterstitial::adapterInterstitialDidOpen() {
  if (auto d = delegates_.current<QBAdapterAdInteractionDelegate>()) d->adDidOpen();
}
void QBQuillborneCustomInterstitial::adapterInterstitialDidClose() {
  if (auto d = delegates_.current<QBAdapterAdInteractionDelegate>()) d->adDidClose();
}
void QBQuillborneCustomInterstitial::adapterInterstitialDidShow() {
  if (auto d = delegates_.current<QBAdapterAdInteractionDelegate>()) d->adDidShowSucceed();
}
void QBQuillborneCustomInterstitial::adapterInterstitialDidFailToShowWithError(const QBError& error) {
  if (auto d = delegates_.current<QBAdapterAdInteractionDelegate>()) d->adDidFailToShowWithErrorCode(error.code(), error.message());
}
void QBQuillborneCustomInterstitial::adapterInterstitialDidClick() {
  if (auto d = delegates_.current<QBAdapterAdDelegate>()) d->adDidClick();
}
void QBQuillborneCustomInterstitial::adapterInterstitialDidBecomeVisible() {
  if (auto d = delegates_.current<QBAdapterAdInteractionDelegate>()) d->adDidBecomeVisible();
}
