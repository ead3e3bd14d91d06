#include "scriptfeatures/device/QBNSoundSamplerRingerChecker.h"

#include "platform/clock.h"
#include "platform/storage.h"
#include "scriptfeatures/device/QBNSamplingSound.h"
#include "scriptfeatures/files/QBNLightCacheManager.h"

namespace {

std::shared_ptr<QBNSoundSamplerRingerChecker>& sharedSlot() {
  static auto& slot = *new std::shared_ptr<QBNSoundSamplerRingerChecker>();  // lives for the process
  return slot;
}

}  // namespace

std::shared_ptr<QBNSoundSamplerRingerChecker> QBNSoundSamplerRingerChecker::shared() {
  auto& slot = sharedSlot();
  if (!slot) {
    slot = std::shared_ptr<QBNSoundSamplerRingerChecker>(new QBNSoundSamplerRingerChecker());
    slot->create();
  }
  return slot;
}

void QBNSoundSamplerRingerChecker::resetForTesting() { sharedSlot().reset(); }

QBNSoundSamplerRingerChecker::~QBNSoundSamplerRingerChecker() {
  if (pendingCheck_) pendingCheck_->cancel();
  if (isActive()) {
    auto& sounds = platform::SystemSounds::shared();
    sounds.removeSystemSoundCompletion(soundId_);
    (void)sounds.disposeSystemSoundID(soundId_);
  }
  auto& center = platform::NotificationCenter::defaultCenter();
  if (backgroundObserver_) center.removeObserver(backgroundObserver_);
  if (foregroundObserver_) center.removeObserver(foregroundObserver_);
}

std::optional<std::string> QBNSoundSamplerRingerChecker::createAndSaveSamplingSound() {
  auto& cache = QBNLightCacheManager::sharedInstance();
  const std::string& sound = QBNSamplingSound::cafData();
  // A stored file that is not this sound (cut short, or another sound) would
  // never be replaced and would leave the detector dead on every launch.
  if (const auto stored = cache.pathForFileNameInRootDirectory(kQBNSamplingSoundFileName)) {
    auto bytes = platform::readFile(*stored, sound.size() + 1);
    if (!bytes || bytes.value() != sound) (void)platform::removeItem(*stored);
  }
  if (!cache.saveDataOnRootDirectory(sound, kQBNSamplingSoundFileName, nullptr)) return std::nullopt;
  return cache.fileUrlForFileNameOnRootDirectory(kQBNSamplingSoundFileName);
}

void QBNSoundSamplerRingerChecker::create() {
  auto& sounds = platform::SystemSounds::shared();
  const auto location = createAndSaveSamplingSound();
  if (!location) return;  // inactive for good
  auto sound = sounds.createSystemSoundID(*location);
  if (!sound) return;
  soundId_ = sound.value();
  std::weak_ptr<QBNSoundSamplerRingerChecker> weakSelf = weak_from_this();
  (void)sounds.addSystemSoundCompletion(soundId_, [weakSelf](platform::SystemSoundID) {
    if (auto self = weakSelf.lock()) self->complete();
  });
  (void)sounds.setIsUISound(soundId_, true);
  forceEmit_ = true;
  paused_ = true;
  addBackgroundForgoundObservers();
}

void QBNSoundSamplerRingerChecker::addBackgroundForgoundObservers() {
  auto& center = platform::NotificationCenter::defaultCenter();
  const std::weak_ptr<const void> owner = weak_from_this();
  std::weak_ptr<QBNSoundSamplerRingerChecker> weakSelf = weak_from_this();
  backgroundObserver_ = center.addObserver(owner, platform::kUIApplicationDidEnterBackgroundNotification,
                                           platform::mainQueue(), [weakSelf](const platform::Notification&) {
                                             if (auto self = weakSelf.lock()) self->QBNSoundSamplerDidEnterBackground();
                                           });
  foregroundObserver_ = center.addObserver(owner, platform::kUIApplicationWillEnterForegroundNotification,
                                           platform::mainQueue(), [weakSelf](const platform::Notification&) {
                                             if (auto self = weakSelf.lock()) self->QBNSoundSamplerWillReturnToForeground();
                                           });
}

void QBNSoundSamplerRingerChecker::startDetecting() {
  if (!paused_) return;
  forceEmit_ = true;
  paused_ = false;
  scheduleCallWithDelay(kFirstCheckDelaySeconds);
}

void QBNSoundSamplerRingerChecker::stopDetecting() {
  if (pendingCheck_) pendingCheck_->cancel();
  pendingCheck_.reset();
  loopCounter_ = 0;
  paused_ = true;
  playing_ = false;
  continueInForground_ = false;
}

void QBNSoundSamplerRingerChecker::setStatusHandler(std::function<void(bool)> handler) {
  statusHandler_ = std::move(handler);
  forceEmit_ = true;
}

void QBNSoundSamplerRingerChecker::scheduleCallWithDelay(double seconds) {
  if (pendingCheck_) pendingCheck_->cancel();
  std::weak_ptr<QBNSoundSamplerRingerChecker> weakSelf = weak_from_this();
  pendingCheck_ = platform::Timer::once(platform::mainQueue(), seconds * 1000.0, [weakSelf] {
    if (auto self = weakSelf.lock()) self->loopCheck();
  });
}

void QBNSoundSamplerRingerChecker::loopCheck() {
  if (paused_ || !isActive()) return;
  interval_ = platform::nowMonotonicMs();
  playing_ = true;
  platform::SystemSounds::shared().playSystemSound(soundId_);
}

void QBNSoundSamplerRingerChecker::complete() {
  if (!playing_) return;  // stopped since it started
  playing_ = false;
  const bool silent = static_cast<double>(platform::nowMonotonicMs() - interval_) < kSilentBelowSeconds * 1000.0;
  std::function<void(bool)> report;
  if (silent != silentOn_ || forceEmit_) {
    forceEmit_ = false;
    silentOn_ = silent;
    report = statusHandler_;
  }
  if (loopCounter_ >= kLastLoopCounter) {
    stopDetecting();
  } else {
    ++loopCounter_;
    scheduleCallWithDelay(kCheckIntervalSeconds);
  }
  if (report) report(silent);
}

void QBNSoundSamplerRingerChecker::QBNSoundSamplerDidEnterBackground() {
  if (paused_) return;
  paused_ = true;
  continueInForground_ = true;
}

void QBNSoundSamplerRingerChecker::QBNSoundSamplerWillReturnToForeground() {
  if (!continueInForground_) return;
  continueInForground_ = false;
  paused_ = false;
  if (!playing_) scheduleCallWithDelay(kCheckIntervalSeconds);
}
