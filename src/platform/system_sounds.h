#pragma once
// System sounds: short sounds the platform plays on its own, each made from
// a sound file, with a completion told when a play has ended.
//
// Linux has no sound server for them and no ring/silent switch. Here a play
// lasts exactly the sound's duration on the platform clock (the manual clock
// under a TestEnvironment) and makes no noise. The ring/silent switch is a
// control the host (or a test) sets: while it is on silent, a sound marked
// as a user-interface sound is not played and its completion comes at once.
//
// Every call is thread-safe. Completions run on the main queue, never inside
// the call that caused them.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "platform/result.h"

namespace platform {

using SystemSoundID = uint32_t;
// No sound: what a failed creation leaves in the caller's field.
inline constexpr SystemSoundID kInvalidSystemSoundID = 0xFFFFFFFF;

inline constexpr char kSystemSoundsErrorDomain[] = "platform.systemsounds";

enum class SystemSoundsErrc : int {
  FileUnreadable = 1,  // the URL is no file URL, or the file cannot be read
  Malformed = 2,       // the file is no sound file this layer reads
  Unsupported = 3,     // a sound file of a kind this layer does not play
  UnknownSound = 4,    // no sound of that id (never made, or disposed)
};

// Largest sound file a creation reads; system sounds are a few seconds at
// most.
inline constexpr size_t kMaxSystemSoundFileBytes = size_t{4} * 1024 * 1024;
// What a sound's header may say: sample rates (frames per second), channels,
// bits per channel, and the longest a system sound may play.
inline constexpr double kMinSoundSampleRate = 1'000;
inline constexpr double kMaxSoundSampleRate = 768'000;
inline constexpr uint32_t kMaxSoundChannels = 64;
inline constexpr uint32_t kMaxSoundBitsPerChannel = 64;
inline constexpr double kMaxSystemSoundSeconds = 30;

// What the header of a Core Audio Format (CAF) file says of its audio.
struct CafAudioDescription {
  double sampleRate = 0;       // frames per second
  uint32_t formatID = 0;       // four-character code, e.g. 'lpcm'
  uint32_t formatFlags = 0;
  uint32_t bytesPerPacket = 0;
  uint32_t framesPerPacket = 0;
  uint32_t channelsPerFrame = 0;
  uint32_t bitsPerChannel = 0;
  uint64_t frameCount = 0;     // frames in the data chunk
  double durationSeconds = 0;  // frameCount / sampleRate
};

// Reads a CAF file: the file header ("caff", version 1), then its chunks
// (four-character type, 64-bit big-endian size), the "desc" chunk first. The
// "data" chunk starts with its 32-bit edit count; its size may be -1 only
// when it is the last chunk (it then runs to the end of the file). Only
// formats with a fixed packet size (bytes and frames per packet both set)
// are read, as uncompressed sounds have: others fail with Unsupported.
// Malformed: a wrong magic or version, a desc chunk missing, short or not
// first, a chunk that runs past the end, no data chunk, and values no sound
// has: a sample rate outside kMinSoundSampleRate..kMaxSoundSampleRate (not a
// finite number included), no channels or more than kMaxSoundChannels, more
// than kMaxSoundBitsPerChannel bits per channel, more frames than the data
// holds (every frame takes at least its bits per channel, or one bit, per
// channel), and linear PCM whose packet is not one frame or too small for
// the frame's bits. Unsupported as well: a sound longer than
// kMaxSystemSoundSeconds, which a system sound may not be.
Result<CafAudioDescription> readCafAudioDescription(std::string_view bytes);

class SystemSounds {
 public:
  static SystemSounds& shared();

  // Makes a sound from the sound file at `fileURL` ("file://" URL). The file
  // is read once, now; a file that is not a readable CAF file fails (see
  // readCafAudioDescription). Ids are never reused within a process.
  Result<SystemSoundID> createSystemSoundID(const std::string& fileURL);
  // Tells `completion` (on the main queue) each time a play of the sound has
  // ended; replaces an earlier completion (a play under way tells the one in
  // place when it ends). UnknownSound for an unknown id.
  Status addSystemSoundCompletion(SystemSoundID sound, std::function<void(SystemSoundID)> completion);
  // No completion any more, also for plays already under way.
  void removeSystemSoundCompletion(SystemSoundID sound);
  // Marks the sound as a user-interface sound, which the silent switch mutes.
  Status setIsUISound(SystemSoundID sound, bool isUISound);
  // Plays the sound: its completion comes after the sound's duration, or at
  // once (on the main queue's next turn) when the silent switch is on and it
  // is a user-interface sound. Unknown ids are ignored.
  void playSystemSound(SystemSoundID sound);
  // Ends the sound; plays under way end without a completion.
  Status disposeSystemSoundID(SystemSoundID sound);

  // The sound's duration in seconds; none for an unknown id.
  std::optional<double> durationSeconds(SystemSoundID sound) const;

  // The ring/silent switch (host and test control): true is silent. Off when
  // the process starts.
  void setSilentSwitchOn(bool silent);
  bool isSilentSwitchOn() const;

  // Plays asked since the process started (or the last reset), known sounds
  // only.
  size_t playCount() const;
  // Sounds that exist now.
  size_t soundCount() const;
  // Disposes every sound (no completion comes for plays under way), the
  // switch off, the play count 0.
  void resetForTesting();

 private:
  SystemSounds() = default;

  struct Sound {
    double durationMs = 0;
    bool isUISound = false;
    std::shared_ptr<std::function<void(SystemSoundID)>> completion;
  };
  void finishPlay(SystemSoundID sound);

  mutable std::mutex mutex_;
  std::map<SystemSoundID, Sound> sounds_;
  SystemSoundID nextID_ = 4096;
  bool silent_ = false;
  size_t plays_ = 0;
};

}  // namespace platform
