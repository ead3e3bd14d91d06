// The load half of the waterfall instance: construction, load, adapter
// callbacks, timeout timer and release. Queries and event data are in
// QBBaseAdUnitSmashInfo.cc.
#include "adunits/QBBaseAdUnitSmash.h"

#include <stdexcept>
#include <utility>

#include "adapters/QBBaseAdAdapter.h"
#include "adapters/QBBaseNetworkAdapter.h"
#include "core/QBAdapterConfig.h"
#include "events/QBAdUnitEventsWrapper.h"
#include "foundation/DurationMeasurement.h"
#include "foundation/QBAdUnitErrorsWrapper.h"
#include "foundation/QBLoggerManager.h"
#include "mediation/QBAuctionDataUtils.h"
#include "platform/clock.h"
#include "platform/runtime.h"

namespace {

constexpr int kInternalTag = 6;

std::string exceptionText(const platform::CaughtException& caught) { return caught.name + " " + caught.reason; }

std::string signatureOf(const QBBaseAdUnitSmash* smash, const std::shared_ptr<QBAdapterConfig>& config) {
  // The identity part mirrors a "%lu" followed by a literal "l".
  const auto identity = static_cast<unsigned long>(reinterpret_cast<uintptr_t>(smash));
  return (config ? config->providerName() : std::string()) + " " + std::to_string(identity) + "l";
}

}  // namespace

const char* QBSmashStateName(QBSmashState state) {
  switch (state) {
    case QBSmashState::QB_SMASH_STATE_NONE: return "QB_SMASH_STATE_NONE";
    case QBSmashState::QB_SMASH_STATE_INIT_IN_PROGRESS: return "QB_SMASH_STATE_INIT_IN_PROGRESS";
    case QBSmashState::QB_SMASH_STATE_READY_TO_LOAD: return "QB_SMASH_STATE_READY_TO_LOAD";
    case QBSmashState::QB_SMASH_STATE_LOADING: return "QB_SMASH_STATE_LOADING";
    case QBSmashState::QB_SMASH_STATE_LOADED: return "QB_SMASH_STATE_LOADED";
    case QBSmashState::QB_SMASH_STATE_SHOWING: return "QB_SMASH_STATE_SHOWING";
    case QBSmashState::QB_SMASH_STATE_FAILED: return "QB_SMASH_STATE_FAILED";
  }
  return "UNKNOWN";
}

// ---- construction ----

QBBaseAdUnitSmash::QBBaseAdUnitSmash(std::shared_ptr<const QBAdSmashData> data,
                                     std::shared_ptr<QBBaseAdAdapter> adapter,
                                     std::shared_ptr<QBAdapterConfig> adapterConfig,
                                     std::weak_ptr<QBAdUnitManagerDelegate> managerDelegate)
    : smashData_(std::move(data)),
      delegate_(std::move(managerDelegate)),
      adapterConfig_(std::move(adapterConfig)),
      signature_(signatureOf(this, adapterConfig_)),
      adapter_(std::move(adapter)) {}

QBBaseAdUnitSmash::~QBBaseAdUnitSmash() {
  std::shared_ptr<platform::Timer> timer;
  {
    std::lock_guard lock(dataMutex_);
    timer = std::move(timer_);
  }
  if (timer) timer->cancel();
}

std::shared_ptr<QBBaseAdUnitSmash> QBBaseAdUnitSmash::initWithData(
    std::shared_ptr<const QBAdSmashData> data, std::shared_ptr<QBBaseAdAdapter> adapter,
    std::shared_ptr<QBAdapterConfig> adapterConfig, std::weak_ptr<QBAdUnitManagerDelegate> managerDelegate) {
  std::shared_ptr<QBBaseAdUnitSmash> smash(
      new QBBaseAdUnitSmash(std::move(data), std::move(adapter), std::move(adapterConfig), std::move(managerDelegate)));
  smash->start();
  return smash;
}

