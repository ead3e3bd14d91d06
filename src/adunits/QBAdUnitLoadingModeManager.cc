#include "adunits/QBAdUnitLoadingModeManager.h"

#include <utility>

#include "foundation/QBLoggerManager.h"

namespace {
constexpr int kInternalTag = 6;
}  // namespace

const char* QBAdUnitLoadingModeName(QBAdUnitLoadingMode mode) {
  switch (mode) {
    case QBAdUnitLoadingMode::MANUAL: return "MANUAL";
    case QBAdUnitLoadingMode::MANUAL_WITH_AUTOMATIC_RELOAD: return "MANUAL_WITH_AUTOMATIC_RELOAD";
    case QBAdUnitLoadingMode::AUTOMATIC_LOAD_AFTER_CLOSE: return "AUTOMATIC_LOAD_AFTER_CLOSE";
    case QBAdUnitLoadingMode::AUTOMATIC_LOAD_WHILE_SHOW: return "AUTOMATIC_LOAD_WHILE_SHOW";
  }
  return "UNKNOWN";
}

QBAdUnitLoadingData::QBAdUnitLoadingData(QBAdUnitLoadingMode loadingMode, int64_t timeToWaitBeforeTrigger,
                                         int64_t retryInterval, int64_t reloadInterval)
    : loadingMode_(loadingMode),
      timeToWaitBeforeTrigger_(timeToWaitBeforeTrigger),
      retryInterval_(retryInterval),
      reloadInterval_(reloadInterval) {}

std::shared_ptr<const QBAdUnitLoadingData> QBAdUnitLoadingData::initWithQBLoadingMode(
    QBAdUnitLoadingMode loadingMode, int64_t timeToWaitBeforeTrigger, int64_t retryInterval,
    int64_t reloadInterval) {
  return std::make_shared<const QBAdUnitLoadingData>(loadingMode, timeToWaitBeforeTrigger, retryInterval,
                                                     reloadInterval);
}

bool QBAdUnitLoadingData::isManualMode() const {
  return loadingMode_ == QBAdUnitLoadingMode::MANUAL || loadingMode_ == QBAdUnitLoadingMode::MANUAL_WITH_AUTOMATIC_RELOAD;
}

bool QBAdUnitLoadingData::isAutomaticMode() const {
  return loadingMode_ == QBAdUnitLoadingMode::AUTOMATIC_LOAD_AFTER_CLOSE ||
         loadingMode_ == QBAdUnitLoadingMode::AUTOMATIC_LOAD_WHILE_SHOW;
}

QBAdUnitLoadingModeManager::QBAdUnitLoadingModeManager(std::shared_ptr<const QBAdUnitLoadingData> adUnitLoadingData,
                                                       std::weak_ptr<QBLoadingModeDelegate> loadingModeDelegate)
    : adUnitLoadingData_(std::move(adUnitLoadingData)), loadingModeDelegate_(std::move(loadingModeDelegate)) {}

std::shared_ptr<QBAdUnitLoadingModeManager> QBAdUnitLoadingModeManager::initWithAdUnitLoadingData(
    std::shared_ptr<const QBAdUnitLoadingData> adUnitLoadingData,
    std::weak_ptr<QBLoadingModeDelegate> loadingModeDelegate) {
  if (!adUnitLoadingData) {
    adUnitLoadingData = QBAdUnitLoadingData::initWithQBLoadingMode(QBAdUnitLoadingMode::MANUAL, 0, 0, 0);
  }
  return std::shared_ptr<QBAdUnitLoadingModeManager>(
      new QBAdUnitLoadingModeManager(std::move(adUnitLoadingData), std::move(loadingModeDelegate)));
}

QBAdUnitLoadingModeManager::~QBAdUnitLoadingModeManager() { stopTimer(); }

void QBAdUnitLoadingModeManager::triggerInModes(const char* event, int64_t ms, bool applies) {
  if (!applies) return;
  QBLoggerManager::sharedInstance().dynamicLog(
      event, std::string("loading mode ") + QBAdUnitLoadingModeName(adUnitLoadingData_->loadingMode()) +
                 " - load in " + std::to_string(ms) + " ms",
      0, kInternalTag);
  trigger(ms);
}

void QBAdUnitLoadingModeManager::loadError() {
  triggerInModes(__func__, adUnitLoadingData_->retryInterval(),
                 adUnitLoadingData_->loadingMode() != QBAdUnitLoadingMode::MANUAL);
}

void QBAdUnitLoadingModeManager::showError() {
  triggerInModes(__func__, 0, adUnitLoadingData_->loadingMode() != QBAdUnitLoadingMode::MANUAL);
}

void QBAdUnitLoadingModeManager::showStarted() {
  triggerInModes(__func__, adUnitLoadingData_->timeToWaitBeforeTrigger(),
                 adUnitLoadingData_->loadingMode() == QBAdUnitLoadingMode::AUTOMATIC_LOAD_WHILE_SHOW);
}

void QBAdUnitLoadingModeManager::showEnded() {
  triggerInModes(__func__, adUnitLoadingData_->timeToWaitBeforeTrigger(),
                 adUnitLoadingData_->loadingMode() == QBAdUnitLoadingMode::AUTOMATIC_LOAD_AFTER_CLOSE);
}

void QBAdUnitLoadingModeManager::trigger(int64_t ms) {
  std::weak_ptr<QBAdUnitLoadingModeManager> weak = weak_from_this();
  platform::mainQueue()->async([weak, ms] {
    auto self = weak.lock();
    if (!self) return;
    self->stopTimer();
    // The timer holds the manager weakly: a manager released before the
    // reload is due cancels it in its destructor.
    auto timer = platform::Timer::once(platform::mainQueue(), static_cast<double>(ms < 0 ? 0 : ms), [weak] {
      if (auto strong = weak.lock()) strong->onLoadTriggered();
    });
    std::lock_guard lock(self->timerMutex_);
    self->timer_ = std::move(timer);
  });
}

void QBAdUnitLoadingModeManager::stopTimer() {
  std::shared_ptr<platform::Timer> timer;
  {
    std::lock_guard lock(timerMutex_);
    timer = std::move(timer_);
  }
  if (timer) timer->cancel();
}

void QBAdUnitLoadingModeManager::onLoadTriggered() {
  {
    // A fired one-shot timer is no longer valid; a newer pending one stays.
    std::lock_guard lock(timerMutex_);
    if (timer_ && !timer_->isValid()) timer_.reset();
  }
  if (auto delegate = loadingModeDelegate_.lock()) delegate->onLoadTriggered();
}

bool QBAdUnitLoadingModeManager::hasPendingTimer() const {
  std::lock_guard lock(timerMutex_);
  return timer_ && timer_->isValid();
}
