#pragma once
// The sound the silent-switch check plays: a CAF file of 1,599 samples of
// 16-bit big-endian linear PCM, mono, 8,000 Hz (about 0.2 s), no sample
// louder than 7 of 32,767 - practically inaudible. Stored once as
// "qbnmuted.caf" in the native asset folder (QBNLightCacheManager).
#include <string>

inline constexpr char kQBNSamplingSoundFileName[] = "qbnmuted.caf";

class QBNSamplingSound {
 public:
  static constexpr int kSampleRate = 8000;
  static constexpr int kSampleCount = 1599;
  static constexpr int kLoudestSample = 7;

  // The file's bytes; the same on every call.
  static const std::string& cafData();
};
