#include "adunits/QBProgBannerSmash.h"

#include <utility>

#include "adapters/QBAdData.h"
#include "adapters/QBBaseAdapter.h"
#include "core/QBAdapterConfig.h"
#include "foundation/QBLoggerManager.h"
#include "mediation/QBAuctionResponseItem.h"
#include "platform/runtime.h"
#include "quillborne/QBAdUnit.h"

namespace {
constexpr int kTagAdapterApi = 2;
constexpr int kTagAdapterDelegate = 3;
constexpr int kTagInternal = 6;
}  // namespace

const char* QBProgBannerSmashStateName(QBProgBannerSmashState state) {
  switch (state) {
    case QBProgBannerSmashState::BANNER_SMASH_NOT_LOADED: return "BANNER_SMASH_NOT_LOADED";
    case QBProgBannerSmashState::BANNER_SMASH_LOADING: return "BANNER_SMASH_LOADING";
    case QBProgBannerSmashState::BANNER_SMASH_LOADED: return "BANNER_SMASH_LOADED";
    case QBProgBannerSmashState::BANNER_SMASH_LOAD_FAILED: return "BANNER_SMASH_LOAD_FAILED";
    case QBProgBannerSmashState::BANNER_SMASH_DESTROYED: return "BANNER_SMASH_DESTROYED";
  }
  return "UNKNOWN";
}

QBProgBannerSmash::QBProgBannerSmash(std::shared_ptr<QBAdapterConfig> config, std::shared_ptr<QBBaseAdapter> adapter,
                                     std::shared_ptr<QBAuctionResponseItem> item,
                                     std::weak_ptr<QBProgBannerSmashListener> listener)
    : config_(std::move(config)),
      adapter_(std::move(adapter)),
      bannerAdapter_(dynamic_cast<QBBannerAdapterProtocol*>(adapter_.get())),
      item_(std::move(item)),
      listener_(std::move(listener)) {}

std::shared_ptr<QBProgBannerSmash> QBProgBannerSmash::create(std::shared_ptr<QBAdapterConfig> config,
                                                             std::shared_ptr<QBBaseAdapter> adapter,
                                                             std::shared_ptr<QBAuctionResponseItem> item,
                                                             std::weak_ptr<QBProgBannerSmashListener> listener) {
  return std::shared_ptr<QBProgBannerSmash>(
      new QBProgBannerSmash(std::move(config), std::move(adapter), std::move(item), std::move(listener)));
}

QBProgBannerSmash::~QBProgBannerSmash() {
  if (timeout_) timeout_->cancel();
}

const std::string& QBProgBannerSmash::instanceName() const { return config_->providerName(); }

bool QBProgBannerSmash::isBidder() const { return config_->isBidder(); }

QBProgBannerSmashState QBProgBannerSmash::state() const {
  std::lock_guard lock(mutex_);
  return state_;
}

void QBProgBannerSmash::log(const char* method, const std::string& message, int level) const {
  QBLoggerManager::sharedInstance().dynamicLog(method, "banner " + instanceName() + " - " + message, level,
                                               kTagInternal);
}

void QBProgBannerSmash::setStateLocked(QBProgBannerSmashState state) {
  const auto old = std::exchange(state_, state);
  // The log manager takes no lock of ours and calls no smash back.
  log(__func__, std::string("from ") + QBProgBannerSmashStateName(old) + " to " + QBProgBannerSmashStateName(state));
}

bool QBProgBannerSmash::finishLoadLocked(QBProgBannerSmashState to) {
  if (state_ != QBProgBannerSmashState::BANNER_SMASH_LOADING) return false;
  setStateLocked(to);
  if (timeout_) timeout_->cancel();
  timeout_.reset();
  return true;
}

// ---- load and destroy

void QBProgBannerSmash::loadBanner(const platform::ViewControllerRef& viewController, const QBBannerSize& size,
                                   const std::optional<std::string>& userId) {
  {
    std::lock_guard lock(mutex_);
    if (state_ != QBProgBannerSmashState::BANNER_SMASH_NOT_LOADED) {
      log(__func__, std::string("load refused in state ") + QBProgBannerSmashStateName(state_), 3);
      return;
    }
    setStateLocked(QBProgBannerSmashState::BANNER_SMASH_LOADING);
    loadStarted_ = true;
    std::weak_ptr<QBProgBannerSmash> weak = weak_from_this();
    timeout_ = platform::Timer::once(platform::mainQueue(), config_->loadTimeOutSec() * 1000.0, [weak] {
      if (auto self = weak.lock()) self->onTimeout();
    });
  }
  if (!bannerAdapter_) {
    failLoad(QBError::createError(510, {"loadBanner - " + instanceName() + " has no banner adapter"}));
    return;
  }
  auto adData = QBUtils::createAdDataForNetworkAdapterWithAdapterConfiguration(
      config_, QBAdUnit::QB_AD_UNIT_BANNER(), userId, &size);
  platform::Json adUnitData = adData->adUnitData();
  if (item_ && item_->adData().is_object()) {
    for (const auto& [key, value] : item_->adData().items()) adUnitData[key] = value;
  }
  const std::string serverData = item_ ? item_->serverData() : std::string();
  const auto sizeRecord = std::make_shared<QBBannerSize>(size);
  const std::weak_ptr<QBBannerAdapterDelegate> delegate = weak_from_this();
  QBLoggerManager::sharedInstance().dynamicLog(__func__, "banner " + instanceName() + " - loading " +
                                                             size.sizeDescription(), 0, kTagAdapterApi);
  // Adapter code: whatever it throws fails this load and nothing else.
  if (auto caught = platform::guard([&] {
        bannerAdapter_->initBannerForBiddingWithUserId(userId.value_or(""), config_, delegate);
        bannerAdapter_->loadBannerForBiddingWithAdapterConfig(config_, adUnitData, serverData, viewController,
                                                              sizeRecord, delegate);
      })) {
    failLoad(QBError::createError(510, {"loadBanner - exception = " + caught->description()}));
  }
}

