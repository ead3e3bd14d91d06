#include "platform/audio_session.h"

#include <algorithm>
#include <cmath>

#include "platform/json.h"
#include "platform/notifications.h"

namespace platform {

namespace {

namespace cat = AudioSessionCategory;
namespace opt = AudioSessionCategoryOptions;

constexpr uint64_t kKnownCategoryOptions = opt::kMixWithOthers | opt::kDuckOthers | opt::kAllowBluetooth |
                                           opt::kDefaultToSpeaker | opt::kInterruptSpokenAudioAndMixWithOthers |
                                           opt::kAllowBluetoothA2DP | opt::kAllowAirPlay |
                                           opt::kOverrideMutedMicrophoneInterruption;
// The bit of InterruptSpokenAudioAndMixWithOthers beside the mixing bit.
constexpr uint64_t kInterruptSpokenAudioBit = opt::kInterruptSpokenAudioAndMixWithOthers & ~opt::kMixWithOthers;

Error paramError() {
  return Error{kAudioSessionErrorDomain, kAudioSessionParamError,
               "The operation couldn't be completed. (OSStatus error -50.)"};
}

bool isOneOf(const std::string& name, std::initializer_list<const char*> names) {
  return std::any_of(names.begin(), names.end(), [&](const char* n) { return name == n; });
}

bool optionsAllowed(const std::string& category, uint64_t options) {
  if ((options & ~kKnownCategoryOptions) != 0) return false;
  const uint64_t mixing = opt::kMixWithOthers | opt::kDuckOthers | kInterruptSpokenAudioBit;
  if ((options & mixing) && !isOneOf(category, {cat::kPlayback, cat::kPlayAndRecord, cat::kMultiRoute})) return false;
  const uint64_t input = opt::kAllowBluetooth | opt::kOverrideMutedMicrophoneInterruption;
  if ((options & input) && !isOneOf(category, {cat::kRecord, cat::kPlayAndRecord})) return false;
  const uint64_t playAndRecordOnly = opt::kDefaultToSpeaker | opt::kAllowBluetoothA2DP | opt::kAllowAirPlay;
  return !(options & playAndRecordOnly) || category == cat::kPlayAndRecord;
}

bool modeAllowed(const std::string& mode, const std::string& category) {
  namespace m = AudioSessionMode;
  if (isOneOf(mode, {m::kVoiceChat, m::kVideoChat, m::kGameChat})) return category == cat::kPlayAndRecord;
  if (mode == m::kVideoRecording) return isOneOf(category, {cat::kRecord, cat::kPlayAndRecord});
  return true;
}

bool contains(const std::vector<std::string>& names, const std::string& name) {
  return std::find(names.begin(), names.end(), name) != names.end();
}

}  // namespace

AudioSession& AudioSession::shared() {
  static AudioSession& session = *new AudioSession();  // lives for the process
  return session;
}

AudioSession::AudioSession() { resetForTesting(); }

const std::vector<std::string>& AudioSession::availableCategories() {
  static const auto& names = *new std::vector<std::string>{cat::kAmbient,   cat::kSoloAmbient,    cat::kPlayback,
                                                           cat::kRecord,    cat::kPlayAndRecord,  cat::kMultiRoute};
  return names;
}

const std::vector<std::string>& AudioSession::availableModes() {
  namespace m = AudioSessionMode;
  static const auto& names = *new std::vector<std::string>{
      m::kDefault,        m::kVoiceChat,  m::kGameChat,     m::kVideoRecording, m::kMeasurement,
      m::kMoviePlayback,  m::kVideoChat,  m::kSpokenAudio,  m::kVoicePrompt};
  return names;
}

std::string AudioSession::category() const {
  std::lock_guard lock(mutex_);
  return category_;
}

std::string AudioSession::mode() const {
  std::lock_guard lock(mutex_);
  return mode_;
}

uint64_t AudioSession::categoryOptions() const {
  std::lock_guard lock(mutex_);
  return options_;
}

bool AudioSession::isActive() const {
  std::lock_guard lock(mutex_);
  return active_;
}

std::optional<Error> AudioSession::setCategory(const std::string& category) { return setCategory(category, 0); }

std::optional<Error> AudioSession::setCategory(const std::string& category, uint64_t options) {
  if (!contains(availableCategories(), category) || !optionsAllowed(category, options)) return paramError();
  if (options & (opt::kDuckOthers | kInterruptSpokenAudioBit)) options |= opt::kMixWithOthers;
  bool changed = false;
  {
    std::lock_guard lock(mutex_);
    if (categoryFailure_) return categoryFailure_;
    changed = category_ != category;
    category_ = category;
    options_ = options;
    if (!modeAllowed(mode_, category_)) mode_ = AudioSessionMode::kDefault;
  }
  if (changed) {
    NotificationCenter::defaultCenter().post(
        kAVAudioSessionRouteChangeNotification,
        Json{{kAVAudioSessionRouteChangeReasonKey, static_cast<uint64_t>(AudioSessionRouteChangeReason::CategoryChange)}});
  }
  return std::nullopt;
}

std::optional<Error> AudioSession::setMode(const std::string& mode) {
  std::lock_guard lock(mutex_);
  if (!contains(availableModes(), mode) || !modeAllowed(mode, category_)) return paramError();
  if (modeFailure_) return modeFailure_;
  mode_ = mode;
  return std::nullopt;
}

std::optional<Error> AudioSession::setActive(bool active, uint64_t options) {
  if ((options & ~AudioSessionSetActiveOptions::kNotifyOthersOnDeactivation) != 0) return paramError();
  std::lock_guard lock(mutex_);
  if (activeFailure_) return activeFailure_;
  active_ = active;
  return std::nullopt;
}

bool AudioSession::isOtherAudioPlaying() const {
  std::lock_guard lock(mutex_);
  return otherAudioPlaying_;
}

bool AudioSession::secondaryAudioShouldBeSilencedHint() const { return isOtherAudioPlaying(); }

double AudioSession::outputVolume() const {
  std::lock_guard lock(mutex_);
  return volume_;
}

std::vector<AudioSessionPort> AudioSession::currentRouteOutputs() const {
  std::lock_guard lock(mutex_);
  return outputs_;
}

std::optional<Error>* AudioSession::failureOf(Call call) {
  switch (call) {
    case Call::SetCategory:
      return &categoryFailure_;
    case Call::SetMode:
      return &modeFailure_;
    case Call::SetActive:
      return &activeFailure_;
  }
  return &categoryFailure_;
}

void AudioSession::setFailure(Call call, std::optional<Error> error) {
  std::lock_guard lock(mutex_);
  *failureOf(call) = std::move(error);
}

void AudioSession::setOtherAudioPlaying(bool playing) {
  std::lock_guard lock(mutex_);
  otherAudioPlaying_ = playing;
}

void AudioSession::setOutputVolume(double volume) {
  const double clamped = std::isnan(volume) ? 0.0 : std::clamp(volume, 0.0, 1.0);
  {
    std::lock_guard lock(mutex_);
    if (volume_ == clamped) return;
    volume_ = clamped;
  }
  NotificationCenter::defaultCenter().post(kAVAudioSessionOutputVolumeDidChangeNotification,
                                           Json{{kAVAudioSessionOutputVolumeKey, clamped}});
}

void AudioSession::setRouteOutputs(std::vector<AudioSessionPort> outputs, AudioSessionRouteChangeReason reason) {
  {
    std::lock_guard lock(mutex_);
    outputs_ = std::move(outputs);
  }
  NotificationCenter::defaultCenter().post(kAVAudioSessionRouteChangeNotification,
                                           Json{{kAVAudioSessionRouteChangeReasonKey, static_cast<uint64_t>(reason)}});
}

void AudioSession::postInterruption(AudioSessionInterruptionType type, uint64_t options) {
  Json info{{kAVAudioSessionInterruptionTypeKey, static_cast<uint64_t>(type)}};
  if (type == AudioSessionInterruptionType::Ended) info[kAVAudioSessionInterruptionOptionKey] = options;
  NotificationCenter::defaultCenter().post(kAVAudioSessionInterruptionNotification, info);
}

void AudioSession::resetForTesting() {
  std::lock_guard lock(mutex_);
  category_ = cat::kSoloAmbient;
  mode_ = AudioSessionMode::kDefault;
  options_ = 0;
  active_ = false;
  otherAudioPlaying_ = false;
  volume_ = 0.5;
  outputs_ = {AudioSessionPort{"Speaker", "Speaker", "Built-In Speaker"}};
  categoryFailure_.reset();
  modeFailure_.reset();
  activeFailure_.reset();
}

}  // namespace platform
