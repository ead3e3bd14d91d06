#include "platform/system_sounds.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "platform/dispatch.h"
#include "platform/storage.h"
#include "platform/web/url.h"

namespace platform {
namespace {

constexpr uint32_t fourCC(const char (&code)[5]) {
  return (static_cast<uint32_t>(static_cast<unsigned char>(code[0])) << 24) |
         (static_cast<uint32_t>(static_cast<unsigned char>(code[1])) << 16) |
         (static_cast<uint32_t>(static_cast<unsigned char>(code[2])) << 8) |
         static_cast<uint32_t>(static_cast<unsigned char>(code[3]));
}

constexpr size_t kFileHeaderBytes = 8;   // "caff", version, flags
constexpr size_t kChunkHeaderBytes = 12;  // type, 64-bit size
constexpr size_t kDescBytes = 32;
constexpr size_t kEditCountBytes = 4;

Error soundError(SystemSoundsErrc code, std::string message) {
  return Error{kSystemSoundsErrorDomain, static_cast<int>(code), std::move(message)};
}

// Big-endian readers over a checked range.
uint64_t readBig(std::string_view bytes, size_t at, size_t width) {
  uint64_t value = 0;
  for (size_t i = 0; i < width; ++i) value = (value << 8) | static_cast<unsigned char>(bytes[at + i]);
  return value;
}
uint32_t read32(std::string_view bytes, size_t at) { return static_cast<uint32_t>(readBig(bytes, at, 4)); }

double readFloat64(std::string_view bytes, size_t at) {
  const uint64_t raw = readBig(bytes, at, 8);
  double value = 0;
  static_assert(sizeof(value) == sizeof(raw));
  std::memcpy(&value, &raw, sizeof(value));
  return value;
}

Result<CafAudioDescription> malformed(const std::string& why) {
  return soundError(SystemSoundsErrc::Malformed, "not a CAF file: " + why);
}

}  // namespace

Result<CafAudioDescription> readCafAudioDescription(std::string_view bytes) {
  if (bytes.size() < kFileHeaderBytes || bytes.substr(0, 4) != "caff") return malformed("no \"caff\" header");
  if (readBig(bytes, 4, 2) != 1) return malformed("version is not 1");

  CafAudioDescription out;
  bool haveDesc = false;
  bool haveData = false;
  uint64_t dataBytes = 0;
  size_t at = kFileHeaderBytes;
  while (at < bytes.size()) {
    if (bytes.size() - at < kChunkHeaderBytes) return malformed("a chunk header runs past the end");
    const uint32_t type = read32(bytes, at);
    const auto size = static_cast<int64_t>(readBig(bytes, at + 4, 8));
    const size_t body = at + kChunkHeaderBytes;
    const size_t left = bytes.size() - body;
    uint64_t length = 0;
    if (size == -1 && type == fourCC("data")) {
      length = left;  // runs to the end of the file: the last chunk
    } else if (size < 0 || static_cast<uint64_t>(size) > left) {
      return malformed("a chunk runs past the end");
    } else {
      length = static_cast<uint64_t>(size);
    }
    if (!haveDesc && type != fourCC("desc")) return malformed("the first chunk is not \"desc\"");
    if (type == fourCC("desc")) {
      if (haveDesc) return malformed("a second \"desc\" chunk");
      if (length < kDescBytes) return malformed("a short \"desc\" chunk");
      out.sampleRate = readFloat64(bytes, body);
      out.formatID = read32(bytes, body + 8);
      out.formatFlags = read32(bytes, body + 12);
      out.bytesPerPacket = read32(bytes, body + 16);
      out.framesPerPacket = read32(bytes, body + 20);
      out.channelsPerFrame = read32(bytes, body + 24);
      out.bitsPerChannel = read32(bytes, body + 28);
      if (!(out.sampleRate >= kMinSoundSampleRate && out.sampleRate <= kMaxSoundSampleRate)) {
        return malformed("no valid sample rate");
      }
      if (out.channelsPerFrame == 0) return malformed("no channels");
      if (out.channelsPerFrame > kMaxSoundChannels) return malformed("more channels than a sound has");
      if (out.bitsPerChannel > kMaxSoundBitsPerChannel) return malformed("more bits per channel than a sound has");
      haveDesc = true;
    } else if (type == fourCC("data")) {
      if (haveData) return malformed("a second \"data\" chunk");
      if (length < kEditCountBytes) return malformed("a short \"data\" chunk");
      dataBytes = length - kEditCountBytes;
      haveData = true;
    }
    at = body + static_cast<size_t>(length);
  }
  if (!haveDesc) return malformed("no \"desc\" chunk");
  if (!haveData) return malformed("no \"data\" chunk");
  if (out.bytesPerPacket == 0 || out.framesPerPacket == 0) {
    return soundError(SystemSoundsErrc::Unsupported, "CAF audio without a fixed packet size");
  }
  if (out.formatID == fourCC("lpcm") &&
      (out.framesPerPacket != 1 || out.bitsPerChannel == 0 ||
       uint64_t{out.bytesPerPacket} * 8 < uint64_t{out.channelsPerFrame} * out.bitsPerChannel)) {
    return malformed("linear PCM packets that do not hold one frame");
  }
  // Each frame takes at least one bit per channel (its bits per channel when
  // the header gives them): a header that counts more frames than the data
  // can hold describes no sound. Counted in 128 bits, where no product of
  // these 64- and 32-bit values overflows.
  using Wide = unsigned __int128;
  const Wide frames = Wide{dataBytes / out.bytesPerPacket} * out.framesPerPacket;
  const Wide bitsPerFrame = Wide{out.channelsPerFrame} * std::max<uint32_t>(out.bitsPerChannel, 1);
  if (frames * bitsPerFrame > Wide{dataBytes} * 8) return malformed("more frames than the data holds");
  out.frameCount = static_cast<uint64_t>(frames);
  out.durationSeconds = static_cast<double>(out.frameCount) / out.sampleRate;
  if (out.durationSeconds > kMaxSystemSoundSeconds) {
    return soundError(SystemSoundsErrc::Unsupported, "a system sound lasts " +
                                                         std::to_string(static_cast<int>(kMaxSystemSoundSeconds)) +
                                                         " s at most");
  }
  return out;
}

SystemSounds& SystemSounds::shared() {
  static SystemSounds& sounds = *new SystemSounds();  // lives for the process
  return sounds;
}

Result<SystemSoundID> SystemSounds::createSystemSoundID(const std::string& fileURL) {
  const auto path = filePathFromURL(fileURL);
  if (!path) return soundError(SystemSoundsErrc::FileUnreadable, "not a file URL: " + fileURL);
  auto bytes = readFile(*path, kMaxSystemSoundFileBytes);
  if (!bytes) return soundError(SystemSoundsErrc::FileUnreadable, bytes.error().message);
  auto description = readCafAudioDescription(bytes.value());
  if (!description) return description.error();
  std::lock_guard lock(mutex_);
  const SystemSoundID id = nextID_++;
  sounds_[id].durationMs = description.value().durationSeconds * 1000.0;
  return id;
}

Status SystemSounds::addSystemSoundCompletion(SystemSoundID sound, std::function<void(SystemSoundID)> completion) {
  std::lock_guard lock(mutex_);
  auto it = sounds_.find(sound);
  if (it == sounds_.end()) return soundError(SystemSoundsErrc::UnknownSound, "no sound " + std::to_string(sound));
  it->second.completion =
      completion ? std::make_shared<std::function<void(SystemSoundID)>>(std::move(completion)) : nullptr;
  return Ok{};
}

void SystemSounds::removeSystemSoundCompletion(SystemSoundID sound) {
  std::lock_guard lock(mutex_);
  if (auto it = sounds_.find(sound); it != sounds_.end()) it->second.completion = nullptr;
}

Status SystemSounds::setIsUISound(SystemSoundID sound, bool isUISound) {
  std::lock_guard lock(mutex_);
  auto it = sounds_.find(sound);
  if (it == sounds_.end()) return soundError(SystemSoundsErrc::UnknownSound, "no sound " + std::to_string(sound));
  it->second.isUISound = isUISound;
  return Ok{};
}

void SystemSounds::playSystemSound(SystemSoundID sound) {
  double delayMs = 0;
  {
    std::lock_guard lock(mutex_);
    auto it = sounds_.find(sound);
    if (it == sounds_.end()) return;
    ++plays_;
    const bool muted = silent_ && it->second.isUISound;
    delayMs = muted ? 0 : it->second.durationMs;
  }
  auto finish = [sound] { SystemSounds::shared().finishPlay(sound); };
  if (delayMs > 0) {
    mainQueue()->after(delayMs, std::move(finish));
  } else {
    mainQueue()->async(std::move(finish));
  }
}

void SystemSounds::finishPlay(SystemSoundID sound) {
  std::shared_ptr<std::function<void(SystemSoundID)>> completion;
  {
    std::lock_guard lock(mutex_);
    auto it = sounds_.find(sound);
    if (it == sounds_.end()) return;
    completion = it->second.completion;
  }
  if (completion && *completion) (*completion)(sound);
}

Status SystemSounds::disposeSystemSoundID(SystemSoundID sound) {
  std::lock_guard lock(mutex_);
  if (sounds_.erase(sound) == 0) return soundError(SystemSoundsErrc::UnknownSound, "no sound " + std::to_string(sound));
  return Ok{};
}

std::optional<double> SystemSounds::durationSeconds(SystemSoundID sound) const {
  std::lock_guard lock(mutex_);
  auto it = sounds_.find(sound);
  if (it == sounds_.end()) return std::nullopt;
  return it->second.durationMs / 1000.0;
}

void SystemSounds::setSilentSwitchOn(bool silent) {
  std::lock_guard lock(mutex_);
  silent_ = silent;
}

bool SystemSounds::isSilentSwitchOn() const {
  std::lock_guard lock(mutex_);
  return silent_;
}

size_t SystemSounds::playCount() const {
  std::lock_guard lock(mutex_);
  return plays_;
}

size_t SystemSounds::soundCount() const {
  std::lock_guard lock(mutex_);
  return sounds_.size();
}

void SystemSounds::resetForTesting() {
  std::lock_guard lock(mutex_);
  sounds_.clear();
  silent_ = false;
  plays_ = 0;
}

}  // namespace platform
