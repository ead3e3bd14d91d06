// System sounds on the manual clock: the duration read from the CAF header,
// malformed files refused, the silent switch muting user-interface sounds,
// and no completion after a removal or a disposal.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>

#include "platform/dispatch.h"
#include "platform/storage.h"
#include "platform/system_sounds.h"
#include "platform/test_environment.h"
#include "platform/web/url.h"
#include "platform_support.h"
#include "support/temp_dir.h"

namespace {

using platform::SystemSounds;
using platformtest::code;
using platformtest::errc;

void putBig(std::string& out, uint64_t value, int bytes) {
  for (int shift = (bytes - 1) * 8; shift >= 0; shift -= 8) out.push_back(static_cast<char>((value >> shift) & 0xFF));
}

// The parts of a CAF file, each of which a case may spoil.
struct CafPlan {
  std::string magic = "caff";
  int version = 1;
  double sampleRate = 8000;
  uint32_t bytesPerPacket = 2;
  uint32_t framesPerPacket = 1;
  uint32_t channels = 1;
  uint32_t bits = 16;
  std::string format = "lpcm";
  uint32_t descSize = 32;
  bool freeChunkFirst = false;
  bool withData = true;
  int64_t dataSize = 0;  // 0: the real size; -1: "to the end"
  uint32_t samples = 1599;
  size_t cutAt = 0;  // keep only this many bytes (0: all)