void QBBaseAdUnitSmash::start() {
  auto events = QBAdUnitEventsWrapper::initWithAdunit(smashData_->adUnit(), QBAdUnitEventsTables::kLevelProvider,
                                                      std::weak_ptr<QBAdUnitEventsProtocol>(weak_from_this()));
  {
    std::lock_guard lock(dataMutex_);
    eventsWrapper_ = std::move(events);
  }
  std::lock_guard lock(stateLock_);
  // The state starts at NONE already; the setter logs nothing for it.
  setState(QBSmashState::QB_SMASH_STATE_NONE);
}

// ---- logging and small helpers ----

std::string QBBaseAdUnitSmash::createLogMessage(const std::string& message) const {
  std::string text = smashData_->adUnit().value() + " - " + signature_ + " - state = " + QBSmashStateName(state());
  if (!message.empty()) text += " - " + message;
  return text;
}

void QBBaseAdUnitSmash::logInternal(const char* method, const std::string& message) const {
  QBLoggerManager::sharedInstance().dynamicLog(method, createLogMessage(message), 0, kInternalTag);
}

void QBBaseAdUnitSmash::logFailure(const char* method, const std::string& message) const {
  QBLoggerManager::sharedInstance().dynamicLog(method, createLogMessage(message), 3, kInternalTag);
}

void QBBaseAdUnitSmash::setState(QBSmashState state) {
  std::lock_guard lock(stateLock_);
  const QBSmashState old = state_.load();
  if (old == state) return;
  QBLoggerManager::sharedInstance().dynamicLog(
      __func__, createLogMessage(std::string("from ") + QBSmashStateName(old) + " to " + QBSmashStateName(state)), 0,
      kInternalTag);
  state_.store(state);
}

std::shared_ptr<QBAdUnitEventsWrapper> QBBaseAdUnitSmash::eventsWrapper() const {
  std::lock_guard lock(dataMutex_);
  return eventsWrapper_;
}

std::shared_ptr<QBBaseAdAdapter> QBBaseAdUnitSmash::adapter() const {
  std::lock_guard lock(dataMutex_);
  return adapter_;
}

std::shared_ptr<QBBaseNetworkAdapter> QBBaseAdUnitSmash::networkAdapter() const {
  auto ad = adapter();
  return ad ? ad->getNetworkAdapter() : nullptr;
}

void QBBaseAdUnitSmash::sendInternalError(const std::string& reason) {
  if (auto events = eventsWrapper()) events->troubleshoot().internalErrorWithReason(reason);
}

int64_t QBBaseAdUnitSmash::elapsedSinceLoad() const {
  std::shared_ptr<DurationMeasurement> stopwatch;
  {
    std::lock_guard lock(dataMutex_);
    stopwatch = loadDuration_;
  }
  return measuredDuration(stopwatch);
}

void QBBaseAdUnitSmash::reportLoadFailed(const QBError& error, int64_t elapsedTime) {
  if (auto manager = delegate_.lock()) manager->onAdLoadFailed(shared_from_this(), error, elapsedTime);
}

// ---- load ----

void QBBaseAdUnitSmash::setDynamicDemandSourceIdByServerData(const std::string& serverData) {
  auto id = QBAuctionDataUtils::sharedInstance().getDynamicDemandSourceIdFromServerData(serverData);
  std::lock_guard lock(dataMutex_);
  dynamicDemandSourceId_ = id.value_or("");
}

