#pragma once
// The process-wide silent-switch detector. The platform has no call that
// tells whether the ring/silent switch is on silent, so the detector times a
// near-silent user-interface sound (QBNSamplingSound), which the platform
// does not play while the switch is on silent: a play that ends within 0.1 s
// means silent, one that lasts the sound's length means not silent.
//
// Measuring: the first check 0.5 s after a start, then one 1.0 s after each
// play ended; after 241 measurements the detector stops by itself. The
// status handler hears the first measurement after every start and after
// every new handler, and later ones only when the state changed. In the
// background the detector pauses; back in the foreground it goes on 1.0 s
// later, without a forced report. A stop ends the measurement in flight: a
// play that ends after it is not reported and does not count. Forgetting
// that a play is under way is enough for that: a play lasts 0.2 s and a new
// start plays first 0.5 s later (completions and checks come in the order of
// their times), so a stopped play has always ended before the next one
// starts.
//
// When the sound cannot be stored or made, the detector is inactive for the
// life of the process (soundId kInvalidSystemSoundID): starting it does
// nothing.
//
// Main queue: its checks are timers of the main queue, the sound's
// completion and the life-cycle notices arrive there.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/dispatch.h"
#include "platform/notifications.h"
#include "platform/system_sounds.h"

class QBNSoundSamplerRingerChecker : public std::enable_shared_from_this<QBNSoundSamplerRingerChecker> {
 public:
  static constexpr double kFirstCheckDelaySeconds = 0.5;
  static constexpr double kCheckIntervalSeconds = 1.0;
  static constexpr double kSilentBelowSeconds = 0.1;
  static constexpr int64_t kLastLoopCounter = 240;  // 241 measurements per start

  // The detector, made on the first call: the sound written through the
  // light cache (replacing a stored file that differs from it) and made a
  // user-interface system sound, paused.
  static std::shared_ptr<QBNSoundSamplerRingerChecker> shared();
  // Drops the shared detector (its sound disposed, its observers removed);
  // the next shared() makes a new one.
  static void resetForTesting();

  ~QBNSoundSamplerRingerChecker();

  // When paused: measuring starts (first check after 0.5 s) with a forced
  // report.
  void startDetecting();
  // Pauses: the pending check is cancelled, the count starts again, a play
  // in flight is forgotten, and a pause for the background no longer
  // resumes in the foreground.
  void stopDetecting();
  // Receives every report from now on; the next measurement is reported.
  void setStatusHandler(std::function<void(bool silent)> handler);

  bool isDetecting() const { return !paused_; }
  bool isActive() const { return soundId_ != platform::kInvalidSystemSoundID; }
  bool isSilentOn() const { return silentOn_; }
  bool isPaused() const { return paused_; }
  bool isPlaying() const { return playing_; }
  bool shouldContinueInForground() const { return continueInForground_; }
  platform::SystemSoundID soundId() const { return soundId_; }
  int64_t loopCounter() const { return loopCounter_; }

 private:
  QBNSoundSamplerRingerChecker() = default;
  void create();
  // The file URL of the stored sound; none when it could not be stored.
  std::optional<std::string> createAndSaveSamplingSound();
  void addBackgroundForgoundObservers();
  void scheduleCallWithDelay(double seconds);
  void loopCheck();
  void complete();
  void QBNSoundSamplerDidEnterBackground();
  void QBNSoundSamplerWillReturnToForeground();

  bool silentOn_ = false;
  bool forceEmit_ = false;
  bool paused_ = true;
  bool playing_ = false;
  bool continueInForground_ = false;
  platform::SystemSoundID soundId_ = platform::kInvalidSystemSoundID;
  std::function<void(bool)> statusHandler_;
  int64_t interval_ = 0;  // monotonic ms of the last play
  int64_t loopCounter_ = 0;
  std::shared_ptr<platform::Timer> pendingCheck_;
  platform::ObserverToken backgroundObserver_ = 0;
  platform::ObserverToken foregroundObserver_ = 0;
};