  std::string bytes() const {
    std::string out = magic;
    putBig(out, version, 2);
    putBig(out, 0, 2);
    if (freeChunkFirst) {
      out += "free";
      putBig(out, 4, 8);
      out += std::string(4, '\0');
    }
    out += "desc";
    putBig(out, descSize, 8);
    uint64_t rate = 0;
    std::memcpy(&rate, &sampleRate, sizeof(rate));
    putBig(out, rate, 8);
    out += format;
    putBig(out, 0, 4);
    putBig(out, bytesPerPacket, 4);
    putBig(out, framesPerPacket, 4);
    putBig(out, channels, 4);
    putBig(out, bits, 4);
    out += std::string(descSize > 32 ? descSize - 32 : 0, '\0');
    if (withData) {
      out += "data";
      putBig(out, static_cast<uint64_t>(dataSize == 0 ? 4 + 2 * int64_t{samples} : dataSize), 8);
      putBig(out, 0, 4);
      out += std::string(2 * samples, '\x01');
    }
    return cutAt ? out.substr(0, cutAt) : out;
  }
};

TEST(CafReaderTest, DurationComesFromTheHeader) {
  const struct {
    const char* name;
    CafPlan plan;
    double seconds;
  } rows[] = {
      {"1,599 samples at 8 kHz", {}, 1599.0 / 8000},
      {"data to the end of the file", [] { CafPlan p; p.dataSize = -1; return p; }(), 1599.0 / 8000},
      {"44.1 kHz stereo", [] { CafPlan p; p.sampleRate = 44100; p.bytesPerPacket = 4; p.channels = 2; p.samples = 44100 * 2; return p; }(), 1.0},
      {"a longer desc chunk", [] { CafPlan p; p.descSize = 40; return p; }(), 1599.0 / 8000},
      {"no samples", [] { CafPlan p; p.samples = 0; return p; }(), 0},
      {"768 kHz", [] { CafPlan p; p.sampleRate = 768000; p.samples = 7680; return p; }(), 0.01},
      {"packets of 64 frames in 34 bytes",
       [] { CafPlan p; p.format = "ima4"; p.bits = 0; p.bytesPerPacket = 34; p.framesPerPacket = 64; p.samples = 17 * 125; return p; }(),
       125 * 64 / 8000.0},
      {"30 s, the longest", [] { CafPlan p; p.samples = 8000 * 30; return p; }(), 30},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    auto description = platform::readCafAudioDescription(row.plan.bytes());
    ASSERT_TRUE(description) << description.error().message;
    EXPECT_DOUBLE_EQ(description.value().durationSeconds, row.seconds);
  }
}

TEST(CafReaderTest, MalformedFilesAreRefused) {
  using E = platform::SystemSoundsErrc;
  const struct {
    const char* name;
    CafPlan plan;
    E error;
  } rows[] = {
      {"another magic", [] { CafPlan p; p.magic = "RIFF"; return p; }(), E::Malformed},
      {"version 2", [] { CafPlan p; p.version = 2; return p; }(), E::Malformed},
      {"a chunk before desc", [] { CafPlan p; p.freeChunkFirst = true; return p; }(), E::Malformed},
      {"a short desc", [] { CafPlan p; p.descSize = 16; return p; }(), E::Malformed},
      {"no sample rate", [] { CafPlan p; p.sampleRate = 0; return p; }(), E::Malformed},
      {"an endless sample rate", [] { CafPlan p; p.sampleRate = std::numeric_limits<double>::infinity(); return p; }(), E::Malformed},
      {"no channels", [] { CafPlan p; p.channels = 0; return p; }(), E::Malformed},
      {"no data chunk", [] { CafPlan p; p.withData = false; return p; }(), E::Malformed},
      {"data longer than the file", [] { CafPlan p; p.dataSize = 1 << 20; return p; }(), E::Malformed},
      {"a negative chunk size", [] { CafPlan p; p.dataSize = -2; return p; }(), E::Malformed},
      {"cut in a chunk header", [] { CafPlan p; p.cutAt = 50; return p; }(), E::Malformed},
      {"cut in the header", [] { CafPlan p; p.cutAt = 5; return p; }(), E::Malformed},
      {"packets of no fixed size", [] { CafPlan p; p.bytesPerPacket = 0; return p; }(), E::Unsupported},
      // Values no sound has.
      {"a sample rate of 1e-300", [] { CafPlan p; p.sampleRate = 1e-300; return p; }(), E::Malformed},
      {"a sample rate below 1 kHz", [] { CafPlan p; p.sampleRate = 999; return p; }(), E::Malformed},
      {"a sample rate of 1e9", [] { CafPlan p; p.sampleRate = 1e9; return p; }(), E::Malformed},
      {"a sample rate that is no number", [] { CafPlan p; p.sampleRate = std::nan(""); return p; }(), E::Malformed},
      {"2^32-1 channels", [] { CafPlan p; p.channels = 0xFFFFFFFF; return p; }(), E::Malformed},
      {"65 channels", [] { CafPlan p; p.channels = 65; p.bytesPerPacket = 130; return p; }(), E::Malformed},
      {"2^32-1 bits per channel", [] { CafPlan p; p.bits = 0xFFFFFFFF; return p; }(), E::Malformed},
      {"2^31 frames in 70 bytes",
       [] { CafPlan p; p.format = "ima4"; p.bits = 0; p.bytesPerPacket = 1; p.framesPerPacket = 1u << 31; p.samples = 1; return p; }(),
       E::Malformed},
      {"more frames than their bits fill",
       [] { CafPlan p; p.format = "ima4"; p.bytesPerPacket = 2; p.framesPerPacket = 2; return p; }(), E::Malformed},
      {"linear PCM with two frames a packet", [] { CafPlan p; p.framesPerPacket = 2; return p; }(), E::Malformed},
      {"linear PCM packets smaller than a frame", [] { CafPlan p; p.bytesPerPacket = 1; return p; }(), E::Malformed},
      {"linear PCM without bits", [] { CafPlan p; p.bits = 0; return p; }(), E::Malformed},
      {"longer than 30 s", [] { CafPlan p; p.samples = 8000 * 30 + 1; return p; }(), E::Unsupported},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(errc(platform::readCafAudioDescription(row.plan.bytes())), code(row.error));
  }
}

class SystemSoundsTest : public ::testing::Test {
 protected:
  SystemSoundsTest() { SystemSounds::shared().resetForTesting(); }
  ~SystemSoundsTest() override { SystemSounds::shared().resetForTesting(); }

