// The CAF header reader of the platform's system sounds on arbitrary bytes
// (a sound file on disk may be cut short or replaced).
//  - It never crashes, reads past the input or loops; an accepted file has
//    what a sound can have: a sample rate, channels and bits per channel
//    within their bounds, a fixed packet size, no more frames than its bytes
//    hold, and a duration that is frames over the rate, 30 s at most.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/system_sounds.h"
#include "support/fuzz_support.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  qbfuzz::setUpProcess();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  auto description = platform::readCafAudioDescription(bytes);
  if (!description) {
    QB_FUZZ_CHECK(description.error().domain == platform::kSystemSoundsErrorDomain);
    return 0;
  }
  const auto& d = description.value();
  QB_FUZZ_CHECK(d.sampleRate >= platform::kMinSoundSampleRate && d.sampleRate <= platform::kMaxSoundSampleRate);
  QB_FUZZ_CHECK(d.channelsPerFrame > 0 && d.channelsPerFrame <= platform::kMaxSoundChannels);
  QB_FUZZ_CHECK(d.bitsPerChannel <= platform::kMaxSoundBitsPerChannel);
  QB_FUZZ_CHECK(d.bytesPerPacket > 0 && d.framesPerPacket > 0);
  QB_FUZZ_CHECK(d.frameCount / d.framesPerPacket <= size / d.bytesPerPacket);
  QB_FUZZ_CHECK(d.frameCount * d.channelsPerFrame <= uint64_t{size} * 8);  // at least a bit per channel
  QB_FUZZ_CHECK(d.durationSeconds >= 0 && d.durationSeconds == static_cast<double>(d.frameCount) / d.sampleRate);
  QB_FUZZ_CHECK(d.durationSeconds <= platform::kMaxSystemSoundSeconds);
  return 0;
}