bool QBBaseAdUnitSmash::loadAdWithServerData(const std::string& serverData, const platform::Json& adUnitData) {
  logInternal(__func__);
  {
    std::unique_lock lock(stateLock_);
    if (state() != QBSmashState::QB_SMASH_STATE_NONE) {
      // A refused call leaves the running load alone: no event of its own, no
      // new stopwatch or ad data, and no failure into the running load.
      lock.unlock();
      const std::string message = "loadAd - incorrect state while loading";
      logFailure(__func__, message);
      sendInternalError(message);
      return false;
    }
    setState(QBSmashState::QB_SMASH_STATE_INIT_IN_PROGRESS);
  }

  const int initFailedCode = QBAdUnitErrorsWrapper::initFailed(smashData_->adUnit());
  std::optional<std::string> failure;
  auto caught = platform::guard([&] {
    if (auto events = eventsWrapper()) events->load().loadAdWithPublisherLoad(false);

    platform::Json unitData = adUnitData.is_object() ? adUnitData : platform::Json::object();
    if (!smashData_->userId().empty()) unitData[QBDataKeys::USER_ID] = smashData_->userId();
    platform::Json settings = adapterConfig_ ? adapterConfig_->settings() : platform::Json::object();
    auto adData = QBAdData::initWithServerData(serverData, std::move(settings), std::move(unitData), adapterConfig_);
    {
      std::lock_guard lock(dataMutex_);
      adExpirationTimestamp_.reset();
      loadDuration_ = DurationMeasurement::create();
      currentAdData_ = adData;
    }

    startTimeoutTimer();
    auto network = networkAdapter();
    if (!network) {
      failure = "loadAd - network adapter not available " + signature_;
      logFailure(__func__, *failure);
      if (auto events = eventsWrapper()) events->troubleshoot().networkAdapterNotAvailableWithReason(*failure);
      return;
    }
    network->init(adData, std::weak_ptr<QBNetworkInitializationDelegate>(weak_from_this()));
  });
  if (caught) {
    failure = "loadAd - exception = " + exceptionText(*caught);
    logFailure(__func__, *failure);
    sendInternalError(*failure);
  }
  // The state is INIT_IN_PROGRESS unless the adapter already answered, so the
  // failure path tells the manager exactly once.
  if (failure) onInitDidFailWithErrorCode(initFailedCode, failure);
  return true;
}

void QBBaseAdUnitSmash::onInitDidSucceed() {
  logInternal(__func__);
  {
    std::lock_guard lock(stateLock_);
    switch (state()) {
      case QBSmashState::QB_SMASH_STATE_INIT_IN_PROGRESS:
        stopTimeoutTimer();
        setState(QBSmashState::QB_SMASH_STATE_READY_TO_LOAD);
        // Moving on to LOADING within the same hold of the lock keeps the
        // transient READY_TO_LOAD out of every other thread's sight.
        setState(QBSmashState::QB_SMASH_STATE_LOADING);
        startTimeoutTimer();
        break;
      case QBSmashState::QB_SMASH_STATE_FAILED:
        return;
      default:
        if (auto events = eventsWrapper()) {
          events->troubleshoot().unexpectedInitSuccessWithReason("unexpected init success for " + signature_);
        }
        return;
    }
  }
  loadAdInternal();
}

void QBBaseAdUnitSmash::onInitDidFailWithErrorCode(int errorCode, const std::optional<std::string>& errorMessage) {
  const std::string message = errorMessage.value_or("");
  logInternal(__func__, "error - " + std::to_string(errorCode) + ", " + message);
  int64_t elapsed = 0;
  {
    std::lock_guard lock(stateLock_);
    switch (state()) {
      case QBSmashState::QB_SMASH_STATE_INIT_IN_PROGRESS:
        stopTimeoutTimer();
        setState(QBSmashState::QB_SMASH_STATE_FAILED);
        elapsed = elapsedSinceLoad();
        break;
      case QBSmashState::QB_SMASH_STATE_FAILED:
        return;
      default:
        if (auto events = eventsWrapper()) {
          events->troubleshoot().unexpectedInitFailedWithReason("unexpected init failed for " + signature_ +
                                                                ", error - " + std::to_string(errorCode) + ", " +
                                                                message);
        }
        return;
    }
  }
  reportLoadFailed(QBError::createError(errorCode, message), elapsed);
}

