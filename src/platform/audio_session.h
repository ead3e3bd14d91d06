#pragma once
// The application's audio session: how the application's sound mixes with
// other applications' (category, mode and option bits), whether it is
// active, the device's output volume, the route's outputs and the
// interruptions other audio brings.
//
// Linux has no audio categories and no interruptions, so the session lives
// in memory: it keeps what the application sets, refuses what the platform
// refuses (the rules below) and answers with what the host (or a test)
// reports through the controls: the volume, other audio playing, the route,
// an interruption, a call the system refuses.
//
// Names are the platform's own (category and mode constants spelled as the
// platform spells them), passed through unchanged.
//
// Rules of the changes (each answers an error, or none on success):
//  - setCategory: the name must be one of availableCategories(); the option
//    bits must be known ones and allowed with the category:
//      MixWithOthers, DuckOthers, InterruptSpokenAudioAndMixWithOthers:
//        Playback, PlayAndRecord, MultiRoute (DuckOthers and
//        InterruptSpokenAudioAndMixWithOthers also set MixWithOthers)
//      AllowBluetooth, OverrideMutedMicrophoneInterruption: Record,
//        PlayAndRecord
//      DefaultToSpeaker, AllowBluetoothA2DP, AllowAirPlay: PlayAndRecord
//    A new category the mode is not allowed with puts the mode back to
//    Default.
//  - setMode: the name must be one of availableModes() and allowed with the
//    category: VoiceChat, VideoChat and GameChat need PlayAndRecord,
//    VideoRecording needs Record or PlayAndRecord; the others go with any.
//  - setActive: the options must be known bits (NotifyOthersOnDeactivation).
//  A refusal is the platform's parameter error: domain "NSOSStatusErrorDomain",
//  code -50, "The operation couldn't be completed. (OSStatus error -50.)".
//  A call the host made fail (setFailure) answers the host's error instead,
//  after the checks above, and changes nothing.
//
// Notices (default notification centre, posted from the thread that made the
// change, never under the session's lock):
//  - kAVAudioSessionInterruptionNotification from postInterruption;
//  - kAVAudioSessionRouteChangeNotification from setRouteOutputs and from a
//    change of category (reason CategoryChange);
//  - kAVAudioSessionOutputVolumeDidChangeNotification when the output volume
//    changes (userInfo {kAVAudioSessionOutputVolumeKey: volume}); observe it
//    to follow the volume.
//
// Thread-safe; every call answers on the calling thread.
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/result.h"