  std::string write(const std::string& name, const std::string& bytes) {
    const std::string path = dir.path() + "/" + name;
    EXPECT_TRUE(platform::writeFileAtomically(path, bytes));
    return platform::fileURLFromPath(path);
  }

  platform::TestEnvironment env;
  qbtest::TempDir dir;
};

TEST_F(SystemSoundsTest, APlayEndsAfterItsDurationOrAtOnceWhenMutedByTheSwitch) {
  auto& sounds = SystemSounds::shared();
  auto sound = sounds.createSystemSoundID(write("s.caf", CafPlan{}.bytes()));
  ASSERT_TRUE(sound);
  std::vector<int64_t> ended;
  const int64_t start = platform::nowMonotonicMs();
  ASSERT_TRUE(sounds.addSystemSoundCompletion(sound.value(), [&](platform::SystemSoundID id) {
    EXPECT_EQ(id, sound.value());
    EXPECT_TRUE(platform::isMainThread());
    ended.push_back(platform::nowMonotonicMs() - start);
  }));

  const struct {
    const char* name;
    bool silent;
    bool uiSound;
    std::vector<int64_t> ended;  // ms after the play
  } rows[] = {
      {"switch off", false, true, {199}},
      {"switch on, not a UI sound", true, false, {199}},
      {"switch on, a UI sound", true, true, {0}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    sounds.setSilentSwitchOn(row.silent);
    ASSERT_TRUE(sounds.setIsUISound(sound.value(), row.uiSound));
    ended.clear();
    const int64_t playedAt = platform::nowMonotonicMs() - start;
    sounds.playSystemSound(sound.value());
    EXPECT_TRUE(ended.empty());  // never inside the call
    env.advance(199);
    env.advance(1);
    for (auto& at : ended) at -= playedAt;
    EXPECT_EQ(ended, row.ended);
  }
  EXPECT_EQ(sounds.playCount(), 3u);
}

TEST_F(SystemSoundsTest, NoCompletionAfterRemovalOrDisposal) {
  auto& sounds = SystemSounds::shared();
  auto sound = sounds.createSystemSoundID(write("s.caf", CafPlan{}.bytes()));
  ASSERT_TRUE(sound);
  int calls = 0;
  ASSERT_TRUE(sounds.addSystemSoundCompletion(sound.value(), [&](platform::SystemSoundID) { ++calls; }));
  sounds.playSystemSound(sound.value());
  sounds.removeSystemSoundCompletion(sound.value());
  env.advance(1000);
  ASSERT_TRUE(sounds.addSystemSoundCompletion(sound.value(), [&](platform::SystemSoundID) { ++calls; }));
  sounds.playSystemSound(sound.value());
  ASSERT_TRUE(sounds.disposeSystemSoundID(sound.value()));
  env.advance(1000);
  EXPECT_EQ(calls, 0);
  EXPECT_EQ(errc(sounds.setIsUISound(sound.value(), true)), code(platform::SystemSoundsErrc::UnknownSound));
  sounds.playSystemSound(sound.value());  // ignored
  EXPECT_EQ(sounds.playCount(), 2u);
}

TEST_F(SystemSoundsTest, CreationNeedsAReadableCafFile) {
  auto& sounds = SystemSounds::shared();
  using E = platform::SystemSoundsErrc;
  CafPlan cut;
  cut.cutAt = 60;
  EXPECT_EQ(errc(sounds.createSystemSoundID(write("cut.caf", cut.bytes()))), code(E::Malformed));
  EXPECT_EQ(errc(sounds.createSystemSoundID(platform::fileURLFromPath(dir.path() + "/none.caf"))), code(E::FileUnreadable));
  EXPECT_EQ(errc(sounds.createSystemSoundID("https://example.com/s.caf")), code(E::FileUnreadable));
  EXPECT_EQ(errc(sounds.createSystemSoundID(platform::fileURLFromPath(dir.path()))), code(E::FileUnreadable));
  EXPECT_EQ(sounds.soundCount(), 0u);
}

}  // namespace