void QBBaseAdUnitSmash::loadAdInternal() {
  logInternal(__func__);
  auto ad = adapter();
  std::shared_ptr<QBAdData> adData = currentAdData();
  auto caught = platform::guard([&] {
    if (!ad) throw std::runtime_error("no ad adapter");
    ad->loadAdWithAdData(adData, std::weak_ptr<QBAdapterAdDelegate>(weak_from_this()));
  });
  if (!caught) return;
  const std::string message = "unexpected error while calling adapter.loadAd() - " + exceptionText(*caught);
  logFailure(__func__, message);
  sendInternalError(message);
  // Through the adapter's own failure path: still LOADING, this fails the load
  // and tells the manager; an adapter that already answered keeps its answer.
  adDidFailToLoadWithErrorType(QBAdapterErrorTypeOther, kLoadExceptionErrorCode, message);
}

// ---- load outcome ----

void QBBaseAdUnitSmash::adDidLoad() {
  logInternal(__func__);
  const int64_t elapsed = elapsedSinceLoad();
  {
    std::lock_guard lock(stateLock_);
    switch (state()) {
      case QBSmashState::QB_SMASH_STATE_FAILED:
        return;
      case QBSmashState::QB_SMASH_STATE_LOADING:
        // The timer stops only on an accepted transition: a stray answer in
        // another phase must not cancel that phase's timeout.
        stopTimeoutTimer();
        if (auto events = eventsWrapper()) events->load().sucessWithDuration(elapsed, false);
        setState(QBSmashState::QB_SMASH_STATE_LOADED);
        break;
      default:
        if (auto events = eventsWrapper()) {
          events->troubleshoot().unexpectedLoadSuccessWithReason("unexpected load success for " + signature_);
        }
        return;
    }
  }
  if (auto manager = delegate_.lock()) manager->onAdLoadSuccess(shared_from_this(), elapsed);
}

void QBBaseAdUnitSmash::adDidFailToLoadWithErrorType(int errorType, int errorCode, const std::string& errorMessage) {
  logInternal(__func__, "error - " + std::to_string(errorCode) + ", " + errorMessage);
  const int64_t elapsed = elapsedSinceLoad();
  {
    std::lock_guard lock(stateLock_);
    const QBSmashState current = state();
    if (current == QBSmashState::QB_SMASH_STATE_FAILED) {
      sendLoadFailedEvent(errorType, errorCode, errorMessage, elapsed);
      return;
    }
    if (current == QBSmashState::QB_SMASH_STATE_LOADING) {
      stopTimeoutTimer();
      sendLoadFailedEvent(errorType, errorCode, errorMessage, elapsed);
      setState(QBSmashState::QB_SMASH_STATE_FAILED);
    } else if (current == QBSmashState::QB_SMASH_STATE_LOADED && errorType == QBAdapterErrorTypeAdExpired) {
      const auto seconds = static_cast<uint32_t>(platform::nowWallMs() / 1000);
      {
        std::lock_guard data(dataMutex_);
        adExpirationTimestamp_ = seconds;
      }
      if (auto events = eventsWrapper()) events->troubleshoot().adExpiredWithReason("ad expired for " + getInstanceName());
      return;
    } else {
      if (auto events = eventsWrapper()) {
        events->troubleshoot().unexpectedLoadFailedWithReason("unexpected load failed for " + signature_ +
                                                              ", error - " + std::to_string(errorCode) + ", " +
                                                              errorMessage);
      }
      return;
    }
  }
  reportLoadFailed(QBError::createError(errorCode, errorMessage), elapsed);
}

void QBBaseAdUnitSmash::sendLoadFailedEvent(int errorType, int errorCode, const std::string& errorMessage,
                                            int64_t duration) {
  auto events = eventsWrapper();
  if (!events) return;
  if (errorType == QBAdapterErrorTypeNoFill) {
    events->load().noFillWithDuration(duration, errorCode);
  } else if (!errorMessage.empty()) {
    events->load().failedWithReason(errorMessage, duration, errorCode);
  } else {
    events->load().failedWithDuration(duration, errorCode);
  }
}

void QBBaseAdUnitSmash::adDidClick() {
  logInternal(__func__);
  if (auto events = eventsWrapper()) events->adInteraction().adClickedWithPlacementName(getCurrentPlacementName());
  if (auto manager = delegate_.lock()) manager->onAdClicked(shared_from_this());
}