namespace platform {

namespace AudioSessionCategory {
inline constexpr char kAmbient[] = "AVAudioSessionCategoryAmbient";
inline constexpr char kSoloAmbient[] = "AVAudioSessionCategorySoloAmbient";
inline constexpr char kPlayback[] = "AVAudioSessionCategoryPlayback";
inline constexpr char kRecord[] = "AVAudioSessionCategoryRecord";
inline constexpr char kPlayAndRecord[] = "AVAudioSessionCategoryPlayAndRecord";
inline constexpr char kMultiRoute[] = "AVAudioSessionCategoryMultiRoute";
}  // namespace AudioSessionCategory

namespace AudioSessionMode {
inline constexpr char kDefault[] = "AVAudioSessionModeDefault";
inline constexpr char kVoiceChat[] = "AVAudioSessionModeVoiceChat";
inline constexpr char kGameChat[] = "AVAudioSessionModeGameChat";
inline constexpr char kVideoRecording[] = "AVAudioSessionModeVideoRecording";
inline constexpr char kMeasurement[] = "AVAudioSessionModeMeasurement";
inline constexpr char kMoviePlayback[] = "AVAudioSessionModeMoviePlayback";
inline constexpr char kVideoChat[] = "AVAudioSessionModeVideoChat";
inline constexpr char kSpokenAudio[] = "AVAudioSessionModeSpokenAudio";
inline constexpr char kVoicePrompt[] = "AVAudioSessionModeVoicePrompt";
}  // namespace AudioSessionMode

// The category option bits, with the platform's values.
namespace AudioSessionCategoryOptions {
inline constexpr uint64_t kMixWithOthers = 0x1;
inline constexpr uint64_t kDuckOthers = 0x2;
inline constexpr uint64_t kAllowBluetooth = 0x4;
inline constexpr uint64_t kDefaultToSpeaker = 0x8;
inline constexpr uint64_t kInterruptSpokenAudioAndMixWithOthers = 0x11;
inline constexpr uint64_t kAllowBluetoothA2DP = 0x20;
inline constexpr uint64_t kAllowAirPlay = 0x40;
inline constexpr uint64_t kOverrideMutedMicrophoneInterruption = 0x80;
}  // namespace AudioSessionCategoryOptions

// The set-active option bits.
namespace AudioSessionSetActiveOptions {
inline constexpr uint64_t kNotifyOthersOnDeactivation = 0x1;
}  // namespace AudioSessionSetActiveOptions

// Notices and their user-information keys.
inline constexpr char kAVAudioSessionInterruptionNotification[] = "AVAudioSessionInterruptionNotification";
inline constexpr char kAVAudioSessionInterruptionTypeKey[] = "AVAudioSessionInterruptionTypeKey";
inline constexpr char kAVAudioSessionInterruptionOptionKey[] = "AVAudioSessionInterruptionOptionKey";
inline constexpr char kAVAudioSessionRouteChangeReasonKey[] = "AVAudioSessionRouteChangeReasonKey";
inline constexpr char kAVAudioSessionOutputVolumeDidChangeNotification[] =
    "AVAudioSessionOutputVolumeDidChangeNotification";
inline constexpr char kAVAudioSessionOutputVolumeKey[] = "AVAudioSessionOutputVolumeKey";

// Interruption types and options, with the platform's values.
enum class AudioSessionInterruptionType : uint64_t { Ended = 0, Began = 1 };
inline constexpr uint64_t kAudioSessionInterruptionOptionShouldResume = 0x1;

// Route-change reasons, with the platform's values.
enum class AudioSessionRouteChangeReason : uint64_t {
  Unknown = 0,
  NewDeviceAvailable = 1,
  OldDeviceUnavailable = 2,
  CategoryChange = 3,
  Override = 4,
};

// One output of the current route.
struct AudioSessionPort {
  std::string portType;  // "Speaker", "Receiver", "Headphones", "BluetoothA2DPOutput", ...
  std::string portName;
  std::string uid;
  bool operator==(const AudioSessionPort&) const = default;
};

inline constexpr char kAudioSessionErrorDomain[] = "NSOSStatusErrorDomain";
inline constexpr int kAudioSessionParamError = -50;

class AudioSession {
 public:
  // The process-wide session. It starts (and resetForTesting puts it back)
  // as: category SoloAmbient, mode Default, no options, inactive, volume 0.5,
  // no other audio, one output (the built-in speaker), no failures set.
  static AudioSession& shared();

  std::string category() const;
  std::string mode() const;
  uint64_t categoryOptions() const;
  bool isActive() const;
  // The six category names / the nine mode names, in the platform's order.
  static const std::vector<std::string>& availableCategories();
  static const std::vector<std::string>& availableModes();

  // setCategory(category, 0).
  std::optional<Error> setCategory(const std::string& category);
  std::optional<Error> setCategory(const std::string& category, uint64_t options);
  std::optional<Error> setMode(const std::string& mode);
  std::optional<Error> setActive(bool active, uint64_t options = 0);

  // Whether another application plays audio, and the hint that this
  // application's secondary audio should be silenced (this platform gives
  // both from the host's one report).
  bool isOtherAudioPlaying() const;
  bool secondaryAudioShouldBeSilencedHint() const;
  // 0 to 1.
  double outputVolume() const;
  std::vector<AudioSessionPort> currentRouteOutputs() const;

  // ------------------------------------------------------- host and test controls

  enum class Call { SetCategory, SetMode, SetActive };
  // Makes every later call of that kind fail with `error` (none: they obey
  // the rules again).
  void setFailure(Call call, std::optional<Error> error);
  void setOtherAudioPlaying(bool playing);
  // Clamped to 0..1 (NaN counts as 0); a change posts the volume notice.
  void setOutputVolume(double volume);
  // Replaces the route's outputs and posts the route-change notice.
  void setRouteOutputs(std::vector<AudioSessionPort> outputs,
                       AudioSessionRouteChangeReason reason = AudioSessionRouteChangeReason::NewDeviceAvailable);
  // Posts the interruption notice from the calling thread: the type and, for
  // an ended interruption, the options.
  void postInterruption(AudioSessionInterruptionType type, uint64_t options = 0);

  void resetForTesting();

 private:
  AudioSession();
  std::optional<Error>* failureOf(Call call);

  mutable std::mutex mutex_;
  std::string category_;
  std::string mode_;
  uint64_t options_ = 0;
  bool active_ = false;
  bool otherAudioPlaying_ = false;
  double volume_ = 0.5;
  std::vector<AudioSessionPort> outputs_;
  std::optional<Error> categoryFailure_, modeFailure_, activeFailure_;
};

}  // namespace platform
