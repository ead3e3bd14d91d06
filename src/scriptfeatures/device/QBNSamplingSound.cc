#include "scriptfeatures/device/QBNSamplingSound.h"

#include <cstdint>
#include <cstring>

namespace {

void putBig(std::string& out, uint64_t value, int bytes) {
  for (int shift = (bytes - 1) * 8; shift >= 0; shift -= 8) out.push_back(static_cast<char>((value >> shift) & 0xFF));
}

void putChunkHeader(std::string& out, const char (&type)[5], uint64_t size) {
  out.append(type, 4);
  putBig(out, size, 8);
}

std::string makeCaf() {
  std::string out = "caff";
  putBig(out, 1, 2);  // file version
  putBig(out, 0, 2);  // file flags

  putChunkHeader(out, "desc", 32);
  const double rate = QBNSamplingSound::kSampleRate;
  uint64_t rateBits = 0;
  std::memcpy(&rateBits, &rate, sizeof(rate));
  putBig(out, rateBits, 8);
  out.append("lpcm", 4);
  putBig(out, 0, 4);   // format flags: big-endian signed integers
  putBig(out, 2, 4);   // bytes per packet
  putBig(out, 1, 4);   // frames per packet
  putBig(out, 1, 4);   // channels per frame
  putBig(out, 16, 4);  // bits per channel

  putChunkHeader(out, "data", 4 + 2 * QBNSamplingSound::kSampleCount);
  putBig(out, 0, 4);  // edit count
  // A faint triangle wave: -7 ... 7 and back.
  constexpr int kPeak = QBNSamplingSound::kLoudestSample;
  for (int i = 0; i < QBNSamplingSound::kSampleCount; ++i) {
    const int phase = i % (4 * kPeak);
    const int level = phase < 2 * kPeak ? phase - kPeak : 3 * kPeak - phase;
    putBig(out, static_cast<uint16_t>(static_cast<int16_t>(level)), 2);
  }
  return out;
}

}  // namespace

const std::string& QBNSamplingSound::cafData() {
  static const std::string& data = *new std::string(makeCaf());
  return data;
}