// ---- timeout timer ----

double QBBaseAdUnitSmash::loadTimeoutMs() const {
  const double seconds = adapterConfig_ ? adapterConfig_->loadTimeOutSec() : 0;
  return seconds > 0 ? seconds * 1000.0 : 0;
}

void QBBaseAdUnitSmash::startTimeoutTimer() {
  uint64_t generation = 0;
  std::shared_ptr<platform::Timer> old;
  {
    std::lock_guard lock(dataMutex_);
    if (released_) return;
    generation = ++timerGeneration_;
    old = std::move(timer_);
  }
  if (old) old->cancel();
  const double intervalMs = loadTimeoutMs();
  std::weak_ptr<QBBaseAdUnitSmash> weak = weak_from_this();
  platform::mainQueue()->async([weak, generation, intervalMs] {
    auto self = weak.lock();
    if (!self) return;
    std::lock_guard lock(self->dataMutex_);
    // Stopped (or restarted) since this start was posted.
    if (self->released_ || generation != self->timerGeneration_) return;
    self->timer_ = platform::Timer::once(platform::mainQueue(), intervalMs, [weak, generation] {
      if (auto smash = weak.lock()) smash->onTimeout(generation);
    });
  });
}

void QBBaseAdUnitSmash::stopTimeoutTimer() {
  std::shared_ptr<platform::Timer> old;
  {
    std::lock_guard lock(dataMutex_);
    ++timerGeneration_;
    old = std::move(timer_);
  }
  if (old) old->cancel();
}

void QBBaseAdUnitSmash::onTimeout(uint64_t generation) {
  int64_t elapsed = 0;
  {
    std::lock_guard lock(stateLock_);
    {
      // Every stop happens under stateLock_, so this test cannot race one.
      std::lock_guard data(dataMutex_);
      if (generation != timerGeneration_) return;
      timer_.reset();
    }
    logInternal(__func__);
    elapsed = elapsedSinceLoad();
    const QBSmashState current = state();
    if (current != QBSmashState::QB_SMASH_STATE_INIT_IN_PROGRESS && current != QBSmashState::QB_SMASH_STATE_LOADING) {
      if (auto events = eventsWrapper()) {
        events->troubleshoot().unexpectedTimeoutWithReason(
            "unexpected timeout " + signature_ + ", state - " + std::to_string(static_cast<int64_t>(current)) +
            " error - " + std::to_string(kTimeoutEventErrorCode));
      }
      return;
    }
    setState(QBSmashState::QB_SMASH_STATE_FAILED);
    if (auto events = eventsWrapper()) {
      events->load().failedWithDuration(elapsed, kTimeoutEventErrorCode);
      events->load().failedWithReason(kTimeoutMessage, elapsed, kTimeoutEventErrorCode);
    }
  }
  reportLoadFailed(QBError::createError(kTimeoutErrorCode, std::string(kTimeoutMessage)), elapsed);
}

// ---- release ----

void QBBaseAdUnitSmash::releaseMemory() {
  logInternal(__func__);
  if (auto ad = adapter()) {
    if (auto caught = platform::guard([&] { ad->releaseMemory(); })) {
      const std::string message = "Exception while calling adapter release memory, exception = " + exceptionText(*caught);
      logFailure(__func__, message);
      sendInternalError(message);
    }
  }
  std::shared_ptr<QBBaseAdAdapter> adapter;
  std::shared_ptr<QBAdUnitEventsWrapper> events;
  std::shared_ptr<platform::Timer> timer;
  {
    std::lock_guard lock(dataMutex_);
    adapter = std::move(adapter_);
    events = std::move(eventsWrapper_);
    timer = std::move(timer_);
    released_ = true;
    ++timerGeneration_;
  }
  if (events) events->releaseMemory();
  if (timer) timer->cancel();
}

void QBBaseAdUnitSmash::sendSessionCappedEvent() {
  if (auto events = eventsWrapper()) events->adInteraction().sessionCapped();
}