void QBProgBannerSmash::destroyBanner() {
  bool tellAdapter = false;
  {
    std::lock_guard lock(mutex_);
    if (state_ == QBProgBannerSmashState::BANNER_SMASH_DESTROYED) return;
    setStateLocked(QBProgBannerSmashState::BANNER_SMASH_DESTROYED);
    if (timeout_) timeout_->cancel();
    timeout_.reset();
    tellAdapter = loadStarted_ && bannerAdapter_;
  }
  if (!tellAdapter) return;
  if (auto caught = platform::guard([&] { bannerAdapter_->destroyBannerWithAdapterConfig(config_); })) {
    log(__func__, "destroyBanner threw " + caught->description(), 3);
  }
}

void QBProgBannerSmash::onTimeout() {
  {
    std::lock_guard lock(mutex_);
    if (!finishLoadLocked(QBProgBannerSmashState::BANNER_SMASH_LOAD_FAILED)) return;
  }
  log(__func__, "load timed out", 3);
  if (auto listener = listener_.lock()) {
    listener->onBannerLoadFail(shared_from_this(), QBError::createError(510, {kTimeOutMessage}));
  }
  // The network gives up its load too; a late answer finds the smash
  // destroyed.
  destroyBanner();
}

void QBProgBannerSmash::failLoad(const QBError& error) {
  {
    std::lock_guard lock(mutex_);
    if (!finishLoadLocked(QBProgBannerSmashState::BANNER_SMASH_LOAD_FAILED)) return;
  }
  log(__func__, error.message(), 3);
  if (auto listener = listener_.lock()) listener->onBannerLoadFail(shared_from_this(), error);
}

// ---- adapter callbacks

void QBProgBannerSmash::adapterBannerInitSuccess() {
  QBLoggerManager::sharedInstance().dynamicLog(__func__, "banner " + instanceName(), 0, kTagAdapterDelegate);
}

void QBProgBannerSmash::adapterBannerDidLoad(const platform::ViewRef& bannerView) {
  {
    std::lock_guard lock(mutex_);
    if (!finishLoadLocked(QBProgBannerSmashState::BANNER_SMASH_LOADED)) {
      log(__func__, std::string("load answer dropped in state ") + QBProgBannerSmashStateName(state_), 3);
      return;
    }
  }
  QBLoggerManager::sharedInstance().dynamicLog(__func__, "banner " + instanceName(), 1, kTagAdapterDelegate);
  if (auto listener = listener_.lock()) listener->onBannerLoadSuccess(shared_from_this(), bannerView);
}

void QBProgBannerSmash::adapterBannerDidFailToLoadWithError(const QBError& error) {
  bool dropped = false;
  {
    std::lock_guard lock(mutex_);
    dropped = state_ != QBProgBannerSmashState::BANNER_SMASH_LOADING;
  }
  if (dropped) {
    log(__func__, "load failure dropped: " + error.message(), 3);
    return;
  }
  failLoad(error);
}

template <class Call>
void QBProgBannerSmash::forwardWhileLoaded(const char* method, Call call) {
  {
    std::lock_guard lock(mutex_);
    if (state_ != QBProgBannerSmashState::BANNER_SMASH_LOADED) {
      log(method, std::string("dropped in state ") + QBProgBannerSmashStateName(state_), 3);
      return;
    }
  }
  QBLoggerManager::sharedInstance().dynamicLog(method, "banner " + instanceName(), 1, kTagAdapterDelegate);
  if (auto listener = listener_.lock()) call(*listener, shared_from_this());
}

void QBProgBannerSmash::adapterBannerDidClick() {
  forwardWhileLoaded(__func__, [](QBProgBannerSmashListener& l, const auto& self) { l.onBannerClick(self); });
}

void QBProgBannerSmash::adapterBannerWillLeaveApplication() {
  forwardWhileLoaded(__func__, [](QBProgBannerSmashListener& l, const auto& self) { l.onBannerLeaveApplication(self); });
}

void QBProgBannerSmash::adapterBannerWillPresentScreen() {
  forwardWhileLoaded(__func__, [](QBProgBannerSmashListener& l, const auto& self) { l.onBannerPresentScreen(self); });
}

void QBProgBannerSmash::adapterBannerDidDismissScreen() {
  forwardWhileLoaded(__func__, [](QBProgBannerSmashListener& l, const auto& self) { l.onBannerDismissScreen(self); });
}

void QBProgBannerSmash::adapterBannerDidShow() {
  // The banner's impression is counted when it is handed to the application;
  // the network's own notice is recorded only.
  QBLoggerManager::sharedInstance().dynamicLog(__func__, "banner " + instanceName(), 0, kTagAdapterDelegate);
}
